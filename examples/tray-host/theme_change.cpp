// tray-theme-change: what Windows does when the user switches the taskbar between dark and light,
// from a process of its own: sets SystemUsesLightTheme and broadcasts WM_SETTINGCHANGE with
// "ImmersiveColorSet".
//   tray-theme-change 0|1
#include <cstdio>
#include <cstring>

#include "zentra/win32.h"

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "0") != 0 && std::strcmp(argv[1], "1") != 0)) {
        std::fprintf(stderr, "usage: tray-theme-change 0|1\n");
        return 2;
    }
    const DWORD light = argv[1][0] == '1' ? 1 : 0;
    if (RegSetKeyValueW(
            HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
            L"SystemUsesLightTheme", REG_DWORD, &light, sizeof light) != ERROR_SUCCESS) {
        std::fprintf(stderr, "tray-theme-change: the registry value cannot be set\n");
        return 1;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"ImmersiveColorSet"), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
    return 0;
}
