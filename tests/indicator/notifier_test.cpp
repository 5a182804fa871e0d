// When the user is told: known answers over scenarios with a fake clock, written from the rules
// (one notification per cooldown, an error told when it is still on at the cooldown's end, a
// recovery only of an error that was told), and the texts cut to the shell's limits.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "zentra/notifier.h"

namespace {

using namespace std::chrono_literals;
using zentra::Notifier;
using zentra::NotifierActions;
using zentra::NotifierOptions;
using zentra::Snapshot;
using zn::MonoTime;
using zn::TrayGlyph;

std::string narrow(const std::u16string& text) {
    return {text.begin(), text.end()};
}

std::string describe(const NotifierActions& a, MonoTime start) {
    std::string out;
    if (a.show) {
        out += std::string(a.show->error ? "error " : "info ") + narrow(a.show->title) + ": " +
               narrow(a.show->text) + " ";
    }
    if (a.cancelTimer) {
        out += "cancel ";
    }
    if (a.armTimerAt) {
        out += "timer@" + std::to_string((*a.armTimerAt - start) / 1s) + " ";
    }
    return out.empty() ? "-" : out.substr(0, out.size() - 1);
}

TEST(NotifierScenarios, KnownAnswers) {
    // Refused: the shell refused the notification just asked for. LatestB: the engine's error
    // is now "B", the glyph staying Error.
    // Taken: the shell took it.
    enum Kind {
        Armed,
        Triggered,
        UsbReset,
        DeviceMissing,
        NoReason,
        Timer,
        Refused,
        Taken,
        LatestB
    };
    struct Step {
        Kind kind;
        int s;  // seconds after the start
        const char* expected;
    };
    struct Scenario {
        const char* name;
        NotifierOptions options;
        std::vector<Step> steps;
    };
    const NotifierOptions all;
    NotifierOptions errorsOnly;
    errorsOnly.onRecovery = false;
    NotifierOptions recoveriesOnly;
    recoveriesOnly.onError = false;
    NotifierOptions tenSeconds;
    tenSeconds.cooldown = 10s;
    const Scenario scenarios[] = {
        {"an error, then the recovery after the cooldown",
         all,
         {{Armed, 0, "-"},
          {UsbReset, 1, "error Error: usb reset"},
          {Armed, 5, "timer@61"},
          {Timer, 61, "info Working again: Armed"},
          {Armed, 200, "-"}}},
        {"the first glyph already an error",
         all,
         {{DeviceMissing, 0, "error Error: device missing"}, {Timer, 0, "-"}}},
        {"a flapping engine: one notification a cooldown",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 1, "timer@60"},
          {UsbReset, 2, "cancel"},
          {Armed, 3, "timer@60"},
          {UsbReset, 4, "cancel"},
          {Armed, 5, "timer@60"},
          {Timer, 60, "info Working again: Armed"},
          {UsbReset, 61, "timer@120"},
          {Armed, 62, "cancel"},
          {Triggered, 63, "-"},
          {UsbReset, 130, "error Error: usb reset"}}},
        {"an error still on at the cooldown's end is told then, with its reason then",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 10, "timer@60"},
          {Timer, 60, "info Working again: Armed"},
          {UsbReset, 70, "timer@120"},
          {DeviceMissing, 100, "-"},
          {Timer, 120, "error Error: device missing"},
          {Timer, 121, "-"}}},
        {"a timer that fires early is armed again",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 1, "timer@60"},
          {Timer, 59, "timer@60"},
          {Timer, 60, "info Working again: Armed"}}},
        {"the cooldown is an option",
         tenSeconds,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 9, "timer@10"},
          {Timer, 10, "info Working again: Armed"}}},
        {"a recovery into Triggered tells that tooltip",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Triggered, 70, "info Working again: Triggered"}}},
        {"triggered is not an error",
         all,
         {{Triggered, 0, "-"}, {Armed, 1, "-"}, {Triggered, 2, "-"}}},
        {"errors only: a recovery is not told, and the next error is news",
         errorsOnly,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 1, "-"},
          {UsbReset, 2, "timer@60"},
          {Timer, 60, "error Error: usb reset"},
          {Armed, 200, "-"},
          {DeviceMissing, 201, "error Error: device missing"}}},
        {"recoveries only: nothing was told, so nothing recovers",
         recoveriesOnly,
         {{UsbReset, 0, "-"}, {Armed, 1, "-"}, {Timer, 100, "-"}}},
        {"an error with no reason", all, {{NoReason, 0, "error Error: Error"}}},
        {"a refused error is tried again, backing off, and its recovery told after it",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Refused, 0, "timer@1"},
          {Timer, 1, "error Error: usb reset"},
          {Refused, 1, "timer@3"},
          {Armed, 2, "cancel"},
          {UsbReset, 3, "error Error: usb reset"},
          {Armed, 4, "timer@63"},
          {Timer, 63, "info Working again: Armed"}}},
        {"another error told while a refused one waits for its retry: the retry is cancelled",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Refused, 0, "timer@1"},
          {DeviceMissing, 0, "error Error: device missing cancel"},
          {Timer, 1, "-"}}},
        {"a refused error over before it could be told: no recovery either",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Refused, 0, "timer@1"},
          {Armed, 0, "cancel"},
          {Timer, 1, "-"},
          {Armed, 200, "-"}}},
        {"a notification taken starts the back-off afresh; a result with none asked is nothing",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Refused, 0, "timer@1"},
          {Timer, 1, "error Error: usb reset"},
          {Taken, 1, "-"},
          {Refused, 1, "-"},
          {Armed, 70, "info Working again: Armed"},
          {Refused, 70, "timer@71"}}},
        {"a refused recovery is tried again",
         tenSeconds,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 20, "info Working again: Armed"},
          {Refused, 20, "timer@21"},
          {Timer, 21, "info Working again: Armed"},
          {UsbReset, 40, "error Error: usb reset"}}},
        {"a held error tells the engine's reason when it is shown",
         all,
         {{UsbReset, 0, "error Error: usb reset"},
          {Armed, 1, "timer@60"},
          {Timer, 60, "info Working again: Armed"},
          {UsbReset, 61, "timer@120"},
          {LatestB, 100, "-"},
          {Timer, 120, "error Error: B"}}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const MonoTime start = MonoTime(5'000'000'000'000ns);
        Notifier notifier(scenario.options);
        for (const Step& step : scenario.steps) {
            const MonoTime now = start + std::chrono::seconds(step.s);
            Snapshot snapshot;
            snapshot.health.healthy = true;
            snapshot.state = {"idle", std::nullopt, "active"};
            NotifierActions a;
            switch (step.kind) {
                case Armed:
                    a = notifier.onShown(TrayGlyph::Armed, snapshot, now);
                    break;
                case Triggered:
                    a = notifier.onShown(TrayGlyph::Triggered, snapshot, now);
                    break;
                case UsbReset:
                    snapshot.state.lastError = "usb reset";
                    a = notifier.onShown(TrayGlyph::Error, snapshot, now);
                    break;
                case DeviceMissing:
                    snapshot.state.deviceStatus = "missing";
                    a = notifier.onShown(TrayGlyph::Error, snapshot, now);
                    break;
                case NoReason:
                    a = notifier.onShown(TrayGlyph::Error, snapshot, now);
                    break;
                case Timer:
                    a = notifier.onTimer(now);
                    break;
                case Refused:
                    a = notifier.onResult(false, now);
                    break;
                case Taken:
                    a = notifier.onResult(true, now);
                    break;
                case LatestB:
                    snapshot.state.lastError = "B";
                    notifier.onSnapshot(snapshot);
                    break;
            }
            EXPECT_EQ(describe(a, start), step.expected) << "at " << step.s << " s";
        }
    }
}

// The shell's limits: 63 units of title, 255 of text, cut between whole characters with U+2026;
// the engine's controls shown as blanks.
TEST(NotifierTexts, CutToTheShellsLimits) {
    struct Case {
        std::string reason;
        std::size_t units;
        bool cut;
    };
    const Case cases[] = {
        {std::string(255, 'x'), 255, false},
        {std::string(256, 'x'), 255, true},
        {std::string(254, 'x') + "\xF0\x9F\x98\x80", 255, true},  // no half of a pair
        {std::string(253, 'x') + "\xF0\x9F\x98\x80", 255, false},
        {"a\nb", 3, false},
    };
    for (const Case& c : cases) {
        Notifier notifier;
        Snapshot snapshot;
        snapshot.health.healthy = true;
        snapshot.state.lastError = c.reason;
        const auto a = notifier.onShown(TrayGlyph::Error, snapshot, MonoTime(1s));
        ASSERT_TRUE(a.show.has_value());
        const std::u16string& text = a.show->text;
        EXPECT_EQ(text.size(), c.units) << c.reason.size();
        EXPECT_EQ(!text.empty() && text.back() == u'\x2026', c.cut);
        EXPECT_LE(a.show->title.size(), zentra::kMaxBalloonTitleUnits);
        EXPECT_EQ(text.find(u'\n'), std::u16string::npos);
    }
    EXPECT_EQ(zentra::tooltipText(std::string(100, 'y'), 63).size(), 63u);
    EXPECT_EQ(zentra::tooltipText("abc", 0), u"");
    EXPECT_EQ(zentra::tooltipText("abc", 1), u"\x2026");
    EXPECT_EQ(zentra::tooltipText("a", 1), u"a");
}

// A cooldown that would pass the end of time is held there, not wrapped.
TEST(NotifierScenarios, CooldownAtTheEndOfTime) {
    const MonoTime end = MonoTime::max() - 10s;
    Notifier notifier;
    Snapshot snapshot;
    snapshot.health.healthy = true;
    snapshot.state.lastError = "usb reset";
    ASSERT_TRUE(notifier.onShown(TrayGlyph::Error, snapshot, end).show.has_value());
    snapshot.state.lastError.reset();
    const auto a = notifier.onShown(TrayGlyph::Armed, snapshot, end + 1s);
    ASSERT_TRUE(a.armTimerAt.has_value());
    EXPECT_EQ(*a.armTimerAt, MonoTime::max());
}

}  // namespace

namespace {

// The application's own words, in any language: the tooltip (name first), the silence, and both
// notifications, each cut to its limit.
TEST(NotifierTexts, TheApplicationsOwnWords) {
    zentra::TrayTexts japanese;
    japanese.appName = "同期くん";
    japanese.armed = "最新の状態";
    japanese.error = "エラー";
    japanese.errorTitle = "同期が停止しました";
    japanese.errorText = "理由: {reason}";
    japanese.recoveryTitle = "同期を再開しました";
    japanese.recoveryText = "{tooltip} ({tooltip})";
    japanese.silence = "エンジンから{seconds}秒応答なし";
    zentra::TrayTexts hebrew;  // right to left
    hebrew.appName = "סנכרון";
    hebrew.error = "שגיאה";
    zentra::TrayTexts longName;
    longName.appName = std::string(200, 'n');

    Snapshot ok;
    ok.health = {true, false, "3 files \xF0\x9F\x94\x94", false, false};  // a pair in UTF-16
    Snapshot failing = ok;
    failing.state.lastError = "disk full";
    const struct {
        const zentra::TrayTexts& texts;
        std::u16string tooltip, silence, errorTitle, errorText, recoveryText;
    } cases[] = {
        {japanese, u"同期くん - 最新の状態 - 3 files 🔔",
         u"同期くん - エラー: エンジンから15秒応答なし", u"同期が停止しました", u"理由: disk full",
         u"同期くん - 最新の状態 - 3 files 🔔 (同期くん - 最新の状態 - 3 files 🔔)"},
        {hebrew, u"סנכרון - Armed - 3 files 🔔", u"סנכרון - שגיאה: no word from the engine for 15 s",
         u"Error", u"disk full", u"סנכרון - Armed - 3 files 🔔"},
        {longName, std::u16string(126, u'n') + u"\u2026", std::u16string(126, u'n') + u"\u2026",
         u"Error", u"disk full", std::u16string(126, u'n') + u"\u2026"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zentra::trayTooltip(ok, TrayGlyph::Armed, c.texts), c.tooltip);
        const Snapshot silent = zentra::silentEngine(15s, c.texts);
        EXPECT_EQ(zentra::trayTooltip(silent, TrayGlyph::Error, c.texts), c.silence);
        Notifier notifier(NotifierOptions{}, c.texts);
        const auto error = notifier.onShown(TrayGlyph::Error, failing, MonoTime(1s));
        ASSERT_TRUE(error.show);
        EXPECT_EQ(error.show->title, c.errorTitle);
        EXPECT_EQ(error.show->text, c.errorText);
        const auto recovery = notifier.onShown(TrayGlyph::Armed, ok, MonoTime(100s));
        ASSERT_TRUE(recovery.show);
        EXPECT_EQ(recovery.show->text, c.recoveryText);
    }
    EXPECT_EQ(zentra::fillText("{a}{a}b{", "a", "x"), "xxb{");
}

}  // namespace

namespace {

// The application's own notifications give way to the engine's, and to their own cooldown.
TEST(NotifierApplication, GivesWayToTheEngine) {
    NotifierOptions options;
    options.applicationCooldown = 10s;
    Notifier notifier(options);
    Snapshot ok;
    ok.health.healthy = true;
    Snapshot failing = ok;
    failing.state.lastError = "disk full";
    const auto notice = [&](int s, zentra::NoticeKind kind = zentra::NoticeKind::Info) {
        const auto b = notifier.applicationNotice("Sync", "15 files", kind, MonoTime(s * 1s));
        if (b) {
            notifier.onApplicationShown(MonoTime(s * 1s));
        }
        const char* kinds[] = {"", " (warning)", " (error)"};
        return b ? narrow(b->title) + ": " + narrow(b->text) + kinds[static_cast<int>(b->kind)] +
                       (b->error != (b->kind == zentra::NoticeKind::Error) ? " (mixed)" : "")
                 : "-";
    };
    EXPECT_EQ(notice(1, zentra::NoticeKind::Error), "Sync: 15 files (error)");
    EXPECT_EQ(notice(5), "-");  // its own cooldown
    ASSERT_TRUE(notifier.onShown(TrayGlyph::Error, failing, MonoTime(20s)).show);
    EXPECT_EQ(notice(30), "-");  // the error told 10 s ago
    // A recovery held back by the cooldown comes first.
    EXPECT_FALSE(notifier.onShown(TrayGlyph::Armed, ok, MonoTime(50s)).show);
    EXPECT_EQ(notice(55), "-");
    EXPECT_TRUE(notifier.onTimer(MonoTime(80s)).show);
    EXPECT_EQ(notice(81), "Sync: 15 files");
    EXPECT_EQ(notice(85), "-");  // its own cooldown again
    // Still in error once the cooldown has passed: the old notification is gone by then.
    ASSERT_TRUE(notifier.onShown(TrayGlyph::Error, failing, MonoTime(200s)).show);
    EXPECT_EQ(notice(259), "-");
    EXPECT_EQ(notice(260, zentra::NoticeKind::Warning), "Sync: 15 files (warning)");
    // An error held back by the cooldown of the recovery told before it comes first too.
    EXPECT_TRUE(notifier.onShown(TrayGlyph::Armed, ok, MonoTime(300s)).show);
    EXPECT_FALSE(notifier.onShown(TrayGlyph::Error, failing, MonoTime(310s)).show);
    EXPECT_EQ(notice(320), "-");
}

}  // namespace
