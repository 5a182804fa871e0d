// An engine that runs as a Windows service: the Service Control Manager's dispatcher, the
// control handler and the states the service reports, for an engine that publishes with
// EnginePublisher to the trays of every session (perSession = false):
//
//   int main() {
//       return zentra::runEngineService(L"MySync", [](zentra::ServiceControl& service) {
//           zentra::EnginePublisherOptions options;
//           options.perSession = false;
//           options.admit = zentra::kServiceAdmit;
//           auto publisher = zentra::EnginePublisher::create(L"MySync", options);
//           if (!publisher) {
//               return 1;  // reported as the service's own error code
//           }
//           service.running();
//           while (!service.stopRequested(std::chrono::seconds(1))) {
//               publisher->publish(engine.snapshot());
//           }
//           return 0;  // the publisher closes its pipe: the trays learn it at once
//       });
//   }
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace zentra {

// A service engine's pipe: the service's account (LocalSystem) and the administrators have all
// rights; every interactive user may connect, read and send commands (FILE_GENERIC_READ,
// FILE_WRITE_DATA, and FILE_WRITE_ATTRIBUTES to read messages), but not create an instance of the
// pipe, so no logged-on user can serve the trays in its place.
inline constexpr wchar_t kServiceAdmit[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)";

// What the service's engine is handed.
class ServiceControl {
  public:
    struct State;
    explicit ServiceControl(State& state) : state_(state) {}

    // The engine is ready (its publisher listens): the service reports Running. Until then it
    // reports Start Pending.
    void running();
    // Waits up to `timeout` for the SCM to ask the service to stop (or the system to shut
    // down): true once it has. The service then reports Stop Pending until the engine returns.
    bool stopRequested(std::chrono::milliseconds timeout = std::chrono::milliseconds(0)) const;

  private:
    State& state_;
};

// Runs this process as the service `name` (it must have been started by the SCM, as
// `sc create NAME binPath= "..."` installs it): reports Start Pending, calls `engine` on the
// service's thread, and, once it returns, Stopped: with no error for 0, else with its value as
// the service's own error code. An exception `engine` throws is logged and counts as 1. Returns
// what main should: `engine`'s value, or the Windows error when the process is not a service
// (1063, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT: started from a console), logged.
int runEngineService(const std::wstring& name, std::function<int(ServiceControl&)> engine);

}  // namespace zentra
