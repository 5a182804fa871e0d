// A program whose static destructor logs after main has logged: the line must still come out
// (the logger's state must outlive every other static object).
#include "zentra/logger.h"

namespace {

struct LogsAtExit {
    ~LogsAtExit() {
        zentra::common::ConsoleLogger logger;
        logger.log(zentra::common::LogLevel::Warn, "logged at exit");
    }
} logsAtExit;  // constructed before main's first line, so destroyed after the logger's buffer would
               // be

}  // namespace

int main() {
    zentra::common::ConsoleLogger logger;
    logger.log(zentra::common::LogLevel::Warn, "logged in main");
    return 0;
}
