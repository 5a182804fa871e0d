// The cross-thread mailbox between an engine's threads and the UI thread: any thread leaves the
// latest snapshot; the UI thread takes it. One wake-up carries however many posts came before the
// UI thread took them, so the UI thread never works through a backlog.
#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "zentra/indicator.h"

namespace zentra::host {

class SnapshotMailbox {
  public:
    // `wake` asks the UI thread to take the snapshot (true when the request went out). It is
    // called from the posting thread, without the mailbox's lock held.
    explicit SnapshotMailbox(std::function<bool()> wake);

    // Any thread. Replaces the waiting snapshot; wakes the UI thread when none was waiting. When
    // the wake-up cannot be sent, the snapshot stays and the next post tries again. True when this
    // post's wake-up failed and the one before did not: the start of a failure streak, to report.
    bool post(const Snapshot& snapshot);

    // UI thread: the snapshot waiting, if any, and the mailbox empty again.
    std::optional<Snapshot> take();

  private:
    std::function<bool()> wake_;
    std::mutex mutex_;
    std::optional<Snapshot> waiting_;  // guarded by mutex_
    bool wakePending_ = false;         // guarded by mutex_
    bool wakeFailing_ = false;         // guarded by mutex_
};

}  // namespace zentra::host
