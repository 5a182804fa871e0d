// One copy of an application per user session. The first start claims the application's name; a
// later start hands its command line (and working directory) to the copy that runs, which gets it
// on its UI thread, and learns that it should exit. release() (or the destructor) gives the name
// up: the next start is the first again. Release it as soon as the message loop has ended: a
// start while the copy is still ending would wait, unanswered, for the timeout.
//
//   const auto instance = zentra::SingleInstance::claim(L"com.example.mytray", onRequest);
//   if (instance.shouldExit()) return 0;  // the copy that runs has our command line
//
// The running copy is told through a hidden message-only window on the thread that claimed the
// name, which must run a message loop; its callback is made from that loop, never from inside
// claim(), and an exception it throws is logged and goes no further. The start that forwards
// lets the running copy take the foreground, so that it can show itself. The window accepts the
// request from a start with less rights too (an elevated copy runs), where the system can.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zentra {

// What a later start handed to the running copy.
struct InstanceRequest {
    std::wstring commandLine;       // as that process got it (GetCommandLineW), program included
    std::wstring workingDirectory;  // its working directory, for relative paths in it
};

enum class InstanceRole {
    First,         // this process has the name: later starts reach onRequest
    Forwarded,     // another copy has it and took this start's request: exit
    NotForwarded,  // another copy has it but did not take the request in time (it hangs, or is
                   // ending): exit; logged as a warning
    Unguarded,     // the name could not be claimed (logged as a warning): this copy runs, but
                   // later starts are not handed to it
};

class SingleInstance {
  public:
    // Claims `name` for this user session: letters, digits and . - _ (for example
    // "com.example.mytray"), at most 200 of them; another name is refused (Unguarded). When
    // another copy has it, hands it this process's request and waits at most `timeout` for it to
    // take it.
    static SingleInstance claim(std::wstring_view name,
                                std::function<void(const InstanceRequest&)> onRequest,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~SingleInstance();
    SingleInstance(SingleInstance&& other) noexcept;
    SingleInstance& operator=(SingleInstance&& other) noexcept;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    InstanceRole role() const;
    // Forwarded or NotForwarded: another copy runs.
    bool shouldExit() const;
    // Gives the name up now (later starts are first); the role stays.
    void release();

    struct Impl;

  private:
    explicit SingleInstance(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zentra
