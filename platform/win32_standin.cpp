// Behaviour modelled on what the tray code relies on, checked against Wine's implementation:
// - GetModuleFileNameW: the running executable's real path. A path that does not fit is cut to
//   `size` units with no terminator, the result is `size` and the last error 122.
// - PathRemoveFileSpecW / PathCombineW: '\' and '/' both separate. PathCombineW joins with '\' and
//   returns null (dest emptied, last error untouched) when the result and its terminator need more
//   than MAX_PATH units.
// - LoadImageW: reads the file ('\' taken as '/'); a missing file gives 2, a missing folder 3, an
//   empty file 1006, and a file that is not a well-formed icon fails with last error 0.
// - DestroyIcon: a handle that is not live (unknown, null, destroyed) fails and is counted.
// - Shell_NotifyIconW: icons registered per (hWnd, uID); modify or delete of an unknown icon and
//   a second add fail with 0x80004005.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "win32_standin.h"
#include "win32_standin_control.h"
#include "win32_standin_icon_file.h"

// The stand-in's icon object: just enough to tell handles apart.
struct HICON__ {  // NOLINT(bugprone-reserved-identifier): the platform's name
    std::wstring source;
};

namespace {

thread_local DWORD t_lastError = 0;

struct State {
    std::mutex mutex;
    std::map<std::string, DWORD, std::less<>> failNext;
    std::wstring moduleOverride;
    DWORD truncationError = ERROR_INSUFFICIENT_BUFFER;
    std::set<HICON> live;
    int destroyFaults = 0;
    std::vector<std::wstring> loads;
    std::vector<standin::ShellCall> shellCalls;
    std::map<std::pair<HWND, UINT>, HICON> notifyIcons;
};

State& state() {
    static State s;
    return s;
}

// True (and the injected code set as last error) when a failure was injected for `function`.
bool injectedFailure(std::string_view function, bool setsLastError = true) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.failNext.find(function);
    if (it == s.failNext.end()) {
        return false;
    }
    if (setsLastError) {
        t_lastError = it->second;
    }
    s.failNext.erase(it);
    return true;
}

bool isSeparator(WCHAR c) {
    return c == L'\\' || c == L'/';
}

std::size_t length(LPCWSTR text) {
    std::size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

// Wide path to a narrow host path, one byte per unit below 0x80 and UTF-8 above.
std::string hostPath(LPCWSTR path) {
    std::string out;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        const auto c = static_cast<std::uint32_t>(std::char_traits<WCHAR>::to_int_type(path[i]));
        if (c == L'\\') {
            out += '/';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-8 host path to wide units (invalid bytes are taken one by one).
std::wstring widePath(const std::string& path) {
    std::wstring out;
    for (std::size_t i = 0; i < path.size();) {
        const std::uint32_t b = static_cast<unsigned char>(path[i]);
        std::size_t extra = b >= 0xF0u ? 3 : b >= 0xE0u ? 2 : b >= 0xC0u ? 1 : 0;
        if (i + extra >= path.size()) {
            extra = 0;
        }
        std::uint32_t c = extra == 0 ? b : (b & (0x3Fu >> extra));
        for (std::size_t k = 1; k <= extra; ++k) {
            c = (c << 6) |
                (static_cast<std::uint32_t>(static_cast<unsigned char>(path[i + k])) & 0x3Fu);
        }
        out += static_cast<WCHAR>(c);
        i += extra + 1;
    }
    return out;
}

std::wstring executablePath() {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return widePath(path);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

DWORD GetModuleFileNameW(HMODULE /*module*/, LPWSTR buffer, DWORD size) {
    if (injectedFailure("GetModuleFileNameW")) {
        return 0;
    }
    std::wstring path;
    DWORD truncationError;
    {
        State& s = state();
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
            t_lastError = truncationError;
        }
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

BOOL PathRemoveFileSpecW(LPWSTR path) {
    const std::size_t n = length(path);
    std::size_t cut = n;
    for (std::size_t i = n; i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            cut = i - 1;
            break;
        }
    }
    if (cut == n) {  // no separator: a bare name, or "C:name"
        const std::size_t keep = (n >= 2 && path[1] == L':') ? 2 : 0;
        path[keep] = 0;
        return keep != n ? TRUE : FALSE;
    }
    // Keep the separator of a root: "\name" -> "\", "C:\name" -> "C:\".
    if (cut == 0 || (cut == 2 && path[1] == L':')) {
        ++cut;
    }
    const BOOL changed = cut != n ? TRUE : FALSE;
    path[cut] = 0;
    return changed;
}

LPWSTR PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file) {
    if (dest == nullptr) {
        return nullptr;
    }
    if (injectedFailure("PathCombineW", false)) {
        dest[0] = 0;
        return nullptr;
    }
    std::wstring joined = dir != nullptr ? std::wstring(dir) : std::wstring();
    const std::wstring rel = file != nullptr ? std::wstring(file) : std::wstring();
    if (!rel.empty() && isSeparator(rel[0])) {
        joined = rel;  // a rooted file name stands on its own
    } else if (!rel.empty()) {
        if (!joined.empty() && !isSeparator(joined.back())) {
            joined += L'\\';
        }
        joined += rel;
    }
    if (joined.size() + 1 > MAX_PATH) {
        dest[0] = 0;
        return nullptr;
    }
    std::copy(joined.begin(), joined.end(), dest);
    dest[joined.size()] = 0;
    return dest;
}

HANDLE LoadImageW(HINSTANCE /*instance*/, LPCWSTR name, UINT type, int /*cx*/, int /*cy*/,
                  UINT flags) {
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.loads.emplace_back(name != nullptr ? name : L"");
    }
    if (injectedFailure("LoadImageW")) {
        return nullptr;
    }
    // Only what the tray code asks for is modelled: an icon read from a file.
    if (name == nullptr || type != IMAGE_ICON || (flags & LR_LOADFROMFILE) == 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const std::string path = hostPath(name);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        t_lastError = isDirectory(folder) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    if (S_ISDIR(st.st_mode) || !in) {
        t_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (data.empty()) {
        t_lastError = ERROR_FILE_INVALID;
        return nullptr;
    }
    if (!standin::isWellFormedIconFile(data.data(), data.size())) {
        t_lastError = ERROR_SUCCESS;
        return nullptr;
    }
    auto* icon = new HICON__{name};
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.live.insert(icon);
    return icon;
}

BOOL DestroyIcon(HICON icon) {
    if (injectedFailure("DestroyIcon")) {
        return FALSE;  // the icon stays alive
    }
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live.erase(icon) == 0) {
            ++s.destroyFaults;
            return FALSE;
        }
    }
    delete icon;
    return TRUE;
}

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    standin::ShellCall call{message, nullptr, 0, 0, nullptr, FALSE};
    if (data != nullptr) {
        call.hWnd = data->hWnd;
        call.uID = data->uID;
        call.uFlags = data->uFlags;
        call.hIcon = data->hIcon;
    }
    BOOL result = FALSE;
    if (!injectedFailure("Shell_NotifyIconW")) {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        const auto key = std::make_pair(call.hWnd, call.uID);
        const auto it = s.notifyIcons.find(key);
        const bool known = it != s.notifyIcons.end();
        if (data == nullptr || message > NIM_DELETE || (message == NIM_ADD) == known) {
            t_lastError = E_FAIL_CODE;
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
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.shellCalls.push_back(call);
    return result;
}

namespace standin {

void reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failNext.clear();
    s.moduleOverride.clear();
    s.truncationError = ERROR_INSUFFICIENT_BUFFER;
    s.loads.clear();
    s.shellCalls.clear();
    s.notifyIcons.clear();
}

void failNext(std::string_view function, DWORD code) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failNext[std::string(function)] = code;
}

void overrideModuleFileName(std::wstring path) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.moduleOverride = std::move(path);
}

void setTruncationError(DWORD code) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.truncationError = code;
}

int liveIcons() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.live.size());
}

int destroyFaults() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.destroyFaults;
}

std::vector<std::wstring> loadImageCalls() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.loads;
}

std::vector<ShellCall> shellCalls() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.shellCalls;
}

HICON shownIcon(HWND hWnd, UINT uID) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.notifyIcons.find({hWnd, uID});
    return it == s.notifyIcons.end() ? nullptr : it->second;
}

}  // namespace standin
