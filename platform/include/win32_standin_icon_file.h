// The stand-in's reading of a Windows icon (.ico) file.
#pragma once

#include <cstddef>

namespace standin {

// True for a well-formed icon file: reserved word 0, type 1 (icon), at least one image, every
// 16-byte directory entry inside the file, and every image's non-empty data inside the file.
bool isWellFormedIconFile(const unsigned char* data, std::size_t size);

}  // namespace standin
