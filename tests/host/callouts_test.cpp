// The queue of calls to the application: in order, each once, also when a call drains the queue
// again (a modal loop) or destroys the queue's owner (run under the address sanitizer too).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "callouts.h"
#include "recording_logger.h"

namespace {

using zentra::common::LogLevel;
using zentra::host::Callouts;

TEST(Callouts, InOrderEachOnceThroughNestedDrains) {
    struct Case {
        const char* name;
        int nestAt;     // the call (1-based) that drains again inside itself, 0: none
        int destroyAt;  // the call that destroys the queue, 0: none
        const char* made;
        bool survives;
    };
    const Case cases[] = {
        {"plain", 0, 0, "1234", true},
        {"a modal loop in the second call", 2, 0, "12345", true},
        {"destroyed in the first call", 0, 1, "1", false},
        {"destroyed in the third call", 0, 3, "123", false},
        {"destroyed inside a modal loop", 2, 3, "123", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto callouts = std::make_unique<Callouts>();
        std::string made;
        int next = 1;
        std::function<void()> makeCall;
        makeCall = [&] {
            const int n = next++;
            callouts->queue("call", [&, n] {
                made += std::to_string(n);
                if (n == c.destroyAt) {
                    callouts.reset();
                    return;
                }
                if (n == c.nestAt) {
                    makeCall();  // a message handled inside the modal loop queues a call
                    EXPECT_EQ(callouts->drain(), c.destroyAt == 0);
                }
            });
        };
        for (int i = 0; i < 4; ++i) {
            makeCall();
        }
        // A call queued during the modal loop comes after the ones queued before it.
        const bool survived = callouts->drain();
        EXPECT_EQ(survived, c.survives);
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(callouts == nullptr, !c.survives);
    }
}

// A call that throws: the error names it and what it threw, and the next call is still made.
TEST(Callouts, AThrowingCallStopsAtTheQueue) {
    struct Case {
        std::function<void()> call;
        const char* logged;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("no such item"); },
         "TrayHost: the application's onMenuChoice threw: no such item; the host goes on"},
        {[] { throw 42; },
         "TrayHost: the application's onMenuChoice threw something that is not a "
         "std::exception; the host goes on"},
    };
    for (const Case& c : cases) {
        ScopedRecordingLogger log;
        Callouts callouts;
        bool next = false;
        callouts.queue("onMenuChoice", c.call);
        callouts.queue("onActivate", [&next] { next = true; });
        EXPECT_TRUE(callouts.drain());
        EXPECT_TRUE(next);
        EXPECT_EQ(log->lines, (std::vector<LoggedLine>{{LogLevel::Error, c.logged}}));
    }
}

}  // namespace
