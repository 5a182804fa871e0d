#include "png_data.h"

#include <algorithm>
#include <array>
#include <vector>

namespace standin {
namespace {

// Larger images are refused rather than inflated (the stand-in may be stricter than Windows).
constexpr std::uint64_t kMaxInflatedBytes = std::uint64_t{256} << 20;
constexpr std::size_t kWindow = 32768;

// Deflate's bit stream: least significant bit first.
struct Bits {
    const unsigned char* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint32_t buffer = 0;
    int count = 0;
    bool failed = false;

    // The next `n` bits (at most 16); 0 and `failed` past the end.
    std::uint32_t take(int n) {
        while (count < n) {
            if (at == size) {
                failed = true;
                return 0;
            }
            buffer |= std::uint32_t{data[at++]} << count;
            count += 8;
        }
        const std::uint32_t value = buffer & ((1u << n) - 1);
        buffer >>= n;
        count -= n;
        return value;
    }
    // Drops the rest of the current byte (fewer than 8 bits are ever held).
    void toByteBoundary() {
        buffer = 0;
        count = 0;
    }
};

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Huffman {
    std::array<std::uint16_t, 16> count{};
    std::array<std::uint16_t, 320> symbol{};
};

// Builds the code for `lengths`. An over-subscribed set is refused; so is an incomplete one,
// except a set of no codes or of one one-bit code (a block may have no or one distance).
bool build(Huffman& h, const std::uint8_t* lengths, int n, bool mustBeComplete) {
    h.count.fill(0);
    for (int i = 0; i < n; ++i) {
        ++h.count[lengths[i]];
    }
    const int used = n - h.count[0];
    int left = 1;
    for (std::size_t length = 1; length < 16; ++length) {
        left = 2 * left - h.count[length];
        if (left < 0) {
            return false;
        }
    }
    std::array<std::uint16_t, 16> offset{};
    for (std::size_t length = 1; length < 15; ++length) {
        offset[length + 1] = static_cast<std::uint16_t>(offset[length] + h.count[length]);
    }
    for (int i = 0; i < n; ++i) {
        if (lengths[i] != 0) {
            h.symbol[offset[lengths[i]]++] = static_cast<std::uint16_t>(i);
        }
    }
    if (left == 0) {
        return true;
    }
    return !mustBeComplete && (used == 0 || (used == 1 && h.count[1] == 1));
}

// The next symbol, or -1 for a code the set does not have or the end of the data.
int decode(Bits& in, const Huffman& h) {
    int code = 0;
    int first = 0;
    int index = 0;
    for (std::size_t length = 1; length < 16; ++length) {
        code |= static_cast<int>(in.take(1));
        if (in.failed) {
            return -1;
        }
        const int count = h.count[length];
        if (code - first < count) {
            return h.symbol[static_cast<std::size_t>(index + code - first)];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// Takes the inflated bytes without keeping them: checks them against the rows they must form and
// keeps the last 32 KiB for back-references, and the Adler-32 checksum.
class Rows {
  public:
    // `passes`: the row count and the row length (filter byte included) of each non-empty pass.
    explicit Rows(std::vector<std::pair<std::uint64_t, std::uint64_t>> passes)
        : passes_(std::move(passes)) {
        for (const auto& [rows, length] : passes_) {
            expected_ += rows * length;
        }
    }
    std::uint64_t expected() const { return expected_; }
    bool complete() const { return produced_ == expected_; }
    std::uint32_t adler() const { return (b_ << 16) | a_; }

    bool put(unsigned char byte) {
        if (produced_ == expected_) {
            return false;  // more data than the rows hold
        }
        const auto& [rows, length] = passes_[pass_];
        if (inRow_ == 0 && byte > 4) {
            return false;  // no such filter type
        }
        if (++inRow_ == length) {
            inRow_ = 0;
            if (++row_ == rows) {
                row_ = 0;
                ++pass_;
            }
        }
        window_[produced_ % kWindow] = byte;
        ++produced_;
        a_ = (a_ + byte) % 65521;
        b_ = (b_ + a_) % 65521;
        return true;
    }
    bool copy(std::uint64_t distance, std::uint64_t length) {
        if (distance > produced_) {
            return false;
        }
        for (std::uint64_t i = 0; i < length; ++i) {
            if (!put(window_[(produced_ - distance) % kWindow])) {
                return false;
            }
        }
        return true;
    }

  private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> passes_;
    std::uint64_t expected_ = 0;
    std::uint64_t produced_ = 0;
    std::size_t pass_ = 0;
    std::uint64_t row_ = 0;
    std::uint64_t inRow_ = 0;
    std::vector<unsigned char> window_ = std::vector<unsigned char>(kWindow);
    std::uint32_t a_ = 1;
    std::uint32_t b_ = 0;
};

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool inflateCodes(Bits& in, Rows& out, const Huffman& lengths, const Huffman& distances) {
    for (;;) {
        int symbol = decode(in, lengths);
        if (symbol < 0) {
            return false;
        }
        if (symbol < 256) {
            if (!out.put(static_cast<unsigned char>(symbol))) {
                return false;
            }
            continue;
        }
        if (symbol == 256) {
            return true;
        }
        const auto index = static_cast<std::size_t>(symbol - 257);
        if (index >= kLengthBase.size()) {
            return false;
        }
        const std::uint64_t length = kLengthBase[index] + in.take(kLengthExtra[index]);
        symbol = decode(in, distances);
        if (symbol < 0 || static_cast<std::size_t>(symbol) >= kDistanceBase.size()) {
            return false;
        }
        const auto d = static_cast<std::size_t>(symbol);
        const std::uint64_t distance = kDistanceBase[d] + in.take(kDistanceExtra[d]);
        if (in.failed || !out.copy(distance, length)) {
            return false;
        }
    }
}

bool inflateStored(Bits& in, Rows& out) {
    in.toByteBoundary();
    const std::uint32_t length = in.take(16);
    const std::uint32_t complement = in.take(16);
    if (in.failed || length != (~complement & 0xFFFF)) {
        return false;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(in.take(8));
        if (in.failed || !out.put(byte)) {
            return false;
        }
    }
    return true;
}

bool inflateFixed(Bits& in, Rows& out) {
    std::array<std::uint8_t, 318> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    std::fill(lengths.begin() + 280, lengths.begin() + 288, 8);
    std::fill(lengths.begin() + 288, lengths.end(), 5);
    Huffman literal;
    Huffman distance;
    build(literal, lengths.data(), 288, false);
    build(distance, lengths.data() + 288, 30, false);
    return inflateCodes(in, out, literal, distance);
}

bool inflateDynamic(Bits& in, Rows& out) {
    const int literals = static_cast<int>(in.take(5)) + 257;
    const int distances = static_cast<int>(in.take(5)) + 1;
    const int codeLengths = static_cast<int>(in.take(4)) + 4;
    if (in.failed || literals > 286 || distances > 30) {
        return false;
    }
    constexpr std::array<std::uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<std::uint8_t, 320> lengths{};
    for (std::size_t i = 0; i < static_cast<std::size_t>(codeLengths); ++i) {
        lengths[kOrder[i]] = static_cast<std::uint8_t>(in.take(3));
    }
    Huffman code;
    if (in.failed || !build(code, lengths.data(), 19, true)) {
        return false;
    }
    const auto total = static_cast<std::size_t>(literals) + static_cast<std::size_t>(distances);
    std::size_t index = 0;
    while (index < total) {
        const int symbol = decode(in, code);
        if (symbol < 0) {
            return false;
        }
        if (symbol < 16) {
            lengths[index++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        std::uint8_t repeated = 0;
        std::size_t times = 0;
        if (symbol == 16) {
            if (index == 0) {
                return false;  // nothing to repeat
            }
            repeated = lengths[index - 1];
            times = 3 + in.take(2);
        } else if (symbol == 17) {
            times = 3 + in.take(3);
        } else {
            times = 11 + in.take(7);
        }
        if (in.failed || index + times > total) {
            return false;
        }
        std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(index), times, repeated);
        index += times;
    }
    if (lengths[256] == 0) {
        return false;  // no end-of-block code
    }
    Huffman literal;
    Huffman distance;
    return build(literal, lengths.data(), literals, false) &&
           build(distance, lengths.data() + literals, distances, false) &&
           inflateCodes(in, out, literal, distance);
}

// Bits per pixel of a colour type and bit depth PNG allows and the platform's decoder takes; 0
// for any other pair. Wine 8 refuses 16 bits a channel, and so does the stand-in.
std::uint64_t bitsPerPixel(unsigned colourType, unsigned bitDepth) {
    const bool upTo8 = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    switch (colourType) {
        case 0:  // grey
        case 3:  // palette
            return upTo8 ? bitDepth : 0;
        case 2:  // RGB
            return bitDepth == 8 ? 24 : 0;
        case 4:  // grey and alpha
            return bitDepth == 8 ? 16 : 0;
        case 6:  // RGBA
            return bitDepth == 8 ? 32 : 0;
        default:
            return 0;
    }
}

// The row count and row length (filter byte included) of each non-empty pass.
std::vector<std::pair<std::uint64_t, std::uint64_t>> passesOf(const PngLayout& layout,
                                                              std::uint64_t bits) {
    struct Pass {
        std::uint64_t x, y, dx, dy;
    };
    static constexpr Pass kWhole[] = {{0, 0, 1, 1}};
    static constexpr Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::vector<std::pair<std::uint64_t, std::uint64_t>> passes;
    const auto add = [&](const Pass& p) {
        const std::uint64_t w = layout.width > p.x ? (layout.width - p.x + p.dx - 1) / p.dx : 0;
        const std::uint64_t h = layout.height > p.y ? (layout.height - p.y + p.dy - 1) / p.dy : 0;
        if (w != 0 && h != 0) {
            passes.emplace_back(h, 1 + (w * bits + 7) / 8);
        }
    };
    if (layout.interlace == 0) {
        add(kWhole[0]);
    } else {
        std::for_each(std::begin(kAdam7), std::end(kAdam7), add);
    }
    return passes;
}

}  // namespace

bool isDecodablePngData(const unsigned char* zlib, std::size_t size, const PngLayout& layout) {
    const std::uint64_t bits = bitsPerPixel(layout.colourType, layout.bitDepth);
    if (bits == 0 || layout.width == 0 || layout.height == 0 || layout.interlace > 1) {
        return false;
    }
    Rows rows(passesOf(layout, bits));
    if (rows.expected() > kMaxInflatedBytes) {
        return false;
    }
    // The zlib header: deflate with a window of at most 32 KiB, no preset dictionary.
    if (size < 6 || (zlib[0] & 0x0F) != 8 || (zlib[0] >> 4) > 7 || (zlib[1] & 0x20) != 0 ||
        (zlib[0] * 256u + zlib[1]) % 31 != 0) {
        return false;
    }
    Bits in{zlib + 2, size - 6};
    for (bool last = false; !last;) {
        last = in.take(1) == 1;
        const std::uint32_t type = in.take(2);
        const bool ok = !in.failed && (type == 0   ? inflateStored(in, rows)
                                       : type == 1 ? inflateFixed(in, rows)
                                       : type == 2 ? inflateDynamic(in, rows)
                                                   : false);
        if (!ok) {
            return false;
        }
    }
    // The checksum follows the last block, from the next whole byte, and ends the data.
    const unsigned char* adler = zlib + 2 + in.at;
    const std::uint32_t stated = (std::uint32_t{adler[0]} << 24) | (std::uint32_t{adler[1]} << 16) |
                                 (std::uint32_t{adler[2]} << 8) | adler[3];
    return in.at == in.size && rows.complete() && stated == rows.adler();
}

}  // namespace standin
