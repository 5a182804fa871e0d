#include "zentra/logger.h"

#include <charconv>
#include <chrono>
#include <iostream>
#include <limits>

namespace zentra::common {

std::mutex logMutex;

const char* levelName(LogLevel level) noexcept {
    switch (level) {
        case LogLevel::Trace:
            return "TRACE";
        case LogLevel::Debug:
            return "DEBUG";
        case LogLevel::Info:
            return "INFO";
        case LogLevel::Warn:
            return "WARN";
        case LogLevel::Error:
            return "ERROR";
        case LogLevel::Fatal:
            return "FATAL";
    }
    return "UNKNOWN";
}

namespace {

// Right-aligns `value` in `width` characters with '0' fill, as a stream with fill '0' and that
// width would (a wider value is written whole, a sign stays in front of the fill).
void appendPadded(std::string& out, std::int64_t value, std::size_t width) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    if (length < width) {
        out.append(width - length, '0');
    }
    out.append(digits, length);
}

}  // namespace

std::string formatLogLine(const std::tm& local, std::int64_t millis, LogLevel level,
                          std::string_view message) {
    std::string line;
    formatLogLineInto(line, local, millis, level, message);
    return line;
}

void formatLogLineInto(std::string& line, const std::tm& local, std::int64_t millis, LogLevel level,
                       std::string_view message) {
    line.clear();
    line.reserve(24 + message.size());
    line += '[';
    appendPadded(line, local.tm_hour, 2);
    line += ':';
    appendPadded(line, local.tm_min, 2);
    line += ':';
    appendPadded(line, local.tm_sec, 2);
    line += '.';
    appendPadded(line, millis, 3);
    line += "] [";
    line += levelName(level);
    line += "] ";
    line += message;
    line += '\n';
}

bool toLocalTime(std::time_t seconds, std::tm& out) noexcept {
#if defined(_WIN32)
    const __time64_t t = seconds;
    const bool ok = _localtime64_s(&out, &t) == 0;
#else
    const bool ok = localtime_r(&seconds, &out) != nullptr;
#endif
    if (!ok) {
        out = std::tm{};
    }
    return ok;
}

void ConsoleLogger::log(LogLevel level, std::string_view message) {
    if (level < minLevel) {
        return;
    }
    std::lock_guard<std::mutex> lock(logMutex);

    // One clock reading gives both the second and the millisecond, rounded down.
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto wholeSeconds = floor<seconds>(sinceEpoch);
    const auto millis = (floor<milliseconds>(sinceEpoch) - wholeSeconds).count();

    // Local time changes only from one whole second to the next, so one conversion serves every
    // line of the same second; the cache is guarded by logMutex like the rest of the line.
    static std::int64_t cachedSecond = std::numeric_limits<std::int64_t>::min();
    static std::tm cachedLocal{};
    if (wholeSeconds.count() != cachedSecond) {
        toLocalTime(static_cast<std::time_t>(wholeSeconds.count()), cachedLocal);
        cachedSecond = wholeSeconds.count();
    }
    const std::tm& local = cachedLocal;

    // The whole line goes out in one write: other writers cannot land inside it, and the
    // stream's own formatting state (fill, width, flags) is neither used nor changed.
    // Reused under logMutex, so a line costs no allocation once the buffer has grown. Never
    // destroyed: a static destructor that logs during exit still finds it alive.
    static std::string& line = *new std::string;
    formatLogLineInto(line, local, millis, level, message);
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
}

}  // namespace zentra::common
