// How long a snapshot posted from an engine's thread takes to reach the screen through TrayHost,
// and how many shell calls each glyph change costs. A Windows program: run it under Wine on a
// display with the shell desktop (scripts/windows-tests does).
//   host_latency [changes]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "zentra/tray_host.h"

namespace {

using Clock = std::chrono::steady_clock;

zentra::Snapshot snapshot(bool error) {
    zentra::Snapshot s;
    s.health.healthy = true;
    s.state = {"idle", std::nullopt, "active"};
    if (error) {
        s.state.lastError = "usb reset";
    }
    return s;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1));
    return values[index];
}

}  // namespace

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;
    std::vector<Clock::time_point> posted(static_cast<std::size_t>(changes));
    std::vector<double> latencies;
    std::atomic<int> shown{-1};  // the first glyph is not a change
    zentra::TrayHostOptions options;
    options.notifications.onError = false;  // glyph changes only: a notification is a call too
    std::vector<double> shellTimes;
    options.shellNotifyIcon = [&shellTimes](DWORD message, NOTIFYICONDATAW* data) {
        const auto start = Clock::now();
        const BOOL ok = Shell_NotifyIconW(message, data);
        shellTimes.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return ok;
    };
    options.onGlyphShown = [&](zn::TrayGlyph, zn::MonoTime) {
        const int n = shown.load();
        if (n >= 0) {
            const std::chrono::duration<double, std::milli> took =
                Clock::now() - posted[static_cast<std::size_t>(n)];
            latencies.push_back(took.count());
        }
        shown.store(n + 1);
        if (n + 1 == changes) {
            PostQuitMessage(0);
        }
    };
    const auto host = zentra::TrayHost::create(snapshot(false), options);
    if (!host) {
        std::fprintf(stderr, "host_latency: no host (is there a display?)\n");
        return 1;
    }
    MSG msg;
    while (shown.load() < 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    const std::uint64_t callsBefore = host->stats().shellCalls;
    // The engine: one change at a time, at irregular moments, as an engine's events come.
    std::thread engine([&] {
        for (int i = 0; i < changes; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 + (i * 7) % 11));
            posted[static_cast<std::size_t>(i)] = Clock::now();
            host->post(snapshot(i % 2 == 0));
            while (shown.load() <= i) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
    });
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    engine.join();
    const double calls = static_cast<double>(host->stats().shellCalls - callsBefore);
    std::printf("post -> shown over %d glyph changes: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                changes, percentile(latencies, 50), percentile(latencies, 99),
                percentile(latencies, 100));
    std::printf("shell calls per glyph change: %.2f; a call takes p50 %.2f ms, p99 %.2f ms\n",
                calls / changes, percentile(shellTimes, 50), percentile(shellTimes, 99));
    std::printf(
        "a 20 ms polling timer instead: 10 ms mean wait, 20 ms worst, 50 wake-ups a second\n");
    return 0;
}
