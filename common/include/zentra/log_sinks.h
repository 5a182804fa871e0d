// Loggers for programs without a console: a file that rotates, the debugger's output, a function
// of the application's (to feed its own logging library), and several of them at once.
//
// A GUI-subsystem program (every tray application started from Explorer) has no standard error
// stream to read, so it installs one of these as the process logger before it creates the host:
//
//     auto file = std::make_shared<zentra::common::FileLogger>(
//         zentra::common::localAppDataFolder() / L"MyApp" / L"myapp.log");
//     zentra::common::setLogger(file);
//
// As with the console logger, a level is read without a lock: set it before other threads log.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zentra/log.h"  // setLogger, to install one of these
#include "zentra/logger.h"

namespace zentra::common {

// The most files a FileLogger keeps; a larger keptFiles is taken as this, with a warning.
inline constexpr int kMaxKeptLogFiles = 100;

struct FileLoggerOptions {
    LogLevel level = LogLevel::Info;
    // The file is rotated before a line would take it past this size. A line longer than this
    // still goes out whole, into a file of its own.
    std::uint64_t maxBytes = std::uint64_t{1024} * 1024;
    // The files kept, the one written included: "app.log", "app.1.log", "app.2.log" for 3 (the
    // oldest is deleted at a rotation). 1 keeps no older file: the file starts again empty. At
    // most kMaxKeptLogFiles.
    int keptFiles = 3;
    // How often the logger asks whether its path still names the file it writes: at a line
    // logged this long after the last look. A file deleted, renamed or replaced by another
    // program is noticed at the first line past it, and takes the lines logged before that (at
    // most this long's worth after the deletion; a renamed file keeps them). Zero looks before
    // every line, at the cost of two more system calls a line.
    std::chrono::milliseconds checkPathEvery{1000};
    // Told once each, at Warn: the first time a line cannot be written, the first time the file
    // cannot be rotated, the first time it was deleted or replaced under the logger, and a
    // keptFiles above the most. Empty: standard error.
    std::shared_ptr<ILogger> problems;
};

// Appends the console logger's lines to a file named by a wide path (on Windows any UTF-16 name,
// so a profile folder with any letters works). Missing folders are made. Each line goes out in one
// write as it is logged, with nothing held back in the process, so a crash loses no line that was
// logged. The file is shared for reading, writing and deletion, so it can be read (and followed)
// while the program runs.
//
// Never throws. A line is in the file whole or not at all. A line that cannot be written (a full
// disk, a read-only file, a folder that cannot be made) is dropped and counted; the first failure
// is reported once (options.problems), and when writing works again the file gets a line saying
// how many were dropped. While the file cannot be opened, each line tries again.
//
// Rotation deletes nothing it cannot replace: while another program holds the file without
// sharing its deletion, the file grows past maxBytes and keeps every line. A file deleted,
// renamed or replaced while the logger writes it is noticed within options.checkPathEvery (a
// second), at the next line, which goes to a new file at the path after a line that says so.
// Looking every second, not at every line, keeps a line at one write system call.
//
// Safe to use from several threads. Several processes writing one file interleave whole lines, but
// their rotations are not coordinated: give each program a file of its own.
class FileLogger final : public ILogger {
  public:
    explicit FileLogger(std::filesystem::path file, FileLoggerOptions options = {});
    ~FileLogger() override;
    FileLogger(const FileLogger&) = delete;
    FileLogger& operator=(const FileLogger&) = delete;

    void log(LogLevel level, std::string_view message) override;
    void setLevel(LogLevel level) override { minLevel_ = level; }
    LogLevel level() const override { return minLevel_; }

    const std::filesystem::path& path() const { return path_; }
    // Lines dropped since the logger was made.
    std::uint64_t droppedLines() const;

  private:
    bool ensureOpen(int& error);
    bool rotate(int& error);
    bool writeLine(std::string_view line, int& error);
    bool pathCheckDue();
    void drop(const char* what, int error);
    void report(const std::string& text, bool& reported);

    std::filesystem::path path_;
    FileLoggerOptions options_;
    LogLevel minLevel_;
    mutable LogMutex mutex_;
    std::intptr_t file_;
    std::uint64_t size_ = 0;
    std::chrono::steady_clock::time_point nextPathCheck_{};  // when to look at the path again
    std::uint64_t dropped_ = 0;
    std::uint64_t droppedUntold_ = 0;  // dropped since the file last took a line
    bool lostUntold_ = false;          // the file was deleted or replaced: say so in the new one
    bool cutInFile_ = false;  // a line stayed in part: the next starts on a line of its own
    bool dropReported_ = false;
    bool rotationReported_ = false;
    bool lossReported_ = false;
    std::string line_;
};

// The name of the `generation`th older file of `file`: "tray-host.log" -> "tray-host.1.log"
// (generation 0 is the file itself; a name with no extension gets ".1" at its end).
std::filesystem::path rotatedLogPath(const std::filesystem::path& file, int generation);

// The user's folder for an application's local data: %LOCALAPPDATA% on Windows, $XDG_STATE_HOME
// (or ~/.local/state) elsewhere. Empty when the environment names none.
std::filesystem::path localAppDataFolder();

// Hands each message to a function of the application's, with its level, unformatted: the way an
// application with a logging library of its own takes our lines. The function is called on the
// thread that logs, possibly from several at once, so it must be safe for that (the loggers of the
// common logging libraries are). It must not log through zentra's process logger.
class CallbackLogger final : public ILogger {
  public:
    using Sink = std::function<void(LogLevel level, std::string_view message)>;
    explicit CallbackLogger(Sink sink, LogLevel level = LogLevel::Info);

    void log(LogLevel level, std::string_view message) override;
    void setLevel(LogLevel level) override { minLevel_ = level; }
    LogLevel level() const override { return minLevel_; }

  private:
    Sink sink_;
    LogLevel minLevel_;
};

// Sends each message to every logger it holds (empty handles are left out); each filters by its
// own level. setLevel sets every one of them; level() is the lowest, the least a message needs to
// reach one of them.
class FanOutLogger final : public ILogger {
  public:
    explicit FanOutLogger(std::vector<std::shared_ptr<ILogger>> loggers);

    void log(LogLevel level, std::string_view message) override;
    void setLevel(LogLevel level) override;
    LogLevel level() const override;

  private:
    std::vector<std::shared_ptr<ILogger>> loggers_;
};

// Sends the console logger's lines to the debugger (OutputDebugStringW, as UTF-16) on Windows,
// where a debugger or a viewer such as DebugView shows them. Elsewhere there is no such channel
// and it writes nothing.
class DebuggerLogger final : public ILogger {
  public:
    DebuggerLogger() = default;
    void log(LogLevel level, std::string_view message) override;
    void setLevel(LogLevel level) override { minLevel_ = level; }
    LogLevel level() const override { return minLevel_; }

  private:
    LogLevel minLevel_ = LogLevel::Info;
};

}  // namespace zentra::common
