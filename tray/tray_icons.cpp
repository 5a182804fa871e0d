#include <cstdint>

#include "zentra/log.h"
#include "zentra/tray.h"

namespace zentra {

using common::logWarn;

namespace {

// The running executable's folder in `dir`; false (and a warning from `caller`) when the module
// path is not available. A result that fills the whole buffer is a cut-off path (possibly
// unterminated): looking for the icons beside it would search the wrong folder, so it fails like
// a zero result.
bool executableFolder(WCHAR (&dir)[MAX_PATH], const char* caller) {
    const DWORD length = GetModuleFileNameW(nullptr, dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        DWORD code = GetLastError();
        if (length != 0 && code == 0) {
            code = ERROR_INSUFFICIENT_BUFFER;
        }
        logWarn(caller, ": GetModuleFileNameW failed (GLE=", code, ")");
        return false;
    }
    PathRemoveFileSpecW(dir);
    return true;
}

}  // namespace

void initTrayIcons(HINSTANCE /*unused*/, TrayIcons& icons) {
    WCHAR exeDir[MAX_PATH];
    if (!executableFolder(exeDir, "initTrayIcons")) {
        return;
    }

    const auto loadIcon = [&exeDir](LPCWSTR relPath) -> HICON {
        WCHAR full[MAX_PATH];
        if (PathCombineW(full, exeDir, relPath) == nullptr) {
            logWarn("initTrayIcons: PathCombineW failed for relPath");
            return nullptr;
        }
        auto* const icon = static_cast<HICON>(
            LoadImageW(nullptr, full, IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
        if (icon == nullptr) {
            const DWORD code = GetLastError();
            logWarn("initTrayIcons: LoadImageW failed (GLE=", code, ")");
        }
        return icon;
    };

    icons.armed = loadIcon(L"resources\\tray_armed.ico");
    icons.triggered = loadIcon(L"resources\\tray_triggered.ico");
    icons.error = loadIcon(L"resources\\tray_error.ico");

    if (icons.armed == nullptr || icons.triggered == nullptr || icons.error == nullptr) {
        logWarn("initTrayIcons: partial load (armed=", icons.armed, ", triggered=", icons.triggered,
                ", error=", icons.error, ")");
    }
}

namespace {

// The icon file for `glyph` in the folder `exeDir`'s resources, at `pixels` a side.
HICON loadBeside(const WCHAR* exeDir, TrayGlyph glyph, int pixels) {
    const wchar_t* path = glyph == TrayGlyph::Armed       ? L"resources\\tray_armed.ico"
                          : glyph == TrayGlyph::Triggered ? L"resources\\tray_triggered.ico"
                                                          : L"resources\\tray_error.ico";
    const char* name = glyph == TrayGlyph::Armed       ? "resources\\tray_armed.ico"
                       : glyph == TrayGlyph::Triggered ? "resources\\tray_triggered.ico"
                                                       : "resources\\tray_error.ico";
    WCHAR full[MAX_PATH];
    if (PathCombineW(full, exeDir, path) == nullptr) {
        logWarn("loadTrayIconsAtSize: PathCombineW failed for ", name);
        return nullptr;
    }
    // No LR_DEFAULTSIZE: the requested size picks the file's own image of that size.
    auto* const icon =
        static_cast<HICON>(LoadImageW(nullptr, full, IMAGE_ICON, pixels, pixels, LR_LOADFROMFILE));
    if (icon == nullptr) {
        const DWORD code = GetLastError();
        logWarn("loadTrayIconsAtSize: LoadImageW failed for ", name, " (GLE=", code, ")");
    }
    return icon;
}

}  // namespace

HICON loadTrayIconAtSize(TrayGlyph glyph, int pixels) {
    WCHAR exeDir[MAX_PATH];
    if (!executableFolder(exeDir, "loadTrayIconsAtSize")) {
        return nullptr;
    }
    return loadBeside(exeDir, glyph, pixels);
}

void loadTrayIconsAtSize(TrayIcons& icons, int pixels) {
    WCHAR exeDir[MAX_PATH];
    const bool found = executableFolder(exeDir, "loadTrayIconsAtSize");
    icons.armed = found ? loadBeside(exeDir, TrayGlyph::Armed, pixels) : nullptr;
    icons.triggered = found ? loadBeside(exeDir, TrayGlyph::Triggered, pixels) : nullptr;
    icons.error = found ? loadBeside(exeDir, TrayGlyph::Error, pixels) : nullptr;
}

void destroyTrayIcons(TrayIcons& icons) {
    for (HICON* field : {&icons.armed, &icons.triggered, &icons.error}) {
        if (*field != nullptr) {
            DestroyIcon(*field);
            *field = nullptr;
        }
    }
}

}  // namespace zentra
