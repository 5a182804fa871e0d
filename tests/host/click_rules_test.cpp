// When clicks reach the application, as known answers: sequences of the shell's callbacks in, with
// the host's timer fired when it is due, and what the application hears, when.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "click_rules.h"

namespace {

using zentra::host::ClickRules;
using zentra::host::IconEvent;
using zentra::host::IconInput;

struct Step {
    int ms;
    char what;  // 's' click's Select, 'k' keyboard Select, 'd' DoubleClick, 'm' context menu
    int x;
};

// "ms:what@x" for each delivery, the timer fired at the moment it was armed for.
std::string run(bool wait, const std::vector<Step>& steps, int doubleClickMs = 500) {
    using std::chrono::milliseconds;
    ClickRules rules(wait);
    std::string heard;
    std::optional<zn::MonoTime> timer;
    const auto take = [&](const zentra::host::ClickOutcome& out, zn::MonoTime at) {
        timer = out.armTimerAt ? out.armTimerAt : out.cancelTimer ? std::nullopt : timer;
        if (out.deliver) {
            const char what =
                out.deliver->keyboard ? 'k' : "?smdb"[static_cast<int>(out.deliver->event)];
            heard += std::to_string(
                         std::chrono::duration_cast<milliseconds>(at.time_since_epoch()).count()) +
                     ":" + what + "@" + std::to_string(out.deliver->x) + " ";
        }
    };
    const auto fireUntil = [&](zn::MonoTime until) {
        if (timer && *timer <= until) {
            const zn::MonoTime at = *timer;
            timer.reset();
            take(rules.onTimer(), at);
        }
    };
    for (const Step& s : steps) {
        const zn::MonoTime at{milliseconds(s.ms)};
        fireUntil(at);
        IconInput input;  // IconEvent's order: None, Select, ContextMenu, DoubleClick
        input.event = s.what == 'd'   ? IconEvent::DoubleClick
                      : s.what == 'm' ? IconEvent::ContextMenu
                                      : IconEvent::Select;
        input.keyboard = s.what == 'k';
        input.x = s.x;
        take(rules.onInput(input, at, milliseconds(doubleClickMs)), at);
    }
    fireUntil(zn::MonoTime{std::chrono::hours(1)});
    return heard;
}

TEST(ClickRules, KnownAnswers) {
    struct Case {
        bool wait;
        std::vector<Step> steps;
        const char* heard;
    };
    const Case cases[] = {
        // Not waiting: as the shell sends them, the keyboard's duplicate dropped.
        {false, {{0, 's', 1}}, "0:s@1 "},
        {false, {{0, 's', 1}, {150, 'd', 2}, {200, 's', 3}}, "0:s@1 150:d@2 200:s@3 "},
        {false, {{0, 'k', 1}, {5, 'k', 2}, {499, 'k', 3}, {500, 'k', 4}}, "0:k@1 500:k@4 "},
        {false, {{0, 'k', 1}, {10, 's', 2}}, "0:k@1 10:s@2 "},
        // Waiting: a single click after the double-click time, with its own anchor.
        {true, {{0, 's', 1}}, "500:s@1 "},
        {true, {{0, 's', 1}, {600, 's', 2}}, "500:s@1 1100:s@2 "},
        // A double click: DoubleClick alone, its second click's Select dropped.
        {true, {{0, 's', 1}, {150, 'd', 2}, {200, 's', 3}}, "150:d@2 "},
        {true, {{0, 's', 1}, {150, 'd', 2}, {200, 's', 3}, {700, 's', 4}}, "150:d@2 1200:s@4 "},
        // Two clicks that did not make a double click (too far apart on screen): two Selects.
        {true, {{0, 's', 1}, {100, 's', 2}}, "100:s@1 600:s@2 "},
        // Keys and menus are not held; the double-click time is the user's.
        {true, {{0, 'k', 1}, {1, 'k', 2}, {2, 'm', 3}}, "0:k@1 2:m@3 "},
        {true, {{0, 'd', 1}}, "0:d@1 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.wait, c.steps), c.heard) << c.wait << " " << c.steps.size();
    }
    EXPECT_EQ(run(true, {{0, 's', 1}, {900, 'd', 2}}, 1000), "900:d@2 ");
    EXPECT_EQ(run(true, {{0, 's', 1}, {200, 'd', 2}}, 100), "100:s@1 200:d@2 ");
}

}  // namespace
