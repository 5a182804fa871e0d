// What the notification icon's callback message says (version 4 of the shell's callbacks): the
// event in the low word of lParam, the icon id in the high word, and the anchor point in wParam as
// two signed 16-bit coordinates (negative left of or above the primary monitor).
#pragma once

#include <cstdint>

namespace zentra::host {

enum class IconEvent {
    None,          // nothing the application acts on (mouse moves, button downs, WM_RBUTTONUP)
    Select,        // left click (NIN_SELECT), Enter or Space on the focused icon (NIN_KEYSELECT)
    ContextMenu,   // right click, Shift+F10 or the menu key (WM_CONTEXTMENU)
    DoubleClick,   // WM_LBUTTONDBLCLK
    BalloonClick,  // a click on the icon's notification (NIN_BALLOONUSERCLICK)
};

struct IconInput {
    IconEvent event = IconEvent::None;
    int x = 0;
    int y = 0;
    bool keyboard = false;  // a Select from Enter or Space (NIN_KEYSELECT)
};

// The callback's meaning for the icon `iconId`; None for another icon's.
IconInput decodeIconCallback(std::uint64_t wParam, std::uint64_t lParam, unsigned iconId);

}  // namespace zentra::host
