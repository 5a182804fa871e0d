// The stand-in's icon-file rules at their bounds: which image is chosen, and whether its bytes
// fit, one byte either side, written from the rules in win32_standin_icon_file.h; and the size
// LoadImageW gives the icon, whose answers are Wine 8's, measured with the same files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "png_bytes.h"
#include "win32_standin_control.h"
#include "win32_standin_icon_file.h"

namespace {

// `v` in `bytes` little-endian bytes; beyond its four, zeros.
std::string le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) {
        s += static_cast<char>(i < 4 ? (v >> (8 * i)) & 0xFF : 0);
    }
    return s;
}

// A bitmap header (40 bytes, or the 12-byte core form) followed by `tail` zero bytes.
std::string bitmap(std::uint32_t width, std::uint32_t height, std::uint32_t bits, std::size_t tail,
                   std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    return le(40, 4) + le(width, 4) + le(height, 4) + le(1, 2) + le(bits, 2) + le(compression, 4) +
           le(0, 12) + le(colorsUsed, 4) + le(0, 4) + std::string(tail, '\0');
}
std::string coreBitmap(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                       std::size_t tail) {
    // Padded to the 40 bytes every image needs to be read at all.
    return le(12, 4) + le(width, 2) + le(height, 2) + le(1, 2) + le(bits, 2) +
           std::string(tail, '\0');
}

struct Entry {
    int width;  // 256 is written as 0
    int height;
    std::string image;
};

std::string iconFile(const std::vector<Entry>& entries) {
    std::string directory = le(0, 2) + le(1, 2) + le(static_cast<std::uint32_t>(entries.size()), 2);
    std::string images;
    for (const Entry& e : entries) {
        const auto offset = static_cast<std::uint32_t>(6 + 16 * entries.size() + images.size());
        directory += le(static_cast<std::uint32_t>(e.width & 0xFF), 1) +
                     le(static_cast<std::uint32_t>(e.height & 0xFF), 1) + le(0, 2) + le(1, 2) +
                     le(32, 2) + le(static_cast<std::uint32_t>(e.image.size()), 4) + le(offset, 4);
        images += e.image;
    }
    return directory + images;
}

// A 32 by 32, 32-bit image whose colour rows fit exactly.
std::string good32() {
    return bitmap(32, 64, 32, std::size_t{32} * 32 * 4);
}

using png_bytes::be32;
using png_bytes::chunk;

const std::string kHeader8 = be32(8) + be32(8) + std::string("\x08\x06\x00\x00\x00", 5);

// A PNG whose first chunk is `type` holding `header`, then the rows of an 8 by 8 RGBA image in
// one stored deflate block.
std::string pngOf(const std::string& type = "IHDR", const std::string& header = kHeader8) {
    std::string rows;
    for (int y = 0; y < 8; ++y) {
        rows += '\0' + std::string(32, '\x40');
    }
    return "\x89PNG\r\n\x1a\n" + chunk(type, header) + chunk("IDAT", png_bytes::storedZlib(rows)) +
           chunk("IEND", "");
}
std::string png8() {
    return pngOf();
}

TEST(StandinIconFile, BoundsOfTheChosenImage) {
    const struct {
        const char* name;
        std::string bytes;
        bool loadable;
    } cases[] = {
        {"no images", le(0, 2) + le(1, 2) + le(0, 2) + good32(), false},
        {"32-bit rows fit exactly", iconFile({{32, 32, good32()}}), true},
        {"32-bit rows one byte short", iconFile({{32, 32, bitmap(32, 64, 32, 4095)}}), false},
        {"8-bit palette of 256 and rows", iconFile({{4, 4, bitmap(4, 8, 8, 1024 + 16)}}), true},
        {"8-bit one byte short", iconFile({{4, 4, bitmap(4, 8, 8, 1024 + 15)}}), false},
        {"2 colours used", iconFile({{4, 4, bitmap(4, 8, 8, 8 + 16, 0, 2)}}), true},
        {"palette fills the image, no rows", iconFile({{4, 4, bitmap(4, 0, 8, 1024)}}), true},
        {"palette one byte short, no rows", iconFile({{4, 4, bitmap(4, 0, 8, 1023)}}), false},
        {"1-bit rows are 4 bytes", iconFile({{8, 8, bitmap(8, 16, 1, 8 + 32)}}), true},
        {"1-bit one byte short", iconFile({{8, 8, bitmap(8, 16, 1, 8 + 31)}}), false},
        {"core header, 3-byte palette", iconFile({{4, 4, coreBitmap(4, 8, 8, 768 + 16)}}), true},
        {"core header one byte short", iconFile({{4, 4, coreBitmap(4, 8, 8, 768 + 15)}}), false},
        {"bit fields", iconFile({{32, 32, bitmap(32, 64, 32, 4096, 3)}}), true},
        {"run-length compressed", iconFile({{32, 32, bitmap(32, 64, 32, 4096, 1)}}), false},
        {"negative width", iconFile({{32, 32, bitmap(0xFFFFFFE0u, 64, 32, 4096)}}), false},
        {"top-down, rows fit", iconFile({{32, 32, bitmap(32, 0xFFFFFFC0u, 32, 4096)}}), true},
        {"top-down, one byte short", iconFile({{32, 32, bitmap(32, 0xFFFFFFC0u, 32, 4095)}}),
         false},
        {"PNG", iconFile({{8, 8, png8()}}), true},
        {"an image 20 bytes before the end, listed before a good one",
         [] {
             // Its header cannot be read whole, so the search ends before the good image.
             std::string d = iconFile({{16, 16, good32()}, {32, 32, good32()}});
             const std::string offset = le(static_cast<std::uint32_t>(d.size() - 20), 4);
             d.replace(6 + 12, 4, offset);
             return d;
         }(),
         false},
        {"more entries than the file holds",
         [] {
             std::string d = iconFile({{32, 32, good32()}});
             const std::size_t fits = (d.size() - 6) / 16;
             d[4] = static_cast<char>((fits + 1) & 0xFF);
             d[5] = static_cast<char>((fits + 1) >> 8);
             return d;
         }(),
         false},
        {"PNG, a checksum wrong",
         iconFile({{8, 8,
                    [] {
                        std::string png = png8();
                        png[png.size() - 1] ^= 1;
                        return png;
                    }()}}),
         false},
        {"PNG, first chunk not IHDR", iconFile({{8, 8, pngOf("IHDX")}}), false},
        {"PNG, IHDR of 14 bytes", iconFile({{8, 8, pngOf("IHDR", kHeader8 + "x")}}), false},
        {"PNG, compression method 1",
         iconFile(
             {{8, 8, pngOf("IHDR", be32(8) + be32(8) + std::string("\x08\x06\x01\x00\x00", 5))}}),
         false},
        {"PNG, filter method 1",
         iconFile(
             {{8, 8, pngOf("IHDR", be32(8) + be32(8) + std::string("\x08\x06\x00\x01\x00", 5))}}),
         false},
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(standin::isLoadableIconFile(data, c.bytes.size()), c.loadable) << c.name;
    }
}

TEST(StandinIconFile, WhichImageIsChosen) {
    const std::string bad = bitmap(32, 64, 32, 10);  // a 32-bit header whose rows do not fit
    const std::string bad8 = bitmap(32, 64, 8, 10);  // the same at 8 bits
    const std::string good24 = bitmap(32, 64, 24, std::size_t{32} * 32 * 3);
    const struct {
        const char* name;
        std::vector<Entry> entries;
        int desiredWidth, desiredHeight;
        bool loadable;
        int width, height;  // of the chosen image
    } cases[] = {
        {"closest size", {{16, 16, good32()}, {32, 32, good32()}}, 32, 32, true, 32, 32},
        {"a tie in size: the first",
         {{16, 16, good32()}, {48, 48, good32()}},
         32,
         32,
         true,
         16,
         16},
        {"height counts too", {{32, 16, good32()}, {32, 32, bad}}, 32, 32, false, 32, 32},
        {"a tie: depth nearer 32 bits", {{32, 32, good24}, {32, 32, bad}}, 32, 32, false, 32, 32},
        {"a tie: 32 bits before 8", {{32, 32, bad8}, {32, 32, good32()}}, 32, 32, true, 32, 32},
        {"a tie in depth too: the first",
         {{32, 32, good32()}, {32, 32, bad}},
         32,
         32,
         true,
         32,
         32},
        {"a PNG counts as 32 bits",
         {{8, 8, bitmap(8, 16, 24, std::size_t{8} * 24)}, {8, 8, png8().substr(0, 60)}},
         8,
         8,
         false,
         8,
         8},
        {"no size asked: the first", {{48, 48, good32()}, {16, 16, bad}}, 0, 0, true, 48, 48},
        {"one side asked: a square",
         {{48, 48, bad}, {24, 24, good32()}, {64, 64, bad}},
         16,
         0,
         true,
         24,
         24},
        {"width 0 is 256", {{16, 16, bad}, {0, 0, good32()}}, 256, 256, true, 256, 256},
        {"width 0 is 256, not 255",
         {{255, 254, bad}, {0, 254, good32()}},
         256,
         254,
         true,
         256,
         254},
        {"a wide image", {{32, 16, good32()}}, 32, 16, true, 32, 16},
        {"width alone: a square of it", {{8, 8, good32()}, {32, 32, bad}}, 40, 0, false, 32, 32},
        {"height alone: a square of it", {{8, 8, good32()}, {32, 32, bad}}, 0, 40, false, 32, 32},

    };
    for (const auto& c : cases) {
        const std::string bytes = iconFile(c.entries);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        standin::IconChoice chosen;
        EXPECT_EQ(standin::isLoadableIconFile(data, bytes.size(), c.desiredWidth, c.desiredHeight,
                                              &chosen),
                  c.loadable)
            << c.name;
        EXPECT_EQ(chosen.width, c.width) << c.name;
        EXPECT_EQ(chosen.height, c.height) << c.name;
    }
}

// An icon file of 32-bit images of these sides, in this order; the first `firstHeight` high
// when that is not 0.
std::string filesOfSides(const std::vector<std::uint32_t>& sides, std::uint32_t firstHeight) {
    std::vector<Entry> entries;
    for (const std::uint32_t side : sides) {
        const std::uint32_t height = entries.empty() && firstHeight != 0 ? firstHeight : side;
        const std::size_t rows =
            std::size_t{side} * height * 4 + (std::size_t{side} + 31) / 32 * 4 * height;
        entries.push_back(
            {static_cast<int>(side), static_cast<int>(height), bitmap(side, 2 * height, 32, rows)});
    }
    return iconFile(entries);
}

TEST(StandinLoadImage, ChosenImageAndIconSize) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zentra_load_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const struct {
        std::vector<std::uint32_t> sides;
        std::uint32_t firstHeight;
        int cx, cy;
        UINT flags;
        int side, width, height;
    } cases[] = {
        {{16, 20, 24, 32, 48}, 0, 0, 0, LR_LOADFROMFILE, 16, 16, 16},
        {{16, 20, 24, 32, 48}, 0, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE, 32, 32, 32},
        {{16, 20, 24, 32, 48}, 0, 16, 0, LR_LOADFROMFILE, 16, 16, 16},
        {{16, 20, 24, 32, 48}, 0, 16, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE, 16, 16, 32},
        {{16, 20, 24, 32, 48}, 0, 0, 16, LR_LOADFROMFILE, 16, 16, 16},
        {{16, 20, 24, 32, 48}, 0, 16, 48, LR_LOADFROMFILE, 16, 16, 48},
        {{48, 16}, 0, 0, 0, LR_LOADFROMFILE, 48, 48, 48},
        {{48, 16}, 0, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE, 48, 32, 32},
        {{48, 16}, 0, 20, 20, LR_LOADFROMFILE, 16, 20, 20},
        {{48, 24, 64}, 0, 0, 0, LR_LOADFROMFILE, 48, 48, 48},
        {{48, 24, 64}, 0, 16, 0, LR_LOADFROMFILE, 24, 16, 24},
        {{48, 24, 64}, 0, 0, 16, LR_LOADFROMFILE, 24, 24, 16},
        {{48, 24, 64}, 0, 24, 40, LR_LOADFROMFILE, 24, 24, 40},
        {{48, 16}, 24, 0, 0, LR_LOADFROMFILE, 48, 48, 24},
    };
    for (const auto& c : cases) {
        const std::filesystem::path file = dir / "icon.ico";
        const std::string bytes = filesOfSides(c.sides, c.firstHeight);
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const std::string path = file.string();
        const std::wstring name(path.begin(), path.end());
        auto* icon =
            static_cast<HICON>(LoadImageW(nullptr, name.c_str(), IMAGE_ICON, c.cx, c.cy, c.flags));
        ASSERT_NE(icon, nullptr);
        SCOPED_TRACE(std::to_string(c.sides.front()) + "... at " + std::to_string(c.cx) + "x" +
                     std::to_string(c.cy) + " flags " + std::to_string(c.flags));
        EXPECT_EQ(standin::iconSide(icon), c.side);
        EXPECT_EQ(standin::iconSize(icon).width, c.width);
        EXPECT_EQ(standin::iconSize(icon).height, c.height);
        DestroyIcon(icon);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
