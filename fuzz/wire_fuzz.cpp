// decodeWire on any bytes: never a crash, a reason for every refusal, and a message it takes is
// sent again byte for byte (unless a snapshot's text is longer than a sender sends, the pulse's
// age is beyond the receiver's clock range, or negative: read as 0).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zentra/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zn::MonoTime now(std::chrono::seconds(1'000'000));
    const zentra::WireDecoded decoded = zentra::decodeWire(bytes, now);
    if (!decoded.message) {
        if (decoded.problem.empty()) {
            std::abort();
        }
        return 0;
    }
    const zentra::WireMessage& m = *decoded.message;
    std::string again;
    switch (m.kind) {
        case zentra::WireKind::Heartbeat:  // under any version it knows
            again = std::string(bytes.substr(0, 3)) + zentra::encodeWireHeartbeat().substr(3);
            break;
        case zentra::WireKind::Hello:  // a later version's hello is taken as it is
            again = std::string("ZT\x02\x03", 4) + static_cast<char>(m.version);
            break;
        case zentra::WireKind::Actions:
            again = zentra::encodeWireActions(m.actions);
            break;
        case zentra::WireKind::Command:
            again = zentra::encodeWireCommand(m.id, m.command);
            break;
        case zentra::WireKind::Answer:
            again = zentra::encodeWireAnswer(m.id, m.answer);
            break;
        case zentra::WireKind::Snapshot:
            break;
    }
    if (m.kind != zentra::WireKind::Snapshot) {
        if (again != bytes) {
            std::abort();
        }
        return 0;
    }
    const zentra::Snapshot& s = decoded.message->snapshot;
    const std::size_t longest =
        std::max({s.health.statusText.size(), s.state.phase.size(),
                  s.state.lastError.value_or("").size(), s.state.deviceStatus.size()});
    const bool negative =
        s.pulse == now && bytes.substr(5, 8) != std::string_view("\0\0\0\0\0\0\0\0", 8);
    const bool held = s.pulse == zn::MonoTime::min() || s.pulse == zn::MonoTime::max() ||
                      s.pulse == zn::MonoTime(zn::MonoTime::duration(1)) || negative;
    if (longest <= zentra::kMaxWireTextBytes && !held &&
        zentra::encodeWireSnapshot(s, now).substr(3) != bytes.substr(3)) {
        std::abort();
    }
    return 0;
}
