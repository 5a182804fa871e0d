// engine-sim: an engine in a process of its own, for trying the engine link. It plays a timeline
// (tray-host's format; the built-in one when given none) and publishes each new state with
// zentra::EnginePublisher, for any number of `tray-host --engine NAME` to follow. The timeline's
// `freeze` makes it hang with its pipe open (nothing more is sent, heartbeats included), `crash`
// ends it at once with status 3, closing nothing; `end` ends it normally.
//   engine-sim --pipe NAME [--heartbeat SECONDS] [timeline-file]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "timeline.h"
#include "zentra/engine_publisher.h"
#include "zentra/log.h"

namespace {

const char* const kUsage = "usage: engine-sim --pipe NAME [--heartbeat SECONDS] [timeline-file]";

const char* eventName(tray_host::Event::Kind kind) {
    const char* names[] = {"healthy", "unhealthy", "phase",  "error", "error-clear",
                           "device",  "pulse",     "freeze", "crash", "end"};
    return names[static_cast<int>(kind)];
}

}  // namespace

int main(int argc, char** argv) {
    std::string pipeName;
    const char* timelineFile = nullptr;
    zentra::EnginePublisherOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pipe" && i + 1 < argc) {
            pipeName = argv[++i];
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
        std::fprintf(stderr, "engine-sim: no --pipe; %s\n", kUsage);
        return 2;
    }
    std::string error;
    const auto timeline = tray_host::readTimeline(timelineFile, error);
    if (!timeline) {
        std::fprintf(stderr, "engine-sim: %s\n", error.c_str());
        return 2;
    }

    // Frozen: the heartbeats stop too, as they would if the engine's own loop hung.
    std::atomic<bool> frozen{false};
    options.alive = [&frozen] { return !frozen.load(); };
    const auto publisher =
        zentra::EnginePublisher::create(std::wstring(pipeName.begin(), pipeName.end()), options);
    if (!publisher) {
        return 1;  // the publisher said why
    }
    const zn::MonoTime start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(*timeline, start);
    std::printf("engine-sim: publishing on %s, a heartbeat every %lld ms\n", pipeName.c_str(),
                static_cast<long long>(options.heartbeat.count()));
    std::fflush(stdout);
    for (const tray_host::Event& event : timeline->events) {
        const zn::MonoTime due = start + std::chrono::milliseconds(event.atMs);
        std::this_thread::sleep_until(due);
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
    std::this_thread::sleep_until(start + std::chrono::milliseconds(timeline->endMs));
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
