// Log levels, the logger interface and the console logger. Loggers for programs without a console
// (a file, the debugger, the application's own function, several at once) are in log_sinks.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace zentra::common {

// Ordered by severity. Any 32-bit value may be held; values outside 0..5 filter by their number
// and are named "UNKNOWN".
enum class LogLevel : std::int32_t {
    Trace = 0,
    Debug = 1,
    Info = 2,
    Warn = 3,
    Error = 4,
    Fatal = 5,
};

// Static, terminated name of a level: "TRACE" .. "FATAL", "UNKNOWN" for anything else.
const char* levelName(LogLevel level) noexcept;

class ILogger {
  public:
    virtual ~ILogger() = default;
    // Writes one message at `level`. The text is not kept after the call.
    virtual void log(LogLevel level, std::string_view message) = 0;
    virtual void setLevel(LogLevel level) = 0;
    virtual LogLevel level() const = 0;
};

// A non-recursive lock that needs no start-up step and is never torn down: it is built at compile
// time over the platform's statically initialised primitive and its destruction does nothing, so
// it works from any start-up or exit code. (std::mutex gets a run-time initialiser and an exit-time
// destructor with some Windows runtimes.) Usable with std::lock_guard.
class LogMutex {
  public:
    constexpr LogMutex() noexcept = default;
    LogMutex(const LogMutex&) = delete;
    LogMutex& operator=(const LogMutex&) = delete;

    void lock() noexcept;
    void unlock() noexcept;
    bool try_lock() noexcept;

  private:
#if defined(_WIN32)
    void* srwLock_ = nullptr;  // an SRWLOCK, whose static initialiser is all zeros
#else
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
#endif
};

// Serialises the lines of every ConsoleLogger in the process.
extern LogMutex logMutex;

// Writes "[hh:mm:ss.mmm] [LEVEL] message\n" to the standard error stream, one line per accepted
// message, each line in a single write followed by a flush.
class ConsoleLogger final : public ILogger {
  public:
    ConsoleLogger() = default;
    void log(LogLevel level, std::string_view message) override;
    void setLevel(LogLevel level) override { minLevel = level; }
    LogLevel level() const override { return minLevel; }

  private:
    // Read without a lock by the filter; changing it while other threads log is not supported.
    LogLevel minLevel = LogLevel::Info;
};

// The line ConsoleLogger writes for `message` at local time `local` plus `millis` (0..999),
// newline included. Pure, so the exact bytes can be checked for any time.
std::string formatLogLine(const std::tm& local, std::int64_t millis, LogLevel level,
                          std::string_view message);
// The same line, written into `line` (its previous contents replaced).
void formatLogLineInto(std::string& line, const std::tm& local, std::int64_t millis, LogLevel level,
                       std::string_view message);

// The line for `message` at the current local time, written into `line` (its previous contents
// replaced): the form every logger of ours writes.
void formatLogLineNow(std::string& line, LogLevel level, std::string_view message);

// Converts seconds since the epoch to broken-down local time in `out`. On failure `out` is all
// zeros (so a line shows 00:00:00) and false is returned.
bool toLocalTime(std::time_t seconds, std::tm& out) noexcept;

}  // namespace zentra::common
