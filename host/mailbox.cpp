#include "mailbox.h"

#include <utility>

namespace zentra::host {

SnapshotMailbox::SnapshotMailbox(std::function<bool()> wake) : wake_(std::move(wake)) {}

bool SnapshotMailbox::post(const Snapshot& snapshot) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = snapshot;
        if (wakePending_) {
            return false;  // the wake-up already under way carries this one too
        }
        wakePending_ = true;
    }
    const bool woke = wake_();
    std::lock_guard<std::mutex> lock(mutex_);
    if (woke) {
        wakeFailing_ = false;
        return false;
    }
    // No wake-up is under way after all: the next post must send one.
    wakePending_ = false;
    const bool streakStarts = !wakeFailing_;
    wakeFailing_ = true;
    return streakStarts;
}

std::optional<Snapshot> SnapshotMailbox::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    wakePending_ = false;
    return std::exchange(waiting_, std::nullopt);
}

}  // namespace zentra::host
