#include "zentra/wire.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace zentra {

namespace {

constexpr char kMagic0 = 'Z';
constexpr char kMagic1 = 'T';
constexpr unsigned kKindSnapshot = 1;
constexpr unsigned kKindHeartbeat = 2;
constexpr std::size_t kHeader = 4;
constexpr std::size_t kSnapshotFixed = kHeader + 1 + 8;

constexpr unsigned kHealthy = 1;
constexpr unsigned kDegraded = 2;
constexpr unsigned kWatchdogExpired = 4;
constexpr unsigned kRecovering = 8;
constexpr unsigned kHasLastError = 16;
constexpr unsigned kHasPulse = 32;
constexpr unsigned kAllFlags = 63;

constexpr std::int64_t kNanosPerMs = 1'000'000;

void putLittle(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint64_t getLittle(std::string_view in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])}
                 << (8 * i);
    }
    return value;
}

// At most kMaxWireTextBytes of `text`, not ending inside a UTF-8 sequence.
std::string_view wireText(std::string_view text) {
    if (text.size() <= kMaxWireTextBytes) {
        return text;
    }
    std::size_t end = kMaxWireTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

void putText(std::string& out, std::string_view text) {
    const std::string_view cut = wireText(text);
    putLittle(out, cut.size(), 4);
    out.append(cut);
}

// a - b in whole milliseconds (toward zero), held inside the 64-bit range.
std::int64_t millisecondsBetween(std::int64_t a, std::int64_t b) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference)) {
        return a > b ? std::numeric_limits<std::int64_t>::max() / kNanosPerMs
                     : std::numeric_limits<std::int64_t>::min() / kNanosPerMs;
    }
    return difference / kNanosPerMs;
}

// `now` less `ageMs` milliseconds, held inside the tick range; never tick 0, which means none.
MonoTime pulseAt(MonoTime now, std::int64_t ageMs) {
    std::int64_t age = 0;
    std::int64_t ticks = 0;
    const std::int64_t nowTicks = now.time_since_epoch().count();
    if (__builtin_mul_overflow(ageMs, kNanosPerMs, &age) ||
        __builtin_sub_overflow(nowTicks, age, &ticks)) {
        ticks = ageMs > 0 ? std::numeric_limits<std::int64_t>::min()
                          : std::numeric_limits<std::int64_t>::max();
    }
    return MonoTime(MonoTime::duration(ticks == 0 ? 1 : ticks));
}

WireDecoded refuse(std::string problem) {
    WireDecoded out;
    out.problem = std::move(problem);
    return out;
}

}  // namespace

std::string encodeWireSnapshot(const Snapshot& snapshot, MonoTime now) {
    const bool hasPulse = snapshot.pulse != MonoTime{};
    unsigned flags = 0;
    flags |= snapshot.health.healthy ? kHealthy : 0U;
    flags |= snapshot.health.degraded ? kDegraded : 0U;
    flags |= snapshot.health.watchdogExpired ? kWatchdogExpired : 0U;
    flags |= snapshot.health.recovering ? kRecovering : 0U;
    flags |= snapshot.state.lastError.has_value() ? kHasLastError : 0U;
    flags |= hasPulse ? kHasPulse : 0U;
    const std::int64_t age = hasPulse
                                 ? millisecondsBetween(now.time_since_epoch().count(),
                                                       snapshot.pulse.time_since_epoch().count())
                                 : 0;
    std::string out{kMagic0, kMagic1, static_cast<char>(kWireVersion),
                    static_cast<char>(kKindSnapshot), static_cast<char>(flags)};
    putLittle(out, static_cast<std::uint64_t>(age), 8);
    putText(out, snapshot.health.statusText);
    putText(out, snapshot.state.phase);
    putText(out, snapshot.state.lastError.value_or(std::string()));
    putText(out, snapshot.state.deviceStatus);
    return out;
}

std::string encodeWireHeartbeat() {
    return {kMagic0, kMagic1, static_cast<char>(kWireVersion), static_cast<char>(kKindHeartbeat)};
}

WireDecoded decodeWire(std::string_view bytes, MonoTime now) {
    if (bytes.size() > kMaxWireBytes) {
        return refuse(std::to_string(bytes.size()) + " bytes, more than the " +
                      std::to_string(kMaxWireBytes) + " a message may have");
    }
    if (bytes.size() < kHeader || bytes[0] != kMagic0 || bytes[1] != kMagic1) {
        return refuse("not a snapshot message (it does not start with \"ZT\")");
    }
    const unsigned version = static_cast<unsigned char>(bytes[2]);
    if (version != kWireVersion) {
        return refuse("unknown version " + std::to_string(version) + " (this reader knows " +
                      std::to_string(kWireVersion) + ")");
    }
    const unsigned kind = static_cast<unsigned char>(bytes[3]);
    if (kind == kKindHeartbeat) {
        if (bytes.size() != kHeader) {
            return refuse("a heartbeat with " + std::to_string(bytes.size() - kHeader) +
                          " bytes after it");
        }
        WireDecoded out;
        out.message = WireMessage{true, {}};
        return out;
    }
    if (kind != kKindSnapshot) {
        return refuse("unknown kind " + std::to_string(kind));
    }
    if (bytes.size() < kSnapshotFixed) {
        return refuse("a snapshot cut short (" + std::to_string(bytes.size()) + " bytes)");
    }
    const unsigned flags = static_cast<unsigned char>(bytes[kHeader]);
    if ((flags & ~kAllFlags) != 0) {
        return refuse("unknown flags " + std::to_string(flags & ~kAllFlags));
    }
    const auto age = static_cast<std::int64_t>(getLittle(bytes, kHeader + 1, 8));
    std::string texts[4];
    std::size_t at = kSnapshotFixed;
    for (std::string& text : texts) {
        if (bytes.size() - at < 4) {
            return refuse("a snapshot cut short (" + std::to_string(bytes.size()) + " bytes)");
        }
        const std::uint64_t length = getLittle(bytes, at, 4);
        at += 4;
        if (length > bytes.size() - at) {
            return refuse("a text of " + std::to_string(length) + " bytes runs past the end");
        }
        text.assign(bytes.substr(at, static_cast<std::size_t>(length)));
        at += static_cast<std::size_t>(length);
    }
    if (at != bytes.size()) {
        return refuse(std::to_string(bytes.size() - at) + " bytes after the snapshot");
    }
    WireMessage message;
    Snapshot& s = message.snapshot;
    s.health.healthy = (flags & kHealthy) != 0;
    s.health.degraded = (flags & kDegraded) != 0;
    s.health.watchdogExpired = (flags & kWatchdogExpired) != 0;
    s.health.recovering = (flags & kRecovering) != 0;
    s.health.statusText = std::move(texts[0]);
    s.state.phase = std::move(texts[1]);
    if ((flags & kHasLastError) != 0) {
        s.state.lastError = std::move(texts[2]);
    } else if (!texts[2].empty()) {
        return refuse("a lastError text without its flag");
    }
    s.state.deviceStatus = std::move(texts[3]);
    if ((flags & kHasPulse) != 0) {
        // A negative age (a pulse after the message was sent: the sender's bug) is a pulse now,
        // not one in the future that would hold Triggered until then.
        s.pulse = pulseAt(now, std::max<std::int64_t>(age, 0));
    } else if (age != 0) {
        return refuse("a pulse age without its flag");
    }
    WireDecoded out;
    out.message = std::move(message);
    return out;
}

}  // namespace zentra
