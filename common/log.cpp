#include "zentra/log.h"

#include <cstdlib>
#include <utility>

#include "constinit.h"

namespace zentra::common {

namespace {

// The handle's storage is never destroyed: at exit the handle is emptied by releaseProcessLogger
// instead, so a log call from a static destructor that runs even later finds no logger rather
// than a destroyed handle. Constant-initialised to empty, so a log call from another start-up
// initialiser that runs before ours is dropped rather than touching an unbuilt object.
union ProcessLoggerSlot {
    std::shared_ptr<ILogger> handle;
    constexpr ProcessLoggerSlot() noexcept : handle() {}
    ~ProcessLoggerSlot() {}  // NOLINT(modernize-use-equals-default): must not destroy the handle
};

ZENTRA_CONSTINIT ProcessLoggerSlot processLoggerSlot;

// The handle is emptied before the logger is destroyed, so whatever the logger's destructor does
// cannot reach it through a half-released handle.
void releaseProcessLogger() {
    std::shared_ptr<ILogger> last = std::move(processLoggerSlot.handle);
    last.reset();
}

}  // namespace

ZENTRA_CONSTINIT std::shared_ptr<ILogger>& processLogger = processLoggerSlot.handle;

namespace {

// One allocation for the logger and its reference counts, and the release at exit registered in
// the same step.
const bool processLoggerInstalled = [] {
    processLogger = std::make_shared<ConsoleLogger>();
    std::atexit(releaseProcessLogger);
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

bool logEnabled(LogLevel level) {
    return processLogger && !(level < processLogger->level());
}

void logMessage(LogLevel level, std::string_view text) {
    if (processLogger) {
        processLogger->log(level, text);
    }
}

}  // namespace zentra::common
