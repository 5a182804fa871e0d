// The Windows services the engine link uses beside the pipe calls themselves: who may open the
// pipe, the session the process runs in, and ending a pipe with I/O under way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "zentra/engine_publisher.h"

namespace zentra::link {

// Owns a handle that CloseHandle closes (an event, a mutex, a completion port); null or
// INVALID_HANDLE_VALUE: none.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(Handle&& other) noexcept : h_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        const HANDLE h = h_;
        h_ = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr);

  private:
    HANDLE h_ = nullptr;
};

// The security the pipe and its event are made with.
class PipeAccess {
  public:
    PipeAccess() = default;
    PipeAccess(const PipeAccess&) = delete;
    PipeAccess& operator=(const PipeAccess&) = delete;
    ~PipeAccess();

    // `admit` as SDDL, or, empty, the process's own user alone. False, with `problem` set, when
    // Windows refuses it.
    bool make(const std::wstring& admit, std::string& problem);
    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// How the engine's pipe is made and opened, in one place: message mode; no remote reader; the
// first instance claims the name; a tray opens it for identification only (the engine can tell
// who reads, but cannot act as them).
DWORD enginePipeOpenMode(bool first);
DWORD enginePipeMode();
DWORD readerOpenFlags();

// The Remote Desktop session the process runs in (0 when it cannot be told).
std::uint32_t currentSession();

// Cancels the I/O under way on `pipe` with `pending` and `alsoPending` (null: none), waits until
// Windows is done with them, and closes the pipe. A server's pipe is disconnected first.
void closePipe(HANDLE pipe, OVERLAPPED* pending, bool server, OVERLAPPED* alsoPending = nullptr);

// Who is at the client's end of the server's `pipe` (which must have read from it): the user
// (through an identification of the client), the session and the process.
CommandSender pipeClient(HANDLE pipe);

// The process's own user as SDDL's SID string, and that of process `processId`; empty when it
// cannot be read (another user's process, or none).
std::wstring ownUserSid();
std::wstring processUserSid(std::uint32_t processId);

// `text` in UTF-8.
std::string utf8(const std::wstring& text);

// A manual-reset event for overlapped I/O.
HANDLE newIoEvent();

}  // namespace zentra::link
