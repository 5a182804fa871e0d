#include "icon_corpus.h"

#include "png_bytes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace icon_corpus {
namespace {

void put16(std::string& d, std::size_t at, std::uint32_t v) {
    d[at] = static_cast<char>(v & 0xFF);
    d[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& d, std::size_t at, std::uint32_t v) {
    put16(d, at, v & 0xFFFF);
    put16(d, at + 2, v >> 16);
}
void append32be(std::string& d, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        d += static_cast<char>((v >> shift) & 0xFF);
    }
}

constexpr std::size_t kDirectory = 6;
constexpr std::size_t kEntry = 16;
constexpr std::size_t kImage = kDirectory + kEntry;  // offset of the one image
constexpr std::size_t kInfoHeader = 40;

// A one-image icon file: directory, entry, then `image` (entry fields from the arguments).
std::string iconFile(int size, int bitCount, const std::string& image) {
    std::string d(kImage, '\0');
    put16(d, 2, 1);  // type: icon
    put16(d, 4, 1);  // one image
    d[6] = static_cast<char>(size & 0xFF);
    d[7] = static_cast<char>(size & 0xFF);
    put16(d, 10, 1);  // planes
    put16(d, 12, static_cast<std::uint32_t>(bitCount));
    put32(d, 14, static_cast<std::uint32_t>(image.size()));
    put32(d, 18, static_cast<std::uint32_t>(kImage));
    return d + image;
}

// A bitmap image as icons hold it: BITMAPINFOHEADER with twice the height (colour rows, then the
// 1-bit mask), a palette for 8 bits and fewer, the colour rows and the mask rows.
std::string bitmapImage(int size, int bitCount) {
    const auto s = static_cast<std::uint32_t>(size);
    const auto bits = static_cast<std::uint32_t>(bitCount);
    std::string d(kInfoHeader, '\0');
    put32(d, 0, kInfoHeader);
    put32(d, 4, s);
    put32(d, 8, 2 * s);
    put16(d, 12, 1);
    put16(d, 14, bits);
    const std::uint32_t colourRow = (s * bits + 31) / 32 * 4;
    const std::uint32_t maskRow = (s + 31) / 32 * 4;
    put32(d, 20, (colourRow + maskRow) * s);
    if (bits <= 8) {
        for (std::uint32_t i = 0; i < (1u << bits); ++i) {
            const auto c = static_cast<char>(i * 255 / ((1u << bits) - 1));
            d += {c, c, c, 0};
        }
    }
    for (std::uint32_t y = 0; y < s; ++y) {
        for (std::uint32_t x = 0; x < colourRow; ++x) {
            d += static_cast<char>((x * 7 + y * 13) & 0xFF);
        }
    }
    d.append(std::size_t{maskRow} * s, '\0');
    return d;
}

using png_bytes::crc32;
using png_bytes::storedZlib;

void appendChunk(std::string& png, const std::string& type, const std::string& data) {
    png += png_bytes::chunk(type, data);
}

struct PngShape {
    PngShape(std::uint32_t w, std::uint32_t h, char bitDepth = 8, char type = 6, char adam7 = 0,
             std::string plte = {})
        : width(w),
          height(h),
          depth(bitDepth),
          colourType(type),
          interlace(adam7),
          palette(std::move(plte)) {}
    std::uint32_t width;
    std::uint32_t height;
    char depth;
    char colourType;  // 6: RGBA
    char interlace;
    std::string palette;  // a PLTE chunk's data, when not empty
};

// A PNG of `shape` whose IDAT chunks hold `parts` of its zlib data; an empty part stands for a
// tEXt chunk between them.
std::string pngOf(const PngShape& shape, const std::vector<std::string>& parts) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    append32be(header, shape.width);
    append32be(header, shape.height);
    header += {shape.depth, shape.colourType, '\0', '\0', shape.interlace};
    appendChunk(png, "IHDR", header);
    if (!shape.palette.empty()) {
        appendChunk(png, "PLTE", shape.palette);
    }
    for (const std::string& part : parts) {
        appendChunk(png, part.empty() ? "tEXt" : "IDAT",
                    part.empty() ? std::string("a\0b", 3) : part);
    }
    appendChunk(png, "IEND", "");
    return png;
}

// Rows of `bytes` bytes each, every one led by the filter type `filter`.
std::string pngRows(std::uint32_t rows, std::uint32_t bytes, char filter = '\0') {
    std::string raw;
    for (std::uint32_t y = 0; y < rows; ++y) {
        raw += filter;
        for (std::uint32_t x = 0; x < bytes; ++x) {
            raw += static_cast<char>((x * 8 + y * 8) & 0xFF);
        }
    }
    return raw;
}

// A small RGBA PNG, its pixel data in one stored (uncompressed) deflate block.
std::string pngImage(int size) {
    const auto s = static_cast<std::uint32_t>(size);
    return pngOf({s, s}, {storedZlib(pngRows(s, 4 * s))});
}

std::string fromHex(const char* hex) {
    std::string bytes;
    for (const char* p = hex; p[0] != '\0' && p[1] != '\0'; p += 2) {
        bytes += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    }
    return bytes;
}

}  // namespace

std::vector<File> makeCorpus() {
    std::vector<File> files;
    const std::string good = iconFile(32, 32, bitmapImage(32, 32));
    const std::size_t goodImage = good.size() - kImage;
    const auto add = [&files](const std::string& name, const std::string& bytes) {
        files.push_back({name + ".ico", bytes});
    };
    // Changes one field of the good file.
    const auto with = [&](const std::string& name, std::size_t at, int width, std::uint32_t v) {
        std::string d = good;
        if (width == 1) {
            d[at] = static_cast<char>(v);
        } else if (width == 2) {
            put16(d, at, v);
        } else {
            put32(d, at, v);
        }
        add(name, d);
    };

    add("good-32px-32bit", good);
    add("good-16px-32bit", iconFile(16, 32, bitmapImage(16, 32)));
    add("good-32px-8bit", iconFile(32, 8, bitmapImage(32, 8)));
    add("good-32px-4bit", iconFile(32, 4, bitmapImage(32, 4)));
    add("good-32px-1bit", iconFile(32, 1, bitmapImage(32, 1)));
    add("good-32px-24bit", iconFile(32, 24, bitmapImage(32, 24)));
    add("good-48px-32bit", iconFile(48, 32, bitmapImage(48, 32)));
    add("good-png-32px", iconFile(32, 32, pngImage(32)));

    // The directory.
    with("dir-reserved-1", 0, 2, 1);
    with("dir-type-0", 2, 2, 0);
    with("dir-type-cursor", 2, 2, 2);
    with("dir-type-3", 2, 2, 3);
    with("dir-count-0", 4, 2, 0);
    with("dir-count-2", 4, 2, 2);
    with("dir-count-65535", 4, 2, 0xFFFF);

    // The entry.
    with("entry-width-16", 6, 1, 16);
    with("entry-height-16", 7, 1, 16);
    with("entry-width-0", 6, 1, 0);
    with("entry-colors-16", 8, 1, 16);
    with("entry-reserved-1", 9, 1, 1);
    with("entry-planes-0", 10, 2, 0);
    with("entry-planes-2", 10, 2, 2);
    with("entry-bitcount-0", 12, 2, 0);
    with("entry-bitcount-8", 12, 2, 8);
    with("entry-bytes-0", 14, 4, 0);
    with("entry-bytes-header-only", 14, 4, kInfoHeader);
    with("entry-bytes-short-by-1", 14, 4, static_cast<std::uint32_t>(goodImage - 1));
    with("entry-bytes-past-end", 14, 4, static_cast<std::uint32_t>(goodImage + 1));
    with("entry-bytes-max", 14, 4, 0xFFFFFFFFu);
    with("entry-offset-0", 18, 4, 0);
    with("entry-offset-in-directory", 18, 4, kDirectory);
    with("entry-offset-past-end", 18, 4, static_cast<std::uint32_t>(good.size()));
    with("entry-offset-max", 18, 4, 0xFFFFFFFFu);

    // The image's bitmap header.
    for (const std::uint32_t v : {0u, 12u, 39u, 41u, 108u, 124u, 0xFFFFFFFFu}) {
        with("header-size-" + std::to_string(v), kImage, 4, v);
    }
    for (const std::uint32_t v : {0u, 16u, 64u, 0xFFFFFFE0u, 0x7FFFFFFFu}) {
        with("header-width-" + std::to_string(v), kImage + 4, 4, v);
    }
    for (const std::uint32_t v : {0u, 32u, 63u, 128u, 0xFFFFFFC0u}) {
        with("header-height-" + std::to_string(v), kImage + 8, 4, v);
    }
    with("header-planes-0", kImage + 12, 2, 0);
    with("header-planes-2", kImage + 12, 2, 2);
    for (const std::uint32_t v : {0u, 3u, 8u, 24u, 64u}) {
        with("header-bitcount-" + std::to_string(v), kImage + 14, 2, v);
    }
    for (const std::uint32_t v : {1u, 3u, 4u, 5u}) {
        with("header-compression-" + std::to_string(v), kImage + 16, 4, v);
    }
    with("header-sizeimage-max", kImage + 20, 4, 0xFFFFFFFFu);
    with("header-clrused-max", kImage + 32, 4, 0xFFFFFFFFu);

    // Junk where the image should be, with a directory that describes it exactly.
    add("junk-4-bytes", iconFile(32, 32, std::string("\x01\x02\x03\x04", 4)));
    add("junk-64-bytes", iconFile(32, 32, std::string(64, '\x5a')));
    add("junk-zeros", iconFile(32, 32, std::string(goodImage, '\0')));
    std::string badSignature = pngImage(32);
    badSignature[1] = 'Q';
    add("png-bad-signature", iconFile(32, 32, badSignature));
    add("png-signature-only", iconFile(32, 32, pngImage(32).substr(0, 8)));
    add("png-cut-in-data", iconFile(32, 32, pngImage(32).substr(0, 100)));
    add("png-size-16-entry-32", iconFile(32, 32, pngImage(16)));

    // Cut short at and inside every structure: directory, entry, header, colour rows, mask.
    const std::size_t colourEnd = kImage + kInfoHeader + std::size_t{32} * 32 * 4;
    for (const std::size_t cut :
         {std::size_t{0}, std::size_t{3}, kDirectory, kDirectory + 8, kImage, kImage + 20,
          kImage + kInfoHeader, kImage + kInfoHeader + 100, colourEnd, colourEnd + 64,
          good.size() - 1}) {
        add("cut-at-" + std::to_string(cut), good.substr(0, cut));
    }
    // Which bytes bound the image: the entry's length or the rest of the file.
    std::string shortEntry = good;
    put32(shortEntry, 14, kInfoHeader);
    add("bound-entry-40-file-cut-in-mask", shortEntry.substr(0, good.size() - 1));
    add("bound-entry-40-file-cut-in-colour", shortEntry.substr(0, colourEnd - 100));
    put32(shortEntry, 14, 0);
    add("bound-entry-0-file-cut-in-colour", shortEntry.substr(0, colourEnd - 100));
    std::string pngShortEntry = iconFile(32, 32, pngImage(32));
    put32(pngShortEntry, 14, 40);
    add("bound-png-entry-40", pngShortEntry);

    // Several images: only the one chosen for the requested size is read.
    const auto twoImages = [&](const std::string& name, int firstSize, const std::string& first,
                               int secondSize, const std::string& second) {
        std::string d(kDirectory + 2 * kEntry, '\0');
        put16(d, 2, 1);
        put16(d, 4, 2);
        const std::string images[] = {first, second};
        const int sizes[] = {firstSize, secondSize};
        std::size_t offset = d.size();
        for (std::size_t i = 0; i < 2; ++i) {
            const std::size_t e = kDirectory + kEntry * i;
            d[e] = d[e + 1] = static_cast<char>(sizes[i] & 0xFF);
            put16(d, e + 4, 1);
            put16(d, e + 6, 32);
            put32(d, e + 8, static_cast<std::uint32_t>(images[i].size()));
            put32(d, e + 12, static_cast<std::uint32_t>(offset));
            offset += images[i].size();
        }
        add(name, d + first + second);
    };
    const std::string junk(200, '\x5a');
    // A bitmap with one field of its header changed.
    const auto changed = [](std::string image, std::size_t at, int width, std::uint32_t v) {
        if (width == 2) {
            put16(image, at, v);
        } else {
            put32(image, at, v);
        }
        return image;
    };
    twoImages("pick-junk16-good32", 16, junk, 32, bitmapImage(32, 32));
    twoImages("pick-good16-junk32", 16, bitmapImage(16, 32), 32, junk);
    twoImages("pick-junk16-good48", 16, junk, 48, bitmapImage(48, 32));
    twoImages("pick-good16-junk48", 16, bitmapImage(16, 32), 48, junk);
    twoImages("pick-junk24-good48", 24, junk, 48, bitmapImage(48, 32));
    twoImages("pick-good24-junk48", 24, bitmapImage(24, 32), 48, junk);
    twoImages("pick-junk40-good20", 40, junk, 20, bitmapImage(20, 32));
    twoImages("pick-good40-junk20", 40, bitmapImage(40, 32), 20, junk);
    twoImages("pick-junk64-good16", 64, junk, 16, bitmapImage(16, 32));
    twoImages("pick-good64-junk16", 64, bitmapImage(64, 32), 16, junk);

    // An image whose header cannot be read (it starts too near the end of the file, or past it)
    // listed before a good one, or after it.
    const auto unreadableFirst = [&](const std::string& name, int firstSize, std::uint32_t offset,
                                     int secondSize) {
        std::string d(kDirectory + 2 * kEntry, '\0');
        put16(d, 2, 1);
        put16(d, 4, 2);
        const std::string image = bitmapImage(secondSize, 32);
        const std::size_t e = kDirectory;
        d[e] = d[e + 1] = static_cast<char>(firstSize & 0xFF);
        d[e + kEntry] = d[e + kEntry + 1] = static_cast<char>(secondSize & 0xFF);
        for (const std::size_t entry : {e, e + kEntry}) {
            put16(d, entry + 4, 1);
            put16(d, entry + 6, 32);
            put32(d, entry + 8, static_cast<std::uint32_t>(image.size()));
        }
        put32(d, e + 12, offset);
        put32(d, e + kEntry + 12, static_cast<std::uint32_t>(d.size()));
        d += image;
        if (offset == 0) {  // the header's first bytes are the file's last
            put32(d, e + 12, static_cast<std::uint32_t>(d.size() - 10));
        }
        add(name, d);
    };
    unreadableFirst("order-unreadable16-good32", 16, 0xFFFFFF00u, 32);
    unreadableFirst("order-unreadable32-good32", 32, 0xFFFFFF00u, 32);
    unreadableFirst("order-cut16-good32", 16, 0, 32);
    unreadableFirst("order-unreadable48-good32", 48, 0xFFFFFF00u, 32);

    // Ties in size difference (16 and 48 around 32) between a broken image and a good one.
    const std::string bitcount0 = changed(bitmapImage(16, 32), 14, 2, 0);
    const std::string compression5 = changed(bitmapImage(16, 32), 16, 4, 5);
    const std::string tooWide = changed(bitmapImage(16, 32), 4, 4, 64);
    twoImages("tie-bitcount0-16-good48", 16, bitcount0, 48, bitmapImage(48, 32));
    twoImages("tie-good48-bitcount0-16", 48, bitmapImage(48, 32), 16, bitcount0);
    twoImages("tie-compression5-16-good48", 16, compression5, 48, bitmapImage(48, 32));
    twoImages("tie-toowide-16-good48", 16, tooWide, 48, bitmapImage(48, 32));
    twoImages("tie-8bit16-good48", 16, bitmapImage(16, 8), 48, bitmapImage(48, 32));
    twoImages("tie-junk16-good48-24bit", 16, junk, 48, bitmapImage(48, 24));

    // Colour rows whose size wraps in 32-bit arithmetic.
    with("header-width-67108863", kImage + 4, 4, 0x3FFFFFFu);
    with("header-height-2147483647", kImage + 8, 4, 0x7FFFFFFFu);
    std::string wide = good;
    put32(wide, kImage + 4, 0x3FFFFFFu);
    put32(wide, kImage + 8, 0x7FFFFFFFu);
    add("header-width-67108863-height-2147483647", wide);
    add("header-width-2147483647-8bit",
        iconFile(32, 8, changed(bitmapImage(32, 8), 4, 4, 0x7FFFFFFFu)));

    // PNG images whose pixel data is not what IHDR promises as a zlib stream.
    std::string png = pngImage(32);
    const std::size_t idat = png.find("IDAT") + 4;
    // The zlib stream with byte `at` flipped by `bits`, and the chunk's checksum made right again.
    const auto patched = [&](std::size_t at, unsigned bits) {
        std::string d = png;
        d[idat + at] = static_cast<char>(static_cast<unsigned char>(d[idat + at]) ^ bits);
        const std::size_t length = d.size() - idat - 12 - 4;  // IDAT data, before its checksum
        std::string chunk = d.substr(idat - 4, 4 + length);
        const std::uint32_t crc = crc32(chunk);
        std::string tail;
        append32be(tail, crc);
        d.replace(idat + length, 4, tail);
        return d;
    };
    const std::size_t adler = 7 + std::size_t{32} * (1 + 32 * 4);     // after the stored block
    add("png-zlib-junk", iconFile(32, 32, patched(0, 0x22)));         // 0x78 -> 0x5A
    add("png-zlib-check-wrong", iconFile(32, 32, patched(1, 0x02)));  // FCHECK off
    add("png-zlib-dictionary", iconFile(32, 32, patched(1, 0x21)));   // FDICT, FCHECK right
    add("png-deflate-reserved-block", iconFile(32, 32, patched(2, 0x06)));
    add("png-stored-length-mismatch", iconFile(32, 32, patched(5, 0x01)));
    add("png-adler-wrong", iconFile(32, 32, patched(adler, 0x01)));
    std::string allJunk = png;
    for (std::size_t i = idat; i < idat + 64; ++i) {
        allJunk[i] = static_cast<char>((i * 37) & 0xFF);
    }
    png = allJunk;
    add("png-data-not-zlib", iconFile(32, 32, patched(0, 0)));

    // PNG data compressed as an encoder compresses it (8 by 8 RGBA), and PNG layouts.
    const std::string fixedHuffman = fromHex("780163702000184686020002f74001");
    add("png-fixed-huffman", iconFile(8, 32, pngOf({8, 8}, {fixedHuffman})));
    add("png-dynamic-huffman",
        iconFile(8, 32,
                 pngOf({8, 8}, {fromHex("78da454e8b1500310c319afd977222d2eb275e9508e04581ae0186"
                                        "0084bd380e920f8f5d151980580d7e8ef362196f57699aa09f676a"
                                        "469416f0025e10d698667ac9ea5071f38dc99e3324681acf944937"
                                        "70f9c6183f725f3fce")})));
    add("png-interlaced",
        iconFile(8, 32,
                 pngOf({8, 8, 8, 6, 1}, {fromHex("78016370000206384180415f81015000004bfe4001")})));
    add("png-interlaced-rows-as-plain", iconFile(8, 32, pngOf({8, 8, 8, 6, 1}, {fixedHuffman})));
    add("png-idat-split",
        iconFile(8, 32, pngOf({8, 8}, {fixedHuffman.substr(0, 5), fixedHuffman.substr(5)})));
    add("png-idat-two-runs",
        iconFile(8, 32, pngOf({8, 8}, {fixedHuffman.substr(0, 5), "", fixedHuffman.substr(5)})));
    add("png-rows-short", iconFile(32, 32, pngOf({32, 32}, {storedZlib(pngRows(31, 128))})));
    add("png-filter-type-4", iconFile(32, 32, pngOf({32, 32}, {storedZlib(pngRows(32, 128, 4))})));
    add("png-filter-type-5", iconFile(32, 32, pngOf({32, 32}, {storedZlib(pngRows(32, 128, 5))})));
    const auto layout = [&](const std::string& name, const PngShape& shape,
                            std::uint32_t rowBytes) {
        add(name, iconFile(32, 32, pngOf(shape, {storedZlib(pngRows(32, rowBytes))})));
    };
    layout("png-grey-1bit", {32, 32, 1, 0}, 4);
    layout("png-grey-8bit", {32, 32, 8, 0}, 32);
    layout("png-grey-16bit", {32, 32, 16, 0}, 64);
    layout("png-rgb-8bit", {32, 32, 8, 2}, 96);
    layout("png-rgb-16bit", {32, 32, 16, 2}, 192);
    layout("png-rgb-4bit", {32, 32, 4, 2}, 48);
    layout("png-grey-alpha-8bit", {32, 32, 8, 4}, 64);
    layout("png-rgba-16bit", {32, 32, 16, 6}, 256);
    layout("png-colour-type-5", {32, 32, 8, 5}, 64);
    layout("png-palette-4bit", {32, 32, 4, 3, 0, std::string(48, '\x20')}, 16);
    layout("png-palette-missing", {32, 32, 4, 3}, 16);
    return files;
}

}  // namespace icon_corpus
