// user32: icons.
// - LoadImageW: reads the file ('\' taken as '/'): a missing file gives 2, a missing folder 3, a
//   folder 5, an empty file and anything that is not a regular file (a FIFO, a device) 1006, as
//   Wine does; a regular file above kMaxIconFileBytes is refused with 1006 too, where Wine would
//   read on. A file that is not a loadable icon (win32_standin_icon_file.h) fails with last error
//   0.
// - DestroyIcon: a handle that is not live (unknown, null, destroyed) fails and is counted.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "standin_state.h"
#include "win32_standin_icon_file.h"

namespace {

// Far above any icon file (seven 256 px 32-bit images are under 2 MiB), and small enough that a
// wrong file cannot make the stand-in read without end.
constexpr off_t kMaxIconFileBytes = 16 << 20;

bool isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The file's bytes, or the last error LoadImageW gives for it. Never blocks: a FIFO or device is
// opened without waiting and refused before anything is read.
bool readIconFile(const std::string& path, std::vector<unsigned char>& data, DWORD& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        error = errno == ENOENT
                    ? (isDirectory(folder) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND)
                    : ERROR_ACCESS_DENIED;
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && S_ISDIR(st.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        ok = false;
    } else if (ok && (!S_ISREG(st.st_mode) || st.st_size > kMaxIconFileBytes)) {
        error = ERROR_FILE_INVALID;
        ok = false;
    }
    if (ok) {
        data.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        ssize_t n = 0;
        while (got < data.size() && (n = read(fd, data.data() + got, data.size() - got)) > 0) {
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);  // a file that shrank meanwhile is taken as it is now
        error = ERROR_FILE_INVALID;
        ok = !data.empty();
    }
    close(fd);
    return ok;
}

}  // namespace

HANDLE LoadImageW(HINSTANCE /*instance*/, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
    standin::State& s = standin::state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.loads.emplace_back(name != nullptr ? name : L"");
    }
    if (standin::injectedFailure("LoadImageW")) {
        return nullptr;
    }
    // Only what the tray code asks for is modelled: an icon read from a file.
    if (name == nullptr || type != IMAGE_ICON || (flags & LR_LOADFROMFILE) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<unsigned char> data;
    DWORD error = 0;
    if (!readIconFile(standin::wideToHost(name), data, error)) {
        SetLastError(error);
        return nullptr;
    }
    // A side of 0 is the system's icon size (32 px at 96 DPI) with LR_DEFAULTSIZE, and otherwise
    // the image's own; the icon has the size asked for, the chosen image stretched to it.
    const int defaultSide = (flags & LR_DEFAULTSIZE) != 0 ? 32 : 0;
    const int width = cx > 0 ? cx : defaultSide;
    const int height = cy > 0 ? cy : defaultSide;
    standin::IconChoice chosen;
    if (!standin::isLoadableIconFile(data.data(), data.size(), width, height, &chosen)) {
        SetLastError(ERROR_SUCCESS);
        return nullptr;
    }
    auto* icon = new HICON__{name, chosen.width, width != 0 ? width : chosen.width,
                             height != 0 ? height : chosen.height};
    std::lock_guard<std::mutex> lock(s.mutex);
    s.live.insert(icon);
    return icon;
}

BOOL DestroyIcon(HICON icon) {
    if (standin::injectedFailure("DestroyIcon")) {
        return FALSE;  // the icon stays alive
    }
    standin::State& s = standin::state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live.erase(icon) == 0) {
            ++s.destroyFaults;
            return FALSE;
        }
    }
    delete icon;
    return TRUE;
}
