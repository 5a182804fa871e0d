// The engine link's portable rules: names, what the tray says when the engine cannot be
// reached, and the back-off between tries.
#include <gtest/gtest.h>

#include <tuple>

#include "link_rules.h"

namespace {

using namespace zentra::link;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

TEST(LinkRules, NamesReasonsAndBackOff) {
    EXPECT_EQ(enginePipePath(L"mysync", true, 3), L"\\\\.\\pipe\\mysync.session3");
    EXPECT_EQ(enginePipePath(L"mysync", false, 3), L"\\\\.\\pipe\\mysync");
    EXPECT_EQ(engineObjectName(L"mysync", true, L"listening"), L"Local\\mysync.listening");
    EXPECT_EQ(engineObjectName(L"mysync", false, L"engine"), L"Global\\mysync.engine");
    const std::pair<std::wstring, bool> names[] = {
        {L"mysync.engine-2", true},
        {std::wstring(200, L'x'), true},
        {L"", false},
        {std::wstring(201, L'x'), false},
        {L"a\\b", false},
        {L"a\nb", false},
    };
    for (const auto& [name, good] : names) {
        EXPECT_EQ(engineNameProblem(name) == nullptr, good) << name.size();
    }

    const std::pair<std::uint32_t, const char*> reasons[] = {
        {2, "engine not running"},
        {109, "engine not running"},
        {232, "engine not running"},
        {233, "engine not running"},
        {5, "engine not reachable: access denied (Windows error 5)"},
        {231, "engine not reachable: all pipe instances are busy (Windows error 231)"},
        {1450, "engine not reachable (Windows error 1450)"},
    };
    for (const auto& [error, reason] : reasons) {
        EXPECT_EQ(engineDownReason(error), reason);
    }
    const zentra::Snapshot down = zentra::engineDown("engine not running");
    EXPECT_EQ(zentra::trayTooltip(down, zn::TrayGlyph::Error), u"Error: engine not running");
    EXPECT_EQ(zn::deriveTrayGlyph(down.health, down.state, down.pulse, zn::MonoTime{}),
              zn::TrayGlyph::Error);

    // The link's own words: never silent, and "not known yet" names no glyph.
    EXPECT_EQ(down.source, zn::SnapshotSource::Link);
    const zentra::Snapshot unknown = zentra::engineNotKnownYet();
    EXPECT_EQ(zentra::trayTooltip(unknown, zn::TrayGlyph::Armed), u"connecting to the engine");
    zentra::TrayTexts words;
    words.appName = "MyVPN";
    words.notKnownYet = "verbinde";
    EXPECT_EQ(zentra::trayTooltip(unknown, zn::TrayGlyph::Armed, words), u"MyVPN - verbinde");
    EXPECT_EQ(zn::deriveTrayGlyph(unknown.health, unknown.state, unknown.pulse, zn::MonoTime{}),
              zn::TrayGlyph::Armed);
    EXPECT_NE(unknown, zentra::Snapshot{}) << "an engine's healthy snapshot is news";

    // The first bound cuts the back-off short; past it, the back-off alone.
    const zn::MonoTime t0{std::chrono::seconds(100)};
    const std::tuple<long long, long long, long long> firstWaits[] = {
        {250, 0, 250}, {4000, 100, 1900}, {1000, 1999, 1}, {4000, 2000, 4000}, {250, 2001, 250}};
    for (const auto& [backOff, afterMs, wait] : firstWaits) {
        EXPECT_EQ(firstWait(milliseconds(backOff), t0 + milliseconds(afterMs), t0 + 2s),
                  milliseconds(wait))
            << backOff << " " << afterMs;
    }

    // A service's state as the SCM gives it (state, start type), and what the tray says of it.
    const std::tuple<std::uint32_t, std::uint32_t, const char*> services[] = {
        {1, 3, "the MySync service is stopped"},
        {1, 4, "the MySync service is disabled"},
        {2, 2, "the MySync service is starting"},
        {5, 2, "the MySync service is starting"},
        {3, 2, "the MySync service is stopping"},
        {4, 2, "the MySync service runs but does not publish"},
        {7, 2, "the MySync service is paused"},
        {6, 2, "the MySync service is paused"},
        {0, 2, "the MySync service cannot be queried (Windows error 5)"},
    };
    for (const auto& [state, start, reason] : services) {
        EXPECT_EQ(serviceReason("MySync", serviceStateOf(state, start), 5), reason) << state;
    }
    EXPECT_EQ(serviceReason("MySync", ServiceState::NotInstalled),
              "the MySync service is not installed");

    // Who may serve the pipe: the service's process (its account compared where both can be
    // read), or for a per-session engine a process seen to run as the tray's own user.
    const std::wstring sys = L"S-1-5-18";
    const std::wstring me = L"S-1-5-21-7-7-7-1000";
    const std::tuple<PipeServer, ExpectedServer, const char*> servers[] = {
        {{40, sys}, {true, 40, sys}, nullptr},
        {{40, L""}, {true, 40, sys}, nullptr},
        {{40, me}, {true, 40, L""}, nullptr},
        {{40, me}, {true, 40, sys}, kServedByAnotherAccount},
        {{41, sys}, {true, 40, sys}, kServedByAnother},
        {{0, sys}, {true, 0, sys}, kServedByAnother},
        {{40, me}, {false, 0, me}, nullptr},
        {{40, sys}, {false, 0, me}, kServedByAnotherAccount},
        {{40, L""}, {false, 0, me}, kServerNotTold},
        {{40, me}, {false, 0, L""}, kServerNotTold},
    };
    for (const auto& [server, expected, problem] : servers) {
        const char* got = serverProblem(server, expected);
        EXPECT_EQ(got == nullptr ? "" : got, std::string(problem == nullptr ? "" : problem))
            << server.process << " " << expected.service;
    }
    const std::pair<std::wstring, std::wstring> accounts[] = {
        {L"LocalSystem", sys},
        {L"localSYSTEM", sys},
        {L".\\svc-sync", L"svc-sync"},
        {L"NT AUTHORITY\\LocalService", L"NT AUTHORITY\\LocalService"},
        {L"CORP\\.svc", L"CORP\\.svc"},
        {L"", L""},
    };
    for (const auto& [configured, lookUp] : accounts) {
        EXPECT_EQ(serviceAccountToLookUp(configured), lookUp);
    }

    RetryDelay delay;
    std::vector<long long> waits;
    waits.reserve(7);
    for (int i = 0; i < 7; ++i) {
        waits.push_back(delay.next().count());
    }
    EXPECT_EQ(waits, (std::vector<long long>{250, 500, 1000, 2000, 4000, 5000, 5000}));
    delay.reset();
    EXPECT_EQ(delay.next(), milliseconds(250));
}

}  // namespace
