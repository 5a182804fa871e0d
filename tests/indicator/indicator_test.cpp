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

    std::optional<TrayGlyph> announced;
    bool updateWorks = true;

    void apply(Indicator& indicator, const IndicatorActions& a, MonoTime now) {
        ASSERT_FALSE(a.cancelTimer && a.armTimerAt.has_value());
        ASSERT_FALSE(a.addIcon && a.updatesIcon());
        if (a.announceGlyph) {
            ASSERT_TRUE(added);
            ASSERT_EQ(*a.announceGlyph, onScreen.glyph) << "announced what the shell does not show";
            ASSERT_NE(a.announceGlyph, announced) << "announced twice";
            announced = a.announceGlyph;
        }
        if (a.cancelTimer) {
            timer.reset();
        }
        if (a.armTimerAt) {
            // Only at the very end of the tick range can a retry not lie after now.
            ASSERT_TRUE(*a.armTimerAt > now || *a.armTimerAt == MonoTime::max());
            timer = a.armTimerAt;
        }
        if (a.updatesIcon()) {
            const bool works = added && updateWorks;
            if (works) {
                onScreen.glyph = a.showGlyph.value_or(onScreen.glyph);
                onScreen.tooltip = a.setTooltip.value_or(onScreen.tooltip);
            }
            apply(indicator, indicator.onUpdateResult(works, now), now);
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
    if (rng() % 8 == 0) {  // the link's own word: no silence deadline
        s.source = rng() % 2 == 0 ? zn::SnapshotSource::Link : zn::SnapshotSource::NotKnownYet;
    }
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
    int silences = 0;
    // Without a silence deadline, and with one shorter than the longest pause between events.
    for (const auto deadline : {0ms, 450ms})
        for (const Ticks start : starts) {
            Indicator indicator(zentra::IndicatorOptions{deadline, {}});
            FakePlatform shell;
            Ticks now = start;
            Ticks heard = now;
            Snapshot latest = randomSnapshot(rng, now);
            shell.apply(indicator, indicator.onSnapshot(latest, at(now)), at(now));
            for (int i = 0; i < 30'000; ++i, ++steps) {
                shell.addWorks = rng() % 5 != 0;
                shell.updateWorks = rng() % 7 != 0;
                const auto kind = rng() % 20;
                if (kind < 7) {
                    const bool same = rng() % 4 == 0;
                    const Snapshot next = same ? latest : randomSnapshot(rng, now);
                    const IndicatorActions a = indicator.onSnapshot(next, at(now));
                    heard = now;
                    if (next == latest && deadline == 0ms) {
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
                    // Silent past the deadline: shown as such, with no timer until the engine
                    // speaks.
                    const Ticks silentAt = moved(heard, deadline / 1ns);
                    const bool engines = latest.source == zn::SnapshotSource::Engine;
                    const bool silent = deadline > 0ms && engines && now >= silentAt;
                    const Snapshot from = silent ? zentra::silentEngine(deadline) : latest;
                    const TrayGlyph glyph =
                        zn::deriveTrayGlyph(from.health, from.state, from.pulse, at(now));
                    ASSERT_EQ(shell.onScreen.glyph, glyph) << "step " << steps;
                    ASSERT_EQ(shell.announced, glyph) << "the application was not told";
                    ASSERT_EQ(shell.onScreen.tooltip, zentra::trayTooltip(from, glyph));
                    std::optional<MonoTime> timer =
                        zn::nextGlyphChange(from.health, from.state, from.pulse, at(now));
                    if (deadline > 0ms && engines && !silent && (!timer || at(silentAt) < *timer)) {
                        timer = at(silentAt);
                    }
                    ASSERT_EQ(shell.timer, timer);
                    silences += silent ? 1 : 0;
                } else {
                    ASSERT_TRUE(shell.timer.has_value()) << "a failed add is always retried";
                    ASSERT_LE(*shell.timer, at(moved(now, 30'000'000'000)));
                    ASSERT_GE(*shell.timer, at(now));
                }
            }
        }
    EXPECT_GE(steps, 200'000);
    EXPECT_GT(timerFires, 1'000);
    EXPECT_GT(silences, 1'000);
}

// The actions of one event, written out with times in ms after the scenario's start.
std::string describe(const IndicatorActions& a, MonoTime start) {
    const auto ms = [start](MonoTime t) { return std::to_string((t - start) / 1ms); };
    const char* names[] = {"armed", "triggered", "error"};
    std::string out;
    if (a.reloadIconsAt) {
        out += "reload " + std::to_string(*a.reloadIconsAt) + " ";
    }
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
    if (a.announceGlyph) {
        out += std::string("announce ") + names[static_cast<int>(*a.announceGlyph)] + " ";
    }
    return out.empty() ? "-" : out.substr(0, out.size() - 1);
}

TEST(IndicatorScenarios, NamedScenarios) {
    enum Kind {
        Engine,
        Pulse,
        Fault,
        Clear,
        Timer,
        AddOk,
        AddFails,
        UpdOk,
        UpdFails,
        Recreated,
        Recreated20,
        Same,
        SetChanged,
        Px0,
        Px16,
        Px20
    };
    struct Step {
        Kind kind;
        int ms;
        const char* expected;
    };
    struct Scenario {
        const char* name;
        std::vector<Step> steps;
        int deadlineMs = 0;
    };
    const Scenario scenarios[] = {
        {"a pulse",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {UpdOk, 1000, "announce triggered"},
          {Timer, 1300, "show armed tip"},
          {UpdOk, 1300, "announce armed"}}},
        {"a pulse inside the hold window",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Pulse, 1200, "timer@1500"},
          {UpdFails, 1200, "-"},
          {Timer, 1300, "timer@1500"},
          {Timer, 1500, "show armed tip"}}},
        {"an error during the hold",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Fault, 1100, "show error tip cancel"},
          {UpdOk, 1100, "announce error"},
          {Clear, 2000, "show armed tip"},
          {UpdOk, 2000, "announce armed"}}},
        {"add fails three times then works",
         {{Engine, 0, "add armed"},
          {AddFails, 0, "retry@1000"},
          {Timer, 1000, "add armed"},
          {AddFails, 1000, "retry@3000"},
          {Timer, 3000, "add armed"},
          {AddFails, 3000, "retry@7000"},
          {Pulse, 7000, "-"},
          {Timer, 7000, "add triggered"},
          {AddOk, 7000, "timer@7300 announce triggered"},
          {Timer, 7300, "show armed tip"}}},
        {"a re-creation during the hold",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {UpdOk, 1000, "announce triggered"},
          {Recreated, 1100, "add triggered cancel"},
          {AddOk, 1100, "timer@1300"},
          {Timer, 1300, "show armed tip"}}},
        {"the add's back-off: 1, 2, 4, 8, 16, 30, 30 s",
         {{Engine, 0, "add armed"},
          {AddFails, 0, "retry@1000"},
          {Timer, 1000, "add armed"},
          {AddFails, 1000, "retry@3000"},
          {Timer, 3000, "add armed"},
          {AddFails, 3000, "retry@7000"},
          {Timer, 7000, "add armed"},
          {AddFails, 7000, "retry@15000"},
          {Timer, 15000, "add armed"},
          {AddFails, 15000, "retry@31000"},
          {Timer, 31000, "add armed"},
          {AddFails, 31000, "retry@61000"},
          {Timer, 61000, "add armed"},
          {AddFails, 61000, "retry@91000"}}},
        {"a re-created shell starts the back-off again",
         {{Engine, 0, "add armed"},
          {AddFails, 0, "retry@1000"},
          {Timer, 1000, "add armed"},
          {AddFails, 1000, "retry@3000"},
          {Recreated, 2000, "add armed cancel"},
          {AddFails, 2000, "retry@3000"}}},
        {"two adds in flight, the last one works",
         {{Engine, 0, "add armed"},
          {Recreated, 100, "add armed"},
          {AddFails, 100, "-"},
          {AddOk, 100, "announce armed"},
          {Pulse, 1000, "show triggered tip timer@1300"}}},
        {"two adds in flight, the last one fails",
         {{Engine, 0, "add armed"},
          {Recreated, 100, "add armed"},
          {AddOk, 100, "-"},
          {AddFails, 100, "retry@1100"}}},
        {"events that change nothing",
         {{Recreated, 0, "-"},
          {Timer, 0, "-"},
          {AddOk, 0, "-"},
          {UpdOk, 0, "-"},
          {Engine, 0, "add armed"},
          {Timer, 0, "-"},
          {UpdOk, 0, "-"},
          {AddOk, 0, "announce armed"},
          {AddOk, 10, "-"},
          {AddFails, 20, "-"},
          {UpdFails, 25, "-"},
          {Engine, 30, "-"},
          {Timer, 40, "-"}}},
        {"the small-icon size",
         {{Px16, 0, "reload 16"},
          {Engine, 0, "add armed"},
          {Px16, 0, "-"},
          {AddOk, 0, "announce armed"},
          {Px0, 10, "-"},
          {Px16, 20, "-"},
          {Pulse, 1000, "show triggered tip timer@1300"},
          {Px20, 1100, "reload 20 show triggered"},
          {UpdOk, 1100, "announce triggered"},
          {Px20, 1200, "-"}}},
        {"a new shell with a new size: the icons reloaded before the add",
         {{Recreated20, 0, "reload 20"},
          {Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Recreated20, 100, "add armed"},
          {AddOk, 100, "-"},
          {Px16, 200, "reload 16 show armed"},
          {UpdOk, 200, "-"},
          {Recreated20, 300, "reload 20 add armed"},
          {AddOk, 300, "-"},
          {Recreated, 400, "add armed"}}},
        {"an update overtaken by a new shell",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Fault, 100, "show error tip"},
          {Recreated, 200, "add error"},
          {UpdFails, 200, "-"},
          {AddOk, 200, "announce error"}}},
        {"announced once the shell has it, each change once",
         {{Engine, 0, "add armed"},
          {Pulse, 1000, "-"},
          {AddOk, 1000, "show triggered tip timer@1300 announce armed"},
          {UpdOk, 1000, "announce triggered"},
          {UpdOk, 1000, "-"},
          {UpdFails, 1000, "-"},
          {Fault, 1100, "show error tip cancel"},
          {UpdOk, 1100, "announce error"},
          {Fault, 1200, "-"},
          {Recreated, 1300, "add error"},
          {AddOk, 1300, "-"}}},
        {"a refused update: the icon is added again after the back-off",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {Fault, 1000, "show error tip"},
          {UpdFails, 1000, "retry@2000"},
          {Clear, 1500, "-"},
          {Fault, 1600, "-"},
          {Timer, 2000, "add error"},
          {AddFails, 2000, "retry@4000"},
          {Timer, 4000, "add error"},
          {AddOk, 4000, "announce error"},
          {Clear, 5000, "show armed tip"},
          {UpdFails, 5000, "retry@6000"}}},
        {"another icon set (the taskbar's theme): reloaded at the size, pushed once",
         {{SetChanged, 0, "-"},
          {Px16, 0, "reload 16"},
          {SetChanged, 0, "reload 16"},
          {Engine, 0, "add armed"},
          {AddOk, 0, "announce armed"},
          {SetChanged, 10, "reload 16 show armed"},
          {UpdOk, 10, "-"}}},
        {"a silent engine: the deadline is the one timer with the hold window",
         {{Engine, 0, "add armed"},
          {AddOk, 0, "timer@2000 announce armed"},
          {Same, 1500, "timer@3500"},
          {Timer, 3500, "show error tip"},
          {UpdOk, 3500, "announce error"},
          {Timer, 4000, "-"},
          {Same, 9000, "show armed tip timer@11000"},
          {UpdOk, 9000, "announce armed"},
          {Pulse, 10000, "show triggered tip timer@10300"},
          {Timer, 10300, "show armed tip timer@12000"},
          {Pulse, 11900, "show triggered tip timer@12200"},
          {Timer, 12200, "show armed tip timer@13900"}},
         2000},
        {"silent while the add is retried, and an add that is answered late",
         {{Engine, 0, "add armed"},
          {AddFails, 0, "retry@1000"},
          {Timer, 1000, "add armed"},
          {AddFails, 1000, "retry@3000"},
          {Timer, 3000, "add error"},
          {Same, 3100, "-"},
          {AddOk, 3200, "show armed tip timer@5100 announce error"},
          {Recreated, 6000, "add error cancel"},
          {Fault, 6100, "-"},
          {AddOk, 6200, "tip timer@8100"}},
         2000},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const MonoTime start = at(5'000'000'000'000);
        Indicator indicator(
            zentra::IndicatorOptions{std::chrono::milliseconds(scenario.deadlineMs), {}});
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
                case Same:
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
                case UpdOk:
                case UpdFails:
                    a = indicator.onUpdateResult(step.kind == UpdOk, now);
                    break;
                case Recreated:
                    a = indicator.onShellRecreated(now);
                    break;
                case Recreated20:
                    a = indicator.onShellRecreated(now, 20);
                    break;
                case SetChanged:
                    a = indicator.onIconSetChanged(now);
                    break;
                case Px0:
                case Px16:
                case Px20:
                    a = indicator.onIconSizeChanged(step.kind == Px0    ? 0
                                                    : step.kind == Px16 ? 16
                                                                        : 20,
                                                    now);
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
        // Every bound of well-formed UTF-8, a character each, or one U+FFFD per refused byte.
        {"lone continuation byte", "\x80", u"\uFFFD"},
        {"U+0080, a control", "\xC2\x80", u" "},
        {"U+00E9", "\xC3\xA9", u"\u00E9"},
        {"U+07FF", "\xDF\xBF", u"\u07FF"},
        {"overlong U+07FF", "\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"U+0800", "\xE0\xA0\x80", u"\u0800"},
        {"U+D7FF", "\xED\x9F\xBF", u"\uD7FF"},
        {"U+DFFF, a surrogate", "\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"U+E000", "\xEE\x80\x80", u"\uE000"},
        {"U+FF21", "\xEF\xBC\xA1", u"\uFF21"},
        {"overlong U+FFFF", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"U+10000", "\xF0\x90\x80\x80", u"\U00010000"},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"lead byte, then a lead byte", "\xC3\xC3", u"\uFFFD\uFFFD"},
        {"cut-off sequence at the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
        {"sequences broken by a character",
         "\xE2\x82"
         "A\xF0\x9F\x98"
         "b",
         u"\uFFFD\uFFFDA\uFFFD\uFFFD\uFFFDb"},
        {"controls at their bounds", "\x1F~\x7F\xC2\x9F\xC2\xA0", u" ~  \u00A0"},
        {"bidirectional controls", "\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9", u"    "},
        {"beside the bidirectional controls", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
         u"\u2029\u202F\u2065\u206A"},
        {"U+10000 across the limit", std::string(125, 'a') + "\xF0\x90\x80\x80" + "b",
         std::u16string(125, u'a') + ellipsis},
        {"U+10FFFF across the limit", std::string(125, 'a') + "\xF4\x8F\xBF\xBF" + "b",
         std::u16string(125, u'a') + ellipsis},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zentra::tooltipText(c.text), c.expected) << c.name;
    }
    EXPECT_EQ(zentra::tooltipText(emoji + "b", 2), ellipsis);  // the whole text a pair: not split
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

// Texts the shell and menus show literally: each & doubled, cut within the limit between whole
// characters, never between the two of an escaped &.
TEST(IndicatorTooltip, LiteralShellText) {
    const std::u16string a125(125, u'a');
    const struct {
        std::u16string text;
        std::size_t max;
        std::u16string expected;
    } cases[] = {
        {u"R&D lab", 127, u"R&&D lab"},
        {u"&&", 127, u"&&&&"},
        {u"plain", 127, u"plain"},
        {a125 + u"&", 127, a125 + u"&&"},
        {a125 + u"a&", 127, a125 + u"a\u2026"},
        {a125 + u"&b", 127, a125 + u"\u2026"},
        {u"\U0001F514&", 4, u"\U0001F514&&"},
        {u"\U0001F514&x", 4, u"\U0001F514\u2026"},
        {u"&\U0001F514x", 4, u"&&\u2026"},
        {u"a\xDC00"
         u"b",
         2, u"a\u2026"},
        {u"ab\xD800", 127, u"ab\xD800"},  // a lone high surrogate at the end
        {u"abc", 0, u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zentra::literalShellText(c.text, c.max), c.expected)
            << std::string(c.text.begin(), c.text.end());
    }
}

TEST(IndicatorTooltip, WordReasonAndStatus) {
    struct Case {
        bool healthy;
        std::optional<std::string> error;
        const char* device;
        const char* status;
        TrayGlyph glyph;
        std::u16string expected;
    };
    const Case cases[] = {
        {true, std::nullopt, "active", "", TrayGlyph::Armed, u"Armed"},
        {true, std::nullopt, "active", "warm", TrayGlyph::Triggered, u"Triggered - warm"},
        {true, "usb reset", "active", "", TrayGlyph::Armed, u"Armed"},
        {false, "usb reset", "missing", "", TrayGlyph::Error, u"Error: engine not healthy"},
        {true, "usb reset", "missing", "", TrayGlyph::Error, u"Error: usb reset"},
        {true, "", "missing", "", TrayGlyph::Error, u"Error: device missing"},
        {true, std::nullopt, "permission_denied", "cold", TrayGlyph::Error,
         u"Error: device permission_denied - cold"},
        {true, std::nullopt, "active", "", TrayGlyph::Error, u"Error"},
        // An engine's text cannot turn the rest of the line around.
        {true, "usb \u202E", "active", "ok", TrayGlyph::Error, u"Error: usb   - ok"},
        {true, std::nullopt, "active", "\u2067warm", TrayGlyph::Armed, u"Armed -  warm"},
    };
    const struct {
        std::chrono::milliseconds deadline;
        std::u16string expected;
    } silences[] = {
        {15s, u"Error: no word from the engine for 15 s"},
        {1500ms, u"Error: no word from the engine for 1.5 s"},
        {250ms, u"Error: no word from the engine for 0.25 s"},
        {60'007ms, u"Error: no word from the engine for 60.007 s"},
    };
    for (const auto& c : silences) {
        const Snapshot s = zentra::silentEngine(c.deadline);
        EXPECT_EQ(zn::deriveTrayGlyph(s.health, s.state, s.pulse, at(0)), TrayGlyph::Error);
        EXPECT_EQ(zentra::trayTooltip(s, TrayGlyph::Error), c.expected);
    }
    for (const Case& c : cases) {
        Snapshot s;
        s.health.healthy = c.healthy;
        s.health.statusText = c.status;
        s.state = {"idle", c.error, c.device};
        EXPECT_EQ(zentra::trayTooltip(s, c.glyph), c.expected)
            << c.healthy << " " << c.error.value_or("(none)") << " " << c.device;
    }
}

// Any difference in any field is a new snapshot; the same snapshot again costs no derivation.
TEST(IndicatorSnapshot, EveryFieldCounts) {
    Snapshot base;
    base.health = {true, false, "ok", false, false};
    base.state = {"idle", std::nullopt, "active"};
    base.pulse = at(1'000);
    std::vector<std::pair<const char*, Snapshot>> variants;
    const auto vary = [&](const char* name, auto change) {
        Snapshot s = base;
        change(s);
        variants.emplace_back(name, s);
    };
    vary("healthy", [](Snapshot& s) { s.health.healthy = false; });
    vary("degraded", [](Snapshot& s) { s.health.degraded = true; });
    vary("statusText", [](Snapshot& s) { s.health.statusText = "ok "; });
    vary("watchdogExpired", [](Snapshot& s) { s.health.watchdogExpired = true; });
    vary("recovering", [](Snapshot& s) { s.health.recovering = true; });
    vary("phase", [](Snapshot& s) { s.state.phase = "idle2"; });
    vary("lastError", [](Snapshot& s) { s.state.lastError = ""; });
    vary("deviceStatus", [](Snapshot& s) { s.state.deviceStatus = "missing"; });
    vary("pulse", [](Snapshot& s) { s.pulse = at(1'001); });
    {
        // One derivation for the contents of the add; once added, one for the contents and one
        // for the next change.
        Indicator indicator;
        indicator.onSnapshot(base, at(0));
        EXPECT_EQ(indicator.deriveCalls(), 1u);
        indicator.onAddResult(true, at(0));
        EXPECT_EQ(indicator.deriveCalls(), 3u);
    }
    EXPECT_TRUE(base == Snapshot(base));
    EXPECT_FALSE(base != Snapshot(base));
    for (const auto& [name, other] : variants) {
        EXPECT_FALSE(base == other) << name;
        EXPECT_TRUE(base != other) << name;
        Indicator indicator;
        indicator.onSnapshot(base, at(0));
        indicator.onAddResult(true, at(0));
        const auto calls = indicator.deriveCalls();
        EXPECT_FALSE(indicator.onSnapshot(base, at(5)).any());
        EXPECT_EQ(indicator.deriveCalls(), calls) << "the same snapshot derived again";
        indicator.onSnapshot(other, at(5));
        EXPECT_GT(indicator.deriveCalls(), calls) << name;
    }
}

// A retry lies exactly the back-off after the failure, or at the last time point there is.
TEST(IndicatorRetry, ExactTimeAndEndOfTime) {
    const struct {
        Ticks failedAt;
        Ticks retryAt;
    } cases[] = {
        {1'000, 1'000'001'000},
        {kMax - 1'000'000'000, kMax},
        {kMax - 500'000'000, kMax},
        {kMax, kMax},
    };
    for (const auto& c : cases) {
        Indicator indicator;
        Snapshot s;
        s.health.healthy = true;
        indicator.onSnapshot(s, at(c.failedAt));
        const IndicatorActions a = indicator.onAddResult(false, at(c.failedAt));
        ASSERT_TRUE(a.armTimerAt.has_value());
        EXPECT_EQ(a.armTimerAt->time_since_epoch().count(), c.retryAt) << c.failedAt;
        EXPECT_TRUE(a.timerIsAddRetry);
    }
}

}  // namespace
