// A program that installs its own process-wide logger and returns from main: at exit the handle
// is emptied, then the logger is destroyed, and a line its destructor logs finds no logger.
#include <cstdio>
#include <memory>

#include "zentra/log.h"

namespace {

using zentra::common::LogLevel;

class AnnouncingLogger : public zentra::common::ILogger {
  public:
    AnnouncingLogger() = default;
    AnnouncingLogger(const AnnouncingLogger&) = delete;
    AnnouncingLogger& operator=(const AnnouncingLogger&) = delete;
    ~AnnouncingLogger() override {
        std::fputs("logger released\n", stderr);
        zentra::common::logWarn("logged by the released logger");
    }
    void log(LogLevel /*level*/, std::string_view message) override {
        std::fprintf(stderr, "logged: %.*s\n", static_cast<int>(message.size()), message.data());
    }
    void setLevel(LogLevel /*level*/) override {}
    LogLevel level() const override { return LogLevel::Trace; }
};

}  // namespace

int main() {
    zentra::common::setLogger(std::make_shared<AnnouncingLogger>());
    zentra::common::logWarn("in main");
    return 0;
}
