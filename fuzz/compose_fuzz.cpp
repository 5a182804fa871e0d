// The composers with arbitrary byte texts, codes and handles, checked against the pieces joined
// by hand; and the line formatter against the same line written piece by piece on a stream.
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "zentra/log.h"

namespace {

using zentra::common::LogLevel;

class Capture final : public zentra::common::ILogger {
  public:
    void log(LogLevel level, std::string_view message) override {
        lastLevel = level;
        last.assign(message.data(), message.size());
    }
    void setLevel(LogLevel) override {}
    LogLevel level() const override { return LogLevel::Trace; }
    LogLevel lastLevel = LogLevel::Trace;
    std::string last;
};

struct OpaqueHandle;
using Handle = OpaqueHandle*;

std::string pointerForm(const void* p) {
    std::ostringstream oss;
    oss << p;
    return oss.str();
}

Handle handleFrom(FuzzInput& in) {
    const auto bits = in.integer<std::uintptr_t>();
    return (bits & 1) != 0 ? nullptr
                           : reinterpret_cast<Handle>(bits);  // NOLINT(performance-no-int-to-ptr)
}

void checkComposers(FuzzInput& in, Capture& capture) {
    const std::string a = in.text();
    const std::string b = in.text();
    const std::string c = in.text();
    const auto code = in.integer<std::uint32_t>();
    const Handle h1 = handleFrom(in);
    const Handle h2 = handleFrom(in);
    std::string expected;
    switch (in.byte() % 4) {
        case 0:
            zentra::common::logWarn(a);
            expected = a;
            break;
        case 1:
            zentra::common::logWarn(a, code, b);
            expected = a + std::to_string(code) + b;
            break;
        case 2:
            zentra::common::logWarn(a, h1, b, h2, c, h1, a);
            expected = a + pointerForm(h1) + b + pointerForm(h2) + c + pointerForm(h1) + a;
            break;
        default: {
            const auto level = static_cast<LogLevel>(in.integer<std::int32_t>());
            zentra::common::logAt(level, code, a, h2);
            expected = std::to_string(code) + a + pointerForm(h2);
            if (capture.lastLevel != level) {
                std::abort();
            }
            break;
        }
    }
    if (capture.last != expected) {
        std::abort();
    }
}

// The line as a stream writes it: each number right-aligned, '0'-filled, in its width.
std::string streamedLine(const std::tm& t, std::int64_t ms, LogLevel level, const std::string& m) {
    std::ostringstream s;
    s << '[' << std::setfill('0') << std::setw(2) << t.tm_hour << ':' << std::setw(2) << t.tm_min
      << ':' << std::setw(2) << t.tm_sec << '.' << std::setw(3) << ms << "] ["
      << zentra::common::levelName(level) << "] ";
    s.write(m.data(), static_cast<std::streamsize>(m.size()));
    s << '\n';
    return s.str();
}

void checkLine(FuzzInput& in) {
    std::tm t{};
    // Mostly real times of day; sometimes any int, which the formatter must still handle.
    const bool wild = (in.byte() & 1) != 0;
    t.tm_hour = wild ? in.integer<int>() : in.byte() % 24;
    t.tm_min = wild ? in.integer<int>() : in.byte() % 60;
    t.tm_sec = wild ? in.integer<int>() : in.byte() % 61;
    const std::int64_t ms = wild ? in.integer<std::int64_t>() : in.integer<std::uint16_t>() % 1000;
    const auto level = static_cast<LogLevel>(in.integer<std::int32_t>());
    const std::string message = in.text(200);
    if (zentra::common::formatLogLine(t, ms, level, message) !=
        streamedLine(t, ms, level, message)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto capture = [] {
        auto c = std::make_shared<Capture>();
        zentra::common::setLogger(c);
        return c;
    }();
    FuzzInput in(data, size);
    checkComposers(in, *capture);
    checkLine(in);
    return 0;
}
