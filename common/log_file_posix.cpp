#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

int appendAll(std::intptr_t file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(file), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
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
