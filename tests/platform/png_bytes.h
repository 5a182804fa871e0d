// The pieces of PNG files the stand-in's tests build: big-endian words, the checksums, chunks, and
// zlib streams of one stored (uncompressed) deflate block.
#pragma once

#include <cstdint>
#include <string>

namespace png_bytes {

inline std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>((v >> 16) & 0xFF),
            static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

inline std::uint32_t crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline std::uint32_t adler32(const std::string& raw) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char ch : raw) {
        a = (a + static_cast<unsigned char>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// A chunk: its length, type, data and checksum.
inline std::string chunk(const std::string& type, const std::string& data) {
    return be32(static_cast<std::uint32_t>(data.size())) + type + data + be32(crc32(type + data));
}

// `raw` as the last deflate block, stored (at most 65535 bytes).
inline std::string storedBlock(const std::string& raw) {
    const auto n = static_cast<std::uint32_t>(raw.size());
    return std::string{'\x01', static_cast<char>(n & 0xFF), static_cast<char>(n >> 8),
                       static_cast<char>(~n & 0xFF), static_cast<char>((~n >> 8) & 0xFF)} +
           raw;
}

// `raw` as a zlib stream of one stored block.
inline std::string storedZlib(const std::string& raw) {
    return "\x78\x01" + storedBlock(raw) + be32(adler32(raw));
}

}  // namespace png_bytes
