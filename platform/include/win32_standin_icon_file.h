// The stand-in's reading of a Windows icon (.ico) file: it loads no file that Wine 8's LoadImageW
// refuses, and refuses some that it loads (checked over a corpus of malformed files,
// tests/platform/icon_corpus, where the two agree file for file).
#pragma once

#include <cstddef>

namespace standin {

// The size of the image LoadImageW chooses, as its directory entry gives it (0 stands for 256).
struct IconChoice {
    int width = 0;
    int height = 0;
};

// True when LoadImageW makes an icon of these bytes for an icon of `desiredWidth` by
// `desiredHeight` pixels (0 by 0: the file's own size, its first image; one of them 0: a square):
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
// `chosen`, when given, receives the chosen image's size.
bool isLoadableIconFile(const unsigned char* data, std::size_t size, int desiredWidth = 32,
                        int desiredHeight = 32, IconChoice* chosen = nullptr);

}  // namespace standin
