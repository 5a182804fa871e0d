// What the user sees, checked after every step of random event sequences through the real host
// on a display: the shell's icon, tooltip, version and callback, and its notifications, against
// what the latest snapshot derives; the menu shown against the one described; no timer left
// waking the host; closes asked for under the menu handled; callbacks that throw logged and
// survived. The shell is a recording model at the host's one boundary to it (refusing
// on request, forgetting the icon as a restarted shell does); the window, timers and menus are
// Wine's own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host_test_support.h"
#include "recording_logger.h"
#include "zentra/tray_host.h"

namespace {

using namespace std::chrono_literals;
using namespace host_test;
using zentra::Snapshot;
using zentra::TrayActivation;
using zentra::TrayHost;
using zentra::TrayMenuItem;
using zn::TrayGlyph;

// The shell as the host's boundary sees it: what it holds for the one icon.
struct ShellModel {
    bool added = false;
    HICON icon = nullptr;
    std::wstring tooltip;
    UINT version = 0;
    UINT callback = 0;
    int refuse = 0;  // the next calls refused, as a shell not yet up refuses them
    std::vector<std::wstring> balloons;  // "E:title|text" or "I:title|text"
    std::function<void(bool error, const std::wstring& text)> onBalloon;

    BOOL call(DWORD message, const NOTIFYICONDATAW& d) {
        if (refuse > 0) {
            --refuse;
            SetLastError(0x80004005);
            return FALSE;
        }
        const bool known = message == NIM_ADD ? !added : added;
        if (!known) {
            SetLastError(0x80004005);
            return FALSE;
        }
        if (message == NIM_DELETE) {
            added = false;
        } else if (message == NIM_SETVERSION) {
            version = d.uVersion;
        } else if (message == NIM_ADD || message == NIM_MODIFY) {
            added = true;
            icon = (d.uFlags & NIF_ICON) != 0 ? d.hIcon : icon;
            tooltip = (d.uFlags & NIF_TIP) != 0 ? d.szTip : tooltip;
            callback = (d.uFlags & NIF_MESSAGE) != 0 ? d.uCallbackMessage : callback;
            if ((d.uFlags & NIF_INFO) != 0) {
                const bool error = (d.dwInfoFlags & NIIF_ICON_MASK) == NIIF_ERROR;
                balloons.push_back((error ? L"E:" : L"I:") + std::wstring(d.szInfoTitle) + L"|" +
                                   d.szInfo);
                onBalloon(error, d.szInfo);
            }
        }
        return TRUE;
    }
};

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};
}

HICON iconOf(const zentra::TrayIcons& icons, TrayGlyph glyph) {
    return glyph == TrayGlyph::Armed       ? icons.armed
           : glyph == TrayGlyph::Triggered ? icons.triggered
                                           : icons.error;
}

// The items of the menu window on screen, as "id:flags:text" with c(hecked) g(reyed) s(eparator);
// or why they cannot be read. (Wine does not report the default item.)
std::string shownMenu(HWND menuWindow) {
    const LRESULT answer = SendMessageW(menuWindow, 0x01E1, 0, 0);  // MN_GETHMENU
    auto* const menu = reinterpret_cast<HMENU>(answer);  // NOLINT(performance-no-int-to-ptr)
    if (menu == nullptr) {
        return "no menu";
    }
    std::string out;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        std::wstring w = text;
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += "0:s:;";  // its state is not read
            continue;
        }
        out += std::to_string(info.wID) + ":" + ((info.fState & MFS_CHECKED) != 0 ? "c" : "") +
               ((info.fState & MFS_GRAYED) != 0 ? "g" : "") + ":" +
               std::string(w.begin(), w.end()) + ";";
    }
    return out;
}

// The same for the items described, as the menu should show them (an item with id 0 left out).
std::string describedMenu(const std::vector<TrayMenuItem>& items) {
    std::string out;
    for (const TrayMenuItem& item : items) {
        if (item.separator) {
            out += "0:s:;";
        } else if (item.id != 0) {
            out += std::to_string(item.id) + ":" + (item.checked ? "c" : "") +
                   (item.enabled ? "" : "g") + ":" +
                   std::string(item.text.begin(), item.text.end()) + ";";
        }
    }
    return out;
}

TEST(TrayHostState, ShellHoldsWhatTheLatestSnapshotDerives) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const auto pick = [&random](int n) {
            return static_cast<int>(random() % static_cast<unsigned>(n));
        };
        ScopedRecordingLogger log;
        ShellModel shell;
        Snapshot latest = armed();
        int side = 16;
        bool errorTold = false;
        std::string balloonFaults;
        shell.onBalloon = [&](bool error, const std::wstring& text) {
            const TrayGlyph now =
                zn::deriveTrayGlyph(latest.health, latest.state, latest.pulse, Clock::now());
            if (error && (now != TrayGlyph::Error ||
                          text != wide(zentra::tooltipText(zentra::errorReason(latest), 255)))) {
                balloonFaults += "an error told that is not the engine's now: " +
                                 std::string(text.begin(), text.end()) + "; ";
            }
            if (!error && (now == TrayGlyph::Error || !errorTold)) {
                balloonFaults += "a recovery told that is not one; ";
            }
            errorTold = error;
        };
        zentra::TrayHostOptions options;
        options.iconId = 40;
        options.notifications.cooldown = 1s;
        options.shellNotifyIcon = [&shell](DWORD message, NOTIFYICONDATAW* data) {
            return shell.call(message, *data);
        };
        options.smallIconSize = [&side](HWND) { return side; };
        // The callback named here throws once: the host logs an error naming it, and goes on.
        std::string thrower;
        const auto maybeThrow = [&thrower](const char* name) {
            if (thrower == name) {
                thrower.clear();
                throw std::runtime_error("boom");
            }
        };
        std::vector<TrayMenuItem> items;
        options.menu = [&] {
            maybeThrow("menu");
            return items;
        };
        // Seed 3 leaves onActivate and onMenuChoice unset (they do nothing), seed 2
        // onCloseRequested (a close ends the message loop).
        const bool bare = seed == 3;
        const bool toldOfCloses = seed != 2;
        std::vector<unsigned> chosen;
        int activations = 0;
        int closes = 0;
        if (!bare) {
            options.onMenuChoice = [&](unsigned id) {
                maybeThrow("onMenuChoice");
                chosen.push_back(id);
            };
            options.onActivate = [&](TrayActivation, int, int) {
                maybeThrow("onActivate");
                ++activations;
            };
        }
        if (toldOfCloses) {
            options.onCloseRequested = [&closes](zentra::TrayHostClose) { ++closes; };
        }
        const auto closed = [&](int closesBefore, int quitsBefore) {
            return toldOfCloses ? closes == closesBefore + 1 : quitsTaken() == quitsBefore + 1;
        };
        // Whether the log has, since line `from`, the error that the callback `name` threw (its
        // "boom"), or, with `what` empty, any error that it threw (a callback the application
        // never set, called all the same, throws too).
        const auto threw = [&log](std::size_t from, const std::string& name,
                                  const std::string& what = ": boom") {
            std::string wanted = name;
            wanted += " threw";
            wanted += what;
            for (std::size_t i = from; i < log->lines.size(); ++i) {
                if (log->lines[i].level == zentra::common::LogLevel::Error &&
                    log->lines[i].text.find(wanted) != std::string::npos) {
                    return true;
                }
            }
            return false;
        };
        std::unique_ptr<TrayHost> host;
        bool destroyInCallback = false;
        options.onGlyphShown = [&](TrayGlyph, zn::MonoTime) {
            if (destroyInCallback) {
                host.reset();
            }
        };
        host = TrayHost::create(latest, options);
        ASSERT_NE(host, nullptr);

        const auto holds = [&]() -> std::string {
            const TrayGlyph glyph =
                zn::deriveTrayGlyph(latest.health, latest.state, latest.pulse, Clock::now());
            std::string fault;
            fault += shell.added ? "" : "no icon; ";
            fault += shell.icon == iconOf(host->icons(), glyph) ? "" : "another glyph's icon; ";
            fault += iconSide(shell.icon) == side ? "" : "an icon of another size; ";
            fault +=
                shell.tooltip == wide(zentra::literalShellText(zentra::trayTooltip(latest, glyph)))
                    ? ""
                    : "tooltip " + std::string(shell.tooltip.begin(), shell.tooltip.end()) + "; ";
            fault += shell.version == NOTIFYICON_VERSION_4 ? "" : "not version 4; ";
            fault += shell.callback == options.callbackMessage ? "" : "another callback; ";
            return fault;
        };
        const auto settle = [&](const char* step) {
            std::string fault;
            const bool held = pumpUntil([&] { return (fault = holds()).empty(); }, 10s);
            EXPECT_TRUE(held) << "after " << step << ": " << fault;
        };
        settle("create");
        for (int step = 0; step < 50; ++step) {
            if (::testing::Test::HasFailure()) {
                return;  // the first fault is the one to read; the next steps would wait on it
            }
            switch (pick(10)) {
                case 0:
                case 1: {  // a new snapshot
                    Snapshot next = armed();
                    const int kind = pick(5);
                    next.state.lastError =
                        kind == 1 ? std::optional<std::string>("R&D lab " + std::to_string(pick(3)))
                                  : std::nullopt;
                    next.state.deviceStatus = kind == 2 ? "missing" : "active";
                    next.health.healthy = kind != 3;
                    next.pulse = kind == 4 ? Clock::now() : zn::MonoTime{};
                    next.health.statusText =
                        pick(3) == 0 ? std::string(static_cast<std::size_t>(pick(200)), 'x') : "";
                    latest = next;
                    const auto taken = host->stats().snapshots;
                    host->post(next);
                    pumpUntil([&] { return host->stats().snapshots > taken; }, 10s);
                    settle("a snapshot");
                    break;
                }
                case 2: {  // a click, its callback throwing at times
                    const int before = activations;
                    const std::size_t logged = log->lines.size();
                    thrower = pick(3) == 0 ? "onActivate" : "";
                    const bool throws = !bare && !thrower.empty();
                    SendMessageW(host->window(), options.callbackMessage, MAKEWPARAM(700, 590),
                                 MAKELPARAM(NIN_SELECT, 40));
                    EXPECT_EQ(activations, before + (bare || throws ? 0 : 1));
                    EXPECT_EQ(threw(logged, "onActivate"), throws);
                    EXPECT_EQ(threw(logged, "onActivate", ""), throws);
                    thrower.clear();
                    settle("a click");
                    break;
                }
                case 3:
                case 8:
                case 9: {  // the menu, opened and read, then an item chosen or Escape
                    items.assign(1 + static_cast<std::size_t>(pick(5)), TrayMenuItem{});
                    for (std::size_t i = 0; i < items.size(); ++i) {
                        TrayMenuItem& item = items[i];
                        item.id = static_cast<unsigned>(i + 1);
                        item.text = L"item " + std::to_wstring(i) + L" " +
                                    wide(zentra::literalShellText(u"R&D"));
                        item.checked = pick(2) == 0;
                        item.enabled = i == 0 || pick(3) != 0;
                        item.isDefault = pick(4) == 0;
                        item.separator = i > 0 && pick(5) == 0;
                    }
                    // What the user does: chooses the first item, presses Escape, or the
                    // application is asked to close (another program, or the end of the session)
                    // while the menu is open; or menu() or onMenuChoice throws.
                    enum How { Choose, Escape, Close, MenuThrows, ChoiceThrows };
                    const auto how = static_cast<How>(pick(5));
                    const bool logoff = pick(2) == 0;
                    const HWND window = host->window();
                    const std::size_t before = chosen.size();
                    const std::size_t logged = log->lines.size();
                    const int closesBefore = closes;
                    const int quitsBefore = quitsTaken();
                    thrower = how == MenuThrows     ? "menu"
                              : how == ChoiceThrows ? "onMenuChoice"
                                                    : "";
                    PostMessageW(window, options.callbackMessage, MAKEWPARAM(700, 500),
                                 MAKELPARAM(WM_CONTEXTMENU, 40));
                    if (how == MenuThrows) {
                        EXPECT_TRUE(pumpUntil([&] { return threw(logged, "menu"); }, 10s));
                        EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);
                        settle("a menu that threw");
                        break;
                    }
                    std::string seen;
                    std::atomic<bool> read{false};
                    std::thread user([&seen, &read, how, logoff, window] {
                        HWND menu = nullptr;
                        for (int i = 0; i < 1000 && menu == nullptr; ++i) {
                            std::this_thread::sleep_for(10ms);
                            menu = FindWindowW(L"#32768", nullptr);
                        }
                        seen = shownMenu(menu);
                        read = true;
                        if (how == Close && logoff) {
                            SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
                            SendMessageW(window, WM_ENDSESSION, TRUE, 0);
                        } else if (how == Close) {
                            PostMessageW(window, WM_CLOSE, 0, 0);
                        } else if (how == Escape) {
                            PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                        } else {
                            PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
                            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
                        }
                    });
                    const bool done = pumpUntil(
                        [&] {
                            return read && FindWindowW(L"#32768", nullptr) == nullptr &&
                                   (how != Close || closed(closesBefore, quitsBefore));
                        },
                        10s);
                    user.join();
                    pumpFor(20ms);
                    EXPECT_TRUE(done) << "the menu stayed, or a close under it was lost";
                    EXPECT_EQ(chosen.size(), before + (how == Choose && !bare ? 1 : 0));
                    EXPECT_EQ(threw(logged, "onMenuChoice"), how == ChoiceThrows && !bare);
                    EXPECT_EQ(threw(logged, "onMenuChoice", ""), how == ChoiceThrows && !bare);
                    thrower.clear();
                    // Wine does not report a menu's default item.
                    EXPECT_EQ(seen, describedMenu(items));
                    settle("the menu");
                    break;
                }
                case 4:  // the shell refuses the next calls, then a change
                    shell.refuse = 1 + pick(2);
                    latest.health.statusText = "refused " + std::to_string(step);
                    host->post(latest);
                    settle("a refusal");
                    break;
                case 5:  // the shell restarted: it forgot the icon and says so
                    shell.added = false;
                    SendMessageW(host->window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
                    settle("TaskbarCreated");
                    break;
                case 6:  // a new DPI
                    side = 16 + 4 * pick(5);
                    SendMessageW(host->window(), WM_DPICHANGED, 0, 0);
                    settle("a DPI change");
                    break;
                case 7: {  // a polite close: the application is told, the icon stays
                    const int closesBefore = closes;
                    const int quitsBefore = quitsTaken();
                    SendMessageW(host->window(), WM_CLOSE, 0, 0);
                    EXPECT_TRUE(pumpUntil([&] { return closed(closesBefore, quitsBefore); }, 10s));
                    settle("a close");
                    break;
                }
            }
        }
        EXPECT_EQ(balloonFaults, "");
        // An error and its recovery within the cooldown: the recovery is held for the
        // notifier's timer. Then quiet: once it is told, no timer wakes the host.
        pumpFor(1100ms);  // past the cooldown: the error is told at once
        latest = armed();
        latest.state.lastError = "the last error";
        host->post(latest);
        settle("the last error");
        latest = armed();
        host->post(latest);
        settle("the end");
        pumpFor(2500ms);
        const auto wakeups = host->stats().timerWakeups;
        pumpFor(2500ms);
        EXPECT_EQ(host->stats().timerWakeups, wakeups) << "a timer outlived its use";
        // The host destroyed inside its own callback: the icon is gone with it.
        destroyInCallback = true;
        Snapshot last = armed();
        last.state.lastError = "gone";
        host->post(last);
        EXPECT_TRUE(pumpUntil([&] { return host == nullptr; }, 10s));
        EXPECT_FALSE(shell.added);
        std::printf("seed %u: %zu notifications, %zu menu choices, %d closes\n", seed,
                    shell.balloons.size(), chosen.size(), closes);
    }
}

}  // namespace
