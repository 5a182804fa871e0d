// Cost of the console logger: a message below the minimum level, and a written line against the
// floor of one raw write() of the same bytes. Standard error goes to /dev/null while they run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "alloc_counter.h"
#include "zentra/log.h"
#include "zentra/logger.h"

namespace {

using zentra::common::ConsoleLogger;
using zentra::common::LogLevel;

const std::string kMessage = "applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=5)";

void stderrToDevNull() {
    const int fd = open("/dev/null", O_WRONLY);
    dup2(fd, 2);
    close(fd);
}

void BM_FilteredMessage(benchmark::State& st) {
    ConsoleLogger logger;
    const long long before = heapAllocations();
    for (auto _ : st) {
        logger.log(LogLevel::Debug, kMessage);
        benchmark::ClobberMemory();
    }
    st.counters["allocs_per_call"] = benchmark::Counter(
        static_cast<double>(heapAllocations() - before) / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_FilteredMessage);

// The composers below the process-wide console logger's level (Info): logAt composes its text
// before the logger drops it; asking logEnabled first skips the composing.
void BM_FilteredLogAt(benchmark::State& st) {
    const unsigned long code = 5;
    for (auto _ : st) {
        zentra::common::logAt(LogLevel::Debug, "applyTrayGlyph: failed (GLE=", code, ")");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FilteredLogAt);

void BM_FilteredLogAtAskedFirst(benchmark::State& st) {
    const unsigned long code = 5;
    for (auto _ : st) {
        if (zentra::common::logEnabled(LogLevel::Debug)) {
            zentra::common::logAt(LogLevel::Debug, "applyTrayGlyph: failed (GLE=", code, ")");
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FilteredLogAtAskedFirst);

// A written logWarn through the process-wide console logger: composing and the line.
void BM_WrittenLogWarn(benchmark::State& st) {
    stderrToDevNull();
    const unsigned long code = 5;
    for (auto _ : st) {
        zentra::common::logWarn("applyTrayGlyph: Shell_NotifyIconW(NIM_MODIFY) failed (GLE=", code,
                                ")");
    }
    st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_WrittenLogWarn);

void BM_ConsoleLine(benchmark::State& st) {
    stderrToDevNull();
    ConsoleLogger logger;
    logger.log(LogLevel::Warn, kMessage);  // grows the line buffer once
    const long long before = heapAllocations();
    for (auto _ : st) {
        logger.log(LogLevel::Warn, kMessage);
    }
    st.SetItemsProcessed(st.iterations());
    st.counters["allocs_per_call"] = benchmark::Counter(
        static_cast<double>(heapAllocations() - before) / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_ConsoleLine);

// What a cache of the local time would save per line: one conversion, against BM_ConsoleLine.
void BM_LocalTimeConversion(benchmark::State& st) {
    std::time_t seconds = std::time(nullptr);
    std::tm local{};
    for (auto _ : st) {
        zentra::common::toLocalTime(seconds, local);
        benchmark::DoNotOptimize(local);
        ++seconds;
    }
}
BENCHMARK(BM_LocalTimeConversion);

// The limit: one write() of a line of the same length, nothing else.
void BM_RawWrite(benchmark::State& st) {
    stderrToDevNull();
    std::tm t{};
    const std::string line = zentra::common::formatLogLine(t, 0, LogLevel::Warn, kMessage);
    for (auto _ : st) {
        benchmark::DoNotOptimize(write(2, line.data(), line.size()));
    }
    st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_RawWrite);

}  // namespace

BENCHMARK_MAIN();
