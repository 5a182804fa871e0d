#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "png_data.h"
#include "win32_standin_icon_file.h"

namespace standin {
namespace {

std::uint32_t le16(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}
std::uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16);
}
std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

constexpr std::size_t kHeader = 6;
constexpr std::size_t kEntry = 16;
constexpr std::size_t kInfoHeader = 40;
constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::int64_t kScreenDepth = 32;

std::uint32_t crc32(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// Every image is read from at least 40 bytes (see isLoadableIconFile), enough for any header.
bool isPng(const unsigned char* image) {
    return std::memcmp(image, kPngSignature, sizeof kPngSignature) == 0;
}

// Whole chunks from the signature on, IHDR (13 bytes) first, IEND last, checksums right; one run
// of IDAT chunks (after PLTE, for a palette image) whose joined data inflates to the image's rows
// (png_data.h).
bool isUsablePng(const unsigned char* image, std::size_t size) {
    std::size_t at = sizeof kPngSignature;
    bool first = true;
    PngLayout layout;
    std::vector<unsigned char> data;
    bool palette = false;
    bool dataEnded = false;
    while (size - at >= 12) {
        const std::uint64_t length = be32(image + at);
        if (length > size - at - 12) {
            return false;
        }
        const unsigned char* type = image + at + 4;
        const unsigned char* body = type + 4;
        const auto dataLength = static_cast<std::size_t>(length);
        if (crc32(type, 4 + dataLength) != be32(type + 4 + dataLength)) {
            return false;
        }
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13 || body[10] != 0 ||
                body[11] != 0) {
                return false;  // also: compression and filter method 0, the only ones there are
            }
            layout = {be32(body), be32(body + 4), body[8], body[9], body[12]};
        }
        if (std::memcmp(type, "IEND", 4) == 0) {
            return !first && !data.empty() && (layout.colourType != 3 || palette) &&
                   isDecodablePngData(data.data(), data.size(), layout);
        }
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (dataEnded) {
                return false;  // a second run of image data
            }
            data.insert(data.end(), body, body + dataLength);
        } else if (!data.empty()) {
            dataEnded = true;
        }
        palette = palette || std::memcmp(type, "PLTE", 4) == 0;
        first = false;
        at += 12 + dataLength;
    }
    return false;
}

// A bitmap as icons hold it, from `image` to the end of the file. A colour row's length is
// computed in 32-bit signed arithmetic and may wrap, as the platform's own computation does; the
// rows' size is their exact product (so a width of 2^31-1 at 32 bits "fits", 2^26-1 does not).
bool isUsableBitmap(const unsigned char* image, std::size_t size) {
    const std::uint32_t headerSize = le32(image);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint64_t paletteBytes = 0;
    if (headerSize == 12) {  // BITMAPCOREHEADER: 16-bit fields, 3-byte colours
        width = le16(image + 4);
        height = le16(image + 6);
        bitCount = le16(image + 10);
        paletteBytes = bitCount <= 8 ? (std::uint64_t{1} << bitCount) * 3 : 0;
    } else if (headerSize == 40) {  // BITMAPINFOHEADER
        width = static_cast<std::int32_t>(le32(image + 4));
        height = static_cast<std::int32_t>(le32(image + 8));
        bitCount = le16(image + 14);
        const std::uint32_t compression = le32(image + 16);
        if (compression != 0 && compression != 3) {  // BI_RGB, BI_BITFIELDS
            return false;
        }
        const std::uint64_t colorsUsed = le32(image + 32);
        const std::uint64_t colors = colorsUsed != 0 ? colorsUsed
                                     : bitCount <= 8 ? std::uint64_t{1} << bitCount
                                                     : 0;
        paletteBytes = colors * 4;
    } else {
        return false;
    }
    if (width < 0 || headerSize + paletteBytes > size) {
        return false;
    }
    const auto wrap = [](std::int64_t v) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFF));
    };
    const std::int32_t stride = wrap(((wrap(width * bitCount) + std::int64_t{31}) >> 3) & ~3);
    const std::int64_t colourBytes = std::int64_t{stride} * (std::llabs(height) / 2);
    return colourBytes <= static_cast<std::int64_t>(size - headerSize - paletteBytes);
}

// The colour depth an image's own header gives (a PNG counts as 32 bits); at least a bitmap
// header's 40 bytes lie at `image`.
std::int64_t depthOf(const unsigned char* image) {
    return isPng(image) ? 32 : le16(image + 14);
}

}  // namespace

bool isLoadableIconFile(const unsigned char* data, std::size_t size, int desiredWidth,
                        int desiredHeight, IconChoice* chosen) {
    if (size < kHeader) {
        return false;
    }
    const std::size_t count = le16(data + 4);
    if (count == 0 || kHeader + kEntry * count > size) {
        return false;
    }
    // The image closest in size, then in colour depth; the first of equals. With no size asked for,
    // the first image; with one side, a square of it.
    const bool firstImage = desiredWidth == 0 && desiredHeight == 0;
    const std::int64_t wantedWidth = desiredWidth != 0 ? desiredWidth : desiredHeight;
    const std::int64_t wantedHeight = desiredHeight != 0 ? desiredHeight : desiredWidth;
    const unsigned char* best = nullptr;
    std::int64_t bestSizeDiff = 0;
    std::int64_t bestDepthDiff = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = data + kHeader + kEntry * i;
        // Every image's header is read before the choice; the first that cannot be read (less
        // than a bitmap header's 40 bytes left at its offset) ends the search.
        const std::uint32_t at = le32(entry + 12);
        if (at > size || size - at < kInfoHeader) {
            break;
        }
        const std::int64_t width = entry[0] == 0 ? 256 : entry[0];
        const std::int64_t height = entry[1] == 0 ? 256 : entry[1];
        const std::int64_t sizeDiff =
            std::llabs(width - wantedWidth) + std::llabs(height - wantedHeight);
        const std::int64_t depthDiff = std::llabs(depthOf(data + at) - kScreenDepth);
        if (best == nullptr || sizeDiff < bestSizeDiff ||
            (sizeDiff == bestSizeDiff && depthDiff < bestDepthDiff)) {
            best = entry;
            bestSizeDiff = sizeDiff;
            bestDepthDiff = depthDiff;
        }
        if (firstImage) {
            break;
        }
    }
    if (best == nullptr) {
        return false;
    }
    if (chosen != nullptr) {
        chosen->width = best[0] == 0 ? 256 : best[0];
        chosen->height = best[1] == 0 ? 256 : best[1];
    }
    const std::uint32_t bytes = le32(best + 8);
    const std::uint32_t offset = le32(best + 12);
    if (static_cast<std::uint32_t>(offset + bytes) > size) {
        return false;
    }
    const unsigned char* image = data + offset;
    const std::size_t available = size - offset;
    return isPng(image) ? isUsablePng(image, available) : isUsableBitmap(image, available);
}

}  // namespace standin
