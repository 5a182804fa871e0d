#include "picture_reader.h"

#include <cctype>

namespace picture {
namespace {

// The next header token of a PPM from `pos`: whitespace and '#' comments (to the end of their
// line) are skipped. Empty at the end of the data.
std::string nextToken(const std::string& d, std::size_t& pos) {
    while (pos < d.size()) {
        if (d[pos] == '#') {
            while (pos < d.size() && d[pos] != '\n') {
                ++pos;
            }
        } else if (std::isspace(static_cast<unsigned char>(d[pos])) != 0) {
            ++pos;
        } else {
            break;
        }
    }
    const std::size_t start = pos;
    while (pos < d.size() && std::isspace(static_cast<unsigned char>(d[pos])) == 0 &&
           d[pos] != '#') {
        ++pos;
    }
    return d.substr(start, pos - start);
}

// A decimal number in 1..max; 0 when the token is anything else.
int smallNumber(const std::string& token, int max) {
    if (token.empty() || token.size() > 6) {
        return 0;
    }
    int value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value <= max ? value : 0;
}

std::uint64_t le(const std::string& d, std::size_t pos, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(d[pos + static_cast<std::size_t>(i)]);
    }
    return v;
}

}  // namespace

bool parsePpm(const std::string& bytes, Image& out) {
    std::size_t pos = 0;
    if (nextToken(bytes, pos) != "P6") {
        return false;
    }
    const int width = smallNumber(nextToken(bytes, pos), kMaxPpmSide);
    const int height = smallNumber(nextToken(bytes, pos), kMaxPpmSide);
    const int maxval = smallNumber(nextToken(bytes, pos), 65535);
    // One whitespace character separates the header from the pixels.
    if (width == 0 || height == 0 || maxval != 255 || pos >= bytes.size() ||
        std::isspace(static_cast<unsigned char>(bytes[pos])) == 0) {
        return false;
    }
    ++pos;
    const std::size_t rgbBytes = at(0, height, width, 3);
    if (bytes.size() - pos < rgbBytes) {
        return false;
    }
    out.width = width;
    out.height = height;
    out.rgba.clear();
    out.rgba.reserve(at(0, height, width, 4));
    for (std::size_t i = pos; i < pos + rgbBytes; i += 3) {
        out.rgba.insert(out.rgba.end(), {static_cast<std::uint8_t>(bytes[i]),
                                         static_cast<std::uint8_t>(bytes[i + 1]),
                                         static_cast<std::uint8_t>(bytes[i + 2]), 255});
    }
    return true;
}

std::map<int, Image> parseIcon(const std::string& d) {
    std::map<int, Image> images;
    if (d.size() < 6) {
        return images;
    }
    const std::uint64_t count = le(d, 4, 2);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = 6 + 16 * i;
        if (entry + 16 > d.size()) {
            break;  // the directory claims more entries than the file holds
        }
        const std::uint64_t offset = le(d, entry + 12, 4);
        if (offset + 40 > d.size()) {
            continue;
        }
        // The image's own header says its size: a BITMAPINFOHEADER or one of its longer forms
        // (V4, V5), uncompressed, 32 bits; the height counts the colour rows and the mask's.
        const std::uint64_t headerSize = le(d, offset, 4);
        if ((headerSize != 40 && headerSize != 108 && headerSize != 124) ||
            le(d, offset + 14, 2) != 32 || le(d, offset + 16, 4) != 0) {
            continue;
        }
        const std::uint64_t side = le(d, offset + 4, 4);
        if (side == 0 || side > kMaxIconSide || le(d, offset + 8, 4) != 2 * side) {
            continue;  // empty, too large, or not square
        }
        Image img;
        img.width = img.height = static_cast<int>(side);
        const std::uint64_t pixels = offset + headerSize;
        if (pixels + at(0, img.height, img.width, 4) > d.size()) {
            continue;
        }
        for (int row = img.height - 1; row >= 0; --row) {  // stored bottom-up, BGRA
            for (int col = 0; col < img.width; ++col) {
                const std::size_t p = static_cast<std::size_t>(pixels) + at(col, row, img.width, 4);
                img.rgba.insert(
                    img.rgba.end(),
                    {static_cast<std::uint8_t>(d[p + 2]), static_cast<std::uint8_t>(d[p + 1]),
                     static_cast<std::uint8_t>(d[p]), static_cast<std::uint8_t>(d[p + 3])});
            }
        }
        images[img.width] = std::move(img);
    }
    return images;
}

}  // namespace picture
