#include "icon_events.h"

namespace zentra::host {

namespace {

constexpr unsigned kSelect = 0x0400;        // NIN_SELECT (WM_USER)
constexpr unsigned kKeySelect = 0x0401;     // NIN_KEYSELECT (NIN_SELECT | NINF_KEY)
constexpr unsigned kBalloonClick = 0x0405;  // NIN_BALLOONUSERCLICK (WM_USER + 5)
constexpr unsigned kContextMenu = 0x007B;   // WM_CONTEXTMENU
constexpr unsigned kDoubleClick = 0x0203;   // WM_LBUTTONDBLCLK

// The low 16 bits as a signed coordinate, as GET_X_LPARAM reads them.
int signedWord(std::uint64_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

IconEvent eventOf(unsigned message) {
    switch (message) {
        case kSelect:
        case kKeySelect:
            return IconEvent::Select;
        case kContextMenu:
            return IconEvent::ContextMenu;
        case kDoubleClick:
            return IconEvent::DoubleClick;
        case kBalloonClick:
            return IconEvent::BalloonClick;
        default:
            return IconEvent::None;
    }
}

}  // namespace

IconInput decodeIconCallback(std::uint64_t wParam, std::uint64_t lParam, unsigned iconId) {
    IconInput input;
    if (((lParam >> 16) & 0xFFFF) != (iconId & 0xFFFF)) {
        return input;
    }
    input.event = eventOf(static_cast<unsigned>(lParam & 0xFFFF));
    input.keyboard = (lParam & 0xFFFF) == kKeySelect;
    input.x = signedWord(wParam);
    input.y = signedWord(wParam >> 16);
    return input;
}

}  // namespace zentra::host
