#include "zentra/start_at_logon.h"

#include <windows.h>

#include <optional>

#include "app_rules.h"
#include "zentra/log.h"

namespace zentra {

using common::logWarn;

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager keeps the user's "off" for an entry: its first byte odd.
constexpr wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

std::string narrow(std::wstring_view text) {
    std::string out(
        static_cast<std::size_t>(WideCharToMultiByte(
            CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::wstring thisExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) {
            return {};
        }
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// A value of the key under HKEY_CURRENT_USER, strings expanded; nullopt when there is none.
std::optional<std::wstring> readString(const wchar_t* key, const std::wstring& name) {
    DWORD bytes = 0;
    // An expandable string is expanded, and read as a plain one.
    LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (status == ERROR_SUCCESS) {
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = RegGetValueW(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_REG_SZ, nullptr,
                              value.data(), &bytes);
    }
    if (status != ERROR_SUCCESS) {
        if (status != ERROR_FILE_NOT_FOUND) {
            logWarn("start at logon: the entry ", narrow(name), " cannot be read (", status, ")");
        }
        return std::nullopt;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

bool turnedOffInTaskManager(const std::wstring& name) {
    BYTE flags[12] = {};
    DWORD bytes = sizeof flags;
    return RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, name.c_str(), RRF_RT_REG_BINARY, nullptr,
                        flags, &bytes) == ERROR_SUCCESS &&
           bytes > 0 && (flags[0] & 1) != 0;
}

// Removes the value; true when it is gone (or never was).
bool removeValue(const wchar_t* key, const std::wstring& name) {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    logWarn("start at logon: the entry ", narrow(name), " cannot be removed (", status, ")");
    return false;
}

bool runsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    // Elevated by UAC: the Run entry starts the user's other, unelevated token. (An administrator
    // without UAC starts as one; so does everyone else.)
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD bytes = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevationType, &type, sizeof type, &bytes) != FALSE &&
        type == TokenElevationTypeFull;
    CloseHandle(token);
    return elevated;
}

}  // namespace

LogonEntry readStartAtLogon(std::wstring_view name) {
    const std::wstring key(name);
    LogonEntry entry;
    const std::optional<std::wstring> command = readString(kRunKey, key);
    if (!command) {
        return entry;
    }
    entry.command = *command;
    const std::wstring self = thisExecutable();
    bool same = false;
    for (const std::wstring_view program : app::programsOf(entry.command)) {
        same = same ||
               CompareStringOrdinal(program.data(), static_cast<int>(program.size()), self.c_str(),
                                    static_cast<int>(self.size()), TRUE) == CSTR_EQUAL;
    }
    entry.state = !same                         ? LogonStart::Stale
                  : turnedOffInTaskManager(key) ? LogonStart::Disabled
                                                : LogonStart::On;
    return entry;
}

bool setStartAtLogon(std::wstring_view name, const std::vector<std::wstring>& arguments) {
    const std::wstring key(name);
    const std::wstring self = thisExecutable();
    if (key.empty() || self.empty()) {
        logWarn("start at logon: no entry name, or this program's path is unknown");
        return false;
    }
    if (runsElevated()) {
        logWarn("start at logon: ", narrow(name),
                " runs elevated; started at logon it runs without elevation, and a program that "
                "requires elevation does not start from there (error 740)");
    }
    const std::wstring command = app::commandLineOf(self, arguments);
    const LSTATUS status =
        RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, key.c_str(), REG_SZ, command.c_str(),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        logWarn("start at logon: the entry ", narrow(name), " cannot be written (", status, ")");
        return false;
    }
    // The user asks for it again: Task Manager's "off" no longer holds.
    return removeValue(kApprovedKey, key);
}

bool clearStartAtLogon(std::wstring_view name) {
    const std::wstring key(name);
    return removeValue(kRunKey, key) && removeValue(kApprovedKey, key);
}

}  // namespace zentra
