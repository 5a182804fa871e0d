// The notification icon host in a real notification area (Wine's shell desktop under Xvfb): the
// shell not ready at first, the shell re-created, no polling, exact-size icons, and every icon
// handle released once. Failures the shell would give at logon are injected at the host's one
// Win32 boundary; everything else is the real shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "freed_memory.h"
#include "host_test_support.h"
#include "recording_logger.h"
#include "zentra/tray_host.h"

namespace {

using namespace std::chrono_literals;
using zentra::Snapshot;
using zentra::TrayHost;
using zn::TrayGlyph;
using namespace host_test;

// Whether the shell has the icon of (window, id): a modify that changes nothing succeeds only then.
bool shellHasIcon(HWND window, UINT id) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

// The user's double-click time, set for a while.
struct DoubleClickTime {
    explicit DoubleClickTime(UINT ms) : before(GetDoubleClickTime()) { SetDoubleClickTime(ms); }
    ~DoubleClickTime() { SetDoubleClickTime(before); }
    DoubleClickTime(const DoubleClickTime&) = delete;
    DoubleClickTime& operator=(const DoubleClickTime&) = delete;
    UINT before;
};

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
    EXPECT_EQ(log->lines.size(), 1u) << testing::PrintToString(log->texts());
}

// A shell that refuses the first add (and the modify after it) and takes the retry a second
// later, without any broadcast.
TEST(TrayHostOnDisplay, RefusedAddRetried) {
    ScopedRecordingLogger log;
    int refusals = 2;
    zentra::TrayHostOptions options;
    options.iconId = 25;
    options.shellNotifyIcon = [&refusals](DWORD message, NOTIFYICONDATAW* data) -> BOOL {
        if (refusals > 0) {
            --refusals;
            SetLastError(0x80004005);
            return FALSE;
        }
        return Shell_NotifyIconW(message, data);
    };
    const auto start = Clock::now();
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    EXPECT_FALSE(host->iconShown());
    ASSERT_TRUE(pumpUntil([&] { return shellHasIcon(host->window(), 25); }, 3s));
    EXPECT_GE(Clock::now() - start, 1s);
    EXPECT_TRUE(host->iconShown());
    EXPECT_EQ(log->lines.size(), 1u) << testing::PrintToString(log->texts());
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
    EXPECT_EQ(host->shown().glyph, TrayGlyph::Error);

    // The shell still has the icon: the add fails and becomes a modify, quietly.
    ScopedRecordingLogger log;
    broadcastTaskbarCreated();
    pumpFor(300ms);
    EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
    EXPECT_TRUE(shellHasIcon(host->window(), 12));
    EXPECT_EQ(host->shown().glyph, TrayGlyph::Error);
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
    ASSERT_TRUE(pumpUntil([&] { return shown.size() == 3; }, 10s));
    pumpFor(100ms);
    EXPECT_EQ(host->stats().timerWakeups, 1u);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].first, TrayGlyph::Triggered);
    EXPECT_EQ(shown[2].first, TrayGlyph::Armed);
    const auto back =
        std::chrono::duration_cast<std::chrono::milliseconds>(shown[2].second - pulsed.pulse);
    std::printf("armed again %lld ms after the pulse\n", static_cast<long long>(back.count()));
    EXPECT_GE(back, 300ms);
}

// The shell calls the host makes through its boundary, in order: the add and its version, one
// modify for each change carrying icon and tooltip together, the delete at the end; and an error
// during a pulse's hold cancels the hold's timer.
TEST(TrayHostOnDisplay, ShellCallsInOrder) {
    zentra::TrayHostOptions options;
    options.iconId = 16;
    options.notifications.onError = false;  // only the icon's own calls here
    std::vector<std::pair<DWORD, UINT>> calls;
    options.shellNotifyIcon = [&calls](DWORD message, NOTIFYICONDATAW* data) {
        calls.emplace_back(message, data->uFlags);
        return Shell_NotifyIconW(message, data);
    };
    // The first glyph is reported from the message loop, once the application has the host.
    bool creating = true;
    std::vector<TrayGlyph> shown;
    options.onGlyphShown = [&](TrayGlyph glyph, zn::MonoTime) {
        EXPECT_FALSE(creating) << "called from inside create()";
        shown.push_back(glyph);
    };
    auto host = TrayHost::create(armed(), options);
    creating = false;
    ASSERT_NE(host, nullptr);
    EXPECT_TRUE(shown.empty());
    pumpFor(100ms);
    EXPECT_EQ(shown, std::vector<TrayGlyph>{TrayGlyph::Armed});
    const UINT all = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    const UINT change = NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    using Calls = std::vector<std::pair<DWORD, UINT>>;
    EXPECT_EQ(calls, (Calls{{NIM_ADD, all}, {NIM_SETVERSION, all}}));

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
    EXPECT_EQ(calls, (Calls{{NIM_ADD, all},
                            {NIM_SETVERSION, all},
                            {NIM_MODIFY, change},
                            {NIM_MODIFY, change},
                            {NIM_DELETE, 0}}));
}

// 200 glyph changes, each a single modify with the icon and the tooltip, and reported once.
TEST(TrayHostOnDisplay, OneShellCallPerChange) {
    zentra::TrayHostOptions options;
    options.iconId = 17;
    options.notifications.onError = false;  // a notification is a call of its own
    int shown = 0;
    options.onGlyphShown = [&shown](TrayGlyph, zn::MonoTime) { ++shown; };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    pumpFor(50ms);
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    const auto before = host->stats().shellCalls;
    for (int i = 0; i < 200; ++i) {
        const auto taken = host->stats().snapshots;
        host->post(i % 2 == 0 ? error : armed());
        ASSERT_TRUE(pumpUntil([&] { return host->stats().snapshots > taken; }, 2s));
    }
    pumpFor(20ms);
    const auto calls = host->stats().shellCalls - before;
    std::printf("%llu shell calls for 200 glyph changes\n", static_cast<unsigned long long>(calls));
    EXPECT_EQ(calls, 200u);
    EXPECT_EQ(shown, 201);
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
    // Calls from the same thread are made on the UI thread, each once, in order.
    const std::thread::id ui = std::this_thread::get_id();
    std::vector<int> made;
    std::thread engine([&] {
        for (int i = 0; i < 5'000; ++i) {
            host->post(i % 2 == 0 ? armed() : error);
            if (i % 50 == 0) {
                host->call(
                    [&made, ui, i] { made.push_back(std::this_thread::get_id() == ui ? i : -1); });
            }
        }
        host->post(error);
    });
    engine.join();
    ASSERT_TRUE(pumpUntil([&] { return host->shown().glyph == TrayGlyph::Error; }, 2s));
    pumpFor(100ms);
    EXPECT_EQ(host->shown().glyph, TrayGlyph::Error);
    EXPECT_LT(host->stats().snapshots, 5'000u) << "posts were not merged";
    ASSERT_EQ(made.size(), 100U);
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i], static_cast<int>(i) * 50);
    }
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
            const HICON before = host->icons().armed;
            SendMessageW(host->window(), WM_SETTINGCHANGE, 0, 0);
            remember(host->icons());
            ICONINFO gone{};
            EXPECT_FALSE(GetIconInfo(before, &gone)) << "a replaced icon outlived the change";
            EXPECT_EQ(iconSide(host->icons().armed), sizes[reloads % 4]);
        }
        EXPECT_EQ(host->stats().iconLoads, 101u);
    }
    loaded.erase(nullptr);
    EXPECT_EQ(loaded.size(), 3u * 101u);
    for (HICON icon : loaded) {
        EXPECT_FALSE(DestroyIcon(icon)) << "icon " << icon << " was still alive";
    }
}

// What the shell was last given for the icon, as seen at the host's boundary.
struct ShellRecord {
    std::vector<DWORD> calls;
    HICON icon = nullptr;
    std::wstring tooltip;

    std::function<BOOL(DWORD, NOTIFYICONDATAW*)> boundary() {
        return [this](DWORD message, NOTIFYICONDATAW* data) {
            calls.push_back(message);
            const BOOL ok = Shell_NotifyIconW(message, data);
            if (ok && (data->uFlags & NIF_ICON) != 0) {
                icon = data->hIcon;
            }
            if (ok && (data->uFlags & NIF_TIP) != 0) {
                tooltip = data->szTip;
            }
            return ok;
        };
    }
};

// A copy of the system's icon `id` at `side` pixels, kept for the whole test run.
HICON systemIcon(WORD id, int side) {
    return static_cast<HICON>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, LR_SHARED));
}

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};
}

// A message box on Error, as an application would show one, closed by the user 800 ms later;
// meanwhile the engine recovers and pulses. Inside the box's modal loop the icon follows the
// engine; afterwards nothing stale comes back: the icon is armed with its tooltip, the hold's
// timer fired once, and each change was reported once, in order.
TEST(TrayHostOnDisplay, MessageBoxInTheCallback) {
    zentra::TrayHostOptions options;
    options.iconId = 18;
    ShellRecord shell;
    options.shellNotifyIcon = shell.boundary();
    std::vector<TrayGlyph> shown;
    TrayHost* host = nullptr;
    options.onGlyphShown = [&](TrayGlyph glyph, zn::MonoTime) {
        shown.push_back(glyph);
        if (glyph != TrayGlyph::Error) {
            return;
        }
        std::thread engine([&host] {
            Snapshot pulsed = armed();
            pulsed.pulse = Clock::now();
            host->post(pulsed);
            std::this_thread::sleep_for(800ms);
            const HWND box = FindWindowW(nullptr, L"zentra host test");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        MessageBoxW(nullptr, L"the engine failed", L"zentra host test", MB_OK);
        engine.join();
    };
    const auto owner = TrayHost::create(armed(), options);
    ASSERT_NE(owner, nullptr);
    host = owner.get();
    pumpFor(50ms);
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    host->post(error);
    pumpFor(1500ms);
    EXPECT_EQ(shown, (std::vector<TrayGlyph>{TrayGlyph::Armed, TrayGlyph::Error,
                                             TrayGlyph::Triggered, TrayGlyph::Armed}));
    EXPECT_EQ(host->shown().glyph, TrayGlyph::Armed);
    EXPECT_EQ(shell.icon, host->icons().armed);
    EXPECT_EQ(shell.tooltip, wide(zentra::trayTooltip(armed(), TrayGlyph::Armed)));
    EXPECT_EQ(host->stats().timerWakeups, 1u);
}

// The application destroys the host in its callback, with another call queued behind it: no call
// reaches the destroyed host, and the icon and the window are gone.
TEST(TrayHostOnDisplay, DestroyedInsideItsCallback) {
    zentra::TrayHostOptions options;
    options.iconId = 19;
    std::unique_ptr<TrayHost> host;
    int calls = 0;
    options.onGlyphShown = [&](TrayGlyph, zn::MonoTime) {
        ++calls;
        host.reset();
    };
    host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    const HWND window = host->window();
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    host->post(error);  // the first glyph's call and this one's are both to come
    pumpFor(300ms);
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(shellHasIcon(window, 19));
}

// The application destroys the host while its menu is asked for, and while the menu is open (on
// the engine's error shown under it): no menu stays, no choice is told, the window is gone, and
// the host touches nothing of itself afterwards (its freed memory is watched).
TEST(TrayHostOnDisplay, DestroyedByItsMenu) {
    for (const bool whileOpen : {false, true}) {
        SCOPED_TRACE(whileOpen ? "while the menu is open" : "while the menu is asked for");
        zentra::TrayHostOptions options;
        options.iconId = 29;
        std::unique_ptr<TrayHost> host;
        std::atomic<bool> destroyWhenShown{false};
        int choices = 0;
        options.menu = [&] {
            if (!whileOpen) {
                host.reset();
            }
            return std::vector<zentra::TrayMenuItem>{{1, L"Quit"}};
        };
        options.onMenuChoice = [&choices](unsigned) { ++choices; };
        options.onGlyphShown = [&](TrayGlyph, zn::MonoTime) {
            if (destroyWhenShown) {
                host.reset();
            }
        };
        host = TrayHost::create(armed(), options);
        ASSERT_NE(host, nullptr);
        pumpFor(50ms);
        TrayHost* const raw = host.get();
        const HWND window = host->window();
        // The user: once the menu shows, the engine's error comes (and the host goes with it);
        // a menu still there a second later is closed.
        std::thread user([&] {
            HWND menu = nullptr;
            for (int i = 0; i < 100 && menu == nullptr; ++i) {
                std::this_thread::sleep_for(10ms);
                menu = FindWindowW(L"#32768", nullptr);
            }
            if (menu != nullptr && whileOpen) {
                destroyWhenShown = true;
                Snapshot error = armed();
                error.state.lastError = "usb reset";
                raw->post(error);
            }
            std::this_thread::sleep_for(1s);
            if (const HWND still = FindWindowW(L"#32768", nullptr)) {
                PostMessageW(still, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        });
        freed_memory::watch(true);
        PostMessageW(window, options.callbackMessage, MAKEWPARAM(700, 500),
                     MAKELPARAM(WM_CONTEXTMENU, 29));
        pumpUntil([&] { return host == nullptr; }, 5s);
        pumpFor(200ms);
        user.join();
        EXPECT_EQ(freed_memory::watch(false), 0u) << "the host wrote to itself once destroyed";
        EXPECT_EQ(host, nullptr);
        EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);
        EXPECT_EQ(choices, 0);
        EXPECT_FALSE(IsWindow(window));
    }
}

// A glyph's icon file missing (the error's, the triggered one's): while the glyph shows, the shell
// is given the system's icon for it (error, information) at the small-icon size, never another
// glyph's icon; the fallback is warned once.
TEST(TrayHostOnDisplay, MissingIconFileNeverShowsAnotherGlyph) {
    Snapshot triggered = armed();
    triggered.state.phase = "triggered";
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    const struct {
        const wchar_t* file;
        Snapshot snapshot;
        TrayGlyph glyph;
        HICON zentra::TrayIcons::*icon;
        WORD systemId;  // the system's icon that stands in
        const char* warning;
    } rows[] = {
        {L"tray_error.ico", error, TrayGlyph::Error, &zentra::TrayIcons::error, 32513,
         "showing the system's error icon"},
        {L"tray_triggered.ico", triggered, TrayGlyph::Triggered, &zentra::TrayIcons::triggered,
         32516, "showing the system's information icon"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.file, row.file + wcslen(row.file)));
        WCHAR exe[MAX_PATH];
        ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
        std::wstring folder(exe);
        folder.resize(folder.rfind(L'\\'));
        const std::wstring file = folder + L"\\resources\\" + row.file;
        const std::wstring away = file + L".away";
        ASSERT_TRUE(MoveFileW(file.c_str(), away.c_str()));
        struct Restore {
            const std::wstring& from;
            const std::wstring& to;
            ~Restore() { MoveFileW(from.c_str(), to.c_str()); }
        } restore{away, file};

        ScopedRecordingLogger log;
        zentra::TrayHostOptions options;
        options.iconId = 20;
        ShellRecord shell;
        options.shellNotifyIcon = shell.boundary();
        int size = 20;
        options.smallIconSize = [&size](HWND) { return size; };
        std::vector<TrayGlyph> shown;
        options.onGlyphShown = [&shown](TrayGlyph g, zn::MonoTime) { shown.push_back(g); };
        auto host = TrayHost::create(row.snapshot, options);
        ASSERT_NE(host, nullptr);
        pumpFor(50ms);
        ASSERT_EQ(host->icons().*row.icon, nullptr);
        ASSERT_NE(host->icons().armed, nullptr);
        const HICON stand = shell.icon;
        EXPECT_TRUE(samePixels(stand, systemIcon(row.systemId, 20))) << "not the system's icon";
        EXPECT_EQ(iconSide(stand), 20);
        for (const Snapshot& next : {armed(), row.snapshot}) {
            host->post(next);
            pumpFor(50ms);
        }
        EXPECT_EQ(shell.icon, stand);
        EXPECT_EQ(shown, (std::vector<TrayGlyph>{row.glyph, TrayGlyph::Armed, row.glyph}));
        // A new size: the system's icon again at that size, the old one released.
        size = 24;
        SendMessageW(host->window(), WM_SETTINGCHANGE, 0, 0);
        const HICON resized = shell.icon;
        EXPECT_EQ(iconSide(resized), 24);
        EXPECT_TRUE(samePixels(resized, systemIcon(row.systemId, 24)));
        ICONINFO info{};
        EXPECT_FALSE(GetIconInfo(stand, &info)) << "the replaced system icon was not released";
        host.reset();
        EXPECT_FALSE(GetIconInfo(resized, &info)) << "the system icon outlived the host";
        int fallbacks = 0;
        for (const std::string& line : log->texts()) {
            fallbacks += line.find(row.warning) != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(fallbacks, 1);
    }
}

// A small-icon size of 0 (GetSystemMetricsForDpi can give it): the system's small-icon size.
TEST(TrayHostOnDisplay, SizeZeroFallsBackToTheSystemSize) {
    ScopedRecordingLogger log;
    zentra::TrayHostOptions options;
    options.iconId = 21;
    options.smallIconSize = [](HWND) { return 0; };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(iconSide(host->icons().armed), GetSystemMetrics(SM_CXSMICON));
    EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
}

// A new shell that forgot the icon, with a new icon size: the icons are reloaded and added, with
// no modify of the icon that is gone before the add, and nothing to warn about.
TEST(TrayHostOnDisplay, NewShellWithNewSizeAddsWithTheNewIcons) {
    zentra::TrayHostOptions options;
    options.iconId = 22;
    ShellRecord shell;
    options.shellNotifyIcon = shell.boundary();
    int size = 16;
    options.smallIconSize = [&size](HWND) { return size; };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    pumpFor(50ms);
    NOTIFYICONDATAW forget{};
    forget.cbSize = sizeof forget;
    forget.hWnd = host->window();
    forget.uID = 22;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &forget));
    shell.calls.clear();
    size = 24;
    ScopedRecordingLogger log;
    broadcastTaskbarCreated();
    ASSERT_TRUE(pumpUntil([&] { return shellHasIcon(host->window(), 22); }, 1s));
    pumpFor(50ms);
    EXPECT_TRUE(log->lines.empty()) << log->texts()[0];
    EXPECT_EQ(shell.calls, (std::vector<DWORD>{NIM_ADD, NIM_SETVERSION}));
    EXPECT_EQ(iconSide(shell.icon), 24);
    EXPECT_EQ(shell.icon, host->icons().armed);
}

// Callback messages that would collide with the system's or the host's own are refused.
TEST(TrayHostOnDisplay, CallbackMessagesThatCollideAreRefused) {
    struct Case {
        UINT message;
        bool refused;
    };
    const Case cases[] = {
        {WM_TIMER, true},
        {WM_USER - 1, true},
        {RegisterWindowMessageW(L"TaskbarCreated"), true},
        {RegisterWindowMessageW(L"zentra.TrayHost.wake"), true},
        {0x10000, true},
        {WM_USER, false},
        {WM_APP + 1, false},
        {RegisterWindowMessageW(L"my tray callback"), false},
    };
    for (const Case& c : cases) {
        ScopedRecordingLogger log;
        zentra::TrayHostOptions options;
        options.iconId = 23;
        options.callbackMessage = c.message;
        const auto host = TrayHost::create(armed(), options);
        EXPECT_EQ(host == nullptr, c.refused) << c.message;
        EXPECT_EQ(log->lines.size(), c.refused ? 1u : 0u) << c.message;
    }
}

// A polite close (taskkill without /f) and the end of the session: the application is told, or
// by default its message loop ends; the window and the icon stay until the host is destroyed.
TEST(TrayHostOnDisplay, PoliteCloseAndSessionEnd) {
    using zentra::TrayHostClose;
    struct Case {
        UINT message;
        WPARAM wParam;
        bool withCallback;
        LRESULT result;
        bool quits;
        std::optional<TrayHostClose> told;
    };
    const Case cases[] = {
        {WM_CLOSE, 0, false, 0, true, std::nullopt},
        {WM_CLOSE, 0, true, 0, false, TrayHostClose::Closed},
        {WM_QUERYENDSESSION, 0, false, TRUE, false, std::nullopt},
        {WM_ENDSESSION, TRUE, false, 0, true, std::nullopt},
        {WM_ENDSESSION, TRUE, true, 0, false, TrayHostClose::SessionEnding},
        {WM_ENDSESSION, FALSE, true, 0, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        zentra::TrayHostOptions options;
        options.iconId = 24;
        std::optional<TrayHostClose> told;
        if (c.withCallback) {
            options.onCloseRequested = [&told](TrayHostClose why) { told = why; };
        }
        const auto host = TrayHost::create(armed(), options);
        ASSERT_NE(host, nullptr);
        pumpFor(20ms);
        EXPECT_EQ(SendMessageW(host->window(), c.message, c.wParam, 0), c.result);
        MSG msg;
        EXPECT_EQ(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, c.quits);
        EXPECT_EQ(told, c.told);
        EXPECT_TRUE(IsWindow(host->window()));
        EXPECT_TRUE(shellHasIcon(host->window(), 24));
    }
}

// The icon's callback message reaches the application as activations, decoded with signed
// anchors; a right click acts once (on WM_CONTEXTMENU, not WM_RBUTTONUP), another icon's
// callbacks are not ours.
TEST(TrayHostOnDisplay, ActivationsFromTheIcon) {
    using zentra::TrayActivation;
    // Long enough that the cases below come within it, however loaded the machine.
    const DoubleClickTime longWait(60'000);
    zentra::TrayHostOptions options;
    options.iconId = 26;
    std::vector<std::tuple<TrayActivation, int, int>> seen;
    options.onActivate = [&seen](TrayActivation what, int x, int y) {
        seen.emplace_back(what, x, y);
    };
    std::set<std::pair<HWND, UINT>> allowed;
    options.allowMessage = [&allowed](HWND window, UINT message) {
        allowed.emplace(window, message);
        return TRUE;
    };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    // What an elevated host must hear from the shell.
    const std::set<std::pair<HWND, UINT>> needed{
        {host->window(), RegisterWindowMessageW(L"TaskbarCreated")},
        {host->window(), options.callbackMessage}};
    EXPECT_EQ(allowed, needed);
    pumpFor(20ms);
    struct Case {
        WORD event;
        WORD icon;
        int x, y;
        std::optional<TrayActivation> expected;
    };
    const Case cases[] = {
        {NIN_SELECT, 26, 790, 590, TrayActivation::Select},
        {NIN_KEYSELECT, 26, 790, 590, TrayActivation::Select},
        {WM_RBUTTONUP, 26, 790, 590, std::nullopt},
        {WM_CONTEXTMENU, 26, -200, 590, TrayActivation::ContextMenu},
        {WM_LBUTTONDBLCLK, 26, 5, -7, TrayActivation::DoubleClick},
        {NIN_BALLOONUSERCLICK, 26, 790, 590, TrayActivation::BalloonClick},
        {NIN_SELECT, 27, 790, 590, std::nullopt},
        {WM_MOUSEMOVE, 26, 790, 590, std::nullopt},
        {NIN_KEYSELECT, 26, 790, 590, std::nullopt},  // the shell's second for one Enter
    };
    for (const Case& c : cases) {
        seen.clear();
        const auto anchor = static_cast<WPARAM>(static_cast<WORD>(c.x)) |
                            static_cast<WPARAM>(static_cast<WORD>(c.y)) << 16;
        SendMessageW(host->window(), options.callbackMessage, anchor, MAKELPARAM(c.event, c.icon));
        if (c.expected) {
            ASSERT_EQ(seen.size(), 1u) << c.event;
            EXPECT_EQ(seen[0], std::make_tuple(*c.expected, c.x, c.y)) << c.event;
        } else {
            EXPECT_TRUE(seen.empty()) << c.event;
        }
    }

    // Waiting for the double-click time: a double click is told alone (the Select of each of its
    // clicks dropped), a click of its own once the time has passed.
    options.waitForDoubleClick = true;
    const auto waiting = TrayHost::create(armed(), options);
    ASSERT_NE(waiting, nullptr);
    const auto click = [&](WORD event, int x) {
        SendMessageW(waiting->window(), options.callbackMessage, MAKEWPARAM(x, 590),
                     MAKELPARAM(event, 26));
    };
    seen.clear();
    click(NIN_SELECT, 1);
    click(WM_LBUTTONDBLCLK, 2);
    click(NIN_SELECT, 3);
    const DoubleClickTime shortWait(100);
    pumpFor(200ms);  // past the double click's time
    click(NIN_SELECT, 4);
    EXPECT_EQ(seen.size(), 1u) << "a click is told only once no second one can come";
    EXPECT_TRUE(pumpUntil([&] { return seen.size() == 2; }, 5s));
    pumpFor(200ms);
    EXPECT_EQ(seen, (decltype(seen){{TrayActivation::DoubleClick, 2, 590},
                                    {TrayActivation::Select, 4, 590}}));
}

// A menu as the open menu holds it: each item's text, [x] checked, (o) radio, - grey, * default,
// and a submenu's items in braces.
std::wstring menuAsShown(HMENU menu) {
    std::wstring out;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
        info.dwTypeData = text;
        info.cch = 63;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += L"| ";
            continue;
        }
        out += std::wstring(text) + std::to_wstring(info.wID);
        out += (info.fState & MFS_CHECKED) != 0 ? L"[x]" : L"";
        out += (info.fType & MFT_RADIOCHECK) != 0 ? L"(o)" : L"";
        out += (info.fState & MFS_GRAYED) != 0 ? L"-" : L"";
        out += (info.fState & MFS_DEFAULT) != 0 ? L"*" : L"";
        out += info.hSubMenu != nullptr ? L"{" + menuAsShown(info.hSubMenu) + L"}" : L"";
        out += L" ";
    }
    return out;
}

// The context menu: asked for when it opens, shown as given (submenus, radio groups) while the
// icon keeps following the engine, the chosen item handed back, from a submenu too; closed with
// Escape, the focus goes back to the icon.
TEST(TrayHostOnDisplay, ContextMenu) {
    zentra::TrayHostOptions options;
    options.iconId = 28;
    ShellRecord shell;
    options.shellNotifyIcon = shell.boundary();
    std::atomic<int> asked{0};
    std::atomic<TrayGlyph> latest{TrayGlyph::Armed};
    TrayHost* host = nullptr;
    options.menu = [&] {
        ++asked;
        const bool error = host->shown().glyph == TrayGlyph::Error;
        std::vector<zentra::TrayMenuItem> items(5);
        items[0].id = 1;
        items[0].text = error ? L"Engine: error" : L"Engine: armed";
        items[0].enabled = false;
        items[1].separator = true;
        items[2].text = L"Level";
        items[2].submenu = {{3, L"Low", false, true, false, false, true},
                            {4, L"High", true, true, true, false, true},
                            {0, L"Unlisted"},
                            {},
                            {5, L"Deeper", false, true, false, false, false}};
        items[2].submenu[3].separator = true;
        items[2].submenu[4].submenu = {{6, L"Deepest", true}};
        items[3].id = 7;
        items[3].text = L"Quit";
        items[3].isDefault = true;
        items[4].id = 8;  // a separator: id and text not read
        items[4].text = L"Separator";
        items[4].separator = true;
        return items;
    };
    std::vector<unsigned> chosen;
    options.onMenuChoice = [&chosen](unsigned id) { chosen.push_back(id); };
    options.onGlyphShown = [&latest](TrayGlyph g, zn::MonoTime) { latest = g; };
    const auto owner = TrayHost::create(armed(), options);
    ASSERT_NE(owner, nullptr);
    host = owner.get();
    pumpFor(20ms);
    const auto openMenu = [&] {
        PostMessageW(host->window(), options.callbackMessage, MAKEWPARAM(700, 500),
                     MAKELPARAM(WM_CONTEXTMENU, 28));
    };
    // The user: waits for the menu, sees the icon change under it, then presses keys in it.
    std::wstring shownMenu;
    const auto user = [&](const std::vector<WPARAM>& keys, bool errorFirst) {
        return std::thread([&host, &latest, &shownMenu, keys, errorFirst] {
            HWND menu = nullptr;
            for (int i = 0; i < 200 && menu == nullptr; ++i) {
                std::this_thread::sleep_for(10ms);
                menu = FindWindowW(L"#32768", nullptr);
            }
            // NOLINTNEXTLINE(performance-no-int-to-ptr): the menu's handle, as the message answers
            shownMenu = menuAsShown(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)));
            if (errorFirst) {
                Snapshot error = armed();
                error.state.lastError = "usb reset";
                host->post(error);
                for (int i = 0; i < 100 && latest != TrayGlyph::Error; ++i) {
                    std::this_thread::sleep_for(10ms);
                }
            }
            for (const WPARAM key : keys) {
                PostMessageW(menu, WM_KEYDOWN, key, 0);
                std::this_thread::sleep_for(50ms);
            }
        });
    };
    std::thread first = user({VK_UP, VK_RETURN}, true);
    openMenu();
    pumpUntil([&] { return !chosen.empty(); }, 3s);
    first.join();
    EXPECT_EQ(latest, TrayGlyph::Error) << "the icon stood still while the menu was open";
    EXPECT_EQ(chosen, std::vector<unsigned>{7});
    EXPECT_EQ(shownMenu,
              L"Engine: armed1- | Level0{Low3(o) High4[x](o)* | Deeper0{Deepest6[x] } } Quit7* | ");

    chosen.clear();
    std::thread fromSubmenu = user({VK_UP, VK_UP, VK_RIGHT, VK_DOWN, VK_RETURN}, false);
    openMenu();
    pumpUntil([&] { return !chosen.empty(); }, 3s);
    fromSubmenu.join();
    EXPECT_EQ(chosen, std::vector<unsigned>{4});

    shell.calls.clear();
    std::thread second = user({VK_ESCAPE}, false);
    openMenu();
    pumpFor(800ms);
    second.join();
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(chosen.size(), 1u);
    EXPECT_EQ(shell.calls, std::vector<DWORD>{NIM_SETFOCUS});
}

// Notifications: entering Error shows one with the reason, respecting quiet time; within the
// cooldown a flapping engine shows no more; at its end the recovery is told.
TEST(TrayHostOnDisplay, NotificationsOnErrorAndRecovery) {
    zentra::TrayHostOptions options;
    options.iconId = 29;
    options.notifications.cooldown = 1s;
    struct Shown {
        DWORD flags;
        std::wstring title, text;
    };
    std::vector<Shown> balloons;
    options.shellNotifyIcon = [&balloons](DWORD message, NOTIFYICONDATAW* data) {
        if ((data->uFlags & NIF_INFO) != 0) {
            balloons.push_back({data->dwInfoFlags, data->szInfoTitle, data->szInfo});
        }
        return Shell_NotifyIconW(message, data);
    };
    Snapshot error = armed();
    error.state.lastError = "usb reset";
    const auto host = TrayHost::create(error, options);  // already in error: told once added
    ASSERT_NE(host, nullptr);
    pumpFor(50ms);
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].flags, static_cast<DWORD>(NIIF_ERROR | NIIF_RESPECT_QUIET_TIME));
    EXPECT_EQ(balloons[0].title, L"Error");
    EXPECT_EQ(balloons[0].text, L"usb reset");
    for (int i = 0; i < 5; ++i) {  // armed, error, ..., armed
        host->post(i % 2 == 0 ? armed() : error);
        pumpFor(30ms);
    }
    EXPECT_EQ(balloons.size(), 1u) << "a flapping engine flooded the user";
    ASSERT_TRUE(pumpUntil([&] { return balloons.size() == 2; }, 2s));
    EXPECT_EQ(balloons[1].flags, static_cast<DWORD>(NIIF_INFO | NIIF_RESPECT_QUIET_TIME));
    EXPECT_EQ(balloons[1].title, L"Working again");
    EXPECT_EQ(balloons[1].text, L"Armed");
    EXPECT_EQ(host->stats().balloons, 2u);
}

// What the shell holds of the application's own words and notifications, and of a silent
// engine: the application's notification as it asked, then none within its own cooldown; the
// engine's silence shown and told in the application's words, and the application's
// notification giving way to it; the engine speaking again ends the silence; the link telling
// the engine absent is not silence.
TEST(TrayHostOnDisplay, TheApplicationsWordsAndASilentEngine) {
    zentra::TrayHostOptions options;
    options.iconId = 31;
    options.silenceDeadline = 300ms;
    options.texts.appName = "MySync";
    options.texts.silence = "silent for {seconds} s";
    options.notifications.applicationCooldown = 60s;
    std::wstring tip;
    std::vector<std::pair<DWORD, std::wstring>> balloons;
    options.shellNotifyIcon = [&](DWORD message, NOTIFYICONDATAW* data) {
        tip = (data->uFlags & NIF_TIP) != 0 ? std::wstring(data->szTip) : tip;
        if ((data->uFlags & NIF_INFO) != 0) {
            balloons.emplace_back(data->dwInfoFlags,
                                  std::wstring(data->szInfoTitle) + L": " + data->szInfo);
        }
        return Shell_NotifyIconW(message, data);
    };
    const auto host = TrayHost::create(armed(), options);
    ASSERT_NE(host, nullptr);
    // No message has been taken yet, so the silence cannot be shown before these.
    EXPECT_TRUE(host->notify("MySync", "15 files synced", zentra::NoticeKind::Warning));
    EXPECT_FALSE(host->notify("MySync", "16 files synced")) << "within its own cooldown";
    EXPECT_TRUE(pumpUntil([&] { return tip == L"MySync - Error: silent for 0.3 s"; }, 10s))
        << "tooltip: " << std::string(tip.begin(), tip.end());
    ASSERT_TRUE(pumpUntil([&] { return balloons.size() == 2; }, 10s));
    EXPECT_FALSE(host->notify("MySync", "17 files synced")) << "over the engine's error";
    const std::vector<std::pair<DWORD, std::wstring>> expected = {
        {NIIF_WARNING | NIIF_RESPECT_QUIET_TIME, L"MySync: 15 files synced"},
        {NIIF_ERROR | NIIF_RESPECT_QUIET_TIME, L"Error: silent for 0.3 s"}};
    EXPECT_EQ(balloons, expected);
    EXPECT_EQ(host->stats().balloons, 2u);
    host->post(armed());
    EXPECT_TRUE(pumpUntil([&] { return tip == L"MySync - Armed"; }, 10s));
    // The link's own word about an absent engine is no silence: it stays, past any deadline.
    Snapshot absent;
    absent.health.healthy = true;
    absent.state.lastError = "engine not running";
    absent.source = zentra::SnapshotSource::Link;
    host->post(absent);
    pumpFor(1s);
    EXPECT_EQ(tip, L"MySync - Error: engine not running");
}

}  // namespace
