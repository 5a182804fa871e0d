// The self-check: ten fixed scenarios driven through a glyph derivation.
#pragma once

#include <ostream>

#include "zentra/glyph.h"

namespace zentra::selfcheck {

using DeriveFn = TrayGlyph (*)(const EngineHealth&, const EngineState&, MonoTime, MonoTime);

// Runs the scenarios in order against `derive`, all sharing `now`. At the first mismatch writes
// "FAIL: <expression> at line <n>\n" to `err` and returns 1; after ten agreements writes
// "all tests passed\n" to `out` and returns 0. Nothing else is written, unless that line cannot be
// written: then one line on `err` says so and the result is kReportLost.
constexpr int kReportLost = 2;
int runSelfCheck(DeriveFn derive, MonoTime now, std::ostream& out, std::ostream& err);

}  // namespace zentra::selfcheck
