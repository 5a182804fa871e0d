// tray-shell-restart: does to a running tray-host what a restarted shell does to an application,
// from a process of its own.
//   tray-shell-restart forget      the shell forgets tray-host's icon (NIM_DELETE with its window
//                                  and icon id)
//   tray-shell-restart broadcast   TaskbarCreated is broadcast to every top-level window
#include <cstdio>
#include <cstring>

#include "zentra/win32.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "forget") == 0) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = FindWindowW(L"zentra.TrayHost", nullptr);
        nid.uID = 1;
        if (nid.hWnd == nullptr || !Shell_NotifyIconW(NIM_DELETE, &nid)) {
            std::fprintf(stderr, "tray-shell-restart: no tray-host icon to forget\n");
            return 1;
        }
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "broadcast") == 0) {
        return PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0) ? 0
                                                                                             : 1;
    }
    std::fprintf(stderr, "usage: tray-shell-restart forget|broadcast\n");
    return 2;
}
