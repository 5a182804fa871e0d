#include "runner.h"

#include <chrono>
#include <optional>
#include <string>

namespace zentra::selfcheck {
namespace {

struct Scenario {
    bool healthy;
    const char* phase;
    const char* lastError;  // nullptr: absent
    const char* deviceStatus;
    int pulseMsBeforeNow;  // 0: no pulse recorded
    TrayGlyph expected;
    int line;  // the line the report names for this check
};

constexpr Scenario kScenarios[] = {
    {true, "idle", nullptr, "active", 0, TrayGlyph::Armed, 54},
    {false, "idle", nullptr, "active", 0, TrayGlyph::Error, 62},
    {true, "idle", "some_err", "active", 0, TrayGlyph::Error, 70},
    {true, "idle", nullptr, "permission_denied", 0, TrayGlyph::Error, 78},
    {true, "idle", nullptr, "missing", 0, TrayGlyph::Error, 86},
    {true, "triggered", nullptr, "active", 0, TrayGlyph::Triggered, 94},
    {true, "cooldown", nullptr, "active", 100, TrayGlyph::Triggered, 102},
    {true, "idle", nullptr, "active", 400, TrayGlyph::Armed, 110},
    {false, "triggered", nullptr, "active", 0, TrayGlyph::Error, 118},
    {true, "triggered", nullptr, "active", 0, TrayGlyph::Triggered, 126},
};

const char* expressionText(TrayGlyph expected) {
    switch (expected) {
        case TrayGlyph::Armed:
            return "zn::deriveTrayGlyph(health, state, pulse, now) == zn::TrayGlyph::Armed";
        case TrayGlyph::Triggered:
            return "zn::deriveTrayGlyph(health, state, pulse, now) == zn::TrayGlyph::Triggered";
        case TrayGlyph::Error:
            break;
    }
    return "zn::deriveTrayGlyph(health, state, pulse, now) == zn::TrayGlyph::Error";
}

// The pulse is taken from now's tick count, so its age is exact however long the run takes.
MonoTime pulseFor(const Scenario& s, MonoTime now) {
    if (s.pulseMsBeforeNow == 0) {
        return MonoTime{};
    }
    return now - std::chrono::milliseconds(s.pulseMsBeforeNow);
}

}  // namespace

int runSelfCheck(DeriveFn derive, MonoTime now, std::ostream& out, std::ostream& err) {
    for (const Scenario& s : kScenarios) {
        const EngineHealth health{s.healthy, false, std::string(), false, false};
        EngineState state{s.phase, std::nullopt, s.deviceStatus};
        if (s.lastError != nullptr) {
            state.lastError = s.lastError;
        }
        const MonoTime pulse = pulseFor(s, now);

        if (derive(health, state, pulse, now) != s.expected) {
            // Built first and written once, so the caller's stream formatting (width, fill)
            // cannot alter the line number and the line reaches the stream whole.
            const std::string report = std::string("FAIL: ") + expressionText(s.expected) +
                                       " at line " + std::to_string(s.line) + "\n";
            err.write(report.data(), static_cast<std::streamsize>(report.size()));
            err.flush();
            return 1;
        }
    }
    out << "all tests passed\n";
    out.flush();
    // A success nobody can read (standard output full or closed) must not pass for one.
    if (!out) {
        err << "zentra-selfcheck: could not write the report to standard output\n";
        err.flush();
        return kReportLost;
    }
    return 0;
}

}  // namespace zentra::selfcheck
