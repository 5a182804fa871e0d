// shell32: the notification area. Icons are registered per (hWnd, uID); modify or delete of an
// unknown icon and a second add fail with 0x80004005.
#include "standin_state.h"

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    standin::ShellCall call{message, nullptr, 0, 0, nullptr, FALSE};
    if (data != nullptr) {
        call.hWnd = data->hWnd;
        call.uID = data->uID;
        call.uFlags = data->uFlags;
        call.hIcon = data->hIcon;
    }
    BOOL result = FALSE;
    standin::State& s = standin::state();
    if (!standin::injectedFailure("Shell_NotifyIconW")) {
        std::lock_guard<std::mutex> lock(s.mutex);
        const auto key = std::make_pair(call.hWnd, call.uID);
        const auto it = s.notifyIcons.find(key);
        const bool known = it != s.notifyIcons.end();
        if (data == nullptr || message > NIM_DELETE || (message == NIM_ADD) == known) {
            SetLastError(E_FAIL_CODE);
        } else if (message == NIM_ADD) {
            s.notifyIcons[key] = (call.uFlags & NIF_ICON) != 0 ? call.hIcon : nullptr;
            result = TRUE;
        } else if (message == NIM_MODIFY) {
            if ((call.uFlags & NIF_ICON) != 0) {
                it->second = call.hIcon;
            }
            result = TRUE;
        } else {
            s.notifyIcons.erase(it);
            result = TRUE;
        }
    }
    call.result = result;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.shellCalls.push_back(call);
    return result;
}
