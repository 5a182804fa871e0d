// Test-only controls of the Win32 stand-in: injected failures, live icon handles, and the shell
// calls made. Not available where the real Windows API is used.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win32_standin.h"

namespace standin {

// Forgets injected failures, the module-name override, recorded calls and registered
// notification icons, and sets the truncation error back to ERROR_INSUFFICIENT_BUFFER. Live icon
// handles and destroy faults are kept: they belong to whoever loaded them.
void reset();

// The next call of `function` ("GetModuleFileNameW", "PathCombineW", "LoadImageW",
// "DestroyIcon", "Shell_NotifyIconW") fails: it returns its failure value and sets `code` as the
// last error (PathCombineW sets none, as on Windows).
void failNext(std::string_view function, DWORD code);

// Makes GetModuleFileNameW report `path` instead of the running executable's (empty: the real one).
void overrideModuleFileName(std::wstring path);

// The last error GetModuleFileNameW sets when the path does not fit (0: it sets none).
void setTruncationError(DWORD code);

int liveIcons();
// The side of the image a live icon was made from (0 for a handle that is not live).
int iconSide(HICON icon);
// The size of a live icon: the one LoadImageW was asked for, or the chosen image's own (0 by 0
// for a handle that is not live).
struct IconSize {
    int width = 0;
    int height = 0;
};
IconSize iconSize(HICON icon);
// DestroyIcon calls on a handle that is not live: unknown, null or already destroyed.
int destroyFaults();

// Every LoadImageW call's file name, in order.
std::vector<std::wstring> loadImageCalls();

struct ShellCall {
    DWORD message;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    HICON hIcon;
    BOOL result;
};
std::vector<ShellCall> shellCalls();

// The icon the shell shows for (hWnd, uID); null if none is registered.
HICON shownIcon(HWND hWnd, UINT uID);

}  // namespace standin
