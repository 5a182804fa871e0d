// The queue of calls to the application: in order, each once, also when a call drains the queue
// again (a modal loop) or destroys the queue's owner (run under the address sanitizer too).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "callouts.h"

namespace {

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
            callouts->queue([&, n] {
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

}  // namespace
