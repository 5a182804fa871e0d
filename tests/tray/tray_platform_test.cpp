// The tray functions against whichever Win32 the build has: the stand-in on Linux, the real API
// (Wine's user32 and shell32) on Windows. Nothing here injects failures, so both must agree.
// Some suites expect a particular executable folder and are run from copies of this program
// (see tests/CMakeLists.txt).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_logger.h"
#include "tray_messages.h"
#include "zentra/tray.h"

namespace {

using zentra::TrayGlyph;
using zentra::TrayIcons;

using tray_messages::loadFailed;

// User objects (icons among them) the process holds, where the platform counts them.
long userObjects() {
#if defined(_WIN32)
    return static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
#else
    return 0;
#endif
}

// Destroys the set, then checks each of its icons really was released exactly once: a second
// DestroyIcon on the same handle must fail.
void destroyAndCheckReleased(TrayIcons& icons) {
    const HICON handles[] = {icons.armed, icons.triggered, icons.error};
    zentra::destroyTrayIcons(icons);
    for (HICON h : handles) {
        if (h != nullptr) {
            EXPECT_FALSE(DestroyIcon(h)) << "icon " << h << " was still alive";
        }
    }
}

// Run from the build's own executable folder, beside the shipped resources/.
TEST(ShippedIcons, LoadAsThreeHandlesAndReleaseThemAll) {
    const long before = userObjects();
    ScopedRecordingLogger log;
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
    EXPECT_NE(icons.armed, nullptr);
    EXPECT_NE(icons.triggered, nullptr);
    EXPECT_NE(icons.error, nullptr);
    destroyAndCheckReleased(icons);
    EXPECT_EQ(userObjects(), before);
}

TEST(NotifyIcon, ModifyOfAnIconNeverAddedWarnsOnce) {
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.uID = 0x5eed;
    {
        ScopedRecordingLogger log;
        zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
        zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
        ASSERT_EQ(log->lines.size(), 1u);
        // The code is the platform's own; real Windows and Wine differ.
        const std::string& text = log->lines[0].text;
        EXPECT_EQ(text.rfind("applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=", 0), 0u);
        EXPECT_EQ(text.back(), ')');
    }
    EXPECT_EQ(icons.current, TrayGlyph::Error);
    destroyAndCheckReleased(icons);
}

// Run from a copy of this program in a folder with no resources/.
TEST(Layout, ResourcesFolderMissing) {
    ScopedRecordingLogger log;
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_EQ(icons.armed, nullptr);
    EXPECT_EQ(icons.triggered, nullptr);
    EXPECT_EQ(icons.error, nullptr);
    EXPECT_EQ(log->texts(), (std::vector<std::string>{loadFailed(3), loadFailed(3), loadFailed(3),
                                                      tray_messages::partialLoad(icons)}));
}

// Run from a copy of this program whose resources/tray_triggered.ico is not an icon.
TEST(Layout, MalformedTriggeredIcon) {
    ScopedRecordingLogger log;
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_NE(icons.armed, nullptr);
    EXPECT_EQ(icons.triggered, nullptr);
    EXPECT_NE(icons.error, nullptr);
    // Wine leaves last error 0 for a file that is not an icon.
    EXPECT_EQ(log->texts(),
              (std::vector<std::string>{loadFailed(0), tray_messages::partialLoad(icons)}));
    destroyAndCheckReleased(icons);
}

#if defined(_WIN32)
// Needs a display with Wine's shell desktop: a real notification icon on a hidden window.
TEST(NotifyIconOnDisplay, ApplyTrayGlyphSwitchesARealIcon) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"zentra-tray-test";
    ASSERT_NE(RegisterClassW(&wc), 0);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"zentra", WS_OVERLAPPED, 0, 0, 0, 0,
                                        nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);

    TrayIcons icons;
    zentra::initTrayIcons(instance, icons);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 1;
    nid.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    nid.uCallbackMessage = WM_APP + 1;
    nid.hIcon = icons.armed;
    wcscpy_s(nid.szTip, L"zentra");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &nid));

    {
        ScopedRecordingLogger log;
        for (const TrayGlyph g :
             {TrayGlyph::Triggered, TrayGlyph::Armed, TrayGlyph::Error, TrayGlyph::Triggered}) {
            zentra::applyTrayGlyph(nid, icons, g);
            EXPECT_EQ(nid.hIcon, g == TrayGlyph::Armed       ? icons.armed
                                 : g == TrayGlyph::Triggered ? icons.triggered
                                                             : icons.error);
        }
        EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
    }
    EXPECT_EQ(nid.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE));

    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    DestroyWindow(window);
    destroyAndCheckReleased(icons);
}
#endif

}  // namespace
