#include "service_windows.h"

#include <sddl.h>

#include <vector>

namespace zentra::link {

namespace {

// Owns a Service Control Manager handle.
class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (h_ != nullptr) {
            CloseServiceHandle(h_);
        }
    }
    SC_HANDLE get() const { return h_; }

  private:
    SC_HANDLE h_;
};

}  // namespace

ServiceView queryService(const std::wstring& name) {
    ServiceView view;
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) {
        view.error = GetLastError();
        return view;
    }
    const ServiceHandle service(
        OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (service.get() == nullptr) {
        view.error = GetLastError();
        if (view.error == ERROR_SERVICE_DOES_NOT_EXIST) {
            view.state = ServiceState::NotInstalled;
        }
        return view;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<LPBYTE>(&status), sizeof status, &needed)) {
        view.error = GetLastError();
        return view;
    }
    DWORD startType = SERVICE_DEMAND_START;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<unsigned char> config(needed == 0 ? 1 : needed);
    if (QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()),
                            static_cast<DWORD>(config.size()), &needed)) {
        const auto* found = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
        startType = found->dwStartType;
        if (found->lpServiceStartName != nullptr) {
            view.account = found->lpServiceStartName;
        }
    }
    view.state = serviceStateOf(status.dwCurrentState, startType);
    view.processId = status.dwProcessId;
    return view;
}

std::wstring serviceAccountSid(const std::wstring& configured) {
    std::wstring name = serviceAccountToLookUp(configured);
    if (name.rfind(L"S-1-", 0) == 0) {
        return name;
    }
    unsigned char sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    wchar_t domain[256];
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    LPWSTR text = nullptr;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainSize, &use) ||
        !ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    std::wstring out = text;
    LocalFree(text);
    return out;
}

std::uint32_t pipeServerProcess(HANDLE pipe) {
    ULONG process = 0;
    return GetNamedPipeServerProcessId(pipe, &process) ? process : 0;
}

}  // namespace zentra::link
