// tray-host: a small tray application that shows the zentra glyphs in the notification area,
// built on zentra::TrayHost. A simulated engine on a thread of its own follows a timeline of
// events (a file, or a built-in default) and hands each new state to the host; the host shows it,
// with no polling. Each glyph change is printed with its time since start; at exit, how often the
// host's timer woke it and how many shell calls it made. Its icon has a menu (the engine's state,
// Start at logon, the log's level, About, Open log, Quit); a click or a double click on the icon
// is printed (a double click alone: clicks wait out the double-click time); entering an error
// shows a notification.
// One copy runs per session: a second start hands its command line to the first, which prints
// and logs it and shows a notification, and exits at once (status 0). --new-instance starts a
// copy of its own all the same (for several trays following one engine).
// A GUI-subsystem program: it logs to %LOCALAPPDATA%\zentra\tray-host.log and, when started from
// a console, prints there too.
// With --engine NAME it follows an engine in another process (engine-sim) instead, and shows it
// as silent when it sends nothing, heartbeats included, for the --deadline (default 15 s).
// With --service NAME it follows the engine the Windows service NAME publishes (engine-sim
// --service): from the service's own process only, saying what the Service Control Manager says
// while the service does not publish. Each new reason the link gives is printed ("link: ...").
// The engine's own actions (Connect, Disconnect, ...) show in the menu after its state while it
// runs; choosing one sends its command, and the answer is printed ("command: disconnect: done:
// disconnected"); a refusal or a failure is also told as a notification. A later start with
// --command TEXT (its first word the command's name, the rest its argument) makes the running
// copy send TEXT to its engine and print the answer; --command-timeout SECONDS (default 10) bounds
// the wait for each answer.
// --name NAME puts the application's name first in the tooltip.
//   tray-host [--new-instance] [--name NAME] [--engine NAME | --service NAME]
//             [--deadline SECONDS] [--command TEXT] [--command-timeout SECONDS]
//             [timeline-file]
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
#include "zentra/open_file.h"
#include "zentra/single_instance.h"
#include "zentra/start_at_logon.h"
#include "zentra/tray_host.h"
#include "zentra/tray_menu.h"

namespace {

// The host's window: a close posted to it ends the message loop, also while its menu is open.
HWND g_window = nullptr;

BOOL WINAPI onConsoleControl(DWORD /*type*/) {
    return PostMessageW(g_window, WM_CLOSE, 0, 0);
}

constexpr wchar_t kAppName[] = L"zentra tray-host";  // its Run entry

std::string utf8(std::wstring_view text) {
    std::string out(
        static_cast<std::size_t>(WideCharToMultiByte(
            CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

// The words this copy was started with, for its Run entry: --new-instance left out, the timeline
// file's path made absolute (at logon the working directory is another).
std::vector<std::wstring> wordsForLogon() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> out;
    for (int i = 1; i < count; ++i) {
        const std::wstring word = words[i];
        const bool value = !out.empty() && out.back().rfind(L"--", 0) == 0;
        if (word == L"--new-instance") {
            continue;
        }
        out.push_back(
            value || word.rfind(L"--", 0) == 0 ? word : std::filesystem::absolute(word).wstring());
    }
    LocalFree(words);
    return out;
}

struct Arguments {
    bool newInstance = false;        // run beside a copy that runs already
    const char* timeline = nullptr;  // null: the built-in one
    std::wstring engine;             // follow this engine instead of the simulated one
    bool service = false;            // the engine is the Windows service of that name
    std::chrono::milliseconds deadline{15'000};
    std::string name;     // shown first in the tooltip
    std::string command;  // --command: for the running copy to send to its engine
    std::chrono::milliseconds commandTimeout{10'000};
};

// "connect eu-1": the name, then the argument.
zentra::EngineCommand commandFrom(const std::string& text) {
    const std::size_t space = text.find(' ');
    if (space == std::string::npos) {
        return {text, ""};
    }
    return {text.substr(0, space), text.substr(space + 1)};
}

// The --command of a command line handed over by a later start; empty when it has none.
std::string commandIn(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(commandLine.c_str(), &count);
    std::string out;
    for (int i = 0; words != nullptr && i + 1 < count; ++i) {
        if (std::wstring_view(words[i]) == L"--command") {
            out = utf8(words[i + 1]);
        }
    }
    LocalFree(words);
    return out;
}

// The engine's actions as tray-host prints them: "Connect, Mode", or "nothing".
std::string offeredText(const std::vector<zentra::EngineAction>& actions) {
    std::string out;
    for (const zentra::EngineAction& a : actions) {
        out += (out.empty() ? "" : ", ") + a.text;
    }
    return out.empty() ? "nothing" : out;
}

// The command's end, printed, and told as a notification unless it was done.
void tellAnswer(zentra::TrayHost& host, const std::string& name,
                const zentra::CommandResult& result) {
    const char* outcomes[] = {"done", "refused", "failed"};
    std::printf("command: %s: %s: %s\n", name.c_str(), outcomes[static_cast<int>(result.outcome)],
                result.text.c_str());
    std::fflush(stdout);
    if (result.outcome != zentra::CommandOutcome::Done) {
        host.notify("tray-host", name + ": " + result.text, zentra::NoticeKind::Warning);
    }
}

bool readArguments(int argc, char** argv, Arguments& out) {
    const auto refuse = [](const std::string& why) {
        zentra::common::logAt(zentra::common::LogLevel::Error, "tray-host: ", why,
                              "; usage: tray-host [--new-instance] [--name NAME] [--engine NAME | "
                              "--service NAME] [--deadline SECONDS] [--command TEXT] "
                              "[timeline-file]");
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--new-instance") {
            out.newInstance = true;
            continue;
        }
        if ((arg == "--engine" || arg == "--service" || arg == "--deadline" || arg == "--name" ||
             arg == "--command" || arg == "--command-timeout") &&
            i + 1 == argc) {
            return refuse(arg + " needs a value");
        }
        if (arg == "--engine" || arg == "--service") {
            const std::string name = argv[++i];
            out.engine.assign(name.begin(), name.end());
            out.service = arg == "--service";
        } else if (arg == "--name") {
            out.name = argv[++i];
        } else if (arg == "--command") {
            out.command = argv[++i];
        } else if (arg == "--command-timeout") {
            const auto seconds = tray_host::parseSeconds(argv[++i]);
            if (!seconds) {
                return refuse(std::string("--command-timeout takes seconds, not ") + argv[i]);
            }
            out.commandTimeout = *seconds;
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

// The tooltip the shell holds, in UTF-8.
std::string shownTooltip(const zentra::TrayHost& host) {
    const std::u16string& tip = host.shown().tooltip;
    char text[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(tip.c_str()), -1, text,
                        sizeof text, nullptr, nullptr);
    return text;
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
    // One copy per session: a second start hands its request to the first and ends here.
    std::optional<zentra::SingleInstance> instance;
    zentra::TrayHost* shownBy = nullptr;   // set once the host exists; callbacks come after that
    zentra::EngineLink* linkTo = nullptr;  // while the host follows an engine
    // Sends `text` to the engine; its answer is told on the UI thread.
    const auto sendCommand = [&shownBy, &linkTo,
                              timeout = args.commandTimeout](const zentra::EngineCommand& command) {
        if (linkTo == nullptr) {
            tellAnswer(*shownBy, command.name,
                       {zentra::CommandOutcome::Failed, "this copy follows no engine"});
            return;
        }
        zentra::TrayHost* host = shownBy;
        linkTo->send(
            command,
            [host, name = command.name](const zentra::CommandResult& result) {
                host->call([host, name, result] { tellAnswer(*host, name, result); });
            },
            timeout);
    };
    if (!args.newInstance) {
        instance.emplace(zentra::SingleInstance::claim(
            L"zentra.tray-host", [&shownBy, &sendCommand](const zentra::InstanceRequest& request) {
                const std::string line = utf8(request.commandLine);
                std::printf("another start: %s\n", line.c_str());
                std::fflush(stdout);
                zentra::common::logAt(zentra::common::LogLevel::Info,
                                      "tray-host: another start handed over: ", line);
                const std::string command = commandIn(request.commandLine);
                if (!command.empty()) {
                    sendCommand(commandFrom(command));
                } else {
                    shownBy->notify("tray-host", "tray-host is running already.");
                }
            }));
        if (instance->shouldExit()) {
            std::printf("tray-host: running already; this start went to it\n");
            zentra::common::logAt(zentra::common::LogLevel::Info,
                                  "tray-host: running already; this start went to it");
            return 0;
        }
    }
    const tray_host::Timeline& timeline = *read;
    const bool followsEngine = !args.engine.empty();
    const zn::MonoTime start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(timeline, start);
    engine.advance(start);

    zentra::TrayHostOptions options;
    // The log's levels, Debug to Error, are items kLevel + 1 to kLevel + 4.
    enum : unsigned { kState = 1, kAbout, kOpenLog, kQuit, kLogon, kLevel = 10 };
    const char* const levelNames[] = {"", "debug", "info", "warn", "error"};
    // The engine's own actions, from the link's thread; items kEngineItems and on.
    constexpr unsigned kEngineItems = 100;
    std::mutex actionsMutex;
    std::vector<zentra::EngineAction> engineActions;  // guarded by actionsMutex
    options.menu = [&shownBy, &logFile, &levelNames, &actionsMutex, &engineActions] {
        const std::u16string tip = shownBy->shown().tooltip;
        std::vector<zentra::TrayMenuItem> engineItems;
        std::string offered;
        {
            std::lock_guard<std::mutex> lock(actionsMutex);
            engineItems = zentra::engineMenuItems(engineActions, kEngineItems);
            offered = offeredText(engineActions);
        }
        std::printf("menu: the engine offers %s\n", offered.c_str());
        std::fflush(stdout);
        std::vector<zentra::TrayMenuItem> items(9);
        // The engine's words as they are, & included.
        const std::u16string state = zentra::literalShellText(tip);
        items[0] = {kState, L"Engine: " + std::wstring(state.begin(), state.end()), false, false};
        items[1].separator = true;
        const zentra::LogonStart logon = zentra::readStartAtLogon(kAppName).state;
        items[2] = {kLogon,
                    logon == zentra::LogonStart::Stale ? L"Start at logon (another copy is set)"
                    : logon == zentra::LogonStart::Disabled
                        ? L"Start at logon (off in Task Manager)"
                        : L"Start at logon",
                    logon == zentra::LogonStart::On, true};
        items[3].text = L"Log level";
        const auto current = static_cast<unsigned>(zentra::common::processLogger->level());
        for (unsigned level = 1; level <= 4; ++level) {
            const std::string name = levelNames[level];
            items[3].submenu.push_back({kLevel + level, std::wstring(name.begin(), name.end()),
                                        level == current, true, false, false, true});
        }
        items[4].separator = true;
        items[5] = {kAbout, L"About tray-host", false, true};
        items[6] = {kOpenLog, L"Open log", false, !logFile.empty()};
        items[7].separator = true;
        items[8] = {kQuit, L"Quit", false, true};
        items.insert(items.begin() + 1, engineItems.begin(), engineItems.end());
        return items;
    };
    options.onMenuChoice = [&logFile, &levelNames, &actionsMutex, &engineActions,
                            &sendCommand](unsigned id) {
        const char* names[] = {"", "state", "about", "open log", "quit", "start at logon"};
        if (id >= kEngineItems) {
            std::optional<zentra::EngineCommand> command;
            {
                std::lock_guard<std::mutex> lock(actionsMutex);
                command = zentra::engineMenuCommand(engineActions, kEngineItems, id);
            }
            if (command) {
                std::printf("menu: the engine's %s\n", command->name.c_str());
                std::fflush(stdout);
                sendCommand(*command);
            }
            return;
        }
        if (id > kLevel) {
            std::printf("menu: log level %s\n", levelNames[id - kLevel]);
            zentra::common::processLogger->setLevel(
                static_cast<zentra::common::LogLevel>(id - kLevel));
        } else {
            std::printf("menu: %s\n", names[id]);
        }
        std::fflush(stdout);
        if (id == kLogon) {
            const bool on = zentra::readStartAtLogon(kAppName).state == zentra::LogonStart::On;
            const bool done = on ? zentra::clearStartAtLogon(kAppName)
                                 : zentra::setStartAtLogon(kAppName, wordsForLogon());
            std::printf("start at logon: %s\n", on == done ? "off" : "on");
            std::fflush(stdout);
        } else if (id == kOpenLog) {
            zentra::openFile(logFile);
        } else if (id == kAbout) {
            MessageBoxW(nullptr, L"tray-host: the zentra glyphs in the notification area.",
                        L"About tray-host", MB_OK | MB_ICONINFORMATION);
        } else if (id == kQuit) {
            PostQuitMessage(0);
        }
    };
    // A double click is told alone: a click waits out the double-click time.
    options.waitForDoubleClick = true;
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
            std::printf("           tooltip: %s\n", shownTooltip(*shownBy).c_str());
        }
        std::fflush(stdout);
    };
    options.texts.appName = args.name;
    if (followsEngine) {
        // An engine in another process can fall silent: shown as such after the deadline.
        options.silenceDeadline = args.deadline;
    }
    const std::unique_ptr<zentra::TrayHost> host = zentra::TrayHost::create(
        followsEngine ? zentra::engineNotKnownYet() : engine.snapshot(), options);
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
        zentra::EngineLinkOptions linkOptions;
        if (args.service) {
            linkOptions.service = args.engine;
        }
        linkOptions.onActions = [&actionsMutex,
                                 &engineActions](const std::vector<zentra::EngineAction>& a) {
            std::printf("engine: offers %s\n", offeredText(a).c_str());
            std::fflush(stdout);
            std::lock_guard<std::mutex> lock(actionsMutex);
            engineActions = a;
        };
        link = zentra::EngineLink::create(
            args.engine,
            [&shown, said = std::string()](const zentra::Snapshot& s) mutable {
                const std::string reason = s.state.lastError.value_or("");
                if (s.source == zentra::SnapshotSource::Link && reason != said) {
                    std::printf("link: %s\n", reason.c_str());
                    std::fflush(stdout);
                }
                said = s.source == zentra::SnapshotSource::Link ? reason : std::string();
                shown.post(s);
            },
            linkOptions);
        if (!link) {
            return 2;
        }
        linkTo = link.get();
        if (!args.command.empty()) {
            sendCommand(commandFrom(args.command));
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
    if (instance) {
        instance->release();  // ending: the next start is the first, not one that waits for it
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        stopping = true;
    }
    stopSignal.notify_all();
    engineThread.join();
    linkTo = nullptr;
    link.reset();  // before the host it posts to
    const zentra::TrayHostStats stats = host->stats();
    std::printf(
        "tray-host: %llu timer wake-ups, %llu shell calls, %llu snapshots, %llu "
        "notifications\n",
        static_cast<unsigned long long>(stats.timerWakeups),
        static_cast<unsigned long long>(stats.shellCalls),
        static_cast<unsigned long long>(stats.snapshots),
        static_cast<unsigned long long>(stats.balloons));
    if (followsEngine) {
        std::printf("tray-host: last tooltip: %s\n", shownTooltip(*host).c_str());
    }
    std::fflush(stdout);
    zentra::common::logAt(zentra::common::LogLevel::Info, "tray-host: ended; ", stats.shellCalls,
                          " shell calls");
    return 0;
}
