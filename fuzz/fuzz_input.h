// Reads typed values off the front of a fuzzer's input; past the end everything reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    std::uint8_t byte() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }

    template <typename T>
    T integer() {
        T value{};
        const std::size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
        std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

    // A text of up to `max` arbitrary bytes (zero bytes included).
    std::string text(std::size_t max = 32) {
        std::size_t n = byte() % (max + 1);
        n = n < size_ ? n : size_;
        std::string s(reinterpret_cast<const char*>(data_), n);
        data_ += n;
        size_ -= n;
        return s;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};
