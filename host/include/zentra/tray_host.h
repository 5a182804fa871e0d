// The notification-area indicator of an application's engine, on Windows: one object owns a
// hidden top-level window and the notification icon, runs the indicator controller and carries
// out what it decides. It adds the icon as soon as the shell takes it (retrying while the shell
// is not up, at logon), adds it again when the shell is re-created (TaskbarCreated), shows the
// icons' own images at the notification area's small-icon size for the window's DPI, and reloads
// them when that size changes. It never polls: its one timer is the next moment the glyph changes
// by time alone, or a retry.
//
// The icons: those embedded in the executable's resources as ZENTRA_TRAY_ARMED,
// ZENTRA_TRAY_TRIGGERED and ZENTRA_TRAY_ERROR (the CMake helper zentra_embed_tray_icons puts
// them there), each loaded at the exact size; for any the executable lacks, the file
// resources\tray_<glyph>.ico beside it, as initTrayIcons reads it.
//
// Threads and callbacks:
// - create(), the destructor, stats(), shown() and icons() belong to the UI thread: the thread
//   that called create() and runs a message loop. post() and call() may be called from any
//   thread while the host exists.
// - The host calls the application (every `on...` option, and `menu`) from its window procedure,
//   on the UI thread, only after it has finished carrying out what an event asked for, never from
//   inside create(). A callback may run a modal loop (a message box, a menu): the host goes on
//   following the engine inside it, and nothing the outer pass did is re-applied afterwards. A
//   callback may destroy the host. Callbacks queued meanwhile are made in order, each once.
// - An exception a callback throws stops at the host: it is logged as an error that names the
//   callback and what it threw, and the host goes on as if the callback had returned.
// - A close (WM_CLOSE, the end of the session) asked for while the host's menu is open ends the
//   menu first (no item is chosen), then is handled as it would be without it.
// - Window messages the host reserves on its window: the system's own (below WM_USER), the
//   shell's registered "TaskbarCreated" and its own registered "zentra.TrayHost.wake". A
//   callbackMessage outside WM_USER to 0xFFFF, or equal to a registered one of these, is refused:
//   create() logs why and returns null.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zentra/indicator.h"
#include "zentra/notifier.h"
#include "zentra/tray.h"
#include "zentra/tray_menu.h"

namespace zentra {

// Why the host's window was asked to close.
enum class TrayHostClose {
    Closed,         // WM_CLOSE: for example taskkill without /f
    SessionEnding,  // WM_ENDSESSION: the user logs off, or Windows shuts down
};

// What the user did with the icon, with the anchor point in screen coordinates (negative left of
// or above the primary monitor).
enum class TrayActivation {
    Select,        // a left click, or Enter or Space on the focused icon
    DoubleClick,   // a left double click (its clicks also arrive as Select unless
                   // TrayHostOptions::waitForDoubleClick)
    ContextMenu,   // a right click, Shift+F10 or the menu key, when the host has no menu to show
    BalloonClick,  // a click on the icon's notification
};

struct TrayHostOptions {
    UINT iconId = 1;
    // The message the icon's mouse and keyboard events arrive with at the host's window
    // (WM_APP + 0x100). See above for the values refused.
    UINT callbackMessage = 0x8000 + 0x100;
    // After each change of the glyph the shell shows, with the time of the event that led to it.
    // When one of the application's icons cannot be loaded, the shell is given a system icon
    // standing for the glyph (see the warning), and this still reports the glyph.
    std::function<void(TrayGlyph glyph, MonoTime when)> onGlyphShown;
    // A polite close or the end of the session (after the menu closed, if it was open). Unset:
    // the host ends the UI thread's message
    // loop (PostQuitMessage(0)), so that the application's normal exit removes the icon. The
    // window stays; the application ends by destroying the host.
    std::function<void(TrayHostClose why)> onCloseRequested;
    // A click, a key or a notification click on the icon. A right click acts once. One press of
    // Enter acts once (the shell reports it twice: a second keyboard select within the
    // double-click time is dropped).
    std::function<void(TrayActivation what, int x, int y)> onActivate;
    // True: a click's Select is delivered only once the double-click time has passed without a
    // second click, so that a double click gives DoubleClick alone (at the price of that delay
    // for a single click). False: Select at once, and a double click's clicks arrive as Select
    // too.
    bool waitForDoubleClick = false;
    // The context menu, asked for each time it opens (so that it can show live state). The host
    // shows it at the anchor point, by the platform's rules (the window brought to the
    // foreground first, the system's menu alignment, focus back to the icon after Escape), and
    // hands the chosen item's id to onMenuChoice. While it is open the icon keeps following the
    // engine. Unset: a context menu request goes to onActivate.
    std::function<std::vector<TrayMenuItem>()> menu;
    std::function<void(unsigned id)> onMenuChoice;
    // Notifications (balloons) when the engine enters Error and when it recovers, as the Notifier
    // decides; shown with the icon, respecting the user's quiet time. Both off: none.
    NotifierOptions notifications;
    // Liveness, for an engine in another process: above 0, an engine that posts nothing for this
    // long (an unchanged snapshot counts, as a heartbeat) is shown with the error glyph, the
    // tooltip "Error: no word from the engine for 15 s" and the error notification, until it
    // posts again; not while the latest snapshot is the link's own (engineDown,
    // engineNotKnownYet), which stays until the link says more. 0: off, for an engine in the
    // application's own process.
    std::chrono::milliseconds silenceDeadline{0};
    // The words of the tooltip and the notifications, in the application's language: its name
    // first, a word for each glyph, the notifications' titles and texts (see TrayTexts).
    TrayTexts texts;

    // The platform's own functions, replaceable at this one boundary so that tests can make the
    // shell refuse (as at logon) or the small-icon size change: Shell_NotifyIconW (every call the
    // host makes), and the small-icon size for the window's DPI (0 or less: unknown, and the
    // system's small-icon size is used, then 16).
    std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)> shellNotifyIcon;
    std::function<int(HWND window)> smallIconSize;
    // ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr) where the system has it
    // (looked up): called for TaskbarCreated and the callback message, so that an elevated
    // application hears them from a shell that runs with less rights (or loses its icon when
    // Explorer restarts, and its clicks). A failure is logged.
    std::function<BOOL(HWND window, UINT message)> allowMessage;
};

struct TrayHostStats {
    std::uint64_t timerWakeups = 0;  // times the host's timer fired
    std::uint64_t shellCalls = 0;    // Shell_NotifyIconW calls made
    std::uint64_t snapshots = 0;     // snapshots taken from post()
    std::uint64_t iconLoads = 0;     // times the three icons were loaded
    std::uint64_t balloons = 0;      // notifications shown
};

class TrayHost {
  public:
    // Creates the window on the calling thread, which must run a message loop, and starts showing
    // `first`. Null, with a warning logged, when the window cannot be created or the options are
    // refused.
    static std::unique_ptr<TrayHost> create(const Snapshot& first, TrayHostOptions options = {});
    // Removes the icon, and destroys the icons, the timer and the window.
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // From any thread: the engine's latest snapshot. Snapshots posted faster than the UI thread
    // takes them are merged; the last one posted is always the one shown. Each post is word from
    // the engine for the silence deadline, an unchanged snapshot too.
    void post(const Snapshot& snapshot);
    // From any thread: `work` made on the UI thread, after what is queued before it, like the
    // host's own callbacks (an exception it throws is logged). For example an EngineLink's
    // answer to a command, told to the user.
    void call(std::function<void()> work);

    // UI thread: the application's own notification ("15 files synced"), shown with the icon,
    // respecting the user's quiet time. True when the shell took it; false when it had to give
    // way to the engine's (one due or held back, or an error told within the cooldown), came
    // within notifications.applicationCooldown of the last one, or the icon is not shown.
    // Texts in UTF-8, cut to the shell's limits.
    bool notify(std::string_view title, std::string_view text, NoticeKind kind = NoticeKind::Info);

    HWND window() const;
    TrayHostStats stats() const;
    // What the icon shows (its glyph and tooltip), once the shell has it.
    bool iconShown() const;
    const IconContent& shown() const;
    // The application's icons as loaded at the current size (a null handle: not loadable).
    const TrayIcons& icons() const;

    struct Impl;

  private:
    explicit TrayHost(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
