// Where a GUI-subsystem program's log lines go: a file in the user's local application data, and
// the console it was started from, if any, so that a person finds them either way.
#pragma once

#include <filesystem>

namespace tray_host {

// Sends standard output and error to the console of the process that started this one, unless
// they already lead somewhere (redirected, or inherited from a console). True when they do.
bool useParentConsole();

// Installs the process logger: lines go to <local app data>\<folder>\<file> (the folder made when
// missing, rotated at 1 MiB, three files kept) and the debugger from Info up, and to standard
// error from Warn up when `console`. Returns the log file's path (empty when the user has no local
// application data).
std::filesystem::path startLogging(const wchar_t* folder, const wchar_t* file, bool console);

}  // namespace tray_host
