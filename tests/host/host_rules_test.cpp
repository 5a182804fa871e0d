// The host's rules, as known answers.
#include <gtest/gtest.h>

#include "host_rules.h"

namespace {

using zentra::host::callbackMessageProblem;
using zentra::host::iconPixels;

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
