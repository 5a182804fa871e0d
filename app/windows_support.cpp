#include "windows_support.h"

#include <exception>

#include "zentra/log.h"

namespace zentra::app {

bool allowThroughUipi(HWND window, UINT message) {
    using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto change = [] {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const FARPROC found =
            user32 != nullptr ? GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
        // Through void(*)(), the one function pointer type every other converts to without a
        // warning.
        return reinterpret_cast<ChangeWindowMessageFilterExFn>(reinterpret_cast<void (*)()>(found));
    }();
    if (change == nullptr || change(window, message, MSGFLT_ALLOW, nullptr)) {
        return true;
    }
    const DWORD code = GetLastError();
    common::logWarn("message ", message, " cannot be let through to an elevated window (GLE=", code,
                    ")");
    return false;
}

void callApplication(const char* who, const char* name, const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        common::logAt(common::LogLevel::Error, who, ": the application's ", name,
                      " threw: ", e.what(), "; it goes on");
    } catch (...) {
        common::logAt(common::LogLevel::Error, who, ": the application's ", name,
                      " threw something that is not a std::exception; it goes on");
    }
}

}  // namespace zentra::app
