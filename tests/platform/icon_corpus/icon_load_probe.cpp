// Writes the icon corpus into icon_corpus\ beside this program and loads every file with
// LoadImageW as initTrayIcons does, printing one line per file: "<name> icon", or "<name> null"
// and the last error ("unset" when the call left it alone). The same program runs against the
// Win32 stand-in and under Wine, and the two outputs must be identical.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "icon_corpus.h"
#include "zentra/win32.h"

namespace {

// Not a code any of these calls gives, so a failure that sets none shows as "unset".
constexpr DWORD kUnset = 0x2BADF00D;

void loadAndReport(const std::string& name, const std::wstring& path) {
    SetLastError(kUnset);
    HANDLE image =
        LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
    const DWORD code = GetLastError();
    if (image != nullptr) {
        std::printf("%s icon\n", name.c_str());
        DestroyIcon(static_cast<HICON>(image));
    } else if (code == kUnset) {
        std::printf("%s null unset\n", name.c_str());
    } else {
        std::printf("%s null GLE=%lu\n", name.c_str(), static_cast<unsigned long>(code));
    }
    std::fflush(stdout);
}

}  // namespace

// With arguments, loads those files (ASCII paths) instead of the corpus, each reported by its
// file name alone.
int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            const std::string path = argv[i];
            const std::string name = path.substr(path.find_last_of("/\\") + 1);
            loadAndReport(name, std::wstring(path.begin(), path.end()));
        }
        return 0;
    }
    WCHAR exeDir[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exeDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        std::fprintf(stderr, "icon_load_probe: no module path\n");
        return 2;
    }
    PathRemoveFileSpecW(exeDir);
    const std::wstring folder = std::wstring(exeDir) + L"\\icon_corpus";
    std::filesystem::create_directories(std::filesystem::path(std::wstring(exeDir)) /
                                        "icon_corpus");

    for (const icon_corpus::File& file : icon_corpus::makeCorpus()) {
        const std::filesystem::path path =
            std::filesystem::path(std::wstring(exeDir)) / "icon_corpus" / file.name;
        std::ofstream(path, std::ios::binary)
            .write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
        loadAndReport(file.name, folder + L"\\" + std::wstring(file.name.begin(), file.name.end()));
    }
    return 0;
}
