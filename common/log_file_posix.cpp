#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "log_file.h"
#include "zentra/log_sinks.h"

namespace zentra::common::logfile {

int openForAppend(const std::filesystem::path& path, std::intptr_t& file, std::uint64_t& size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    file = fd;
    size = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

int appendAll(std::intptr_t file, std::string_view bytes, std::size_t& written) {
    written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(static_cast<int>(file), bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

bool cutTail(const std::filesystem::path& /*path*/, std::intptr_t file, std::size_t bytes) {
    struct stat status {};
    if (::fstat(static_cast<int>(file), &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) < bytes) {
        return false;
    }
    return ::ftruncate(static_cast<int>(file), status.st_size - static_cast<off_t>(bytes)) == 0;
}

bool stillAt(const std::filesystem::path& path, std::intptr_t& file) {
    struct stat open {};
    if (::fstat(static_cast<int>(file), &open) != 0) {
        return true;
    }
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) {
        return errno != ENOENT && errno != ENOTDIR;
    }
    return open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

int rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void close(std::intptr_t file) {
    ::close(static_cast<int>(file));
}

void toDebugger(std::string_view /*line*/) {}

}  // namespace zentra::common::logfile

namespace zentra::common {

std::filesystem::path localAppDataFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return state;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::filesystem::path(home) / ".local" / "state";
    }
    return {};
}

}  // namespace zentra::common
