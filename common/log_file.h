// The operating system's files and debugger channel, as the loggers need them. No call throws;
// the failures return the system's error code (errno, or GetLastError on Windows), 0 on success.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace zentra::common::logfile {

constexpr std::intptr_t kNoFile = -1;

// Opens `path` for appending (made when missing), shared for reading, writing and deletion.
// `size` is its length at opening.
int openForAppend(const std::filesystem::path& path, std::intptr_t& file, std::uint64_t& size);
// Writes all of `bytes` at the end of the file, in one call where the system allows.
int appendAll(std::intptr_t file, std::string_view bytes);
void close(std::intptr_t file);

// Hands one line (UTF-8) to the debugger; does nothing where there is none.
void toDebugger(std::string_view line);

}  // namespace zentra::common::logfile
