#include "callouts.h"

#include <exception>
#include <utility>

#include "zentra/log.h"

namespace zentra::host {

Callouts::Callouts() : state_(std::make_shared<State>()), alive_(std::make_shared<bool>(true)) {}

Callouts::~Callouts() {
    *alive_ = false;
}

void Callouts::queue(const char* name, std::function<void()> call) {
    state_->calls.push_back({name, std::move(call)});
}

bool Callouts::drain() {
    // Shares of the state outlive this object if a call destroys it.
    const std::shared_ptr<State> state = state_;
    const std::shared_ptr<bool> alive = alive_;
    while (*alive && !state->calls.empty()) {
        // Taken off the queue first: a nested drain (in a modal loop) goes on with the next one,
        // and the call being made stays alive whatever happens to the queue.
        const Call call = std::move(state->calls.front());
        state->calls.pop_front();
        callApplication(call.name, call.make);
    }
    return *alive;
}

bool callApplication(const char* name, const std::function<void()>& call) {
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        common::logAt(common::LogLevel::Error, "TrayHost: the application's ", name,
                      " threw: ", e.what(), "; the host goes on");
    } catch (...) {
        common::logAt(common::LogLevel::Error, "TrayHost: the application's ", name,
                      " threw something that is not a std::exception; the host goes on");
    }
    return false;
}

}  // namespace zentra::host
