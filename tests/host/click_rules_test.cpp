// When clicks reach the application, as known answers: the shell's callbacks in ("ms" then s for
// a click's Select, k a keyboard Select, d a double click, m the context menu, n another
// callback, then the anchor's x), the host's timer fired when it is due, and what the application
// hears, when.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "click_rules.h"

namespace {

using std::chrono::milliseconds;
using zentra::host::IconEvent;

std::string run(bool wait, const std::string& steps, int doubleClickMs = 500) {
    zentra::host::ClickRules rules(wait);
    std::string heard;
    std::optional<zn::MonoTime> timer;
    const auto take = [&](const zentra::host::ClickOutcome& out, zn::MonoTime at) {
        timer = out.armTimerAt ? out.armTimerAt : out.cancelTimer ? std::nullopt : timer;
        for (const auto& told : {out.before, out.deliver}) {
            if (told) {  // IconEvent's order: None, Select, ContextMenu, DoubleClick
                const char what = told->keyboard ? 'k' : "?smd"[static_cast<int>(told->event)];
                heard += std::to_string(at.time_since_epoch() / milliseconds(1)) + what +
                         std::to_string(told->x) + " ";
            }
        }
    };
    const auto fireUntil = [&](zn::MonoTime until) {
        if (timer && *timer <= until) {
            const zn::MonoTime at = *timer;
            timer.reset();
            take(rules.onTimer(), at);
        }
    };
    std::istringstream in(steps);
    int ms = 0;
    int x = 0;
    char what = 0;
    while (in >> ms >> what >> x) {
        const zn::MonoTime at{milliseconds(ms)};
        fireUntil(at);
        zentra::host::IconInput input;
        input.event = what == 'd'   ? IconEvent::DoubleClick
                      : what == 'm' ? IconEvent::ContextMenu
                      : what == 'n' ? IconEvent::None
                                    : IconEvent::Select;
        input.keyboard = what == 'k';
        input.x = x;
        take(rules.onInput(input, at, milliseconds(doubleClickMs)), at);
    }
    fireUntil(zn::MonoTime{std::chrono::hours(1)});
    return heard;
}

TEST(ClickRules, KnownAnswers) {
    struct Case {
        bool wait;
        int doubleClickMs;
        const char* steps;
        const char* heard;
    };
    const Case cases[] = {
        // Not waiting: as the shell sends them, the keyboard's duplicate dropped.
        {false, 500, "0s1", "0s1 "},
        {false, 500, "0s1 150d2 200s3", "0s1 150d2 200s3 "},
        {false, 500, "0k1 5k2 499k3 500k4", "0k1 500k4 "},
        {false, 500, "0k1 10s2", "0k1 10s2 "},
        // Waiting: a single click after the double-click time, with its own anchor.
        {true, 500, "0s1", "500s1 "},
        {true, 500, "0s1 600s2", "500s1 1100s2 "},
        // A double click: DoubleClick alone, its second click's Select dropped.
        {true, 500, "0s1 150d2 200s3", "150d2 "},
        {true, 500, "0s1 150d2 200s3 700s4", "150d2 1200s4 "},
        // Two clicks that did not make a double click (too far apart on screen): two Selects.
        {true, 500, "0s1 100s2", "100s1 600s2 "},
        // Keys and menus are not held; the double-click time is the user's.
        {true, 500, "0k1 1k2 2m3", "0k1 2m3 "},
        {true, 500, "0d1", "0d1 "},
        {true, 1000, "0s1 900d2", "900d2 "},
        {true, 100, "0s1 200d2", "100s1 200d2 "},
        // A click held goes before any other input, in the order made: before the menu opens.
        {true, 500, "0s1 100m2", "100s1 100m2 "},
        {true, 500, "0s1 100k2", "100s1 100k2 "},
        {true, 500, "0s1 100m2 700s3", "100s1 100m2 1200s3 "},
        {true, 500, "0s1 100n2", "100?2 500s1 "},  // the pointer moving over the icon
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.wait, c.steps, c.doubleClickMs), c.heard) << c.wait << " " << c.steps;
    }
}

}  // namespace
