// The wire format: the exact bytes of a known snapshot, what a receiver makes of messages sent
// at another time, and the reason given for each kind of message refused.
#include <gtest/gtest.h>

#include <string>

#include "zentra/wire.h"

namespace {

using zentra::decodeWire;
using zentra::Snapshot;
using zn::MonoTime;
using namespace std::chrono_literals;

MonoTime at(std::chrono::nanoseconds t) {
    return MonoTime(t);
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += {digits[b >> 4], digits[b & 15]};
    }
    return out;
}

TEST(Wire, KnownAnswerAndRoundTrip) {
    Snapshot s;
    s.health = {true, true, "ok", false, true};
    s.state = {"idle", std::string(), "active"};
    s.pulse = at(10s - 250ms);
    const std::string bytes = zentra::encodeWireSnapshot(s, at(10s));
    EXPECT_EQ(hex(bytes),
              "5a5401013b"              // "ZT", version 1, snapshot, flags
              "fa00000000000000"        // the pulse 250 ms old
              "020000006f6b"            // "ok"
              "0400000069646c65"        // "idle"
              "00000000"                // lastError: present, empty
              "06000000616374697665");  // "active"
    EXPECT_EQ(hex(zentra::encodeWireHeartbeat()), "5a540102");
    // Version 2's kinds, known answers.
    zentra::EngineAction more{"More", "", "", true, false, false, false, {}};
    more.submenu = {{"Fast", "mode", "fast", true, true, true, false, {}},
                    {"", "", "", false, false, false, true, {}}};
    const std::vector<zentra::EngineAction> actions = {
        {"Disconnect", "disconnect", "", true, false, false, false, {}}, more};
    const std::pair<std::string, const char*> kinds[] = {
        {zentra::encodeWireHello(), "5a54020302"},
        {zentra::encodeWireCommand(7, {"connect", "eu"}),
         "5a54020507000000"
         "07000000636f6e6e656374"
         "020000006575"},
        {zentra::encodeWireAnswer(7, {false, "no"}),
         "5a5402060700000001"
         "020000006e6f"},
        {zentra::encodeWireAnswer(258, {true, ""}),
         "5a5402060201000000"
         "00000000"},
        {zentra::encodeWireActions(actions),
         "5a54020404"
         "0100"
         "0a000000446973636f6e6e656374"
         "0a000000646973636f6e6e656374"
         "00000000"
         "0100"
         "040000004d6f7265"
         "00000000"
         "00000000"
         "0701"
         "0400000046617374"
         "040000006d6f6465"
         "0400000066617374"
         "0801"
         "00000000"
         "00000000"
         "00000000"},
    };
    for (const auto& [message, expected] : kinds) {
        EXPECT_EQ(hex(message), expected);
        const auto got = decodeWire(message, at(0s));
        ASSERT_TRUE(got.message) << got.problem;
    }
    const auto read = [](const std::string& m) { return *decodeWire(m, at(0s)).message; };
    EXPECT_EQ(read(zentra::encodeWireActions(actions)).actions, actions);
    EXPECT_EQ(read(zentra::encodeWireCommand(7, {"connect", "eu"})).command.argument, "eu");
    EXPECT_EQ(read(zentra::encodeWireAnswer(9, {false, "no"})).answer.text, "no");
    EXPECT_FALSE(read(zentra::encodeWireAnswer(9, {false, "no"})).answer.done);
    EXPECT_TRUE(read(zentra::encodeWireAnswer(9, {true, ""})).answer.done);
    EXPECT_EQ(read(zentra::encodeWireHello()).version, 2U);

    // Past the bounds: 40 actions, 4 levels, texts cut between whole characters.
    std::vector<zentra::EngineAction> many(45, {"x", "go", "", true, false, false, false, {}});
    zentra::EngineAction deep{"1", "", "", true, false, false, false, {}};
    deep.submenu = {{"2", "", "", true, false, false, false, {}}};
    deep.submenu[0].submenu = {{"3", "", "", true, false, false, false, {}}};
    deep.submenu[0].submenu[0].submenu = {{"4", "", "", true, false, false, false, {}}};
    deep.submenu[0].submenu[0].submenu[0].submenu = {
        {"5", "go", "", true, false, false, false, {}}};
    many[0] = deep;
    many[1].text = std::string(255, 'y') + "\xE2\x82\xAC";
    const std::vector<zentra::EngineAction> sent = read(zentra::encodeWireActions(many)).actions;
    ASSERT_EQ(sent.size(), 37U);  // 3 of the 40 are in the first one's submenus
    EXPECT_TRUE(sent[0].submenu[0].submenu[0].submenu[0].submenu.empty());
    EXPECT_EQ(sent[1].text, std::string(255, 'y'));

    // Round trips: received on a clock 1000 s ahead, the pulse as old as when sent; every field
    // travels; no pulse stays none; a text past the bound cut between whole characters; a pulse
    // age past the clock's range held at its end; a pulse on tick 0 (which means none) on tick 1.
    const std::string euro = "\xE2\x82\xAC";
    Snapshot other;
    other.health.watchdogExpired = true;
    other.health.statusText = std::string(15'998, 'x') + euro + euro;
    other.state = {"triggered", std::nullopt, "missing"};
    Snapshot cut = other;
    cut.health.statusText.resize(15'998);
    const auto pulsed = [](Snapshot x, MonoTime pulse) {
        x.pulse = pulse;
        return x;
    };
    const struct {
        Snapshot sent;
        MonoTime sentAt, readAt;
        Snapshot read;
    } trips[] = {
        {s, at(10s), at(1010s), pulsed(s, at(1010s - 250ms))},
        {other, at(5s), at(7s), cut},
        {pulsed(other, MonoTime::min()), MonoTime::max(), MonoTime::min() + 1s,
         pulsed(cut, MonoTime::min())},
        {pulsed(other, at(1s)), at(1s), at(0s), pulsed(cut, at(1ns))},
        // A pulse after the moment of sending (a negative age): a pulse when read, no later.
        {pulsed(s, at(12s)), at(10s), at(20s), pulsed(s, at(20s))},
    };
    for (const auto& trip : trips) {
        const auto got =
            decodeWire(zentra::encodeWireSnapshot(trip.sent, trip.sentAt), trip.readAt);
        ASSERT_TRUE(got.message) << got.problem;
        EXPECT_FALSE(got.message->heartbeat);
        EXPECT_EQ(got.message->snapshot, trip.read);
    }

    // The largest message a reader takes: exactly 65,536 bytes, whatever its texts' lengths.
    std::string largest = std::string("ZT\x01\x01\x01", 5) + std::string(8, '\0');
    const std::size_t status = zentra::kMaxWireBytes - largest.size() - 16;
    largest += std::string{static_cast<char>(status & 0xFF), static_cast<char>(status >> 8), 0, 0};
    largest += std::string(status, 'x') + std::string(12, '\0');
    ASSERT_EQ(largest.size(), zentra::kMaxWireBytes);
    const auto got = decodeWire(largest, at(0s));
    ASSERT_TRUE(got.message) << got.problem;
    EXPECT_EQ(got.message->snapshot.health.statusText.size(), status);
}

TEST(Wire, RefusedWithTheReason) {
    Snapshot s;
    s.state.deviceStatus = "active";
    const std::string good = zentra::encodeWireSnapshot(s, at(0s));
    std::string pulseOff = good;
    pulseOff[5] = 1;  // a pulse age, without the flag
    s.state.lastError = "x";
    std::string errorOff = zentra::encodeWireSnapshot(s, at(0s));
    errorOff[4] = 0;  // a lastError text, without the flag
    const std::string hello = zentra::encodeWireHello();
    const std::string command = zentra::encodeWireCommand(1, {"connect", ""});
    const std::string answer = zentra::encodeWireAnswer(1, {true, "ok"});
    const struct {
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"", "not a snapshot message (it does not start with \"ZT\")"},
        {"ZX\x01\x02", "not a snapshot message (it does not start with \"ZT\")"},
        {std::string("ZT\x03\x02", 4), "unknown version 3 (this reader knows 1 to 2)"},
        {std::string("ZT\x00\x02", 4), "unknown version 0 (this reader knows 1 to 2)"},
        {std::string("ZT\x01\x00", 4), "unknown kind 0 in version 1"},
        {std::string("ZT\x01\x03\x02", 5), "unknown kind 3 in version 1"},
        {std::string("ZT\x02\x07", 4), "unknown kind 7 in version 2"},
        {std::string("ZT\x02\x03", 4), "a hello cut short (4 bytes)"},
        {std::string("ZT\x02\x03\x01", 5), "a hello of version 1"},
        {hello + "x", "1 bytes after the a hello"},
        {command.substr(0, 10), "a command's name cut short (10 bytes)"},
        {std::string("ZT\x02\x05\x01\0\0\0\0\0\0\0\0\0\0\0", 16), "a command without a name"},
        {std::string("ZT\x02\x05\x01\0\0\0\x41\0\0\0", 12) + std::string(65, 'n') +
             std::string(4, '\0'),
         "a command's name of 65 bytes, more than 64"},
        {answer.substr(0, 8) + "\x02" + answer.substr(9), "an answer's outcome 2"},
        {std::string("ZT\x02\x04\x29", 5), "41 actions, more than 40"},
        {std::string("ZT\x02\x04\x01\x01\x01", 7) + std::string(12, '\0'),
         "an action at depth 1 outside any submenu"},
        {std::string("ZT\x02\x04\x01\x10\x00", 7) + std::string(12, '\0'),
         "unknown action flags 16"},
        {std::string("ZT\x02\x04\x01\x01\x00", 7) + std::string(8, '\0') +
             std::string("\x01\0\0\0x", 5),
         "an action's argument without its command"},
        {std::string("ZT\x02\x04\x02\x01\x00", 7) + std::string(12, '\0'),
         "an action cut short (19 bytes)"},
        {"ZT\x01\x02x", "a heartbeat with 1 bytes after it"},
        {good.substr(0, 12), "a snapshot cut short (12 bytes)"},
        {good.substr(0, 20), "a snapshot cut short (20 bytes)"},
        {good.substr(0, good.size() - 1), "a text of 6 bytes runs past the end"},
        {good + "!", "1 bytes after the snapshot"},
        {std::string("ZT\x01\x01\x80", 5) + good.substr(5), "unknown flags 128"},
        {std::string("ZT\x01\x01\x40", 5) + good.substr(5), "unknown flags 64"},
        {std::string("ZT\x01\x01\xFF", 5) + good.substr(5), "unknown flags 192"},
        {errorOff, "a lastError text without its flag"},
        {pulseOff, "a pulse age without its flag"},
        {std::string("ZT\x01\x01", 4) + std::string(9, '\0') + "\xff\xff\xff\xff",
         "a text of 4294967295 bytes runs past the end"},
        {"ZT" + std::string(std::size_t{64} * 1024 - 1, '\x01'),
         "65537 bytes, more than the 65536 a message may have"},
    };
    for (const auto& c : cases) {
        const zentra::WireDecoded d = decodeWire(c.bytes, at(0s));
        EXPECT_FALSE(d.message) << c.problem;
        EXPECT_EQ(d.problem, c.problem);
    }
}

}  // namespace
