// deriveTrayGlyph against a model of its rules written independently: texts compared with
// memcmp, the hold window with 128-bit arithmetic.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "zentra/glyph.h"

namespace {

// Texts near the literals that matter, so the fuzzer reaches every rule quickly.
std::string textNearLiterals(FuzzInput& in) {
    static const char* const kNear[] = {"missing", "permission_denied", "triggered",
                                        "idle",    "Missing",           "missing ",
                                        "trigger", "triggered\0x"};
    const std::uint8_t choice = in.byte();
    if (choice % 4 == 0) {
        return in.text();
    }
    std::string s = kNear[choice % std::size(kNear)];
    if (choice & 0x80) {
        s.push_back(static_cast<char>(in.byte()));  // a near miss
    }
    return s;
}

bool sameText(const std::string& s, const char* literal) {
    return s.size() == std::strlen(literal) && std::memcmp(s.data(), literal, s.size()) == 0;
}

zn::TrayGlyph model(bool healthy, const std::optional<std::string>& error,
                    const std::string& device, const std::string& phase, std::int64_t pulse,
                    std::int64_t now) {
    __extension__ using Wide = __int128;
    if (!healthy || (error && !error->empty()) || sameText(device, "missing") ||
        sameText(device, "permission_denied")) {
        return zn::TrayGlyph::Error;
    }
    if (sameText(phase, "triggered")) {
        return zn::TrayGlyph::Triggered;
    }
    if (pulse == 0) {
        return zn::TrayGlyph::Armed;
    }
    return Wide(now) - Wide(pulse) < Wide(300'000'000) ? zn::TrayGlyph::Triggered
                                                       : zn::TrayGlyph::Armed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    zn::EngineHealth health{(flags & 1) != 0, (flags & 2) != 0, in.text(8), false, false};
    zn::EngineState state;
    state.phase = textNearLiterals(in);
    state.deviceStatus = textNearLiterals(in);
    if (flags & 4) {
        state.lastError = in.text(8);
    }
    auto pulse = in.integer<std::int64_t>();
    auto now = in.integer<std::int64_t>();
    if (flags & 8) {
        // Near the window; wraps around at the ends of the tick range rather than overflowing.
        auto offset = static_cast<std::int64_t>(in.integer<std::int32_t>() % 400'000'000);
        if (flags & 16) {
            offset = 300'000'000 + in.integer<std::int8_t>();  // right at the window's edge
        }
        now = static_cast<std::int64_t>(static_cast<std::uint64_t>(pulse) +
                                        static_cast<std::uint64_t>(offset));
    }
    const zn::TrayGlyph got =
        zn::deriveTrayGlyph(health, state, zn::MonoTime(std::chrono::nanoseconds(pulse)),
                            zn::MonoTime(std::chrono::nanoseconds(now)));
    if (got !=
        model(health.healthy, state.lastError, state.deviceStatus, state.phase, pulse, now)) {
        std::abort();
    }
    return 0;
}
