// What the engine link asks the Service Control Manager: the state and process of the service
// an engine runs as.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link_rules.h"

namespace zentra::link {

struct ServiceView {
    ServiceState state = ServiceState::Unknown;
    std::uint32_t processId = 0;  // while it runs
    std::uint32_t error = 0;      // why it is Unknown
    std::wstring account;         // the account it is configured to run as, as the SCM says it
};

ServiceView queryService(const std::wstring& name);

// The SID, as text, of the account a service is configured to run as; empty when it cannot be
// looked up.
std::wstring serviceAccountSid(const std::wstring& configured);

// The process that serves the pipe at the other end of `pipe` (0 when it cannot be told).
std::uint32_t pipeServerProcess(HANDLE pipe);

}  // namespace zentra::link
