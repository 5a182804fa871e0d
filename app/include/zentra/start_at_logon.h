// Start at logon: the current user's entry under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, named by the application, that
// starts the running executable (its path quoted) with the application's arguments.
// An entry may go stale (the application moved, or another copy of it wrote it), and the user can
// turn an entry off in Task Manager's list of startup programs; reading tells both apart from an
// entry that works. Setting the entry is the user's choice made again: it turns Task Manager's
// "off" back on.
// A program that requires elevation does not start from this entry at logon (Windows refuses it,
// error 740): setting it from a process elevated by UAC logs a warning.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zentra {

enum class LogonStart {
    Off,       // no entry (or it cannot be read: logged)
    On,        // the entry starts this executable
    Stale,     // the entry starts another program: `command` says which
    Disabled,  // the entry starts this executable, but the user turned it off in Task Manager
};

struct LogonEntry {
    LogonStart state = LogonStart::Off;
    std::wstring command;  // the entry's command line as stored (environment variables expanded)
};

// `name`: the entry's name, the application's (for example L"MyTray").
LogonEntry readStartAtLogon(std::wstring_view name);
// Writes the entry for this executable, each argument quoted as the C runtime reads it back. True
// when written; false, with a warning, when not.
bool setStartAtLogon(std::wstring_view name, const std::vector<std::wstring>& arguments = {});
// Removes the entry, whatever program it starts. True when there is none left.
bool clearStartAtLogon(std::wstring_view name);

}  // namespace zentra
