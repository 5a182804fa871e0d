#include "zentra/engine_publisher.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
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

// Completion keys of the publisher's own packets; each pipe instance has its own key above them.
constexpr ULONG_PTR kStopKey = 1;
constexpr ULONG_PTR kWakeKey = 2;
constexpr ULONG_PTR kAnswerKey = 3;
constexpr ULONG_PTR kFirstPipeKey = 16;
// The largest message a tray sends: a command with its longest name and argument.
constexpr std::size_t kReadBuffer = std::size_t{8} * 1024;
// Answers waiting for their tray to take them: at this many, the publisher reads no more of its
// commands until it has taken some (the tray's writes wait meanwhile).
constexpr std::size_t kOutboxFull = 16;
constexpr const char* kTooMany = "too many commands waiting";
constexpr const char* kNoAnswer = "the engine did not answer";
// Nothing is buffered for a reader: a write ends once the reader has taken it, so a reader that
// does not read is seen at its next write, a 4-byte heartbeat too.
constexpr DWORD kPipeBuffer = 0;
// Completions taken in one round before the readers are served.
constexpr int kPacketsPerRound = 256;

MonoTime steadyNow() {
    return std::chrono::steady_clock::now();
}

// One pipe instance: waiting for a reader (the listener), then serving it.
struct Instance {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    link::Handle event;  // the I/O's, so that closing can wait for a cancelled one
    ULONG_PTR key = 0;
    OVERLAPPED io{};
    bool busy = false;     // the connect, then a write, under way: its completion is awaited
    bool gone = false;     // to be removed
    std::string inFlight;  // what the write under way writes
    std::uint64_t sentVersion = 0;
    MonoTime writeStarted{};
    MonoTime lastWrite{};

    // What the tray writes: one read always under way.
    OVERLAPPED readIo{};
    link::Handle readEvent;
    std::string readBuffer;
    bool reading = false;
    // The tray speaks version 2: it gets the engine's hello, then its actions and its answers.
    bool speaks2 = false;
    bool helloDue = false;
    std::uint64_t actionsSent = 0;
    std::deque<std::string> outbox;  // answers, in order
    unsigned waiting = 0;            // commands handed to the engine, not yet answered
    CommandSender sender;

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() { link::closePipe(pipe, busy ? &io : nullptr, true, reading ? &readIo : nullptr); }
};

}  // namespace

// Where replies go: the publisher's thread, through its completion port, while it runs.
struct CommandReply::Channel {
    struct Answer {
        std::uint64_t reader = 0;
        std::uint32_t id = 0;
        CommandAnswer answer;
    };
    std::mutex mutex;
    bool open = true;  // guarded by mutex
    HANDLE port = nullptr;
    std::vector<Answer> answers;  // guarded by mutex
};

CommandReply::CommandReply(std::shared_ptr<Channel> channel, std::uint64_t reader, std::uint32_t id)
    : channel_(std::move(channel)), reader_(reader), id_(id) {}

CommandReply::CommandReply(CommandReply&& other) noexcept
    : channel_(std::move(other.channel_)), reader_(other.reader_), id_(other.id_) {}

CommandReply& CommandReply::operator=(CommandReply&& other) noexcept {
    if (this != &other) {
        if (channel_) {
            answer(false, kNoAnswer);
        }
        channel_ = std::move(other.channel_);
        reader_ = other.reader_;
        id_ = other.id_;
    }
    return *this;
}

CommandReply::~CommandReply() {
    if (channel_) {
        answer(false, kNoAnswer);
    }
}

void CommandReply::done(std::string text) {
    answer(true, std::move(text));
}

void CommandReply::refuse(std::string reason) {
    answer(false, std::move(reason));
}

void CommandReply::answer(bool done, std::string text) {
    const std::shared_ptr<Channel> channel = std::move(channel_);
    if (!channel) {
        return;  // answered already
    }
    std::lock_guard<std::mutex> lock(channel->mutex);
    if (!channel->open) {
        return;
    }
    channel->answers.push_back({reader_, id_, {done, std::move(text)}});
    if (channel->answers.size() == 1) {
        PostQueuedCompletionStatus(channel->port, 0, kAnswerKey, nullptr);
    }
}

struct EnginePublisher::Impl {
    EnginePublisherOptions options;
    std::wstring path;
    link::PipeAccess access;
    link::Handle port;       // every pipe instance's completions, and the publisher's own
    link::Handle claim;      // the name's, while this engine publishes
    link::Handle listening;  // set while a pipe instance waits for a reader
    std::unique_ptr<Instance> listener;
    // Each in its own allocation: the system writes to its OVERLAPPED until its I/O ends.
    std::vector<std::unique_ptr<Instance>> readers;
    ULONG_PTR nextKey = kFirstPipeKey;
    std::atomic<bool> wakePosted{false};

    std::shared_ptr<CommandReply::Channel> replies = std::make_shared<CommandReply::Channel>();

    mutable std::mutex mutex;
    std::optional<Snapshot> latest;     // guarded by mutex
    std::uint64_t version = 0;          // guarded by mutex
    std::vector<EngineAction> actions;  // guarded by mutex
    std::uint64_t actionsVersion = 0;   // guarded by mutex
    EnginePublisherStats stats;         // guarded by mutex

    std::thread thread;

    ~Impl();
    bool listen(bool first, bool& connected, std::string& problem);
    void take(MonoTime now);
    void listenAgain(MonoTime now);
    void completed(ULONG_PTR key, OVERLAPPED* io, bool ok, DWORD bytes, DWORD error, MonoTime now);
    void startRead(Instance& reader);
    void heard(Instance& reader, std::string_view bytes);
    void command(Instance& reader, std::uint32_t id, const EngineCommand& command);
    void takeAnswers();
    bool startWrite(Instance& reader, std::string bytes, MonoTime now);
    void sendDue(MonoTime now);
    DWORD timeoutFrom(MonoTime now) const;
    void wake();
    void run();
};

EnginePublisher::Impl::~Impl() {
    {
        std::lock_guard<std::mutex> lock(replies->mutex);
        replies->open = false;  // a reply from now on goes nowhere
    }
    // No new reader first, so that a reader cut off below cannot come back to this engine.
    listener.reset();
    if (listening) {
        ResetEvent(listening.get());
    }
    readers.clear();
}

// A new pipe instance that waits for the next reader (`connected`: one was already there). The
// first one claims the name: no other process may then make instances of it.
bool EnginePublisher::Impl::listen(bool first, bool& connected, std::string& problem) {
    connected = false;
    auto instance = std::make_unique<Instance>();
    instance->pipe =
        CreateNamedPipeW(path.c_str(), link::enginePipeOpenMode(first), link::enginePipeMode(),
                         PIPE_UNLIMITED_INSTANCES, kPipeBuffer, 0, 0, access.attributes());
    if (instance->pipe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem = first && (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
                      ? "another engine publishes under this name"
                      : "Windows refuses the pipe (Windows error " + std::to_string(error) + ")";
        return false;
    }
    instance->event.reset(link::newIoEvent());
    instance->readEvent.reset(link::newIoEvent());
    instance->key = nextKey++;
    if (!instance->event || !instance->readEvent ||
        CreateIoCompletionPort(instance->pipe, port.get(), instance->key, 0) == nullptr) {
        problem =
            "the pipe cannot be waited for (Windows error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    instance->io.hEvent = instance->event.get();
    if (!ConnectNamedPipe(instance->pipe, &instance->io)) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            connected = true;  // a reader came first: no completion follows
        } else if (error != ERROR_IO_PENDING) {
            problem =
                "the pipe cannot wait for readers (Windows error " + std::to_string(error) + ")";
            return false;
        }
    }
    instance->busy = !connected;
    listener = std::move(instance);
    return true;
}

// The listener's reader joins the readers.
void EnginePublisher::Impl::take(MonoTime now) {
    listener->busy = false;
    listener->lastWrite = now;
    startRead(*listener);
    readers.push_back(std::move(listener));
    std::lock_guard<std::mutex> lock(mutex);
    ++stats.readersConnected;
    stats.readers = static_cast<unsigned>(readers.size());
}

// A new listener; readers that were already waiting are taken at once.
void EnginePublisher::Impl::listenAgain(MonoTime now) {
    bool connected = true;
    while (connected) {
        std::string problem;
        if (!listen(false, connected, problem)) {
            logWarn("EnginePublisher: no new reader can connect: ", problem);
            return;
        }
        if (connected) {
            take(now);
        }
    }
}

// An I/O ended: the listener's connect, or a reader's write or read. A key no instance has any
// more is the late word of an I/O cancelled when its reader was dropped.
void EnginePublisher::Impl::completed(ULONG_PTR key, OVERLAPPED* io, bool ok, DWORD bytes,
                                      DWORD error, MonoTime now) {
    if (listener && key == listener->key) {
        if (ok || error == ERROR_PIPE_CONNECTED) {
            take(now);
        } else {
            listener.reset();
        }
        listenAgain(now);
        return;
    }
    for (const std::unique_ptr<Instance>& reader : readers) {
        if (reader->key != key) {
            continue;
        }
        if (io == &reader->readIo) {
            reader->reading = false;
            if (!ok) {
                if (error == ERROR_MORE_DATA) {
                    logWarn("EnginePublisher: a tray sent a message of more than ", kReadBuffer,
                            " bytes; disconnected");
                }
                reader->gone = true;  // gone, or speaking nonsense
                return;
            }
            heard(*reader, std::string_view(reader->readBuffer.data(), bytes));
            if (!reader->gone && reader->outbox.size() < kOutboxFull) {
                startRead(*reader);
            }
            return;
        }
        reader->busy = false;
        reader->lastWrite = now;
        reader->gone = reader->gone || !ok;
        return;
    }
}

// What the tray writes: its hello, then commands. A version-1 tray writes nothing: the read
// ends when it goes.
void EnginePublisher::Impl::startRead(Instance& reader) {
    reader.readBuffer.resize(kReadBuffer);
    reader.readIo = OVERLAPPED{};
    reader.readIo.hEvent = reader.readEvent.get();
    if (!ReadFile(reader.pipe, reader.readBuffer.data(), static_cast<DWORD>(kReadBuffer), nullptr,
                  &reader.readIo) &&
        GetLastError() != ERROR_IO_PENDING) {
        // ERROR_MORE_DATA too comes through the port.
        if (GetLastError() != ERROR_MORE_DATA) {
            reader.gone = true;
            return;
        }
    }
    reader.reading = true;
}

void EnginePublisher::Impl::heard(Instance& reader, std::string_view bytes) {
    const WireDecoded decoded = decodeWire(bytes, steadyNow());
    const bool fromTray = decoded.message && (decoded.message->kind == WireKind::Hello ||
                                              decoded.message->kind == WireKind::Command);
    if (!fromTray) {
        logWarn("EnginePublisher: a tray sent what an engine does not take (",
                decoded.message ? "a message for trays" : decoded.problem, "); disconnected");
        reader.gone = true;
        return;
    }
    if (!reader.speaks2) {
        reader.speaks2 = true;
        reader.helloDue = true;
        reader.sender = link::pipeClient(reader.pipe);
    }
    if (decoded.message->kind == WireKind::Command) {
        command(reader, decoded.message->id, decoded.message->command);
    }
}

void EnginePublisher::Impl::command(Instance& reader, std::uint32_t id,
                                    const EngineCommand& command) {
    const char* refusal = nullptr;
    if (reader.waiting >= options.maxWaitingCommands) {
        refusal = kTooMany;
    } else if (!options.onCommand) {
        refusal = "the engine does not take commands";
    }
    if (refusal != nullptr) {
        reader.outbox.push_back(encodeWireAnswer(id, {false, refusal}));
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.commandsRefused;
        return;
    }
    ++reader.waiting;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.commands;
    }
    try {
        options.onCommand(command, reader.sender, CommandReply(replies, reader.key, id));
    } catch (const std::exception& e) {
        common::logAt(common::LogLevel::Error, "EnginePublisher: onCommand threw: ", e.what());
    } catch (...) {
        common::logAt(common::LogLevel::Error, "EnginePublisher: onCommand threw");
    }
}

// The engine's answers, each to its tray's outbox; for a tray that has gone, nowhere.
void EnginePublisher::Impl::takeAnswers() {
    std::vector<CommandReply::Channel::Answer> answers;
    {
        std::lock_guard<std::mutex> lock(replies->mutex);
        answers.swap(replies->answers);
    }
    for (const CommandReply::Channel::Answer& a : answers) {
        for (const std::unique_ptr<Instance>& reader : readers) {
            if (reader->key == a.reader) {
                --reader->waiting;
                reader->outbox.push_back(encodeWireAnswer(a.id, a.answer));
                break;
            }
        }
    }
}

bool EnginePublisher::Impl::startWrite(Instance& reader, std::string bytes, MonoTime now) {
    reader.inFlight = std::move(bytes);
    reader.io = OVERLAPPED{};
    reader.io.hEvent = reader.event.get();
    if (!WriteFile(reader.pipe, reader.inFlight.data(), static_cast<DWORD>(reader.inFlight.size()),
                   nullptr, &reader.io) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;  // the reader has gone
    }
    // Done at once or not, its completion comes through the port.
    reader.busy = true;
    reader.writeStarted = now;
    return true;
}

// Each reader that is not busy gets the latest snapshot if it has not had it, else a heartbeat
// when one is due; one that has been busy too long is disconnected.
void EnginePublisher::Impl::sendDue(MonoTime now) {
    std::optional<Snapshot> snapshot;
    std::uint64_t current = 0;
    std::uint64_t currentActions = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        snapshot = latest;
        current = version;
        currentActions = actionsVersion;
    }
    std::string actionBytes;  // encoded once, when a reader needs them
    std::uint64_t snapshots = 0;
    std::uint64_t heartbeats = 0;
    std::uint64_t dropped = 0;
    std::optional<bool> alive;  // asked once, when a heartbeat is due
    std::string encoded;        // the snapshot's bytes, encoded once
    for (const std::unique_ptr<Instance>& reader : readers) {
        if (reader->gone) {
            continue;
        }
        if (reader->busy) {
            if (now - reader->writeStarted >= options.stuckReader) {
                reader->gone = true;
                ++dropped;
            }
            continue;
        }
        bool written = true;
        if (reader->helloDue) {
            reader->helloDue = false;
            written = startWrite(*reader, encodeWireHello(), now);
        } else if (reader->speaks2 && reader->actionsSent < currentActions) {
            reader->actionsSent = currentActions;
            if (actionBytes.empty()) {
                std::lock_guard<std::mutex> lock(mutex);
                actionBytes = encodeWireActions(actions);
            }
            written = startWrite(*reader, actionBytes, now);
        } else if (!reader->outbox.empty()) {
            written = startWrite(*reader, std::move(reader->outbox.front()), now);
            reader->outbox.pop_front();
            if (!reader->reading && reader->outbox.size() < kOutboxFull) {
                startRead(*reader);  // room again for its commands
            }
        } else if (snapshot && reader->sentVersion < current) {
            reader->sentVersion = current;
            if (encoded.empty()) {
                encoded = encodeWireSnapshot(*snapshot, now);
            }
            written = startWrite(*reader, encoded, now);
            ++snapshots;
        } else if (now - reader->lastWrite >= options.heartbeat) {
            if (!alive) {
                alive = !options.alive || options.alive();
            }
            if (*alive) {
                written = startWrite(*reader, encodeWireHeartbeat(), now);
                ++heartbeats;
            } else {
                reader->lastWrite = now;  // asked again at the next heartbeat
            }
        }
        reader->gone = reader->gone || !written;
    }
    readers.erase(std::remove_if(readers.begin(), readers.end(),
                                 [](const std::unique_ptr<Instance>& r) { return r->gone; }),
                  readers.end());
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
    for (const std::unique_ptr<Instance>& reader : readers) {
        const MonoTime at = reader->busy ? reader->writeStarted + options.stuckReader
                                         : reader->lastWrite + options.heartbeat;
        due = due ? std::min(*due, at) : at;
    }
    if (!listener) {
        due = now + std::chrono::seconds(1);  // a listener that failed is tried again
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

// Any thread: the publisher's thread wakes to send what changed (one wake-up for many changes).
void EnginePublisher::Impl::wake() {
    if (!wakePosted.exchange(true)) {
        PostQueuedCompletionStatus(port.get(), 0, kWakeKey, nullptr);
    }
}

void EnginePublisher::Impl::run() {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* io = nullptr;
        BOOL ok =
            GetQueuedCompletionStatus(port.get(), &bytes, &key, &io, timeoutFrom(steadyNow()));
        DWORD error = ok ? 0 : GetLastError();
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++stats.wakeups;
        }
        if (!ok && io == nullptr && error != WAIT_TIMEOUT) {
            return;  // the port is gone
        }
        // This completion and those already queued, then one round of writes.
        for (int n = 0; ok || io != nullptr; ++n) {
            if (key == kStopKey) {
                return;
            }
            if (key == kWakeKey) {
                wakePosted = false;
            } else if (key == kAnswerKey) {
                takeAnswers();
            } else {
                completed(key, io, ok != FALSE, bytes, error, steadyNow());
            }
            if (n + 1 >= kPacketsPerRound) {
                break;
            }
            io = nullptr;
            ok = GetQueuedCompletionStatus(port.get(), &bytes, &key, &io, 0);
            error = ok ? 0 : GetLastError();
        }
        const MonoTime now = steadyNow();
        if (!listener) {
            listenAgain(now);  // tried again after a failure
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
    impl->claim.reset(CreateMutexW(impl->access.attributes(), FALSE, claim.c_str()));
    if (!impl->claim || GetLastError() == ERROR_ALREADY_EXISTS) {
        logWarn("EnginePublisher: another engine publishes under this name");
        return nullptr;
    }
    impl->port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!impl->port) {
        logWarn("EnginePublisher: no completion port (Windows error ", GetLastError(), ")");
        return nullptr;
    }
    impl->replies->port = impl->port.get();
    bool connected = false;
    if (!impl->listen(true, connected, problem)) {
        logWarn("EnginePublisher: ", problem);
        return nullptr;
    }
    if (connected) {
        const MonoTime now = steadyNow();
        impl->take(now);
        impl->listenAgain(now);
    }
    // Trays waiting for the engine wake when this is set. Without it they try again on their own.
    const std::wstring event = link::engineObjectName(name, impl->options.perSession, L"listening");
    impl->listening.reset(CreateEventW(impl->access.attributes(), TRUE, FALSE, event.c_str()));
    if (impl->listening) {
        SetEvent(impl->listening.get());
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<EnginePublisher>(new EnginePublisher(std::move(impl)));
}

EnginePublisher::EnginePublisher(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EnginePublisher::~EnginePublisher() {
    PostQueuedCompletionStatus(impl_->port.get(), 0, kStopKey, nullptr);
    impl_->thread.join();
}

void EnginePublisher::publish(const Snapshot& snapshot) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->latest = snapshot;
        ++impl_->version;
    }
    impl_->wake();
}

void EnginePublisher::offer(std::vector<EngineAction> actions) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->actions = std::move(actions);
        ++impl_->actionsVersion;
    }
    impl_->wake();
}

EnginePublisherStats EnginePublisher::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

}  // namespace zentra
