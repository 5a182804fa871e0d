// The operating system's files and debugger channel, as the loggers need them. No call throws;
// the failures return the system's error code (errno, or GetLastError on Windows), 0 on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace zentra::common::logfile {

constexpr std::intptr_t kNoFile = -1;

// Opens `path` for appending (made when missing), shared for reading, writing and deletion.
// `size` is its length at opening.
int openForAppend(const std::filesystem::path& path, std::intptr_t& file, std::uint64_t& size);
// Writes all of `bytes` at the end of the file, in one call where the system allows. On a
// failure, `written` tells how much of it reached the file.
int appendAll(std::intptr_t file, std::string_view bytes, std::size_t& written);
// Takes the last `bytes` bytes off the end of the file (a line written in part); false when the
// system refuses.
bool cutTail(const std::filesystem::path& path, std::intptr_t file, std::size_t bytes);
// Whether the open `file` is still the one `path` names: false once it was deleted, or the path
// was given to another file. True when the system cannot tell. Where a system tells of a deletion
// only at the last close, the file is closed and opened again: `file` may change, and is kNoFile
// once it is gone (nothing left to close).
bool stillAt(const std::filesystem::path& path, std::intptr_t& file);
// Renames `from` to `to`, replacing `to` only if the rename happens.
int rename(const std::filesystem::path& from, const std::filesystem::path& to);
void close(std::intptr_t file);

// Hands one line (UTF-8) to the debugger; does nothing where there is none.
void toDebugger(std::string_view line);

}  // namespace zentra::common::logfile
