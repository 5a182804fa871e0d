// Cost of one deriveTrayGlyph call on a mix of inputs, and the heap allocations it makes.
#include <benchmark/benchmark.h>

#include <vector>

#include "alloc_counter.h"
#include "zentra/glyph.h"

namespace {

struct Input {
    zn::EngineHealth health;
    zn::EngineState state;
    zn::MonoTime pulse;
};

// Mostly healthy idle engines with and without recent pulses, some triggered phases, an
// occasional error or unusable device: what a tray timer sees over a working day.
std::vector<Input> makeMix(zn::MonoTime now) {
    using std::chrono::milliseconds;
    std::vector<Input> mix;
    for (int i = 0; i < 64; ++i) {
        Input in{{true, false, "", false, false}, {"idle", std::nullopt, "active"}, zn::MonoTime{}};
        switch (i % 8) {
            case 0:
                in.pulse = now - milliseconds(50);
                break;
            case 1:
                in.pulse = now - milliseconds(2000);
                break;
            case 2:
                in.state.phase = "triggered";
                break;
            case 3:
                in.state.phase = "cooldown";
                in.pulse = now - milliseconds(299);
                break;
            case 4:
                in.state.lastError = std::string();
                break;
            case 5:
                if (i % 16 == 5) {
                    in.state.deviceStatus = "missing";
                }
                break;
            case 6:
                if (i % 32 == 6) {
                    in.health.healthy = false;
                }
                break;
            default:
                if (i % 24 == 7) {
                    in.state.lastError = "usb reset";
                }
                break;
        }
        mix.push_back(in);
    }
    return mix;
}

void BM_DeriveTrayGlyph(benchmark::State& st) {
    const zn::MonoTime now = std::chrono::steady_clock::now();
    const std::vector<Input> mix = makeMix(now);
    std::size_t i = 0;
    const long long before = heapAllocations();
    for (auto _ : st) {
        const Input& in = mix[i++ & 63];
        benchmark::DoNotOptimize(zn::deriveTrayGlyph(in.health, in.state, in.pulse, now));
    }
    const long long allocations = heapAllocations() - before;
    st.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(st.iterations()));
    st.counters["allocs_total"] = static_cast<double>(allocations);
}
BENCHMARK(BM_DeriveTrayGlyph);

}  // namespace

BENCHMARK_MAIN();
