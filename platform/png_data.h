// Whether a PNG image's pixel data can be decoded: the check the stand-in's LoadImageW makes of a
// PNG icon image after its chunks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace standin {

// The fields of a PNG's IHDR chunk that say how its data is laid out.
struct PngLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned bitDepth = 0;
    unsigned colourType = 0;
    unsigned interlace = 0;  // 0: none, 1: Adam7
};

// True when `zlib` (the image's IDAT chunks, joined) is one whole zlib stream (deflate, no preset
// dictionary, right Adler-32 checksum, nothing after it) that inflates to exactly the image's
// filtered rows, each row led by a filter type of 0 to 4; and the layout is one PNG allows.
bool isDecodablePngData(const unsigned char* zlib, std::size_t size, const PngLayout& layout);

}  // namespace standin
