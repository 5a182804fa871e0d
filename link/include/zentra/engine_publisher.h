// The engine's side of the link to its tray in another process (Windows): it publishes the
// engine's snapshots on a named pipe that any number of trays read (EngineLink).
//
//   auto publisher = zentra::EnginePublisher::create(L"mysync");
//   publisher->publish(snapshot);  // from any thread, whenever the engine's state changes
//
// Each reader gets the latest snapshot when it connects and after each change; snapshots that come
// faster than a reader takes them are merged, so a slow reader sees the latest one. publish()
// never waits for a reader. Nothing is buffered for a reader: a write ends when the reader has
// taken it, and a reader that has not taken a write within `stuckReader` is disconnected (it
// reconnects, and gets the latest), so one that does not read is dropped within `stuckReader`
// plus a `heartbeat`. When nothing has changed for `heartbeat`, a reader gets a heartbeat, so
// that it can tell a quiet engine from a silent one; otherwise the publisher's thread sleeps.
// Any number of readers (one thread waits for all of them on a completion port).
//
// The pipe takes local readers only. Who may read is the application's choice (`admit`); by
// default only the user the engine runs as. Two engines cannot publish under one name: the second
// create() fails, and says so.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zentra/indicator.h"

namespace zentra {

struct EnginePublisherOptions {
    // Nothing changed for this long: each reader gets a heartbeat. Trays that follow the engine
    // set their silence deadline to a few of these.
    std::chrono::milliseconds heartbeat{5000};
    // Whether the engine still works, asked on the publisher's thread before each heartbeat; no
    // heartbeat while it says no, so that the trays show a hung engine as silent rather than
    // well. For example: the engine's main loop went round within the last few seconds. Unset:
    // the engine always counts as working while it publishes.
    std::function<bool()> alive;
    // A reader that has not taken a message within this long is disconnected.
    std::chrono::milliseconds stuckReader{5000};
    // Who may read, as the discretionary access list of a security descriptor in SDDL, for
    // example L"D:(A;;GA;;;IU)" for every interactive user (what a service engine whose trays run
    // as other users needs). Empty: the engine's own user only.
    std::wstring admit;
    // For one user session (the default: engine and tray run in it), or, false, one engine for
    // all sessions (a service). EngineLink must say the same.
    bool perSession = true;
};

struct EnginePublisherStats {
    std::uint64_t readersConnected = 0;  // readers that connected, in all
    std::uint64_t readersDropped = 0;    // disconnected for not taking their data
    std::uint64_t snapshotsWritten = 0;  // snapshot messages written, to all readers
    std::uint64_t heartbeatsWritten = 0;
    std::uint64_t wakeups = 0;  // times the publisher's thread woke
    unsigned readers = 0;       // readers connected now
};

class EnginePublisher {
  public:
    // Starts listening on the pipe for `name` (at most 200 characters, no backslash or control
    // character; the application's own, such as L"mysync.engine"). Null, with a warning logged that
    // says why, when it cannot: another engine publishes under the name, the name or `admit` is
    // refused, or Windows refuses the pipe.
    static std::unique_ptr<EnginePublisher> create(const std::wstring& name,
                                                   EnginePublisherOptions options = {});
    // Stops listening and disconnects every reader; their trays show the engine as not running.
    ~EnginePublisher();
    EnginePublisher(const EnginePublisher&) = delete;
    EnginePublisher& operator=(const EnginePublisher&) = delete;

    // From any thread: the engine's latest state. Returns at once.
    void publish(const Snapshot& snapshot);

    EnginePublisherStats stats() const;

    struct Impl;

  private:
    explicit EnginePublisher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
