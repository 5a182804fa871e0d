// Lines per second written to a file by FileLogger beside spdlog's file sink flushing every line
// (the same promise: a line is in the file once log() returns), with 1 and 4 threads logging, and
// the CPU time a line costs. Runs alternate between the two, five of each; the medians are shown.
//   file_log_vs_spdlog [lines, default 200000] [folder, default the temporary one]
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "zentra/log_sinks.h"

namespace {

namespace fs = std::filesystem;

struct Run {
    double linesPerSecond;
    double cpuMicrosPerLine;
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// `threads` threads each log lines / threads messages through `logLine`.
Run measure(int lines, int threads, const std::function<void(const std::string&)>& logLine) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = cpuSeconds();
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            std::string message;
            for (int i = 0; i < lines / threads; ++i) {
                message = "engine state: phase idle, thread " + std::to_string(t) + ", line " +
                          std::to_string(i);
                logLine(message);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    return {lines / seconds, (cpuSeconds() - cpu) * 1e6 / lines};
}

Run ours(const fs::path& file, int lines, int threads) {
    fs::remove(file);
    zentra::common::FileLoggerOptions options;
    options.maxBytes = std::uint64_t{1} << 40;  // no rotation in the measurement
    zentra::common::FileLogger logger(file, options);
    return measure(lines, threads, [&logger](const std::string& message) {
        logger.log(zentra::common::LogLevel::Info, message);
    });
}

Run theirs(const fs::path& file, int lines, int threads) {
    fs::remove(file);
    auto logger = spdlog::basic_logger_mt("bench", file.string(), true);
    logger->set_pattern("[%H:%M:%S.%e] [%l] %v");  // the same line as ours
    logger->flush_on(spdlog::level::trace);        // each line handed to the system as logged
    const Run run =
        measure(lines, threads, [&logger](const std::string& message) { logger->info(message); });
    spdlog::drop("bench");
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 200000;
    const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const fs::path file = folder / "zentra-file-log-bench.log";
    for (const int threads : {1, 4}) {
        std::vector<double> ourRate;
        std::vector<double> theirRate;
        std::vector<double> ourCpu;
        std::vector<double> theirCpu;
        for (int round = 0; round < 5; ++round) {
            const Run a = ours(file, lines, threads);
            const Run b = theirs(file, lines, threads);
            ourRate.push_back(a.linesPerSecond);
            theirRate.push_back(b.linesPerSecond);
            ourCpu.push_back(a.cpuMicrosPerLine);
            theirCpu.push_back(b.cpuMicrosPerLine);
        }
        std::printf(
            "threads=%d FileLogger=%.0f lines/s (%.2f us CPU a line) spdlog flushing each "
            "line=%.0f lines/s (%.2f us CPU a line) ratio=%.2f\n",
            threads, median(ourRate), median(ourCpu), median(theirRate), median(theirCpu),
            median(ourRate) / median(theirRate));
    }
    fs::remove(file);
    return 0;
}
