// A corpus of icon files, well-formed and malformed, for checking that the Win32 stand-in's
// LoadImageW accepts and refuses exactly the files Wine's does.
#pragma once

#include <string>
#include <vector>

namespace icon_corpus {

struct File {
    std::string name;   // "<group>-<what>.ico", unique
    std::string bytes;  // the whole file
};

// Deterministic: the same files, in the same order, on every platform. Each malformed file breaks
// one field of the directory, the entry or the image header, or cuts a good file short at (or
// inside) one of its structures.
std::vector<File> makeCorpus();

}  // namespace icon_corpus
