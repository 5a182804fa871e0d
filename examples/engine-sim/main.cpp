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
// Its trays' menus offer Connect or Disconnect, whichever applies: "disconnect" publishes the
// error "disconnected by the user" until "connect"; each command is printed with who sent it.
// --no-answer takes commands and never answers them (a hung engine's command handler).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "timeline.h"
#include "zentra/engine_publisher.h"
#include "zentra/engine_service.h"
#include "zentra/log.h"

namespace {

const char* const kUsage =
    "usage: engine-sim --pipe NAME [--global] | --service NAME [--heartbeat SECONDS] "
    "[--no-answer] [timeline-file]";

const char* eventName(tray_host::Event::Kind kind) {
    const char* names[] = {"healthy", "unhealthy", "phase",  "error", "error-clear",
                           "device",  "pulse",     "freeze", "crash", "end"};
    return names[static_cast<int>(kind)];
}

// What the engine publishes: the timeline's state, unless the user disconnected it; and the
// action that applies.
class Remote {
  public:
    void attach(zentra::EnginePublisher* publisher) {
        std::lock_guard<std::mutex> lock(mutex_);
        publisher_ = publisher;
    }
    void show(const zentra::Snapshot& timeline) {
        std::lock_guard<std::mutex> lock(mutex_);
        timeline_ = timeline;
        publish();
    }
    // A command from a tray, answered at once (or never, with --no-answer).
    void command(const zentra::EngineCommand& c, const zentra::CommandSender& from,
                 zentra::CommandReply reply) {
        std::printf("command: %s%s%s from %s (session %u, process %u)\n", c.name.c_str(),
                    c.argument.empty() ? "" : " ", c.argument.c_str(),
                    from.user.empty() ? "an unknown user" : from.user.c_str(), from.session,
                    from.process);
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(mutex_);
        if (neverAnswer) {
            unanswered_.push_back(std::move(reply));
            return;
        }
        std::string name;
        for (const char ch : c.name) {
            name += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        }
        if (name != "connect" && name != "disconnect") {
            reply.refuse("engine-sim knows connect and disconnect, not " + c.name);
            return;
        }
        disconnected_ = name == "disconnect";
        publish();
        reply.done(disconnected_ ? "disconnected" : "connected");
    }
    bool neverAnswer = false;

  private:
    void publish() {
        if (publisher_ == nullptr) {
            return;
        }
        zentra::Snapshot shown = timeline_;
        if (disconnected_) {
            shown.state.lastError = "disconnected by the user";
        }
        publisher_->offer(
            {disconnected_
                 ? zentra::EngineAction{"Connect", "connect", "", true, false, false, false, {}}
                 : zentra::EngineAction{
                       "Disconnect", "disconnect", "", true, false, false, false, {}}});
        publisher_->publish(shown);
    }
    std::mutex mutex_;
    zentra::EnginePublisher* publisher_ = nullptr;  // guarded by mutex_
    zentra::Snapshot timeline_;                     // guarded by mutex_
    bool disconnected_ = false;                     // guarded by mutex_
    std::vector<zentra::CommandReply> unanswered_;  // guarded by mutex_
};

// Plays the timeline, publishing under `name`; `waitUntil` waits for a moment (true: stop now).
// As a service, `control` learns when the engine is ready.
int play(const std::wstring& name, zentra::EnginePublisherOptions options,
         const tray_host::Timeline& timeline, const std::function<bool(zn::MonoTime)>& waitUntil,
         Remote& remote, zentra::ServiceControl* control = nullptr) {
    // Frozen: the heartbeats stop too, as they would if the engine's own loop hung.
    std::atomic<bool> frozen{false};
    options.alive = [&frozen] { return !frozen.load(); };
    options.onCommand = [&remote](const zentra::EngineCommand& c, const zentra::CommandSender& from,
                                  zentra::CommandReply reply) {
        remote.command(c, from, std::move(reply));
    };
    const auto publisher = zentra::EnginePublisher::create(name, options);
    if (!publisher) {
        return 1;  // the publisher said why
    }
    remote.attach(publisher.get());
    if (control != nullptr) {
        control->running();
    }
    const zn::MonoTime start = std::chrono::steady_clock::now();
    tray_host::SimulatedEngine engine(timeline, start);
    // Detached before the publisher goes: a command's publish needs it whole.
    const std::shared_ptr<void> detach(nullptr, [&remote](void*) { remote.attach(nullptr); });
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
        remote.show(engine.snapshot());
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
    Remote remote;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-answer") {
            remote.neverAnswer = true;
        } else if ((arg == "--pipe" || arg == "--service") && i + 1 < argc && pipeName.empty()) {
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
        return play(
            name, options, *timeline,
            [](zn::MonoTime due) {
                std::this_thread::sleep_until(due);
                return false;
            },
            remote);
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
            remote, &control);
    });
}
