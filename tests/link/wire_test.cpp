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
    const struct {
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"", "not a snapshot message (it does not start with \"ZT\")"},
        {"ZX\x01\x02", "not a snapshot message (it does not start with \"ZT\")"},
        {std::string("ZT\x02\x02", 4), "unknown version 2 (this reader knows 1)"},
        {std::string("ZT\x00\x02", 4), "unknown version 0 (this reader knows 1)"},
        {std::string("ZT\x01\x00", 4), "unknown kind 0"},
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
