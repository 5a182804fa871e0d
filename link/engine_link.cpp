#include "zentra/engine_link.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "command_book.h"
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
    link::Handle writeEvent;
    link::Handle commandsEvent;  // set by send()
    link::RetryDelay delay;
    std::string buffer = std::string(kMaxWireBytes, '\0');

    mutable std::mutex mutex;
    EngineLinkStats stats;   // guarded by mutex
    link::CommandBook book;  // guarded by mutex

    // The pipe as opened: with the right to write (commands), and the engine has said its hello.
    bool canWrite = false;
    bool engineSpeaks2 = false;
    bool actionsGiven = false;  // the application has the engine's actions
    std::string reason;         // why the engine cannot be reached, while it cannot

    std::thread thread;

    bool refusing = false;  // a message was refused and none read since: one warning for it
    std::string service;    // the service's name, UTF-8, when the link follows a service
    bool impostorWarned = false;
    std::wstring ownAccount;  // the user this process runs as

    // How following the engine ended.
    enum class Ended { Stopped, Broken, Refused };

    HANDLE connect(DWORD& error);
    std::string absence(DWORD error) const;
    HANDLE reach(std::string& why, bool& impostor);
    void give(const Snapshot& snapshot) const;
    void giveActions(const std::vector<EngineAction>& actions);
    void down(const std::string& why);
    void end(const std::vector<link::CommandBook::Ending>& ended) const;
    void commandsWhileAway(bool told);
    void commandsWhileConnected(std::deque<std::string>& toWrite);
    DWORD commandWait(DWORD longest) const;
    bool waitToRetry(bool whenListening, std::chrono::milliseconds wait, bool told);
    Ended read(HANDLE pipe, OVERLAPPED& io, std::optional<Snapshot>& last);
    Ended follow(HANDLE pipe);
    void run();

    template <typename Field>
    void count(Field EngineLinkStats::*field) {
        std::lock_guard<std::mutex> lock(mutex);
        ++(stats.*field);
    }
};

HANDLE EngineLink::Impl::connect(DWORD& error) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    // Every instance busy: the engine is between two readers. It has a new instance ready within
    // moments, but with many trays at once another may take it first: waited for up to 10 s,
    // the link stopping in between.
    for (int tries = 0; tries < 40; ++tries) {
        // With the right to send commands where the engine grants it (not FILE_APPEND_DATA,
        // which on a pipe is the right to create an instance); else to read only, as a
        // version-1 engine's pipe and an access list that admits readers only allow.
        canWrite = true;
        pipe = CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                           nullptr, OPEN_EXISTING, link::readerOpenFlags(), nullptr);
        if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            canWrite = false;
            pipe = CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                               OPEN_EXISTING, link::readerOpenFlags(), nullptr);
        }
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

void EngineLink::Impl::giveActions(const std::vector<EngineAction>& actions) {
    actionsGiven = !actions.empty();
    if (!options.onActions) {
        return;
    }
    try {
        options.onActions(actions);
    } catch (...) {
        common::logAt(common::LogLevel::Error,
                      "EngineLink: the application's onActions threw; the link goes on");
    }
}

void EngineLink::Impl::down(const std::string& why) {
    count(&EngineLinkStats::downs);
    reason = why;
    if (actionsGiven) {
        giveActions({});  // the engine's items go with it
    }
    give(engineDown(why));
}

// Tells each ended command to the application, outside the lock.
void EngineLink::Impl::end(const std::vector<link::CommandBook::Ending>& ended) const {
    for (const link::CommandBook::Ending& e : ended) {
        try {
            e.done(e.result);
        } catch (...) {
            common::logAt(common::LogLevel::Error,
                          "EngineLink: the application's command answer function threw");
        }
    }
}

// Without an engine: commands past their deadline end; once the engine's absence is told, every
// command fails at once with its reason.
void EngineLink::Impl::commandsWhileAway(bool told) {
    std::vector<link::CommandBook::Ending> ended;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = told ? book.failAll(reason) : book.expire(std::chrono::steady_clock::now());
    }
    end(ended);
}

// With the engine: the commands asked for are queued to go out once it has said its hello; an
// engine that cannot take commands fails them at once; deadlines end the rest.
void EngineLink::Impl::commandsWhileConnected(std::deque<std::string>& toWrite) {
    std::vector<link::CommandBook::Ending> ended;
    std::vector<link::CommandBook::Outgoing> outgoing;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!canWrite) {
            ended = book.failAll(link::kNoCommands);
        } else {
            ended = book.expire(std::chrono::steady_clock::now());
            if (engineSpeaks2) {
                outgoing = book.takeOutgoing(ended);
            }
        }
    }
    end(ended);
    for (const link::CommandBook::Outgoing& out : outgoing) {
        toWrite.push_back(encodeWireCommand(out.id, out.command));
    }
}

// How long to wait, at most `longest`, before the next command's deadline.
DWORD EngineLink::Impl::commandWait(DWORD longest) const {
    std::optional<MonoTime> due;
    {
        std::lock_guard<std::mutex> lock(mutex);
        due = book.nextDeadline();
    }
    if (!due) {
        return longest;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*due - std::chrono::steady_clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 0, longest));
}

// Waits until the back-off has passed, the engine listens again (when `whenListening`), or the
// link stops (true). After a refusal the engine's listening says nothing new (its event stays set
// while it runs): only the back-off ends the wait. Commands asked for meanwhile end as
// commandsWhileAway says.
bool EngineLink::Impl::waitToRetry(bool whenListening, std::chrono::milliseconds wait, bool told) {
    const HANDLE handles[] = {stop.get(), commandsEvent.get(), listening.get()};
    const DWORD count = whenListening && listening ? 3 : 2;
    const MonoTime until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        commandsWhileAway(told);
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE,
                                                  commandWait(static_cast<DWORD>(left.count())));
        if (woke == WAIT_OBJECT_0) {
            return true;
        }
        if (woke == WAIT_OBJECT_0 + 2) {
            return false;
        }
    }
}

// The message a read ended with: handled, and Ended::Stopped to read on; or the read failed or
// the message was refused (told: `Broken` or `Refused`, and the caller closes the pipe).
EngineLink::Impl::Ended EngineLink::Impl::read(HANDLE pipe, OVERLAPPED& io,
                                               std::optional<Snapshot>& last) {
    DWORD size = 0;
    const BOOL read = GetOverlappedResult(pipe, &io, &size, FALSE);
    const DWORD error = read ? 0 : GetLastError();
    std::string problem;
    if (error == ERROR_MORE_DATA) {
        problem = "more than " + std::to_string(kMaxWireBytes) + " bytes";
    } else if (!read) {
        down(absence(error));
        return Ended::Broken;
    }
    WireDecoded decoded;
    if (problem.empty()) {
        decoded =
            decodeWire(std::string_view(buffer.data(), size), std::chrono::steady_clock::now());
        problem = decoded.problem;
    }
    if (decoded.message) {
        const WireKind kind = decoded.message->kind;
        if (kind == WireKind::Command || (kind == WireKind::Hello && !canWrite)) {
            problem = "a message an engine does not send to this tray";
            decoded.message.reset();
        } else if ((kind == WireKind::Actions || kind == WireKind::Answer) && !engineSpeaks2) {
            problem = "a version-2 message before the engine's hello";
            decoded.message.reset();
        }
    }
    if (!decoded.message) {
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
    WireMessage& m = *decoded.message;
    switch (m.kind) {
        case WireKind::Heartbeat:
            count(&EngineLinkStats::heartbeats);
            if (last) {
                give(*last);  // word from the engine: nothing changed
            }
            break;
        case WireKind::Snapshot:
            count(&EngineLinkStats::snapshots);
            last = std::move(m.snapshot);
            give(*last);
            break;
        case WireKind::Hello:
            engineSpeaks2 = true;
            break;
        case WireKind::Actions:
            giveActions(m.actions);
            break;
        case WireKind::Answer: {
            std::vector<link::CommandBook::Ending> ended;
            {
                std::lock_guard<std::mutex> lock(mutex);
                ended = book.answered(m.id, m.answer);
            }
            end(ended);
            break;
        }
        case WireKind::Command:
            break;  // refused above
    }
    return Ended::Stopped;
}

// Reads the engine's messages until the pipe breaks, a message is refused or the link stops;
// meanwhile writes the tray's hello, then the commands asked for, one at a time. An engine that
// has not taken the hello within kHelloTaken does not read (version 1): no commands.
EngineLink::Impl::Ended EngineLink::Impl::follow(HANDLE pipe) {
    constexpr std::chrono::milliseconds kHelloTaken{1000};
    std::optional<Snapshot> last;
    engineSpeaks2 = false;
    std::deque<std::string> toWrite;
    if (canWrite) {
        toWrite.push_back(encodeWireHello());
    }
    bool helloTaken = false;
    const MonoTime connected = std::chrono::steady_clock::now();
    OVERLAPPED writeIo{};
    std::string writing;
    bool writeBusy = false;
    OVERLAPPED io{};
    bool readBusy = false;
    const auto close = [&] {
        link::closePipe(pipe, readBusy ? &io : nullptr, false, writeBusy ? &writeIo : nullptr);
    };
    for (;;) {
        if (!readBusy) {
            io = OVERLAPPED{};
            io.hEvent = readEvent.get();
            if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &io) &&
                GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
                const DWORD error = GetLastError();
                close();
                down(absence(error));
                return Ended::Broken;
            }
            readBusy = true;
        }
        commandsWhileConnected(toWrite);
        if (!writeBusy && !toWrite.empty() && canWrite) {
            writing = std::move(toWrite.front());
            toWrite.pop_front();
            writeIo = OVERLAPPED{};
            writeIo.hEvent = writeEvent.get();
            if (WriteFile(pipe, writing.data(), static_cast<DWORD>(writing.size()), nullptr,
                          &writeIo) ||
                GetLastError() == ERROR_IO_PENDING) {
                writeBusy = true;
            }
        }
        DWORD timeout = commandWait(INFINITE);
        if (canWrite && !helloTaken) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                connected + kHelloTaken - std::chrono::steady_clock::now());
            timeout =
                std::min<DWORD>(timeout, static_cast<DWORD>(std::max<long long>(left.count(), 0)));
        }
        const HANDLE handles[] = {stop.get(), readEvent.get(), commandsEvent.get(),
                                  writeEvent.get()};
        const DWORD woke = WaitForMultipleObjects(writeBusy ? 4 : 3, handles, FALSE, timeout);
        if (woke == WAIT_OBJECT_0) {
            close();
            return Ended::Stopped;
        }
        if (woke == WAIT_OBJECT_0 + 3) {
            DWORD written = 0;
            writeBusy = false;
            helloTaken = helloTaken || GetOverlappedResult(pipe, &writeIo, &written, FALSE);
        } else if (woke == WAIT_TIMEOUT && canWrite && !helloTaken &&
                   std::chrono::steady_clock::now() >= connected + kHelloTaken) {
            canWrite = false;  // the engine reads nothing: version 1
            if (writeBusy) {
                CancelIoEx(pipe, &writeIo);
                DWORD ignored = 0;
                GetOverlappedResult(pipe, &writeIo, &ignored, TRUE);
                writeBusy = false;
            }
        } else if (woke == WAIT_OBJECT_0 + 1) {
            readBusy = false;
            const Ended ended = read(pipe, io, last);
            if (ended != Ended::Stopped) {
                close();
                return ended;
            }
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

constexpr const char* kLinkClosed = "the tray's link to the engine was closed";

// A SID for the log; "unknown" where it could not be read.
std::string account(const std::wstring& sid) {
    return sid.empty() ? "unknown" : link::utf8(sid);
}

}  // namespace

// The engine's pipe, or INVALID_HANDLE_VALUE with why not. A service's pipe is taken only from
// the service's own process while it runs, an engine's of the session only from a process of
// this user (`impostor`: another one serves it).
HANDLE EngineLink::Impl::reach(std::string& why, bool& impostor) {
    DWORD error = 0;
    HANDLE pipe = connect(error);
    if (pipe == INVALID_HANDLE_VALUE && listening) {
        // Left set by an engine that has ended (or is just starting): clear it, then look
        // again, so that an engine that starts now is not missed.
        ResetEvent(listening.get());
        pipe = connect(error);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        why = absence(error);
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
    why = problem;
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
        std::string why;
        bool impostor = false;
        const HANDLE pipe = reach(why, impostor);
        Ended ended = Ended::Broken;
        if (pipe != INVALID_HANDLE_VALUE) {
            count(&EngineLinkStats::connects);
            told = true;
            impostorWarned = false;
            ended = follow(pipe);
            if (ended == Ended::Stopped) {
                break;
            }
            // Those the engine had not answered: it has gone.
            std::vector<link::CommandBook::Ending> lost;
            {
                std::lock_guard<std::mutex> lock(mutex);
                lost = book.failAll(reason);
            }
            end(lost);
        } else if (told || impostor || std::chrono::steady_clock::now() >= toldFrom) {
            told = true;
            down(why);
        }
        std::chrono::milliseconds wait = delay.next();
        if (!told) {
            wait = link::firstWait(wait, std::chrono::steady_clock::now(), toldFrom);
        }
        // After a refusal, or with another program on the pipe, the listening event says
        // nothing new: the back-off alone.
        if (waitToRetry(ended != Ended::Refused && !impostor, wait, told)) {
            break;
        }
    }
    std::vector<link::CommandBook::Ending> left;
    {
        std::lock_guard<std::mutex> lock(mutex);
        left = book.failAll(kLinkClosed);
    }
    end(left);
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
    impl->writeEvent.reset(link::newIoEvent());
    impl->commandsEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!impl->stop || !impl->readEvent || !impl->writeEvent || !impl->commandsEvent) {
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

void EngineLink::send(EngineCommand command, std::function<void(const CommandResult&)> done,
                      std::chrono::milliseconds timeout) {
    timeout = std::clamp<std::chrono::milliseconds>(timeout, {}, std::chrono::hours(24));
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->book.add(std::move(command), timeout, std::chrono::steady_clock::now(),
                        std::move(done));
    }
    SetEvent(impl_->commandsEvent.get());
}

EngineLinkStats EngineLink::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

}  // namespace zentra
