// A logger that keeps what it is given, for tests of code that logs through the process logger.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zentra/log.h"

struct LoggedLine {
    zentra::common::LogLevel level;
    std::string text;
    bool operator==(const LoggedLine& o) const { return level == o.level && text == o.text; }
};

class RecordingLogger final : public zentra::common::ILogger {
  public:
    explicit RecordingLogger(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~RecordingLogger() override {
        if (destroyed_ != nullptr) {
            *destroyed_ = true;
        }
    }
    void log(zentra::common::LogLevel level, std::string_view message) override {
        lines.push_back({level, std::string(message)});
    }
    void setLevel(zentra::common::LogLevel level) override { min = level; }
    zentra::common::LogLevel level() const override { return min; }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const LoggedLine& l : lines) {
            out.push_back(l.text);
        }
        return out;
    }

    std::vector<LoggedLine> lines;
    zentra::common::LogLevel min = zentra::common::LogLevel::Trace;

  private:
    bool* destroyed_;
};

// Installs a RecordingLogger as the process logger for one scope, then puts back the one before.
class ScopedRecordingLogger {
  public:
    ScopedRecordingLogger()
        : previous_(zentra::common::getLogger()), recorder_(std::make_shared<RecordingLogger>()) {
        zentra::common::setLogger(recorder_);
    }
    ~ScopedRecordingLogger() { zentra::common::setLogger(previous_); }
    ScopedRecordingLogger(const ScopedRecordingLogger&) = delete;
    ScopedRecordingLogger& operator=(const ScopedRecordingLogger&) = delete;

    RecordingLogger& operator*() const { return *recorder_; }
    RecordingLogger* operator->() const { return recorder_.get(); }

  private:
    std::shared_ptr<zentra::common::ILogger> previous_;
    std::shared_ptr<RecordingLogger> recorder_;
};
