#include "zentra/engine_service.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

#include "pipe_windows.h"
#include "zentra/log.h"

namespace zentra {

struct ServiceControl::State {
    std::wstring name;
    std::function<int(ServiceControl&)> engine;
    SERVICE_STATUS_HANDLE handle = nullptr;
    std::mutex mutex;  // the handler's thread and the service's report
    SERVICE_STATUS status{};
    link::Handle stop;
    int exitCode = 0;

    void report(DWORD state, DWORD waitHint = 0, int code = 0);
};

namespace {

// The dispatcher's callbacks take nothing of ours: the one service this process runs.
ServiceControl::State* g_service = nullptr;

DWORD WINAPI onControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            g_service->report(SERVICE_STOP_PENDING, 10000);
            SetEvent(g_service->stop.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

int runEngine(ServiceControl::State& state) {
    ServiceControl control(state);
    try {
        return state.engine(control);
    } catch (const std::exception& e) {
        common::logAt(common::LogLevel::Error, "runEngineService: the engine threw: ", e.what());
    } catch (...) {
        common::logAt(common::LogLevel::Error, "runEngineService: the engine threw");
    }
    return 1;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    ServiceControl::State& state = *g_service;
    state.handle = RegisterServiceCtrlHandlerExW(state.name.c_str(), onControl, nullptr);
    if (state.handle == nullptr) {
        state.exitCode = static_cast<int>(GetLastError());
        common::logWarn("runEngineService: no control handler (Windows error ", state.exitCode,
                        ")");
        return;
    }
    state.report(SERVICE_START_PENDING, 5000);
    state.exitCode = runEngine(state);
    state.report(SERVICE_STOPPED, 0, state.exitCode);
}

}  // namespace

void ServiceControl::State::report(DWORD state, DWORD waitHint, int code) {
    std::lock_guard<std::mutex> lock(mutex);
    if (status.dwCurrentState == SERVICE_STOP_PENDING && state == SERVICE_RUNNING) {
        return;  // a stop came first
    }
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(code);
    status.dwCheckPoint = settled ? 0 : status.dwCheckPoint + 1;
    status.dwWaitHint = waitHint;
    if (!SetServiceStatus(handle, &status)) {
        common::logWarn("runEngineService: the service's state cannot be reported (Windows error ",
                        GetLastError(), ")");
    }
}

void ServiceControl::running() {
    state_.report(SERVICE_RUNNING);
}

bool ServiceControl::stopRequested(std::chrono::milliseconds timeout) const {
    const auto ms = std::clamp<long long>(timeout.count(), 0, INFINITE - 1);
    return WaitForSingleObject(state_.stop.get(), static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

int runEngineService(const std::wstring& name, std::function<int(ServiceControl&)> engine) {
    ServiceControl::State state;
    state.name = name;
    state.engine = std::move(engine);
    state.stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state.stop) {
        const DWORD error = GetLastError();
        common::logWarn("runEngineService: no event (Windows error ", error, ")");
        return static_cast<int>(error);
    }
    g_service = &state;
    SERVICE_TABLE_ENTRYW table[] = {{state.name.data(), serviceMain}, {nullptr, nullptr}};
    const bool dispatched = StartServiceCtrlDispatcherW(table) != FALSE;
    const DWORD error = dispatched ? 0 : GetLastError();
    g_service = nullptr;
    if (!dispatched) {
        common::logWarn("runEngineService: not started as a service (Windows error ", error,
                        "); install it with sc create and start it with sc start");
        return static_cast<int>(error);
    }
    return state.exitCode;
}

}  // namespace zentra
