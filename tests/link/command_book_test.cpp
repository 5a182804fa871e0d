// A command's life on the tray's side, step by step: sent, answered, refused, timed out, the
// engine gone; each ends exactly once, whatever comes after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_book.h"

namespace {

using std::chrono::milliseconds;
using zentra::CommandOutcome;
using zentra::link::CommandBook;

// Steps: "c NAME MS" a command with that timeout; "r" the engine takes commands (those
// written are logged "w<id>"); "a ID TEXT" the engine's answer (TEXT with a leading ! refused);
// "t MS" the clock at MS and deadlines checked; "g REASON" the link lost the engine.
std::vector<std::string> live(const std::vector<std::string>& steps, int& commands) {
    CommandBook book;
    std::vector<std::string> log;
    zn::MonoTime now{};
    const auto tell = [&log](const std::vector<CommandBook::Ending>& ended) {
        const char* names[] = {"done", "refused", "failed"};
        for (const auto& e : ended) {
            log.push_back(std::string(names[static_cast<int>(e.result.outcome)]) + ": " +
                          e.result.text);
            e.done(e.result);
        }
    };
    int delivered = 0;
    commands = 0;
    for (const std::string& step : steps) {
        const std::string rest = step.size() > 2 ? step.substr(2) : "";
        const std::size_t space = rest.find(' ');
        const std::string first = rest.substr(0, space);
        const std::string second = space == std::string::npos ? "" : rest.substr(space + 1);
        if (step[0] == 'c') {
            ++commands;
            book.add({first == "-" ? "" : first, ""}, milliseconds(std::stoll(second)), now,
                     [&delivered](const zentra::CommandResult&) { ++delivered; });
        } else if (step[0] == 'r') {
            std::vector<CommandBook::Ending> ended;
            for (const auto& out : book.takeOutgoing(ended)) {
                log.push_back("w" + std::to_string(out.id) + " " + out.command.name);
            }
            tell(ended);
        } else if (step[0] == 'a') {
            const bool refused = second[0] == '!';
            tell(book.answered(static_cast<std::uint32_t>(std::stoul(first)),
                               {!refused, refused ? second.substr(1) : second}));
        } else if (step[0] == 't') {
            now = zn::MonoTime(milliseconds(std::stoll(rest)));
            tell(book.expire(now));
        } else {
            tell(book.failAll(rest));
        }
    }
    tell(book.failAll("end"));
    EXPECT_EQ(delivered, commands) << "each command ends exactly once";
    EXPECT_TRUE(book.empty());
    return log;
}

TEST(CommandBook, EachCommandEndsOnce) {
    const struct {
        std::vector<std::string> steps;
        std::vector<std::string> log;
    } rows[] = {
        // Answered, and refused with the engine's reason.
        {{"c connect 1000", "r", "a 1 connected"}, {"w1 connect", "done: connected"}},
        {{"c connect 1000", "r", "a 1 !not now"}, {"w1 connect", "refused: not now"}},
        // Timed out at its deadline, not before; a late answer ends nothing more.
        {{"c x 500", "r", "t 499", "t 500", "a 1 ok"},
         {"w1 x", "failed: no answer from the engine in 0.5 s"}},
        // Waiting for the engine to take commands, it still times out.
        {{"c x 10000", "t 10000"}, {"failed: no answer from the engine in 10 s"}},
        // The engine gone: every command, written or not.
        {{"c x 1000", "r", "c y 1000", "g engine not running"},
         {"w1 x", "failed: engine not running", "failed: engine not running"}},
        // Written once, however often the engine takes commands; answers matched by id, in
        // any order; an answer to a command not written, or unknown, ends nothing.
        {{"c x 1000", "a 1 early", "r", "c y 1000", "r", "a 9 stray", "a 2 b", "a 1 a"},
         {"w1 x", "w2 y", "done: b", "done: a"}},
        // A command that cannot be sent fails with why, when it would be written.
        {{"c - 1000", "r"}, {"failed: a command needs a name"}},
        {{"c " + std::string(65, 'n') + " 1000", "g engine not running"},
         {"failed: a command's name is longer than 64 bytes"}},
        // The ones still waiting at the end (the link destroyed).
        {{"c x 1000"}, {"failed: end"}},
    };
    for (const auto& row : rows) {
        int commands = 0;
        std::vector<std::string> log = live(row.steps, commands);
        if (!log.empty() && log.back() == "failed: end" && row.log.back() != "failed: end") {
            log.pop_back();
        }
        EXPECT_EQ(log, row.log) << row.steps.front();
    }
    const std::pair<long long, const char*> timeouts[] = {
        {10000, "10 s"}, {500, "0.5 s"}, {1, "0.1 s"}, {2050, "2.1 s"}, {0, "0 s"}};
    for (const auto& [ms, text] : timeouts) {
        EXPECT_EQ(zentra::link::noAnswerWithin(milliseconds(ms)),
                  std::string("no answer from the engine in ") + text);
    }
}

}  // namespace
