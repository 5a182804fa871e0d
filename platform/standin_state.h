// What the stand-in's DLLs share: the last error, injected failures, live icons, recorded calls,
// and the conversion between wide Win32 paths and host paths.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win32_standin.h"
#include "win32_standin_control.h"

// The stand-in's icon object: just enough to tell handles apart.
struct HICON__ {  // NOLINT(bugprone-reserved-identifier): the platform's name
    std::wstring source;
    int side;   // the width of the image it was made from
    int width;  // the icon's own size
    int height;
};

namespace standin {

struct State {
    std::mutex mutex;
    std::map<std::string, DWORD, std::less<>> failNext;
    std::wstring moduleOverride;
    DWORD truncationError = ERROR_INSUFFICIENT_BUFFER;
    std::set<HICON> live;
    int destroyFaults = 0;
    std::vector<std::wstring> loads;
    std::vector<ShellCall> shellCalls;
    std::map<std::pair<HWND, UINT>, HICON> notifyIcons;
};

State& state();

// True (and, if `setsLastError`, the injected code set as last error) when a failure was
// injected for `function`; the injection is used up.
bool injectedFailure(std::string_view function, bool setsLastError = true);

// A wide Win32 path as a host path: '\' becomes '/', other units UTF-8, and the units
// U+DC80..U+DCFF (which hostToWide makes of bytes that are not UTF-8) their byte again.
std::string wideToHost(std::wstring_view path);
// A host path as wide units: UTF-8 decoded, and each byte that does not start a valid sequence
// kept as one unit of its own (U+DC00 + byte), so no byte is lost or swallows the next one and
// wideToHost gives the same bytes back.
std::wstring hostToWide(std::string_view path);

}  // namespace standin
