// The commands a tray has sent to its engine and not yet heard of. Each ends once: with the
// engine's answer, at its deadline, or with the link's own failure. Portable: the link's thread
// drives it, and delivers what ends outside its lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "zentra/wire.h"

namespace zentra::link {

// Why a command the engine could not take failed.
inline constexpr const char* kNoCommands = "the engine does not take commands";

// "no answer from the engine in 10 s" (0.5 s, ...).
std::string noAnswerWithin(std::chrono::milliseconds timeout);

class CommandBook {
  public:
    using Done = std::function<void(const CommandResult&)>;
    // A command that has ended, with the function to tell it to.
    struct Ending {
        Done done;
        CommandResult result;
    };
    struct Outgoing {
        std::uint32_t id = 0;
        EngineCommand command;
    };

    // A command asked for at `now`, to end by `now + timeout`. One that cannot be sent
    // (commandProblem) ends at the next takeOutgoing or failAll with that problem.
    void add(EngineCommand command, std::chrono::milliseconds timeout, MonoTime now, Done done);
    // The engine takes commands: those not yet written, to write now (each once). Those that
    // cannot be sent are in `ended`.
    std::vector<Outgoing> takeOutgoing(std::vector<Ending>& ended);
    // The engine's answer to `id`; an id not waiting (late, or never sent) ends nothing.
    std::vector<Ending> answered(std::uint32_t id, const CommandAnswer& answer);
    // Every command still waiting, written or not, fails with `reason`.
    std::vector<Ending> failAll(const std::string& reason);
    // Those whose deadline has come by `now`.
    std::vector<Ending> expire(MonoTime now);
    std::optional<MonoTime> nextDeadline() const;
    bool empty() const { return waiting_.empty(); }

  private:
    struct Entry {
        EngineCommand command;
        MonoTime deadline;
        std::chrono::milliseconds timeout;
        Done done;
        bool written = false;
    };
    std::map<std::uint32_t, Entry> waiting_;
    std::uint32_t nextId_ = 1;
};

}  // namespace zentra::link
