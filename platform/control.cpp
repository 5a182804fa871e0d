// The stand-in's test controls (win32_standin_control.h).
#include "standin_state.h"

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

int iconSide(HICON icon) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.live.count(icon) != 0 ? icon->side : 0;
}

IconSize iconSize(HICON icon) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.live.count(icon) != 0 ? IconSize{icon->width, icon->height} : IconSize{};
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
