#include "command_book.h"

#include <utility>

namespace zentra::link {

std::string noAnswerWithin(std::chrono::milliseconds timeout) {
    const long long tenths = (timeout.count() + 99) / 100;
    std::string seconds = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        seconds += "." + std::to_string(tenths % 10);
    }
    return "no answer from the engine in " + seconds + " s";
}

void CommandBook::add(EngineCommand command, std::chrono::milliseconds timeout, MonoTime now,
                      Done done) {
    const std::uint32_t id = nextId_++;
    if (nextId_ == 0) {
        nextId_ = 1;  // 0 is no command's
    }
    waiting_[id] = Entry{std::move(command), now + timeout, timeout, std::move(done), false};
}

std::vector<CommandBook::Outgoing> CommandBook::takeOutgoing(std::vector<Ending>& ended) {
    std::vector<Outgoing> out;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        Entry& entry = it->second;
        if (const char* problem = commandProblem(entry.command)) {
            ended.push_back({std::move(entry.done), {CommandOutcome::Failed, problem}});
            it = waiting_.erase(it);
            continue;
        }
        if (!entry.written) {
            entry.written = true;
            out.push_back({it->first, entry.command});
        }
        ++it;
    }
    return out;
}

std::vector<CommandBook::Ending> CommandBook::answered(std::uint32_t id,
                                                       const CommandAnswer& answer) {
    std::vector<Ending> ended;
    const auto it = waiting_.find(id);
    if (it != waiting_.end() && it->second.written) {
        const CommandOutcome outcome = answer.done ? CommandOutcome::Done : CommandOutcome::Refused;
        ended.push_back({std::move(it->second.done), {outcome, answer.text}});
        waiting_.erase(it);
    }
    return ended;
}

std::vector<CommandBook::Ending> CommandBook::failAll(const std::string& reason) {
    std::vector<Ending> ended;
    ended.reserve(waiting_.size());
    for (auto& [id, entry] : waiting_) {
        const char* problem = commandProblem(entry.command);
        ended.push_back(
            {std::move(entry.done), {CommandOutcome::Failed, problem ? problem : reason}});
    }
    waiting_.clear();
    return ended;
}

std::vector<CommandBook::Ending> CommandBook::expire(MonoTime now) {
    std::vector<Ending> ended;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->second.deadline <= now) {
            ended.push_back({std::move(it->second.done),
                             {CommandOutcome::Failed, noAnswerWithin(it->second.timeout)}});
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

std::optional<MonoTime> CommandBook::nextDeadline() const {
    std::optional<MonoTime> next;
    for (const auto& [id, entry] : waiting_) {
        if (!next || entry.deadline < *next) {
            next = entry.deadline;
        }
    }
    return next;
}

}  // namespace zentra::link
