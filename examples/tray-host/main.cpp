// tray-host: a small tray application that shows the zentra glyphs in the notification area,
// built on zentra::TrayHost. A simulated engine on a thread of its own follows a timeline of
// events (a file, or a built-in default) and hands each new state to the host; the host shows it,
// with no polling. Each glyph change is printed with its time since start; at exit, how often the
// host's timer woke it and how many shell calls it made. Its icon has a menu (the engine's state,
// About, Open log, Quit); a click on the icon is printed; entering an error shows a notification.
// A GUI-subsystem program: it logs to %LOCALAPPDATA%\zentra\tray-host.log and, when started from
// a console, prints there too.
// With --engine NAME it follows an engine in another process (engine-sim) instead, and shows it
// as silent when it sends nothing, heartbeats included, for the --deadline (default 15 s).
// --name NAME puts the application's name first in the tooltip.
//   tray-host [--name NAME] [--engine NAME] [--deadline SECONDS] [timeline-file]
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app_log.h"
#include "timeline.h"
#include "zentra/engine_link.h"
#include "zentra/log.h"
#include "zentra/tray_host.h"

namespace {

// The host's window: a close posted to it ends the message loop, also while its menu is open.
HWND g_window = nullptr;

BOOL WINAPI onConsoleControl(DWORD /*type*/) {
    return PostMessageW(g_window, WM_CLOSE, 0, 0);
}

// Opens `file` in the program the user opens .log files with; Notepad where there is none.
void openInViewer(const std::filesystem::path& file) {
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result == SE_ERR_NOASSOC) {
        const std::wstring quoted = L"\"" + file.wstring() + L"\"";
        result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"notepad.exe",
                                                         quoted.c_str(), nullptr, SW_SHOWNORMAL));
    }
    if (result <= 32) {
        zentra::common::logWarn("tray-host: the log cannot be opened (", result,
                                "): ", file.u8string());
    }
}

struct Arguments {
    const char* timeline = nullptr;  // null: the built-in one
    std::wstring engine;             // follow this engine instead of the simulated one
    std::chrono::milliseconds deadline{15'000};
    std::string name;  // shown first in the tooltip
};

bool readArguments(int argc, char** argv, Arguments& out) {
    const auto refuse = [](const std::string& why) {
        zentra::common::logAt(zentra::common::LogLevel::Error, "tray-host: ", why,
                              "; usage: tray-host [--name NAME] [--engine NAME] "
                              "[--deadline SECONDS] [timeline-file]");
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--engine" || arg == "--deadline" || arg == "--name") && i + 1 == argc) {
            return refuse(arg + " needs a value");
        }
        if (arg == "--engine") {
            const std::string name = argv[++i];
            out.engine.assign(name.begin(), name.end());
        } else if (arg == "--name") {
            out.name = argv[++i];
        } else if (arg == "--deadline") {
            const auto seconds = tray_host::parseSeconds(argv[++i]);
            if (!seconds) {
                return refuse(std::string("--deadline takes seconds, not ") + argv[i]);
            }
            out.deadline = *seconds;
        } else if (out.timeline == nullptr && arg.rfind("--", 0) != 0) {
            out.timeline = argv[i];
        } else {
            return refuse("unknown argument " + arg);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool console = tray_host::useParentConsole();
    const std::filesystem::path logFile =
        tray_host::startLogging(L"zentra", L"tray-host.log", console);
    zentra::common::logAt(zentra::common::LogLevel::Info, "tray-host: started");
    Arguments args;
    if (!readArguments(argc, argv, args)) {
        return 2;
    }
    std::string error;
    const std::optional<tray_host::Timeline> read = tray_host::readTimeline(args.timeline, error);
    if (!read) {
        zentra::common::logAt(zentra::common::LogLevel::Error, "tray-host: ", error);
        return 2;
    }
    const tray_host::Timeline& timeline = *read;
    const bool followsEngine = !args.engine.empty();
    const zn::MonoTime start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(timeline, start);
    engine.advance(start);

    zentra::TrayHostOptions options;
    zentra::TrayHost* shownBy = nullptr;  // set once the host exists; menus come after that
    enum : unsigned { kState = 1, kAbout = 2, kOpenLog = 3, kQuit = 4 };
    options.menu = [&shownBy, &logFile] {
        const std::u16string tip = shownBy->shown().tooltip;
        std::vector<zentra::TrayMenuItem> items(6);
        // The engine's words as they are, & included.
        const std::u16string state = zentra::literalShellText(tip);
        items[0] = {kState, L"Engine: " + std::wstring(state.begin(), state.end()), false, false};
        items[1].separator = true;
        items[2] = {kAbout, L"About tray-host", false, true};
        items[3] = {kOpenLog, L"Open log", false, !logFile.empty()};
        items[4].separator = true;
        items[5] = {kQuit, L"Quit", false, true};
        return items;
    };
    options.onMenuChoice = [&logFile](unsigned id) {
        const char* names[] = {"", "state", "about", "open log", "quit"};
        std::printf("menu: %s\n", names[id]);
        std::fflush(stdout);
        if (id == kOpenLog) {
            openInViewer(logFile);
        } else if (id == kAbout) {
            MessageBoxW(nullptr, L"tray-host: the zentra glyphs in the notification area.",
                        L"About tray-host", MB_OK | MB_ICONINFORMATION);
        } else if (id == kQuit) {
            PostQuitMessage(0);
        }
    };
    options.onActivate = [](zentra::TrayActivation what, int x, int y) {
        const char* names[] = {"select", "double click", "context menu", "notification click"};
        std::printf("%s at %d,%d\n", names[static_cast<int>(what)], x, y);
        std::fflush(stdout);
    };
    options.onGlyphShown = [start, followsEngine, &shownBy](zn::TrayGlyph glyph,
                                                            zn::MonoTime when) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - start);
        std::printf("%s\n", tray_host::changeLine(ms.count(), glyph).c_str());
        if (followsEngine) {
            // Why, in the engine's words or the link's: "Error: engine not running", ...
            const std::u16string& tip = shownBy->shown().tooltip;
            char text[512] = {};
            WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(tip.c_str()), -1, text,
                                sizeof text, nullptr, nullptr);
            std::printf("           tooltip: %s\n", text);
        }
        std::fflush(stdout);
    };
    options.texts.appName = args.name;
    if (followsEngine) {
        // An engine in another process can fall silent: shown as such after the deadline.
        options.silenceDeadline = args.deadline;
    }
    const std::unique_ptr<zentra::TrayHost> host = zentra::TrayHost::create(
        followsEngine ? zentra::engineDown("engine not running") : engine.snapshot(), options);
    if (!host) {
        zentra::common::logAt(
            zentra::common::LogLevel::Error,
            "tray-host: no window for the notification icon; is there a display?");
        return 1;
    }
    shownBy = host.get();
    g_window = host->window();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);

    // The engine: wakes at each event of the timeline, hands the host its new state, and ends the
    // message loop at the end. Stopped early by Ctrl+C.
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    // Or the engine in another process, until the host ends.
    std::unique_ptr<zentra::EngineLink> link;
    if (followsEngine) {
        zentra::TrayHost& shown = *host;
        link = zentra::EngineLink::create(args.engine,
                                          [&shown](const zentra::Snapshot& s) { shown.post(s); });
        if (!link) {
            return 2;
        }
        zentra::common::logAt(zentra::common::LogLevel::Info, "tray-host: following the engine ",
                              std::string(args.engine.begin(), args.engine.end()));
    }
    std::thread engineThread([&] {
        if (followsEngine) {
            return;
        }
        std::unique_lock<std::mutex> lock(stopMutex);
        for (const tray_host::Event& event : timeline.events) {
            if (stopSignal.wait_until(lock, start + std::chrono::milliseconds(event.atMs),
                                      [&] { return stopping; })) {
                return;
            }
            if (event.kind == tray_host::Event::Kind::Freeze ||
                event.kind == tray_host::Event::Kind::Crash) {
                return;  // the simulated engine stops talking; the icon stays until closed
            }
            engine.advance(std::chrono::steady_clock::now());
            host->post(engine.snapshot());
        }
        if (!stopSignal.wait_until(lock, start + std::chrono::milliseconds(timeline.endMs),
                                   [&] { return stopping; })) {
            PostMessageW(g_window, WM_CLOSE, 0, 0);
        }
    });

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        stopping = true;
    }
    stopSignal.notify_all();
    engineThread.join();
    link.reset();  // before the host it posts to
    const zentra::TrayHostStats stats = host->stats();
    std::printf(
        "tray-host: %llu timer wake-ups, %llu shell calls, %llu snapshots, %llu "
        "notifications\n",
        static_cast<unsigned long long>(stats.timerWakeups),
        static_cast<unsigned long long>(stats.shellCalls),
        static_cast<unsigned long long>(stats.snapshots),
        static_cast<unsigned long long>(stats.balloons));
    std::fflush(stdout);
    zentra::common::logAt(zentra::common::LogLevel::Info, "tray-host: ended; ", stats.shellCalls,
                          " shell calls");
    return 0;
}
