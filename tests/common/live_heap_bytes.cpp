#include "live_heap_bytes.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> g_liveBytes{0};
// Each block carries its size in front, so a plain delete can subtract it.
constexpr std::size_t kHeader = alignof(std::max_align_t);

}  // namespace

long long liveHeapBytes() {
    return g_liveBytes.load();
}

void* operator new(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    g_liveBytes += static_cast<long long>(size);
    return block + kHeader;
}
void operator delete(void* p) noexcept {
    if (p != nullptr) {
        auto* block = static_cast<unsigned char*>(p) - kHeader;
        g_liveBytes -= static_cast<long long>(*reinterpret_cast<std::size_t*>(block));
        std::free(block);
    }
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
