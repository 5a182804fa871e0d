// Reading the pictures the screenshot check compares: a binary PPM screenshot and the 32-bit
// images of an icon file. Every read is bounds-checked and sizes are capped, so a damaged or
// hostile file is refused (or its damaged images skipped), never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace picture {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // top-down rows; alpha 255 in screenshots
};

// Larger than any screen the check photographs, small enough to allocate.
constexpr int kMaxPpmSide = 8192;
// The largest image an icon file can describe.
constexpr int kMaxIconSide = 256;

// Offset of element `channel` of pixel (x, y) in an image `width` pixels wide with `channels`
// per pixel.
inline std::size_t at(int x, int y, int width, int channels) {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           static_cast<std::size_t>(channels);
}

// A binary PPM (P6, maxval 255; '#' comments allowed in the header) of at most kMaxPpmSide
// pixels a side. False when malformed, too large or short of pixel data.
bool parsePpm(const std::string& bytes, Image& out);

// Every square 32-bit image of an icon file, by size, read at the size its own header states
// (a 40-, 108- or 124-byte bitmap header, uncompressed). Entries or images that do not lie wholly
// inside the file, PNG images and images that are not square are skipped.
std::map<int, Image> parseIcon(const std::string& d);

}  // namespace picture
