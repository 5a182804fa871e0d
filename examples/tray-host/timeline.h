// A simulated engine driven by a timeline of timed events, for the tray host example.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zentra/glyph.h"
#include "zentra/indicator.h"

namespace tray_host {

// One line of a timeline: "<ms since start> <event> [value]".
//   healthy | unhealthy          the engine's health
//   phase <name>                 the engine's phase ("idle", "triggered", ...)
//   error <text>                 an error text (the rest of the line); error-clear removes it
//   device <status>              the device status ("active", "missing", ...)
//   pulse                        a trigger pulse at that moment
//   freeze                       the engine hangs: it sends nothing more, heartbeats included
//   crash                        the engine ends at once (engine-sim: status 3)
//   end                          the host stops
struct Event {
    enum class Kind {
        Healthy,
        Unhealthy,
        Phase,
        Error,
        ErrorClear,
        Device,
        Pulse,
        Freeze,
        Crash,
        End
    };
    std::int64_t atMs = 0;
    Kind kind = Kind::End;
    std::string value;
    int line = 0;
};

struct Timeline {
    std::vector<Event> events;  // in time order
    std::int64_t endMs = 0;     // when the host stops
};

// The latest time a timeline may name: one day.
constexpr std::int64_t kMaxTimelineMs = std::int64_t{24} * 60 * 60 * 1000;

// Parses a timeline text, UTF-8 (a byte-order mark at its start is skipped; UTF-16 is refused). A
// '#' that starts a word begins a comment to the end of the line; blank lines are skipped; times
// must not go backwards nor pass kMaxTimelineMs. On a malformed line returns nothing and sets
// `error` to a message naming the line.
std::optional<Timeline> parseTimeline(std::string_view text, std::string& error);

// The timeline in the file at `path` (UTF-8), or, when `path` is null, kDefaultTimeline. On
// failure returns nothing and sets `error` to why.
std::optional<Timeline> readTimeline(const char* path, std::string& error);

// A command line's number of seconds ("15", "0.5"), above 0 and at most a day, to the
// millisecond; nothing when it is not one.
std::optional<std::chrono::milliseconds> parseSeconds(std::string_view text);

// The timeline the host runs when given none: armed, a pulse, the phase "triggered", an unusable
// device, an unhealthy engine, an error text, and armed again after each.
extern const char* const kDefaultTimeline;

// The engine as the events up to a moment have left it.
class SimulatedEngine {
  public:
    SimulatedEngine(const Timeline& timeline, zn::MonoTime start);

    // Applies every event due at or before `now`; returns false once the timeline has ended.
    bool advance(zn::MonoTime now);

    zn::TrayGlyph glyph(zn::MonoTime now) const {
        return zn::deriveTrayGlyph(health_, state_, pulse_, now);
    }

    zentra::Snapshot snapshot() const { return {health_, state_, pulse_}; }

  private:
    const Timeline& timeline_;
    zn::MonoTime start_;
    std::size_t next_ = 0;
    zn::EngineHealth health_{true, false, "", false, false};
    zn::EngineState state_{"idle", std::nullopt, "active"};
    zn::MonoTime pulse_{};
};

// "  1503 ms  triggered": a glyph change as the host prints it.
std::string changeLine(std::int64_t msSinceStart, zn::TrayGlyph glyph);

}  // namespace tray_host
