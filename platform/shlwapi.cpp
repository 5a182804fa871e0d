// shlwapi: the path helpers. '\' and '/' both separate.
// - PathRemoveFileSpecW: cuts the last component, keeping the separator of a root.
// - PathCombineW: joins with '\' and returns null (dest emptied, last error untouched) when the
//   result and its terminator need more than MAX_PATH units.
#include <algorithm>

#include "standin_state.h"

namespace {

bool isSeparator(WCHAR c) {
    return c == L'\\' || c == L'/';
}

std::size_t length(LPCWSTR text) {
    std::size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

}  // namespace

BOOL PathRemoveFileSpecW(LPWSTR path) {
    const std::size_t n = length(path);
    std::size_t cut = n;
    for (std::size_t i = n; i > 0; --i) {
        if (isSeparator(path[i - 1])) {
            cut = i - 1;
            break;
        }
    }
    if (cut == n) {  // no separator: a bare name, or "C:name"
        const std::size_t keep = (n >= 2 && path[1] == L':') ? 2 : 0;
        path[keep] = 0;
        return keep != n ? TRUE : FALSE;
    }
    // Keep the separator of a root: "\name" -> "\", "C:\name" -> "C:\".
    if (cut == 0 || (cut == 2 && path[1] == L':')) {
        ++cut;
    }
    const BOOL changed = cut != n ? TRUE : FALSE;
    path[cut] = 0;
    return changed;
}

LPWSTR PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file) {
    if (dest == nullptr) {
        return nullptr;
    }
    if (standin::injectedFailure("PathCombineW", false)) {
        dest[0] = 0;
        return nullptr;
    }
    std::wstring joined = dir != nullptr ? std::wstring(dir) : std::wstring();
    const std::wstring rel = file != nullptr ? std::wstring(file) : std::wstring();
    if (!rel.empty() && isSeparator(rel[0])) {
        joined = rel;  // a rooted file name stands on its own
    } else if (!rel.empty()) {
        if (!joined.empty() && !isSeparator(joined.back())) {
            joined += L'\\';
        }
        joined += rel;
    }
    if (joined.size() + 1 > MAX_PATH) {
        dest[0] = 0;
        return nullptr;
    }
    std::copy(joined.begin(), joined.end(), dest);
    dest[joined.size()] = 0;
    return dest;
}
