#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include "zentra/glyph.h"

namespace {

using zn::EngineHealth;
using zn::EngineState;
using zn::MonoTime;
using zn::TrayGlyph;
using Ticks = MonoTime::rep;

constexpr Ticks kMin = std::numeric_limits<Ticks>::min();
constexpr Ticks kMax = std::numeric_limits<Ticks>::max();
constexpr Ticks kHoldNs = 300'000'000;
constexpr Ticks kNow = 1'000'000'000'000;  // an ordinary uptime: about 16 minutes

MonoTime at(Ticks ticks) {
    return MonoTime(MonoTime::duration(ticks));
}

EngineHealth healthy(bool isHealthy = true) {
    return EngineHealth{isHealthy, false, "", false, false};
}

struct RuleCase {
    const char* name;
    bool healthy;
    std::optional<std::string> lastError;
    std::string deviceStatus;
    std::string phase;
    Ticks pulse;  // 0: none
    Ticks now;
    TrayGlyph expected;
};

void PrintTo(const RuleCase& c, std::ostream* os) {
    *os << c.name;
}

class RuleOrder : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleOrder, FirstMatchingRuleDecides) {
    const RuleCase& c = GetParam();
    const EngineState state{c.phase, c.lastError, c.deviceStatus};
    EXPECT_EQ(zn::deriveTrayGlyph(healthy(c.healthy), state, at(c.pulse), at(c.now)), c.expected);
}

const std::string kNul("missing\0", 8);
const std::string kTrigNul("triggered\0", 10);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Glyph, RuleOrder,
    ::testing::Values(
        //        name                                healthy lastError  device               phase        pulse                 now   expected
        RuleCase{"unhealthy_beats_triggered_phase",  false, {},         "active",            "triggered", 0,                    kNow, TrayGlyph::Error},
        RuleCase{"unhealthy_beats_fresh_pulse",      false, {},         "active",            "idle",      kNow - 10'000'000,    kNow, TrayGlyph::Error},
        RuleCase{"error_text_beats_triggered_phase", true,  "some_err", "active",            "triggered", 0,                    kNow, TrayGlyph::Error},
        RuleCase{"error_text_beats_fresh_pulse",     true,  "x",        "active",            "idle",      kNow,                 kNow, TrayGlyph::Error},
        RuleCase{"empty_error_text_is_no_error",     true,  "",         "active",            "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"empty_error_text_then_phase",      true,  "",         "active",            "triggered", 0,                    kNow, TrayGlyph::Triggered},
        RuleCase{"blank_error_text_is_an_error",     true,  " ",        "active",            "idle",      0,                    kNow, TrayGlyph::Error},
        RuleCase{"missing_device_beats_triggered",   true,  {},         "missing",           "triggered", 0,                    kNow, TrayGlyph::Error},
        RuleCase{"denied_device_beats_pulse",        true,  {},         "permission_denied", "idle",      kNow - 10'000'000,    kNow, TrayGlyph::Error},
        RuleCase{"device_case_differs",              true,  {},         "Missing",           "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_upper_case",                true,  {},         "PERMISSION_DENIED", "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_trailing_blank",            true,  {},         "missing ",          "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_leading_blank",             true,  {},         " missing",          "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_embedded_zero",             true,  {},         kNul,                "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_prefix_only",               true,  {},         "missin",            "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_denied_prefix",             true,  {},         "permission",        "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"device_empty",                     true,  {},         "",                  "idle",      0,                    kNow, TrayGlyph::Armed},
        RuleCase{"phase_triggered",                  true,  {},         "active",            "triggered", 0,                    kNow, TrayGlyph::Triggered},
        RuleCase{"phase_triggered_old_pulse",        true,  {},         "active",            "triggered", kNow - 5 * kHoldNs,   kNow, TrayGlyph::Triggered},
        RuleCase{"phase_case_differs",               true,  {},         "active",            "Triggered", 0,                    kNow, TrayGlyph::Armed},
        RuleCase{"phase_trailing_blank",             true,  {},         "active",            "triggered ", 0,                   kNow, TrayGlyph::Armed},
        RuleCase{"phase_embedded_zero",              true,  {},         "active",            kTrigNul,    0,                    kNow, TrayGlyph::Armed},
        RuleCase{"phase_prefix_only",                true,  {},         "active",            "trigger",   0,                    kNow, TrayGlyph::Armed},
        RuleCase{"no_pulse_and_now_zero",            true,  {},         "active",            "idle",      0,                    0,    TrayGlyph::Armed},
        RuleCase{"no_pulse_now_just_after_zero",     true,  {},         "active",            "idle",      0,                    1,    TrayGlyph::Armed},
        RuleCase{"no_pulse_now_negative",            true,  {},         "active",            "idle",      0,                    -5,   TrayGlyph::Armed},
        RuleCase{"cooldown_fresh_pulse",             true,  {},         "active",            "cooldown",  kNow - 100'000'000,   kNow, TrayGlyph::Triggered},
        RuleCase{"idle_old_pulse",                   true,  {},         "active",            "idle",      kNow - 400'000'000,   kNow, TrayGlyph::Armed}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// The hold window, at different places on the tick line, by the elapsed time now - pulse.
TEST(HoldWindow, BoundaryAndNegativeElapsed) {
    const EngineState idle{"idle", std::nullopt, "active"};
    const struct {
        Ticks elapsed;
        TrayGlyph expected;
    } cases[] = {
        {0, TrayGlyph::Triggered},           {1, TrayGlyph::Triggered},
        {kHoldNs - 1, TrayGlyph::Triggered}, {kHoldNs, TrayGlyph::Armed},
        {kHoldNs + 1, TrayGlyph::Armed},     {400'000'000, TrayGlyph::Armed},
        {-1, TrayGlyph::Triggered},          {-5'000'000, TrayGlyph::Triggered},
        {-kHoldNs, TrayGlyph::Triggered},    {-10 * kHoldNs, TrayGlyph::Triggered},
    };
    for (const Ticks now : {kNow, kHoldNs * 3, -kNow}) {
        for (const auto& c : cases) {
            const Ticks pulse = now - c.elapsed;
            ASSERT_NE(pulse, 0);
            EXPECT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(pulse), at(now)), c.expected)
                << "now=" << now << " elapsed=" << c.elapsed;
        }
    }
}

// Pairs whose difference does not fit in 64 bits must still give the exact answer.
TEST(HoldWindow, ExtremeTickCounts) {
    const EngineState idle{"idle", std::nullopt, "active"};
    const struct {
        Ticks pulse;
        Ticks now;
        TrayGlyph expected;
    } cases[] = {
        {kMin, kMax, TrayGlyph::Armed},
        {kMax, kMin, TrayGlyph::Triggered},
        {kMax, kMax, TrayGlyph::Triggered},
        {kMin, kMin, TrayGlyph::Triggered},
        {-1, kMax, TrayGlyph::Armed},
        {kMin, 1, TrayGlyph::Armed},
        {1, kMin, TrayGlyph::Triggered},
        {kMax, -1, TrayGlyph::Triggered},
        {kMin, kMin + kHoldNs - 1, TrayGlyph::Triggered},
        {kMin, kMin + kHoldNs, TrayGlyph::Armed},
        {kMax - kHoldNs + 1, kMax, TrayGlyph::Triggered},
        {kMax - kHoldNs, kMax, TrayGlyph::Armed},
        {kMin + 1, kMax, TrayGlyph::Armed},
        {kMax, kMin + 1, TrayGlyph::Triggered},
        {0, kMax, TrayGlyph::Armed},
        {0, kMin, TrayGlyph::Armed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(c.pulse), at(c.now)), c.expected)
            << "pulse=" << c.pulse << " now=" << c.now;
    }
}

// Against a model in 128-bit arithmetic, over random pairs drawn both near each other and
// anywhere on the tick line.
TEST(HoldWindow, AgreesWithExactArithmetic) {
    __extension__ using Wide = __int128;
    const EngineState idle{"idle", std::nullopt, "active"};
    std::mt19937_64 rng(20261208);
    std::uniform_int_distribution<Ticks> anywhere(kMin, kMax);
    std::uniform_int_distribution<Ticks> near(-2 * kHoldNs, 2 * kHoldNs);
    const Ticks anchors[] = {kMin, kMin + 1, -1, 1, kMax - 1, kMax};
    for (int i = 0; i < 200000; ++i) {
        Ticks now = anywhere(rng);
        if (i % 4 == 1) {
            now = anchors[static_cast<std::size_t>(i / 4) % std::size(anchors)];
        }
        Ticks pulse = anywhere(rng);
        if (i % 2 == 0) {
            const Wide candidate = Wide(now) - Wide(near(rng));
            if (candidate >= Wide(kMin) && candidate <= Wide(kMax)) {
                pulse = static_cast<Ticks>(candidate);
            }
        }
        TrayGlyph expected = TrayGlyph::Triggered;
        if (pulse == 0 || Wide(now) - Wide(pulse) >= Wide(kHoldNs)) {
            expected = TrayGlyph::Armed;
        }
        ASSERT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(pulse), at(now)), expected)
            << "pulse=" << pulse << " now=" << now;
    }
}

TEST(HoldWindow, NewerPulseRestartsTheWindow) {
    const EngineState idle{"idle", std::nullopt, "active"};
    const Ticks first = kNow;
    const Ticks second = kNow + 200'000'000;
    EXPECT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(first), at(first + kHoldNs)),
              TrayGlyph::Armed);
    EXPECT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(second), at(first + kHoldNs)),
              TrayGlyph::Triggered);
    EXPECT_EQ(zn::deriveTrayGlyph(healthy(), idle, at(second), at(second + kHoldNs)),
              TrayGlyph::Armed);
}

// nextGlyphChange against deriveTrayGlyph itself, on random inputs with extreme tick counts: the
// glyph holds on [now, next) and differs at next; with no next it never changes after now.
TEST(NextGlyphChange, AgreesWithDerivation) {
    std::mt19937_64 rng(20261208);
    const Ticks specials[] = {
        kMin,           kMin + 1,           -kHoldNs, -1,  0, 1, kHoldNs, kNow, kMax - kHoldNs - 1,
        kMax - kHoldNs, kMax - kHoldNs + 1, kMax - 1, kMax};
    const auto pick = [&]() -> Ticks {
        switch (rng() % 3) {
            case 0:
                return specials[rng() % std::size(specials)];
            case 1:
                return static_cast<Ticks>(rng());
            default:
                return kNow + static_cast<Ticks>(rng() % 1'000'000'000);
        }
    };
    // A time near `base`: within two hold windows either way, wrapping like the tick counter.
    const auto near = [&](Ticks base) {
        const auto offset = static_cast<std::uint64_t>(rng() % (4 * kHoldNs)) - 2 * kHoldNs;
        return static_cast<Ticks>(static_cast<std::uint64_t>(base) + offset);
    };
    const char* phases[] = {"idle", "triggered", "cooldown"};
    const char* devices[] = {"active", "missing", "active", "active"};
    int changes = 0;
    for (int i = 0; i < 200'000; ++i) {
        const EngineHealth health = healthy(rng() % 8 != 0);
        EngineState state{phases[rng() % 3], std::nullopt, devices[rng() % 4]};
        if (rng() % 8 == 0) {
            state.lastError = rng() % 2 == 0 ? "" : "usb reset";
        }
        const Ticks pulse = rng() % 4 == 0 ? 0 : pick();
        const Ticks now = rng() % 2 == 0 ? near(pulse) : pick();
        const TrayGlyph before = zn::deriveTrayGlyph(health, state, at(pulse), at(now));
        const std::optional<MonoTime> next = zn::nextGlyphChange(health, state, at(pulse), at(now));
        const auto glyphAt = [&](Ticks t) {
            return zn::deriveTrayGlyph(health, state, at(pulse), at(t));
        };
        if (next.has_value()) {
            ++changes;
            const Ticks n = next->time_since_epoch().count();
            ASSERT_GT(n, now);
            ASSERT_NE(glyphAt(n), before) << "pulse " << pulse << " now " << now;
            ASSERT_EQ(glyphAt(n - 1), before) << "pulse " << pulse << " now " << now;
            const auto inside = static_cast<std::uint64_t>(n - 1) - static_cast<std::uint64_t>(now);
            // A point of [now, next), reached in unsigned arithmetic: the span may exceed 2^63.
            const auto point = static_cast<std::uint64_t>(now) + rng() % (inside + 1);
            ASSERT_EQ(glyphAt(static_cast<Ticks>(point)), before);
        } else {
            const Ticks step = now == kMax ? kMax : now + 1;
            for (const Ticks later : {now, step, near(now), kMax - 1, kMax, pick()}) {
                if (later >= now) {
                    ASSERT_EQ(glyphAt(later), before) << "pulse " << pulse << " now " << now;
                }
            }
        }
    }
    EXPECT_GT(changes, 10'000) << "the inputs rarely reach a hold window";
}

TEST(TrayGlyphType, FixedValuesAndWidth) {
    static_assert(sizeof(TrayGlyph) == 4);
    EXPECT_EQ(static_cast<int>(TrayGlyph::Armed), 0);
    EXPECT_EQ(static_cast<int>(TrayGlyph::Triggered), 1);
    EXPECT_EQ(static_cast<int>(TrayGlyph::Error), 2);
    EXPECT_EQ(std::chrono::nanoseconds(zn::kTriggerHold).count(), kHoldNs);
}

}  // namespace
