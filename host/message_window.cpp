#include "message_window.h"

#include "host_rules.h"
#include "zentra/log.h"

namespace zentra::host {

using common::logWarn;

namespace {

constexpr wchar_t kWindowClass[] = L"zentra.TrayHost";

}  // namespace

bool MessageWindow::registerMessages() {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    wake_ = RegisterWindowMessageW(L"zentra.TrayHost.wake");
    if (taskbarCreated_ == 0 || wake_ == 0) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: RegisterWindowMessageW failed (GLE=", code, ")");
        return false;
    }
    return true;
}

bool MessageWindow::create(MessageHandler handler, void* context) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: RegisterClassW failed (GLE=", code, ")");
        return false;
    }
    const HWND window = CreateWindowExW(0, kWindowClass, L"zentra tray host", WS_OVERLAPPED, 0, 0,
                                        0, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: CreateWindowExW failed (GLE=", code, ")");
        return false;
    }
    window_ = window;
    handler_ = handler;
    context_ = context;
    // From here on the procedure hands the window's messages to the handler.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

MessageWindow::~MessageWindow() {
    destroy();
}

void MessageWindow::destroy() {
    if (window_ == nullptr) {
        return;
    }
    KillTimer(window_, kGlyphTimer);
    KillTimer(window_, kNotifierTimer);
    KillTimer(window_, kClickTimer);
    // The messages the destruction sends do not reach the handler.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    if (!DestroyWindow(window_)) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: DestroyWindow failed (GLE=", code, ")");
    }
    window_ = nullptr;
}

void MessageWindow::armTimer(UINT_PTR id, MonoTime at, MonoTime now) const {
    if (SetTimer(window_, id, timerDelayMs(at, now), nullptr) == 0) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: SetTimer failed (GLE=", code, ")");
    }
}

void MessageWindow::cancelTimer(UINT_PTR id) const {
    KillTimer(window_, id);
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LONG_PTR stored = GetWindowLongPtrW(window, GWLP_USERDATA);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the pointer stored once the window exists
    const auto* self = reinterpret_cast<const MessageWindow*>(stored);
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handler_(self->context_, message, wParam, lParam);
}

}  // namespace zentra::host
