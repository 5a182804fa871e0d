// kernel32: the last error and the module path.
// - GetModuleFileNameW: the running executable's real path. A path that does not fit is cut to
//   `size` units with no terminator, the result is `size` and the last error 122.
#include <unistd.h>

#include <algorithm>

#include "standin_state.h"

namespace {

thread_local DWORD t_lastError = 0;

std::wstring executablePath() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return standin::hostToWide(path);
}

}  // namespace

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

DWORD GetModuleFileNameW(HMODULE /*module*/, LPWSTR buffer, DWORD size) {
    if (standin::injectedFailure("GetModuleFileNameW")) {
        return 0;
    }
    std::wstring path;
    DWORD truncationError;
    {
        standin::State& s = standin::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        path = s.moduleOverride;
        truncationError = s.truncationError;
    }
    if (path.empty()) {
        path = executablePath();
    }
    if (path.size() + 1 > size) {
        std::copy_n(path.begin(), size, buffer);  // no terminator, as Wine does
        if (truncationError != 0) {
            SetLastError(truncationError);
        }
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}
