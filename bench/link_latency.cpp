// An engine in another process: how long a snapshot published there takes to reach the screen
// of a tray that follows it (EngineLink -> TrayHost), and how often the tray wakes while the
// engine is idle and sends only heartbeats. It starts itself a second time as the engine. A
// Windows program: run it under Wine on a display with the shell desktop.
//   link_latency [changes] [idle seconds]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "zentra/engine_link.h"
#include "zentra/engine_publisher.h"
#include "zentra/tray_host.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleHeartbeat = std::chrono::seconds(1);

// Error or not; the moment it was published, on the clock both processes share, as its status.
zentra::Snapshot snapshot(bool error) {
    zentra::Snapshot s;
    s.health.healthy = true;
    s.health.statusText = std::to_string(Clock::now().time_since_epoch().count());
    s.state = {"idle", std::nullopt, "active"};
    if (error) {
        s.state.lastError = "usb reset";
    }
    return s;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1));
    return values[index];
}

// The engine: once a tray reads, `changes` glyph changes 30 ms apart, then only heartbeats until
// the tray ends it.
int engine(const std::wstring& name, int changes) {
    zentra::EnginePublisherOptions options;
    options.heartbeat = kIdleHeartbeat;
    const auto publisher = zentra::EnginePublisher::create(name, options);
    if (!publisher) {
        return 1;
    }
    publisher->publish(snapshot(false));
    while (publisher->stats().readers == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < changes; ++i) {
        publisher->publish(snapshot(i % 2 == 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    std::this_thread::sleep_for(std::chrono::hours(1));  // ended by the tray
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::string(argv[1]) == "--engine") {
        const std::string name = argv[2];
        return engine(std::wstring(name.begin(), name.end()), std::atoi(argv[3]));
    }
    const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string name = "zentra-bench." + std::to_string(GetCurrentProcessId());

    std::vector<double> latencies;
    std::atomic<int> shown{-1};  // the first glyph is not a change
    zentra::TrayHost* host = nullptr;
    zentra::TrayHostOptions options;
    options.notifications.onError = false;
    options.silenceDeadline = 3 * kIdleHeartbeat;
    options.onGlyphShown = [&](zn::TrayGlyph, zn::MonoTime) {
        const std::u16string& tip = host->shown().tooltip;
        const auto at = tip.rfind(u" - ");
        if (shown.load() >= 0 && at != std::u16string::npos) {
            const std::string sent(tip.begin() + static_cast<std::ptrdiff_t>(at) + 3, tip.end());
            const Clock::time_point then(Clock::duration(std::atoll(sent.c_str())));
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - then).count());
        }
        if (shown.fetch_add(1) + 1 == changes) {
            PostQuitMessage(0);
        }
    };
    const auto created =
        zentra::TrayHost::create(zentra::engineDown("engine not running"), options);
    if (!created) {
        std::fprintf(stderr, "link_latency: no host (is there a display?)\n");
        return 1;
    }
    host = created.get();
    auto link = zentra::EngineLink::create(std::wstring(name.begin(), name.end()),
                                           [host](const zentra::Snapshot& s) { host->post(s); });

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --engine " +
                           std::wstring(name.begin(), name.end()) + L" " + std::to_wstring(changes);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
        std::fprintf(stderr, "link_latency: the engine cannot start (%lu)\n", GetLastError());
        return 1;
    }
    // Until the changes are shown, or 60 s.
    SetTimer(nullptr, 0, 60'000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) {
        DispatchMessageW(&msg);
    }
    std::printf(
        "publish -> shown across processes, %zu of %d glyph changes: p50 %.2f ms, "
        "p99 %.2f ms, max %.2f ms\n",
        latencies.size(), changes, percentile(latencies, 50), percentile(latencies, 99),
        percentile(latencies, 100));

    // Idle: the engine sends only heartbeats.
    const auto before = host->stats();
    const auto linkBefore = link->stats();
    UINT_PTR idle = SetTimer(nullptr, 0, static_cast<UINT>(idleSeconds * 1000), nullptr);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 &&
           !(msg.message == WM_TIMER && msg.wParam == idle)) {
        DispatchMessageW(&msg);
    }
    const auto after = host->stats();
    const auto linkAfter = link->stats();
    const auto hostWakes =
        (after.snapshots - before.snapshots) + (after.timerWakeups - before.timerWakeups);
    const auto linkWakes = (linkAfter.heartbeats - linkBefore.heartbeats) +
                           (linkAfter.snapshots - linkBefore.snapshots) +
                           (linkAfter.downs - linkBefore.downs);
    const double perHeartbeat =
        static_cast<double>(hostWakes + linkWakes) /
        std::max<double>(1.0, static_cast<double>(linkAfter.heartbeats - linkBefore.heartbeats));
    std::printf(
        "idle %d s, a heartbeat a second: the host's thread woke %llu times (timer %llu), "
        "the link's %llu times\n",
        idleSeconds, static_cast<unsigned long long>(hostWakes),
        static_cast<unsigned long long>(after.timerWakeups - before.timerWakeups),
        static_cast<unsigned long long>(linkWakes));
    std::printf("an idle hour at the default heartbeat (5 s): about %.0f wake-ups of the tray\n",
                perHeartbeat * 3600 / 5);
    TerminateProcess(child.hProcess, 0);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    link.reset();
    return 0;
}
