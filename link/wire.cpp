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
constexpr unsigned kKindHello = 3;
constexpr unsigned kKindActions = 4;
constexpr unsigned kKindCommand = 5;
constexpr unsigned kKindAnswer = 6;
// The version each kind came with: a message carries its kind's, so that a version-1 reader
// reads snapshots and heartbeats from any engine.
constexpr unsigned kFirstVersion = 1;
constexpr unsigned kKindsOfVersion[] = {0, kKindHeartbeat, kKindAnswer};

constexpr unsigned kActionEnabled = 1;
constexpr unsigned kActionChecked = 2;
constexpr unsigned kActionRadio = 4;
constexpr unsigned kActionSeparator = 8;
constexpr unsigned kAllActionFlags = 15;
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

// At most `bound` bytes of `text`, not ending inside a UTF-8 sequence.
std::string_view cutText(std::string_view text, std::size_t bound) {
    if (text.size() <= bound) {
        return text;
    }
    std::size_t end = bound;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

void putText(std::string& out, std::string_view text, std::size_t bound = kMaxWireTextBytes) {
    const std::string_view cut = cutText(text, bound);
    putLittle(out, cut.size(), 4);
    out.append(cut);
}

std::string header(unsigned version, unsigned kind) {
    return {kMagic0, kMagic1, static_cast<char>(version), static_cast<char>(kind)};
}

// Reads a message's fields in order; the first that cannot be read sets `problem`.
struct FieldReader {
    std::string_view in;
    std::size_t at = 0;
    std::string problem;

    bool number(int bytes, std::uint64_t& value, const char* what) {
        if (!problem.empty()) {
            return false;
        }
        if (in.size() - at < static_cast<std::size_t>(bytes)) {
            problem = std::string(what) + " cut short (" + std::to_string(in.size()) + " bytes)";
            return false;
        }
        value = getLittle(in, at, bytes);
        at += static_cast<std::size_t>(bytes);
        return true;
    }
    bool text(std::string& out, std::size_t bound, const char* what) {
        std::uint64_t length = 0;
        if (!number(4, length, what)) {
            return false;
        }
        if (length > in.size() - at) {
            problem = "a text of " + std::to_string(length) + " bytes runs past the end";
            return false;
        }
        if (length > bound) {
            problem = std::string(what) + " of " + std::to_string(length) + " bytes, more than " +
                      std::to_string(bound);
            return false;
        }
        out.assign(in.substr(at, static_cast<std::size_t>(length)));
        at += static_cast<std::size_t>(length);
        return true;
    }
    bool end(const char* what) {
        if (problem.empty() && at != in.size()) {
            problem = std::to_string(in.size() - at) + " bytes after the " + what;
        }
        return problem.empty();
    }
};

// The actions in order, each with its depth: what the wire carries.
void flatten(const std::vector<EngineAction>& actions, unsigned depth, std::string& out,
             std::size_t& count) {
    for (const EngineAction& a : actions) {
        if (count == kMaxEngineActions) {
            return;
        }
        ++count;
        unsigned flags = 0;
        flags |= a.enabled ? kActionEnabled : 0U;
        flags |= a.checked ? kActionChecked : 0U;
        flags |= a.radio ? kActionRadio : 0U;
        flags |= a.separator ? kActionSeparator : 0U;
        out.push_back(static_cast<char>(flags));
        out.push_back(static_cast<char>(depth));
        const bool opens = !a.separator && a.command.empty();
        putText(out, a.text, kMaxActionTextBytes);
        putText(out, opens ? std::string_view() : cutText(a.command, kMaxCommandNameBytes));
        putText(out, opens ? std::string_view() : cutText(a.argument, kMaxCommandArgumentBytes));
        if (opens && depth + 1 < kMaxActionDepth) {
            flatten(a.submenu, depth + 1, out, count);
        }
    }
}

WireDecoded refuse(std::string problem);

WireDecoded decodeActions(FieldReader& r) {
    std::uint64_t count = 0;
    r.number(1, count, "an action list");
    if (r.problem.empty() && count > kMaxEngineActions) {
        return refuse(std::to_string(count) + " actions, more than " +
                      std::to_string(kMaxEngineActions));
    }
    WireMessage message;
    message.kind = WireKind::Actions;
    // The open submenus, outermost first: where the next item at each depth goes.
    std::vector<std::vector<EngineAction>*> open{&message.actions};
    for (std::uint64_t i = 0; i < count && r.problem.empty(); ++i) {
        std::uint64_t flags = 0;
        std::uint64_t depth = 0;
        EngineAction a;
        r.number(1, flags, "an action");
        r.number(1, depth, "an action");
        r.text(a.text, kMaxActionTextBytes, "an action's text");
        r.text(a.command, kMaxCommandNameBytes, "an action's command");
        r.text(a.argument, kMaxCommandArgumentBytes, "an action's argument");
        if (!r.problem.empty()) {
            break;
        }
        if ((flags & ~kAllActionFlags) != 0) {
            return refuse("unknown action flags " + std::to_string(flags & ~kAllActionFlags));
        }
        if (a.command.empty() && !a.argument.empty()) {
            return refuse("an action's argument without its command");
        }
        if (depth >= open.size()) {
            return refuse("an action at depth " + std::to_string(depth) + " outside any submenu");
        }
        a.enabled = (flags & kActionEnabled) != 0;
        a.checked = (flags & kActionChecked) != 0;
        a.radio = (flags & kActionRadio) != 0;
        a.separator = (flags & kActionSeparator) != 0;
        open.resize(static_cast<std::size_t>(depth) + 1);
        open.back()->push_back(std::move(a));
        const EngineAction& added = open.back()->back();
        if (!added.separator && added.command.empty() && open.size() < kMaxActionDepth) {
            open.push_back(&open.back()->back().submenu);
        }
    }
    if (!r.end("actions")) {
        return refuse(r.problem);
    }
    WireDecoded out;
    out.message = std::move(message);
    return out;
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

// A hello, a command or an answer (actions apart).
WireDecoded decodeVersion2(std::string_view bytes, unsigned kind) {
    FieldReader r{bytes, kHeader, {}};
    if (kind == kKindActions) {
        return decodeActions(r);
    }
    WireMessage m;
    std::uint64_t number = 0;
    const char* what = "a hello";
    if (kind == kKindHello) {
        m.kind = WireKind::Hello;
        r.number(1, number, what);
        m.version = static_cast<unsigned>(number);
        if (r.problem.empty() && number < 2) {
            return refuse("a hello of version " + std::to_string(number));
        }
    } else if (kind == kKindCommand) {
        m.kind = WireKind::Command;
        what = "a command";
        r.number(4, number, what);
        m.id = static_cast<std::uint32_t>(number);
        r.text(m.command.name, kMaxCommandNameBytes, "a command's name");
        r.text(m.command.argument, kMaxCommandArgumentBytes, "a command's argument");
        if (r.problem.empty() && m.command.name.empty()) {
            return refuse("a command without a name");
        }
    } else {
        m.kind = WireKind::Answer;
        what = "an answer";
        r.number(4, number, what);
        m.id = static_cast<std::uint32_t>(number);
        r.number(1, number, what);
        if (r.problem.empty() && number > 1) {
            return refuse("an answer's outcome " + std::to_string(number));
        }
        m.answer.done = number == 0;
        r.text(m.answer.text, kMaxWireTextBytes, "an answer's text");
    }
    if (!r.end(what)) {
        return refuse(r.problem);
    }
    WireDecoded out;
    out.message = std::move(m);
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
    std::string out = header(kFirstVersion, kKindSnapshot);
    out.push_back(static_cast<char>(flags));
    putLittle(out, static_cast<std::uint64_t>(age), 8);
    putText(out, snapshot.health.statusText);
    putText(out, snapshot.state.phase);
    putText(out, snapshot.state.lastError.value_or(std::string()));
    putText(out, snapshot.state.deviceStatus);
    return out;
}

std::string encodeWireHeartbeat() {
    return header(kFirstVersion, kKindHeartbeat);
}

std::string encodeWireHello() {
    return header(2, kKindHello) + static_cast<char>(kWireVersion);
}

std::string encodeWireActions(const std::vector<EngineAction>& actions) {
    std::string items;
    std::size_t count = 0;
    flatten(actions, 0, items, count);
    return header(2, kKindActions) + static_cast<char>(count) + items;
}

std::string encodeWireCommand(std::uint32_t id, const EngineCommand& command) {
    std::string out = header(2, kKindCommand);
    putLittle(out, id, 4);
    putText(out, command.name, kMaxCommandNameBytes);
    putText(out, command.argument, kMaxCommandArgumentBytes);
    return out;
}

std::string encodeWireAnswer(std::uint32_t id, const CommandAnswer& answer) {
    std::string out = header(2, kKindAnswer);
    putLittle(out, id, 4);
    out.push_back(static_cast<char>(answer.done ? 0 : 1));
    putText(out, answer.text);
    return out;
}

const char* commandProblem(const EngineCommand& command) {
    if (command.name.empty()) {
        return "a command needs a name";
    }
    if (command.name.size() > kMaxCommandNameBytes) {
        return "a command's name is longer than 64 bytes";
    }
    if (command.argument.size() > kMaxCommandArgumentBytes) {
        return "a command's argument is longer than 4096 bytes";
    }
    return nullptr;
}

bool operator==(const EngineAction& a, const EngineAction& b) {
    return a.text == b.text && a.command == b.command && a.argument == b.argument &&
           a.enabled == b.enabled && a.checked == b.checked && a.radio == b.radio &&
           a.separator == b.separator && a.submenu == b.submenu;
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
    if (version < kFirstVersion || version > kWireVersion) {
        return refuse("unknown version " + std::to_string(version) + " (this reader knows 1 to " +
                      std::to_string(kWireVersion) + ")");
    }
    const unsigned kind = static_cast<unsigned char>(bytes[3]);
    if (kind == 0 || kind > kKindsOfVersion[version]) {
        return refuse("unknown kind " + std::to_string(kind) + " in version " +
                      std::to_string(version));
    }
    if (kind == kKindHeartbeat) {
        if (bytes.size() != kHeader) {
            return refuse("a heartbeat with " + std::to_string(bytes.size() - kHeader) +
                          " bytes after it");
        }
        WireDecoded out;
        out.message = WireMessage{};
        out.message->heartbeat = true;
        out.message->kind = WireKind::Heartbeat;
        return out;
    }
    if (kind != kKindSnapshot) {
        return decodeVersion2(bytes, kind);
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
