// The host's rules, as known answers.
#include <gtest/gtest.h>

#include <limits>

#include "host_rules.h"

namespace {

using zentra::host::callbackMessageProblem;
using zentra::host::iconPixels;
using zentra::host::timerDelayMs;
using Ticks = zn::MonoTime::rep;

zn::MonoTime at(Ticks ticks) {
    return zn::MonoTime(zn::MonoTime::duration(ticks));
}

// Never before the moment, in whole milliseconds, within what a window timer takes.
TEST(HostRules, TimerDelayRoundsUpWithinTheTimersRange) {
    constexpr Ticks ms = 1'000'000;
    constexpr Ticks kMax = std::numeric_limits<Ticks>::max();
    constexpr Ticks kMin = std::numeric_limits<Ticks>::min();
    struct Case {
        Ticks at, now;
        unsigned expected;
    };
    const Case cases[] = {
        {5 * ms, 5 * ms, 10},
        {4 * ms, 5 * ms, 10},
        {5 * ms + 1, 5 * ms, 10},
        {9 * ms, 0, 10},
        {10 * ms, 0, 10},
        {10 * ms + 1, 0, 11},
        {11 * ms, 0, 11},
        {300 * ms, 0, 300},
        {299 * ms + 1, 0, 300},
        {300 * ms + 1, 0, 301},
        {-4'700 * ms, -5'000 * ms, 300},
        {0x7FFFFFFF * ms, 0, 0x7FFFFFFF},
        {0x7FFFFFFF * ms + 1, 0, 0x7FFFFFFF},
        {kMax, 0, 0x7FFFFFFF},
        {kMax, -1, 0x7FFFFFFF},
        {kMax, kMin, 0x7FFFFFFF},
        {kMin + 300 * ms, kMin, 300},
        {kMin, kMax, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(timerDelayMs(at(c.at), at(c.now)), c.expected) << c.at << " from " << c.now;
    }
}

TEST(HostRules, IconPixelsFallBackToTheSystemThenSixteen) {
    struct Case {
        int forDpi, system, expected;
    };
    const Case cases[] = {
        {24, 16, 24}, {1, 16, 1}, {0, 20, 20}, {-3, 20, 20},
        {0, 1, 1},    {0, 0, 16}, {0, -1, 16}, {-1, -1, 16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(iconPixels(c.forDpi, c.system), c.expected) << c.forDpi << ", " << c.system;
    }
}

TEST(HostRules, CallbackMessagesRefused) {
    constexpr unsigned taskbarCreated = 0xC05A;
    constexpr unsigned wake = 0xC0F1;
    struct Case {
        unsigned message;
        bool refused;
    };
    const Case cases[] = {
        {0, true},       {0x0113, true},   // WM_TIMER
        {0x03FF, true},  {0x0400, false},  // WM_USER
        {0x8000, false}, {0x8100, false}, {0xBFFF, false},        {0xC000, false},
        {0xC059, false}, {0xC05B, false}, {taskbarCreated, true}, {wake, true},
        {0xFFFF, false}, {0x10000, true}, {0xFFFFFFFF, true},
    };
    for (const Case& c : cases) {
        const char* problem = callbackMessageProblem(c.message, taskbarCreated, wake);
        EXPECT_EQ(problem != nullptr, c.refused) << std::hex << c.message;
    }
}

}  // namespace

namespace {

TEST(HostRules, IconVariantFollowsTheTaskbarAndWhatTheApplicationHas) {
    using zentra::host::IconVariant;
    // light taskbar, high contrast, has light, has contrast -> variant
    const struct {
        bool light, contrast, hasLight, hasContrast;
        IconVariant expected;
    } cases[] = {
        {false, false, true, true, IconVariant::Default},
        {true, false, true, true, IconVariant::Light},
        {true, false, false, true, IconVariant::Default},
        {true, true, true, true, IconVariant::Contrast},
        {false, true, true, true, IconVariant::Contrast},
        {true, true, true, false, IconVariant::Light},
        {false, true, true, false, IconVariant::Default},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zentra::host::chooseIconVariant(c.light, c.contrast, c.hasLight, c.hasContrast),
                  c.expected)
            << c.light << c.contrast << c.hasLight << c.hasContrast;
    }
}

}  // namespace
