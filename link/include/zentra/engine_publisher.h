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
// Trays that speak the wire's version 2 may send commands (EnginePublisherOptions::onCommand)
// and read the actions the engine offers (offer()); a version-1 tray reads snapshots as before.
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
#include <vector>

#include "zentra/indicator.h"
#include "zentra/wire.h"

namespace zentra {

// Who sent a command, as Windows tells it for the pipe's client.
struct CommandSender {
    std::string user;     // "DOMAIN\\name"; empty when it cannot be told
    std::string userSid;  // "S-1-5-21-..."; empty when it cannot be told
    std::uint32_t session = 0;
    std::uint32_t process = 0;
};

// The engine's answer to one command: done() or refuse(), once, from any thread, now or later.
// Destroyed unanswered, the command is refused with "the engine did not answer". An answer for a
// tray that has gone, or after the publisher ended, goes nowhere.
class CommandReply {
  public:
    struct Channel;
    CommandReply(std::shared_ptr<Channel> channel, std::uint64_t reader, std::uint32_t id);
    CommandReply(CommandReply&& other) noexcept;
    CommandReply& operator=(CommandReply&& other) noexcept;
    CommandReply(const CommandReply&) = delete;
    CommandReply& operator=(const CommandReply&) = delete;
    ~CommandReply();

    void done(std::string text = {});
    void refuse(std::string reason);

  private:
    void answer(bool done, std::string text);
    std::shared_ptr<Channel> channel_;
    std::uint64_t reader_ = 0;
    std::uint32_t id_ = 0;
};

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
    // The trays' commands: called on the publisher's thread with each command, who sent it and
    // the reply to give, now or later from any thread. Return quickly (hand long work, with the
    // reply, to a thread of the engine's); the snapshots wait meanwhile. Unset: every command is
    // refused with "the engine does not take commands".
    std::function<void(const EngineCommand& command, const CommandSender& from, CommandReply reply)>
        onCommand;
    // Commands one tray may have waiting for their answers; more are refused at once with "too
    // many commands waiting", and onCommand does not see them.
    unsigned maxWaitingCommands = 8;
};

struct EnginePublisherStats {
    std::uint64_t readersConnected = 0;  // readers that connected, in all
    std::uint64_t readersDropped = 0;    // disconnected for not taking their data
    std::uint64_t snapshotsWritten = 0;  // snapshot messages written, to all readers
    std::uint64_t heartbeatsWritten = 0;
    std::uint64_t wakeups = 0;          // times the publisher's thread woke
    unsigned readers = 0;               // readers connected now
    std::uint64_t commands = 0;         // commands handed to onCommand
    std::uint64_t commandsRefused = 0;  // refused at once: too many waiting, or no onCommand
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
    // From any thread: the actions the engine offers the trays' menus now (Connect, or
    // Disconnect, ...), sent to each tray that reads them when it connects and after each change.
    void offer(std::vector<EngineAction> actions);

    EnginePublisherStats stats() const;

    struct Impl;

  private:
    explicit EnginePublisher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
