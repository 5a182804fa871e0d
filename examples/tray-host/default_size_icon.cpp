// tray-default-size: shows the armed icon as initTrayIcons loads it (at the system's default icon
// size, left to the shell to scale) for a few seconds, so a screenshot can compare it with the
// exact-size icon tray-host shows. Same manifest (DPI awareness) as tray-host.
//   tray-default-size [seconds]
#include <cstdio>
#include <cstdlib>

#include "zentra/tray.h"

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"zentra.tray-default-size";
    RegisterClassW(&wc);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "tray-default-size: no window; is there a display?\n");
        return 1;
    }
    zentra::TrayIcons icons;
    zentra::initTrayIcons(instance, icons);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 1;
    nid.uFlags = NIF_ICON;
    nid.hIcon = icons.armed;
    if (!Shell_NotifyIconW(NIM_ADD, &nid)) {
        std::fprintf(stderr, "tray-default-size: NIM_ADD failed (GLE=%lu)\n", GetLastError());
        return 1;
    }
    Sleep(static_cast<DWORD>(seconds) * 1000);
    Shell_NotifyIconW(NIM_DELETE, &nid);
    zentra::destroyTrayIcons(icons);
    DestroyWindow(window);
    return 0;
}
