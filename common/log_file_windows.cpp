#include <windows.h>

#include <string>

#include "log_file.h"
#include "zentra/log_sinks.h"

namespace zentra::common::logfile {

namespace {

HANDLE handleOf(std::intptr_t file) {
    return reinterpret_cast<HANDLE>(file);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

int openForAppend(const std::filesystem::path& path, std::intptr_t& file, std::uint64_t& size) {
    const HANDLE handle = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return static_cast<int>(GetLastError());
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(handle, &length)) {
        const auto error = static_cast<int>(GetLastError());
        CloseHandle(handle);
        return error;
    }
    file = reinterpret_cast<std::intptr_t>(handle);
    size = static_cast<std::uint64_t>(length.QuadPart);
    return 0;
}

int appendAll(std::intptr_t file, std::string_view bytes, std::size_t& written) {
    written = 0;
    while (written < bytes.size()) {
        const std::size_t left = bytes.size() - written;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!WriteFile(handleOf(file), bytes.data() + written, chunk, &n, nullptr)) {
            return static_cast<int>(GetLastError());
        }
        if (n == 0) {
            return ERROR_WRITE_FAULT;
        }
        written += n;
    }
    return 0;
}

// Through a handle of its own: the logger's appends and may not move the end of the file back.
bool cutTail(const std::filesystem::path& path, std::intptr_t /*file*/, std::size_t bytes) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER length{};
    bool cut =
        GetFileSizeEx(handle, &length) && static_cast<std::uint64_t>(length.QuadPart) >= bytes;
    if (cut) {
        LARGE_INTEGER end{};
        end.QuadPart = length.QuadPart - static_cast<LONGLONG>(bytes);
        cut = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    }
    CloseHandle(handle);
    return cut;
}

namespace {

// Wine marks a file deleted under an open handle only for its last close, and tells nobody before
// (no DeletePending, and the path still opens): there the file is closed and opened again.
bool deletionShowsOnlyAtClose() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

}  // namespace

bool stillAt(const std::filesystem::path& path, std::intptr_t& file) {
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(handleOf(file), FileStandardInfo, &standard,
                                     sizeof standard) &&
        standard.DeletePending) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION open{};
    if (!GetFileInformationByHandle(handleOf(file), &open)) {
        return true;
    }
    if (deletionShowsOnlyAtClose()) {
        CloseHandle(handleOf(file));
        file = kNoFile;
    }
    const HANDLE named = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return file != kNoFile && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION other{};
    const bool same =
        !GetFileInformationByHandle(named, &other) ||
        (open.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         open.nFileIndexHigh == other.nFileIndexHigh && open.nFileIndexLow == other.nFileIndexLow);
    CloseHandle(named);
    std::uint64_t size = 0;
    if (same && file == kNoFile) {
        return openForAppend(path, file, size) == 0;
    }
    return same;
}

int rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)
               ? 0
               : static_cast<int>(GetLastError());
}

void close(std::intptr_t file) {
    CloseHandle(handleOf(file));
}

void toDebugger(std::string_view line) {
    if (line.size() > 0x7fffffffu) {
        line = line.substr(0, 0x7fffffffu);
    }
    const int length = static_cast<int>(line.size());
    // Bytes that are not UTF-8 become U+FFFD rather than losing the line.
    const int units = MultiByteToWideChar(CP_UTF8, 0, line.data(), length, nullptr, 0);
    if (units <= 0) {
        return;
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), length, wide.data(), units);
    OutputDebugStringW(wide.c_str());
}

}  // namespace zentra::common::logfile

namespace zentra::common {

std::filesystem::path localAppDataFolder() {
    const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring folder(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), needed);
    if (length == 0 || length >= needed) {
        return {};
    }
    folder.resize(length);
    return folder;
}

}  // namespace zentra::common
