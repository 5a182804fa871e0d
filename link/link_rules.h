// The engine link's decisions that need no Windows: where the engine listens, what the tray says
// while it cannot reach it, and how long it waits before it tries again.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "zentra/indicator.h"

namespace zentra {

// The snapshot shown then: an error with that reason, nothing else, the link's own (declared
// for applications in engine_link.h).
Snapshot engineDown(const std::string& reason);
// What a tray shows before its link has reached the engine: no glyph's word, no error.
Snapshot engineNotKnownYet();

}  // namespace zentra

namespace zentra::link {

// Why a name cannot name an engine (empty, longer than kMaxEngineName, or holding a backslash
// or a control character); null when it can.
inline constexpr std::size_t kMaxEngineName = 200;
const char* engineNameProblem(std::wstring_view name);

// The pipe an engine listens on, for one user session (pipes are machine-wide, so the session's
// number is part of the name), or, for an engine that serves every session (a service), the same
// for all. And the names of the engine's other objects (`what`: "listening", the event it sets
// while it listens; "engine", the mutex that claims the name), in the session's namespace or
// the global one.
std::wstring enginePipePath(std::wstring_view name, bool perSession, std::uint32_t sessionId);
std::wstring engineObjectName(std::wstring_view name, bool perSession, std::wstring_view what);

// What the tray shows while the engine cannot be reached after Windows error `error`:
// "engine not running" when there is no engine or it went away, else the error, named.
std::string engineDownReason(std::uint32_t error);

// What the Service Control Manager says of the service an engine runs as.
enum class ServiceState {
    NotInstalled,
    Disabled,
    Stopped,
    Starting,
    Stopping,
    Running,
    Paused,
    Unknown
};

// From the SCM's current state (SERVICE_STOPPED 1 ... SERVICE_PAUSED 7) and the service's start
// type (SERVICE_DISABLED 4): a stopped service that cannot be started is Disabled.
ServiceState serviceStateOf(std::uint32_t current, std::uint32_t startType);

// What the tray shows while the service's engine cannot be reached: "the MySync service is
// stopped", "... is not installed", ...; for Unknown, the Windows error `error`, named. Running:
// the service runs but publishes nothing.
std::string serviceReason(std::string_view service, ServiceState state, std::uint32_t error = 0);

// Why the link refuses a pipe that a process other than the service's serves.
inline constexpr const char* kServedByAnother = "the engine's pipe is served by another program";

// How long the link waits before it tries again after failing to reach the engine at `now`,
// when it tells the user the engine's absence only from `toldFrom` (the end of its first
// bound): the back-off, cut to end at `toldFrom` while that is still ahead.
std::chrono::milliseconds firstWait(std::chrono::milliseconds backOff, MonoTime now,
                                    MonoTime toldFrom);

// How long the link waits before it tries again when nothing wakes it sooner: kFirstRetry,
// doubling up to kLastRetry; back to the start once connected.
class RetryDelay {
  public:
    static constexpr std::chrono::milliseconds kFirstRetry{250};
    static constexpr std::chrono::milliseconds kLastRetry{5000};

    std::chrono::milliseconds next();
    void reset() { next_ = kFirstRetry; }

  private:
    std::chrono::milliseconds next_ = kFirstRetry;
};

}  // namespace zentra::link
