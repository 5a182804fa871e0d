#include "zentra/logger.h"

#include <charconv>
#include <chrono>
#include <iostream>
#include <mutex>

namespace zentra::common {

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

// A line buffer that grew past this (an unusually long message) is given back after its line
// rather than kept, with the message in it, for the rest of the process.
constexpr std::size_t kKeptLineCapacity = 4096;

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

void formatLogLineNow(std::string& line, LogLevel level, std::string_view message) {
    // One clock reading gives both the second and the millisecond, rounded down.
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto wholeSeconds = floor<seconds>(sinceEpoch);
    const auto millis = (floor<milliseconds>(sinceEpoch) - wholeSeconds).count();
    // Converted for every line: a cached conversion would show the old local time after a
    // time-zone change, and saves too little against the write to be worth it (bench/log_bench).
    std::tm local{};
    toLocalTime(static_cast<std::time_t>(wholeSeconds.count()), local);
    formatLogLineInto(line, local, millis, level, message);
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
    // The standard streams are built by the first std::ios_base::Init. A logger used from a static
    // constructor that runs before any <iostream> user's initialiser would otherwise write to an
    // unbuilt std::cerr; this one is made on first use and never tears the streams down.
    static const std::ios_base::Init streamsReady;
    std::lock_guard<LogMutex> lock(logMutex);

    // Reused under logMutex, so a line costs no allocation once the buffer has grown. Never
    // destroyed: a static destructor that logs during exit still finds it alive.
    static std::string& line = *new std::string;
    // The whole line goes out in one write: other writers cannot land inside it, and the
    // stream's own formatting state (fill, width, flags) is neither used nor changed.
    formatLogLineNow(line, level, message);
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
    if (line.capacity() > kKeptLineCapacity) {
        std::string().swap(line);
    }
}

}  // namespace zentra::common
