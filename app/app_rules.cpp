#include "app_rules.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace zentra::app {

namespace {

constexpr std::size_t kLongestName = 200;
// A command line is at most 32767 characters; a working directory, as long.
constexpr std::size_t kLongestRequest = 2 * std::size_t{32768};

wchar_t lowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool endsWithNoCase(std::wstring_view text, std::wstring_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    for (std::size_t i = 0; i < end.size(); ++i) {
        if (lowerAscii(text[text.size() - end.size() + i]) != end[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring quoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them: then each stands for two.
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    out += L'"';
    return out;
}

std::wstring commandLineOf(std::wstring_view program, const std::vector<std::wstring>& arguments) {
    // A program's path cannot hold a quote, and is read up to the closing one: no escapes.
    std::wstring out = L"\"" + std::wstring(program) + L"\"";
    for (const std::wstring& argument : arguments) {
        out += L' ';
        out += quoteArgument(argument);
    }
    return out;
}

std::vector<std::wstring_view> programsOf(std::wstring_view commandLine) {
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t end = commandLine.find(L'"', 1);
        return {commandLine.substr(1, end == std::wstring_view::npos ? end : end - 1)};
    }
    std::vector<std::wstring_view> programs;
    for (std::size_t at = commandLine.find_first_of(L" \t"); at != std::wstring_view::npos;
         at = commandLine.find_first_of(L" \t", at + 1)) {
        if (at > 0) {
            programs.push_back(commandLine.substr(0, at));
        }
    }
    programs.push_back(commandLine);
    return programs;
}

bool opensInNotepad(std::wstring_view file) {
    static constexpr std::array<std::wstring_view, 8> kText = {L".txt",  L".log", L".ini",  L".cfg",
                                                               L".conf", L".csv", L".json", L".md"};
    return std::any_of(kText.begin(), kText.end(), [file](std::wstring_view extension) {
        return endsWithNoCase(file, extension);
    });
}

const char* instanceNameProblem(std::wstring_view name) {
    if (name.empty()) {
        return "it is empty";
    }
    if (name.size() > kLongestName) {
        return "it is longer than 200 characters";
    }
    for (const wchar_t c : name) {
        const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                             (c >= L'0' && c <= L'9') || c == L'.' || c == L'-' || c == L'_';
        if (!allowed) {
            return "only letters, digits and . - _ may name an instance";
        }
    }
    return nullptr;
}

std::wstring packRequest(const InstanceRequest& request) {
    return request.workingDirectory + L'\0' + request.commandLine;
}

std::optional<InstanceRequest> unpackRequest(const void* data, std::size_t bytes) {
    // UTF-16 as the other process sent it, whatever the width of wchar_t here.
    if (data == nullptr || bytes % 2 != 0 || bytes > 2 * kLongestRequest) {
        return std::nullopt;
    }
    std::wstring text(bytes / 2, L'\0');
    const auto* in = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(in[2 * i] | (in[2 * i + 1] << 8));
    }
    const std::size_t split = text.find(L'\0');
    if (split == std::wstring::npos || text.find(L'\0', split + 1) != std::wstring::npos) {
        return std::nullopt;
    }
    return InstanceRequest{text.substr(split + 1), text.substr(0, split)};
}

}  // namespace zentra::app
