#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "recording_logger.h"
#include "stderr_capture.h"
#include "zentra/log_sinks.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

namespace fs = std::filesystem;
using zentra::common::CallbackLogger;
using zentra::common::FanOutLogger;
using zentra::common::FileLogger;
using zentra::common::FileLoggerOptions;
using zentra::common::LogLevel;
using zentra::common::rotatedLogPath;

// A folder of its own for one test, removed afterwards.
struct TempFolder {
    fs::path path;
    explicit TempFolder(const std::string& name) {
        path = fs::temp_directory_path() /
               ("zentra-" + name + "-" + std::to_string(std::random_device{}()));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path / "app.log", fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The messages of a log file's lines, in order ("" for a file that is missing).
std::string messagesIn(const fs::path& file) {
    if (!fs::exists(file)) {
        return "missing";
    }
    static const std::regex line(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[[A-Z]+\] ([^\n]*)\n)");
    std::string text = readFile(file);
    std::string messages;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
        messages += (messages.empty() ? "" : ",") + (*it)[1].str();
    }
    EXPECT_EQ(std::regex_replace(text, line, ""), "") << "not whole lines: " << text;
    return messages;
}

TEST(RotatedLogPath, NamesOfOlderFiles) {
    const struct {
        const char* file;
        int generation;
        const char* expected;
    } cases[] = {
        {"tray-host.log", 1, "tray-host.1.log"},
        {"logs/tray-host.log", 2, "logs/tray-host.2.log"},
        {"a.b.log", 1, "a.b.1.log"},
        {"noext", 1, "noext.1"},
        {"tray-host.log", 0, "tray-host.log"},
        {"tray-host.log", -1, "tray-host.log"},
        {"logs/tray-host.log", 10, "logs/tray-host.10.log"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rotatedLogPath(c.file, c.generation), fs::path(c.expected))
            << c.file << " " << c.generation;
    }
}

// Every line is 40 bytes: a 22-byte stamp and level, "line N" padded to 17, a line feed.
TEST(FileLogger, RotatesBeforeALineWouldPassTheLimit) {
    const struct {
        std::uint64_t maxBytes;
        int keptFiles;
        int lines;
        std::size_t existingBytes;  // in the file before the logger opens it
        const char* current;
        const char* first;
        const char* second;
    } cases[] = {
        {80, 3, 5, 0, "line 5", "line 3,line 4", "line 1,line 2"},
        {79, 3, 3, 0, "line 3", "line 2", "line 1"},
        {80, 3, 7, 0, "line 7", "line 5,line 6", "line 3,line 4"},
        {1000, 3, 3, 0, "line 1,line 2,line 3", "missing", "missing"},
        {80, 1, 3, 0, "line 3", "missing", "missing"},
        {80, 2, 5, 0, "line 5", "line 3,line 4", "missing"},
        {10, 3, 2, 0, "line 2", "line 1", "missing"},  // longer than the limit: written whole
        {80, 3, 1, 40, "old,line 1", "missing", "missing"},
        {80, 3, 1, 41, "line 1", "old", "missing"},
        {80, 0, 3, 0, "line 3", "missing", "missing"},  // 0 kept counts as 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.maxBytes << " " << c.keptFiles << " " << c.lines << " "
                                        << c.existingBytes);
        TempFolder folder("rotation");
        const fs::path file = folder.path / "app.log";
        if (c.existingBytes > 0) {
            std::ofstream(file, std::ios::binary)
                << "[00:00:00.000] [INFO] old" << std::string(c.existingBytes - 26, ' ') << "\n";
        }
        {
            FileLoggerOptions options;
            options.maxBytes = c.maxBytes;
            options.keptFiles = c.keptFiles;
            FileLogger logger(file, options);
            for (int i = 1; i <= c.lines; ++i) {
                logger.log(LogLevel::Info, "line " + std::to_string(i) + std::string(11, ' '));
            }
            EXPECT_EQ(logger.droppedLines(), 0u);
        }
        auto trimmed = [](const std::string& s) {
            return std::regex_replace(s, std::regex(" +(,|$)"), "$1");
        };
        EXPECT_EQ(trimmed(messagesIn(file)), c.current);
        EXPECT_EQ(trimmed(messagesIn(rotatedLogPath(file, 1))), c.first);
        EXPECT_EQ(trimmed(messagesIn(rotatedLogPath(file, 2))), c.second);
        EXPECT_FALSE(fs::exists(rotatedLogPath(file, 3)));
    }
}

TEST(FileLogger, WritesTheLevelsAtOrAboveItsOwnAndMakesTheFolder) {
    TempFolder folder("levels");
    const fs::path file = folder.path / "made" / "here" / "app.log";
    FileLoggerOptions options;
    options.level = LogLevel::Warn;
    FileLogger logger(file, options);
    logger.log(LogLevel::Info, "info");
    logger.log(LogLevel::Warn, "warn");
    logger.log(LogLevel::Error, "error");
    logger.setLevel(LogLevel::Error);
    logger.log(LogLevel::Warn, "warn again");
    EXPECT_EQ(messagesIn(file), "warn,error");
    EXPECT_NE(readFile(file).find("] [WARN] warn\n"), std::string::npos);
}

// Letters from several scripts in the folder's and the file's names.
TEST(FileLogger, AnyLettersInThePath) {
    TempFolder folder("letters");
    const fs::path file =
        folder.path / fs::u8path(u8"Zürich ログ Ωμέγα") / fs::u8path(u8"тест.log");
    FileLogger logger(file);
    logger.log(LogLevel::Warn, u8"naïve message");
    EXPECT_EQ(messagesIn(file), u8"naïve message");
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path)) {
        found.push_back(entry.path());
    }
    EXPECT_EQ(found, (std::vector<fs::path>{file.parent_path(), file}));
}

// A file that cannot take lines, then (where the obstacle can be taken away) can: the lines in
// between are dropped, counted, reported once, and owned up to in the file afterwards.
TEST(FileLogger, DropsCountsAndReportsOnceWhileTheFileCannotTakeLines) {
    struct Obstacle {
        const char* name;
        // Puts the obstacle in `folder` and names the file it blocks; empty: not here (skipped).
        std::function<fs::path(const fs::path& folder)> block;
        std::function<void(const fs::path& folder)> unblock;  // empty: it stays
        const char* report;
    };
#if defined(_WIN32)
    static HANDLE held = INVALID_HANDLE_VALUE;
#endif
    const Obstacle obstacles[] = {
        {"a file where its folder should be",
         [](const fs::path& folder) {
             std::ofstream(folder / "blocker") << "not a folder";
             return folder / "blocker" / "app.log";
         },
         [](const fs::path& folder) { fs::remove(folder / "blocker"); }, "cannot be opened"},
        {"a read-only file",
         [](const fs::path& folder) {
             std::ofstream(folder / "app.log") << "";
             fs::permissions(folder / "app.log", fs::perms::owner_read | fs::perms::group_read);
             const bool writable = std::ofstream(folder / "app.log", std::ios::app).is_open();
             return writable ? fs::path() : folder / "app.log";  // root on Linux writes it
         },
         [](const fs::path& folder) { fs::permissions(folder / "app.log", fs::perms::owner_all); },
         "cannot be opened"},
#if defined(_WIN32)
        {"a file another program holds without sharing writes",
         [](const fs::path& folder) {
             held = CreateFileW((folder / "app.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
             return held != INVALID_HANDLE_VALUE ? folder / "app.log" : fs::path();
         },
         [](const fs::path&) { CloseHandle(held); }, "cannot be opened (error 32)"},
#else
        {"a full disk",
         [](const fs::path&) {
             return fs::exists("/dev/full") ? fs::path("/dev/full") : fs::path();
         },
         nullptr, "cannot be written (error 28)"},
#endif
    };
    for (const Obstacle& obstacle : obstacles) {
        SCOPED_TRACE(obstacle.name);
        TempFolder folder("blocked");
        const fs::path file = obstacle.block(folder.path);
        if (file.empty()) {
            std::printf("skipped here: %s\n", obstacle.name);
            continue;
        }
        auto problems = std::make_shared<RecordingLogger>();
        FileLoggerOptions options;
        options.problems = problems;
        FileLogger logger(file, options);
        logger.log(LogLevel::Warn, "lost 1");
        logger.log(LogLevel::Error, "lost 2");
        EXPECT_EQ(logger.droppedLines(), 2u);
        ASSERT_EQ(problems->lines.size(), 1u);
        EXPECT_EQ(problems->lines[0].level, LogLevel::Warn);
        EXPECT_NE(problems->lines[0].text.find(obstacle.report), std::string::npos)
            << problems->lines[0].text;
        if (obstacle.unblock) {
            obstacle.unblock(folder.path);
            logger.log(LogLevel::Warn, "kept");
            logger.log(LogLevel::Warn, "kept too");
            EXPECT_EQ(messagesIn(file),
                      "2 log lines were dropped: this file could not take them,kept,kept too");
            EXPECT_EQ(logger.droppedLines(), 2u);
            EXPECT_EQ(problems->lines.size(), 1u);
        }
    }
}

#if defined(_WIN32)
HANDLE holder = INVALID_HANDLE_VALUE;
#endif

// Makes the `generation`th file of a log impossible to rename: another program holds it without
// sharing its deletion (natively, a folder that is not empty stands where it would go).
bool holdGeneration(const fs::path& file, int generation) {
#if defined(_WIN32)
    holder = CreateFileW(rotatedLogPath(file, generation).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return holder != INVALID_HANDLE_VALUE;
#else
    // The file itself goes first to the name after the kept ones (3 here).
    fs::create_directories(rotatedLogPath(file, generation == 0 ? 3 : generation + 1) / "x");
    return true;
#endif
}

void releaseGeneration(const fs::path& file, int generation) {
#if defined(_WIN32)
    static_cast<void>(file);
    static_cast<void>(generation);
    CloseHandle(holder);
#else
    fs::remove_all(rotatedLogPath(file, generation == 0 ? 3 : generation + 1));
#endif
}

// The file disturbed while the logger writes it, lines of 40 bytes, 2 to a file: every line is in
// a file whole, or counted as dropped; what happened is reported once; no older file is lost.
TEST(FileLogger, KeepsEveryLineWhenTheFileIsDisturbed) {
    struct Row {
        const char* name;
        std::uint64_t maxBytes;
        int keptFiles;
        // After "line 1"; returns false where it cannot be done here (skipped).
        std::function<bool(const fs::path& file)> disturb;
        std::function<void(const fs::path& file)> undo;  // after "line 4"; then "line 5"
        const char* current;
        const char* first;
        const char* second;
        std::uint64_t dropped;
        const char* report;  // in the one report; null: none
        // How often the logger looks at its path (0: before every line), and a pause after
        // "line 2" (a line logged past the period looks).
        int checkPathEveryMs = 0;
        int pauseMs = 0;
        // Also right for `current` where a deleted file stays at its path until its last handle
        // closes (Wine): the file the logger holds.
        const char* currentHeld = nullptr;
    };
    const char* afresh = "this log file was deleted or replaced while in use; it starts afresh";
    const std::string afreshThen = std::string(afresh) + ",line 2,line 3";
    const std::string afreshThen3 = std::string(afresh) + ",line 3,line 4";
    const std::string otherThen = "other," + std::string(afresh) + ",line 2";
    const Row rows[] = {
        {"deleted", 200, 3, [](const fs::path& file) { return fs::remove(file); }, nullptr,
         "line 4,line 5", afreshThen.c_str(), "older 1", 0, "was deleted or replaced"},
        {"replaced", 200, 3,
         [](const fs::path& file) {
             fs::rename(file, file.parent_path() / "moved.log");
             std::ofstream(file, std::ios::binary)
                 << "[00:00:00.000] [INFO] other" + std::string(12, ' ') + "\n";
             return true;
         },
         nullptr, "line 3,line 4,line 5", otherThen.c_str(), "older 1", 0,
         "was deleted or replaced"},
        // Looking at the path once a period: what is logged within it after a deletion goes to
        // the deleted file, and the first line past it to a new one.
        {"deleted, a look each 200 ms", 200, 3,
         [](const fs::path& file) { return fs::remove(file); }, nullptr, "line 5",
         afreshThen3.c_str(), "older 1", 0, "was deleted or replaced", 200, 400},
        {"deleted, a look each hour", 200, 3, [](const fs::path& file) { return fs::remove(file); },
         nullptr, "missing", "older 1", "missing", 0, nullptr, 3600 * 1000, 0,
         "line 1,line 2,line 3,line 4,line 5"},
        // Rotation cannot move the file away, or an older one up: the file grows, and the older
        // files stay as they were.
        {"held", 80, 3, [](const fs::path& file) { return holdGeneration(file, 0); },
         [](const fs::path& file) { releaseGeneration(file, 0); }, "line 5",
         "line 1,line 2,line 3,line 4", "older 1", 0, "cannot be rotated"},
        {"older held", 80, 3, [](const fs::path& file) { return holdGeneration(file, 1); },
         [](const fs::path& file) { releaseGeneration(file, 1); }, "line 5",
         "line 1,line 2,line 3,line 4", "older 1", 0, "cannot be rotated"},
        // More files than a log keeps: the most are kept, with one warning.
        {"too many kept", 80, 101, [](const fs::path&) { return true; }, nullptr, "line 5",
         "line 3,line 4", "line 1,line 2", 0, "keptFiles 101 is more than the 100"},
#if !defined(_WIN32)
        // A full disk (here the process's file size limit) takes "line 2" in part: it is taken
        // back, and counted.
        {"cut short", 1000, 3,
         [](const fs::path& file) {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit limit{};
             getrlimit(RLIMIT_FSIZE, &limit);
             limit.rlim_cur = static_cast<rlim_t>(fs::file_size(file) + 20);
             return setrlimit(RLIMIT_FSIZE, &limit) == 0;
         },
         nullptr,
         "line 1,1 log lines were dropped: this file could not take them,line 3,line 4,line 5",
         "older 1", "missing", 1, "cannot be written"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder("disturbed");
        const fs::path file = folder.path / "app.log";
        std::ofstream(rotatedLogPath(file, 1), std::ios::binary)
            << "[00:00:00.000] [INFO] older 1" + std::string(10, ' ') + "\n";
        // The oldest a log may keep: never moved further.
        std::ofstream(rotatedLogPath(file, zentra::common::kMaxKeptLogFiles - 1)) << "older 99\n";
        auto problems = std::make_shared<RecordingLogger>();
        FileLoggerOptions options;
        options.maxBytes = row.maxBytes;
        options.keptFiles = row.keptFiles;
        options.problems = problems;
        options.checkPathEvery = std::chrono::milliseconds(row.checkPathEveryMs);
        FileLogger logger(file, options);
        const auto line = [&logger](int n) {
            logger.log(LogLevel::Info, "line " + std::to_string(n) + std::string(11, ' '));
        };
        line(1);
        if (!row.disturb(file)) {
            std::printf("skipped here: %s\n", row.name);
            continue;
        }
        for (int n = 2; n <= 4; ++n) {
            line(n);
            if (n == 2) {
                std::this_thread::sleep_for(std::chrono::milliseconds(row.pauseMs));
            }
#if !defined(_WIN32)
            rlimit unlimited{};  // a full disk for one line at the most
            getrlimit(RLIMIT_FSIZE, &unlimited);
            unlimited.rlim_cur = unlimited.rlim_max;
            setrlimit(RLIMIT_FSIZE, &unlimited);
#endif
        }
        if (row.undo) {
            row.undo(file);
        }
        line(5);
        const auto trimmed = [](const std::string& s) {
            return std::regex_replace(s, std::regex(" +(,|$)"), "$1");
        };
        const std::string current = trimmed(messagesIn(file));
        EXPECT_TRUE(current == row.current || (row.currentHeld && current == row.currentHeld))
            << current;
        EXPECT_EQ(trimmed(messagesIn(rotatedLogPath(file, 1))), row.first);
        EXPECT_EQ(trimmed(messagesIn(rotatedLogPath(file, 2))), row.second);
        EXPECT_FALSE(fs::exists(rotatedLogPath(file, zentra::common::kMaxKeptLogFiles)));
        EXPECT_EQ(logger.droppedLines(), row.dropped);
        ASSERT_EQ(problems->lines.size(), row.report ? 1u : 0u);
        if (row.report) {
            EXPECT_NE(problems->lines[0].text.find(row.report), std::string::npos)
                << problems->lines[0].text;
        }
    }
}

// With no logger named for problems, the first one goes to standard error as a console line.
TEST(FileLogger, ReportsToStandardErrorByDefault) {
    TempFolder folder("stderr");
    std::ofstream(folder.path / "blocker") << "not a folder";
    FileLogger logger(folder.path / "blocker" / "app.log");
    StderrCapture capture;
    logger.log(LogLevel::Warn, "lost 1");
    logger.log(LogLevel::Warn, "lost 2");
    const std::string text = capture.text();
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[WARN\] log file .*app\.log cannot be )"
                         R"(opened \(error \d+\); its lines are dropped until it can be\r?\n)")))
        << text;
}

// Threads logging at once, with rotations among them: every line arrives whole, none twice.
TEST(FileLogger, LinesFromSeveralThreadsStayWhole) {
    TempFolder folder("threads");
    const fs::path file = folder.path / "app.log";
    {
        FileLoggerOptions options;
        options.maxBytes = 4096;
        options.keptFiles = 100;
        FileLogger logger(file, options);
        std::vector<std::thread> threads;
        threads.reserve(4);
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&logger, t] {
                for (int i = 0; i < 200; ++i) {
                    logger.log(LogLevel::Info, "t" + std::to_string(t) + " " + std::to_string(i));
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    std::size_t lines = 0;
    for (int generation = 0; fs::exists(rotatedLogPath(file, generation)); ++generation) {
        const std::string messages = messagesIn(rotatedLogPath(file, generation));
        lines += static_cast<std::size_t>(std::count(messages.begin(), messages.end(), ',')) + 1;
        EXPECT_LE(fs::file_size(rotatedLogPath(file, generation)), 4096u);
    }
    EXPECT_EQ(lines, 800u);
}

// Where an application's local data goes, read from the environment.
TEST(LocalAppDataFolder, FromTheEnvironment) {
#if defined(_WIN32)
    const struct {
        const wchar_t* localAppData;
        const char* expected;
    } cases[] = {{L"C:\\Users\\a\\AppData\\Local", "C:\\Users\\a\\AppData\\Local"}, {nullptr, ""}};
    const fs::path saved = zentra::common::localAppDataFolder();
    for (const auto& c : cases) {
        SetEnvironmentVariableW(L"LOCALAPPDATA", c.localAppData);
        EXPECT_EQ(zentra::common::localAppDataFolder(), fs::path(c.expected));
    }
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved.empty() ? nullptr : saved.c_str());
#else
    const struct {
        const char* state;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/x/state", "/h", "/x/state"},
        {nullptr, "/h", "/h/.local/state"},
        {"relative", "/h", "/h/.local/state"},
        {nullptr, "relative", ""},
        {nullptr, nullptr, ""},
    };
    auto set = [](const char* name, const char* value) {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    };
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    for (const auto& c : cases) {
        set("XDG_STATE_HOME", c.state);
        set("HOME", c.home);
        EXPECT_EQ(zentra::common::localAppDataFolder(), fs::path(c.expected))
            << (c.state ? c.state : "-") << " " << (c.home ? c.home : "-");
    }
    set("HOME", home != nullptr ? savedHome.c_str() : nullptr);
#endif
}

TEST(FanOutLogger, EachLoggerFiltersByItsOwnLevel) {
    auto info = std::make_shared<RecordingLogger>();
    auto error = std::make_shared<RecordingLogger>();
    info->min = LogLevel::Info;
    error->min = LogLevel::Error;
    // Callback loggers with levels of their own, each recording what it passes on.
    auto viaInfo = std::make_shared<CallbackLogger>(
        [info](LogLevel l, std::string_view m) { info->log(l, m); }, LogLevel::Info);
    auto viaError = std::make_shared<CallbackLogger>(
        [error](LogLevel l, std::string_view m) { error->log(l, m); }, LogLevel::Error);
    FanOutLogger fan({viaInfo, nullptr, viaError});
    EXPECT_EQ(fan.level(), LogLevel::Info);
    fan.log(LogLevel::Debug, "debug");
    fan.log(LogLevel::Warn, "warn");
    fan.log(LogLevel::Fatal, "fatal");
    EXPECT_EQ(info->texts(), (std::vector<std::string>{"warn", "fatal"}));
    EXPECT_EQ(error->texts(), (std::vector<std::string>{"fatal"}));

    fan.setLevel(LogLevel::Fatal);
    EXPECT_EQ(viaInfo->level(), LogLevel::Fatal);
    EXPECT_EQ(viaError->level(), LogLevel::Fatal);
    viaError->setLevel(LogLevel::Warn);
    EXPECT_EQ(fan.level(), LogLevel::Warn);
    EXPECT_EQ(FanOutLogger({}).level(), LogLevel::Fatal);
}

TEST(CallbackLogger, PassesLevelAndUnformattedMessage) {
    std::vector<LoggedLine> got;
    CallbackLogger logger(
        [&got](LogLevel l, std::string_view m) {
            got.push_back({l, std::string(m)});
        },
        LogLevel::Warn);
    logger.log(LogLevel::Info, "dropped");
    logger.log(LogLevel::Warn, "kept");
    logger.log(static_cast<LogLevel>(99), "odd level");
    EXPECT_EQ(got, (std::vector<LoggedLine>{{LogLevel::Warn, "kept"},
                                            {static_cast<LogLevel>(99), "odd level"}}));
    CallbackLogger empty(nullptr);
    empty.log(LogLevel::Fatal, "no function: nothing happens");
}

#if defined(_WIN32)
// OutputDebugStringW raises an exception a debugger takes the text from; a handler of our own
// stands in for the debugger and keeps each text. Windows 10 raises the UTF-16 text (and the ANSI
// one only when nobody took that); Wine raises the text in the ANSI code page only.
std::wstring debuggerText;
LONG CALLBACK catchDebugString(EXCEPTION_POINTERS* info) {
    constexpr DWORD kWideDebugString = 0x4001000A;
    constexpr DWORD kDebugString = 0x40010006;
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (record.NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const auto length = record.ExceptionInformation[0] - 1;  // the terminator included
    if (record.ExceptionCode == kWideDebugString) {
        debuggerText.append(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]),
                            length);
    } else if (record.ExceptionCode == kDebugString) {
        const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        debuggerText.append(text, text + length);
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(DebuggerLogger, SendsTheConsoleLoggersLine) {
    void* handler = AddVectoredExceptionHandler(1, catchDebugString);
    zentra::common::DebuggerLogger logger;
    logger.log(LogLevel::Debug, "not sent");
    logger.log(LogLevel::Info, "at its level");
    logger.log(LogLevel::Warn, "to the debugger");
    RemoveVectoredExceptionHandler(handler);
    const std::wregex line(
        LR"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[INFO\] at its level\n)"
        LR"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[WARN\] to the debugger\n)");
    EXPECT_TRUE(std::regex_match(debuggerText, line)) << debuggerText.size();
}
#endif

}  // namespace
