// The notification-area indicator of an application's engine, on Windows: one object owns a
// hidden top-level window and the notification icon, runs the indicator controller and carries
// out what it decides. It adds the icon as soon as the shell takes it (retrying while the shell
// is not up, at logon), adds it again when the shell is re-created (TaskbarCreated), shows the
// icons' own images at the notification area's small-icon size for the window's DPI, and reloads
// them when that size changes. It never polls: its one timer is the next moment the glyph changes
// by time alone, or a retry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "zentra/indicator.h"
#include "zentra/tray.h"

namespace zentra {

struct TrayHostOptions {
    UINT iconId = 1;
    // The message the icon's mouse events arrive with at the host's window (WM_APP + 0x100).
    UINT callbackMessage = 0x8000 + 0x100;
    // Called on the UI thread after each change of the glyph on screen.
    std::function<void(TrayGlyph glyph, MonoTime when)> onGlyphShown;

    // The platform's own functions, replaceable at this one boundary so that tests can make the
    // shell refuse (as at logon) or the small-icon size change: Shell_NotifyIconW, and the small-
    // icon size for the window's DPI.
    std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)> shellNotifyIcon;
    std::function<int(HWND window)> smallIconSize;
};

struct TrayHostStats {
    std::uint64_t timerWakeups = 0;  // times the host's timer fired
    std::uint64_t shellCalls = 0;    // Shell_NotifyIconW calls made
    std::uint64_t snapshots = 0;     // snapshots taken from post()
    std::uint64_t iconLoads = 0;     // times the three icons were loaded
};

class TrayHost {
  public:
    // Creates the window on the calling thread, which must run a message loop, and starts showing
    // `first`. Null, with a warning logged, when the window cannot be created.
    static std::unique_ptr<TrayHost> create(const Snapshot& first, TrayHostOptions options = {});
    // Removes the icon, and destroys the icons, the timer and the window.
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // From any thread: the engine's latest snapshot. Snapshots posted faster than the UI thread
    // takes them are merged; the last one posted is always the one shown.
    void post(const Snapshot& snapshot);

    HWND window() const;
    // UI thread only.
    TrayHostStats stats() const;
    const TrayIcons& icons() const;

    struct Impl;

  private:
    explicit TrayHost(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
