// engine-sim: an engine in a process of its own, for trying the engine link. It plays a timeline
// (tray-host's format; the built-in one when given none) and publishes each new state with
// zentra::EnginePublisher, for any number of `tray-host --engine NAME` to follow. The timeline's
// `freeze` makes it hang with its pipe open (nothing more is sent, heartbeats included), `crash`
// ends it at once with status 3, closing nothing; `end` ends it normally.
//   engine-sim --pipe NAME [--heartbeat SECONDS] [timeline-file]
// With --service NAME instead of --pipe, it runs as the Windows service NAME (installed with
// `sc create NAME binPath= "C:\path\engine-sim.exe --service NAME [timeline-file]"`) and
// publishes for every session under NAME, to the interactive users; `sc stop NAME` stops it
// cleanly (the trays learn it at once). `crash` ends the service process without a stop.
// --global publishes under --pipe's name for every session without being a service, as another
// program that took a service's pipe name would.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "timeline.h"
#include "zentra/engine_publisher.h"
#include "zentra/engine_service.h"
#include "zentra/log.h"

namespace {

const char* const kUsage =
    "usage: engine-sim --pipe NAME [--global] | --service NAME [--heartbeat SECONDS] "
    "[timeline-file]";

const char* eventName(tray_host::Event::Kind kind) {
    const char* names[] = {"healthy", "unhealthy", "phase",  "error", "error-clear",
                           "device",  "pulse",     "freeze", "crash", "end"};
    return names[static_cast<int>(kind)];
}

// Plays the timeline, publishing under `name`; `waitUntil` waits for a moment (true: stop now).
// As a service, `control` learns when the engine is ready.
int play(const std::wstring& name, zentra::EnginePublisherOptions options,
         const tray_host::Timeline& timeline, const std::function<bool(zn::MonoTime)>& waitUntil,
         zentra::ServiceControl* control = nullptr) {
    // Frozen: the heartbeats stop too, as they would if the engine's own loop hung.
    std::atomic<bool> frozen{false};
    options.alive = [&frozen] { return !frozen.load(); };
    const auto publisher = zentra::EnginePublisher::create(name, options);
    if (!publisher) {
        return 1;  // the publisher said why
    }
    if (control != nullptr) {
        control->running();
    }
    const zn::MonoTime start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(timeline, start);
    std::printf("engine-sim: publishing on %ls, a heartbeat every %lld ms\n", name.c_str(),
                static_cast<long long>(options.heartbeat.count()));
    std::fflush(stdout);
    for (const tray_host::Event& event : timeline.events) {
        const zn::MonoTime due = start + std::chrono::milliseconds(event.atMs);
        if (waitUntil(due)) {
            return 0;  // stopped: the publisher closes its pipe
        }
        std::printf("%7lld ms  %s%s%s\n", static_cast<long long>(event.atMs), eventName(event.kind),
                    event.value.empty() ? "" : " ", event.value.c_str());
        std::fflush(stdout);
        if (event.kind == tray_host::Event::Kind::Crash) {
            TerminateProcess(GetCurrentProcess(), 3);
        }
        if (event.kind == tray_host::Event::Kind::Freeze) {
            frozen = true;
            for (;;) {
                std::this_thread::sleep_for(std::chrono::hours(1));  // hung, pipe open
            }
        }
        // A sleep may end a little early: the event is due all the same.
        engine.advance(std::max(due, std::chrono::steady_clock::now()));
        publisher->publish(engine.snapshot());
    }
    if (waitUntil(start + std::chrono::milliseconds(timeline.endMs))) {
        return 0;
    }
    const zentra::EnginePublisherStats stats = publisher->stats();
    std::printf(
        "engine-sim: ended; %llu readers, %llu snapshots and %llu heartbeats written, "
        "%llu readers dropped, %llu wake-ups\n",
        static_cast<unsigned long long>(stats.readersConnected),
        static_cast<unsigned long long>(stats.snapshotsWritten),
        static_cast<unsigned long long>(stats.heartbeatsWritten),
        static_cast<unsigned long long>(stats.readersDropped),
        static_cast<unsigned long long>(stats.wakeups));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pipeName;
    bool service = false;
    const char* timelineFile = nullptr;
    zentra::EnginePublisherOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--pipe" || arg == "--service") && i + 1 < argc && pipeName.empty()) {
            service = arg == "--service";
            pipeName = argv[++i];
        } else if (arg == "--global") {
            options.perSession = false;
        } else if (arg == "--heartbeat" && i + 1 < argc) {
            const auto seconds = tray_host::parseSeconds(argv[++i]);
            if (!seconds) {
                std::fprintf(stderr, "engine-sim: --heartbeat takes seconds; %s\n", kUsage);
                return 2;
            }
            options.heartbeat = *seconds;
        } else if (timelineFile == nullptr && arg.rfind("--", 0) != 0) {
            timelineFile = argv[i];
        } else {
            std::fprintf(stderr, "engine-sim: unknown argument %s; %s\n", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (pipeName.empty()) {
        std::fprintf(stderr, "engine-sim: no --pipe or --service; %s\n", kUsage);
        return 2;
    }
    std::string error;
    const auto timeline = tray_host::readTimeline(timelineFile, error);
    if (!timeline) {
        std::fprintf(stderr, "engine-sim: %s\n", error.c_str());
        return 2;
    }

    const std::wstring name(pipeName.begin(), pipeName.end());
    if (!service) {
        return play(name, options, *timeline, [](zn::MonoTime due) {
            std::this_thread::sleep_until(due);
            return false;
        });
    }
    return zentra::runEngineService(name, [&](zentra::ServiceControl& control) {
        options.perSession = false;
        options.admit = zentra::kServiceAdmit;
        return play(
            name, options, *timeline,
            [&control](zn::MonoTime due) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    due - std::chrono::steady_clock::now());
                return control.stopRequested(std::max(left, std::chrono::milliseconds(0)));
            },
            &control);
    });
}
