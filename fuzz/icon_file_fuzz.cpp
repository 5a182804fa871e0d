// The stand-in's icon-file reader on arbitrary bytes: never reads out of bounds (AddressSanitizer
// watches), agrees with a direct check of the format, and LoadImageW accepts a file exactly when
// the reader does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32_standin.h"
#include "win32_standin_control.h"
#include "win32_standin_icon_file.h"

namespace {

bool directCheck(const std::vector<std::uint8_t>& d) {
    auto at = [&d](std::size_t i) -> std::uint64_t { return d[i]; };
    if (d.size() < 6 || at(0) != 0 || at(1) != 0 || at(2) != 1 || at(3) != 0) {
        return false;
    }
    const std::uint64_t count = at(4) | (at(5) << 8);
    if (count == 0 || 6 + 16 * count > d.size()) {
        return false;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        const std::uint64_t bytes =
            at(e + 8) | at(e + 9) << 8 | at(e + 10) << 16 | at(e + 11) << 24;
        const std::uint64_t offset =
            at(e + 12) | at(e + 13) << 8 | at(e + 14) << 16 | at(e + 15) << 24;
        if (bytes == 0 || offset < 6 + 16 * count || offset + bytes > d.size()) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so any read past the end is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::uint8_t* start = bytes.empty() ? nullptr : bytes.data();
    const bool wellFormed = standin::isWellFormedIconFile(start, bytes.size());
    if (wellFormed != directCheck(bytes)) {
        std::abort();
    }

    static const std::string path = "/tmp/zentra-icon-fuzz-" + std::to_string(getpid()) + ".ico";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const std::wstring wide(path.begin(), path.end());
    const HANDLE icon =
        LoadImageW(nullptr, wide.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
    if ((icon != nullptr) != wellFormed) {
        std::abort();
    }
    if (icon != nullptr && !DestroyIcon(static_cast<HICON>(icon))) {
        std::abort();
    }
    standin::reset();  // the recorded calls would grow without end
    return 0;
}
