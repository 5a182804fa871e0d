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

// One 32-bit image of `side` pixels (header claims it), at `offset`, followed by `pixelBytes`.
std::string icon(std::uint32_t count, std::uint32_t side, std::uint32_t offset,
                 std::size_t pixelBytes) {
    std::string d = le(0, 2) + le(1, 2) + le(count, 2);
    d += std::string(12, '\0') + le(offset, 4);
    d += le(40, 4) + le(side, 4) + le(2 * side, 4) + le(1, 2) + le(32, 2) + std::string(24, '\0');
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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(picture::parseIcon(c.bytes).size(), c.images) << c.name;
    }
    std::ifstream in(ZENTRA_SHIPPED_ICON, std::ios::binary);
    const std::string shipped{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(picture::parseIcon(shipped).size(), 7u);
}

}  // namespace
