#include "zentra/engine_publisher.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "link_rules.h"
#include "pipe_windows.h"
#include "zentra/log.h"
#include "zentra/wire.h"

namespace zentra {

namespace {

using common::logWarn;

// WaitForMultipleObjects takes 64 handles: the stop, wake and connect events, and one for each
// reader whose write is under way.
constexpr std::size_t kMaxReaders = MAXIMUM_WAIT_OBJECTS - 3;
constexpr DWORD kPipeBuffer = 64 * 1024;

MonoTime steadyNow() {
    return std::chrono::steady_clock::now();
}

struct Reader {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED io{};
    std::string inFlight;  // what the write under way writes
    bool writing = false;
    std::uint64_t sentVersion = 0;
    MonoTime writeStarted{};
    MonoTime lastWrite{};
};

}  // namespace

struct EnginePublisher::Impl {
    EnginePublisherOptions options;
    std::wstring path;
    link::PipeAccess access;
    HANDLE stop = nullptr;
    HANDLE wake = nullptr;
    HANDLE claim = nullptr;      // the name's, while this engine publishes
    HANDLE listening = nullptr;  // set while a pipe instance waits for a reader
    HANDLE connectEvent = nullptr;
    HANDLE listener = INVALID_HANDLE_VALUE;
    OVERLAPPED connectIo{};
    std::vector<Reader> readers;
    bool fullWarned = false;

    mutable std::mutex mutex;
    std::optional<Snapshot> latest;  // guarded by mutex
    std::uint64_t version = 0;       // guarded by mutex
    EnginePublisherStats stats;      // guarded by mutex

    std::thread thread;

    ~Impl();
    bool listen(bool first, std::string& problem);
    void accept(MonoTime now);
    void finishWrite(Reader& reader, MonoTime now);
    bool startWrite(Reader& reader, std::string bytes, MonoTime now);
    void sendDue(MonoTime now);
    DWORD timeoutFrom(MonoTime now) const;
    void run();
};

EnginePublisher::Impl::~Impl() {
    // No new reader first, so that a reader cut off below cannot come back to this engine.
    link::closePipe(listener, listener == INVALID_HANDLE_VALUE ? nullptr : &connectIo, true);
    if (listening != nullptr) {
        ResetEvent(listening);
        CloseHandle(listening);
    }
    for (Reader& reader : readers) {
        link::closePipe(reader.pipe, reader.writing ? &reader.io : nullptr, true);
        CloseHandle(reader.event);
    }
    for (HANDLE h : {stop, wake, connectEvent, claim}) {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
}

// A new pipe instance that waits for the next reader. The first one claims the name: no other
// process may then make instances of it.
bool EnginePublisher::Impl::listen(bool first, std::string& problem) {
    const DWORD openMode =
        PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    listener = CreateNamedPipeW(
        path.c_str(), openMode,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kPipeBuffer, 0, 0, access.attributes());
    if (listener == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem = first && (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
                      ? "another engine publishes under this name"
                      : "Windows refuses the pipe (Windows error " + std::to_string(error) + ")";
        return false;
    }
    connectIo = OVERLAPPED{};
    connectIo.hEvent = connectEvent;
    ResetEvent(connectEvent);
    if (!ConnectNamedPipe(listener, &connectIo)) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            SetEvent(connectEvent);  // a reader came first
        } else if (error != ERROR_IO_PENDING) {
            link::closePipe(listener, nullptr, true);
            listener = INVALID_HANDLE_VALUE;
            problem =
                "the pipe cannot wait for readers (Windows error " + std::to_string(error) + ")";
            return false;
        }
    }
    return true;
}

void EnginePublisher::Impl::accept(MonoTime now) {
    if (listener == INVALID_HANDLE_VALUE || WaitForSingleObject(connectEvent, 0) != WAIT_OBJECT_0) {
        return;
    }
    DWORD ignored = 0;
    const bool connected = GetOverlappedResult(listener, &connectIo, &ignored, FALSE) ||
                           GetLastError() == ERROR_PIPE_CONNECTED;
    if (connected && readers.size() < kMaxReaders) {
        Reader reader;
        reader.pipe = listener;
        reader.event = link::newIoEvent();
        reader.lastWrite = now;
        if (reader.event != nullptr) {
            readers.push_back(std::move(reader));
            std::lock_guard<std::mutex> lock(mutex);
            ++stats.readersConnected;
            stats.readers = static_cast<unsigned>(readers.size());
        } else {
            link::closePipe(listener, nullptr, true);
        }
    } else {
        if (connected && !fullWarned) {
            fullWarned = true;
            logWarn("EnginePublisher: more than ", kMaxReaders,
                    " readers at once; the next ones are turned away");
        }
        link::closePipe(listener, nullptr, true);
    }
    listener = INVALID_HANDLE_VALUE;
    std::string problem;
    if (!listen(false, problem)) {
        logWarn("EnginePublisher: no new reader can connect: ", problem);
    }
}

bool EnginePublisher::Impl::startWrite(Reader& reader, std::string bytes, MonoTime now) {
    reader.inFlight = std::move(bytes);
    reader.io = OVERLAPPED{};
    reader.io.hEvent = reader.event;
    if (WriteFile(reader.pipe, reader.inFlight.data(), static_cast<DWORD>(reader.inFlight.size()),
                  nullptr, &reader.io)) {
        reader.lastWrite = now;
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return false;  // the reader has gone
    }
    reader.writing = true;
    reader.writeStarted = now;
    return true;
}

void EnginePublisher::Impl::finishWrite(Reader& reader, MonoTime now) {
    if (!reader.writing || WaitForSingleObject(reader.event, 0) != WAIT_OBJECT_0) {
        return;
    }
    DWORD written = 0;
    if (GetOverlappedResult(reader.pipe, &reader.io, &written, FALSE)) {
        reader.writing = false;
        reader.lastWrite = now;
    } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
        reader.writing = false;
        link::closePipe(reader.pipe, nullptr, true);
        reader.pipe = INVALID_HANDLE_VALUE;  // gone: removed below
    }
}

// Each reader that is not busy gets the latest snapshot if it has not had it, else a heartbeat
// when one is due; one that has been busy too long is disconnected.
void EnginePublisher::Impl::sendDue(MonoTime now) {
    std::optional<Snapshot> snapshot;
    std::uint64_t current = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        snapshot = latest;
        current = version;
    }
    std::uint64_t snapshots = 0;
    std::uint64_t heartbeats = 0;
    std::uint64_t dropped = 0;
    std::optional<bool> alive;  // asked once, when a heartbeat is due
    for (Reader& reader : readers) {
        if (reader.pipe == INVALID_HANDLE_VALUE) {
            continue;
        }
        if (reader.writing && now - reader.writeStarted >= options.stuckReader) {
            link::closePipe(reader.pipe, &reader.io, true);
            reader.pipe = INVALID_HANDLE_VALUE;
            ++dropped;
            continue;
        }
        if (reader.writing) {
            continue;
        }
        bool written = true;
        if (snapshot && reader.sentVersion < current) {
            reader.sentVersion = current;
            written = startWrite(reader, encodeWireSnapshot(*snapshot, now), now);
            ++snapshots;
        } else if (now - reader.lastWrite >= options.heartbeat) {
            if (!alive) {
                alive = !options.alive || options.alive();
            }
            if (*alive) {
                written = startWrite(reader, encodeWireHeartbeat(), now);
                ++heartbeats;
            } else {
                reader.lastWrite = now;  // asked again at the next heartbeat
            }
        }
        if (!written) {
            link::closePipe(reader.pipe, nullptr, true);
            reader.pipe = INVALID_HANDLE_VALUE;
        }
    }
    const auto gone = std::remove_if(readers.begin(), readers.end(), [](const Reader& r) {
        return r.pipe == INVALID_HANDLE_VALUE;
    });
    std::for_each(gone, readers.end(), [](const Reader& r) { CloseHandle(r.event); });
    readers.erase(gone, readers.end());
    if (dropped > 0) {
        logWarn("EnginePublisher: ", dropped, " reader(s) took nothing for ",
                options.stuckReader.count(), " ms and were disconnected");
    }
    std::lock_guard<std::mutex> lock(mutex);
    stats.snapshotsWritten += snapshots;
    stats.heartbeatsWritten += heartbeats;
    stats.readersDropped += dropped;
    stats.readers = static_cast<unsigned>(readers.size());
}

// Until the next heartbeat or the end of a write's allowance, whichever is first.
DWORD EnginePublisher::Impl::timeoutFrom(MonoTime now) const {
    std::optional<MonoTime> due;
    for (const Reader& reader : readers) {
        const MonoTime at = reader.writing ? reader.writeStarted + options.stuckReader
                                           : reader.lastWrite + options.heartbeat;
        due = due ? std::min(*due, at) : at;
    }
    if (!due) {
        return INFINITE;
    }
    if (*due <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

void EnginePublisher::Impl::run() {
    for (;;) {
        std::vector<HANDLE> handles{stop, wake, connectEvent};
        for (const Reader& reader : readers) {
            if (reader.writing) {
                handles.push_back(reader.event);
            }
        }
        const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                  handles.data(), FALSE, timeoutFrom(steadyNow()));
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++stats.wakeups;
        }
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) {
            return;
        }
        const MonoTime now = steadyNow();
        if (listener == INVALID_HANDLE_VALUE) {
            std::string problem;
            listen(false, problem);  // tried again after a failure, at each wake-up
        }
        accept(now);
        for (Reader& reader : readers) {
            finishWrite(reader, now);
        }
        sendDue(now);
    }
}

std::unique_ptr<EnginePublisher> EnginePublisher::create(const std::wstring& name,
                                                         EnginePublisherOptions options) {
    if (const char* problem = link::engineNameProblem(name)) {
        logWarn("EnginePublisher: ", problem);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->options = std::move(options);
    impl->options.heartbeat = std::max(impl->options.heartbeat, std::chrono::milliseconds(1));
    impl->path = link::enginePipePath(name, impl->options.perSession, link::currentSession());
    std::string problem;
    if (!impl->access.make(impl->options.admit, problem)) {
        logWarn("EnginePublisher: ", problem);
        return nullptr;
    }
    // The name is the first engine's: a mutex claims it (the pipe's first instance would too,
    // where Windows enforces that).
    const std::wstring claim = link::engineObjectName(name, impl->options.perSession, L"engine");
    impl->claim = CreateMutexW(impl->access.attributes(), FALSE, claim.c_str());
    if (impl->claim == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        logWarn("EnginePublisher: another engine publishes under this name");
        return nullptr;
    }
    impl->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    impl->connectEvent = link::newIoEvent();
    if (impl->stop == nullptr || impl->wake == nullptr || impl->connectEvent == nullptr) {
        logWarn("EnginePublisher: no events (Windows error ", GetLastError(), ")");
        return nullptr;
    }
    if (!impl->listen(true, problem)) {
        logWarn("EnginePublisher: ", problem);
        return nullptr;
    }
    // Trays waiting for the engine wake when this is set. Without it they try again on their own.
    const std::wstring event = link::engineObjectName(name, impl->options.perSession, L"listening");
    impl->listening = CreateEventW(impl->access.attributes(), TRUE, FALSE, event.c_str());
    if (impl->listening != nullptr) {
        SetEvent(impl->listening);
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<EnginePublisher>(new EnginePublisher(std::move(impl)));
}

EnginePublisher::EnginePublisher(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EnginePublisher::~EnginePublisher() {
    SetEvent(impl_->stop);
    impl_->thread.join();
}

void EnginePublisher::publish(const Snapshot& snapshot) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->latest = snapshot;
        ++impl_->version;
    }
    SetEvent(impl_->wake);
}

EnginePublisherStats EnginePublisher::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

}  // namespace zentra
