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

// Who serves the engine's pipe, as far as Windows lets the tray tell.
struct PipeServer {
    std::uint32_t process = 0;  // 0: cannot be told
    std::wstring account;       // its user's SID as text ("S-1-5-18"); empty: cannot be read
};

// Whom the tray takes the pipe from: the service's process, configured to run as `account`;
// or, with no service, a process of the tray's own user `account`.
struct ExpectedServer {
    bool service = false;
    std::uint32_t process = 0;  // the service's, as the SCM gives it (0: it has none)
    std::wstring account;       // empty: not known
};

// Why the link refuses the pipe's server; null when it takes it. The SCM vouches for a
// service's process, so its account is compared only where both sides can be read (a tray
// cannot read a LocalSystem process's account). A per-session engine must be seen to run as
// the tray's own user.
inline constexpr const char* kServedByAnother = "the engine's pipe is served by another program";
inline constexpr const char* kServedByAnotherAccount =
    "the engine's pipe is served by another account";
inline constexpr const char* kServerNotTold = "who serves the engine's pipe cannot be told";
const char* serverProblem(const PipeServer& server, const ExpectedServer& expected);

// The account a service is configured to run as (the SCM's start name), as the name to look up,
// or as its SID where no lookup gives it: "LocalSystem" is "S-1-5-18"; ".\\name" is "name".
std::wstring serviceAccountToLookUp(std::wstring_view configured);

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
