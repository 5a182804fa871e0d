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

    // Received on a clock 1000 s ahead: the same snapshot, its pulse as old as when sent.
    const zentra::WireDecoded back = decodeWire(bytes, at(1010s));
    ASSERT_TRUE(back.message) << back.problem;
    Snapshot expected = s;
    expected.pulse = at(1010s - 250ms);
    EXPECT_FALSE(back.message->heartbeat);
    EXPECT_EQ(back.message->snapshot, expected);

    // Every field travels; no pulse stays no pulse; a text past the bound is cut between
    // whole characters; pulse ages beyond the clock's range are held at its ends.
    const std::string euro = "\xE2\x82\xAC";
    Snapshot other;
    other.health.watchdogExpired = true;
    other.health.statusText = std::string(15'998, 'x') + euro + euro;
    other.state = {"triggered", std::nullopt, "missing"};
    const zentra::WireDecoded plain = decodeWire(zentra::encodeWireSnapshot(other, at(5s)), at(7s));
    ASSERT_TRUE(plain.message) << plain.problem;
    EXPECT_EQ(plain.message->snapshot.state.phase, "triggered");
    EXPECT_EQ(plain.message->snapshot.state.lastError, std::nullopt);
    EXPECT_EQ(plain.message->snapshot.state.deviceStatus, "missing");
    EXPECT_EQ(plain.message->snapshot.health.statusText, std::string(15'998, 'x'));
    EXPECT_TRUE(plain.message->snapshot.health.watchdogExpired);
    EXPECT_EQ(plain.message->snapshot.pulse, MonoTime{});

    other.pulse = MonoTime::min();
    const auto old =
        decodeWire(zentra::encodeWireSnapshot(other, MonoTime::max()), MonoTime::min() + 1s);
    ASSERT_TRUE(old.message);
    EXPECT_EQ(old.message->snapshot.pulse, MonoTime::min());
    other.pulse = at(1s);  // a pulse now: never tick 0, which would mean none
    EXPECT_EQ(decodeWire(zentra::encodeWireSnapshot(other, at(1s)), at(0s)).message->snapshot.pulse,
              at(1ns));
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
    const struct {
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"", "not a snapshot message (it does not start with \"ZT\")"},
        {"ZX\x01\x02", "not a snapshot message (it does not start with \"ZT\")"},
        {std::string("ZT\x02\x02", 4), "unknown version 2 (this reader knows 1)"},
        {std::string("ZT\x01\x00", 4), "unknown kind 0"},
        {"ZT\x01\x02x", "a heartbeat with 1 bytes after it"},
        {good.substr(0, 12), "a snapshot cut short (12 bytes)"},
        {good.substr(0, 20), "a snapshot cut short (20 bytes)"},
        {good.substr(0, good.size() - 1), "a text of 6 bytes runs past the end"},
        {good + "!", "1 bytes after the snapshot"},
        {std::string("ZT\x01\x01\x80", 5) + good.substr(5), "unknown flags 128"},
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
