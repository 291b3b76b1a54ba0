// Reads a fuzzer's input front to back; past the end every read is empty.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Done() const { return pos_ >= size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string Bytes(std::size_t n) { return std::string(View(n)); }
  // The next n bytes in place: valid while the input is.
  std::string_view View(std::size_t n) {
    n = std::min(n, size_ - pos_);
    const std::string_view s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }
  // One byte for short lengths, two for up to 4095.
  std::size_t Length() {
    const std::size_t first = Byte();
    return first < 0xF0 ? first : ((first - 0xF0) << 8 | Byte());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};
