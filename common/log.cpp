#include "zentra/log.h"

#include <utility>

namespace zentra::common {

// Constant-initialised to empty, so a log call from another start-up initialiser that runs
// before ours is dropped rather than touching an unbuilt object.
std::shared_ptr<ILogger> processLogger;

namespace {

// One allocation for the logger and its reference counts. Its release at exit is the handle's
// own destructor, registered by the same initialisation.
const bool processLoggerInstalled = [] {
    processLogger = std::make_shared<ConsoleLogger>();
    return true;
}();

}  // namespace

// Referenced by the linker option the library exports, so this object file (and with it the
// initialiser above) is linked into every executable, even one that never logs.
extern "C" const bool zentra_process_logger_installed = true;

void setLogger(std::shared_ptr<ILogger> logger) {
    if (!logger) {
        return;
    }
    // Kept in a local so the previous logger is released here, not at the caller.
    std::shared_ptr<ILogger> previous = std::exchange(processLogger, std::move(logger));
    previous.reset();
}

std::shared_ptr<ILogger> getLogger() {
    return processLogger;
}

void logMessage(LogLevel level, std::string_view text) {
    if (processLogger) {
        processLogger->log(level, text);
    }
}

}  // namespace zentra::common
