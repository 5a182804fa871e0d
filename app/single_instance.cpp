#include "zentra/single_instance.h"

#include <windows.h>

#include <deque>
#include <utility>

#include "app_rules.h"
#include "windows_support.h"
#include "zentra/log.h"

namespace zentra {

using common::logWarn;

namespace {

constexpr wchar_t kWindowClass[] = L"zentra.SingleInstance";
constexpr ULONG_PTR kRequestTag = 0x7A6E5331;  // "znS1": what the data of WM_COPYDATA holds
constexpr UINT kRequestWaiting = WM_APP + 1;

std::wstring workingDirectory() {
    std::wstring out(GetCurrentDirectoryW(0, nullptr), L'\0');
    out.resize(GetCurrentDirectoryW(static_cast<DWORD>(out.size()), out.data()));
    return out;
}

std::string narrow(std::wstring_view text) {
    return {text.begin(), text.end()};  // names are ASCII
}

}  // namespace

struct SingleInstance::Impl {
    InstanceRole role = InstanceRole::Unguarded;
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    std::function<void(const InstanceRequest&)> onRequest;
    std::deque<InstanceRequest> waiting;

    ~Impl() { release(); }
    void release();
    bool listen(const std::wstring& name);
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

void SingleInstance::Impl::release() {
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
        window = nullptr;
    }
    if (mutex != nullptr) {
        CloseHandle(mutex);
        mutex = nullptr;
    }
}

// The window a later start finds by the name, on this thread.
bool SingleInstance::Impl::listen(const std::wstring& name) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        const DWORD code = GetLastError();
        logWarn("SingleInstance: RegisterClassW failed (GLE=", code, ")");
        return false;
    }
    window = CreateWindowExW(0, kWindowClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             instance, nullptr);
    if (window == nullptr) {
        const DWORD code = GetLastError();
        logWarn("SingleInstance: CreateWindowExW failed (GLE=", code, ")");
        return false;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    app::allowThroughUipi(window, WM_COPYDATA);
    return true;
}

LRESULT CALLBACK SingleInstance::Impl::procedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the pointer stored once the window exists
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_COPYDATA) {
        // From any process: taken only when it is a request, and handled once the sender has
        // its answer.
        // NOLINTNEXTLINE(performance-no-int-to-ptr): WM_COPYDATA's record
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        std::optional<InstanceRequest> request;
        if (data != nullptr && data->dwData == kRequestTag) {
            request = app::unpackRequest(data->lpData, data->cbData);
        }
        if (!request) {
            return FALSE;
        }
        self->waiting.push_back(std::move(*request));
        PostMessageW(window, kRequestWaiting, 0, 0);
        return TRUE;
    }
    if (message == kRequestWaiting) {
        if (self->waiting.empty()) {
            return 0;
        }
        const InstanceRequest request = std::move(self->waiting.front());
        self->waiting.pop_front();
        const auto call = self->onRequest;  // the callback may destroy this object
        if (call) {
            app::callApplication("SingleInstance", "onRequest", [&] { call(request); });
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

SingleInstance SingleInstance::claim(std::wstring_view name,
                                     std::function<void(const InstanceRequest&)> onRequest,
                                     std::chrono::milliseconds timeout) {
    auto impl = std::make_unique<Impl>();
    impl->onRequest = std::move(onRequest);
    if (const char* problem = app::instanceNameProblem(name)) {
        logWarn("SingleInstance: the name \"", narrow(name), "\" is refused: ", problem,
                "; this copy runs unguarded");
        return SingleInstance(std::move(impl));
    }
    const std::wstring title(name);
    const std::wstring mutexName = L"Local\\zentra.instance." + title;
    const std::wstring request = app::packRequest({GetCommandLineW(), workingDirectory()});
    const auto end = std::chrono::steady_clock::now() + timeout;
    // Until this copy is the first, or the first has its request: the copy that has the name may
    // be starting (no window yet) or ending (its window gone, the name not yet).
    for (;;) {
        SetLastError(ERROR_SUCCESS);  // a name created anew need not reset it
        HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
        const DWORD created = GetLastError();
        if (mutex != nullptr && created != ERROR_ALREADY_EXISTS) {
            impl->mutex = mutex;
            if (impl->listen(title)) {
                impl->role = InstanceRole::First;
            } else {
                // Not kept: later starts would wait for a window that never comes.
                impl->release();
                logWarn("SingleInstance: ", narrow(name), " runs unguarded");
            }
            return SingleInstance(std::move(impl));
        }
        // Access denied: a copy with more rights has it.
        if (mutex == nullptr && created != ERROR_ACCESS_DENIED) {
            logWarn("SingleInstance: CreateMutexW failed (GLE=", created, "); ", narrow(name),
                    " runs unguarded");
            return SingleInstance(std::move(impl));
        }
        const HWND first = FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, title.c_str());
        if (first != nullptr) {
            if (mutex != nullptr) {
                CloseHandle(mutex);
            }
            DWORD process = 0;
            GetWindowThreadProcessId(first, &process);
            AllowSetForegroundWindow(process);  // so that it can show itself
            COPYDATASTRUCT data{kRequestTag, static_cast<DWORD>(request.size() * sizeof(wchar_t)),
                                const_cast<wchar_t*>(request.data())};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            DWORD_PTR taken = FALSE;
            const LRESULT answered = SendMessageTimeoutW(
                first, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                static_cast<UINT>(std::max<long long>(left.count(), 100)), &taken);
            impl->role = answered != 0 && taken == TRUE ? InstanceRole::Forwarded
                                                        : InstanceRole::NotForwarded;
            if (impl->role == InstanceRole::NotForwarded) {
                const DWORD code = GetLastError();
                logWarn("SingleInstance: the copy of ", narrow(name),
                        " that runs did not take this start's request (GLE=", code, ")");
            }
            return SingleInstance(std::move(impl));
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
        if (std::chrono::steady_clock::now() >= end) {
            impl->role = InstanceRole::NotForwarded;
            logWarn("SingleInstance: another copy of ", narrow(name),
                    " has the name but no window to take this start's request");
            return SingleInstance(std::move(impl));
        }
        Sleep(20);
    }
}

SingleInstance::SingleInstance(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SingleInstance::~SingleInstance() = default;
SingleInstance::SingleInstance(SingleInstance&& other) noexcept = default;
SingleInstance& SingleInstance::operator=(SingleInstance&& other) noexcept = default;

InstanceRole SingleInstance::role() const {
    return impl_ != nullptr ? impl_->role : InstanceRole::Unguarded;
}

void SingleInstance::release() {
    if (impl_ != nullptr) {
        impl_->release();
    }
}

bool SingleInstance::shouldExit() const {
    const InstanceRole r = role();
    return r == InstanceRole::Forwarded || r == InstanceRole::NotForwarded;
}

}  // namespace zentra
