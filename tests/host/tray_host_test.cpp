// The notification icon host in a real notification area (Wine's shell desktop under Xvfb): the
// shell not ready at first, the shell re-created, no polling, exact-size icons, and every icon
// handle released once. Failures the shell would give at logon are injected at the host's one
// Win32 boundary; everything else is the real shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "recording_logger.h"
#include "zentra/tray_host.h"

namespace {

using namespace std::chrono_literals;
using zentra::Snapshot;
using zentra::TrayHost;
using zn::TrayGlyph;
using Clock = std::chrono::steady_clock;

// Runs the thread's message loop until `done` or `limit` passes; true when done.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // In short slices, so that a condition on the clock is seen when it comes true.
        const auto slice = std::min<long long>(left.count(), 5);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(slice), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }
    return true;
}

void pumpFor(std::chrono::milliseconds span) {
    pumpUntil([] { return false; }, span);
}

Snapshot armed() {
    Snapshot s;
    s.health.healthy = true;
    s.state = {"idle", std::nullopt, "active"};
    return s;
}

// Whether the shell has the icon of (window, id): a modify that changes nothing succeeds only then.
bool shellHasIcon(HWND window, UINT id) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void broadcastTaskbarCreated() {
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

TEST(TrayHostOnDisplay, ShellNotReadyAtFirst) {
    ScopedRecordingLogger log;
    auto shellUp = Clock::now() + 1500ms;
    zentra::TrayHostOptions options;
    options.iconId = 11;
    options.shellNotifyIcon = [&shellUp](DWORD message, NOTIFYICONDATAW* data) -> BOOL {
        if (Clock::now() < shellUp) {
            SetLastError(0x80004005);
            return FALSE;
        }
        return Shell_NotifyIconW(message, data);
    };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    EXPECT_FALSE(shellHasIcon(host->window(), 11));
    // The shell comes up and says so, as Explorer does when it starts.
    ASSERT_TRUE(pumpUntil([&] { return Clock::now() >= shellUp; }, 3s));
    const auto up = Clock::now();
    broadcastTaskbarCreated();
    ASSERT_TRUE(pumpUntil([&] { return shellHasIcon(host->window(), 11); }, 2s));
    std::printf("icon added %lld ms after the shell came up\n",
                static_cast<long long>((Clock::now() - up) / 1ms));
    // One warning for the whole streak of refused adds, not one per retry.
    EXPECT_EQ(log->lines.size(), 1u);
}

TEST(TrayHostOnDisplay, ShellRecreatedThenTaskbarCreatedWhileTheIconExists) {
    Snapshot missing = armed();
    missing.state.deviceStatus = "missing";
    zentra::TrayHostOptions options;
    options.iconId = 12;
    std::vector<TrayGlyph> shown;
    options.onGlyphShown = [&shown](TrayGlyph g, zn::MonoTime) { shown.push_back(g); };
    const auto host = TrayHost::create(missing, options);
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return shellHasIcon(host->window(), 12); }, 2s));

    // What a restarted shell does to an application: forgets its icon, then broadcasts.
    NOTIFYICONDATAW forget{};
    forget.cbSize = sizeof forget;
    forget.hWnd = host->window();
    forget.uID = 12;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &forget));
    ASSERT_FALSE(shellHasIcon(host->window(), 12));
    const auto recreated = Clock::now();
    broadcastTaskbarCreated();
    ASSERT_TRUE(pumpUntil([&] { return shellHasIcon(host->window(), 12); }, 1s));
    std::printf("icon back %lld ms after TaskbarCreated\n",
                static_cast<long long>((Clock::now() - recreated) / 1ms));
    EXPECT_EQ(host->icons().current, TrayGlyph::Error);

    // The shell still has the icon: the add fails and becomes a modify, quietly.
    ScopedRecordingLogger log;
    broadcastTaskbarCreated();
    pumpFor(300ms);
    EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
    EXPECT_TRUE(shellHasIcon(host->window(), 12));
    EXPECT_EQ(host->icons().current, TrayGlyph::Error);
    EXPECT_EQ(shown, std::vector<TrayGlyph>{TrayGlyph::Error});
}

TEST(TrayHostOnDisplay, NoPollingAndOneWakeUpPerPulse) {
    zentra::TrayHostOptions options;
    options.iconId = 13;
    std::vector<std::pair<TrayGlyph, zn::MonoTime>> shown;
    options.onGlyphShown = [&shown](TrayGlyph g, zn::MonoTime t) { shown.emplace_back(g, t); };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    pumpFor(2s);
    EXPECT_EQ(host->stats().timerWakeups, 0u) << "woken with nothing to do";

    Snapshot pulsed = armed();
    pulsed.pulse = Clock::now();
    host->post(pulsed);
    pumpFor(700ms);
    EXPECT_EQ(host->stats().timerWakeups, 1u);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].first, TrayGlyph::Triggered);
    EXPECT_EQ(shown[2].first, TrayGlyph::Armed);
    const auto back =
        std::chrono::duration_cast<std::chrono::milliseconds>(shown[2].second - pulsed.pulse);
    std::printf("armed again %lld ms after the pulse\n", static_cast<long long>(back.count()));
    EXPECT_GE(back, 300ms);
    EXPECT_LE(back, 332ms);
}

// The shell calls the host makes through its boundary, in order: the add and its version, a
// tooltip for each change, the delete at the end; and an error during a pulse's hold cancels the
// hold's timer.
TEST(TrayHostOnDisplay, ShellCallsInOrder) {
    zentra::TrayHostOptions options;
    options.iconId = 16;
    std::vector<DWORD> calls;
    options.shellNotifyIcon = [&calls](DWORD message, NOTIFYICONDATAW* data) {
        calls.push_back(message);
        return Shell_NotifyIconW(message, data);
    };
    auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    pumpFor(100ms);
    EXPECT_EQ(calls, (std::vector<DWORD>{NIM_ADD, NIM_SETVERSION}));

    Snapshot pulsed = armed();
    pulsed.pulse = Clock::now();
    host->post(pulsed);
    pumpFor(50ms);
    Snapshot failed = pulsed;
    failed.state.lastError = "usb reset";
    host->post(failed);
    pumpFor(500ms);
    EXPECT_EQ(host->stats().timerWakeups, 0u) << "the hold's timer outlived the error";
    host.reset();
    EXPECT_EQ(calls,
              (std::vector<DWORD>{NIM_ADD, NIM_SETVERSION, NIM_MODIFY, NIM_MODIFY, NIM_DELETE}));
}

// Snapshots posted from another thread faster than the UI thread takes them: merged, and the last
// one posted is the one shown.
TEST(TrayHostOnDisplay, LastSnapshotFromAnotherThreadWins) {
    zentra::TrayHostOptions options;
    options.iconId = 15;
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    std::thread engine([&] {
        for (int i = 0; i < 5'000; ++i) {
            host->post(i % 2 == 0 ? armed() : error);
        }
        host->post(error);
    });
    engine.join();
    ASSERT_TRUE(pumpUntil([&] { return host->icons().current == TrayGlyph::Error; }, 2s));
    pumpFor(100ms);
    EXPECT_EQ(host->icons().current, TrayGlyph::Error);
    EXPECT_LT(host->stats().snapshots, 5'000u) << "posts were not merged";
}

// The icons are the files' own images of the small-icon size, and every handle the host loaded,
// through many glyph changes and reloads, is destroyed exactly once.
TEST(TrayHostOnDisplay, ExactSizeIconsAndNoHandleLeft) {
    const int sizes[] = {16, 20, 24, 32};
    int reloads = 0;
    zentra::TrayHostOptions options;
    options.iconId = 14;
    options.smallIconSize = [&](HWND) { return sizes[reloads % 4]; };
    std::set<HICON> loaded;
    const auto remember = [&loaded](const zentra::TrayIcons& icons) {
        loaded.insert({icons.armed, icons.triggered, icons.error});
    };
    {
        const auto host = TrayHost::create(armed(), options);
        ASSERT_NE(host, nullptr);
        remember(host->icons());
        Snapshot error = armed();
        error.state.lastError = "usb reset";
        for (int i = 0; i < 10'000; ++i) {
            const auto before = host->stats().snapshots;
            host->post(i % 2 == 0 ? error : armed());
            ASSERT_TRUE(pumpUntil([&] { return host->stats().snapshots > before; }, 2s));
        }
        for (reloads = 1; reloads <= 100; ++reloads) {
            SendMessageW(host->window(), WM_SETTINGCHANGE, 0, 0);
            remember(host->icons());
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(host->icons().armed, &info));
            BITMAP bitmap{};
            GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, sizes[reloads % 4]);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
        EXPECT_EQ(host->stats().iconLoads, 101u);
    }
    loaded.erase(nullptr);
    EXPECT_EQ(loaded.size(), 3u * 101u);
    for (HICON icon : loaded) {
        EXPECT_FALSE(DestroyIcon(icon)) << "icon " << icon << " was still alive";
    }
}

}  // namespace
