// Calls into the application, queued while the host carries out the controller's actions and made
// once it has finished, in the order they were queued. A call may run a modal loop (a message box,
// a menu), in which the host handles further messages and makes their calls; or it may destroy
// the host: the queue then stops, and whoever drained it learns that its owner is gone. An
// exception a call throws stops at the queue: it is logged as an error naming the call, and the
// queue goes on.
#pragma once

#include <deque>
#include <functional>
#include <memory>

namespace zentra::host {

class Callouts {
  public:
    Callouts();
    // Stops any drain under way after its current call; the calls still queued are never made.
    ~Callouts();
    Callouts(const Callouts&) = delete;
    Callouts& operator=(const Callouts&) = delete;

    // `name` (a string that lives as long as the program) names the call in the error logged
    // when it throws.
    void queue(const char* name, std::function<void()> call);
    // True while this object exists: a call that runs a modal loop checks it afterwards.
    std::shared_ptr<const bool> alive() const { return alive_; }
    // Makes the queued calls, and any queued meanwhile, in order. False when a call destroyed
    // this object: the caller must not touch its owner again.
    bool drain();

  private:
    struct Call {
        const char* name;
        std::function<void()> make;
    };
    struct State {
        std::deque<Call> calls;
    };
    std::shared_ptr<State> state_;
    std::shared_ptr<bool> alive_;
};

// Makes `call`, a call to the application named `name`: an exception it throws is logged as an
// error naming it and goes no further. False when it threw.
bool callApplication(const char* name, const std::function<void()>& call);

}  // namespace zentra::host
