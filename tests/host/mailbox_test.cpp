// The mailbox between the engine's threads and the UI thread: the latest snapshot wins, one
// wake-up per batch, and a wake-up that could not be sent is sent again by the next post.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "mailbox.h"

namespace {

using zentra::Snapshot;
using zentra::host::SnapshotMailbox;

Snapshot withStatus(const char* text) {
    Snapshot s;
    s.health.statusText = text;
    return s;
}

// Each step: post (P, with the wake-up working or failing) or take (T); what the wake function
// was asked, what post() returned, and what take() gave.
TEST(SnapshotMailbox, WakesOncePerBatchAndAgainAfterAFailure) {
    struct Step {
        char op;         // 'P' post, 'T' take
        bool wakeWorks;  // for P
        const char* status;
        int wakesAfter;      // wake calls so far
        bool reportedStart;  // post()'s result
        const char* taken;   // for T: the status taken, or null for nothing
    };
    const Step steps[] = {
        {'T', true, nullptr, 0, false, nullptr},  // nothing waiting
        {'P', true, "a", 1, false, nullptr},
        {'P', true, "b", 1, false, nullptr},  // merged into the wake-up under way
        {'T', true, nullptr, 1, false, "b"},
        {'T', true, nullptr, 1, false, nullptr},
        {'P', false, "c", 2, true, nullptr},   // failed: a streak starts, reported
        {'P', false, "d", 3, false, nullptr},  // tried again, still failing: not reported again
        {'P', true, "e", 4, false, nullptr},   // tried again and works
        {'P', true, "f", 4, false, nullptr},
        {'P', false, "g", 4, false, nullptr},  // a wake-up is under way: not asked
        {'T', true, nullptr, 4, false, "g"},
        {'P', false, "h", 5, true, nullptr},  // a new streak after a success is reported
        {'T', true, nullptr, 5, false, "h"},  // the snapshot was kept
    };
    int wakes = 0;
    bool works = true;
    SnapshotMailbox mailbox([&] {
        ++wakes;
        return works;
    });
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(index++);
        if (step.op == 'P') {
            works = step.wakeWorks;
            EXPECT_EQ(mailbox.post(withStatus(step.status)), step.reportedStart);
        } else {
            const auto taken = mailbox.take();
            ASSERT_EQ(taken.has_value(), step.taken != nullptr);
            if (taken) {
                EXPECT_EQ(taken->health.statusText, step.taken);
            }
        }
        EXPECT_EQ(wakes, step.wakesAfter);
    }
}

// Posts from several threads while the UI thread takes: every take follows a wake-up, the last
// snapshot posted is the last one taken, and no wake-up is lost (the sanitizer build checks the
// locking).
TEST(SnapshotMailbox, ManyThreadsTheLastPostWins) {
    std::atomic<int> wakes{0};
    SnapshotMailbox mailbox([&] {
        ++wakes;
        return true;
    });
    std::vector<std::thread> engines;
    engines.reserve(4);
    for (int t = 0; t < 4; ++t) {
        engines.emplace_back([&mailbox] {
            for (int i = 0; i < 2'000; ++i) {
                mailbox.post(withStatus("busy"));
            }
        });
    }
    int takes = 0;
    for (int i = 0; i < 2'000; ++i) {
        if (mailbox.take()) {
            ++takes;
        }
    }
    for (std::thread& engine : engines) {
        engine.join();
    }
    mailbox.post(withStatus("last"));
    const auto last = mailbox.take();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->health.statusText, "last");
    EXPECT_LE(takes + 1, wakes.load()) << "a take without a wake-up before it";
}

}  // namespace
