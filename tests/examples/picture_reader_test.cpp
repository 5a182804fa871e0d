// The screenshot check's readers on damaged and hostile files: refused or skipped, never read past
// the end (AddressSanitizer watches in the sanitizer build).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "picture_reader.h"

namespace {

TEST(PictureReader, PpmHeaders) {
    const std::string pixels(6, '\x7f');
    const struct {
        const char* name;
        std::string bytes;
        bool ok;
    } cases[] = {
        {"plain", "P6\n2 1\n255\n" + pixels, true},
        {"comments", "P6\n# by import\n2 # wide\n1\n255\n" + pixels, true},
        {"huge", "P6 100000 100000 255\n" + pixels, false},
        {"short of pixels", "P6 2 2 255\n" + pixels, false},
        {"16-bit", "P6 2 1 65535\n" + pixels + pixels, false},
        {"no separator", "P6 2 1 255", false},
        {"not P6", "P3 2 1 255\n" + pixels, false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        picture::Image image;
        EXPECT_EQ(picture::parsePpm(c.bytes, image), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(image.width * image.height * 4, static_cast<int>(image.rgba.size()));
        }
    }
}

std::string le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) {
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return s;
}

// One 32-bit image of `side` pixels (header claims it), at `offset`, followed by `pixelBytes`;
// its header is `headerSize` bytes and gives `height` rows (colour and mask; 0: twice the side)
// and the `compression`.
std::string icon(std::uint32_t count, std::uint32_t side, std::uint32_t offset,
                 std::size_t pixelBytes, std::uint32_t headerSize = 40, std::uint32_t height = 0,
                 std::uint32_t compression = 0) {
    std::string d = le(0, 2) + le(1, 2) + le(count, 2);
    d += std::string(12, '\0') + le(offset, 4);
    d += le(headerSize, 4) + le(side, 4) + le(height != 0 ? height : 2 * side, 4) + le(1, 2) +
         le(32, 2) + le(compression, 4) + std::string(headerSize - 20, '\0');
    return d + std::string(pixelBytes, '\x40');
}

TEST(PictureReader, IconImagesThatDoNotFitAreSkipped) {
    const struct {
        const char* name;
        std::string bytes;
        std::size_t images;
    } cases[] = {
        {"whole", icon(1, 2, 22, 16), 1},
        {"more entries than the file holds", icon(5, 2, 22, 16), 1},
        {"entry count beyond everything", icon(0xFFFF, 2, 22, 0), 0},
        {"pixels cut short", icon(1, 2, 22, 15), 0},
        {"offset past the end", icon(1, 2, 0xFFFFFFF0u, 16), 0},
        {"side far too large", icon(1, 100000, 22, 16), 0},
        {"only a directory", le(0, 2) + le(1, 2) + le(3, 2), 0},
        {"not square: 2 wide, 3 high", icon(1, 2, 22, 24, 40, 6), 0},
        {"not square: 2 wide, 1 high", icon(1, 2, 22, 16, 40, 2), 0},
        {"V5 header", icon(1, 2, 22, 16, 124), 1},
        {"V5 header, pixels cut short", icon(1, 2, 22, 15, 124), 0},
        {"unknown header size", icon(1, 2, 22, 16, 64), 0},
        {"compressed (bit fields)", icon(1, 2, 22, 16, 40, 0, 3), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(picture::parseIcon(c.bytes).size(), c.images) << c.name;
    }
    // The pixels follow the header, however long it is: a V5 image reads as the same picture.
    std::string v5 = icon(1, 2, 22, 0, 124);
    std::string v3 = icon(1, 2, 22, 0, 40);
    for (char b = 1; b <= 16; ++b) {
        v5 += b;
        v3 += b;
    }
    const auto fromV5 = picture::parseIcon(v5);
    const auto fromV3 = picture::parseIcon(v3);
    ASSERT_EQ(fromV5.count(2), 1u);
    ASSERT_EQ(fromV3.count(2), 1u);
    EXPECT_EQ(fromV5.at(2).rgba, fromV3.at(2).rgba);
    EXPECT_EQ(fromV5.at(2).rgba[0], 11);  // the top row is stored last (9 to 16), BGRA

    std::ifstream in(ZENTRA_SHIPPED_ICON, std::ios::binary);
    const std::string shipped{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(picture::parseIcon(shipped).size(), 7u);
}

}  // namespace
