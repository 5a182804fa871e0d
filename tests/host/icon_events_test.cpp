// The icon's callbacks decoded, as known answers: the event, the icon, and the anchor point's
// signed coordinates (a monitor left of or above the primary one gives negative ones).
#include <gtest/gtest.h>

#include "icon_events.h"

namespace {

using zentra::host::decodeIconCallback;
using zentra::host::IconEvent;

TEST(IconEvents, EventIconAndSignedAnchor) {
    struct Case {
        std::uint64_t wParam;
        std::uint64_t lParam;
        IconEvent event;
        int x, y;
    };
    const Case cases[] = {
        {0x024E'0316, 0x0001'0400, IconEvent::Select, 790, 590},        // NIN_SELECT
        {0x024E'0316, 0x0001'0401, IconEvent::Select, 790, 590},        // NIN_KEYSELECT
        {0x024E'0316, 0x0001'007B, IconEvent::ContextMenu, 790, 590},   // WM_CONTEXTMENU
        {0x024E'0316, 0x0001'0203, IconEvent::DoubleClick, 790, 590},   // WM_LBUTTONDBLCLK
        {0x024E'0316, 0x0001'0405, IconEvent::BalloonClick, 790, 590},  // NIN_BALLOONUSERCLICK
        {0x024E'0316, 0x0001'0205, IconEvent::None, 790, 590},          // WM_RBUTTONUP: act once
        {0x024E'0316, 0x0001'0204, IconEvent::None, 790, 590},          // WM_RBUTTONDOWN
        {0x024E'0316, 0x0001'0200, IconEvent::None, 790, 590},          // WM_MOUSEMOVE
        {0x024E'0316, 0x0001'0202, IconEvent::None, 790, 590},          // WM_LBUTTONUP
        {0x024E'0316, 0x0001'0402, IconEvent::None, 790, 590},          // NIN_BALLOONSHOW
        {0xFFF6'FC18, 0x0001'007B, IconEvent::ContextMenu, -1000, -10},
        {0x8000'7FFF, 0x0001'0400, IconEvent::Select, 32767, -32768},
        {0xFFFF'FFFF'FFFF'FFFF, 0x0001'0400, IconEvent::Select, -1, -1},
        {0x0000'0000, 0x0002'0400, IconEvent::None, 0, 0},  // another icon's
        {0x0000'0000, 0x0000'0400, IconEvent::None, 0, 0},
        {0x0000'0000, 0x1'0001'0400, IconEvent::Select, 0, 0},  // as HIWORD: bits 16 to 31
    };
    for (const Case& c : cases) {
        const auto input = decodeIconCallback(c.wParam, c.lParam, 1);
        EXPECT_EQ(input.event, c.event) << std::hex << c.lParam;
        EXPECT_EQ(input.keyboard, (c.lParam & 0xFFFF) == 0x0401) << std::hex << c.lParam;
        if (c.event != IconEvent::None) {
            EXPECT_EQ(input.x, c.x) << std::hex << c.wParam;
            EXPECT_EQ(input.y, c.y) << std::hex << c.wParam;
        }
    }
    EXPECT_EQ(decodeIconCallback(0, 0xFFFF'0400, 0xFFFF).event, IconEvent::Select);
    EXPECT_EQ(decodeIconCallback(0, 0x0001'0400, 0x1'0001).event, IconEvent::Select);
}

}  // namespace
