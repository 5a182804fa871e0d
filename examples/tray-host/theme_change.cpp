// tray-theme-change: what Windows does when the user switches the taskbar between dark and light,
// from a process of its own: sets SystemUsesLightTheme under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize and broadcasts
// WM_SETTINGCHANGE with "ImmersiveColorSet". Installed in the package's bin/, so that a developer
// can try an application's light icons without the Settings app.
//   tray-theme-change light|dark   (or 1|0)
#include <cstdio>
#include <cstring>

#include "zentra/win32.h"

int main(int argc, char** argv) {
    const bool light =
        argc == 2 && (std::strcmp(argv[1], "light") == 0 || std::strcmp(argv[1], "1") == 0);
    const bool dark =
        argc == 2 && (std::strcmp(argv[1], "dark") == 0 || std::strcmp(argv[1], "0") == 0);
    if (!light && !dark) {
        std::fprintf(stderr, "usage: tray-theme-change light|dark\n");
        return 2;
    }
    const DWORD value = light ? 1 : 0;
    if (RegSetKeyValueW(
            HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
            L"SystemUsesLightTheme", REG_DWORD, &value, sizeof value) != ERROR_SUCCESS) {
        std::fprintf(stderr, "tray-theme-change: the registry value cannot be set\n");
        return 1;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"ImmersiveColorSet"), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
    return 0;
}
