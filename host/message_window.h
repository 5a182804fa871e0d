// The host's hidden top-level window: what the shell and the system talk to. It is top-level
// (not message-only) so that broadcasts such as TaskbarCreated and the end of a session reach it,
// and never shown. It owns the host's timers and knows the messages the host registers.
#pragma once

#include "zentra/glyph.h"
#include "zentra/win32.h"

namespace zentra::host {

// Handles the window's messages once it exists; `context` is the one given to create().
using MessageHandler = LRESULT (*)(void* context, UINT message, WPARAM wParam, LPARAM lParam);

class MessageWindow {
  public:
    MessageWindow() = default;
    // Destroys the window, as destroy() does.
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Registers the host's messages; false, with a warning, when either cannot be registered.
    bool registerMessages();
    // Creates the window on the calling thread; false, with a warning, when it cannot.
    bool create(MessageHandler handler, void* context);

    // Destroys the window; the handler is not called again, not even for the destruction.
    void destroy();

    HWND handle() const { return window_; }
    // The shell's broadcast that a new notification area exists.
    UINT taskbarCreated() const { return taskbarCreated_; }
    // The host's own wake-up: a snapshot is waiting, or calls to the application are.
    UINT wakeMessage() const { return wake_; }

    // Its timers: the next glyph change or an add's retry, the notifier's, and a click's that
    // waits out the double-click time.
    static constexpr UINT_PTR kGlyphTimer = 1;
    static constexpr UINT_PTR kNotifierTimer = 2;
    static constexpr UINT_PTR kClickTimer = 3;
    // The one-shot timer `id` for `at` (never before it), replacing a pending one.
    void armTimer(UINT_PTR id, MonoTime at, MonoTime now) const;
    void cancelTimer(UINT_PTR id) const;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    MessageHandler handler_ = nullptr;
    void* context_ = nullptr;
    UINT taskbarCreated_ = 0;
    UINT wake_ = 0;
};

}  // namespace zentra::host
