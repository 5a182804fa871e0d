#include <cstdint>

#include "zentra/log.h"
#include "zentra/tray.h"

namespace zentra {

using common::logWarn;

void initTrayIcons(HINSTANCE /*unused*/, TrayIcons& icons) {
    WCHAR exeDir[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exeDir, MAX_PATH);
    // A result that fills the whole buffer is a cut-off path (possibly unterminated): looking for
    // the icons beside it would search the wrong folder, so it fails like a zero result.
    if (length == 0 || length >= MAX_PATH) {
        DWORD code = GetLastError();
        if (length != 0 && code == 0) {
            code = ERROR_INSUFFICIENT_BUFFER;
        }
        logWarn("initTrayIcons: GetModuleFileNameW failed (GLE=", code, ")");
        return;
    }
    PathRemoveFileSpecW(exeDir);

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

void destroyTrayIcons(TrayIcons& icons) {
    for (HICON* field : {&icons.armed, &icons.triggered, &icons.error}) {
        if (*field != nullptr) {
            DestroyIcon(*field);
            *field = nullptr;
        }
    }
}

}  // namespace zentra
