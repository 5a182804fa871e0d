#include "zentra/indicator.h"

#include <algorithm>
#include <string>

#include "time_math.h"

namespace zentra {

bool operator==(const Snapshot& a, const Snapshot& b) {
    const EngineHealth& x = a.health;
    const EngineHealth& y = b.health;
    return x.healthy == y.healthy && x.degraded == y.degraded && x.statusText == y.statusText &&
           x.watchdogExpired == y.watchdogExpired && x.recovering == y.recovering &&
           a.state.phase == b.state.phase && a.state.lastError == b.state.lastError &&
           a.state.deviceStatus == b.state.deviceStatus && a.pulse == b.pulse &&
           a.source == b.source;
}

bool operator!=(const Snapshot& a, const Snapshot& b) {
    return !(a == b);
}

std::string silenceReason(std::chrono::milliseconds deadline, const TrayTexts& texts) {
    const long long ms = deadline.count();
    std::string seconds = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        seconds += "." + fraction;
    }
    return fillText(texts.silence, "seconds", seconds);
}

Snapshot silentEngine(std::chrono::milliseconds deadline, const TrayTexts& texts) {
    Snapshot s;
    s.health.healthy = true;
    s.state.lastError = silenceReason(deadline, texts);
    return s;
}

IndicatorActions Indicator::onSnapshot(const Snapshot& snapshot, MonoTime now) {
    IndicatorActions actions;
    heardAt_ = now;
    if (snapshot_.has_value() && *snapshot_ == snapshot) {
        // Word from the engine all the same: it ends a silence, and moves the deadline on.
        if (silentFrom().has_value() && icon_ == Icon::Added) {
            reconcile(actions, now);
        }
        return actions;
    }
    snapshot_ = snapshot;
    if (icon_ == Icon::None) {
        addNow(actions, now);
    } else if (icon_ == Icon::Added) {
        reconcile(actions, now);
    }
    // While an add is under way or waiting for its retry, the add carries the latest snapshot.
    return actions;
}

IndicatorActions Indicator::onTimer(MonoTime now) {
    IndicatorActions actions;
    timerAt_.reset();  // it has fired
    if (icon_ == Icon::WaitingToRetry) {
        addNow(actions, now);
    } else if (icon_ == Icon::Added) {
        reconcile(actions, now);  // a timer that fired early is simply armed again
    }
    return actions;
}

IndicatorActions Indicator::onAddResult(bool added, MonoTime now) {
    IndicatorActions actions;
    if (addsInFlight_ == 0) {
        return actions;  // no add is waiting for an answer
    }
    if (--addsInFlight_ > 0) {
        return actions;  // answers an add that a later one replaced: the later one's result decides
    }
    if (added) {
        icon_ = Icon::Added;
        nextRetry_ = kFirstAddRetry;
        announce(actions);        // the shell shows the add's contents
        reconcile(actions, now);  // the snapshot or the time may have moved on since the add
    } else {
        // The shell is not up yet (at logon) or busy: try again later, less often each time.
        retryAdd(actions, now);
    }
    return actions;
}

IndicatorActions Indicator::onUpdateResult(bool updated, MonoTime now) {
    IndicatorActions actions;
    if (!updateInFlight_ || icon_ != Icon::Added) {
        return actions;  // no update is waiting for an answer
    }
    updateInFlight_ = false;
    if (updated) {
        announce(actions);
    } else {
        retryAdd(actions, now);
    }
    return actions;
}

IndicatorActions Indicator::onShellRecreated(MonoTime now, int iconPixels) {
    IndicatorActions actions;
    if (iconPixels > 0 && iconPixels != iconPixels_) {
        iconPixels_ = iconPixels;
        actions.reloadIconsAt = iconPixels;
    }
    if (!snapshot_.has_value()) {
        return actions;  // nothing to show yet; the first snapshot adds the icon
    }
    // A new notification area: whatever it had is gone (or, after a DPI change, kept; then the
    // add becomes a modify). The shell is up, so no back-off.
    nextRetry_ = kFirstAddRetry;
    addNow(actions, now);
    return actions;
}

IndicatorActions Indicator::onIconSizeChanged(int pixels, MonoTime now) {
    IndicatorActions actions;
    if (pixels <= 0 || pixels == iconPixels_) {
        return actions;
    }
    iconPixels_ = pixels;
    replaceIcons(actions, now);
    return actions;
}

IndicatorActions Indicator::onIconSetChanged(MonoTime now) {
    IndicatorActions actions;
    if (iconPixels_ > 0) {  // else nothing is loaded yet: the first load takes the new set
        replaceIcons(actions, now);
    }
    return actions;
}

void Indicator::replaceIcons(IndicatorActions& actions, MonoTime now) {
    actions.reloadIconsAt = iconPixels_;
    if (icon_ == Icon::Added) {
        reconcile(actions, now);
        actions.showGlyph = shown_.glyph;  // the new icons replace the old ones on screen
        updateInFlight_ = true;
    }
}

std::optional<MonoTime> Indicator::silentFrom() const {
    if (options_.silenceDeadline.count() <= 0 || !snapshot_.has_value() ||
        snapshot_->source != SnapshotSource::Engine) {
        return std::nullopt;
    }
    return later(heardAt_, options_.silenceDeadline);
}

IconContent Indicator::contentAt(MonoTime now) {
    const std::optional<MonoTime> silence = silentFrom();
    silent_ = silence.has_value() && now >= *silence;
    const Snapshot& from = shownSnapshot();
    IconContent content;
    ++deriveCalls_;
    content.glyph = deriveTrayGlyph(from.health, from.state, from.pulse, now);
    content.tooltip = trayTooltip(from, content.glyph, options_.texts);
    return content;
}

void Indicator::addNow(IndicatorActions& actions, MonoTime now) {
    shown_ = contentAt(now);
    actions.addIcon = shown_;
    icon_ = Icon::Adding;
    ++addsInFlight_;
    // A pending retry is moot; the next glyph change is armed again once the add is in.
    setTimer(actions, std::nullopt, false);
}

void Indicator::reconcile(IndicatorActions& actions, MonoTime now) {
    const IconContent content = contentAt(now);
    if (content.glyph != shown_.glyph) {
        actions.showGlyph = content.glyph;
    }
    if (content.tooltip != shown_.tooltip) {
        actions.setTooltip = content.tooltip;
    }
    shown_ = content;
    updateInFlight_ = actions.updatesIcon();
    ++deriveCalls_;  // nextGlyphChange derives once itself
    const Snapshot& from = shownSnapshot();
    std::optional<MonoTime> next = nextGlyphChange(from.health, from.state, from.pulse, now);
    const std::optional<MonoTime> silence = silentFrom();
    if (!silent_ && silence.has_value() && (!next.has_value() || *silence < *next)) {
        next = silence;
    }
    setTimer(actions, next, false);
}

void Indicator::setTimer(IndicatorActions& actions, std::optional<MonoTime> at, bool addRetry) {
    if (at == timerAt_) {
        return;  // already pending
    }
    timerAt_ = at;
    if (at.has_value()) {
        actions.armTimerAt = at;
        actions.timerIsAddRetry = addRetry;
        actions.cancelTimer = false;
    } else {
        actions.armTimerAt.reset();
        actions.cancelTimer = true;
    }
}

void Indicator::retryAdd(IndicatorActions& actions, MonoTime now) {
    icon_ = Icon::WaitingToRetry;
    setTimer(actions, later(now, nextRetry_), true);
    nextRetry_ = std::min(nextRetry_ * 2, kLastAddRetry);
}

void Indicator::announce(IndicatorActions& actions) {
    if (announced_ != shown_.glyph) {
        announced_ = shown_.glyph;
        actions.announceGlyph = shown_.glyph;
    }
}

}  // namespace zentra
