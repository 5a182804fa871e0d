#include <gtest/gtest.h>

#include <chrono>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "runner.h"

namespace {

using zn::EngineHealth;
using zn::EngineState;
using zn::MonoTime;
using zn::TrayGlyph;

const MonoTime kNow{std::chrono::nanoseconds(7'000'000'000'000)};

std::string failLine(const char* glyph, int line) {
    return std::string("FAIL: zn::deriveTrayGlyph(health, state, pulse, now) == zn::TrayGlyph::") +
           glyph + " at line " + std::to_string(line) + "\n";
}

// Faulty derivations a real change could introduce.
TrayGlyph everyPhaseIdle(const EngineHealth& h, const EngineState& s, MonoTime p, MonoTime n) {
    EngineState idle = s;
    idle.phase = "idle";
    return zn::deriveTrayGlyph(h, idle, p, n);
}
TrayGlyph inclusiveWindow(const EngineHealth& h, const EngineState& s, MonoTime p, MonoTime n) {
    const TrayGlyph g = zn::deriveTrayGlyph(h, s, p, n);
    if (g == TrayGlyph::Armed && p != MonoTime{} && n - p == zn::kTriggerHold) {
        return TrayGlyph::Triggered;
    }
    return g;
}
TrayGlyph ignoresPulse(const EngineHealth& h, const EngineState& s, MonoTime, MonoTime n) {
    return zn::deriveTrayGlyph(h, s, MonoTime{}, n);
}
TrayGlyph phaseBeatsHealth(const EngineHealth& h, const EngineState& s, MonoTime p, MonoTime n) {
    if (s.phase == "triggered") {
        return TrayGlyph::Triggered;
    }
    return zn::deriveTrayGlyph(h, s, p, n);
}
TrayGlyph alwaysError(const EngineHealth&, const EngineState&, MonoTime, MonoTime) {
    return TrayGlyph::Error;
}

struct RunnerCase {
    const char* name;
    zentra::selfcheck::DeriveFn derive;
    int status;
    std::string out;
    std::string err;
};

void PrintTo(const RunnerCase& c, std::ostream* os) {
    *os << c.name;
}

class Runner : public ::testing::TestWithParam<RunnerCase> {};

TEST_P(Runner, ReportsOnlyTheFirstMismatch) {
    const RunnerCase& c = GetParam();
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(zentra::selfcheck::runSelfCheck(c.derive, kNow, out, err), c.status);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
}

INSTANTIATE_TEST_SUITE_P(
    SelfCheck, Runner,
    ::testing::Values(
        RunnerCase{"correct", &zn::deriveTrayGlyph, 0, "all tests passed\n", ""},
        RunnerCase{"every_phase_idle", &everyPhaseIdle, 1, "", failLine("Triggered", 94)},
        RunnerCase{"inclusive_window", &inclusiveWindow, 0, "all tests passed\n", ""},
        RunnerCase{"ignores_pulse", &ignoresPulse, 1, "", failLine("Triggered", 102)},
        RunnerCase{"phase_beats_health", &phaseBeatsHealth, 1, "", failLine("Error", 118)},
        RunnerCase{"always_error", &alwaysError, 1, "", failLine("Armed", 54)}),
    [](const auto& p) { return std::string(p.param.name); });

// What each scenario hands to the derivation, recorded call by call.
struct Seen {
    EngineHealth health;
    EngineState state;
    std::chrono::nanoseconds age;  // now - pulse; zero when no pulse
    bool hasPulse;
    bool sameNow;
};
std::vector<Seen> g_seen;
int g_failAt = 0;  // 1-based call that returns a wrong glyph; 0 never

TrayGlyph recording(const EngineHealth& h, const EngineState& s, MonoTime p, MonoTime n) {
    g_seen.push_back({h, s, n - p, p != MonoTime{}, n == kNow});
    const TrayGlyph right = zn::deriveTrayGlyph(h, s, p, n);
    if (static_cast<int>(g_seen.size()) == g_failAt) {
        return right == TrayGlyph::Armed ? TrayGlyph::Error : TrayGlyph::Armed;
    }
    return right;
}

TEST(SelfCheckScenarios, InputsAreBuiltFreshPerScenario) {
    g_seen.clear();
    g_failAt = 0;
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(zentra::selfcheck::runSelfCheck(&recording, kNow, out, err), 0);
    ASSERT_EQ(g_seen.size(), 10u);

    const char* phases[] = {"idle",      "idle",     "idle", "idle",      "idle",
                            "triggered", "cooldown", "idle", "triggered", "triggered"};
    const char* devices[] = {"active",  "active", "active", "permission_denied",
                             "missing", "active", "active", "active",
                             "active",  "active"};
    const bool healthy[] = {true, false, true, true, true, true, true, true, false, true};
    for (std::size_t i = 0; i < g_seen.size(); ++i) {
        const Seen& s = g_seen[i];
        SCOPED_TRACE("scenario " + std::to_string(i + 1));
        EXPECT_EQ(s.health.healthy, healthy[i]);
        EXPECT_FALSE(s.health.degraded || s.health.watchdogExpired || s.health.recovering);
        EXPECT_TRUE(s.health.statusText.empty());
        EXPECT_EQ(s.state.phase, phases[i]);
        EXPECT_EQ(s.state.deviceStatus, devices[i]);
        EXPECT_EQ(s.state.lastError,
                  i == 2 ? std::optional<std::string>("some_err") : std::nullopt);
        EXPECT_TRUE(s.sameNow);
        const bool pulsed = i == 6 || i == 7;
        EXPECT_EQ(s.hasPulse, pulsed);
        if (pulsed) {
            EXPECT_EQ(s.age, std::chrono::milliseconds(i == 6 ? 100 : 400));
        }
    }
}

TEST(SelfCheckScenarios, StopsAtTheFirstMismatch) {
    const int lines[] = {54, 62, 70, 78, 86, 94, 102, 110, 118, 126};
    const char* expected[] = {"Armed",     "Error",     "Error", "Error", "Error",
                              "Triggered", "Triggered", "Armed", "Error", "Triggered"};
    for (int k = 1; k <= 10; ++k) {
        g_seen.clear();
        g_failAt = k;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(zentra::selfcheck::runSelfCheck(&recording, kNow, out, err), 1);
        EXPECT_EQ(g_seen.size(), static_cast<std::size_t>(k)) << "no scenario after a failure runs";
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), failLine(expected[k - 1], lines[k - 1]));
    }
    g_failAt = 0;
}

// A success line that cannot be written is no success: one line on err and status 2. A failure
// report keeps its status 1.
TEST(SelfCheckScenarios, LostReportIsNotASuccess) {
    for (const zentra::selfcheck::DeriveFn derive :
         {zentra::selfcheck::DeriveFn{&zn::deriveTrayGlyph}, &alwaysError}) {
        std::ostream out(nullptr);  // no buffer: every write fails
        std::ostringstream err;
        const int status = zentra::selfcheck::runSelfCheck(derive, kNow, out, err);
        if (derive == &alwaysError) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(err.str(), failLine("Armed", 54));
        } else {
            EXPECT_EQ(status, 2);
            EXPECT_EQ(err.str(),
                      "zentra-selfcheck: could not write the report to standard output\n");
        }
    }
}

// A caller's leftover stream formatting must not reach the line number.
TEST(SelfCheckScenarios, ReportIgnoresStreamFormatting) {
    std::ostringstream out;
    std::ostringstream err;
    err << std::setfill('0') << std::setw(12) << std::showpos << std::hex;
    EXPECT_EQ(zentra::selfcheck::runSelfCheck(&alwaysError, kNow, out, err), 1);
    EXPECT_EQ(err.str(), failLine("Armed", 54));
}

}  // namespace
