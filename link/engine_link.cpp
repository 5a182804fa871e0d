#include "zentra/engine_link.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "link_rules.h"
#include "pipe_windows.h"
#include "service_windows.h"
#include "zentra/log.h"
#include "zentra/wire.h"

namespace zentra {

struct EngineLink::Impl {
    std::function<void(const Snapshot&)> deliver;
    std::wstring path;
    EngineLinkOptions options;
    link::Handle stop;
    link::Handle listening;  // set by the engine while it listens; may be null
    link::Handle readEvent;
    link::RetryDelay delay;
    std::string buffer = std::string(kMaxWireBytes, '\0');

    mutable std::mutex mutex;
    EngineLinkStats stats;  // guarded by mutex

    std::thread thread;

    bool refusing = false;  // a message was refused and none read since: one warning for it
    std::string service;    // the service's name, UTF-8, when the link follows a service
    bool impostorWarned = false;
    std::wstring ownAccount;  // the user this process runs as

    // How following the engine ended.
    enum class Ended { Stopped, Broken, Refused };

    HANDLE connect(DWORD& error) const;
    std::string absence(DWORD error) const;
    HANDLE reach(std::string& reason, bool& impostor);
    void give(const Snapshot& snapshot) const;
    void down(const std::string& reason);
    bool waitToRetry(bool whenListening, std::chrono::milliseconds wait) const;
    Ended follow(HANDLE pipe);
    void run();

    template <typename Field>
    void count(Field EngineLinkStats::*field) {
        std::lock_guard<std::mutex> lock(mutex);
        ++(stats.*field);
    }
};

HANDLE EngineLink::Impl::connect(DWORD& error) const {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    // Every instance busy: the engine is between two readers. It has a new instance ready within
    // moments; waited for a few times, the link stopping in between.
    for (int tries = 0; tries < 8; ++tries) {
        pipe = CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, link::readerOpenFlags(), nullptr);
        error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (error != ERROR_PIPE_BUSY || WaitForSingleObject(stop.get(), 0) == WAIT_OBJECT_0) {
            break;
        }
        WaitNamedPipeW(path.c_str(), 250);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        return pipe;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        error = GetLastError();
        CloseHandle(pipe);
        return INVALID_HANDLE_VALUE;
    }
    return pipe;
}

// An exception from the application's function stops here: logged, and the link goes on.
void EngineLink::Impl::give(const Snapshot& snapshot) const {
    try {
        deliver(snapshot);
    } catch (const std::exception& e) {
        common::logAt(common::LogLevel::Error,
                      "EngineLink: the application's function threw: ", e.what(),
                      "; the link goes on");
    } catch (...) {
        common::logAt(common::LogLevel::Error,
                      "EngineLink: the application's function threw; the link goes on");
    }
}

void EngineLink::Impl::down(const std::string& reason) {
    count(&EngineLinkStats::downs);
    give(engineDown(reason));
}

// Waits until the back-off has passed, the engine listens again (when `whenListening`), or the
// link stops (true). After a refusal the engine's listening says nothing new (its event stays set
// while it runs): only the back-off ends the wait.
bool EngineLink::Impl::waitToRetry(bool whenListening, std::chrono::milliseconds wait) const {
    const HANDLE handles[] = {stop.get(), listening.get()};
    const DWORD count = whenListening && listening ? 2 : 1;
    const auto ms = static_cast<DWORD>(wait.count());
    return WaitForMultipleObjects(count, handles, FALSE, ms) == WAIT_OBJECT_0;
}

// Reads the engine's messages until the pipe breaks, a message is refused or the link stops.
EngineLink::Impl::Ended EngineLink::Impl::follow(HANDLE pipe) {
    std::optional<Snapshot> last;
    for (;;) {
        OVERLAPPED io{};
        io.hEvent = readEvent.get();
        DWORD size = 0;
        BOOL read = ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &io);
        DWORD error = read ? 0 : GetLastError();
        if (error == ERROR_IO_PENDING) {
            const HANDLE handles[] = {stop.get(), readEvent.get()};
            if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
                link::closePipe(pipe, &io, false);
                return Ended::Stopped;
            }
        }
        // A read that did not fail at once has its outcome (a message too long, too) in `io`.
        if (read || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) {
            read = GetOverlappedResult(pipe, &io, &size, FALSE);
            error = read ? 0 : GetLastError();
        }
        std::string problem;
        if (error == ERROR_MORE_DATA) {
            problem = "more than " + std::to_string(kMaxWireBytes) + " bytes";
        } else if (!read) {
            link::closePipe(pipe, nullptr, false);
            down(absence(error));
            return Ended::Broken;
        }
        WireDecoded decoded;
        if (problem.empty()) {
            decoded =
                decodeWire(std::string_view(buffer.data(), size), std::chrono::steady_clock::now());
            problem = decoded.problem;
        }
        if (!decoded.message) {
            link::closePipe(pipe, nullptr, false);
            count(&EngineLinkStats::refused);
            if (!std::exchange(refusing, true)) {
                common::logWarn("EngineLink: a message from the engine is refused: ", problem,
                                "; connecting again, less often while it lasts");
            }
            down("the engine's message cannot be read: " + problem);
            return Ended::Refused;
        }
        delay.reset();  // the engine speaks our language
        refusing = false;
        if (decoded.message->heartbeat) {
            count(&EngineLinkStats::heartbeats);
            if (last) {
                give(*last);  // word from the engine: nothing changed
            }
        } else {
            count(&EngineLinkStats::snapshots);
            last = std::move(decoded.message->snapshot);
            give(*last);
        }
    }
}

// Why the engine cannot be reached after Windows error `error`: for a service, what the SCM says.
std::string EngineLink::Impl::absence(DWORD error) const {
    if (service.empty() || link::engineDownReason(error) != "engine not running") {
        return link::engineDownReason(error);
    }
    const link::ServiceView view = link::queryService(options.service);
    return link::serviceReason(service, view.state, view.error);
}

namespace {

// A SID for the log; "unknown" where it could not be read.
std::string account(const std::wstring& sid) {
    return sid.empty() ? "unknown" : link::utf8(sid);
}

}  // namespace

// The engine's pipe, or INVALID_HANDLE_VALUE with why not. A service's pipe is taken only from
// the service's own process while it runs, an engine's of the session only from a process of
// this user (`impostor`: another one serves it).
HANDLE EngineLink::Impl::reach(std::string& reason, bool& impostor) {
    DWORD error = 0;
    HANDLE pipe = connect(error);
    if (pipe == INVALID_HANDLE_VALUE && listening) {
        // Left set by an engine that has ended (or is just starting): clear it, then look
        // again, so that an engine that starts now is not missed.
        ResetEvent(listening.get());
        pipe = connect(error);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        reason = absence(error);
        return pipe;
    }
    link::PipeServer server;
    server.process = link::pipeServerProcess(pipe);
    server.account = link::processUserSid(server.process);
    link::ExpectedServer expected;
    if (service.empty()) {
        expected.account = ownAccount;
    } else {
        const link::ServiceView view = link::queryService(options.service);
        expected.service = true;
        expected.process = view.processId;
        expected.account = link::serviceAccountSid(view.account);
    }
    const char* problem = link::serverProblem(server, expected);
    if (problem == nullptr) {
        return pipe;
    }
    link::closePipe(pipe, nullptr, false);
    impostor = true;
    reason = problem;
    if (!std::exchange(impostorWarned, true)) {
        const std::string whom =
            service.empty() ? "this user's program" : "the " + service + " service";
        common::logWarn("EngineLink: the pipe ", link::utf8(path), " is served by process ",
                        server.process, " (account ", account(server.account), "), not by ", whom,
                        " (account ", account(expected.account), "); refused");
    }
    return INVALID_HANDLE_VALUE;
}

void EngineLink::Impl::run() {
    // Until the engine is reached or this time has passed, its absence is not told.
    const MonoTime toldFrom = std::chrono::steady_clock::now() + options.firstWordWithin;
    bool told = false;
    for (;;) {
        std::string reason;
        bool impostor = false;
        const HANDLE pipe = reach(reason, impostor);
        Ended ended = Ended::Broken;
        if (pipe != INVALID_HANDLE_VALUE) {
            count(&EngineLinkStats::connects);
            told = true;
            impostorWarned = false;
            ended = follow(pipe);
            if (ended == Ended::Stopped) {
                return;
            }
        } else if (told || impostor || std::chrono::steady_clock::now() >= toldFrom) {
            told = true;
            down(reason);
        }
        std::chrono::milliseconds wait = delay.next();
        if (!told) {
            wait = link::firstWait(wait, std::chrono::steady_clock::now(), toldFrom);
        }
        // After a refusal, or with another program on the pipe, the listening event says
        // nothing new: the back-off alone.
        if (waitToRetry(ended != Ended::Refused && !impostor, wait)) {
            return;
        }
    }
}

std::unique_ptr<EngineLink> EngineLink::create(const std::wstring& name,
                                               std::function<void(const Snapshot&)> deliver,
                                               const EngineLinkOptions& options) {
    if (const char* problem = link::engineNameProblem(name)) {
        common::logWarn("EngineLink: ", problem);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->deliver = std::move(deliver);
    impl->options = options;
    impl->options.firstWordWithin =
        std::clamp<std::chrono::milliseconds>(options.firstWordWithin, {}, std::chrono::hours(24));
    if (!options.service.empty()) {
        impl->options.perSession = false;  // a service publishes for every session
        impl->service = link::utf8(options.service);
    }
    impl->ownAccount = link::ownUserSid();
    const bool perSession = impl->options.perSession;
    impl->path = link::enginePipePath(name, perSession, link::currentSession());
    impl->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    impl->readEvent.reset(link::newIoEvent());
    if (!impl->stop || !impl->readEvent) {
        common::logWarn("EngineLink: no events (Windows error ", GetLastError(), ")");
        return nullptr;
    }
    // The engine's "listening" event, made here if the engine has not made it yet. Where it
    // cannot be shared (another user's service made it), the link tries again on its own.
    const std::wstring event = link::engineObjectName(name, perSession, L"listening");
    impl->listening.reset(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    if (!impl->listening) {
        impl->listening.reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, event.c_str()));
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<EngineLink>(new EngineLink(std::move(impl)));
}

EngineLink::EngineLink(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EngineLink::~EngineLink() {
    SetEvent(impl_->stop.get());
    impl_->thread.join();
}

EngineLinkStats EngineLink::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

}  // namespace zentra
