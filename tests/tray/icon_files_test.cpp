// The shipped tray icons: well-formed icon files with every size the notification area picks
// from, each a 32-bit image with alpha, and three different pictures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string readResource(const char* name) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    const fs::path dir = fs::path(std::string(buf, static_cast<std::size_t>(n))).parent_path();
    std::ifstream in(dir / "resources" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned le(const std::string& d, std::size_t at, int bytes) {
    unsigned v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

TEST(IconFiles, EverySizeAs32BitWithAlpha) {
    std::set<std::string> pictures;
    for (const char* name : {"tray_armed.ico", "tray_triggered.ico", "tray_error.ico"}) {
        SCOPED_TRACE(name);
        const std::string d = readResource(name);
        ASSERT_GE(d.size(), 6u);
        EXPECT_EQ(le(d, 0, 2), 0u);
        EXPECT_EQ(le(d, 2, 2), 1u) << "an icon, not a cursor";
        const unsigned count = le(d, 4, 2);
        ASSERT_LE(6 + 16 * count, d.size());
        std::set<unsigned> sizes;
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t entry = 6 + 16 * i;
            const unsigned width = le(d, entry, 1);
            const unsigned height = le(d, entry + 1, 1);
            const unsigned bytes = le(d, entry + 8, 4);
            const unsigned offset = le(d, entry + 12, 4);
            ASSERT_LE(std::uint64_t{offset} + bytes, d.size());
            EXPECT_EQ(width, height);
            EXPECT_EQ(le(d, entry + 6, 2), 32u);
            EXPECT_EQ(le(d, offset, 4), 40u) << "a bitmap image";
            EXPECT_EQ(le(d, offset + 14, 2), 32u);
            // Some pixels transparent (the corners) and some opaque (the glyph).
            std::set<unsigned> alphas;
            for (std::size_t px = offset + 40 + 3; px < offset + 40 + 4 * width * width; px += 4) {
                alphas.insert(static_cast<unsigned char>(d[px]));
            }
            EXPECT_TRUE(alphas.count(0) && alphas.count(255)) << width;
            sizes.insert(width);
            if (width == 16) {
                pictures.insert(d.substr(offset, bytes));
            }
        }
        for (unsigned wanted : {16u, 20u, 24u, 32u, 48u}) {
            EXPECT_TRUE(sizes.count(wanted)) << "no " << wanted << " px image";
        }
    }
    EXPECT_EQ(pictures.size(), 3u) << "the three glyphs must differ";
}

}  // namespace
