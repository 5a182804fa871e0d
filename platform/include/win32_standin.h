// The few Win32 types, constants and functions the tray code uses, for builds where <windows.h>
// does not exist. Names, values and return conventions are Win32's; behaviour follows what the
// tray code relies on (see win32_standin.cpp). Test controls are in win32_standin_control.h.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using WCHAR = wchar_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using HANDLE = void*;

// Opaque handle types: pointers to distinct incomplete structs, as with STRICT on Windows, so a
// handle streams in pointer form and handles of different kinds do not mix.
// The spelling is Windows' own (DECLARE_HANDLE), kept so code written for either header reads
// alike.
struct HICON__;      // NOLINT(bugprone-reserved-identifier)
struct HWND__;       // NOLINT(bugprone-reserved-identifier)
struct HINSTANCE__;  // NOLINT(bugprone-reserved-identifier)
using HICON = HICON__*;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr UINT MAX_PATH = 260;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_INVALID_ICON_HANDLE = 1402;
constexpr DWORD E_FAIL_CODE = 0x80004005;  // the shell's "unspecified failure"

constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;

// The leading members of the shell's notification-icon record, in Win32's order.
struct NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uVersion;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};

DWORD GetLastError();
void SetLastError(DWORD code);

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
BOOL PathRemoveFileSpecW(LPWSTR path);
LPWSTR PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file);

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);
