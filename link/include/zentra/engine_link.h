// The tray's side of the link to an engine in another process (Windows): it follows the engine
// that an EnginePublisher of the same name runs, and hands each snapshot it reads to the
// application, usually straight to its TrayHost:
//
//   auto link = zentra::EngineLink::create(L"mysync", [&host](const zentra::Snapshot& s) {
//       host->post(s);
//   });
//
// The link never lets the tray show a state the engine is not known to be in:
// - A tray that follows an engine starts with engineNotKnownYet(): no glyph's word, no error, no
//   notification. The link tries to reach the engine quietly for `firstWordWithin`; only then
//   does it tell the engine's absence.
// - While there is no engine, or once the pipe breaks (the engine ended or crashed), it delivers
//   engineDown: the error glyph with "engine not running" (or the Windows error, named), the
//   link's own word, which a silence deadline does not replace.
// - It connects again the moment the engine listens again: the engine sets a named event then,
//   which the link waits for; and it tries again after a back-off (250 ms, doubling up to 5 s)
//   in case the event cannot be shared. While every instance of the pipe is busy (many trays at
//   once), it waits for one rather than telling the engine's absence.
// - A message it cannot read (garbage, more than 64 KiB, an unknown version) is refused: it
//   delivers the reason as an error, disconnects, and connects again after its back-off (the
//   engine's listening event stays set while it runs, so it cannot say the engine changed). One
//   warning for a run of refusals; a message read ends the run.
// - A heartbeat delivers the last snapshot again, which a TrayHost counts as word from the
//   engine: with the host's silenceDeadline set (a few heartbeat intervals), an engine that hangs
//   with its pipe open is shown as silent.
//
// `deliver` is called on the link's own thread; TrayHost::post may be called from there. An
// exception it throws stops at the link: logged as an error, and the link goes on.
// Destroying the link stops its thread first: destroy it before the host it posts to.
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

// What the link delivers while it cannot reach the engine, with the reason it shows: the error
// glyph and the tooltip "Error: <reason>".
Snapshot engineDown(const std::string& reason);
// What a tray that follows an engine starts with (TrayHost::create's first snapshot): the armed
// glyph, the tooltip TrayTexts::notKnownYet ("connecting to the engine"), no notification.
Snapshot engineNotKnownYet();

struct EngineLinkOptions {
    // As the engine's EnginePublisherOptions::perSession.
    bool perSession = true;
    // Not empty: the engine is the Windows service of this name, which publishes for every
    // session (perSession is then false). The link takes the pipe only from the service's own
    // process: another program that serves it is refused, with the error "the engine's pipe is
    // served by another program" (warned once). While the service does not publish, the
    // tooltip says what the Service Control Manager says: "the MySync service is stopped",
    // "... is starting", "... is stopping", "... is disabled", "... is not installed".
    std::wstring service;
    // For this long after create(), the link does not tell that it cannot reach the engine: it
    // tries again quietly (the engine may be starting, or busy with other trays). 0: told at once.
    std::chrono::milliseconds firstWordWithin{2000};
    // The actions the engine offers now (EnginePublisher::offer), on the link's thread, when
    // they change; an empty list once the link loses the engine (its items go with it).
    std::function<void(const std::vector<EngineAction>& actions)> onActions;
};

struct EngineLinkStats {
    std::uint64_t connects = 0;    // times it connected to the engine
    std::uint64_t snapshots = 0;   // snapshots read
    std::uint64_t heartbeats = 0;  // heartbeats read
    std::uint64_t refused = 0;     // messages refused
    std::uint64_t downs = 0;       // times it delivered the engine as not reachable
};

class EngineLink {
  public:
    // Null, with a warning logged, when `name` cannot name an engine or the link's thread cannot
    // start. Otherwise it starts following the engine at once; the first delivery may come before
    // create() returns.
    static std::unique_ptr<EngineLink> create(const std::wstring& name,
                                              std::function<void(const Snapshot&)> deliver,
                                              const EngineLinkOptions& options = {});
    ~EngineLink();
    EngineLink(const EngineLink&) = delete;
    EngineLink& operator=(const EngineLink&) = delete;

    // From any thread: sends `command` to the engine. `done` gets, once, on the link's thread
    // (hand it to the UI thread with TrayHost::call), the engine's answer, or the link's own
    // failure: the engine's absence at once once told ("engine not running", "the MySync service
    // is stopped"), "no answer from the engine in 10 s" at `timeout`, "the engine does not take
    // commands" (a version-1 engine, or one whose access list lets this user only read), or the
    // command's own problem (commandProblem). A command asked for while the link is still
    // connecting waits for it. Destroying the link fails those still waiting ("the tray's link
    // to the engine was closed").
    void send(EngineCommand command, std::function<void(const CommandResult&)> done,
              std::chrono::milliseconds timeout = std::chrono::seconds(10));

    EngineLinkStats stats() const;

    struct Impl;

  private:
    explicit EngineLink(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
