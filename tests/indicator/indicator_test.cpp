// The indicator controller driven by a fake platform and a fake clock: random event sequences
// checked against deriveTrayGlyph and nextGlyphChange, the named scenarios, and tooltip cutting.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "zentra/indicator.h"

namespace {

using zentra::Indicator;
using zentra::IndicatorActions;
using zentra::Snapshot;
using zn::MonoTime;
using zn::TrayGlyph;
using Ticks = MonoTime::rep;
using namespace std::chrono_literals;

constexpr Ticks kMax = std::numeric_limits<Ticks>::max();
constexpr Ticks kMin = std::numeric_limits<Ticks>::min();

MonoTime at(Ticks ticks) {
    return MonoTime(MonoTime::duration(ticks));
}

// `t` moved by `d` nanoseconds, held inside the tick range.
Ticks moved(Ticks t, Ticks d) {
    if (d > 0 && t > kMax - d) {
        return kMax;
    }
    if (d < 0 && t < kMin - d) {
        return kMin;
    }
    return t + d;
}

// What the shell shows and the one timer, as the platform side keeps them.
struct FakePlatform {
    bool added = false;
    zentra::IconContent onScreen;
    std::optional<MonoTime> timer;
    bool addWorks = true;
    int adds = 0;

    void apply(Indicator& indicator, const IndicatorActions& a, MonoTime now) {
        ASSERT_FALSE(a.cancelTimer && a.armTimerAt.has_value());
        if (a.showGlyph && added) {
            onScreen.glyph = *a.showGlyph;
        }
        if (a.setTooltip && added) {
            onScreen.tooltip = *a.setTooltip;
        }
        if (a.cancelTimer) {
            timer.reset();
        }
        if (a.armTimerAt) {
            // Only at the very end of the tick range can a retry not lie after now.
            ASSERT_TRUE(*a.armTimerAt > now || *a.armTimerAt == MonoTime::max());
            timer = a.armTimerAt;
        }
        if (a.addIcon) {
            ++adds;
            if (addWorks) {
                added = true;
                onScreen = *a.addIcon;
            }
            apply(indicator, indicator.onAddResult(addWorks, now), now);
        }
    }
};

Snapshot randomSnapshot(std::mt19937_64& rng, Ticks now) {
    const char* phases[] = {"idle", "triggered", "cooldown"};
    const char* devices[] = {"active", "active", "missing", "permission_denied"};
    Snapshot s;
    s.health.healthy = rng() % 6 != 0;
    s.health.statusText = rng() % 3 == 0 ? "warm" : "";
    s.state.phase = phases[rng() % 3];
    s.state.deviceStatus = devices[rng() % 4];
    if (rng() % 8 == 0) {
        s.state.lastError = rng() % 2 == 0 ? "" : "usb reset";
    }
    const Ticks pulses[] = {0, kMin, kMax, moved(now, -static_cast<Ticks>(rng() % 400'000'000)),
                            moved(now, static_cast<Ticks>(rng() % 10'000'000))};
    s.pulse = at(pulses[rng() % 5]);
    return s;
}

// Random events with a fake clock from several starting times, extreme ones included: after every
// step the shell shows deriveTrayGlyph of the latest snapshot at that time, with its tooltip, and
// the one pending timer is exactly the next glyph change (or, before the icon is in, a retry).
TEST(IndicatorProperty, ShownGlyphAndTimerFollowTheDerivation) {
    std::mt19937_64 rng(8122026);
    const Ticks starts[] = {1'000'000'000'000, 0, kMax - 60'000'000'000, kMin + 1, -5'000'000'000};
    int steps = 0;
    int timerFires = 0;
    for (const Ticks start : starts) {
        Indicator indicator;
        FakePlatform shell;
        Ticks now = start;
        Snapshot latest = randomSnapshot(rng, now);
        shell.apply(indicator, indicator.onSnapshot(latest, at(now)), at(now));
        for (int i = 0; i < 30'000; ++i, ++steps) {
            shell.addWorks = rng() % 5 != 0;
            const auto kind = rng() % 20;
            if (kind < 7) {
                const bool same = rng() % 4 == 0;
                const Snapshot next = same ? latest : randomSnapshot(rng, now);
                const IndicatorActions a = indicator.onSnapshot(next, at(now));
                if (next == latest) {
                    ASSERT_FALSE(a.any()) << "an identical snapshot must do nothing";
                }
                latest = next;
                shell.apply(indicator, a, at(now));
            } else if (kind < 16) {
                // Time passes; a due timer fires at its moment, never later.
                const Ticks target = moved(now, static_cast<Ticks>(rng() % 700'000'000));
                if (shell.timer && shell.timer->time_since_epoch().count() <= target) {
                    now = shell.timer->time_since_epoch().count();
                    shell.timer.reset();
                    ++timerFires;
                    shell.apply(indicator, indicator.onTimer(at(now)), at(now));
                } else {
                    now = target;
                }
            } else if (kind < 18) {
                shell.added = shell.added && rng() % 2 == 0;  // the new shell may have lost it
                shell.apply(indicator, indicator.onShellRecreated(at(now)), at(now));
            } else {
                const int sizes[] = {16, 20, 24, 32};
                shell.apply(indicator, indicator.onIconSizeChanged(sizes[rng() % 4], at(now)),
                            at(now));
            }
            ASSERT_EQ(shell.timer, indicator.pendingTimer());
            if (indicator.iconAdded()) {
                ASSERT_TRUE(shell.added);
                const TrayGlyph glyph =
                    zn::deriveTrayGlyph(latest.health, latest.state, latest.pulse, at(now));
                ASSERT_EQ(shell.onScreen.glyph, glyph) << "step " << steps;
                ASSERT_EQ(shell.onScreen.tooltip, zentra::trayTooltip(latest, glyph));
                ASSERT_EQ(shell.timer,
                          zn::nextGlyphChange(latest.health, latest.state, latest.pulse, at(now)));
            } else {
                ASSERT_TRUE(shell.timer.has_value()) << "a failed add is always retried";
                ASSERT_LE(*shell.timer, at(moved(now, 30'000'000'000)));
                ASSERT_GE(*shell.timer, at(now));
            }
        }
    }
    EXPECT_GE(steps, 100'000);
    EXPECT_GT(timerFires, 1'000);
}

// The actions of one event, written out with times in ms after the scenario's start.
std::string describe(const IndicatorActions& a, MonoTime start) {
    const auto ms = [start](MonoTime t) { return std::to_string((t - start) / 1ms); };
    const char* names[] = {"armed", "triggered", "error"};
    std::string out;
    if (a.addIcon) {
        out += std::string("add ") + names[static_cast<int>(a.addIcon->glyph)] + " ";
    }
    if (a.showGlyph) {
        out += std::string("show ") + names[static_cast<int>(*a.showGlyph)] + " ";
    }
    if (a.setTooltip) {
        out += "tip ";
    }
    if (a.cancelTimer) {
        out += "cancel ";
    }
    if (a.armTimerAt) {
        out += (a.timerIsAddRetry ? "retry@" : "timer@") + ms(*a.armTimerAt) + " ";
    }
    return out.empty() ? "-" : out.substr(0, out.size() - 1);
}

TEST(IndicatorScenarios, NamedScenarios) {
    enum Kind { Engine, Pulse, Fault, Clear, Timer, AddOk, AddFails, Recreated };
    struct Step {
        Kind kind;
        int ms;
        const char* expected;
    };
    struct Scenario {
        const char* name;
        std::vector<Step> steps;
    };
    const Scenario scenarios[] = {
        {"a pulse",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "-"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Timer, 1300, "show armed tip"}}},
        {"a pulse inside the hold window",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "-"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Pulse, 1200, "timer@1500"},
          {Timer, 1300, "timer@1500"},
          {Timer, 1500, "show armed tip"}}},
        {"an error during the hold",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "-"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Fault, 1100, "show error tip cancel"},
          {Clear, 2000, "show armed tip"}}},
        {"add fails three times then works",
         {{Engine, 0, "add armed"},
          {AddFails, 0, "retry@1000"},
          {Timer, 1000, "add armed"},
          {AddFails, 1000, "retry@3000"},
          {Timer, 3000, "add armed"},
          {AddFails, 3000, "retry@7000"},
          {Pulse, 7000, "-"},
          {Timer, 7000, "add triggered"},
          {AddOk, 7000, "timer@7300"},
          {Timer, 7300, "show armed tip"}}},
        {"a re-creation during the hold",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "-"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Recreated, 1100, "add triggered cancel"},
          {AddOk, 1100, "timer@1300"},
          {Timer, 1300, "show armed tip"}}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const MonoTime start = at(5'000'000'000'000);
        Indicator indicator;
        Snapshot snapshot;
        snapshot.health.healthy = true;
        snapshot.state = {"idle", std::nullopt, "active"};
        for (const Step& step : scenario.steps) {
            const MonoTime now = start + std::chrono::milliseconds(step.ms);
            IndicatorActions a;
            switch (step.kind) {
                case Pulse:
                    snapshot.pulse = now;
                    [[fallthrough]];
                case Engine:
                    a = indicator.onSnapshot(snapshot, now);
                    break;
                case Fault:
                    snapshot.state.lastError = "usb reset";
                    a = indicator.onSnapshot(snapshot, now);
                    break;
                case Clear:
                    snapshot.state.lastError.reset();
                    a = indicator.onSnapshot(snapshot, now);
                    break;
                case Timer:
                    a = indicator.onTimer(now);
                    break;
                case AddOk:
                case AddFails:
                    a = indicator.onAddResult(step.kind == AddOk, now);
                    break;
                case Recreated:
                    a = indicator.onShellRecreated(now);
                    break;
            }
            EXPECT_EQ(describe(a, start), step.expected) << "at " << step.ms << " ms";
        }
    }
}

TEST(IndicatorTooltip, CutBetweenWholeCharacters) {
    const std::u16string ellipsis = u"\u2026";
    const std::string emoji = "\xF0\x9F\x94\x94";  // U+1F514: two UTF-16 units
    const struct {
        const char* name;
        std::string text;
        std::u16string expected;
    } cases[] = {
        {"plain", "Armed - ok", u"Armed - ok"},
        {"exactly the limit", std::string(127, 'a'), std::u16string(127, u'a')},
        {"one over", std::string(128, 'a'), std::u16string(126, u'a') + ellipsis},
        {"emoji fits at the end", std::string(125, 'a') + emoji,
         std::u16string(125, u'a') + u"\U0001F514"},
        {"emoji across the limit", std::string(126, 'a') + emoji + "b",
         std::u16string(126, u'a') + ellipsis},
        {"emoji kept before the mark", std::string(124, 'a') + emoji + "bb",
         std::u16string(124, u'a') + u"\U0001F514" + ellipsis},
        {"pair never split for the mark", std::string(125, 'a') + emoji + "b",
         std::u16string(125, u'a') + ellipsis},
        {"invalid bytes",
         "a\xFF"
         "b\xC3(\xE2\x82",
         u"a\uFFFDb\uFFFD(\uFFFD\uFFFD"},
        {"overlong and surrogate", "\xC0\xAF\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"controls become blanks",
         "a\tb\nc\x7F"
         "d\xC2\x85",
         u"a b c d "},
        {"4-byte sequences", emoji + emoji, u"\U0001F514\U0001F514"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zentra::tooltipText(c.text), c.expected) << c.name;
    }
    // A 10,000-byte status of 4-byte characters: whole pairs only, the last unit the mark.
    Snapshot s;
    s.health.healthy = true;
    std::string status;
    while (status.size() < 10'000) {
        status += emoji;
    }
    s.health.statusText = status;
    const std::u16string tip = zentra::trayTooltip(s, TrayGlyph::Armed);
    ASSERT_LE(tip.size(), zentra::kMaxTooltipUnits);
    EXPECT_EQ(tip.substr(0, 8), u"Armed - ");
    EXPECT_EQ(tip.back(), u'\u2026');
    EXPECT_TRUE(tip[tip.size() - 2] >= 0xDC00 && tip[tip.size() - 2] <= 0xDFFF)
        << "cut inside a pair";
    s.health.healthy = false;
    s.state.lastError = "usb reset";
    EXPECT_EQ(zentra::trayTooltip(s, TrayGlyph::Error).substr(0, 27),
              u"Error: engine not healthy -");
}

}  // namespace
