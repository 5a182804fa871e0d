#include <cstdint>

#include "win32_standin_icon_file.h"

namespace standin {
namespace {

std::uint32_t le16(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16);
}

}  // namespace

bool isWellFormedIconFile(const unsigned char* data, std::size_t size) {
    constexpr std::size_t kHeader = 6;
    constexpr std::size_t kEntry = 16;
    if (size < kHeader || le16(data) != 0 || le16(data + 2) != 1) {
        return false;
    }
    const std::size_t count = le16(data + 4);
    const std::size_t directoryEnd = kHeader + kEntry * count;
    if (count == 0 || directoryEnd > size) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = data + kHeader + kEntry * i;
        // 64-bit sums: a 32-bit offset plus a 32-bit length cannot wrap.
        const std::uint64_t bytes = le32(entry + 8);
        const std::uint64_t offset = le32(entry + 12);
        if (bytes == 0 || offset < directoryEnd || offset + bytes > size) {
            return false;
        }
    }
    return true;
}

}  // namespace standin
