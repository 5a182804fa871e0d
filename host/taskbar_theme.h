// What the user chose for the taskbar, as the icons must match it: a light or a dark taskbar, and
// high contrast. Read each time it is asked (the answers change while the host runs).
#pragma once

#include "zentra/win32.h"

namespace zentra::host {

// SystemUsesLightTheme under HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize
// (not AppsUseLightTheme, which differs in Windows' "Custom" mode); absent: dark.
bool lightTaskbar();
bool highContrast();

// Whether a window message may announce a change of either: WM_SETTINGCHANGE for
// "ImmersiveColorSet" or for high contrast, WM_SYSCOLORCHANGE, WM_THEMECHANGED.
bool announcesTheme(UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zentra::host
