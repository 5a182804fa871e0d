#include "pipe_windows.h"

#include <sddl.h>

#include <algorithm>
#include <vector>

namespace zentra::link {

namespace {

// The user `token` runs as, as SDDL's SID string; empty when it cannot be read.
std::wstring tokenUserSid(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size == 0 ? 1 : size);
    std::wstring sid;
    LPWSTR text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    return sid;
}

// The user `process` runs as; empty when Windows does not let this process read it.
std::wstring processUser(HANDLE process) {
    HANDLE token = nullptr;
    if (process == nullptr || !OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return {};
    }
    const Handle owned(token);
    return tokenUserSid(owned.get());
}

}  // namespace

std::wstring ownUserSid() {
    return processUser(GetCurrentProcess());
}

std::wstring processUserSid(std::uint32_t processId) {
    if (processId == 0) {
        return {};
    }
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return processUser(process.get());
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset(other.release());
    }
    return *this;
}

void Handle::reset(HANDLE h) {
    if (*this) {
        CloseHandle(h_);
    }
    h_ = h;
}

PipeAccess::~PipeAccess() {
    LocalFree(descriptor_);
}

bool PipeAccess::make(const std::wstring& admit, std::string& problem) {
    std::wstring sddl = admit;
    if (sddl.empty()) {
        const std::wstring sid = ownUserSid();
        if (sid.empty()) {
            problem = "the process's own user cannot be read (Windows error " +
                      std::to_string(GetLastError()) + ")";
            return false;
        }
        // Protected: nothing inherited widens it.
        sddl = L"D:P(A;;GA;;;" + sid + L")";
    }
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
        problem =
            "the access list is refused (Windows error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
}

DWORD enginePipeOpenMode(bool first) {
    return PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
}

DWORD enginePipeMode() {
    return PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
}

DWORD readerOpenFlags() {
    return FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
}

std::uint32_t currentSession() {
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
}

void closePipe(HANDLE pipe, OVERLAPPED* pending, bool server, OVERLAPPED* alsoPending) {
    if (pipe == INVALID_HANDLE_VALUE) {
        return;
    }
    if (pending != nullptr || alsoPending != nullptr) {
        CancelIo(pipe);
        DWORD ignored = 0;
        for (OVERLAPPED* io : {pending, alsoPending}) {
            if (io != nullptr) {
                GetOverlappedResult(pipe, io, &ignored, TRUE);
            }
        }
    }
    if (server) {
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
}

CommandSender pipeClient(HANDLE pipe) {
    CommandSender who;
    ULONG number = 0;
    if (GetNamedPipeClientSessionId(pipe, &number)) {
        who.session = number;
    }
    if (GetNamedPipeClientProcessId(pipe, &number)) {
        who.process = number;
    }
    if (!ImpersonateNamedPipeClient(pipe)) {
        return who;
    }
    HANDLE token = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    RevertToSelf();
    if (!opened) {
        return who;
    }
    const Handle owned(token);
    const std::wstring sid = tokenUserSid(owned.get());
    who.userSid = utf8(sid);
    PSID binary = nullptr;
    if (!sid.empty() && ConvertStringSidToSidW(sid.c_str(), &binary)) {
        wchar_t name[256];
        wchar_t domain[256];
        DWORD nameSize = 256;
        DWORD domainSize = 256;
        SID_NAME_USE use{};
        if (LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use)) {
            who.user = utf8(std::wstring(domain) + L"\\" + name);
        }
        LocalFree(binary);
    }
    return who;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

HANDLE newIoEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

}  // namespace zentra::link
