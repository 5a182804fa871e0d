#include "zentra/log_sinks.h"

#include <chrono>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#include "log_file.h"

namespace zentra::common {

namespace fs = std::filesystem;

fs::path rotatedLogPath(const fs::path& file, int generation) {
    if (generation <= 0) {
        return file;
    }
    fs::path name = file.stem();
    name += "." + std::to_string(generation);
    name += file.extension();
    return file.parent_path() / name;
}

FileLogger::FileLogger(fs::path file, FileLoggerOptions options)
    : path_(std::move(file)),
      options_(std::move(options)),
      minLevel_(options_.level),
      file_(logfile::kNoFile) {
    if (options_.keptFiles < 1) {
        options_.keptFiles = 1;
    }
    if (options_.keptFiles > kMaxKeptLogFiles) {
        bool once = false;
        report("log file " + path_.u8string() + ": keptFiles " +
                   std::to_string(options_.keptFiles) + " is more than the " +
                   std::to_string(kMaxKeptLogFiles) + " a log keeps; it keeps " +
                   std::to_string(kMaxKeptLogFiles),
               once);
        options_.keptFiles = kMaxKeptLogFiles;
    }
}

FileLogger::~FileLogger() {
    if (file_ != logfile::kNoFile) {
        logfile::close(file_);
    }
}

std::uint64_t FileLogger::droppedLines() const {
    std::lock_guard<LogMutex> lock(mutex_);
    return dropped_;
}

void FileLogger::log(LogLevel level, std::string_view message) {
    if (level < minLevel_) {
        return;
    }
    std::lock_guard<LogMutex> lock(mutex_);
    int error = 0;
    if (file_ != logfile::kNoFile && pathCheckDue() && !logfile::stillAt(path_, file_)) {
        // Another program deleted or replaced it: what went to the old file since is still read
        // by nobody, so the line goes to a new file at the path.
        if (file_ != logfile::kNoFile) {
            logfile::close(file_);
            file_ = logfile::kNoFile;
        }
        lostUntold_ = true;
        report("log file " + path_.u8string() +
                   " was deleted or replaced while in use; it is started afresh",
               lossReported_);
    }
    if (!ensureOpen(error)) {
        drop("cannot be opened", error);
        return;
    }
    if (lostUntold_) {
        formatLogLineNow(line_, LogLevel::Warn,
                         "this log file was deleted or replaced while in use; it starts afresh");
        lostUntold_ = !writeLine(line_, error);
    }
    if (droppedUntold_ > 0) {
        formatLogLineNow(line_, LogLevel::Warn,
                         std::to_string(droppedUntold_) +
                             " log lines were dropped: this file could not take them");
        if (writeLine(line_, error)) {
            droppedUntold_ = 0;
        }
    }
    formatLogLineNow(line_, level, message);
    if (!writeLine(line_, error)) {
        drop("cannot be written", error);
        nextPathCheck_ = {};  // the file may be gone: look before the next line
    }
}

// Whether it is time to look at the path again; if so, the next look is a period later.
bool FileLogger::pathCheckDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPathCheck_) {
        return false;
    }
    nextPathCheck_ = now + options_.checkPathEvery;
    return true;
}

bool FileLogger::ensureOpen(int& error) {
    if (file_ != logfile::kNoFile) {
        return true;
    }
    std::error_code ignored;
    const fs::path folder = path_.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, ignored);  // a failure shows as the open's
    }
    error = logfile::openForAppend(path_, file_, size_);
    if (error != 0) {
        file_ = logfile::kNoFile;
        return false;
    }
    nextPathCheck_ = std::chrono::steady_clock::now() + options_.checkPathEvery;  // just looked
    return true;
}

bool FileLogger::writeLine(std::string_view line, int& error) {
    if (size_ > 0 && size_ + line.size() > options_.maxBytes) {
        if (!rotate(error)) {
            report("log file " + path_.u8string() + " cannot be rotated (error " +
                       std::to_string(error) + "); it grows past its limit until it can be",
                   rotationReported_);
        }
        if (!ensureOpen(error)) {
            return false;
        }
    }
    std::string_view bytes = line;
    std::string afterCut;
    if (cutInFile_) {
        afterCut = "\n";
        afterCut += line;
        bytes = afterCut;
    }
    std::size_t written = 0;
    error = logfile::appendAll(file_, bytes, written);
    if (error == 0) {
        size_ += bytes.size();
        cutInFile_ = false;
        return true;
    }
    // A line in part (a full disk) is taken back; where it cannot be, the next line starts on a
    // line of its own.
    if (written > 0 && !logfile::cutTail(path_, file_, written)) {
        size_ += written;
        cutInFile_ = true;
    }
    return false;
}

// Moves the full file aside, shifts the older ones up a generation (the oldest is replaced) and
// gives the file the first older name; the next line opens a new file. Nothing is deleted unless
// the rename that replaces it happens: when the file cannot be moved (another program holds it
// without sharing its deletion), or an older one cannot, the file stays and grows, and the next
// line that would pass the limit tries again.
bool FileLogger::rotate(int& error) {
    logfile::close(file_);
    file_ = logfile::kNoFile;
    const fs::path aside = rotatedLogPath(path_, options_.keptFiles);
    error = logfile::rename(path_, aside);
    if (error != 0) {
        return false;
    }
    std::error_code ignored;
    for (int generation = options_.keptFiles - 2; generation >= 1; --generation) {
        const fs::path older = rotatedLogPath(path_, generation);
        if (!fs::exists(older, ignored)) {
            continue;
        }
        error = logfile::rename(older, rotatedLogPath(path_, generation + 1));
        if (error != 0) {
            logfile::rename(aside, path_);
            return false;
        }
    }
    if (options_.keptFiles == 1) {
        fs::remove(aside, ignored);
        return true;
    }
    error = logfile::rename(aside, rotatedLogPath(path_, 1));
    if (error != 0) {
        logfile::rename(aside, path_);
        return false;
    }
    return true;
}

// Counts a line that did not reach the file; the first such line is reported.
void FileLogger::drop(const char* what, int error) {
    ++dropped_;
    ++droppedUntold_;
    report("log file " + path_.u8string() + " " + what + " (error " + std::to_string(error) +
               "); its lines are dropped until it can be",
           dropReported_);
}

// Tells `text` to the application (options.problems, else standard error), once for `reported`.
void FileLogger::report(const std::string& text, bool& reported) {
    if (reported) {
        return;
    }
    reported = true;
    if (options_.problems) {
        options_.problems->log(LogLevel::Warn, text);
        return;
    }
    ConsoleLogger().log(LogLevel::Warn, text);
}

CallbackLogger::CallbackLogger(Sink sink, LogLevel level)
    : sink_(std::move(sink)), minLevel_(level) {}

void CallbackLogger::log(LogLevel level, std::string_view message) {
    if (level >= minLevel_ && sink_) {
        sink_(level, message);
    }
}

FanOutLogger::FanOutLogger(std::vector<std::shared_ptr<ILogger>> loggers) {
    for (std::shared_ptr<ILogger>& logger : loggers) {
        if (logger) {
            loggers_.push_back(std::move(logger));
        }
    }
}

void FanOutLogger::log(LogLevel level, std::string_view message) {
    for (const std::shared_ptr<ILogger>& logger : loggers_) {
        logger->log(level, message);
    }
}

void FanOutLogger::setLevel(LogLevel level) {
    for (const std::shared_ptr<ILogger>& logger : loggers_) {
        logger->setLevel(level);
    }
}

LogLevel FanOutLogger::level() const {
    if (loggers_.empty()) {
        return LogLevel::Fatal;
    }
    LogLevel lowest = loggers_.front()->level();
    for (const std::shared_ptr<ILogger>& logger : loggers_) {
        if (logger->level() < lowest) {
            lowest = logger->level();
        }
    }
    return lowest;
}

void DebuggerLogger::log(LogLevel level, std::string_view message) {
    if (level < minLevel_) {
        return;
    }
    std::string line;
    formatLogLineNow(line, level, message);
    logfile::toDebugger(line);
}

}  // namespace zentra::common
