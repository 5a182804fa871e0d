#include <cstdint>
#include <string>
#include <string_view>

#include "utf8.h"
#include "zentra/indicator.h"

namespace zentra {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char16_t kEllipsis = 0x2026;

// The code point of the well-formed UTF-8 sequence at the start of `s` and its length in bytes;
// for a byte that starts none, U+FFFD and 1, so the next byte is read on its own.
std::pair<char32_t, std::size_t> nextCodePoint(std::string_view s) {
    const std::uint32_t b = static_cast<unsigned char>(s[0]);
    std::size_t length = 1;
    std::uint32_t c = b;
    std::uint32_t lowest = 0;
    if (b < 0x80) {
        return {b, 1};
    }
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, c = b & 0x1F, lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, c = b & 0x0F, lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, c = b & 0x07, lowest = 0x10000;
    } else {
        return {kReplacement, 1};
    }
    if (s.size() < length) {
        return {kReplacement, 1};
    }
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint32_t next = static_cast<unsigned char>(s[k]);
        if ((next & 0xC0) != 0x80) {
            return {kReplacement, 1};
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {kReplacement, 1};
    }
    return {c, length};
}

// The explicit embedding, override and isolate controls (LRE, RLE, PDF, LRO, RLO; LRI, RLI, FSI,
// PDI). One in an engine's text would reorder everything after it, our own words included.
bool isBidiControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// What a tooltip shows as a blank: C0 and C1 controls, and the bidirectional controls above.
bool isControl(char32_t c) {
    return isBidiControl(c) || c < 0x20 || (c >= 0x7F && c < 0xA0);
}

const std::string& glyphWord(TrayGlyph glyph, const TrayTexts& texts) {
    switch (glyph) {
        case TrayGlyph::Armed:
            return texts.armed;
        case TrayGlyph::Triggered:
            return texts.triggered;
        case TrayGlyph::Error:
            break;
    }
    return texts.error;
}

}  // namespace

std::u16string tooltipText(std::string_view utf8, std::size_t maxUnits) {
    std::u16string out;
    if (maxUnits == 0) {
        return out;
    }
    for (std::size_t at = 0; at < utf8.size();) {
        auto [c, length] = nextCodePoint(utf8.substr(at));
        at += length;
        if (isControl(c)) {
            c = U' ';
        }
        const std::size_t units = c >= 0x10000 ? 2 : 1;
        if (out.size() + units > maxUnits) {
            // Cut between whole characters, leaving room for the mark that says so.
            while (out.size() > maxUnits - 1) {
                const bool pair = out.size() >= 2 && out.back() >= 0xDC00 && out.back() <= 0xDFFF;
                out.resize(out.size() - (pair ? 2 : 1));
            }
            out += kEllipsis;
            return out;
        }
        if (units == 2) {
            const char32_t v = c - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u16string literalShellText(std::u16string_view text, std::size_t maxUnits) {
    std::u16string out;
    if (maxUnits == 0) {
        return out;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size();
        const std::size_t units = unit == u'&' || pair ? 2 : 1;
        if (out.size() + units > maxUnits) {
            // Cut between whole characters (an escaped & is one), with the mark that says so.
            while (!out.empty() && out.size() > maxUnits - 1) {
                const char16_t before = out.size() >= 2 ? out[out.size() - 2] : u'\0';
                const bool whole2 = (before >= 0xD800 && before <= 0xDBFF) ||
                                    (before == u'&' && out.back() == u'&');
                out.resize(out.size() - (whole2 ? 2 : 1));
            }
            out += kEllipsis;
            return out;
        }
        out += unit;
        if (unit == u'&') {
            out += u'&';
        } else if (pair) {
            out += text[++at];
        }
    }
    return out;
}

std::string errorReason(const Snapshot& snapshot) {
    // In the order the derivation tests them.
    const std::string_view device = snapshot.state.deviceStatus;
    if (!snapshot.health.healthy) {
        return "engine not healthy";
    }
    if (snapshot.state.lastError.has_value() && !snapshot.state.lastError->empty()) {
        return *snapshot.state.lastError;
    }
    if (device == "missing" || device == "permission_denied") {
        return "device " + std::string(device);
    }
    return {};
}

std::string utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        char32_t c = text[at];
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
            text[at + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++at] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string fillText(std::string_view pattern, std::string_view name, std::string_view value) {
    const std::string key = "{" + std::string(name) + "}";
    std::string out;
    std::size_t at = 0;
    for (std::size_t found = pattern.find(key); found != std::string_view::npos;
         found = pattern.find(key, at)) {
        out.append(pattern.substr(at, found - at)).append(value);
        at = found + key.size();
    }
    return out.append(pattern.substr(at));
}

std::u16string trayTooltip(const Snapshot& snapshot, TrayGlyph glyph, const TrayTexts& texts) {
    std::string text = texts.appName.empty() ? "" : texts.appName + " - ";
    if (snapshot.source == SnapshotSource::NotKnownYet) {
        return tooltipText(text + texts.notKnownYet);
    }
    text += glyphWord(glyph, texts);
    if (glyph == TrayGlyph::Error) {
        const std::string reason = errorReason(snapshot);
        if (!reason.empty()) {
            text += ": " + reason;
        }
    }
    if (!snapshot.health.statusText.empty()) {
        text += " - " + snapshot.health.statusText;
    }
    return tooltipText(text);
}

}  // namespace zentra
