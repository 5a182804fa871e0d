#include "taskbar_theme.h"

#include <cwchar>

namespace zentra::host {

bool lightTaskbar() {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                        L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS &&
           value == 1;
}

bool highContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool announcesTheme(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOLORCHANGE || message == WM_THEMECHANGED) {
        return true;
    }
    if (message != WM_SETTINGCHANGE) {
        return false;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries the area's name
    const auto* area = reinterpret_cast<const wchar_t*>(lParam);
    return wParam == SPI_SETHIGHCONTRAST ||
           (area != nullptr && std::wcscmp(area, L"ImmersiveColorSet") == 0);
}

}  // namespace zentra::host
