// tray-host: a small tray application that shows the zentra glyphs in the notification area.
// It follows a timeline of engine events (a file, or a built-in default), derives the glyph every
// few tens of milliseconds and pushes it with applyTrayGlyph, printing each change.
//   tray-host [timeline-file]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "timeline.h"
#include "zentra/log.h"
#include "zentra/tray.h"

namespace {

constexpr UINT kTimerId = 1;
constexpr UINT kTickMs = 20;
constexpr UINT kIconId = 1;
constexpr UINT kCallbackMessage = WM_APP + 1;

struct Host {
    tray_host::SimulatedEngine* engine = nullptr;
    zentra::TrayIcons icons;
    NOTIFYICONDATAW nid{};
    zn::MonoTime start;
    zn::TrayGlyph printed = zn::TrayGlyph::Armed;  // the glyph last reported on stdout
    UINT taskbarCreated = 0;
};

Host* g_host = nullptr;
HWND g_window = nullptr;

HICON iconOf(const zentra::TrayIcons& icons, zn::TrayGlyph glyph) {
    switch (glyph) {
        case zn::TrayGlyph::Armed:
            return icons.armed;
        case zn::TrayGlyph::Triggered:
            return icons.triggered;
        case zn::TrayGlyph::Error:
            break;
    }
    return icons.error;
}

long long msSinceStart(zn::MonoTime now) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - g_host->start).count();
}

void tick(HWND window) {
    const zn::MonoTime now = std::chrono::steady_clock::now();
    const bool running = g_host->engine->advance(now);
    const zn::TrayGlyph glyph = g_host->engine->glyph(now);
    if (glyph != g_host->printed) {
        g_host->printed = glyph;
        std::printf("%s\n", tray_host::changeLine(msSinceStart(now), glyph).c_str());
        std::fflush(stdout);
    }
    zentra::applyTrayGlyph(g_host->nid, g_host->icons, glyph);
    if (!running) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_host != nullptr && message == g_host->taskbarCreated && message != 0) {
        // Explorer restarted: the shell forgot our icon. Add it again with the glyph last shown.
        g_host->nid.hIcon = iconOf(g_host->icons, g_host->icons.current);
        if (!Shell_NotifyIconW(NIM_ADD, &g_host->nid)) {
            std::fprintf(stderr, "tray-host: re-adding the notification icon failed (GLE=%lu)\n",
                         GetLastError());
        }
        return 0;
    }
    switch (message) {
        case WM_TIMER:
            tick(window);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

BOOL WINAPI onConsoleControl(DWORD /*type*/) {
    if (g_window != nullptr) {
        PostMessageW(g_window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    return FALSE;
}

bool readTimeline(int argc, char** argv, tray_host::Timeline& timeline) {
    std::string text = tray_host::kDefaultTimeline;
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "tray-host: cannot read timeline %s\n", argv[1]);
            return false;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string error;
    const auto parsed = tray_host::parseTimeline(text, error);
    if (!parsed) {
        std::fprintf(stderr, "tray-host: %s\n", error.c_str());
        return false;
    }
    timeline = *parsed;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tray_host::Timeline timeline;
    if (!readTimeline(argc, argv, timeline)) {
        return 2;
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"zentra-tray-host";
    // A hidden top-level window: it receives the shell's TaskbarCreated broadcast.
    if (RegisterClassW(&wc) == 0) {
        std::fprintf(stderr, "tray-host: RegisterClassW failed (GLE=%lu)\n", GetLastError());
        return 1;
    }
    g_window = CreateWindowExW(0, wc.lpszClassName, L"zentra tray host", WS_OVERLAPPED, 0, 0, 0, 0,
                               nullptr, nullptr, instance, nullptr);
    if (g_window == nullptr) {
        std::fprintf(stderr, "tray-host: CreateWindowExW failed (GLE=%lu); is there a display?\n",
                     GetLastError());
        return 1;
    }

    Host host;
    host.start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(timeline, host.start);
    host.engine = &engine;
    host.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    zentra::initTrayIcons(instance, host.icons);

    engine.advance(host.start);
    host.icons.current = engine.glyph(host.start);
    host.nid.cbSize = sizeof host.nid;
    host.nid.hWnd = g_window;
    host.nid.uID = kIconId;
    host.nid.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    host.nid.uCallbackMessage = kCallbackMessage;
    host.nid.hIcon = iconOf(host.icons, host.icons.current);
    wcscpy_s(host.nid.szTip, L"zentra");
    if (!Shell_NotifyIconW(NIM_ADD, &host.nid)) {
        std::fprintf(stderr, "tray-host: adding the notification icon failed (GLE=%lu)\n",
                     GetLastError());
    }
    g_host = &host;
    host.printed = host.icons.current;
    std::printf("%s\n", tray_host::changeLine(0, host.icons.current).c_str());
    std::fflush(stdout);

    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    SetTimer(g_window, kTimerId, kTickMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    Shell_NotifyIconW(NIM_DELETE, &host.nid);
    g_host = nullptr;
    g_window = nullptr;
    zentra::destroyTrayIcons(host.icons);
    return 0;
}
