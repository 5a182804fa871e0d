// When the user is told about the engine with a notification (a balloon): when it enters Error,
// with the reason, and when it recovers, at most once per cooldown. A plain state machine the UI
// thread owns, fed the glyphs the shell has taken (the controller's announcements) and its own
// timer; it never reads a clock.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "zentra/indicator.h"

namespace zentra {

// The shell's limits for a notification's title and text, without the terminator.
inline constexpr std::size_t kMaxBalloonTitleUnits = 63;
inline constexpr std::size_t kMaxBalloonTextUnits = 255;

struct NotifierOptions {
    bool onError = true;                // tell the user when the engine enters Error
    bool onRecovery = true;             // and when it leaves an Error the user was told of
    std::chrono::seconds cooldown{60};  // at most one notification in this time
    // The application's own notifications: at most one in this time (0: no limit).
    std::chrono::seconds applicationCooldown{0};
};

// What a notification is, for its icon.
enum class NoticeKind { Info, Warning, Error };

struct Balloon {
    bool error = false;                  // an error (else information)
    NoticeKind kind = NoticeKind::Info;  // the same, for the application's own (warnings too)
    std::u16string title;                // at most kMaxBalloonTitleUnits
    std::u16string text;                 // at most kMaxBalloonTextUnits
};

struct NotifierActions {
    std::optional<Balloon> show;
    // The notifier's own one-shot timer: arm it for this moment (replacing a pending one) and call
    // onTimer then, or cancel it.
    std::optional<MonoTime> armTimerAt;
    bool cancelTimer = false;
};

// What the notifier wants the user to know is kept up to date with each glyph: that the engine is
// in error (entering Error), or that it works again (leaving an Error the user was told of; an
// error that came and went before it could be told is never told). When the cooldown since the
// last notification has passed, it is told at once; otherwise at the cooldown's end, if it is
// still so then. Error: title "Error", text the reason (errorReason, or "Error" when there is
// none). Recovery: title "Working again", text the new glyph's tooltip. Both in the words of the
// TrayTexts given, cut by the tooltip's rules to the shell's limits, and both from the latest
// snapshot when they are shown.
//
// A notification counts as told once the shell took it: the platform side reports a refusal
// (onResult), and the notifier then tries again after kFirstAddRetry, doubling up to
// kLastAddRetry, for as long as it is still true. A recovery is told only of an error the shell
// took.
class Notifier {
  public:
    explicit Notifier(NotifierOptions options = {}, TrayTexts texts = {});

    // The shell now shows `glyph` for `snapshot`.
    NotifierActions onShown(TrayGlyph glyph, const Snapshot& snapshot, MonoTime now);
    // The notifier's timer fired.
    NotifierActions onTimer(MonoTime now);
    // The engine's latest snapshot, while the glyph stays: what a notification held back tells.
    void onSnapshot(const Snapshot& snapshot) { snapshot_ = snapshot; }
    // Whether the shell took the notification last asked for (true is assumed until told).
    NotifierActions onResult(bool shown, MonoTime now);

    // The application's own notification, to be shown at `now`: the balloon, its texts cut by
    // the tooltip's rules, or nothing when it must wait its turn. It never displaces the
    // engine's: not while one of the engine's notifications is due or held back, nor within the
    // cooldown after an error was told; and at most one in applicationCooldown. It does not delay
    // the engine's. Once the shell took it, tell onApplicationShown.
    std::optional<Balloon> applicationNotice(std::string_view title, std::string_view text,
                                             NoticeKind kind, MonoTime now) const;
    void onApplicationShown(MonoTime now) { applicationShown_ = now; }

    std::optional<MonoTime> pendingTimer() const { return timerAt_; }

  private:
    NotifierActions settle(MonoTime now);

    NotifierOptions options_;
    TrayTexts texts_;
    TrayGlyph glyph_ = TrayGlyph::Armed;
    Snapshot snapshot_;
    bool userKnowsError_ = false;  // the last notification said Error, and none said otherwise
    std::optional<MonoTime> lastShown_;
    std::optional<MonoTime> applicationShown_;
    std::optional<MonoTime> timerAt_;
    // What the last notification asked for changed, until the shell is known to have taken it.
    struct Unconfirmed {
        bool userKnewError;
        std::optional<MonoTime> lastShown;
    };
    std::optional<Unconfirmed> unconfirmed_;
    std::chrono::seconds nextRetry_ = kFirstAddRetry;
};

}  // namespace zentra
