// A unit that logs from its static constructor and destructor and includes no <iostream>, so
// nothing here builds the standard streams first. Linked before the library, its constructor runs
// before the library's initialisers on Linux (after them on Windows), and its destructor after the
// process-wide logger's release; linked after the library, the other way round.
#include "zentra/log.h"
#include "zentra/logger.h"

namespace {

using zentra::common::ConsoleLogger;
using zentra::common::LogLevel;

struct LogsAtStartupAndExit {
    LogsAtStartupAndExit() {
        ConsoleLogger logger;
        logger.log(LogLevel::Warn, "console logger at start-up");
    }
    ~LogsAtStartupAndExit() {
        ConsoleLogger logger;
        logger.log(LogLevel::Warn, "console logger at exit");
        // Written or dropped, depending on whether the process-wide logger is still there.
        zentra::common::logWarn("process logger at exit");
    }
} logsAtStartupAndExit;

}  // namespace
