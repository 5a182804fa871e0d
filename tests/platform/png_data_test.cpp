// PNG image data as the stand-in takes it: zlib streams written bit by bit here, fixed and
// dynamic Huffman blocks among them, each known to be whole and right or broken in one place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "png_bytes.h"
#include "png_data.h"

namespace {

using standin::PngLayout;

// Deflate's bits go least significant first; a Huffman code goes most significant bit first.
class BitWriter {
  public:
    void bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            put((value >> i) & 1u);
        }
    }
    void code(std::uint32_t value, int length) {
        for (int i = length - 1; i >= 0; --i) {
            put((value >> i) & 1u);
        }
    }
    std::string bytes() const { return used_ == 0 ? out_ : out_ + static_cast<char>(current_); }

  private:
    void put(std::uint32_t bit) {
        current_ |= bit << used_;
        if (++used_ == 8) {
            out_ += static_cast<char>(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    std::string out_;
    std::uint32_t current_ = 0;
    int used_ = 0;
};

// The fixed code's literal and length symbols.
void fixedSymbol(BitWriter& w, std::uint32_t symbol) {
    if (symbol < 144) {
        w.code(0x30 + symbol, 8);
    } else if (symbol < 256) {
        w.code(0x190 + symbol - 144, 9);
    } else if (symbol < 280) {
        w.code(symbol - 256, 7);
    } else {
        w.code(0xC0 + symbol - 280, 8);
    }
}

using png_bytes::adler32;
using png_bytes::be32;

// A zlib stream: the usual header, `deflate`, and the checksum of `raw`.
std::string zlib(const std::string& deflate, const std::string& raw) {
    return "\x78\x01" + deflate + be32(adler32(raw));
}

std::string stored(const std::string& raw) {
    return png_bytes::storedBlock(raw);
}

// A fixed-code block: literal bytes, or {length, distance} pairs where `length` is 3 or 4.
struct Piece {
    int literal;  // -1: a back-reference
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
};
std::string fixedBlock(const std::vector<Piece>& pieces) {
    BitWriter w;
    w.bits(1, 1);  // last block
    w.bits(1, 2);  // fixed code
    for (const Piece& p : pieces) {
        if (p.literal >= 0) {
            fixedSymbol(w, static_cast<std::uint32_t>(p.literal));
        } else {
            fixedSymbol(w, 254 + p.length);  // 257: 3, 258: 4
            w.code(p.distance - 1, 5);       // distances 1 to 4 have no extra bits
        }
    }
    fixedSymbol(w, 256);
    return w.bytes();
}

// A dynamic block holding the literals `data`: literals 0 to 254 have 8-bit codes, 255 and the
// end 9-bit ones; `literals` and `distances` codes are declared (the extra ones unused, length
// 0, written with the repeat-zero symbols 17 and 18).
std::string dynamicBlock(const std::string& data, std::uint32_t literals = 271,
                         std::uint32_t distances = 5, bool incompleteDistances = false) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(literals - 257, 5);
    w.bits(distances - 1, 5);
    w.bits(18 - 4, 4);
    // The code-length code: 1, 8, 9 in 2 bits (00, 01, 10), 17 and 18 in 3 (110, 111), given
    // in the order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
    for (const std::uint32_t length :
         {0u, 3u, 3u, 0u, 2u, 0u, 2u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 2u}) {
        w.bits(length, 3);
    }
    for (int symbol = 0; symbol < 255; ++symbol) {
        w.code(1, 2);  // 8
    }
    w.code(2, 2);  // 9 for literal 255
    w.code(2, 2);  // 9 for the end
    const auto zeros = [&w](std::uint32_t count) {
        while (count > 0) {
            const std::uint32_t n = count >= 11 ? std::min(count, 138u) : std::min(count, 10u);
            if (n >= 11) {
                w.code(7, 3);  // 18
                w.bits(n - 11, 7);
            } else {
                w.code(6, 3);  // 17
                w.bits(n - 3, 3);
            }
            count -= n;
        }
    };
    zeros(literals - 257);
    w.code(0, 2);                            // distance 0: 1 bit
    w.code(incompleteDistances ? 1 : 0, 2);  // distance 1: 1 bit, or 8 (leaving codes unused)
    zeros(distances - 2);
    for (const char ch : data) {
        const auto symbol = static_cast<unsigned char>(ch);
        if (symbol < 255) {
            w.code(symbol, 8);
        } else {
            w.code(510, 9);
        }
    }
    w.code(511, 9);  // end
    return w.bytes();
}

// A dynamic block whose first code length is "repeat the previous one" (symbol 16).
std::string repeatFirst() {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(0, 5);
    w.bits(0, 5);
    w.bits(5 - 4, 4);
    for (const std::uint32_t length : {1u, 0u, 0u, 0u, 1u}) {  // 16 and 8, one bit each
        w.bits(length, 3);
    }
    w.code(1, 1);  // 16
    w.bits(0, 2);
    return w.bytes();
}

// The canonical codes deflate gives symbols of these code lengths (0: no code).
std::vector<std::uint32_t> canonicalCodes(const std::vector<std::uint32_t>& lengths) {
    std::vector<std::uint32_t> count(16);
    std::vector<std::uint32_t> next(16);
    std::vector<std::uint32_t> codes(lengths.size());
    for (const std::uint32_t length : lengths) {
        count[length] += length > 0 ? 1 : 0;
    }
    for (std::size_t bits = 1; bits < 16; ++bits) {
        next[bits] = (next[bits - 1] + count[bits - 1]) << 1;
    }
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        codes[symbol] = lengths[symbol] > 0 ? next[lengths[symbol]]++ : 0;
    }
    return codes;
}

// A dynamic block whose literal code runs to deflate's longest, 15 bits: literal n (0 to 13) has
// n + 1 bits, literal 14 and the end 15; two distance codes of 1 bit. Every code-length symbol has
// a code (symbols 0 to 5 of 5 bits, the rest of 4). `data` holds literals 0 to 14.
std::string longestCodesBlock(const std::string& data) {
    std::vector<std::uint32_t> literal(257, 0);
    for (std::uint32_t symbol = 0; symbol <= 14; ++symbol) {
        literal[symbol] = std::min(symbol + 1, 15u);
    }
    literal[256] = 15;
    std::vector<std::uint32_t> lengthCode(19, 4);
    std::fill(lengthCode.begin(), lengthCode.begin() + 6, 5U);
    const std::vector<std::uint32_t> lengthCodes = canonicalCodes(lengthCode);
    const std::vector<std::uint32_t> codes = canonicalCodes(literal);
    BitWriter w;
    w.bits(0b101, 3);   // the last block, a dynamic code
    w.bits(0, 5);       // 257 literal codes
    w.bits(1, 5);       // 2 distance codes
    w.bits(19 - 4, 4);  // every code-length symbol, in deflate's order
    for (const std::uint32_t symbol : std::initializer_list<std::uint32_t>{
             16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) {
        w.bits(lengthCode[symbol], 3);
    }
    // Literals 0 to 14; 241 without a code (138 + 103 zeros, symbol 18); the end; two distances.
    const std::uint32_t lengths[] = {1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                     11, 12, 13, 14, 15, 18, 18, 15, 1, 1};
    const std::uint32_t zeros[] = {138 - 11, 103 - 11};
    for (std::size_t i = 0, z = 0; i < std::size(lengths); ++i) {
        w.code(lengthCodes[lengths[i]], static_cast<int>(lengthCode[lengths[i]]));
        if (lengths[i] == 18) {
            w.bits(zeros[z++], 7);
        }
    }
    for (const char ch : data) {
        const auto symbol = static_cast<unsigned char>(ch);
        w.code(codes[symbol], static_cast<int>(literal[symbol]));
    }
    w.code(codes[256], 15);
    return w.bytes();
}

// `count` rows of `length` bytes, each a filter type 0 and pixels of 7.
std::string rows(std::size_t count, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += '\0' + std::string(length - 1, '\x07');
    }
    return out;
}

PngLayout grey8(std::uint32_t width, std::uint32_t height = 1, unsigned interlace = 0) {
    return {width, height, 8, 0, interlace};
}

TEST(StandinPngData, StreamsAndLayouts) {
    const std::string row = std::string("\0\1\2\2\2\2", 6);  // filter 0, then five pixels
    const std::string zeros(4, '\0');
    const std::string oneBit("\0\xFF\x80", 3);
    // Adam7's seven passes of a 3 by 3 image: 1 by 1, -, -, 1 by 1, 2 by 1, 1 by 2, 3 by 1; and of
    // a 5 by 5 one: 1 by 1, 1 by 1, 2 by 1, 1 by 2, 3 by 1, 2 by 3, 5 by 2.
    const std::string adam7of3 = rows(1, 2) + rows(1, 2) + rows(1, 3) + rows(2, 2) + rows(1, 4);
    const std::string adam7of5 =
        rows(1, 2) + rows(1, 2) + rows(1, 3) + rows(2, 2) + rows(1, 4) + rows(3, 3) + rows(2, 6);
    const struct {
        const char* name;
        PngLayout layout;
        std::string zlib;
        bool decodable;
    } cases[] = {
        {"stored", grey8(5), zlib(stored(row), row), true},
        {"stored, a byte too many", grey8(5), zlib(stored(row + '\2'), row + '\2'), false},
        {"stored, a row short", grey8(5, 2), zlib(stored(row), row), false},
        {"fixed code, a back-reference", grey8(5),
         zlib(fixedBlock({{0}, {1}, {2}, {-1, 3, 1}}), row), true},
        {"fixed code, distance past the start", grey8(3),
         zlib(fixedBlock({{0}, {-1, 3, 2}}), zeros), false},
        {"fixed code, length symbol 286", grey8(5),
         zlib(fixedBlock({{0}, {1}, {2}, {-1, 32, 1}}), row), false},
        {"dynamic code", grey8(5), zlib(dynamicBlock(row), row), true},
        {"dynamic code, byte 255", grey8(2),
         zlib(dynamicBlock(std::string("\0\xFF\x01", 3)), std::string("\0\xFF\x01", 3)), true},
        {"dynamic code, 287 literal codes", grey8(5), zlib(dynamicBlock(row, 287), row), false},
        {"dynamic code, 31 distance codes", grey8(5), zlib(dynamicBlock(row, 271, 31), row), false},
        {"dynamic code, 286 literal and 30 distance codes", grey8(5),
         zlib(dynamicBlock(row, 286, 30), row), true},
        {"repeat with nothing before", grey8(5), zlib(repeatFirst(), row), false},
        {"method 7", grey8(5), std::string{'\x77', '\x09'} + stored(row) + be32(adler32(row)),
         false},
        {"header check off by one", grey8(5), "\x78\x02" + stored(row) + be32(adler32(row)), false},
        {"preset dictionary", grey8(5),
         std::string{'\x78', '\x20'} + stored(row) + be32(adler32(row)), false},
        {"a byte after the last block", grey8(5),
         "\x78\x01" + stored(row) + '\0' + be32(adler32(row)), false},
        {"checksum wrong", grey8(5), "\x78\x01" + stored(row) + be32(adler32(row) + 1), false},
        {"filter type 4", grey8(1), zlib(stored("\4\7"), "\4\7"), true},
        {"filter type 5", grey8(1), zlib(stored("\5\7"), "\5\7"), false},
        {"1-bit rows round up", {9, 1, 1, 0, 0}, zlib(stored(oneBit), oneBit), true},
        {"16 bits a channel",
         {1, 1, 16, 0, 0},
         zlib(stored(zeros.substr(1)), zeros.substr(1)),
         false},
        {"a byte after the checksum", grey8(5), zlib(stored(row), row) + '\0', false},
        {"dynamic code, distance codes that leave codes unused", grey8(5),
         zlib(dynamicBlock(row, 271, 5, true), row), false},
        {"RGB, 16 bits a channel, rows as for 8",
         {1, 1, 16, 2, 0},
         zlib(stored(zeros), zeros),
         false},
        {"RGB, 8 bits a channel", {1, 1, 8, 2, 0}, zlib(stored(zeros), zeros), true},
        {"no width", {0, 1, 8, 0, 0}, zlib(stored(""), ""), false},
        {"no height", {1, 0, 8, 0, 0}, zlib(stored(""), ""), false},
        {"Adam7, 1 by 1", grey8(1, 1, 1), zlib(stored(rows(1, 2)), rows(1, 2)), true},
        {"Adam7, 3 by 3", grey8(3, 3, 1), zlib(stored(adam7of3), adam7of3), true},
        {"Adam7, 3 by 3 laid out plain", grey8(3, 3, 1), zlib(stored(rows(3, 4)), rows(3, 4)),
         false},
        {"Adam7, 5 by 5", grey8(5, 5, 1), zlib(stored(adam7of5), adam7of5), true},
        {"interlace method 2", grey8(1, 1, 2), zlib(stored(rows(1, 2)), rows(1, 2)), false},
        {"a window of 64 KiB", grey8(5),
         std::string{'\x88', '\x1C'} + stored(row) + be32(adler32(row)), false},
        {"codes of 14 and 15 bits", grey8(3),
         zlib(longestCodesBlock(std::string("\0\x0E\x0D\x0E", 4)),
              std::string("\0\x0E\x0D\x0E", 4)),
         true},
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.zlib.data());
        EXPECT_EQ(standin::isDecodablePngData(data, c.zlib.size(), c.layout), c.decodable)
            << c.name;
    }
}

}  // namespace
