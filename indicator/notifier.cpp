#include "zentra/notifier.h"

#include <algorithm>
#include <utility>

#include "time_math.h"
#include "utf8.h"

namespace zentra {

Notifier::Notifier(NotifierOptions options, TrayTexts texts)
    : options_(options), texts_(std::move(texts)) {}

NotifierActions Notifier::onShown(TrayGlyph glyph, const Snapshot& snapshot, MonoTime now) {
    glyph_ = glyph;
    snapshot_ = snapshot;
    return settle(now);
}

NotifierActions Notifier::onTimer(MonoTime now) {
    timerAt_.reset();  // it has fired
    return settle(now);
}

NotifierActions Notifier::settle(MonoTime now) {
    NotifierActions actions;
    const bool inError = glyph_ == TrayGlyph::Error;
    if (!inError && userKnowsError_ && !options_.onRecovery) {
        userKnowsError_ = false;  // recoveries are not told: the next error is news again
    }
    const bool tellError = inError && !userKnowsError_ && options_.onError;
    const bool tellRecovery = !inError && userKnowsError_;
    if (!tellError && !tellRecovery) {
        if (timerAt_) {
            timerAt_.reset();
            actions.cancelTimer = true;
        }
        return actions;
    }
    if (lastShown_ && now < later(*lastShown_, options_.cooldown)) {
        const MonoTime due = later(*lastShown_, options_.cooldown);
        if (timerAt_ != due) {
            timerAt_ = due;
            actions.armTimerAt = due;
        }
        return actions;
    }
    Balloon balloon;
    balloon.error = tellError;
    balloon.kind = tellError ? NoticeKind::Error : NoticeKind::Info;
    if (tellError) {
        const std::string reason = errorReason(snapshot_);
        balloon.title = tooltipText(texts_.errorTitle, kMaxBalloonTitleUnits);
        balloon.text = tooltipText(
            fillText(texts_.errorText, "reason", reason.empty() ? texts_.error : reason),
            kMaxBalloonTextUnits);
    } else {
        const std::u16string tip = trayTooltip(snapshot_, glyph_, texts_);
        balloon.title = tooltipText(texts_.recoveryTitle, kMaxBalloonTitleUnits);
        balloon.text =
            tooltipText(fillText(texts_.recoveryText, "tooltip", utf8(tip)), kMaxBalloonTextUnits);
    }
    unconfirmed_ = Unconfirmed{userKnowsError_, lastShown_};
    userKnowsError_ = tellError;
    lastShown_ = now;
    if (timerAt_) {
        timerAt_.reset();
        actions.cancelTimer = true;
    }
    actions.show = std::move(balloon);
    return actions;
}

std::optional<Balloon> Notifier::applicationNotice(std::string_view title, std::string_view text,
                                                   NoticeKind kind, MonoTime now) const {
    // What the engine's state needs told is told at once, unless it is held back by the cooldown
    // or waits for a retry: either way, on the timer.
    const bool engineWaits = timerAt_.has_value();
    const bool errorFresh =
        userKnowsError_ && lastShown_ && now < later(*lastShown_, options_.cooldown);
    const bool tooSoon = applicationShown_ && options_.applicationCooldown.count() > 0 &&
                         now < later(*applicationShown_, options_.applicationCooldown);
    if (engineWaits || errorFresh || tooSoon) {
        return std::nullopt;
    }
    Balloon balloon;
    balloon.kind = kind;
    balloon.error = kind == NoticeKind::Error;
    balloon.title = tooltipText(title, kMaxBalloonTitleUnits);
    balloon.text = tooltipText(text, kMaxBalloonTextUnits);
    return balloon;
}

NotifierActions Notifier::onResult(bool shown, MonoTime now) {
    NotifierActions actions;
    if (!unconfirmed_) {
        return actions;
    }
    if (shown) {
        unconfirmed_.reset();
        nextRetry_ = kFirstAddRetry;
        return actions;
    }
    // Not told after all: as it was before, and again once the shell may take it.
    userKnowsError_ = unconfirmed_->userKnewError;
    lastShown_ = unconfirmed_->lastShown;
    unconfirmed_.reset();
    const MonoTime due = later(now, nextRetry_);
    nextRetry_ = std::min(nextRetry_ * 2, std::chrono::seconds(kLastAddRetry));
    timerAt_ = due;
    actions.armTimerAt = due;
    return actions;
}

}  // namespace zentra
