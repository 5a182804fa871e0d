#include "zentra/log_sinks.h"

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
    if (!ensureOpen(error)) {
        drop("cannot be opened", error);
        return;
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
    }
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
    return true;
}

bool FileLogger::writeLine(std::string_view line, int& error) {
    if (size_ > 0 && size_ + line.size() > options_.maxBytes) {
        rotate();
        if (!ensureOpen(error)) {
            return false;
        }
    }
    error = logfile::appendAll(file_, line);
    if (error != 0) {
        return false;
    }
    size_ += line.size();
    return true;
}

// Closes the file and shifts the older ones up a generation, the oldest dropped; the next line
// opens a new file. A rename that fails (another program holds the file without sharing its
// deletion) leaves the file to grow, and the next line tries again.
void FileLogger::rotate() {
    logfile::close(file_);
    file_ = logfile::kNoFile;
    std::error_code ignored;
    fs::remove(rotatedLogPath(path_, options_.keptFiles - 1), ignored);
    for (int generation = options_.keptFiles - 2; generation >= 0; --generation) {
        fs::rename(rotatedLogPath(path_, generation), rotatedLogPath(path_, generation + 1),
                   ignored);
    }
}

// Counts a line that did not reach the file; the first such line is reported.
void FileLogger::drop(const char* what, int error) {
    ++dropped_;
    ++droppedUntold_;
    if (reported_) {
        return;
    }
    reported_ = true;
    const std::string text = "log file " + path_.u8string() + " " + what + " (error " +
                             std::to_string(error) + "); its lines are dropped until it can be";
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
