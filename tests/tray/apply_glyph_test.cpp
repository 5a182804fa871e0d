// applyTrayGlyph against the stand-in's shell, on a notification icon registered as the
// application's tray code would register it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_logger.h"
#include "win32_standin_control.h"
#include "zentra/tray.h"

namespace {

using zentra::TrayGlyph;
using zentra::TrayIcons;

// A window handle of the caller's; the stand-in's shell only uses it as a key.
const HWND kWindow =
    reinterpret_cast<HWND>(std::uintptr_t{0x4242});  // NOLINT(performance-no-int-to-ptr)
constexpr UINT kId = 1;

class ApplyGlyphTest : public ::testing::Test {
  protected:
    void SetUp() override {
        standin::reset();
        zentra::initTrayIcons(nullptr, icons);
        ASSERT_NE(icons.error, nullptr);
        icons.current = TrayGlyph::Armed;
        nid.cbSize = sizeof nid;
        nid.hWnd = kWindow;
        nid.uID = kId;
        nid.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
        nid.uCallbackMessage = 0x8001;
        nid.hIcon = icons.armed;
        ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &nid));
        callsBefore = standin::shellCalls().size();
    }
    void TearDown() override {
        zentra::destroyTrayIcons(icons);
        standin::reset();
    }

    // The shell calls made since SetUp, as (message, flags, icon).
    std::vector<standin::ShellCall> newCalls() const {
        const auto all = standin::shellCalls();
        return {all.begin() + static_cast<std::ptrdiff_t>(callsBefore), all.end()};
    }
    void expectModifies(const std::vector<HICON>& shown) const {
        const auto calls = newCalls();
        ASSERT_EQ(calls.size(), shown.size());
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].message, NIM_MODIFY);
            EXPECT_EQ(calls[i].uFlags, NIF_ICON) << "only the icon is applied";
            EXPECT_EQ(calls[i].hIcon, shown[i]);
            EXPECT_EQ(calls[i].hWnd, kWindow);
            EXPECT_EQ(calls[i].uID, kId);
        }
    }

    TrayIcons icons;
    NOTIFYICONDATAW nid{};
    std::size_t callsBefore = 0;
    ScopedRecordingLogger log;
};

TEST_F(ApplyGlyphTest, SameGlyphTwiceCallsTheShellOnce) {
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    expectModifies({icons.triggered});
    EXPECT_TRUE(log->lines.empty());
}

TEST_F(ApplyGlyphTest, EqualToCurrentFromTheStartDoesNothing) {
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Armed);
    expectModifies({});
}

TEST_F(ApplyGlyphTest, ArmedTriggeredArmed) {
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    EXPECT_EQ(standin::shownIcon(kWindow, kId), icons.triggered);
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Armed);
    expectModifies({icons.triggered, icons.armed});
    EXPECT_EQ(icons.current, TrayGlyph::Armed);
    EXPECT_EQ(standin::shownIcon(kWindow, kId), icons.armed);
    EXPECT_EQ(nid.hIcon, icons.armed);
}

TEST_F(ApplyGlyphTest, NullHandleLeavesEverythingAndRetriesLater) {
    const HICON error = icons.error;
    icons.error = nullptr;
    const NOTIFYICONDATAW before = nid;
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
    expectModifies({});
    EXPECT_EQ(icons.current, TrayGlyph::Armed);
    EXPECT_EQ(nid.hIcon, before.hIcon);
    EXPECT_EQ(nid.uFlags, before.uFlags);

    icons.error = error;  // loaded after all
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
    expectModifies({error});
    EXPECT_TRUE(log->lines.empty());
}

// The caller's flags come back after the call, whatever the shell said.
TEST_F(ApplyGlyphTest, CallerFlagsRestoredOnSuccessAndFailure) {
    for (const bool fail : {false, true}) {
        for (const UINT flags :
             {0u, NIF_MESSAGE | NIF_TIP, NIF_ICON | NIF_TIP | NIF_MESSAGE | 0x10u}) {
            SCOPED_TRACE(std::to_string(flags) + (fail ? " failing" : " succeeding"));
            nid.uFlags = flags;
            if (fail) {
                standin::failNext("Shell_NotifyIconW", 5);
            }
            const TrayGlyph next =
                icons.current == TrayGlyph::Armed ? TrayGlyph::Triggered : TrayGlyph::Armed;
            zentra::applyTrayGlyph(nid, icons, next);
            EXPECT_EQ(nid.uFlags, flags);
            EXPECT_EQ(standin::shellCalls().back().uFlags, NIF_ICON);
        }
    }
}

TEST_F(ApplyGlyphTest, ShellFailureIsLoggedOnceAndCountsAsApplied) {
    nid.uFlags = NIF_TIP | NIF_MESSAGE;
    standin::failNext("Shell_NotifyIconW", 5);
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
    EXPECT_EQ(log->lines, (std::vector<LoggedLine>{
                              {zentra::common::LogLevel::Warn,
                               "applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=5)"}}));
    EXPECT_EQ(nid.uFlags, NIF_TIP | NIF_MESSAGE);
    EXPECT_EQ(nid.hIcon, icons.error);
    EXPECT_EQ(icons.current, TrayGlyph::Error);
    EXPECT_EQ(standin::shownIcon(kWindow, kId), icons.armed) << "the shell kept the old icon";

    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
    EXPECT_EQ(newCalls().size(), 1u);
    EXPECT_EQ(log->lines.size(), 1u);
}

TEST_F(ApplyGlyphTest, IconNeverAddedGivesOneWarning) {
    nid.uID = kId + 1;
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    ASSERT_EQ(log->lines.size(), 1u);
    EXPECT_EQ(
        log->lines[0].text.rfind("applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=", 0),
        0u);
    EXPECT_EQ(log->lines[0].text.back(), ')');
}

TEST_F(ApplyGlyphTest, ValuesOutsideTheEnumShowTheErrorIcon) {
    zentra::applyTrayGlyph(nid, icons, static_cast<TrayGlyph>(3));
    EXPECT_EQ(static_cast<int>(icons.current), 3);
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Error);
    EXPECT_EQ(icons.current, TrayGlyph::Error);
    zentra::applyTrayGlyph(nid, icons, static_cast<TrayGlyph>(-1));
    expectModifies({icons.error, icons.error, icons.error});
}

// Reloading the set keeps `current`, so re-applying the same glyph does not push the new icon.
TEST_F(ApplyGlyphTest, ReloadKeepsCurrent) {
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    zentra::destroyTrayIcons(icons);
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_EQ(icons.current, TrayGlyph::Triggered);
    zentra::applyTrayGlyph(nid, icons, TrayGlyph::Triggered);
    EXPECT_EQ(newCalls().size(), 1u);
}

}  // namespace
