// The stand-in's reading of a Windows icon (.ico) file, modelled on what Wine's LoadImageW
// accepts (checked over a corpus of malformed files, tests/icon_corpus).
#pragma once

#include <cstddef>

namespace standin {

// True when LoadImageW makes an icon of these bytes for an icon of `desiredSize` pixels:
// - the directory (its reserved word and type are not read) lists at least one image and fits;
// - of the listed images, the one closest to the desired size is read (ties: the colour depth
//   its own header gives closest to 32 bits, then the first); the others are never looked at;
// - its offset, and its offset plus its listed length (32-bit sum), lie within the file;
// - from there to the end of the file: a PNG whose chunks are whole, with IHDR first and IEND
//   last and correct checksums, or a bitmap header of 40 or 12 bytes, uncompressed or with bit
//   fields, of non-negative width, whose palette and colour rows (half the header's height) fit.
// `chosenSide`, when given, receives the width of the chosen image as its directory entry gives it.
bool isLoadableIconFile(const unsigned char* data, std::size_t size, int desiredSize = 32,
                        int* chosenSide = nullptr);

}  // namespace standin
