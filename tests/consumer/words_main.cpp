// A tray application with words of its own, built against the installed package: each tooltip and
// notification the shell took for its icon is printed, one line each, in UTF-8. It goes through
// the error of an engine and its recovery, and sends a notification of its own.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "zentra/tray_host.h"

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 1 ? static_cast<size_t>(size) - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    }
    return out;
}

bool pumpUntil(const std::function<bool()>& done) {
    for (int waited = 0; !done(); waited += 10) {  // at most 30 s
        if (waited > 30000) {
            return false;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    return true;
}

}  // namespace

int main() {
    zentra::TrayHostOptions options;
    options.texts.appName = "MySync";
    options.texts.armed =
        "\xE6\x9C\x80\xE6\x96\xB0\xE3\x81\xAE\xE7\x8A\xB6\xE6\x85\x8B";  // up to date
    options.texts.error = "Stopped";
    options.texts.errorTitle = "MySync stopped";
    options.texts.errorText = "Cannot sync: {reason}";
    options.texts.recoveryTitle = "MySync works again";
    options.notifications.cooldown = std::chrono::seconds(0);
    int notifications = 0;
    options.shellNotifyIcon = [&notifications](DWORD message, NOTIFYICONDATAW* data) {
        const BOOL taken = Shell_NotifyIconW(message, data);
        const bool addOrModify = message == NIM_ADD || message == NIM_MODIFY;
        if (taken && addOrModify && (data->uFlags & NIF_TIP) != 0) {
            std::printf("tooltip: %s\n", utf8(data->szTip).c_str());
        }
        if (taken && addOrModify && (data->uFlags & NIF_INFO) != 0) {
            ++notifications;
            std::printf("notification: %s | %s\n", utf8(data->szInfoTitle).c_str(),
                        utf8(data->szInfo).c_str());
        }
        std::fflush(stdout);
        return taken;
    };
    zentra::Snapshot engine;
    engine.health.healthy = true;
    const auto host = zentra::TrayHost::create(engine, options);
    if (!host || !pumpUntil([&] { return host->stats().shellCalls >= 2; })) {
        return 1;
    }
    host->notify("MySync", "15 files synced");
    // The application's notification, then the engine's error and its recovery: one each.
    const std::optional<std::string> errors[] = {std::nullopt, "disk full", std::nullopt};
    for (int step = 0; step < 3; ++step) {
        if (step > 0) {
            engine.state.lastError = errors[step];
            host->post(engine);
        }
        if (!pumpUntil([&] { return notifications == step + 1; })) {
            return 2 + step;
        }
    }
    return 0;
}
