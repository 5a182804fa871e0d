// The messages between an engine and its trays in two processes: one pipe message each,
// versioned and bounded, readable by an engine written in any language (the layout is in
// docs/engine-link.md). Portable: no platform names, no clock read, no exceptions.
//
// Integers little-endian; a text is a 4-byte length, then that many bytes of UTF-8.
//   0  2 bytes  "ZT"
//   2  1 byte   version: the lowest that has the kind (1 for a snapshot and a heartbeat)
//   3  1 byte   kind
// Version 1, from the engine:
//   1 snapshot   4: flags (1 healthy, 2 degraded, 4 watchdogExpired, 8 recovering, 16 lastError
//                present, 32 pulse present; other bits 0); 5: the pulse's age when sent, in
//                milliseconds, 8 bytes signed (0 without a pulse; a negative age is read as 0);
//                13: statusText, phase, lastError, deviceStatus (lastError's length 0 when
//                absent)
//   2 heartbeat  nothing follows
// Version 2:
//   3 hello      4: the highest version the sender speaks. A tray that speaks 2 writes it first;
//                an engine that speaks 2 answers with its own, and only then sends that reader
//                version-2 kinds. A version-1 engine never answers: its trays send no commands.
//   4 actions    (engine) 4: a count; each: flags (1 enabled, 2 checked, 4 radio, 8 separator),
//                its depth (0 at the top; one deeper than an item without a command: in that
//                item's submenu), text, command, argument
//   5 command    (tray) 4: its id, 4 bytes; 8: the command's name, then its argument
//   6 answer     (engine) 4: the command's id; 8: 0 done, 1 refused; 9: the engine's text
// The whole message is at most kMaxWireBytes, and nothing follows its last field. A reader
// refuses a version above its own and a kind it does not know.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zentra/indicator.h"

namespace zentra {

inline constexpr std::size_t kMaxWireBytes = 64 * 1024;
// The highest version this side speaks.
inline constexpr unsigned kWireVersion = 2;
// Each text is cut to this many bytes, between whole characters, when it is sent.
inline constexpr std::size_t kMaxWireTextBytes = 16'000;
// A command's bounds: a name of 1 to 64 bytes and an argument of at most 4096 (longer ones are
// refused, never cut). An engine offers at most 40 actions, nested at most 4 deep, their texts
// cut to 256 bytes.
inline constexpr std::size_t kMaxCommandNameBytes = 64;
inline constexpr std::size_t kMaxCommandArgumentBytes = 4096;
inline constexpr std::size_t kMaxEngineActions = 40;
inline constexpr std::size_t kMaxActionDepth = 4;
inline constexpr std::size_t kMaxActionTextBytes = 256;

// What a tray asks of its engine: a name the engine knows ("connect") and its argument.
struct EngineCommand {
    std::string name;
    std::string argument;
};

// Why a command cannot be sent (a name empty or too long, an argument too long); null when it
// can.
const char* commandProblem(const EngineCommand& command);

// The engine's answer: done, or refused with its reason.
struct CommandAnswer {
    bool done = false;
    std::string text;
};

// What a tray learns of a command it sent: the engine's answer (Done, Refused with the
// engine's reason), or why it got none (Failed: "engine not running", "no answer from the engine
// in 10 s", "the engine does not take commands", ...).
enum class CommandOutcome { Done, Refused, Failed };
struct CommandResult {
    CommandOutcome outcome = CommandOutcome::Failed;
    std::string text;
};

// One item the engine offers the tray's menu: choosing it sends `command` with `argument`. An
// item without a command opens its submenu (or, with none, is only shown).
struct EngineAction {
    std::string text;  // shown as it is (no access keys)
    std::string command;
    std::string argument;
    bool enabled = true;
    bool checked = false;
    bool radio = false;
    bool separator = false;
    std::vector<EngineAction> submenu = {};
};
bool operator==(const EngineAction& a, const EngineAction& b);
inline bool operator!=(const EngineAction& a, const EngineAction& b) {
    return !(a == b);
}

enum class WireKind { Snapshot, Heartbeat, Hello, Actions, Command, Answer };

// `snapshot` as sent at `now`: its pulse as an age, since the two processes' clocks differ.
std::string encodeWireSnapshot(const Snapshot& snapshot, MonoTime now);
// "Still here, nothing changed".
std::string encodeWireHeartbeat();
// This side's hello: the versions it speaks.
std::string encodeWireHello();
// The actions as the engine offers them now: beyond kMaxEngineActions (counted in order, the
// submenus' items too) or kMaxActionDepth, left out; texts cut.
std::string encodeWireActions(const std::vector<EngineAction>& actions);
// A command (within its bounds: see commandProblem) and the engine's answer to command `id`.
std::string encodeWireCommand(std::uint32_t id, const EngineCommand& command);
std::string encodeWireAnswer(std::uint32_t id, const CommandAnswer& answer);

struct WireMessage {
    bool heartbeat = false;  // kind == Heartbeat
    Snapshot snapshot;       // a snapshot's, its pulse on the receiver's clock
    WireKind kind = WireKind::Snapshot;
    unsigned version = 0;               // a hello's
    std::vector<EngineAction> actions;  // Actions
    std::uint32_t id = 0;               // a command's or an answer's
    EngineCommand command;              // Command
    CommandAnswer answer;               // Answer
};

struct WireDecoded {
    std::optional<WireMessage> message;
    std::string problem;  // why not, when there is no message: "unknown version 2", ...
};

// A message received at `now` (the receiver's clock): a snapshot with its pulse `age` before
// `now`, or any other kind; or, for anything else, no message and the reason.
WireDecoded decodeWire(std::string_view bytes, MonoTime now);

}  // namespace zentra
