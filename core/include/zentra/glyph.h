// Engine status records and the choice of the tray glyph that shows them.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

namespace zentra {

// Values are fixed: the tray code picks icons by them and stores the last one applied.
enum class TrayGlyph : std::int32_t {
    Armed = 0,
    Triggered = 1,
    Error = 2,
};

struct EngineHealth {
    bool healthy = false;          // false forces the error glyph
    bool degraded = false;         // running with reduced capability
    std::string statusText;        // the engine's own one-line health summary
    bool watchdogExpired = false;  // the engine missed its last heartbeat
    bool recovering = false;       // the engine is restarting after a fault
};

struct EngineState {
    std::string phase;                     // only "triggered" matters for the glyph
    std::optional<std::string> lastError;  // present and non-empty means an error
    std::string deviceStatus;              // "missing" / "permission_denied" are unusable
};

// Monotonic time: steady-clock nanosecond ticks; tick 0 means "no pulse recorded".
using MonoTime = std::chrono::steady_clock::time_point;
static_assert(std::is_same_v<MonoTime::duration, std::chrono::nanoseconds>,
              "the hold window is defined on nanosecond ticks of a signed 64-bit count");
static_assert(sizeof(MonoTime::rep) == 8, "monotonic ticks are 64-bit");

// How long after a pulse the glyph stays Triggered.
inline constexpr std::chrono::milliseconds kTriggerHold{300};

// Pure: no clock read, no allocation, no side effects. Rules in order, first match wins:
// unhealthy, a non-empty error text, device "missing" or "permission_denied" -> Error;
// phase "triggered" -> Triggered; no pulse -> Armed; pulse less than kTriggerHold before
// `now` (or after it) -> Triggered; otherwise Armed.
TrayGlyph deriveTrayGlyph(const EngineHealth& health, const EngineState& state, MonoTime pulse,
                          MonoTime now) noexcept;

// The earliest time after `now` at which deriveTrayGlyph, given the same records and pulse,
// differs from its value at `now`; empty when no later time changes it. Only the hold window
// ends by time alone, so this is pulse + kTriggerHold while the glyph is Triggered by the pulse,
// and empty otherwise (Error, the phase "triggered", no pulse, a pulse past its window, or a window
// ending beyond the largest tick count). Pure, exact for every pair of tick counts, no allocation.
std::optional<MonoTime> nextGlyphChange(const EngineHealth& health, const EngineState& state,
                                        MonoTime pulse, MonoTime now) noexcept;

}  // namespace zentra

// Short name used throughout the tray code and in the self-check's report texts.
namespace zn = zentra;
