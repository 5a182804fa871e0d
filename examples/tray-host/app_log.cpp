#include "app_log.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "zentra/log.h"
#include "zentra/log_sinks.h"

namespace tray_host {

namespace {

bool leadsSomewhere(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

bool useParentConsole() {
    if (leadsSomewhere(STD_ERROR_HANDLE) || leadsSomewhere(STD_OUTPUT_HANDLE)) {
        return true;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;  // started from Explorer, or with its streams closed
    }
    const bool out = std::freopen("CONOUT$", "w", stdout) != nullptr;
    const bool err = std::freopen("CONOUT$", "w", stderr) != nullptr;
    return out && err;
}

std::filesystem::path startLogging(const wchar_t* folder, const wchar_t* file, bool console) {
    using namespace zentra::common;
    std::vector<std::shared_ptr<ILogger>> loggers;
    std::shared_ptr<ILogger> consoleLogger;
    if (console) {
        consoleLogger = std::make_shared<ConsoleLogger>();
        consoleLogger->setLevel(LogLevel::Warn);  // the console shows what went wrong
        loggers.push_back(consoleLogger);
    }
    loggers.push_back(std::make_shared<DebuggerLogger>());
    std::filesystem::path path;
    const std::filesystem::path appData = localAppDataFolder();
    if (!appData.empty()) {
        path = appData / folder / file;
        FileLoggerOptions options;
        options.problems = consoleLogger ? consoleLogger : loggers.back();
        loggers.push_back(std::make_shared<FileLogger>(path, options));
    }
    setLogger(std::make_shared<FanOutLogger>(loggers));
    if (appData.empty()) {
        logWarn("no local application data folder (LOCALAPPDATA): nothing is logged to a file");
    }
    return path;
}

}  // namespace tray_host
