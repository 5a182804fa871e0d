#include "timeline.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tray_host {

const char* const kDefaultTimeline =
    "# ms     event\n"
    "0        healthy\n"
    "0        phase idle\n"
    "0        device active\n"
    "1500     pulse\n"
    "3000     phase triggered\n"
    "4500     phase idle\n"
    "6000     device missing\n"
    "7500     device active\n"
    "9000     unhealthy\n"
    "10500    healthy\n"
    "12000    error usb reset\n"
    "13500    error-clear\n"
    "15000    end\n";

namespace {

// `text` for a message: control characters (the ESC of a terminal's commands, a CR) written as
// \xNN, cut at a character's start after `maxBytes` bytes and marked "..." there.
std::string escaped(std::string_view text, std::size_t maxBytes) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (at >= maxBytes && (byte & 0xC0) != 0x80) {
            return out + "...";
        }
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

// A refused line, between quotes, at most 120 bytes of it; with its size when it was cut.
std::string quoted(std::string_view line) {
    constexpr std::size_t kMaxBytes = 120;
    return "\"" + escaped(line, kMaxBytes) + "\"" +
           (line.size() > kMaxBytes ? " (" + std::to_string(line.size()) + " bytes)" : "");
}

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The line without its comment: a '#' that starts a word begins one, to the end of the line. A
// '#' inside a word ("usb#3") is text.
std::string_view withoutComment(std::string_view line) {
    for (std::size_t at = line.find('#'); at != std::string_view::npos;
         at = line.find('#', at + 1)) {
        if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') {
            return line.substr(0, at);
        }
    }
    return line;
}

// Splits off the first word; `rest` gets what follows, trimmed.
std::string_view firstWord(std::string_view s, std::string_view& rest) {
    const auto end = s.find_first_of(" \t");
    const std::string_view word = s.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : trim(s.substr(end));
    return word;
}

struct KindName {
    std::string_view name;
    Event::Kind kind;
    bool takesValue;
};

constexpr KindName kKinds[] = {
    {"healthy", Event::Kind::Healthy, false},
    {"unhealthy", Event::Kind::Unhealthy, false},
    {"phase", Event::Kind::Phase, true},
    {"error", Event::Kind::Error, true},
    {"error-clear", Event::Kind::ErrorClear, false},
    {"device", Event::Kind::Device, true},
    {"pulse", Event::Kind::Pulse, false},
    {"freeze", Event::Kind::Freeze, false},
    {"crash", Event::Kind::Crash, false},
    {"end", Event::Kind::End, false},
};

}  // namespace

std::optional<Timeline> parseTimeline(std::string_view text, std::string& error) {
    // Notepad (before Windows 10 1903) and PowerShell 5 begin a UTF-8 file with a byte-order
    // mark; it says nothing about the events. A UTF-16 file (PowerShell 5's `>`) is refused by
    // name: its zero bytes would otherwise show up as an unreadable first line.
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        text.remove_prefix(kUtf8Mark.size());
    } else if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        error = "timeline is UTF-16; save it as UTF-8";
        return std::nullopt;
    }
    Timeline timeline;
    std::int64_t lastMs = 0;
    int lineNumber = 0;
    bool ended = false;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++lineNumber;
        const std::string_view line = trim(withoutComment(raw));
        if (line.empty()) {
            continue;
        }
        const auto fail = [&](const std::string& why) {
            error =
                "timeline line " + std::to_string(lineNumber) + ": " + why + ": " + quoted(line);
            return std::nullopt;
        };
        if (ended) {
            return fail("event after end");
        }
        std::string_view rest;
        const std::string_view time = firstWord(line, rest);
        Event event;
        event.line = lineNumber;
        const auto parsed = std::from_chars(time.data(), time.data() + time.size(), event.atMs);
        if (parsed.ec != std::errc() || parsed.ptr != time.data() + time.size() || event.atMs < 0) {
            return fail("expected a time in milliseconds");
        }
        if (event.atMs > kMaxTimelineMs) {
            return fail("time beyond the maximum of " + std::to_string(kMaxTimelineMs) + " ms");
        }
        if (event.atMs < lastMs) {
            return fail("time goes backwards");
        }
        std::string_view value;
        const std::string_view name = firstWord(rest, value);
        const KindName* kind = nullptr;
        for (const KindName& k : kKinds) {
            if (k.name == name) {
                kind = &k;
            }
        }
        if (kind == nullptr) {
            return fail(name.empty() ? "missing event"
                                     : "unknown event '" + escaped(name, 40) + "'");
        }
        if (kind->takesValue && value.empty()) {
            return fail("'" + std::string(name) + "' needs a value");
        }
        if (!kind->takesValue && !value.empty()) {
            return fail("'" + std::string(name) + "' takes no value");
        }
        event.kind = kind->kind;
        event.value = std::string(value);
        lastMs = event.atMs;
        ended = event.kind == Event::Kind::End;
        timeline.events.push_back(event);
    }
    if (timeline.events.empty()) {
        error = "timeline has no events";
        return std::nullopt;
    }
    // Without an explicit end the host shows the last state for a second more.
    timeline.endMs = ended ? lastMs : lastMs + 1000;
    return timeline;
}

std::optional<Timeline> readTimeline(const char* path, std::string& error) {
    std::string text = kDefaultTimeline;
    if (path != nullptr) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = std::string("cannot read timeline ") + path;
            return std::nullopt;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return parseTimeline(text, error);
}

std::optional<std::chrono::milliseconds> parseSeconds(std::string_view text) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    std::int64_t seconds = 0;
    std::int64_t ms = 0;
    if (!whole.empty()) {
        const auto r = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
        if (r.ec != std::errc() || r.ptr != whole.data() + whole.size()) {
            return std::nullopt;
        }
    }
    if ((whole.empty() && fraction.empty()) || fraction.size() > 3 ||
        fraction.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        ms = ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    if (seconds > kMaxTimelineMs / 1000 || seconds * 1000 + ms > kMaxTimelineMs ||
        seconds * 1000 + ms <= 0) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(seconds * 1000 + ms);
}

SimulatedEngine::SimulatedEngine(const Timeline& timeline, zn::MonoTime start)
    : timeline_(timeline), start_(start) {}

bool SimulatedEngine::advance(zn::MonoTime now) {
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    for (; next_ < timeline_.events.size() && timeline_.events[next_].atMs <= elapsedMs; ++next_) {
        const Event& e = timeline_.events[next_];
        switch (e.kind) {
            case Event::Kind::Healthy:
                health_.healthy = true;
                break;
            case Event::Kind::Unhealthy:
                health_.healthy = false;
                break;
            case Event::Kind::Phase:
                state_.phase = e.value;
                break;
            case Event::Kind::Error:
                state_.lastError = e.value;
                break;
            case Event::Kind::ErrorClear:
                state_.lastError.reset();
                break;
            case Event::Kind::Device:
                state_.deviceStatus = e.value;
                break;
            // Stamped with the event's own moment, as an engine records when a pulse happened.
            case Event::Kind::Pulse:
                pulse_ = start_ + std::chrono::milliseconds(e.atMs);
                break;
            case Event::Kind::Freeze:
            case Event::Kind::Crash:
            case Event::Kind::End:
                break;
        }
    }
    return elapsedMs < timeline_.endMs;
}

std::string changeLine(std::int64_t msSinceStart, zn::TrayGlyph glyph) {
    const char* name = glyph == zn::TrayGlyph::Armed       ? "armed"
                       : glyph == zn::TrayGlyph::Triggered ? "triggered"
                                                           : "error";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%7lld ms  %s", static_cast<long long>(msSinceStart), name);
    return buf;
}

}  // namespace tray_host
