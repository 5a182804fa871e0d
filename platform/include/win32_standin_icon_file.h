// The stand-in's reading of a Windows icon (.ico) file: it loads no file that Wine 8's LoadImageW
// refuses, and refuses some that it loads (checked over a corpus of malformed files,
// tests/platform/icon_corpus, where the two agree file for file).
#pragma once

#include <cstddef>

namespace standin {

// True when LoadImageW makes an icon of these bytes for an icon of `desiredSize` pixels:
// - the directory (its reserved word and type are not read) lists at least one image and fits;
// - the images' headers are read in the directory's order up to the first that cannot be (fewer
//   than 40 bytes at its offset); of those before it, the one closest to the desired size is
//   chosen (ties: the colour depth its own header gives closest to 32 bits, then the first);
// - its offset, and its offset plus its listed length (32-bit sum), lie within the file;
// - from there to the end of the file: a PNG whose chunks are whole, with IHDR first and IEND
//   last and correct checksums, whose image data inflates to exactly its rows (8 bits a channel
//   at most); or a bitmap header of 40 or 12 bytes, uncompressed or with bit fields, of
//   non-negative width, whose palette and colour rows (half the header's height; a row's length
//   computed in 32 bits, as the platform does) fit.
// `chosenSide`, when given, receives the width of the chosen image as its directory entry gives it.
bool isLoadableIconFile(const unsigned char* data, std::size_t size, int desiredSize = 32,
                        int* chosenSide = nullptr);

}  // namespace standin
