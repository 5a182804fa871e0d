// What the application's life decides without Windows: command lines as the C runtime reads them,
// which files fall back to Notepad, the names an instance may claim, and the request one start
// hands another.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zentra/single_instance.h"

namespace zentra::app {

// `argument` as one argument of a command line: unchanged when it needs no quotes, else in
// quotes, with the backslashes before a quote (and before the closing one) doubled and the quote
// escaped, as CommandLineToArgvW and the C runtime read it back.
std::wstring quoteArgument(std::wstring_view argument);
// The program, quoted, then each argument.
std::wstring commandLineOf(std::wstring_view program, const std::vector<std::wstring>& arguments);
// The programs a command line may start, in the order Windows tries them: the one within the
// leading quotes; unquoted, the text up to each space or tab in turn, then the whole line (an
// installer's unquoted "C:\Program Files\MyTray\mytray.exe --background" starts
// "C:\Program Files\MyTray\mytray.exe" where "C:\Program" is not a program).
std::vector<std::wstring_view> programsOf(std::wstring_view commandLine);

// Whether `file` is a text or log file (by its extension, in any case) that Notepad may show when
// its type has no program.
bool opensInNotepad(std::wstring_view file);

// Why `name` cannot name an instance, or null when it can.
const char* instanceNameProblem(std::wstring_view name);

// The request as the bytes one start sends another (UTF-16: the working directory, a NUL, the
// command line), and back; nullopt for bytes that are not a request.
std::wstring packRequest(const InstanceRequest& request);
std::optional<InstanceRequest> unpackRequest(const void* data, std::size_t bytes);

}  // namespace zentra::app
