// The engine link on real named pipes under Wine: a publisher and links in one process, a reader
// that never reads, and a fake engine that sends what no engine should. Waits are bounded
// generously; the times they took are printed, not judged.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pipe_windows.h"
#include "zentra/engine_link.h"
#include "zentra/engine_publisher.h"
#include "zentra/engine_service.h"
#include "zentra/log.h"
#include "zentra/wire.h"

namespace {

using namespace std::chrono_literals;
using zentra::Snapshot;

// What a link delivered, from its thread.
struct Delivered {
    std::mutex mutex;
    Snapshot first;
    std::chrono::steady_clock::time_point firstAt;
    Snapshot last;
    int count = 0;
    void operator()(const Snapshot& s) {
        std::lock_guard<std::mutex> lock(mutex);
        if (count == 0) {
            first = s;
            firstAt = std::chrono::steady_clock::now();
        }
        last = s;
        ++count;
    }
    std::string reason() {
        std::lock_guard<std::mutex> lock(mutex);
        return last.state.lastError.value_or("");
    }
};

// The process's warnings, from any thread.
struct Warnings final : zentra::common::ILogger {
    std::mutex mutex;
    std::vector<std::string> lines;
    void log(zentra::common::LogLevel, std::string_view text) override {
        std::lock_guard<std::mutex> lock(mutex);
        lines.emplace_back(text);
    }
    void setLevel(zentra::common::LogLevel) override {}
    zentra::common::LogLevel level() const override { return zentra::common::LogLevel::Trace; }
    std::size_t count(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        std::size_t n = 0;
        for (const std::string& l : lines) {
            n += l.find(part) != std::string::npos ? 1U : 0U;
        }
        return n;
    }
};

// Waits for `done` (true) or 20 s (false), printing how long it took.
bool waitFor(const char* what, const std::function<bool()>& done) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > 20s) {
            std::printf("  %s: not within 20 s\n", what);
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    std::printf("  %s: %lld ms\n", what,
                static_cast<long long>((std::chrono::steady_clock::now() - start) / 1ms));
    return true;
}

// Every test logs into a fresh Warnings.
class EngineLink : public ::testing::Test {
  protected:
    void SetUp() override { zentra::common::setLogger(warnings); }
    void TearDown() override { zentra::common::setLogger(nullptr); }
    std::shared_ptr<Warnings> warnings = std::make_shared<Warnings>();
};

Snapshot numbered(int n) {
    Snapshot s;
    s.health.healthy = true;
    s.health.statusText = "snapshot " + std::to_string(n);
    return s;
}

// The CPU time this process has used, in microseconds.
double processCpuUs() {
    FILETIME created;
    FILETIME ended;
    FILETIME kernel;
    FILETIME user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto us = [](FILETIME t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               10.0;
    };
    return us(kernel) + us(user);
}

std::wstring pipePath(const std::wstring& name) {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return L"\\\\.\\pipe\\" + name + L".session" + std::to_wstring(session);
}

TEST_F(EngineLink, FollowsTheEngineThroughRestartsAndAFlood) {
    Delivered got;
    auto link = zentra::EngineLink::create(L"zentra-test.flood", std::ref(got));
    ASSERT_TRUE(link);
    ASSERT_TRUE(
        waitFor("no engine: not running", [&] { return got.reason() == "engine not running"; }));

    for (int run = 0; run < 2; ++run) {  // the engine started, ended, started again
        auto publisher = zentra::EnginePublisher::create(L"zentra-test.flood");
        ASSERT_TRUE(publisher);
        EXPECT_FALSE(zentra::EnginePublisher::create(L"zentra-test.flood"));
        zentra::EnginePublisherOptions badAccess;
        badAccess.admit = L"not an access list";
        EXPECT_FALSE(zentra::EnginePublisher::create(L"zentra-test.other", badAccess));
        EXPECT_EQ(warnings->count("another engine publishes under this name"),
                  static_cast<std::size_t>(run) + 1);
        publisher->publish(numbered(0));
        ASSERT_TRUE(waitFor("engine up: its snapshot", [&] {
            std::lock_guard<std::mutex> lock(got.mutex);
            return got.last == numbered(0);
        }));
        // 10,000 snapshots a second for 5 s (the first run; the second, a short one).
        std::chrono::nanoseconds slowest{0};
        const int total = run == 0 ? 50'000 : 500;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= total; ++i) {
            std::this_thread::sleep_until(start + i * 100us);
            const auto before = std::chrono::steady_clock::now();
            publisher->publish(numbered(i));
            slowest = std::max(slowest, std::chrono::steady_clock::now() - before);
        }
        std::printf("  %d snapshots published, the slowest publish took %lld us\n", total,
                    static_cast<long long>(slowest / 1us));
        EXPECT_TRUE(waitFor("the last one shown", [&] {
            std::lock_guard<std::mutex> lock(got.mutex);
            return got.last == numbered(total);
        }));
        publisher.reset();
        EXPECT_TRUE(waitFor("engine gone: not running",
                            [&] { return got.reason() == "engine not running"; }));
    }
    // An engine killed outright leaves its "listening" event set: the link clears it, rather
    // than trying again and again (a busy machine only makes the tries fewer).
    const HANDLE stale =
        OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\zentra-test.flood.listening");
    ASSERT_NE(stale, nullptr);
    SetEvent(stale);
    const auto downs = link->stats().downs;
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(link->stats().downs - downs, 3U);
    CloseHandle(stale);
    EXPECT_EQ(link->stats().connects, 2U);
    EXPECT_EQ(warnings->count("the access list is refused"), 2U);
}

// The access list Windows holds for `object`, as SDDL ("?" when it cannot be read).
std::wstring accessList(HANDLE object) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    LPWSTR text = nullptr;
    std::wstring sddl = L"?";
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &sd) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(
            sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        sddl = text;
        LocalFree(text);
    }
    LocalFree(sd);
    return sddl;
}

// What Windows holds of the link's security, read back: the access list of the pipe, the
// listening event and the claim (by default the engine's user alone; `admit` as given); a name
// another engine has claimed is refused. And how the pipe is made and opened, which Wine does not
// keep (remote readers refused, the first instance's claim, identification only): by the flags
// both sides use.
TEST_F(EngineLink, TheSecurityWindowsHolds) {
    const std::pair<std::wstring, std::wstring> lists[] = {
        {L"", L"D:P(A;;GA;;;" + zentra::link::ownUserSid() + L")"},
        {L"D:(A;;GA;;;IU)", L"D:(A;;GA;;;IU)"},
        {L"D:P(A;;GR;;;AU)(A;;GA;;;SY)", L"D:P(A;;GR;;;AU)(A;;GA;;;SY)"},
        // A service's: every interactive user may read, none may make an instance (0x4).
        {zentra::kServiceAdmit, L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)"},
    };
    for (const auto& [admit, expected] : lists) {
        SCOPED_TRACE(std::string(admit.begin(), admit.end()));
        zentra::EnginePublisherOptions options;
        options.admit = admit;
        auto publisher = zentra::EnginePublisher::create(L"zentra-test.acl", options);
        ASSERT_TRUE(publisher);
        const HANDLE pipe =
            CreateFileW(pipePath(L"zentra-test.acl").c_str(), GENERIC_READ | READ_CONTROL, 0,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        const HANDLE event = OpenEventW(READ_CONTROL, FALSE, L"Local\\zentra-test.acl.listening");
        const HANDLE claim = OpenMutexW(READ_CONTROL, FALSE, L"Local\\zentra-test.acl.engine");
        for (const HANDLE object : {pipe, event, claim}) {
            EXPECT_EQ(accessList(object), expected);
            CloseHandle(object);
        }
    }
    // Another engine's claim on the name (a process that publishes it): refused.
    const HANDLE other = CreateMutexW(nullptr, FALSE, L"Local\\zentra-test.claimed.engine");
    EXPECT_FALSE(zentra::EnginePublisher::create(L"zentra-test.claimed"));
    EXPECT_EQ(warnings->count("another engine publishes under this name"), 1U);
    CloseHandle(other);
    EXPECT_TRUE(zentra::EnginePublisher::create(L"zentra-test.claimed"));

    using namespace zentra::link;
    EXPECT_EQ(enginePipeMode() & PIPE_REJECT_REMOTE_CLIENTS, DWORD{PIPE_REJECT_REMOTE_CLIENTS});
    EXPECT_EQ(enginePipeMode() & PIPE_TYPE_MESSAGE, DWORD{PIPE_TYPE_MESSAGE});
    EXPECT_EQ(enginePipeOpenMode(true) & FILE_FLAG_FIRST_PIPE_INSTANCE,
              DWORD{FILE_FLAG_FIRST_PIPE_INSTANCE});
    EXPECT_EQ(enginePipeOpenMode(false) & FILE_FLAG_FIRST_PIPE_INSTANCE, 0U);
    EXPECT_EQ(readerOpenFlags() & (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION |
                                   SECURITY_IMPERSONATION | SECURITY_DELEGATION),
              DWORD{SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION});
}

// Random orders of engine start, stop, change and tray restart (the engine sometimes starting
// just after the tray): once each step has settled, the tray holds the truth (the engine's latest
// snapshot, or "engine not running"). A tray's first word is the engine's snapshot when the
// engine ran at its start or came within the first bound, else "engine not running", not before
// the bound; a tray started while the engine runs is told nothing else for as long as it runs.
TEST_F(EngineLink, RandomOrdersEndInTheTruth) {
    std::mt19937 rng(20261210);
    const std::wstring name = L"zentra-test.random";
    zentra::EngineLinkOptions options;
    options.firstWordWithin = 300ms;
    zentra::EnginePublisherOptions quiet;  // no heartbeat: a change alone wakes the publisher
    quiet.heartbeat = 1h;
    std::unique_ptr<zentra::EnginePublisher> engine;
    std::unique_ptr<Delivered> got;
    std::unique_ptr<zentra::EngineLink> link;
    const auto startEngine = [&] {
        engine = zentra::EnginePublisher::create(name, quiet);
        ASSERT_TRUE(engine);
    };
    bool engineAllAlong = false;        // the engine has run for the whole of this tray's life
    std::optional<Snapshot> firstWord;  // what a tray just started must hear first
    auto trayStart = std::chrono::steady_clock::now();
    int k = 0;
    for (int step = 0; step < 60; ++step) {
        const auto what = step == 0 ? 3 : rng() % 5;
        if (what == 0 && !engine) {
            startEngine();
            engine->publish(numbered(++k));
        } else if (what == 1) {
            engine.reset();
            engineAllAlong = false;
        } else if (what == 2 && engine) {
            engine->publish(numbered(++k));
        } else if (what >= 3) {
            link.reset();
            got = std::make_unique<Delivered>();
            trayStart = std::chrono::steady_clock::now();
            link = zentra::EngineLink::create(name, std::ref(*got), options);
            engineAllAlong = engine != nullptr;
            if (!engine && what == 4) {  // within the first bound
                startEngine();
                engine->publish(numbered(++k));
            }
            firstWord = engine ? numbered(k) : zentra::engineDown("engine not running");
        }
        const Snapshot truth = engine ? numbered(k) : zentra::engineDown("engine not running");
        ASSERT_TRUE(waitFor("settled",
                            [&] {
                                std::lock_guard<std::mutex> lock(got->mutex);
                                return got->last == truth;
                            }))
            << "step " << step;
        if (firstWord) {
            std::lock_guard<std::mutex> lock(got->mutex);
            EXPECT_EQ(got->first, *firstWord) << "step " << step;
            EXPECT_TRUE(got->first.source == zn::SnapshotSource::Engine ||
                        got->firstAt - trayStart >= options.firstWordWithin)
                << "absence told before the bound, step " << step;
            firstWord.reset();
        }
        if (engineAllAlong) {
            EXPECT_EQ(link->stats().downs, 0U) << "step " << step;
        }
    }
}

// A link that follows a service takes the pipe from no other process: with the service not
// installed, a program that serves its name is refused (warned once), and with none the SCM's
// word is told.
TEST_F(EngineLink, AServicesPipeFromAnotherProgramIsRefused) {
    const std::wstring name = L"zentra-test.noservice";
    zentra::EngineLinkOptions options;
    options.service = name;
    options.firstWordWithin = 0ms;
    for (const bool impostor : {true, false}) {
        zentra::EnginePublisherOptions global;
        global.perSession = false;
        auto other = impostor ? zentra::EnginePublisher::create(name, global) : nullptr;
        if (other) {
            other->publish(numbered(1));
        }
        Delivered got;
        auto link = zentra::EngineLink::create(name, std::ref(got), options);
        const std::string reason = impostor ? "the engine's pipe is served by another program"
                                            : "the zentra-test.noservice service is not installed";
        EXPECT_TRUE(waitFor(reason.c_str(), [&] { return got.reason() == reason; }));
        std::this_thread::sleep_for(600ms);  // tried again meanwhile
        EXPECT_EQ(got.reason(), reason);
    }
    EXPECT_EQ(warnings->count("is served by process"), 1U);
}

TEST_F(EngineLink, HeartbeatsOnlyWhileTheEngineWorks) {
    std::atomic<bool> alive{true};
    std::atomic<int> asked{0};
    zentra::EnginePublisherOptions options;
    options.heartbeat = 50ms;
    options.alive = [&] {
        ++asked;
        return alive.load();
    };
    auto publisher = zentra::EnginePublisher::create(L"zentra-test.beat", options);
    ASSERT_TRUE(publisher);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(publisher->stats().wakeups, 0U) << "woke with no reader";
    Delivered got;
    auto link = zentra::EngineLink::create(L"zentra-test.beat", std::ref(got));
    publisher->publish(numbered(1));
    ASSERT_TRUE(waitFor("three heartbeats", [&] { return link->stats().heartbeats >= 3; }));
    // Each delivers the snapshot again: word from the engine for the tray's deadline.
    EXPECT_TRUE(waitFor("delivered again", [&] {
        std::lock_guard<std::mutex> lock(got.mutex);
        return got.count >= 4 && got.last == numbered(1);
    }));
    // One every 50 ms, not a stream (a busy machine only makes them fewer).
    const auto counted = [&](const std::function<std::uint64_t()>& count) {
        const auto first = count();
        std::this_thread::sleep_for(500ms);
        return count() - first;
    };
    EXPECT_LE(counted([&] { return link->stats().heartbeats; }), 30U);
    alive = false;
    const int told = asked;
    // A heartbeat written before the engine hung may still be on its way.
    ASSERT_TRUE(waitFor("two heartbeats held back", [&] { return asked >= told + 2; }));
    const auto before = link->stats().heartbeats;
    ASSERT_TRUE(waitFor("three more", [&] { return asked >= told + 5; }));
    EXPECT_EQ(link->stats().heartbeats, before) << "heartbeats from a hung engine";
    EXPECT_LE(counted([&] { return static_cast<std::uint64_t>(asked.load()); }), 30U);
    EXPECT_EQ(link->stats().snapshots, 1U);
    // Destroyed while it reads: it stops, and says nothing more.
    const auto count = [&got] {
        std::lock_guard<std::mutex> lock(got.mutex);
        return got.count;
    };
    const int delivered = count();
    link.reset();
    EXPECT_EQ(count(), delivered);
}

// A reader that takes nothing is dropped within stuckReader of a write, whatever the pipe holds
// and whatever the other readers are due: flooded with snapshots, or given one small snapshot
// while the tray beside it is due nothing for an hour.
TEST_F(EngineLink, AReaderThatTakesNothingIsDropped) {
    for (const int flood : {200, 1}) {
        SCOPED_TRACE(flood);
        zentra::EnginePublisherOptions options;
        options.stuckReader = 300ms;
        options.heartbeat = flood > 1 ? 200ms : 1h;
        auto publisher = zentra::EnginePublisher::create(L"zentra-test.stuck", options);
        ASSERT_TRUE(publisher);
        const HANDLE reader = CreateFileW(pipePath(L"zentra-test.stuck").c_str(), GENERIC_READ, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        Delivered got;  // a tray that reads, beside it
        auto link = zentra::EngineLink::create(L"zentra-test.stuck", std::ref(got));
        Snapshot big = numbered(0);
        big.health.statusText.assign(flood > 1 ? 15'000 : 10, 'x');
        for (int i = 0; i < flood; ++i) {  // publish returns all the same
            big.state.phase = std::to_string(i);
            publisher->publish(big);
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_TRUE(
            waitFor("the reader dropped", [&] { return publisher->stats().readersDropped == 1; }));
        CloseHandle(reader);
    }
    EXPECT_EQ(warnings->count("took nothing for 300 ms and were disconnected"), 2U);
}

// Any number of trays: 200 read one engine at once, each told every snapshot and never that
// the engine is not running, a busy pipe included (no first bound). The time a snapshot takes to
// reach every tray, and the CPU it costs, are printed.
TEST_F(EngineLink, TwoHundredTrays) {
    const std::wstring name = L"zentra-test.many";
    auto publisher = zentra::EnginePublisher::create(name);
    ASSERT_TRUE(publisher);
    int n = 0;
    publisher->publish(numbered(n));
    std::vector<Delivered> got(200);
    std::vector<std::unique_ptr<zentra::EngineLink>> links;
    links.reserve(got.size());
    zentra::EngineLinkOptions atOnce;
    atOnce.firstWordWithin = 0ms;
    for (Delivered& each : got) {
        links.push_back(zentra::EngineLink::create(name, std::ref(each), atOnce));
    }
    const auto everyOneHas = [&got](int k) {
        return [&got, k] {
            return std::all_of(got.begin(), got.end(), [k](Delivered& d) {
                std::lock_guard<std::mutex> lock(d.mutex);
                return d.last == numbered(k);
            });
        };
    };
    ASSERT_TRUE(waitFor("every tray connected", everyOneHas(n)));
    publisher->publish(numbered(++n));
    EXPECT_TRUE(waitFor("a snapshot reached every tray", everyOneHas(n)));
    // Five more, the test's thread asleep meanwhile (Wine counts CPU in 10 ms steps).
    const double cpuBefore = processCpuUs();
    for (int i = 0; i < 5; ++i) {
        publisher->publish(numbered(++n));
        std::this_thread::sleep_for(200ms);
    }
    std::printf("  %.0f us of CPU per snapshot per tray (the engine and trays together)\n",
                (processCpuUs() - cpuBefore) / (5.0 * 200.0));
    EXPECT_TRUE(waitFor("five more reached every tray", everyOneHas(n)));
    for (std::size_t i = 0; i < links.size(); ++i) {
        EXPECT_EQ(links[i]->stats().downs, 0U) << got[i].first.state.lastError.value_or("");
    }
}

TEST_F(EngineLink, AnEngineThatSendsGarbageIsRefusedAndFollowedAgain) {
    Delivered got;
    bool thrown = false;  // the application's function throws once: the link goes on
    auto link = zentra::EngineLink::create(L"zentra-test.garbage", [&](const Snapshot& s) {
        got(s);
        if (!std::exchange(thrown, true)) {
            throw std::runtime_error("boom");
        }
    });
    // Two refusals in a row are one episode (one warning); a message read ends it.
    const std::pair<std::string, const char*> messages[] = {
        {"garbage", "the engine's message cannot be read: not a snapshot message"},
        {std::string(1 << 20, 'Z'), "the engine's message cannot be read: more than 65536 bytes"},
        {zentra::encodeWireSnapshot(numbered(7), zn::MonoTime{}), ""},
        {"garbage", "the engine's message cannot be read: not a snapshot message"},
    };
    for (const auto& message : messages) {
        const std::string& bytes = message.first;
        const char* reason = message.second;
        const HANDLE pipe =
            CreateNamedPipeW(pipePath(L"zentra-test.garbage").c_str(), PIPE_ACCESS_OUTBOUND,
                             PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 2 << 20, 0, 0, nullptr);
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
        DWORD written = 0;
        WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        EXPECT_TRUE(waitFor(reason, [&] {
            std::lock_guard<std::mutex> lock(got.mutex);
            return *reason == '\0' ? got.last == numbered(7)
                                   : got.last.state.lastError.value_or("").rfind(reason, 0) == 0;
        }));
        CloseHandle(pipe);
    }
    EXPECT_EQ(warnings->count("EngineLink: a message from the engine is refused"), 2U);
    EXPECT_EQ(warnings->count("EngineLink: the application's function threw: boom"), 1U);
    EXPECT_EQ(link->stats().refused, 3U);
    link.reset();
}

// An engine that listens all its life (its event set) and sends only what the link refuses: the
// link connects again at its back-off's pace (250 ms, doubling), not at once, with one warning.
TEST_F(EngineLink, ARefusingEngineIsTriedAgainAtTheBackOffsPace) {
    const std::wstring name = L"zentra-test.refusing";
    const HANDLE listening =
        CreateEventW(nullptr, TRUE, TRUE, (L"Local\\" + name + L".listening").c_str());
    ASSERT_NE(listening, nullptr);
    std::atomic<bool> stopping{false};
    std::thread engine([&] {
        while (!stopping) {
            const HANDLE pipe = CreateNamedPipeW(pipePath(name).c_str(), PIPE_ACCESS_OUTBOUND,
                                                 PIPE_TYPE_MESSAGE | PIPE_WAIT,
                                                 PIPE_UNLIMITED_INSTANCES, 4096, 0, 0, nullptr);
            SetEvent(listening);  // as an engine does whenever it waits for a reader
            if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
                // A snapshot of a newer version than this link reads.
                std::string newer = zentra::encodeWireSnapshot(numbered(1), zn::MonoTime{});
                newer[2] = 3;
                DWORD written = 0;
                WriteFile(pipe, newer.data(), static_cast<DWORD>(newer.size()), &written, nullptr);
                FlushFileBuffers(pipe);
            }
            CloseHandle(pipe);
        }
    });
    Delivered got;
    auto link = zentra::EngineLink::create(name, std::ref(got));
    std::this_thread::sleep_for(3s);
    const std::uint64_t connects = link->stats().connects;
    link.reset();
    std::printf("  connections in 3 s: %llu\n", static_cast<unsigned long long>(connects));
    EXPECT_GE(connects, 1U);
    EXPECT_LE(connects, 6U);  // at once, then 0.25, 0.75, 1.75 s later (and a margin)
    EXPECT_EQ(warnings->count("EngineLink: a message from the engine is refused"), 1U);
    EXPECT_EQ(got.reason().rfind("the engine's message cannot be read: unknown version 3", 0), 0U)
        << got.reason();
    stopping = true;
    CloseHandle(
        CreateFileW(pipePath(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    engine.join();
    CloseHandle(listening);
}

}  // namespace

namespace {

// The results of a link's commands, each in its slot, and how often each slot was told.
struct Answers {
    std::mutex mutex;
    std::vector<zentra::CommandResult> results = std::vector<zentra::CommandResult>(3000);
    std::vector<int> told = std::vector<int>(3000);
    std::function<void(const zentra::CommandResult&)> slot(std::size_t i) {
        return [this, i](const zentra::CommandResult& r) {
            std::lock_guard<std::mutex> held(mutex);
            results[i] = r;
            ++told[i];
        };
    }
    int toldCount(std::size_t i) {
        std::lock_guard<std::mutex> lock(mutex);
        return told[i];
    }
    std::string text(std::size_t i) {
        std::lock_guard<std::mutex> lock(mutex);
        const char* names[] = {"done", "refused", "failed"};
        return std::string(names[static_cast<int>(results[i].outcome)]) + ": " + results[i].text;
    }
};

}  // namespace

// Commands through a real engine: answered at once or later from another thread, refused,
// never answered, dropped unanswered, thrown on; who sent them; the engine's actions, and their
// end with the engine; commands with no engine, and with one that has gone.
TEST_F(EngineLink, CommandsTheirAnswersAndTheEnginesActions) {
    const std::wstring name = L"zentra-test.commands";
    std::mutex heldMutex;
    std::vector<zentra::CommandReply> held;  // "silent": never answered while the engine runs
    std::vector<std::thread> later;
    std::vector<zentra::CommandSender> senders;
    zentra::EnginePublisherOptions options;
    options.onCommand = [&](const zentra::EngineCommand& c, const zentra::CommandSender& from,
                            zentra::CommandReply reply) {
        std::lock_guard<std::mutex> lock(heldMutex);
        senders.push_back(from);
        if (c.name == "connect") {
            reply.done("connected to " + c.argument);
        } else if (c.name == "no") {
            reply.refuse("not now");
        } else if (c.name == "later") {
            later.emplace_back([r = std::move(reply)]() mutable {
                std::this_thread::sleep_for(100ms);
                r.done("done later");
            });
        } else if (c.name == "silent") {
            held.push_back(std::move(reply));
        } else if (c.name == "throw") {
            throw std::runtime_error("boom");
        }  // "drop": the reply ends here, unanswered
    };
    auto publisher = zentra::EnginePublisher::create(name, options);
    ASSERT_NE(publisher, nullptr);
    const std::vector<zentra::EngineAction> actions = {
        {"Disconnect", "disconnect", "", true, false, false, false, {}},
        {"Mode",
         "",
         "",
         true,
         false,
         false,
         false,
         {{"Fast", "mode", "fast", true, true, true, false, {}}}}};
    publisher->offer(actions);
    publisher->publish(numbered(1));

    std::mutex actionsMutex;
    std::vector<std::vector<zentra::EngineAction>> offered;
    zentra::EngineLinkOptions linkOptions;
    linkOptions.firstWordWithin = 0ms;
    linkOptions.onActions = [&](const std::vector<zentra::EngineAction>& a) {
        std::lock_guard<std::mutex> lock(actionsMutex);
        offered.push_back(a);
    };
    Delivered got;
    auto link = zentra::EngineLink::create(name, std::ref(got), linkOptions);
    ASSERT_TRUE(waitFor("the engine's actions", [&] {
        std::lock_guard<std::mutex> lock(actionsMutex);
        return !offered.empty();
    }));
    {
        std::lock_guard<std::mutex> lock(actionsMutex);
        EXPECT_EQ(offered.back(), actions);
    }

    Answers answers;
    const struct {
        const char* command;
        const char* argument;
        std::chrono::milliseconds timeout;
        const char* told;
    } rows[] = {
        {"connect", "eu-1", 10s, "done: connected to eu-1"},
        {"no", "", 10s, "refused: not now"},
        {"later", "", 10s, "done: done later"},
        {"silent", "", 300ms, "failed: no answer from the engine in 0.3 s"},
        {"drop", "", 10s, "refused: the engine did not answer"},
        {"throw", "", 10s, "refused: the engine did not answer"},
        {"", "", 10s, "failed: a command needs a name"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        link->send({rows[i].command, rows[i].argument}, answers.slot(i), rows[i].timeout);
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        ASSERT_TRUE(waitFor(rows[i].told, [&] { return answers.toldCount(i) > 0; }));
        EXPECT_EQ(answers.text(i), rows[i].told);
    }
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        ASSERT_FALSE(senders.empty());
        for (const zentra::CommandSender& from : senders) {
            EXPECT_EQ(from.userSid, zentra::link::utf8(zentra::link::ownUserSid()));
            EXPECT_EQ(from.process, GetCurrentProcessId());
            EXPECT_NE(from.user.find('\\'), std::string::npos) << from.user;
        }
        std::printf("  sent by %s (process %u, session %u)\n", senders[0].user.c_str(),
                    senders[0].process, senders[0].session);
    }

    // The round trip of a command answered at once, one after another (a figure).
    std::vector<double> trips;
    for (std::size_t i = 0; i < 200; ++i) {
        const auto start = std::chrono::steady_clock::now();
        link->send({"connect", "x"}, answers.slot(100 + i), 10s);
        while (answers.toldCount(100 + i) == 0 && std::chrono::steady_clock::now() - start < 20s) {
            std::this_thread::sleep_for(100us);
        }
        trips.push_back(static_cast<double>((std::chrono::steady_clock::now() - start) / 1us));
    }
    std::sort(trips.begin(), trips.end());
    std::printf("  a command's round trip: p50 %.0f us, p99 %.0f us (200, one at a time)\n",
                trips[100], trips[198]);
    EXPECT_EQ(answers.text(299), "done: connected to x");

    // The engine gone with a command waiting, then commands while it is away: told at once.
    link->send({"silent", ""}, answers.slot(10), 60s);
    ASSERT_TRUE(waitFor("the command reached the engine", [&] {
        std::lock_guard<std::mutex> lock(heldMutex);
        return held.size() == 2;
    }));
    for (std::thread& t : later) {
        t.join();
    }
    publisher.reset();
    ASSERT_TRUE(waitFor("the waiting command failed", [&] { return answers.toldCount(10) > 0; }));
    EXPECT_EQ(answers.text(10), "failed: engine not running");
    held.clear();  // answers after the engine ended go nowhere
    link->send({"connect", ""}, answers.slot(11), 60s);
    ASSERT_TRUE(waitFor("a command with no engine", [&] { return answers.toldCount(11) > 0; }));
    EXPECT_EQ(answers.text(11), "failed: engine not running");
    {
        std::lock_guard<std::mutex> lock(actionsMutex);
        EXPECT_TRUE(offered.back().empty()) << "the engine's items went with it";
    }
    link->send({"connect", ""}, answers.slot(12), 60s);
    link.reset();
    EXPECT_LE(answers.toldCount(12), 1);
    for (std::size_t i = 0; i < answers.told.size(); ++i) {
        EXPECT_LE(answers.told[i], 1) << "told more than once: " << i;
    }
}

// A version-1 engine (it writes, never reads) and a new tray: snapshots shown, commands told
// "the engine does not take commands". A version-1 tray (it reads only) and the new engine,
// which offers actions: only messages a version-1 reader takes.
TEST_F(EngineLink, VersionOneOnEitherSide) {
    const std::wstring name = L"zentra-test.version1";
    std::atomic<bool> stopping{false};
    std::thread oldEngine([&] {
        const HANDLE pipe = CreateNamedPipeW(pipePath(name).c_str(), PIPE_ACCESS_OUTBOUND,
                                             PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 4096, 0, 0, nullptr);
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            const std::string bytes = zentra::encodeWireSnapshot(numbered(3), zn::MonoTime{});
            DWORD written = 0;
            WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            while (!stopping) {
                std::this_thread::sleep_for(10ms);
            }
        }
        CloseHandle(pipe);
    });
    Delivered got;
    zentra::EngineLinkOptions options;
    options.firstWordWithin = 0ms;
    auto link = zentra::EngineLink::create(name, std::ref(got), options);
    Answers answers;
    link->send({"connect", ""}, answers.slot(0), 30s);
    ASSERT_TRUE(waitFor("the old engine's snapshot", [&] {
        std::lock_guard<std::mutex> lock(got.mutex);
        return got.last == numbered(3);
    }));
    ASSERT_TRUE(waitFor("the command's failure", [&] { return answers.toldCount(0) > 0; }));
    EXPECT_EQ(answers.text(0), "failed: the engine does not take commands");
    link.reset();
    stopping = true;
    oldEngine.join();

    zentra::EnginePublisherOptions quick;
    quick.heartbeat = 200ms;
    auto publisher = zentra::EnginePublisher::create(L"zentra-test.version1b", quick);
    ASSERT_NE(publisher, nullptr);
    publisher->offer({{"Connect", "connect", "", true, false, false, false, {}}});
    publisher->publish(numbered(4));
    const HANDLE reader =
        CreateFileW(pipePath(L"zentra-test.version1b").c_str(),
                    GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(reader, &mode, nullptr, nullptr);
    publisher->publish(numbered(5));
    for (int i = 0; i < 3; ++i) {
        std::string buffer(zentra::kMaxWireBytes, '\0');
        DWORD size = 0;
        ASSERT_TRUE(
            ReadFile(reader, buffer.data(), static_cast<DWORD>(buffer.size()), &size, nullptr));
        buffer.resize(size);
        EXPECT_EQ(buffer[2], 1) << "a version-1 reader got a version-" << int{buffer[2]}
                                << " message";
        const zentra::WireDecoded read = zentra::decodeWire(buffer, zn::MonoTime{});
        EXPECT_TRUE(read.message && (read.message->kind == zentra::WireKind::Snapshot ||
                                     read.message->kind == zentra::WireKind::Heartbeat))
            << read.problem;
    }
    CloseHandle(reader);
}

// One tray floods its engine with commands it never gets answered: beyond the bound they are
// refused at once, and another tray's snapshots keep coming (a figure, not judged).
TEST_F(EngineLink, AFloodOfCommandsIsBoundedAndOthersKeepTheirPace) {
    const std::wstring name = L"zentra-test.flood";
    std::mutex heldMutex;
    std::vector<zentra::CommandReply> held;
    zentra::EnginePublisherOptions options;
    options.onCommand = [&](const zentra::EngineCommand&, const zentra::CommandSender&,
                            zentra::CommandReply reply) {
        std::lock_guard<std::mutex> lock(heldMutex);
        held.push_back(std::move(reply));
    };
    auto publisher = zentra::EnginePublisher::create(name, options);
    ASSERT_NE(publisher, nullptr);
    publisher->publish(numbered(0));
    Delivered flooder;
    Delivered other;
    auto flooding = zentra::EngineLink::create(name, std::ref(flooder));
    auto calm = zentra::EngineLink::create(name, std::ref(other));
    ASSERT_TRUE(waitFor("both trays", [&] { return publisher->stats().readers == 2; }));
    Answers answers;
    constexpr std::size_t kFlood = 2000;
    std::thread flood([&] {
        for (std::size_t i = 0; i < kFlood; ++i) {
            flooding->send({"silent", std::to_string(i)}, answers.slot(i), 60s);
        }
    });
    std::vector<double> lags;
    for (int n = 1; n <= 50; ++n) {
        const auto start = std::chrono::steady_clock::now();
        publisher->publish(numbered(n));
        for (;;) {
            std::this_thread::sleep_for(1ms);
            std::lock_guard<std::mutex> lock(other.mutex);
            if (other.last == numbered(n) || std::chrono::steady_clock::now() - start > 20s) {
                break;
            }
        }
        lags.push_back(static_cast<double>((std::chrono::steady_clock::now() - start) / 1us));
    }
    flood.join();
    ASSERT_TRUE(waitFor("the flood answered or waiting", [&] {
        return publisher->stats().commands + publisher->stats().commandsRefused == kFlood;
    }));
    const zentra::EnginePublisherStats stats = publisher->stats();
    {
        std::lock_guard<std::mutex> lock(other.mutex);
        EXPECT_EQ(other.last, numbered(50)) << "the calm tray kept up";
    }
    std::sort(lags.begin(), lags.end());
    std::printf(
        "  the calm tray during a flood of %zu: p50 %.0f us, p99 %.0f us; %llu handed "
        "to the engine, %llu refused at once\n",
        kFlood, lags[lags.size() / 2], lags[lags.size() * 99 / 100],
        static_cast<unsigned long long>(stats.commands),
        static_cast<unsigned long long>(stats.commandsRefused));
    EXPECT_EQ(stats.commands, 8U) << "the bound on waiting commands";
    const auto refused = [&] {
        std::size_t n = 0;
        for (std::size_t i = 0; i < kFlood; ++i) {
            if (answers.toldCount(i) > 0) {
                n += answers.text(i) == "refused: too many commands waiting" ? 1U : 0U;
            }
        }
        return n;
    };
    EXPECT_TRUE(waitFor("the refusals told", [&] { return refused() == kFlood - 8; })) << refused();
    flooding.reset();
    calm.reset();
}
