// A simulated day of engine activity through the indicator controller, beside the same day under
// 20 ms polling (derive and apply on every tick). Counters, per day:
//   engine_events   snapshots the engine hands over (each wakes the UI thread once)
//   timer_wakeups   the controller's timer firing
//   idle_wakeups    timer firings that changed nothing on screen (the goal is 0)
//   derive_calls    deriveTrayGlyph calls
//   shell_calls     Shell_NotifyIconW calls (an icon and tooltip change together is one call)
//   glyph_changes   changes of the glyph on screen
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "zentra/indicator.h"

namespace {

using namespace std::chrono_literals;
using zentra::Indicator;
using zentra::IndicatorActions;
using zentra::Snapshot;
using zn::MonoTime;
using zn::TrayGlyph;

struct EngineEvent {
    std::chrono::milliseconds at;
    enum Kind { Pulse, Phase, Device, Error, ErrorClear } kind;
    const char* value = "";
};

// A pulse every 3 minutes, the phase "cooldown" for 5 minutes every 10, "triggered" for a minute
// every hour, an hour of a missing device, and an error cleared after 5 minutes.
std::vector<EngineEvent> dayOfEvents() {
    std::vector<EngineEvent> events;
    for (auto t = 0min; t < 24h; t += 3min) {
        events.push_back({t + 17s, EngineEvent::Pulse});
    }
    for (auto t = 0min; t < 24h; t += 10min) {
        events.push_back({t + 2min, EngineEvent::Phase, "cooldown"});
        events.push_back({t + 7min, EngineEvent::Phase, "idle"});
    }
    for (auto t = 0min; t < 24h; t += 1h) {
        events.push_back({t + 30min + 30s, EngineEvent::Phase, "triggered"});
        events.push_back({t + 31min + 30s, EngineEvent::Phase, "idle"});
    }
    events.push_back({8h + 45s, EngineEvent::Device, "missing"});
    events.push_back({9h + 45s, EngineEvent::Device, "active"});
    events.push_back({14h + 50s, EngineEvent::Error, "usb reset"});
    events.push_back({14h + 5min + 50s, EngineEvent::ErrorClear});
    std::stable_sort(events.begin(), events.end(),
                     [](const EngineEvent& a, const EngineEvent& b) { return a.at < b.at; });
    return events;
}

void applyEvent(Snapshot& s, const EngineEvent& e, MonoTime when) {
    switch (e.kind) {
        case EngineEvent::Pulse:
            s.pulse = when;
            break;
        case EngineEvent::Phase:
            s.state.phase = e.value;
            break;
        case EngineEvent::Device:
            s.state.deviceStatus = e.value;
            break;
        case EngineEvent::Error:
            s.state.lastError = e.value;
            break;
        case EngineEvent::ErrorClear:
            s.state.lastError.reset();
            break;
    }
}

Snapshot startOfDay() {
    Snapshot s;
    s.health.healthy = true;
    s.state = {"idle", std::nullopt, "active"};
    return s;
}

const MonoTime kStart = MonoTime(10min);

struct DayCounts {
    double events = 0, timerWakeups = 0, idleWakeups = 0, derives = 0, shellCalls = 0, changes = 0;
};

void report(benchmark::State& state, const DayCounts& c) {
    state.counters["engine_events"] = c.events;
    state.counters["timer_wakeups"] = c.timerWakeups;
    state.counters["idle_wakeups"] = c.idleWakeups;
    state.counters["derive_calls"] = c.derives;
    state.counters["shell_calls"] = c.shellCalls;
    state.counters["glyph_changes"] = c.changes;
}

// The platform side of the controller: one shell call per action that touches the icon.
struct Platform {
    DayCounts counts;
    std::optional<MonoTime> timer;
    TrayGlyph onScreen = TrayGlyph::Armed;

    // Returns whether the screen changed.
    bool apply(Indicator& indicator, const IndicatorActions& a, MonoTime now) {
        bool changed = false;
        if (a.addIcon || a.showGlyph || a.setTooltip) {
            ++counts.shellCalls;
            changed = true;
        }
        const std::optional<TrayGlyph> glyph = a.addIcon ? a.addIcon->glyph : a.showGlyph;
        if (glyph && *glyph != onScreen) {
            ++counts.changes;
            onScreen = *glyph;
        }
        if (a.cancelTimer) {
            timer.reset();
        }
        if (a.armTimerAt) {
            timer = a.armTimerAt;
        }
        if (a.addIcon) {
            apply(indicator, indicator.onAddResult(true, now), now);
        }
        return changed;
    }
};

void BM_IndicatorDay(benchmark::State& state) {
    const std::vector<EngineEvent> events = dayOfEvents();
    for (auto _ : state) {
        Indicator indicator;
        Platform platform;
        Snapshot snapshot = startOfDay();
        platform.apply(indicator, indicator.onSnapshot(snapshot, kStart), kStart);
        // Fires the timer whenever it is due before `until`, at its own moment.
        const auto runTimerUntil = [&](MonoTime until) {
            while (platform.timer && *platform.timer < until) {
                const MonoTime fired = *platform.timer;
                platform.timer.reset();
                ++platform.counts.timerWakeups;
                if (!platform.apply(indicator, indicator.onTimer(fired), fired)) {
                    ++platform.counts.idleWakeups;
                }
            }
        };
        for (const EngineEvent& e : events) {
            const MonoTime when = kStart + e.at;
            runTimerUntil(when + 1ns);
            applyEvent(snapshot, e, when);
            ++platform.counts.events;
            platform.apply(indicator, indicator.onSnapshot(snapshot, when), when);
        }
        runTimerUntil(kStart + 24h);
        platform.counts.derives = static_cast<double>(indicator.deriveCalls());
        report(state, platform.counts);
    }
}
BENCHMARK(BM_IndicatorDay)->Unit(benchmark::kMillisecond);

// The same day with a 20 ms timer that derives and applies (a shell call only on a change).
void BM_PollingDay(benchmark::State& state) {
    const std::vector<EngineEvent> events = dayOfEvents();
    for (auto _ : state) {
        DayCounts counts;
        Snapshot snapshot = startOfDay();
        TrayGlyph onScreen = TrayGlyph::Armed;
        std::size_t next = 0;
        for (auto t = 0ms; t < 24h; t += 20ms) {
            const MonoTime now = kStart + t;
            for (; next < events.size() && events[next].at <= t; ++next) {
                applyEvent(snapshot, events[next], kStart + events[next].at);
                ++counts.events;
            }
            ++counts.timerWakeups;
            ++counts.derives;
            const TrayGlyph glyph =
                zn::deriveTrayGlyph(snapshot.health, snapshot.state, snapshot.pulse, now);
            if (glyph != onScreen) {
                ++counts.shellCalls;
                ++counts.changes;
                onScreen = glyph;
            } else {
                ++counts.idleWakeups;
            }
        }
        report(state, counts);
    }
}
BENCHMARK(BM_PollingDay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
