#include "notify_icon.h"

#include <iterator>
#include <utility>

#include "zentra/indicator.h"
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

namespace {

// `text` into a fixed field, cut to fit with its terminator.
template <std::size_t N>
void copyText(WCHAR (&field)[N], const std::u16string& text) {
    std::size_t n = 0;
    for (; n < text.size() && n + 1 < N; ++n) {
        field[n] = static_cast<WCHAR>(text[n]);
    }
    field[n] = 0;
}

}  // namespace

void NotifyIcon::setTooltip(const std::u16string& tooltip) {
    // The shell reads & as a mnemonic prefix: the engine's & is shown as it is.
    copyText(nid_.szTip, literalShellText(tooltip, std::size(nid_.szTip) - 1));
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

bool NotifyIcon::balloon(NoticeKind kind, const std::u16string& title, const std::u16string& text) {
    nid_.uFlags = NIF_INFO;
    copyText(nid_.szInfoTitle, title);
    copyText(nid_.szInfo, text);
    const DWORD icon = kind == NoticeKind::Error     ? NIIF_ERROR
                       : kind == NoticeKind::Warning ? NIIF_WARNING
                                                     : NIIF_INFO;
    nid_.dwInfoFlags = icon | NIIF_RESPECT_QUIET_TIME;
    return call(NIM_MODIFY, "NIM_MODIFY", true);
}

bool NotifyIcon::focus() {
    nid_.uFlags = 0;
    // Not every shell implements it (Wine's does not); the menu has closed either way.
    return call(NIM_SETFOCUS, "NIM_SETFOCUS", false);
}

bool NotifyIcon::remove() {
    nid_.uFlags = 0;
    return call(NIM_DELETE, "NIM_DELETE", true);
}

}  // namespace zentra::host
