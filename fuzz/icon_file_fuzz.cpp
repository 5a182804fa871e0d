// The stand-in's icon-file reader on arbitrary bytes: never reads out of bounds (AddressSanitizer
// watches), and LoadImageW accepts a file exactly when the reader does. Whether the reader agrees
// with Wine's is checked over the malformed-file corpus in tests/icon_corpus.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32_standin.h"
#include "win32_standin_control.h"
#include "win32_standin_icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so any read past the end is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::uint8_t* start = bytes.empty() ? nullptr : bytes.data();
    const bool loadable = standin::isLoadableIconFile(start, bytes.size());

    static const std::string path = "/tmp/zentra-icon-fuzz-" + std::to_string(getpid()) + ".ico";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const std::wstring wide(path.begin(), path.end());
    const HANDLE icon =
        LoadImageW(nullptr, wide.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
    if ((icon != nullptr) != loadable) {
        std::abort();
    }
    if (icon != nullptr && !DestroyIcon(static_cast<HICON>(icon))) {
        std::abort();
    }
    standin::reset();  // the recorded calls would grow without end
    return 0;
}
