#include "callouts.h"

#include <utility>

namespace zentra::host {

Callouts::Callouts() : state_(std::make_shared<State>()), alive_(std::make_shared<bool>(true)) {}

Callouts::~Callouts() {
    *alive_ = false;
}

void Callouts::queue(std::function<void()> call) {
    state_->calls.push_back(std::move(call));
}

bool Callouts::drain() {
    // Shares of the state outlive this object if a call destroys it.
    const std::shared_ptr<State> state = state_;
    const std::shared_ptr<bool> alive = alive_;
    while (*alive && !state->calls.empty()) {
        // Taken off the queue first: a nested drain (in a modal loop) goes on with the next one,
        // and the call being made stays alive whatever happens to the queue.
        const std::function<void()> call = std::move(state->calls.front());
        state->calls.pop_front();
        call();
    }
    return *alive;
}

}  // namespace zentra::host
