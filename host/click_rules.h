// When the icon's clicks reach the application. A single click can be told from the first click
// of a double click only by waiting: with `waitForDoubleClick`, a click's Select is held for the
// double-click time and dropped when a double click comes within it, so that a double click
// gives DoubleClick alone; the Select the shell sends for its second click is dropped too.
// Without it every click's Select goes on at once, as the shell sends it.
// Either way a keyboard Select within the double-click time of the last one delivered is dropped:
// the shell sends NIN_KEYSELECT twice for one press of Enter. Any other input (the context menu,
// a key, a click on a notification) lets a held Select go first: the application hears the
// clicks in the order made, and never while a menu the later one opened is up.
#pragma once

#include <chrono>
#include <optional>

#include "icon_events.h"
#include "zentra/glyph.h"

namespace zentra::host {

struct ClickOutcome {
    std::optional<IconInput> before;   // a click held, to the application before `deliver`
    std::optional<IconInput> deliver;  // to the application now
    bool cancelTimer = false;
    std::optional<MonoTime> armTimerAt;  // for the Select held
};

class ClickRules {
  public:
    explicit ClickRules(bool waitForDoubleClick = false) : wait_(waitForDoubleClick) {}

    // A Select or DoubleClick from the icon (anything else goes on as it is), at `now`, with the
    // user's double-click time as it is now.
    ClickOutcome onInput(const IconInput& input, MonoTime now,
                         std::chrono::milliseconds doubleClickTime);
    // The timer for the Select held has fired: it goes on.
    ClickOutcome onTimer();

  private:
    bool wait_;
    std::optional<IconInput> held_;
    std::optional<MonoTime> lastDoubleClick_;
    std::optional<MonoTime> lastKeySelect_;
};

}  // namespace zentra::host
