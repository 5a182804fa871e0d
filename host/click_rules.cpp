#include "click_rules.h"

#include <utility>

namespace zentra::host {

namespace {

bool within(const std::optional<MonoTime>& since, MonoTime now, std::chrono::milliseconds span) {
    return since && now - *since < span;
}

}  // namespace

ClickOutcome ClickRules::onInput(const IconInput& input, MonoTime now,
                                 std::chrono::milliseconds doubleClickTime) {
    ClickOutcome out;
    const bool mouseClick = !input.keyboard && (input.event == IconEvent::Select ||
                                                input.event == IconEvent::DoubleClick);
    if (!mouseClick && input.event != IconEvent::None && held_) {
        out.before = std::exchange(held_, std::nullopt);  // in the order made
        out.cancelTimer = true;
    }
    if (input.event == IconEvent::DoubleClick) {
        lastDoubleClick_ = now;
        if (held_) {
            held_.reset();
            out.cancelTimer = true;
        }
        out.deliver = input;
        return out;
    }
    if (input.event != IconEvent::Select) {
        out.deliver = input;
        return out;
    }
    if (input.keyboard) {
        if (!within(lastKeySelect_, now, doubleClickTime)) {
            lastKeySelect_ = now;
            out.deliver = input;
        }
        return out;
    }
    if (!wait_) {
        out.deliver = input;
        return out;
    }
    if (within(lastDoubleClick_, now, doubleClickTime)) {
        return out;  // the second click of the double click just told
    }
    // A click held already is a single click of its own: the second came too late or too far.
    out.deliver = held_;
    held_ = input;
    out.armTimerAt = now + doubleClickTime;
    return out;
}

ClickOutcome ClickRules::onTimer() {
    ClickOutcome out;
    out.deliver = held_;
    held_.reset();
    return out;
}

}  // namespace zentra::host
