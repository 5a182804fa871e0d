// The tray indicator's brain: a plain state machine that the application's UI thread owns. It
// takes events (a new engine snapshot, its timer fired, the icon was added or not, the
// notification area was re-created, the small-icon size changed) and returns what the platform
// side must do, so that the shown glyph is always deriveTrayGlyph of the latest snapshot at the
// current time, with no polling: the one timer it asks for is the next moment the glyph changes
// by time alone (nextGlyphChange), the silence deadline, or a retry of a failed add. It never
// reads a clock and never calls the platform; every event carries `now`.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "zentra/glyph.h"

namespace zentra {

// Who a snapshot's contents come from.
enum class SnapshotSource : std::uint8_t {
    Engine,       // the engine itself
    NotKnownYet,  // nobody yet: a tray that has not reached its engine yet (engineNotKnownYet)
    Link,         // the link to an engine in another process, which cannot reach or read it
};

// What the engine reports, as the derivation reads it.
struct Snapshot {
    EngineHealth health;
    EngineState state;
    MonoTime pulse{};  // the last trigger pulse; zero: none
    // Not the engine's: its tooltip says so (NotKnownYet), and an engine's silence deadline does
    // not apply to it (the link says when it knows more).
    SnapshotSource source = SnapshotSource::Engine;
};

bool operator==(const Snapshot& a, const Snapshot& b);
bool operator!=(const Snapshot& a, const Snapshot& b);

// The notification icon's contents.
struct IconContent {
    TrayGlyph glyph = TrayGlyph::Armed;
    std::u16string tooltip;  // at most kMaxTooltipUnits UTF-16 units
};

// What the platform side must do after an event, in the order of the fields. The platform side
// carries all of it out, then reports the outcomes (onAddResult, onUpdateResult) and carries out
// what those return, before it tells the application anything.
struct IndicatorActions {
    // Load the three icons again at this many pixels a side; what follows uses the new icons.
    std::optional<int> reloadIconsAt;
    // Add the notification icon with these contents (or modify it, if the shell still has it),
    // then report the outcome with onAddResult. Outcomes are reported in the order of the adds;
    // while a later add is still unanswered (the shell was re-created meanwhile), the outcome of
    // an earlier one is ignored: the last add's outcome decides.
    std::optional<IconContent> addIcon;
    // Update the added icon, with one shell call for both: show this glyph's icon (after a reload,
    // also when the glyph is the one shown), and this tooltip. Then report the outcome with
    // onUpdateResult.
    std::optional<TrayGlyph> showGlyph;
    std::optional<std::u16string> setTooltip;
    bool cancelTimer = false;
    // Arm the one-shot timer for this time point, replacing any pending one; call onTimer when it
    // fires. `timerIsAddRetry` tells what it is for (an add retry, or the next glyph change).
    std::optional<MonoTime> armTimerAt;
    bool timerIsAddRetry = false;
    // The shell has taken an icon showing this glyph, a change from the one last announced: tell
    // the application, once the platform side has carried out everything else.
    std::optional<TrayGlyph> announceGlyph;

    bool updatesIcon() const { return showGlyph.has_value() || setTooltip.has_value(); }
    bool any() const {
        return addIcon || reloadIconsAt || updatesIcon() || cancelTimer || armTimerAt ||
               announceGlyph;
    }
};

// The shell's limit for a tooltip (128 units with the terminator).
inline constexpr std::size_t kMaxTooltipUnits = 127;

// A failed add is retried after kFirstAddRetry, doubling up to kLastAddRetry.
inline constexpr std::chrono::seconds kFirstAddRetry{1};
inline constexpr std::chrono::seconds kLastAddRetry{30};

// The words the icon and its notifications use, in the application's language, UTF-8. A
// pattern's {name} is replaced by the value named; the defaults are the library's own words.
struct TrayTexts {
    // Shown first in the tooltip, then " - " and the rest; empty: nothing.
    std::string appName;
    // Each glyph's word, first in the tooltip (after the name).
    std::string armed = "Armed";
    std::string triggered = "Triggered";
    std::string error = "Error";
    // The notification when the engine enters Error; {reason}: why (errorReason, or the error
    // word when there is none).
    std::string errorTitle = "Error";
    std::string errorText = "{reason}";
    // The notification when it works again; {tooltip}: the icon's new tooltip.
    std::string recoveryTitle = "Working again";
    std::string recoveryText = "{tooltip}";
    // Why an engine silent past the deadline shows Error; {seconds}: the deadline.
    std::string silence = "no word from the engine for {seconds} s";
    // The tooltip (after the name) while the engine is not known yet.
    std::string notKnownYet = "connecting to the engine";
};

// `pattern` with each "{name}" replaced by `value`.
std::string fillText(std::string_view pattern, std::string_view name, std::string_view value);

// The tooltip for a snapshot showing `glyph`: the glyph's word ("Armed", "Triggered", "Error");
// for Error, then ": " and the reason (the error text, "device <status>", or "engine not
// healthy", in the derivation's order); then " - " and the engine's statusText when it has one.
// UTF-8 in, UTF-16 out: invalid UTF-8 becomes U+FFFD; control characters, and the bidirectional
// embedding, override and isolate controls (U+202A to U+202E, U+2066 to U+2069), become blanks, so
// an engine's text cannot reorder the rest of the tooltip; a text longer than kMaxTooltipUnits is
// cut between whole characters and ends in U+2026. With `texts`, their words, and their
// appName first. A snapshot whose source is NotKnownYet shows texts.notKnownYet alone.
std::u16string trayTooltip(const Snapshot& snapshot, TrayGlyph glyph, const TrayTexts& texts = {});

// `text` as a tooltip: the conversion and cutting rules of trayTooltip, at most `maxUnits` UTF-16
// units (at least 1).
std::u16string tooltipText(std::string_view utf8, std::size_t maxUnits = kMaxTooltipUnits);

// `text` as the shell and menus show it literally: each & doubled (a single one would underline
// the next letter and vanish), at most `maxUnits` UTF-16 units (at least 1), cut between whole
// characters, an escaped & being one, and ending in U+2026 when cut.
std::u16string literalShellText(std::u16string_view text, std::size_t maxUnits = kMaxTooltipUnits);

// Why the icon shows Error when the engine has said nothing for `deadline`: texts.silence with
// the seconds (up to three decimals when not whole), "no word from the engine for 15 s".
std::string silenceReason(std::chrono::milliseconds deadline, const TrayTexts& texts = {});

// The snapshot an engine silent for `deadline` is shown as: healthy, its only content the error
// silenceReason (nothing of the last snapshot, which may no longer hold).
Snapshot silentEngine(std::chrono::milliseconds deadline, const TrayTexts& texts = {});

struct IndicatorOptions {
    // Liveness, for an engine in another process: when set (above 0), an engine that has sent
    // no snapshot for this long (an unchanged one counts, as a heartbeat) is shown as
    // silentEngine: the error glyph, until the next snapshot. Not while the latest snapshot is
    // not the engine's own (its source is not Engine): the link says when it knows more. Off for an
    // engine in the same process, which cannot fall silent without the application knowing.
    std::chrono::milliseconds silenceDeadline{0};
    // The words of the tooltip.
    TrayTexts texts;
};

// Why a snapshot shows Error, in the derivation's order: "engine not healthy", the error text, or
// "device <status>"; empty when none of them holds.
std::string errorReason(const Snapshot& snapshot);

class Indicator {
  public:
    explicit Indicator(IndicatorOptions options = {}) : options_(std::move(options)) {}

    // The engine's snapshot. An unchanged one changes nothing, but counts as word from the engine.
    IndicatorActions onSnapshot(const Snapshot& snapshot, MonoTime now);
    IndicatorActions onTimer(MonoTime now);
    IndicatorActions onAddResult(bool added, MonoTime now);
    // The outcome of an update (showGlyph, setTooltip). A refused update means the shell has lost
    // the icon or cannot take it now: the icon is added again, after the add's back-off.
    IndicatorActions onUpdateResult(bool updated, MonoTime now);
    // A new notification area; `iconPixels`, when above 0, its small-icon size, so that the icons
    // are reloaded before the add rather than pushed to an icon the shell no longer has.
    IndicatorActions onShellRecreated(MonoTime now, int iconPixels = 0);
    IndicatorActions onIconSizeChanged(int pixels, MonoTime now);
    // The platform side chose another set of icons (the taskbar's theme changed): they are
    // loaded again at the current size, and the shown glyph's pushed with one update.
    IndicatorActions onIconSetChanged(MonoTime now);

    // What the icon shows, once added: the one record of it.
    bool iconAdded() const { return icon_ == Icon::Added; }
    const IconContent& shown() const { return shown_; }
    // The latest snapshot, once there is one.
    const std::optional<Snapshot>& snapshot() const { return snapshot_; }
    // What the icon's contents were last derived from: the latest snapshot, or silentEngine once
    // the engine has been silent past the deadline. Valid once there is a snapshot.
    const Snapshot& shownSnapshot() const { return silent_ ? silence_ : *snapshot_; }
    std::optional<MonoTime> pendingTimer() const { return timerAt_; }
    // deriveTrayGlyph calls made so far (a measure of the work done).
    std::uint64_t deriveCalls() const { return deriveCalls_; }

  private:
    enum class Icon { None, Adding, Added, WaitingToRetry };

    IconContent contentAt(MonoTime now);
    std::optional<MonoTime> silentFrom() const;
    void addNow(IndicatorActions& actions, MonoTime now);
    void reconcile(IndicatorActions& actions, MonoTime now);
    void setTimer(IndicatorActions& actions, std::optional<MonoTime> at, bool addRetry);
    void retryAdd(IndicatorActions& actions, MonoTime now);
    void announce(IndicatorActions& actions);
    void replaceIcons(IndicatorActions& actions, MonoTime now);

    IndicatorOptions options_;
    std::optional<Snapshot> snapshot_;
    MonoTime heardAt_{};   // when the latest snapshot came
    bool silent_ = false;  // the contents show silence_
    Snapshot silence_ = silentEngine(options_.silenceDeadline, options_.texts);
    Icon icon_ = Icon::None;
    IconContent shown_;
    std::optional<MonoTime> timerAt_;
    std::chrono::seconds nextRetry_ = kFirstAddRetry;
    int iconPixels_ = 0;
    int addsInFlight_ = 0;         // adds asked for and not yet answered
    bool updateInFlight_ = false;  // an update asked for and not yet answered
    std::optional<TrayGlyph> announced_;
    std::uint64_t deriveCalls_ = 0;
};

}  // namespace zentra
