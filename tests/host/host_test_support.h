// What the host's tests on a display share: a message pump, a healthy snapshot, icons' sizes and
// pixels.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "zentra/tray_host.h"

namespace host_test {

using Clock = std::chrono::steady_clock;

// The WM_QUIT messages the loop below has taken off the queue (a message loop would end there).
inline int& quitsTaken() {
    static int quits = 0;
    return quits;
}

// Runs the thread's message loop until `done` or `limit` passes; true when done.
inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // In short slices, so that a condition on the clock is seen when it comes true.
        const auto slice = std::min<long long>(left.count(), 5);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(slice), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quitsTaken() += msg.message == WM_QUIT ? 1 : 0;
            DispatchMessageW(&msg);
        }
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds span) {
    pumpUntil([] { return false; }, span);
}

inline zentra::Snapshot armed() {
    zentra::Snapshot s;
    s.health.healthy = true;
    s.state = {"idle", std::nullopt, "active"};
    return s;
}

// Icon handles' side in pixels (0 for no icon).
inline int iconSide(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The icon's colour pixels, as 32-bit rows.
inline std::vector<DWORD> pixelsOf(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return {};
    }
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<std::size_t>(bitmap.bmWidth) *
                              static_cast<std::size_t>(bitmap.bmHeight));
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(), &format,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

inline bool samePixels(HICON a, HICON b) {
    const std::vector<DWORD> pa = pixelsOf(a);
    return !pa.empty() && pa == pixelsOf(b);
}

}  // namespace host_test
