#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <sstream>
#include <string>

#include "recording_logger.h"
#include "stderr_capture.h"
#include "zentra/log.h"

namespace {

using namespace zentra::common;

// Runs before any test can replace it: what start-up installed.
TEST(ProcessLogger, StartsAsAConsoleLoggerAtInfo) {
    const std::shared_ptr<ILogger> logger = getLogger();
    ASSERT_NE(logger, nullptr);
    EXPECT_NE(dynamic_cast<ConsoleLogger*>(logger.get()), nullptr);
    EXPECT_EQ(logger->level(), LogLevel::Info);

    StderrCapture capture;
    logWarn("startup ", 42u);
    logAt(LogLevel::Debug, "composed but dropped");
    const std::string text = capture.text();
    EXPECT_TRUE(
        std::regex_match(text, std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[WARN\] startup 42\n)")))
        << text;
}

TEST(ProcessLogger, EmptyHandleIsIgnored) {
    ScopedRecordingLogger recorder;
    setLogger(nullptr);
    setLogger(std::shared_ptr<ILogger>());
    logWarn("still here");
    EXPECT_EQ(recorder->texts(), std::vector<std::string>{"still here"});
}

TEST(ProcessLogger, ReplacementAndHandleLifetimes) {
    const std::shared_ptr<ILogger> original = getLogger();
    bool firstGone = false;
    bool secondGone = false;
    auto first = std::make_shared<RecordingLogger>(&firstGone);
    setLogger(first);
    std::shared_ptr<ILogger> held = getLogger();
    EXPECT_EQ(held.get(), first.get());
    first.reset();

    setLogger(std::make_shared<RecordingLogger>(&secondGone));
    logMessage(LogLevel::Error, "to the second");
    EXPECT_FALSE(firstGone) << "a handle from getLogger keeps the old logger alive";
    held->log(LogLevel::Info, "old one still usable");
    auto* old = static_cast<RecordingLogger*>(held.get());
    EXPECT_EQ(old->texts(), std::vector<std::string>{"old one still usable"});
    auto* second = static_cast<RecordingLogger*>(getLogger().get());
    EXPECT_EQ(second->lines, (std::vector<LoggedLine>{{LogLevel::Error, "to the second"}}));
    held.reset();
    EXPECT_TRUE(firstGone);

    // The previous logger dies inside setLogger when nothing else holds it.
    setLogger(original);
    EXPECT_TRUE(secondGone);
}

TEST(ProcessLogger, PassesLevelsThroughUnfiltered) {
    ScopedRecordingLogger recorder;
    recorder->min = LogLevel::Fatal;
    logMessage(static_cast<LogLevel>(-7), "low");
    logAt(LogLevel::Trace, "trace");
    logWarn("warn");
    EXPECT_EQ(recorder->lines, (std::vector<LoggedLine>{{static_cast<LogLevel>(-7), "low"},
                                                        {LogLevel::Trace, "trace"},
                                                        {LogLevel::Warn, "warn"}}));
}

// logEnabled answers as the logger's own filter would, signed levels included.
TEST(ProcessLogger, LogEnabledFollowsTheLoggersLevel) {
    ScopedRecordingLogger recorder;
    const LogLevel levels[] = {static_cast<LogLevel>(-7), LogLevel::Trace, LogLevel::Warn,
                               LogLevel::Fatal, static_cast<LogLevel>(9)};
    for (const LogLevel min : levels) {
        recorder->min = min;
        for (const LogLevel level : levels) {
            EXPECT_EQ(logEnabled(level), static_cast<int>(level) >= static_cast<int>(min))
                << static_cast<int>(level) << " against " << static_cast<int>(min);
        }
    }
}

struct OpaqueIcon;  // an opaque handle type, as the platform's icon handles are
using Handle = OpaqueIcon*;

std::string pointerForm(const void* p) {
    std::ostringstream oss;
    oss << p;
    return oss.str();
}

TEST(Composers, PieceSequencesTheSystemUses) {
    ScopedRecordingLogger recorder;
    const std::uint32_t zero = 0;
    const std::uint32_t maxCode = 4294967295u;
    const unsigned long longCode = 5;  // the platform's DWORD may be unsigned long
    Handle null = nullptr;
    auto* some =
        reinterpret_cast<Handle>(std::uintptr_t{0x1234});  // NOLINT(performance-no-int-to-ptr)

    logWarn("initTrayIcons: PathCombineW failed for relPath");
    logWarn("f (GLE=", zero, ")");
    logWarn("f (GLE=", maxCode, ")");
    logWarn("f (GLE=", longCode, ")");
    logWarn("p (armed=", some, ", triggered=", null, ", error=", null, ")");

    const std::vector<std::string> expected = {
        "initTrayIcons: PathCombineW failed for relPath",
        "f (GLE=0)",
        "f (GLE=4294967295)",
        "f (GLE=5)",
        "p (armed=" + pointerForm(some) + ", triggered=" + pointerForm(nullptr) +
            ", error=" + pointerForm(nullptr) + ")",
    };
    EXPECT_EQ(recorder->texts(), expected);
    for (const LoggedLine& line : recorder->lines) {
        EXPECT_EQ(line.level, LogLevel::Warn);
    }
}

}  // namespace
