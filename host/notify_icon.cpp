#include "notify_icon.h"

#include <iterator>
#include <utility>

#include "zentra/log.h"

namespace zentra::host {

using common::logWarn;

NotifyIcon::NotifyIcon(HWND window, UINT id, UINT callbackMessage, ShellNotifyIconFn shell)
    : shell_(std::move(shell)) {
    nid_.cbSize = sizeof nid_;
    nid_.hWnd = window;
    nid_.uID = id;
    nid_.uCallbackMessage = callbackMessage;
}

bool NotifyIcon::call(DWORD message, const char* name, bool warn) {
    ++calls_;
    if (shell_(message, &nid_)) {
        return true;
    }
    if (warn) {
        const DWORD code = GetLastError();
        logWarn("TrayHost: Shell_NotifyIconW(", name, ") failed (GLE=", code, ")");
    }
    return false;
}

void NotifyIcon::setTooltip(const std::u16string& tooltip) {
    std::size_t n = 0;
    for (; n < tooltip.size() && n + 1 < std::size(nid_.szTip); ++n) {
        nid_.szTip[n] = static_cast<WCHAR>(tooltip[n]);
    }
    nid_.szTip[n] = 0;
}

bool NotifyIcon::add(HICON icon, const std::u16string& tooltip) {
    nid_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid_.hIcon = icon;
    setTooltip(tooltip);
    bool ok = call(NIM_ADD, "NIM_ADD", false);
    if (!ok) {
        const DWORD addCode = GetLastError();
        ok = call(NIM_MODIFY, "NIM_MODIFY", false);
        if (!ok && !addFailing_) {
            logWarn("TrayHost: Shell_NotifyIconW(NIM_ADD) failed (GLE=", addCode, ")");
        }
    }
    addFailing_ = !ok;
    if (ok) {
        nid_.uVersion = NOTIFYICON_VERSION_4;
        call(NIM_SETVERSION, "NIM_SETVERSION", true);
    }
    return ok;
}

bool NotifyIcon::update(std::optional<HICON> icon, const std::optional<std::u16string>& tooltip) {
    nid_.uFlags = 0;
    if (icon) {
        nid_.uFlags |= NIF_ICON;
        nid_.hIcon = *icon;
    }
    if (tooltip) {
        nid_.uFlags |= NIF_TIP | NIF_SHOWTIP;
        setTooltip(*tooltip);
    }
    return call(NIM_MODIFY, "NIM_MODIFY", true);
}

bool NotifyIcon::remove() {
    nid_.uFlags = 0;
    return call(NIM_DELETE, "NIM_DELETE", true);
}

}  // namespace zentra::host
