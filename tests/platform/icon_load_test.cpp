// The stand-in's LoadImageW: which image it takes and what size the icon has, for the sizes and
// flags a caller can pass. The answers are Wine 8's, measured with the same files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "win32_standin_control.h"

namespace fs = std::filesystem;

namespace {

void put(std::string& d, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        d += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// An icon file of 32-bit images of these sides, in this order; the first `firstHeight` high
// when that is not 0.
std::string iconFile(const std::vector<std::uint32_t>& sides, std::uint32_t firstHeight) {
    std::string directory;
    std::string images;
    put(directory, 0, 2);
    put(directory, 1, 2);
    put(directory, static_cast<std::uint32_t>(sides.size()), 2);
    for (const std::uint32_t side : sides) {
        const std::uint32_t height = images.empty() && firstHeight != 0 ? firstHeight : side;
        std::string image;
        put(image, 40, 4);
        put(image, side, 4);
        put(image, 2 * height, 4);
        put(image, 1, 2);
        put(image, 32, 2);
        image += std::string(24, '\0');
        image += std::string(
            std::size_t{side} * height * 4 + (std::size_t{side} + 31) / 32 * 4 * height, '\x40');
        directory += {static_cast<char>(side), static_cast<char>(height), 0, 0};
        put(directory, 1, 2);
        put(directory, 32, 2);
        put(directory, static_cast<std::uint32_t>(image.size()), 4);
        put(directory, static_cast<std::uint32_t>(6 + 16 * sides.size() + images.size()), 4);
        images += image;
    }
    return directory + images;
}

TEST(StandinLoadImage, ChosenImageAndIconSize) {
    const fs::path dir = fs::temp_directory_path() / ("zentra_load_" + std::to_string(getpid()));
    fs::create_directories(dir);
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
        const fs::path file = dir / "icon.ico";
        const std::string bytes = iconFile(c.sides, c.firstHeight);
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
    fs::remove_all(dir);
}

}  // namespace
