#include "zentra/tray_host.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>

#include "zentra/log.h"
#include "zentra/tray.h"

namespace zentra {

using common::logWarn;

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kSnapshotMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"zentra.TrayHost";
// Not a glyph: makes the next applyTrayGlyph push its icon whatever the glyph.
constexpr auto kNoGlyph = static_cast<TrayGlyph>(-1);

MonoTime steadyNow() {
    return std::chrono::steady_clock::now();
}

// Functions newer than the oldest Windows the host runs on, looked up when present.
template <typename Function>
Function user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
    // Through void(*)(), the one function pointer type every other converts to without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The notification area's small-icon size for the window's DPI.
int smallIconSize(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    static const auto getSystemMetricsForDpi =
        user32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (getDpiForWindow != nullptr && getSystemMetricsForDpi != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return getSystemMetricsForDpi(SM_CXSMICON, dpi);
        }
    }
    return GetSystemMetrics(SM_CXSMICON);
}

void copyTooltip(NOTIFYICONDATAW& nid, const std::u16string& tooltip) {
    std::size_t n = 0;
    for (; n < tooltip.size() && n + 1 < std::size(nid.szTip); ++n) {
        nid.szTip[n] = static_cast<WCHAR>(tooltip[n]);
    }
    nid.szTip[n] = 0;
}

}  // namespace

struct TrayHost::Impl {
    TrayHostOptions options;
    HWND window = nullptr;
    UINT taskbarCreated = 0;
    Indicator indicator;
    TrayIcons icons;
    NOTIFYICONDATAW nid{};
    bool added = false;       // the shell has our icon, as far as we know
    bool addFailing = false;  // a failed add was logged; the streak is not logged again
    TrayGlyph reported = kNoGlyph;
    TrayHostStats stats;

    std::mutex postMutex;
    std::optional<Snapshot> posted;  // guarded by postMutex

    void carryOut(const IndicatorActions& actions, MonoTime now);
    bool addIcon(const IconContent& content);
    TrayIcons reloadIcons(int pixels);  // returns the icons it replaced
    void show(TrayGlyph glyph, MonoTime now);
    void report(TrayGlyph glyph, MonoTime now);
    void setTooltip(const std::u16string& tooltip);
    void armTimer(MonoTime at, MonoTime now) const;
    void sizeMayHaveChanged(MonoTime now);
    void takePosted(MonoTime now);
    bool shell(DWORD message, const char* call);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
};

bool TrayHost::Impl::shell(DWORD message, const char* call) {
    ++stats.shellCalls;
    if (options.shellNotifyIcon(message, &nid)) {
        return true;
    }
    const DWORD code = GetLastError();
    if (message != NIM_ADD) {  // a failed add is reported by addIcon, once per streak
        logWarn("TrayHost: Shell_NotifyIconW(", call, ") failed (GLE=", code, ")");
    }
    return false;
}

bool TrayHost::Impl::addIcon(const IconContent& content) {
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid.hIcon = trayIconFor(icons, content.glyph);
    copyTooltip(nid, content.tooltip);
    bool ok = shell(NIM_ADD, "NIM_ADD");
    if (!ok) {
        const DWORD addCode = GetLastError();
        // After a DPI change or a remote session the shell re-sends TaskbarCreated while it
        // still has the icon: then the add fails and a modify does the job.
        ++stats.shellCalls;
        ok = options.shellNotifyIcon(NIM_MODIFY, &nid) != FALSE;
        if (!ok && !addFailing) {
            logWarn("TrayHost: Shell_NotifyIconW(NIM_ADD) failed (GLE=", addCode, ")");
        }
    }
    addFailing = !ok;
    if (ok) {
        nid.uVersion = NOTIFYICON_VERSION_4;
        shell(NIM_SETVERSION, "NIM_SETVERSION");
        icons.current = content.glyph;
    }
    return ok;
}

TrayIcons TrayHost::Impl::reloadIcons(int pixels) {
    TrayIcons old = icons;
    icons = TrayIcons{};
    loadTrayIconsAtSize(icons, pixels);
    ++stats.iconLoads;
    icons.current = kNoGlyph;  // the new icons go to the shell even for the same glyph
    return old;
}

void TrayHost::Impl::show(TrayGlyph glyph, MonoTime now) {
    if (!added) {
        return;
    }
    if (glyph != icons.current && trayIconFor(icons, glyph) != nullptr) {
        ++stats.shellCalls;  // applyTrayGlyph makes exactly this one call
    }
    applyTrayGlyph(nid, icons, glyph);
    report(glyph, now);
}

void TrayHost::Impl::report(TrayGlyph glyph, MonoTime now) {
    if (glyph != reported && options.onGlyphShown) {
        options.onGlyphShown(glyph, now);
    }
    reported = glyph;
}

void TrayHost::Impl::setTooltip(const std::u16string& tooltip) {
    if (!added) {
        return;
    }
    const UINT saved = nid.uFlags;
    nid.uFlags = NIF_TIP | NIF_SHOWTIP;
    copyTooltip(nid, tooltip);
    shell(NIM_MODIFY, "NIM_MODIFY");
    nid.uFlags = saved;
}

void TrayHost::Impl::armTimer(MonoTime at, MonoTime now) const {
    // Rounded up, so the timer never fires before the moment the glyph changes.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - now).count();
    const auto delay =
        static_cast<UINT>(std::clamp<long long>(wait, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
    if (SetTimer(window, kTimerId, delay, nullptr) == 0) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: SetTimer failed (GLE=", code, ")");
    }
}

void TrayHost::Impl::carryOut(const IndicatorActions& actions, MonoTime now) {
    if (actions.addIcon) {
        added = addIcon(*actions.addIcon);
        if (added) {
            report(actions.addIcon->glyph, now);
        }
    }
    TrayIcons replaced;
    if (actions.reloadIconsAt) {
        replaced = reloadIcons(*actions.reloadIconsAt);
    }
    if (actions.showGlyph) {
        show(*actions.showGlyph, now);  // after a reload, with the new icons
    }
    // The shell keeps its own copy of the icon it shows, so the old ones can go now.
    destroyTrayIcons(replaced);
    if (actions.setTooltip) {
        setTooltip(*actions.setTooltip);
    }
    if (actions.cancelTimer) {
        KillTimer(window, kTimerId);
    }
    if (actions.armTimerAt) {
        armTimer(*actions.armTimerAt, now);
    }
    if (actions.addIcon) {
        carryOut(indicator.onAddResult(added, now), now);
    }
}

void TrayHost::Impl::sizeMayHaveChanged(MonoTime now) {
    carryOut(indicator.onIconSizeChanged(options.smallIconSize(window), now), now);
}

void TrayHost::Impl::takePosted(MonoTime now) {
    std::optional<Snapshot> snapshot;
    {
        std::lock_guard<std::mutex> lock(postMutex);
        snapshot.swap(posted);
    }
    if (snapshot) {
        ++stats.snapshots;
        carryOut(indicator.onSnapshot(*snapshot, now), now);
    }
}

LRESULT TrayHost::Impl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const MonoTime now = steadyNow();
    if (message == taskbarCreated && taskbarCreated != 0) {
        // A new notification area (Explorer restarted, or a DPI or session change): its icon
        // size may be new, and our icon may be gone.
        sizeMayHaveChanged(now);
        carryOut(indicator.onShellRecreated(now), now);
        return 0;
    }
    switch (message) {
        case kSnapshotMessage:
            takePosted(now);
            return 0;
        case WM_TIMER:
            if (wParam != kTimerId) {
                break;
            }
            KillTimer(window, kTimerId);  // one-shot
            ++stats.timerWakeups;
            carryOut(indicator.onTimer(now), now);
            return 0;
        case WM_DPICHANGED:
        case WM_SETTINGCHANGE:
        case WM_DISPLAYCHANGE:
            sizeMayHaveChanged(now);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_NCCREATE's lParam is the CREATESTRUCTW
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the pointer stored at WM_NCCREATE
    auto* impl = reinterpret_cast<TrayHost::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl == nullptr || impl->window == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return impl->handle(message, wParam, lParam);
}

}  // namespace

std::unique_ptr<TrayHost> TrayHost::create(const Snapshot& first, TrayHostOptions options) {
    auto impl = std::make_unique<Impl>();
    impl->options = std::move(options);
    if (!impl->options.shellNotifyIcon) {
        impl->options.shellNotifyIcon = Shell_NotifyIconW;
    }
    if (!impl->options.smallIconSize) {
        impl->options.smallIconSize = smallIconSize;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: RegisterClassW failed (GLE=", code, ")");
        return nullptr;
    }
    // Top-level (not message-only), never shown: broadcasts such as TaskbarCreated reach it.
    const HWND window = CreateWindowExW(0, kWindowClass, L"zentra tray host", WS_OVERLAPPED, 0, 0,
                                        0, 0, nullptr, nullptr, instance, impl.get());
    if (window == nullptr) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: CreateWindowExW failed (GLE=", code, ")");
        return nullptr;
    }
    impl->window = window;
    impl->taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // An elevated process would not receive the broadcast of a shell running with less rights.
    ChangeWindowMessageFilterEx(window, impl->taskbarCreated, MSGFLT_ALLOW, nullptr);
    impl->nid.cbSize = sizeof impl->nid;
    impl->nid.hWnd = window;
    impl->nid.uID = impl->options.iconId;
    impl->nid.uCallbackMessage = impl->options.callbackMessage;

    const MonoTime now = steadyNow();
    impl->sizeMayHaveChanged(now);
    ++impl->stats.snapshots;
    impl->carryOut(impl->indicator.onSnapshot(first, now), now);
    return std::unique_ptr<TrayHost>(new TrayHost(std::move(impl)));
}

TrayHost::TrayHost(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TrayHost::~TrayHost() {
    Impl& h = *impl_;
    KillTimer(h.window, kTimerId);
    if (h.added) {
        h.shell(NIM_DELETE, "NIM_DELETE");
    }
    destroyTrayIcons(h.icons);
    h.window = nullptr;  // the window procedure stops reaching this object
    HWND window = h.nid.hWnd;
    if (!DestroyWindow(window)) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: DestroyWindow failed (GLE=", code, ")");
    }
}

void TrayHost::post(const Snapshot& snapshot) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(impl_->postMutex);
        wake = !impl_->posted.has_value();  // one message carries however many posts
        impl_->posted = snapshot;
    }
    if (wake && !PostMessageW(impl_->nid.hWnd, kSnapshotMessage, 0, 0)) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: PostMessageW failed (GLE=", code, ")");
    }
}

HWND TrayHost::window() const {
    return impl_->nid.hWnd;
}

TrayHostStats TrayHost::stats() const {
    return impl_->stats;
}

const TrayIcons& TrayHost::icons() const {
    return impl_->icons;
}

}  // namespace zentra
