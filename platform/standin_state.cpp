#include "standin_state.h"

#include <cstdint>

namespace standin {

State& state() {
    static State s;
    return s;
}

bool injectedFailure(std::string_view function, bool setsLastError) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.failNext.find(function);
    if (it == s.failNext.end()) {
        return false;
    }
    if (setsLastError) {
        SetLastError(it->second);
    }
    s.failNext.erase(it);
    return true;
}

namespace {

constexpr std::uint32_t kEscapedByte = 0xDC00;

void appendUtf8(std::string& out, std::uint32_t c) {
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

// The code point of the well-formed UTF-8 sequence at the start of `s`, and its length; length 0
// when the first byte does not start one (a stray continuation byte, a cut-off or overlong
// sequence, a surrogate, or a value past U+10FFFF).
std::pair<std::uint32_t, std::size_t> decodeUtf8(std::string_view s) {
    const std::uint32_t b = static_cast<unsigned char>(s[0]);
    std::size_t length = 0;
    std::uint32_t c = 0;
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
        return {0, 0};
    }
    if (s.size() < length) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint32_t next = static_cast<unsigned char>(s[k]);
        if ((next & 0xC0) != 0x80) {
            return {0, 0};
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {0, 0};
    }
    return {c, length};
}

}  // namespace

std::string wideToHost(std::wstring_view path) {
    std::string out;
    for (const WCHAR unit : path) {
        const auto c = static_cast<std::uint32_t>(std::char_traits<WCHAR>::to_int_type(unit));
        if (c == L'\\') {
            out += '/';
        } else if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
            out += static_cast<char>(c - kEscapedByte);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::wstring hostToWide(std::string_view path) {
    std::wstring out;
    for (std::size_t i = 0; i < path.size();) {
        const auto [c, length] = decodeUtf8(path.substr(i));
        if (length == 0) {
            out += static_cast<WCHAR>(kEscapedByte + static_cast<unsigned char>(path[i]));
            ++i;
        } else {
            out += static_cast<WCHAR>(c);
            i += length;
        }
    }
    return out;
}

}  // namespace standin
