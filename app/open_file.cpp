#include "zentra/open_file.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include "app_rules.h"
#include "zentra/log.h"

namespace zentra {

namespace {

// ShellExecuteW's answer: above 32 when a program was started, else an SE_ERR_ code.
INT_PTR shellOpen(const wchar_t* file, const wchar_t* parameters) {
    return reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file, parameters, nullptr, SW_SHOWNORMAL));
}

}  // namespace

bool openFile(const std::filesystem::path& file) {
    INT_PTR result = shellOpen(file.c_str(), nullptr);
    if (result == SE_ERR_NOASSOC && app::opensInNotepad(file.native())) {
        const std::wstring quoted = app::quoteArgument(file.native());
        result = shellOpen(L"notepad.exe", quoted.c_str());
    }
    if (result > 32) {
        return true;
    }
    common::logWarn("openFile: ", file.u8string(), " cannot be opened (", result,
                    result == SE_ERR_NOASSOC ? ": no program opens its type)" : ")");
    return false;
}

}  // namespace zentra
