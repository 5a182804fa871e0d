// What the application's life needs from Windows in more than one place.
#pragma once

#include <windows.h>

#include <functional>

namespace zentra::app {

// Lets `message` reach `window` from processes with less rights, where the system can
// (ChangeWindowMessageFilterEx, looked up). False, with a warning, when it is there and fails.
bool allowThroughUipi(HWND window, UINT message);

// Makes `call`, the application's `name` called by `who`: an exception it throws is logged as an
// error and goes no further.
void callApplication(const char* who, const char* name, const std::function<void()>& call);

}  // namespace zentra::app
