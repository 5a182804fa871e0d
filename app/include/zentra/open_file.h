// Opening a file for the user ("Open log"): in the program its type opens with, as Explorer
// would; a text or log file whose type has no program (.log has none on a fresh Windows) opens
// in Notepad.
#pragma once

#include <filesystem>

namespace zentra {

// True when a program was started for `file`; false, with a warning naming the file and the
// shell's answer, when it could not be opened (missing, or no program for its type).
bool openFile(const std::filesystem::path& file);

}  // namespace zentra
