#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "stderr_capture.h"
#include "zentra/logger.h"

#if !defined(_WIN32)
#include <sys/socket.h>
#endif

namespace {

using zentra::common::ConsoleLogger;
using zentra::common::formatLogLine;
using zentra::common::LogLevel;

LogLevel lv(int value) {
    return static_cast<LogLevel>(value);
}

std::tm timeOfDay(int h, int m, int s) {
    std::tm t{};
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(text.substr(start, nl - start));
    }
    EXPECT_EQ(start, text.size()) << "output ends inside a line";
    return lines;
}

struct FormatCase {
    int h, m, s;
    std::int64_t ms;
    int level;
    std::string message;
    std::string expected;
};

TEST(FormatLogLine, FixedTimes) {
    const FormatCase cases[] = {
        {0, 0, 0, 5, 2, "abc", "[00:00:00.005] [INFO] abc\n"},
        {23, 59, 59, 999, 3, "abc", "[23:59:59.999] [WARN] abc\n"},
        {9, 5, 3, 7, 3, "abc", "[09:05:03.007] [WARN] abc\n"},
        {12, 30, 45, 0, 4, "", "[12:30:45.000] [ERROR] \n"},
        {1, 2, 3, 40, 5, "two\nlines", "[01:02:03.040] [FATAL] two\nlines\n"},
        {10, 10, 10, 100, 0, std::string("nul\0inside", 10),
         std::string("[10:10:10.100] [TRACE] nul\0inside\n", 34)},
        {0, 0, 60, 999, 1, "leap second", "[00:00:60.999] [DEBUG] leap second\n"},
        {0, 0, 0, 0, 6, "x", "[00:00:00.000] [UNKNOWN] x\n"},
        {0, 0, 0, 0, -1, "x", "[00:00:00.000] [UNKNOWN] x\n"},
        {0, 0, 0, 0, INT_MIN, "x", "[00:00:00.000] [UNKNOWN] x\n"},
        {0, 0, 0, 0, INT_MAX, "x", "[00:00:00.000] [UNKNOWN] x\n"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(formatLogLine(timeOfDay(c.h, c.m, c.s), c.ms, lv(c.level), c.message),
                  c.expected);
    }
}

TEST(FormatLogLine, MessageIsTakenByLengthNotTerminator) {
    const char buffer[] = "abcdef";
    EXPECT_EQ(formatLogLine(timeOfDay(0, 0, 0), 0, LogLevel::Info, std::string_view(buffer, 3)),
              "[00:00:00.000] [INFO] abc\n");
}

TEST(LevelName, EveryLevelAndOutOfRange) {
    const std::pair<int, const char*> names[] = {
        {0, "TRACE"}, {1, "DEBUG"},   {2, "INFO"},     {3, "WARN"},          {4, "ERROR"},
        {5, "FATAL"}, {6, "UNKNOWN"}, {-1, "UNKNOWN"}, {INT_MIN, "UNKNOWN"}, {INT_MAX, "UNKNOWN"},
    };
    for (const auto& [value, name] : names) {
        EXPECT_STREQ(zentra::common::levelName(lv(value)), name) << value;
    }
}

TEST(LocalTime, FailureGivesZeros) {
    std::tm out;
    std::memset(&out, 0x5a, sizeof out);
    // Far beyond any representable year: the conversion fails.
    EXPECT_FALSE(zentra::common::toLocalTime(std::numeric_limits<std::time_t>::max(), out));
    EXPECT_EQ(out.tm_hour, 0);
    EXPECT_EQ(out.tm_min, 0);
    EXPECT_EQ(out.tm_sec, 0);
    EXPECT_EQ(out.tm_year, 0);
}

// Which of the levels -2..6 a logger writes, after an optional setLevel.
struct FilterCase {
    const char* name;
    bool setMin;
    int minLevel;
    std::vector<int> written;
};

TEST(ConsoleLoggerFilter, WritesExactlyTheLevelsAtOrAboveTheMinimum) {
    const FilterCase cases[] = {
        {"default", false, 0, {2, 3, 4, 5, 6}},
        {"fatal", true, 5, {5, 6}},
        {"minus_one", true, -1, {-1, 0, 1, 2, 3, 4, 5, 6}},
        {"trace", true, 0, {0, 1, 2, 3, 4, 5, 6}},
        {"above_fatal", true, 7, {}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleLogger logger;
        EXPECT_EQ(logger.level(), LogLevel::Info);
        if (c.setMin) {
            logger.setLevel(lv(c.minLevel));
            EXPECT_EQ(logger.level(), lv(c.minLevel));
        }
        StderrCapture capture;
        for (int level = -2; level <= 6; ++level) {
            logger.log(lv(level), "m" + std::to_string(level));
        }
        std::vector<std::string> got;
        for (const std::string& line : splitLines(capture.text())) {
            got.push_back(line.substr(line.rfind(' ') + 1));
        }
        std::vector<std::string> want;
        for (int level : c.written) {
            want.push_back("m" + std::to_string(level));
        }
        EXPECT_EQ(got, want);
    }
}

int secondsOfDay(const std::tm& t) {
    return t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

// From the clock the logger reads: std::time may read a coarser one that lags it by a tick, so a
// line stamped just after a second begins would seem to come after `after`.
std::tm localNow() {
    const std::time_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    std::tm t{};
    zentra::common::toLocalTime(now, t);
    return t;
}

TEST(ConsoleLoggerLine, ShowsLocalTimeOfTheCall) {
    const std::regex form(R"(\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] \[WARN\] hello)");
    ConsoleLogger logger;
    const std::tm before = localNow();
    StderrCapture capture;
    logger.log(LogLevel::Warn, "hello");
    const std::string text = capture.text();
    const std::tm after = localNow();

    std::smatch m;
    const std::string line = text.substr(0, text.size() - 1);
    ASSERT_TRUE(std::regex_match(line, m, form)) << text;
    const int stamp = std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]);
    if (secondsOfDay(after) >= secondsOfDay(before)) {  // not across midnight
        EXPECT_GE(stamp, secondsOfDay(before));
        EXPECT_LE(stamp, secondsOfDay(after));
    }
}

void setTimeZone(const char* tz) {
#if defined(_WIN32)
    _putenv_s("TZ", tz);
    _tzset();
#else
    setenv("TZ", tz, 1);
    tzset();
#endif
}

void restoreTimeZone(bool wasSet, const std::string& value) {
    if (wasSet) {
        setTimeZone(value.c_str());
        return;
    }
#if defined(_WIN32)
    _putenv_s("TZ", "");
    _tzset();
#else
    unsetenv("TZ");
    tzset();
#endif
}

// A change of time zone shows in the very next line, even within the same second.
TEST(ConsoleLoggerLine, FollowsATimeZoneChangeAtOnce) {
    const char* saved = std::getenv("TZ");
    const std::string restore = saved != nullptr ? saved : "";
    ConsoleLogger logger;
    const std::regex form(R"(\[(\d\d):(\d\d):(\d\d)\.\d{3}\] \[WARN\] (\w+)\n)");
    bool sameSecond = false;
    for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
        std::string lines[2];
        for (int i = 0; i < 2; ++i) {
            setTimeZone(i == 0 ? "AAA0" : "BBB-5");  // UTC, then five hours east of it
            StderrCapture capture;
            logger.log(LogLevel::Warn, "zone");
            lines[i] = capture.text();
        }
        std::smatch utc;
        std::smatch east;
        ASSERT_TRUE(std::regex_match(lines[0], utc, form)) << lines[0];
        ASSERT_TRUE(std::regex_match(lines[1], east, form)) << lines[1];
        sameSecond = utc[3] == east[3];
        if (sameSecond) {
            EXPECT_EQ((std::stoi(utc[1]) + 5) % 24, std::stoi(east[1]));
            EXPECT_EQ(utc[2], east[2]);
        }
    }
    EXPECT_TRUE(sameSecond);
    restoreTimeZone(saved != nullptr, restore);
}

// Each stamp lies between the clock, read just before and just after the call, both rounded
// down to the millisecond (in UTC, so the stamp is the clock's own time of day). The lines are
// logged in both halves of a second, where rounding the second or the millisecond would show.
TEST(ConsoleLoggerLine, StampLiesBetweenFlooredClockReadings) {
    using namespace std::chrono;
    const char* saved = std::getenv("TZ");
    const std::string restore = saved != nullptr ? saved : "";
    setTimeZone("UTC0");
    const std::regex form(R"(\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] \[WARN\] t)");
    const auto msOfDay = [](system_clock::time_point t) {
        return floor<milliseconds>(t.time_since_epoch()).count() % 86'400'000;
    };
    ConsoleLogger logger;
    std::vector<std::pair<long long, long long>> readings;  // the clock before and after a line
    bool firstHalf = false;
    bool secondHalf = false;
    StderrCapture capture;
    for (int i = 0; i < 50 || !firstHalf || !secondHalf; ++i) {
        if (i >= 50) {
            std::this_thread::sleep_for(milliseconds(5));
        }
        const auto low = msOfDay(system_clock::now());
        logger.log(LogLevel::Warn, "t");
        readings.emplace_back(low, msOfDay(system_clock::now()));
        (low % 1000 < 500 ? firstHalf : secondHalf) = true;
    }
    const std::vector<std::string> lines = splitLines(capture.text());
    ASSERT_EQ(lines.size(), readings.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, form)) << lines[i];
        const long long stamp =
            ((std::stoll(m[1]) * 60 + std::stoll(m[2])) * 60 + std::stoll(m[3])) * 1000 +
            std::stoll(m[4]);
        const auto [low, high] = readings[i];
        if (low <= high) {  // not across midnight
            EXPECT_GE(stamp, low) << lines[i];
            EXPECT_LE(stamp, high) << lines[i];
        }
    }
    restoreTimeZone(saved != nullptr, restore);
}

TEST(ConsoleLoggerLine, LeavesStreamFormattingAsFound) {
    ConsoleLogger logger;
    std::cerr << std::setfill('*') << std::hex << std::showbase << std::left;
    std::cerr.width(9);
    const auto flags = std::cerr.flags();
    StderrCapture capture;
    logger.log(LogLevel::Error, "formatted?");
    const std::string line = capture.text();
    EXPECT_EQ(std::cerr.fill(), '*');
    EXPECT_EQ(std::cerr.width(), 9);
    EXPECT_EQ(std::cerr.flags(), flags);
    EXPECT_EQ(line.size(), std::string("[00:00:00.000] [ERROR] formatted?\n").size()) << line;

    std::cerr.width(0);
    std::cerr.fill(' ');
    std::cerr.flags(std::ios_base::dec | std::ios_base::skipws);
}

#if !defined(_WIN32)
// A sequenced-packet socket keeps the boundary of every write, so each received packet is
// exactly one write system call.
TEST(ConsoleLoggerLine, OneWriteSystemCallPerLine) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    std::cerr.flush();
    const int saved = dup(2);
    dup2(fds[0], 2);

    ConsoleLogger logger;
    const std::string longMessage(6000, 'x');
    logger.log(LogLevel::Info, "first");
    logger.log(LogLevel::Warn, longMessage);
    logger.log(LogLevel::Error, "third\nhas two lines");

    dup2(saved, 2);
    close(saved);
    close(fds[0]);
    std::vector<std::string> packets;
    std::vector<char> buf(65536);
    ssize_t n;
    while ((n = recv(fds[1], buf.data(), buf.size(), MSG_DONTWAIT)) > 0) {
        packets.emplace_back(buf.data(), static_cast<std::size_t>(n));
    }
    close(fds[1]);

    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].substr(14), " [INFO] first\n");
    EXPECT_EQ(packets[1].substr(14), " [WARN] " + longMessage + "\n");
    EXPECT_EQ(packets[2].substr(14), " [ERROR] third\nhas two lines\n");
}
#endif

// Every line whole and none lost, with threads logging through one shared logger and through
// two loggers of their own (the lock is process-wide, not per logger).
TEST(ConsoleLoggerThreads, LinesNeverInterleave) {
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    for (const bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "one logger" : "two loggers");
        ConsoleLogger a;
        ConsoleLogger b;
        StderrCapture capture;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            ConsoleLogger& logger = (shared || t % 2 == 0) ? a : b;
            threads.emplace_back([&logger, t] {
                for (int i = 0; i < kLines; ++i) {
                    logger.log(LogLevel::Warn, "thread " + std::to_string(t) + " line " +
                                                   std::to_string(i) + std::string(40, '.'));
                }
            });
        }
        for (std::thread& th : threads) {
            th.join();
        }
        const std::regex form(
            R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[WARN\] thread (\d) line (\d+)\.{40})");
        std::set<std::string> seen;
        for (const std::string& line : splitLines(capture.text())) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, form)) << line;
            seen.insert(m[1].str() + ":" + m[2].str());
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
    }
}

// The lock is exclusive, and try_lock says whether it got it.
TEST(LogMutex, TryLockTakesOnlyAFreeLock) {
    auto& mutex = zentra::common::logMutex;
    const auto tryFromAnotherThread = [] {
        bool got = false;
        std::thread([&got] {
            got = zentra::common::logMutex.try_lock();
            if (got) {
                zentra::common::logMutex.unlock();
            }
        }).join();
        return got;
    };
    EXPECT_TRUE(tryFromAnotherThread());
    mutex.lock();
    EXPECT_FALSE(tryFromAnotherThread());
    mutex.unlock();
    ASSERT_TRUE(mutex.try_lock());
    EXPECT_FALSE(tryFromAnotherThread());
    mutex.unlock();
}

// A filtered message must not touch the lock: with the lock held elsewhere it still returns.
TEST(ConsoleLoggerFilter, DroppedMessageTakesNoLock) {
    ConsoleLogger logger;
    std::lock_guard<zentra::common::LogMutex> held(zentra::common::logMutex);
    std::thread other([&logger] {
        for (int i = 0; i < 1000; ++i) {
            logger.log(LogLevel::Debug, "dropped");
        }
    });
    other.join();
}

}  // namespace
