// The tray host example's timeline: parsing, its error messages, and the simulated engine.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "timeline.h"

namespace {

using tray_host::parseTimeline;

TEST(Timeline, MalformedLinesAreNamed) {
    const std::pair<std::string, std::string> cases[] = {
        {"0 healthy\n100 frobnicate\n",
         "timeline line 2: unknown event 'frobnicate': \"100 frobnicate\""},
        {"# comment\n\nabc pulse\n",
         "timeline line 3: expected a time in milliseconds: \"abc pulse\""},
        {"12x pulse\n", "timeline line 1: expected a time in milliseconds: \"12x pulse\""},
        {"-5 pulse\n", "timeline line 1: expected a time in milliseconds: \"-5 pulse\""},
        {"500 pulse\n400 pulse\n", "timeline line 2: time goes backwards: \"400 pulse\""},
        {"0 phase\n", "timeline line 1: 'phase' needs a value: \"0 phase\""},
        {"0 device   \n", "timeline line 1: 'device' needs a value: \"0 device\""},
        {"0 pulse now\n", "timeline line 1: 'pulse' takes no value: \"0 pulse now\""},
        {"100\n", "timeline line 1: missing event: \"100\""},
        {"0 end\n5 pulse\n", "timeline line 2: event after end: \"5 pulse\""},
        {"99999999999999999999 pulse\n",
         "timeline line 1: expected a time in milliseconds: \"99999999999999999999 pulse\""},
        {"9223372036854775807 pulse\n",
         "timeline line 1: time beyond the maximum of 86400000 ms: "
         "\"9223372036854775807 pulse\""},
        {"0 pulse\n86400001 end # too late\n",
         "timeline line 2: time beyond the maximum of 86400000 ms: \"86400001 end\""},
        {"# nothing\n", "timeline has no events"},
        {"", "timeline has no events"},
        {"\xEF\xBB\xBF", "timeline has no events"},
        {"\xFF\xFE"
         "0",
         "timeline is UTF-16; save it as UTF-8"},
        {"\xFE\xFF", "timeline is UTF-16; save it as UTF-8"},
        // A byte-order mark is skipped at the start of the file only, and once.
        {"0 healthy\n\xEF\xBB\xBF"
         "5 pulse\n",
         "timeline line 2: expected a time in milliseconds: \"\xEF\xBB\xBF"
         "5 pulse\""},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "5 pulse\n",
         "timeline line 1: expected a time in milliseconds: \"\xEF\xBB\xBF"
         "5 pulse\""},
        // A terminal's commands and a bare CR are escaped; a long line is cut.
        {"0 \x1B[2Jpulse\rx\n",
         R"(timeline line 1: unknown event '\x1B[2Jpulse\x0Dx': "0 \x1B[2Jpulse\x0Dx")"},
        {"0 pulse " + std::string(3'000'000, 'x') + "\n",
         "timeline line 1: 'pulse' takes no value: \"0 pulse " + std::string(112, 'x') +
             "...\" (3000008 bytes)"},
        {"0 " + std::string(50, 'y') + "\n", "timeline line 1: unknown event '" +
                                                 std::string(40, 'y') + "...': \"0 " +
                                                 std::string(50, 'y') + "\""},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(parseTimeline(text, error).has_value()) << text;
        EXPECT_EQ(error, message);
    }
    std::string error;  // the maximum itself is a time
    EXPECT_TRUE(parseTimeline("0 pulse\n86400000 end\n", error).has_value()) << error;
}

// The sample on the host's page, read from docs/host.md, so the two cannot drift apart: the
// indented block that follows "The engine follows a timeline".
TEST(Timeline, DocumentedSampleParses) {
    std::ifstream in(ZENTRA_HOST_DOC, std::ios::binary);
    ASSERT_TRUE(in) << ZENTRA_HOST_DOC;
    std::string text;
    std::string sample;
    bool inSample = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("The engine follows a timeline") != std::string::npos) {
            inSample = true;
        } else if (inSample && line.rfind("    ", 0) == 0) {
            sample += line.substr(4) + "\n";
        } else if (inSample && !sample.empty()) {
            break;
        }
    }
    ASSERT_NE(sample.find("pulse"), std::string::npos) << "no sample found in docs/host.md";
    std::string error;
    const auto t = parseTimeline(sample, error);
    ASSERT_TRUE(t.has_value()) << error;
    EXPECT_EQ(t->endMs, 15000);
}

// A '#' that starts a word ends the line; inside a word it is text.
TEST(Timeline, TrailingCommentsAreSkipped) {
    std::string error;
    const auto t =
        parseTimeline("0 phase idle # at start\n10 error usb#3\t# reset\n20 end#\n", error);
    ASSERT_FALSE(t.has_value());
    EXPECT_EQ(error, "timeline line 3: unknown event 'end#': \"20 end#\"");
    const auto ok = parseTimeline("0 phase idle # at start\n10 error usb#3\t# reset\n", error);
    ASSERT_TRUE(ok.has_value()) << error;
    EXPECT_EQ(ok->events[0].value, "idle");
    EXPECT_EQ(ok->events[1].value, "usb#3");
}

// As Notepad and PowerShell 5 save it: a byte-order mark, then CR LF line ends.
TEST(Timeline, ByteOrderMarkAtTheStartIsSkipped) {
    std::string error;
    const auto t = parseTimeline(
        "\xEF\xBB\xBF"
        "0 healthy\r\n1500 pulse\r\n",
        error);
    ASSERT_TRUE(t.has_value()) << error;
    ASSERT_EQ(t->events.size(), 2u);
    EXPECT_EQ(t->events[0].kind, tray_host::Event::Kind::Healthy);
    EXPECT_EQ(t->events[0].atMs, 0);
    EXPECT_EQ(t->events[1].atMs, 1500);
}

TEST(Timeline, ValuesKeepTheirBlanksAndEndIsOptional) {
    std::string error;
    const auto t =
        parseTimeline("  0\tphase idle  \r\n10 error usb  reset\n20 error-clear\n", error);
    ASSERT_TRUE(t.has_value()) << error;
    ASSERT_EQ(t->events.size(), 3u);
    EXPECT_EQ(t->events[0].value, "idle");
    EXPECT_EQ(t->events[1].value, "usb  reset");
    EXPECT_EQ(t->events[1].line, 2);
    EXPECT_EQ(t->endMs, 1020);
}

using std::chrono::milliseconds;

// Derives the glyph on a 20 ms tick, as the host does, and records each change.
std::vector<std::pair<long long, zn::TrayGlyph>> run(const tray_host::Timeline& t) {
    const zn::MonoTime start{std::chrono::seconds(1000)};
    tray_host::SimulatedEngine engine(t, start);
    std::vector<std::pair<long long, zn::TrayGlyph>> changes;
    for (long long ms = 0;; ms += 20) {
        const zn::MonoTime now = start + milliseconds(ms);
        const bool running = engine.advance(now);
        const zn::TrayGlyph g = engine.glyph(now);
        if (changes.empty() || changes.back().second != g) {
            changes.emplace_back(ms, g);
        }
        if (!running) {
            break;
        }
    }
    return changes;
}

TEST(Timeline, DefaultTimelineWalksThroughEveryGlyph) {
    std::string error;
    const auto t = parseTimeline(tray_host::kDefaultTimeline, error);
    ASSERT_TRUE(t.has_value()) << error;
    using G = zn::TrayGlyph;
    const std::vector<std::pair<long long, G>> expected = {
        {0, G::Armed},     {1500, G::Triggered}, {1800, G::Armed},  {3000, G::Triggered},
        {4500, G::Armed},  {6000, G::Error},     {7500, G::Armed},  {9000, G::Error},
        {10500, G::Armed}, {12000, G::Error},    {13500, G::Armed},
    };
    EXPECT_EQ(run(*t), expected);
}

TEST(Timeline, ChangeLineFormat) {
    EXPECT_EQ(tray_host::changeLine(0, zn::TrayGlyph::Armed), "      0 ms  armed");
    EXPECT_EQ(tray_host::changeLine(1514, zn::TrayGlyph::Triggered), "   1514 ms  triggered");
    EXPECT_EQ(tray_host::changeLine(9000, static_cast<zn::TrayGlyph>(7)), "   9000 ms  error");
}

}  // namespace

namespace {

TEST(Timeline, SecondsOnTheCommandLine) {
    using std::chrono::milliseconds;
    const std::pair<const char*, std::optional<milliseconds>> cases[] = {
        {"15", milliseconds(15'000)},
        {"0.5", milliseconds(500)},
        {".25", milliseconds(250)},
        {"2.", milliseconds(2'000)},
        {"86400", milliseconds(86'400'000)},
        {"0", std::nullopt},
        {"86400.001", std::nullopt},
        {"1.0001", std::nullopt},
        {"-1", std::nullopt},
        {"", std::nullopt},
        {".", std::nullopt},
        {"1e3", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(tray_host::parseSeconds(text), expected) << text;
    }
}

}  // namespace
