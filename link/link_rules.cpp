#include "link_rules.h"

#include <algorithm>

namespace zentra {

Snapshot engineDown(const std::string& reason) {
    Snapshot s;
    s.health.healthy = true;  // the reason says it all
    s.state.lastError = reason;
    s.source = SnapshotSource::Link;
    return s;
}

Snapshot engineNotKnownYet() {
    Snapshot s;
    s.health.healthy = true;
    s.source = SnapshotSource::NotKnownYet;
    return s;
}

}  // namespace zentra

namespace zentra::link {

const char* engineNameProblem(std::wstring_view name) {
    if (name.empty()) {
        return "the engine's name is empty";
    }
    if (name.size() > kMaxEngineName) {
        return "the engine's name is longer than 200 characters";
    }
    for (const wchar_t c : name) {
        if (c == L'\\' || c < 0x20 || c == 0x7F) {
            return "the engine's name holds a backslash or a control character";
        }
    }
    return nullptr;
}

std::wstring enginePipePath(std::wstring_view name, bool perSession, std::uint32_t sessionId) {
    std::wstring path = L"\\\\.\\pipe\\" + std::wstring(name);
    if (perSession) {
        const std::string session = std::to_string(sessionId);
        path += L".session" + std::wstring(session.begin(), session.end());
    }
    return path;
}

std::wstring engineObjectName(std::wstring_view name, bool perSession, std::wstring_view what) {
    return (perSession ? L"Local\\" : L"Global\\") + std::wstring(name) + L"." + std::wstring(what);
}

std::string engineDownReason(std::uint32_t error) {
    switch (error) {
        case 2:    // ERROR_FILE_NOT_FOUND: nobody listens
        case 109:  // ERROR_BROKEN_PIPE: the engine closed the pipe or ended
        case 232:  // ERROR_NO_DATA: the pipe is being closed
        case 233:  // ERROR_PIPE_NOT_CONNECTED
            return "engine not running";
        case 5:
            return "engine not reachable: access denied (Windows error 5)";
        case 231:
            return "engine not reachable: all pipe instances are busy (Windows error 231)";
        default:
            return "engine not reachable (Windows error " + std::to_string(error) + ")";
    }
}

ServiceState serviceStateOf(std::uint32_t current, std::uint32_t startType) {
    switch (current) {
        case 1:  // SERVICE_STOPPED
            return startType == 4 ? ServiceState::Disabled : ServiceState::Stopped;
        case 2:  // SERVICE_START_PENDING
        case 5:  // SERVICE_CONTINUE_PENDING
            return ServiceState::Starting;
        case 3:  // SERVICE_STOP_PENDING
            return ServiceState::Stopping;
        case 4:  // SERVICE_RUNNING
            return ServiceState::Running;
        case 6:  // SERVICE_PAUSE_PENDING
        case 7:  // SERVICE_PAUSED
            return ServiceState::Paused;
        default:
            return ServiceState::Unknown;
    }
}

std::string serviceReason(std::string_view service, ServiceState state, std::uint32_t error) {
    // In ServiceState's order, Unknown last.
    const char* const says[] = {"is not installed", "is disabled", "is stopped",
                                "is starting",      "is stopping", "runs but does not publish",
                                "is paused"};
    const std::string the = "the " + std::string(service) + " service ";
    if (state == ServiceState::Unknown) {
        return the + "cannot be queried (Windows error " + std::to_string(error) + ")";
    }
    return the + says[static_cast<int>(state)];
}

const char* serverProblem(const PipeServer& server, const ExpectedServer& expected) {
    if (expected.service) {
        if (server.process == 0 || server.process != expected.process) {
            return kServedByAnother;
        }
        const bool comparable = !server.account.empty() && !expected.account.empty();
        return comparable && server.account != expected.account ? kServedByAnotherAccount : nullptr;
    }
    if (server.account.empty() || expected.account.empty()) {
        return kServerNotTold;
    }
    return server.account == expected.account ? nullptr : kServedByAnotherAccount;
}

std::wstring serviceAccountToLookUp(std::wstring_view configured) {
    std::wstring folded;
    for (const wchar_t c : configured) {
        folded += static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    if (folded == L"localsystem") {
        return L"S-1-5-18";
    }
    if (configured.substr(0, 2) == L".\\") {
        return std::wstring(configured.substr(2));
    }
    return std::wstring(configured);
}

std::chrono::milliseconds firstWait(std::chrono::milliseconds backOff, MonoTime now,
                                    MonoTime toldFrom) {
    if (now >= toldFrom) {
        return backOff;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(toldFrom - now);
    return std::min(backOff, left);
}

std::chrono::milliseconds RetryDelay::next() {
    const std::chrono::milliseconds now = next_;
    next_ = std::min(next_ * 2, kLastRetry);
    return now;
}

}  // namespace zentra::link
