#include "zentra/glyph.h"

#include <limits>
#include <string_view>

namespace zentra {
namespace {

// True when `pulse` lies strictly less than kTriggerHold before `now`, or at or after it.
// Works for every pair of 64-bit tick counts: the difference is only formed once it is known
// to be positive, and then in unsigned arithmetic, where it is exact and cannot overflow.
constexpr MonoTime::rep kHoldTicks =
    std::chrono::duration_cast<std::chrono::nanoseconds>(kTriggerHold).count();

bool withinHold(MonoTime::rep pulseTicks, MonoTime::rep nowTicks) noexcept {
    if (pulseTicks >= nowTicks) {
        return true;
    }
    const auto elapsed =
        static_cast<std::uint64_t>(nowTicks) - static_cast<std::uint64_t>(pulseTicks);
    return elapsed < static_cast<std::uint64_t>(kHoldTicks);
}

}  // namespace

TrayGlyph deriveTrayGlyph(const EngineHealth& health, const EngineState& state, MonoTime pulse,
                          MonoTime now) noexcept {
    // string_view comparisons are exact (length and bytes) and never allocate.
    const std::string_view device = state.deviceStatus;
    if (!health.healthy) {
        return TrayGlyph::Error;
    }
    if (state.lastError.has_value() && !state.lastError->empty()) {
        return TrayGlyph::Error;
    }
    if (device == "missing" || device == "permission_denied") {
        return TrayGlyph::Error;
    }
    if (std::string_view(state.phase) == "triggered") {
        return TrayGlyph::Triggered;
    }
    const auto pulseTicks = pulse.time_since_epoch().count();
    if (pulseTicks == 0) {
        return TrayGlyph::Armed;
    }
    if (withinHold(pulseTicks, now.time_since_epoch().count())) {
        return TrayGlyph::Triggered;
    }
    return TrayGlyph::Armed;
}

std::optional<MonoTime> nextGlyphChange(const EngineHealth& health, const EngineState& state,
                                        MonoTime pulse, MonoTime now) noexcept {
    // Only a Triggered glyph that the phase does not hold can end by time alone; the rules before
    // the pulse test do not depend on time.
    if (deriveTrayGlyph(health, state, pulse, now) != TrayGlyph::Triggered ||
        std::string_view(state.phase) == "triggered") {
        return std::nullopt;
    }
    // Triggered by the pulse: Armed from exactly pulse + kTriggerHold on, which lies after `now`.
    const auto pulseTicks = pulse.time_since_epoch().count();
    if (pulseTicks > std::numeric_limits<MonoTime::rep>::max() - kHoldTicks) {
        return std::nullopt;  // the window outlasts every representable time
    }
    return MonoTime(MonoTime::duration(pulseTicks + kHoldTicks));
}

}  // namespace zentra
