// The host in an executable whose icons are embedded by zentra_embed_tray_icons: it shows them
// at the exact small-icon size with no icon file beside it, and takes the file only for an icon
// the executable lacks. Built twice: with the library's icons, and with an application's own
// files (ZENTRA_OWN_ICONS).
#include <gtest/gtest.h>

#include <string>

#include "host_test_support.h"
#include "recording_logger.h"

namespace {

using namespace host_test;
using namespace std::chrono_literals;

std::wstring iconFile(const wchar_t* glyph) {
    WCHAR exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\resources\\tray_" + glyph + L".ico";
}

HICON fromFile(const wchar_t* glyph, int side) {
    return static_cast<HICON>(
        LoadImageW(nullptr, iconFile(glyph).c_str(), IMAGE_ICON, side, side, LR_LOADFROMFILE));
}

// The icon files moved away for one scope.
struct FilesAway {
    FilesAway() {
        for (const wchar_t* glyph : {L"armed", L"triggered", L"error"}) {
            MoveFileW(iconFile(glyph).c_str(), (iconFile(glyph) + L".away").c_str());
        }
    }
    ~FilesAway() {
        for (const wchar_t* glyph : {L"armed", L"triggered", L"error"}) {
            MoveFileW((iconFile(glyph) + L".away").c_str(), iconFile(glyph).c_str());
        }
    }
};

TEST(TrayHostEmbeddedIcons, ExactSizeWithNoFilesBeside) {
    struct Expected {
        int side;
        HICON armed, triggered, error;
    };
    std::vector<Expected> sizes;
    for (int side : {16, 20, 24, 32}) {
#ifdef ZENTRA_OWN_ICONS  // embedded from the application's files: error, armed, triggered
        sizes.push_back({side, fromFile(L"error", side), fromFile(L"armed", side),
                         fromFile(L"triggered", side)});
#else
        sizes.push_back({side, fromFile(L"armed", side), fromFile(L"triggered", side),
                         fromFile(L"error", side)});
#endif
    }
    const FilesAway away;
    ASSERT_EQ(GetFileAttributesW(iconFile(L"armed").c_str()), INVALID_FILE_ATTRIBUTES);
    ScopedRecordingLogger log;
    for (const Expected& expected : sizes) {
        SCOPED_TRACE(expected.side);
        zentra::TrayHostOptions options;
        options.iconId = 30;
        options.smallIconSize = [&expected](HWND) { return expected.side; };
        auto host = zentra::TrayHost::create(armed(), options);
        ASSERT_NE(host, nullptr);
        pumpFor(50ms);
        const zentra::TrayIcons& icons = host->icons();
        EXPECT_EQ(iconSide(icons.armed), expected.side);
        EXPECT_TRUE(samePixels(icons.armed, expected.armed));
        EXPECT_TRUE(samePixels(icons.triggered, expected.triggered));
        EXPECT_TRUE(samePixels(icons.error, expected.error));
        EXPECT_FALSE(samePixels(icons.armed, expected.error));
    }
    EXPECT_TRUE(log->lines.empty()) << log->lines.front().text;
}

// The taskbar's theme: the light variants on a light taskbar, pushed with one shell call when
// the theme changes, and no call when it did not (or, for an application without light
// variants, ever).
TEST(TrayHostEmbeddedIcons, FollowTheTaskbarsTheme) {
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    const auto setLight = [key](DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"SystemUsesLightTheme", REG_DWORD, &value,
                        sizeof value);
    };
    setLight(0);
    zentra::TrayHostOptions options;
    options.iconId = 33;
    options.smallIconSize = [](HWND) { return 16; };
    HICON shown = nullptr;
    options.shellNotifyIcon = [&shown](DWORD message, NOTIFYICONDATAW* data) {
        shown = (data->uFlags & NIF_ICON) != 0 ? data->hIcon : shown;
        return Shell_NotifyIconW(message, data);
    };
    auto host = zentra::TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return host->iconShown(); }, 10s));
    const auto change = [&](UINT message, const wchar_t* area) {
        const auto before = host->stats().shellCalls;
        SendMessageW(host->window(), message, 0, reinterpret_cast<LPARAM>(area));
        return host->stats().shellCalls - before;
    };
#ifdef ZENTRA_OWN_ICONS
    const wchar_t* lightFile = L"error";  // the application has no light variants
    const std::uint64_t pushed = 0;
#else
    const wchar_t* lightFile = L"armed_light";
    const std::uint64_t pushed = 1;
#endif
    setLight(1);
    EXPECT_EQ(change(WM_SETTINGCHANGE, L"Policy"), 0u);
    EXPECT_EQ(change(WM_SETTINGCHANGE, L"ImmersiveColorSet"), pushed);
    EXPECT_TRUE(samePixels(shown, fromFile(lightFile, 16)));
    EXPECT_EQ(change(WM_SETTINGCHANGE, L"ImmersiveColorSet"), 0u);
    setLight(0);
    EXPECT_EQ(change(WM_SYSCOLORCHANGE, nullptr), pushed);
#ifndef ZENTRA_OWN_ICONS
    EXPECT_TRUE(samePixels(shown, fromFile(L"armed", 16)));
#endif
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"SystemUsesLightTheme");
}

}  // namespace
