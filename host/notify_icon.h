// The notification icon: every Shell_NotifyIconW call the host makes goes through here, and
// through the one replaceable function the host was given for it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "zentra/notifier.h"
#include "zentra/win32.h"

namespace zentra::host {

using ShellNotifyIconFn = std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)>;

class NotifyIcon {
  public:
    NotifyIcon(HWND window, UINT id, UINT callbackMessage, ShellNotifyIconFn shell);

    // Adds the icon, or modifies it when the shell still has it (it re-sends TaskbarCreated after
    // a DPI change or a remote session), then asks for version 4's callbacks. A failed add is
    // warned once for a streak of them.
    bool add(HICON icon, const std::u16string& tooltip);
    // One modify carrying the icon, the tooltip, or both.
    bool update(std::optional<HICON> icon, const std::optional<std::u16string>& tooltip);
    bool remove();
    // A notification with the icon (an error's, a warning's or information's), respecting the
    // user's quiet time.
    bool balloon(NoticeKind kind, const std::u16string& title, const std::u16string& text);
    // Gives the keyboard focus back to the icon (after a menu closed with Escape).
    bool focus();

    std::uint64_t calls() const { return calls_; }

  private:
    bool call(DWORD message, const char* name, bool warn);
    void setTooltip(const std::u16string& tooltip);

    NOTIFYICONDATAW nid_{};
    ShellNotifyIconFn shell_;
    std::uint64_t calls_ = 0;
    bool addFailing_ = false;  // a failed add was warned of; the streak is not warned again
};

}  // namespace zentra::host
