// The process-wide logger and the calls that log through it.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "zentra/logger.h"

namespace zentra::common {

// The logger every log call goes to. Holds a ConsoleLogger (minimum level Info) from before
// main until exit, when an exit handler empties it: later calls (from static destructors) are
// dropped. Not synchronised: replace it only while no other thread logs.
extern std::shared_ptr<ILogger>& processLogger;

// Makes `logger` the process-wide logger; an empty handle is ignored. The previous logger is
// released before this returns (destroyed, if nothing else holds it).
void setLogger(std::shared_ptr<ILogger> logger);

// A share of the current logger; it stays usable after a later setLogger.
std::shared_ptr<ILogger> getLogger();

// Hands `text` at `level` to the process-wide logger, if any; the logger does the filtering.
void logMessage(LogLevel level, std::string_view text);

// Whether a message at `level` would be written: the process-wide logger exists and its level()
// (the least a message needs) is at most `level`. One virtual call and one comparison.
bool logEnabled(LogLevel level);

// Joins the pieces with the stream's ordinary insertion (texts as they are, unsigned codes in
// decimal, handles in pointer form) and logs the text at `level`. The text is composed whatever
// the level: the filter is the logger's. Where a message below the logger's level must cost
// nothing (a hot path, a Debug line), ask first:
//     if (logEnabled(LogLevel::Debug)) logAt(LogLevel::Debug, "took ", ms, " ms");
template <typename... Pieces>
void logAt(LogLevel level, const Pieces&... pieces) {
    std::ostringstream oss;
    (oss << ... << pieces);
    const std::string text = oss.str();
    logMessage(level, text);
}

template <typename... Pieces>
void logWarn(const Pieces&... pieces) {
    logAt(LogLevel::Warn, pieces...);
}

}  // namespace zentra::common
