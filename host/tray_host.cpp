// The wiring: window messages and posted snapshots become the controller's events, its actions go
// to the notification icon, the icon source and the timer, and its announcements to the
// application once everything is carried out.
#include "zentra/tray_host.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <utility>

#include "callouts.h"
#include "click_rules.h"
#include "host_rules.h"
#include "icon_events.h"
#include "icon_source.h"
#include "mailbox.h"
#include "message_window.h"
#include "notify_icon.h"
#include "taskbar_theme.h"
#include "zentra/log.h"

namespace zentra {

using common::logWarn;

namespace {

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

// The notification area's small-icon size for the window's DPI; 0 when it cannot be told.
int smallIconSizeForDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    static const auto getSystemMetricsForDpi =
        user32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (getDpiForWindow == nullptr || getSystemMetricsForDpi == nullptr) {
        return 0;
    }
    const UINT dpi = getDpiForWindow(window);
    return dpi == 0 ? 0 : getSystemMetricsForDpi(SM_CXSMICON, dpi);
}

// Lets `message` reach the window from processes with less rights, where the system can.
BOOL allowThroughUipi(HWND window, UINT message) {
    using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto change =
        user32Function<ChangeWindowMessageFilterExFn>("ChangeWindowMessageFilterEx");
    return change == nullptr || change(window, message, MSGFLT_ALLOW, nullptr);
}

// The posting thread's last failed wake-up, for its warning.
thread_local DWORD t_wakeError = 0;

}  // namespace

struct TrayHost::Impl {
    TrayHostOptions options;
    host::MessageWindow window;
    std::optional<host::NotifyIcon> icon;
    host::IconSource iconSource;
    Indicator indicator;
    Notifier notifier;
    host::SnapshotMailbox mailbox{[this] { return wake(); }};
    std::mutex callsMutex;
    std::vector<std::function<void()>> calls;  // guarded by callsMutex
    host::ClickRules clicks;
    std::uint64_t timerWakeups = 0;
    std::uint64_t snapshots = 0;
    std::uint64_t balloons = 0;
    // The context menu's modal loop is running; a close asked for meanwhile waits for its end.
    bool menuOpen = false;
    std::optional<TrayHostClose> closeAfterMenu;
    // Last, so that it is destroyed first: a drain under way stops before anything else goes.
    host::Callouts callouts;

    bool wake() const;
    int iconPixels() const;
    void followTheme(MonoTime now);
    void run(IndicatorActions actions, MonoTime now);
    void notify(NotifierActions actions, MonoTime now);
    void queueClose(TrayHostClose why);
    void queueActivation(TrayActivation what, int x, int y);
    void iconInput(const host::IconInput& input);
    void clicked(const host::ClickOutcome& outcome, MonoTime now);
    void iconCallback(WPARAM wParam, LPARAM lParam, MonoTime now);
    void showMenu(int x, int y);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT onMessage(void* context, UINT message, WPARAM wParam, LPARAM lParam);
};

namespace {

host::IconVariant currentIconVariant() {
    return host::chooseIconVariant(host::lightTaskbar(), host::highContrast(),
                                   host::IconSource::embeds(host::IconVariant::Light),
                                   host::IconSource::embeds(host::IconVariant::Contrast));
}

}  // namespace

// The icons that match the taskbar now; loaded and pushed only when that is another set.
void TrayHost::Impl::followTheme(MonoTime now) {
    const host::IconVariant variant = currentIconVariant();
    if (variant != iconSource.variant()) {
        iconSource.setVariant(variant);
        run(indicator.onIconSetChanged(now), now);
    }
}

bool TrayHost::Impl::wake() const {
    if (PostMessageW(window.handle(), window.wakeMessage(), 0, 0)) {
        return true;
    }
    t_wakeError = GetLastError();
    return false;
}

int TrayHost::Impl::iconPixels() const {
    return host::iconPixels(options.smallIconSize(window.handle()), GetSystemMetrics(SM_CXSMICON));
}

// Carries out `actions` and whatever the outcomes lead to, until the controller asks for nothing
// more; the application's calls are only queued.
void TrayHost::Impl::run(IndicatorActions actions, MonoTime now) {
    for (;;) {
        if (actions.reloadIconsAt) {
            iconSource.load(*actions.reloadIconsAt);
        }
        std::optional<IndicatorActions> next;
        if (actions.addIcon) {
            const bool added =
                icon->add(iconSource.iconFor(actions.addIcon->glyph), actions.addIcon->tooltip);
            next = indicator.onAddResult(added, now);
        } else if (actions.updatesIcon()) {
            std::optional<HICON> shown;
            if (actions.showGlyph) {
                shown = iconSource.iconFor(*actions.showGlyph);
            }
            next = indicator.onUpdateResult(icon->update(shown, actions.setTooltip), now);
        }
        // The shell keeps its own copy of the icon it shows, so the replaced ones can go now.
        iconSource.releaseReplaced();
        if (actions.cancelTimer) {
            window.cancelTimer(host::MessageWindow::kGlyphTimer);
        }
        if (actions.armTimerAt) {
            window.armTimer(host::MessageWindow::kGlyphTimer, *actions.armTimerAt, now);
        }
        if (actions.announceGlyph) {
            const TrayGlyph glyph = *actions.announceGlyph;
            notify(notifier.onShown(glyph, indicator.shownSnapshot(), now), now);
            if (options.onGlyphShown) {
                callouts.queue("onGlyphShown",
                               [call = options.onGlyphShown, glyph, now] { call(glyph, now); });
            }
        }
        if (!next) {
            break;
        }
        actions = std::move(*next);
    }
    // A notification held back tells what is true when it is shown.
    if (indicator.snapshot().has_value()) {
        notifier.onSnapshot(indicator.shownSnapshot());
    }
}

void TrayHost::Impl::notify(NotifierActions actions, MonoTime now) {
    if (actions.show) {
        // A notification goes with the icon; without one (the shell lost it) it waits.
        const bool shown =
            indicator.iconAdded() &&
            icon->balloon(actions.show->kind, actions.show->title, actions.show->text);
        balloons += shown ? 1 : 0;
        const NotifierActions after = notifier.onResult(shown, now);
        if (after.armTimerAt) {
            actions.cancelTimer = false;
            actions.armTimerAt = after.armTimerAt;
        }
    }
    if (actions.cancelTimer) {
        window.cancelTimer(host::MessageWindow::kNotifierTimer);
    }
    if (actions.armTimerAt) {
        window.armTimer(host::MessageWindow::kNotifierTimer, *actions.armTimerAt, now);
    }
}

void TrayHost::Impl::queueActivation(TrayActivation what, int x, int y) {
    if (options.onActivate) {
        callouts.queue("onActivate", [call = options.onActivate, what, x, y] { call(what, x, y); });
    }
}

void TrayHost::Impl::iconCallback(WPARAM wParam, LPARAM lParam, MonoTime now) {
    const host::IconInput input =
        host::decodeIconCallback(wParam, static_cast<std::uint64_t>(lParam), options.iconId);
    const std::chrono::milliseconds doubleClickTime(GetDoubleClickTime());
    clicked(clicks.onInput(input, now, doubleClickTime), now);
}

void TrayHost::Impl::clicked(const host::ClickOutcome& outcome, MonoTime now) {
    if (outcome.cancelTimer) {
        window.cancelTimer(host::MessageWindow::kClickTimer);
    }
    if (outcome.armTimerAt) {
        window.armTimer(host::MessageWindow::kClickTimer, *outcome.armTimerAt, now);
    }
    if (outcome.before) {
        iconInput(*outcome.before);
    }
    if (outcome.deliver) {
        iconInput(*outcome.deliver);
    }
}

void TrayHost::Impl::iconInput(const host::IconInput& input) {
    switch (input.event) {
        case host::IconEvent::Select:
            queueActivation(TrayActivation::Select, input.x, input.y);
            break;
        case host::IconEvent::DoubleClick:
            queueActivation(TrayActivation::DoubleClick, input.x, input.y);
            break;
        case host::IconEvent::BalloonClick:
            queueActivation(TrayActivation::BalloonClick, input.x, input.y);
            break;
        case host::IconEvent::ContextMenu:
            if (options.menu) {
                callouts.queue("menu", [this, x = input.x, y = input.y] { showMenu(x, y); });
            } else {
                queueActivation(TrayActivation::ContextMenu, input.x, input.y);
            }
            break;
        case host::IconEvent::None:
            break;
    }
}

namespace {

// A popup menu of `items`, submenus included; null, with a warning, when none can be made.
HMENU popupMenu(const std::vector<TrayMenuItem>& items) {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: CreatePopupMenu failed (GLE=", code, ")");
        return nullptr;
    }
    for (const TrayMenuItem& item : items) {
        if (item.separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const bool opensSubmenu = !item.submenu.empty();
        if (item.id == 0 && !opensSubmenu) {
            logWarn("TrayHost: a menu item has id 0 and is left out");
            continue;
        }
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_ID | MIIM_SUBMENU;
        info.fType = MFT_STRING | (item.radio ? MFT_RADIOCHECK : 0U);
        info.fState = (item.checked ? MFS_CHECKED : MFS_UNCHECKED) |
                      (item.enabled ? MFS_ENABLED : MFS_GRAYED);
        info.wID = opensSubmenu ? 0 : item.id;
        info.hSubMenu = opensSubmenu ? popupMenu(item.submenu) : nullptr;
        std::wstring text = item.text;
        info.dwTypeData = text.data();
        if (!InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &info)) {
            const DWORD code = GetLastError();
            logWarn("TrayHost: InsertMenuItemW failed (GLE=", code, ")");
            if (info.hSubMenu != nullptr) {
                DestroyMenu(info.hSubMenu);
            }
            continue;
        }
        if (item.isDefault && !opensSubmenu) {
            SetMenuDefaultItem(menu, item.id, FALSE);
        }
    }
    return menu;
}

}  // namespace

// Runs as a call to the application: it asks for the items, and the menu's modal loop handles
// the host's messages (and may see the host destroyed, or a close asked for: the menu is ended,
// and the close handled once it has closed, with no item chosen).
void TrayHost::Impl::showMenu(int x, int y) {
    const std::shared_ptr<const bool> alive = callouts.alive();
    const auto describe = options.menu;
    const auto choose = options.onMenuChoice;
    const std::vector<TrayMenuItem> items = describe();
    if (!*alive) {
        return;
    }
    const HMENU menu = popupMenu(items);
    if (menu == nullptr) {
        return;
    }
    const HWND owner = window.handle();
    // The menu closes on a click elsewhere only when its owner is the foreground window.
    SetForegroundWindow(owner);
    const auto align = static_cast<UINT>(
        GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    menuOpen = true;
    const auto chosen = static_cast<unsigned>(
        TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | align, x, y, owner, nullptr));
    DestroyMenu(menu);
    if (!*alive) {
        return;
    }
    menuOpen = false;
    // So that the next menu, too, closes on a click elsewhere.
    PostMessageW(owner, WM_NULL, 0, 0);
    if (closeAfterMenu) {
        const TrayHostClose why = *closeAfterMenu;
        closeAfterMenu.reset();
        queueClose(why);
        return;
    }
    if (chosen != 0) {
        if (choose) {
            host::callApplication("onMenuChoice", [&choose, chosen] { choose(chosen); });
        }
    } else if (GetForegroundWindow() == owner) {
        icon->focus();  // closed with Escape: the keyboard focus goes back to the icon
    }
}

void TrayHost::Impl::queueClose(TrayHostClose why) {
    if (menuOpen) {
        // Inside the menu's modal loop a quit message would be lost, and the application's
        // handler would run under an open menu: the menu ends first.
        if (!closeAfterMenu || why == TrayHostClose::SessionEnding) {
            closeAfterMenu = why;
        }
        EndMenu();
        return;
    }
    if (options.onCloseRequested) {
        callouts.queue("onCloseRequested", [call = options.onCloseRequested, why] { call(why); });
    } else {
        callouts.queue("the default close", [] { PostQuitMessage(0); });
    }
}

LRESULT TrayHost::Impl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const MonoTime now = steadyNow();
    if (message == window.wakeMessage()) {
        if (std::optional<Snapshot> snapshot = mailbox.take()) {
            ++snapshots;
            run(indicator.onSnapshot(*snapshot, now), now);
        }
        std::vector<std::function<void()>> work;
        {
            std::lock_guard<std::mutex> lock(callsMutex);
            work.swap(calls);
        }
        for (std::function<void()>& call : work) {
            callouts.queue("call", std::move(call));
        }
        return 0;
    }
    if (message == options.callbackMessage) {
        iconCallback(wParam, lParam, now);
        return 0;
    }
    if (message == window.taskbarCreated()) {
        // A new notification area (Explorer restarted, or a DPI or session change): its icon
        // size may be new, and our icon may be gone.
        run(indicator.onShellRecreated(now, iconPixels()), now);
        return 0;
    }
    switch (message) {
        case WM_TIMER:
            // One-shot timers.
            if (wParam == host::MessageWindow::kGlyphTimer) {
                window.cancelTimer(host::MessageWindow::kGlyphTimer);
                ++timerWakeups;
                run(indicator.onTimer(now), now);
                return 0;
            }
            if (wParam == host::MessageWindow::kClickTimer) {
                window.cancelTimer(host::MessageWindow::kClickTimer);
                clicked(clicks.onTimer(), now);
                return 0;
            }
            if (wParam == host::MessageWindow::kNotifierTimer) {
                window.cancelTimer(host::MessageWindow::kNotifierTimer);
                ++timerWakeups;
                notify(notifier.onTimer(now), now);
                return 0;
            }
            break;
        case WM_DPICHANGED:
        case WM_SETTINGCHANGE:
        case WM_DISPLAYCHANGE:
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            if (host::announcesTheme(message, wParam, lParam)) {
                followTheme(now);
            }
            run(indicator.onIconSizeChanged(iconPixels(), now), now);
            break;
        case WM_CLOSE:
            // Not DefWindowProc's: it would destroy the window under the host.
            queueClose(TrayHostClose::Closed);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                queueClose(TrayHostClose::SessionEnding);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window.handle(), message, wParam, lParam);
}

LRESULT TrayHost::Impl::onMessage(void* context, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* impl = static_cast<Impl*>(context);
    const LRESULT result = impl->handle(message, wParam, lParam);
    // Everything is carried out: now the application may be called, and may destroy the host.
    impl->callouts.drain();
    return result;
}

std::unique_ptr<TrayHost> TrayHost::create(const Snapshot& first, TrayHostOptions options) {
    auto impl = std::make_unique<Impl>();
    impl->options = std::move(options);
    impl->notifier = Notifier(impl->options.notifications, impl->options.texts);
    impl->indicator =
        Indicator(IndicatorOptions{impl->options.silenceDeadline, impl->options.texts});
    if (!impl->options.shellNotifyIcon) {
        impl->options.shellNotifyIcon = Shell_NotifyIconW;
    }
    if (!impl->options.smallIconSize) {
        impl->options.smallIconSize = smallIconSizeForDpi;
    }
    if (!impl->options.allowMessage) {
        impl->options.allowMessage = allowThroughUipi;
    }
    impl->clicks = host::ClickRules(impl->options.waitForDoubleClick);
    if (!impl->window.registerMessages()) {
        return nullptr;
    }
    const UINT callback = impl->options.callbackMessage;
    if (const char* problem = host::callbackMessageProblem(callback, impl->window.taskbarCreated(),
                                                           impl->window.wakeMessage())) {
        logWarn("TrayHost: callbackMessage ", callback, " refused: ", problem);
        return nullptr;
    }
    if (!impl->window.create(&Impl::onMessage, impl.get())) {
        return nullptr;
    }
    for (const UINT message : {impl->window.taskbarCreated(), callback}) {
        if (!impl->options.allowMessage(impl->window.handle(), message)) {
            const DWORD code = GetLastError();
            logWarn("TrayHost: message ", message,
                    " cannot be let through to an elevated window (GLE=", code, ")");
        }
    }
    impl->icon.emplace(impl->window.handle(), impl->options.iconId, callback,
                       impl->options.shellNotifyIcon);
    const MonoTime now = steadyNow();
    impl->iconSource.setVariant(currentIconVariant());
    impl->run(impl->indicator.onIconSizeChanged(impl->iconPixels(), now), now);
    ++impl->snapshots;
    impl->run(impl->indicator.onSnapshot(first, now), now);
    // The application hears of the first glyph from its message loop, once it has the host.
    impl->wake();
    return std::unique_ptr<TrayHost>(new TrayHost(std::move(impl)));
}

TrayHost::TrayHost(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TrayHost::~TrayHost() {
    Impl& h = *impl_;
    if (h.indicator.iconAdded()) {
        h.icon->remove();
    }
    // The window first, while the host is whole; then the members: the calls still queued are
    // never made, the icons are destroyed.
    h.window.destroy();
}

void TrayHost::post(const Snapshot& snapshot) {
    if (impl_->mailbox.post(snapshot)) {
        logWarn("TrayHost: PostMessageW failed (GLE=", t_wakeError,
                "); the snapshot waits for the next post");
    }
}

void TrayHost::call(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(impl_->callsMutex);
        impl_->calls.push_back(std::move(work));
    }
    if (!impl_->wake()) {
        logWarn("TrayHost: PostMessageW failed (GLE=", t_wakeError,
                "); the call is made with the next one");
    }
}

HWND TrayHost::window() const {
    return impl_->window.handle();
}

bool TrayHost::notify(std::string_view title, std::string_view text, NoticeKind kind) {
    Impl& h = *impl_;
    const MonoTime now = steadyNow();
    const std::optional<Balloon> balloon = h.notifier.applicationNotice(title, text, kind, now);
    if (!balloon || !h.indicator.iconAdded() ||
        !h.icon->balloon(balloon->kind, balloon->title, balloon->text)) {
        return false;
    }
    h.notifier.onApplicationShown(now);
    ++h.balloons;
    return true;
}

TrayHostStats TrayHost::stats() const {
    const Impl& h = *impl_;
    return {h.timerWakeups, h.icon->calls(), h.snapshots, h.iconSource.loads(), h.balloons};
}

bool TrayHost::iconShown() const {
    return impl_->indicator.iconAdded();
}

const IconContent& TrayHost::shown() const {
    return impl_->indicator.shown();
}

const TrayIcons& TrayHost::icons() const {
    return impl_->iconSource.own();
}

}  // namespace zentra
