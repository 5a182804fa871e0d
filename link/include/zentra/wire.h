// The engine's snapshots on the wire between two processes: one message each, versioned and
// bounded, readable by an engine written in any language (the layout is in docs/engine-link.md).
// Portable: no platform names, no clock read, no exceptions.
//
// Version 1, integers little-endian:
//   0  2 bytes  "ZT"
//   2  1 byte   version: 1
//   3  1 byte   kind: 1 snapshot, 2 heartbeat (nothing follows a heartbeat)
//   snapshot:
//   4  1 byte   flags: 1 healthy, 2 degraded, 4 watchdogExpired, 8 recovering,
//               16 lastError present, 32 pulse present; other bits 0
//   5  8 bytes  the pulse's age when sent, in milliseconds (signed; 0 without a pulse; a
//               negative age is read as 0)
//   13          statusText, phase, lastError, deviceStatus: each a 4-byte length, then that
//               many bytes of UTF-8 (lastError's length 0 when absent)
// The whole message is at most kMaxWireBytes, and nothing follows the last text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "zentra/indicator.h"

namespace zentra {

inline constexpr std::size_t kMaxWireBytes = 64 * 1024;
inline constexpr unsigned kWireVersion = 1;
// Each text is cut to this many bytes, between whole characters, when it is sent.
inline constexpr std::size_t kMaxWireTextBytes = 16'000;

// `snapshot` as sent at `now`: its pulse as an age, since the two processes' clocks differ.
std::string encodeWireSnapshot(const Snapshot& snapshot, MonoTime now);
// "Still here, nothing changed".
std::string encodeWireHeartbeat();

struct WireMessage {
    bool heartbeat = false;
    Snapshot snapshot;  // a snapshot's, its pulse on the receiver's clock
};

struct WireDecoded {
    std::optional<WireMessage> message;
    std::string problem;  // why not, when there is no message: "unknown version 2", ...
};

// A message received at `now` (the receiver's clock): the snapshot with its pulse `age` before
// `now`, or a heartbeat; or, for anything else, no message and the reason.
WireDecoded decodeWire(std::string_view bytes, MonoTime now);

}  // namespace zentra
