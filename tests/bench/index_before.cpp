// The index of before, as guid_index.cpp and guid_index_sort.h had it.
#include "tests/bench/index_before.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace bench::before {

namespace {

std::uint64_t BigEndianWord(const std::uint8_t* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap64(word);
}

constexpr std::size_t kPointerAt = 0;
constexpr std::size_t kSizeAt = 8;
constexpr std::ptrdiff_t kSmallRange = 16;

std::size_t SortDepthBound(std::size_t count) noexcept { return 3 * static_cast<std::size_t>(std::bit_width(count)); }

template <typename Item, typename Compare>
void BoundedQuickSort(std::vector<Item>& items, std::ptrdiff_t low, std::ptrdiff_t high, std::size_t depthLeft,
                      Compare& compare) {
  const auto at = [&items](std::ptrdiff_t index) -> Item& { return items[static_cast<std::size_t>(index)]; };
  Item pivot;
  while (low < high) {
    if (depthLeft == 0 && high - low >= kSmallRange) {
      const auto less = [&compare](const Item& a, const Item& b) { return compare(a, b) < 0; };
      std::make_heap(items.begin() + low, items.begin() + high + 1, less);
      std::sort_heap(items.begin() + low, items.begin() + high + 1, less);
      return;
    }
    if (depthLeft > 0) --depthLeft;
    std::ptrdiff_t i = low;
    std::ptrdiff_t j = high;
    pivot = at(low + (high - low) / 2);
    do {
      while (compare(at(i), pivot) < 0) ++i;
      while (compare(at(j), pivot) > 0) --j;
      if (i <= j) {
        using std::swap;
        swap(at(i), at(j));
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - low < high - i) {
      if (low < j) BoundedQuickSort(items, low, j, depthLeft, compare);
      low = i;
    } else {
      if (i < high) BoundedQuickSort(items, i, high, depthLeft, compare);
      high = j;
    }
  }
}

}  // namespace

GuidText::GuidText(std::string_view text) {
  if (text.size() <= kInlineCapacity) {
    if (!text.empty()) std::memcpy(bytes_.data(), text.data(), text.size());
    bytes_[kTag] = static_cast<std::uint8_t>(text.size());
    return;
  }
  char* heap = std::allocator<char>().allocate(text.size());
  std::memcpy(heap, text.data(), text.size());
  const std::size_t size = text.size();
  std::memcpy(bytes_.data() + kPointerAt, &heap, sizeof heap);
  std::memcpy(bytes_.data() + kSizeAt, &size, sizeof size);
  bytes_[kTag] = kHeapTag;
}

GuidText::GuidText(const GuidText& other) {
  if (other.OnHeap()) {
    *this = GuidText(other.view());
  } else {
    bytes_ = other.bytes_;
  }
}

GuidText& GuidText::operator=(const GuidText& other) {
  if (this == &other) return *this;
  if (OnHeap() || other.OnHeap()) return *this = GuidText(other);
  bytes_ = other.bytes_;
  return *this;
}

GuidText& GuidText::operator=(GuidText&& other) noexcept {
  if (this == &other) return *this;
  Release();
  bytes_ = other.bytes_;
  other.bytes_ = {};
  return *this;
}

std::string_view GuidText::view() const noexcept {
  if (OnHeap()) return {HeapData(), HeapSize()};
  return {reinterpret_cast<const char*>(bytes_.data()), bytes_[kTag]};
}

char* GuidText::HeapData() const noexcept {
  char* heap = nullptr;
  std::memcpy(&heap, bytes_.data() + kPointerAt, sizeof heap);
  return heap;
}

std::size_t GuidText::HeapSize() const noexcept {
  std::size_t size = 0;
  std::memcpy(&size, bytes_.data() + kSizeAt, sizeof size);
  return size;
}

void GuidText::Release() noexcept {
  if (!OnHeap()) return;
  std::allocator<char>().deallocate(HeapData(), HeapSize());
  bytes_ = {};
}

int GuidText::Compare(const GuidText& a, const GuidText& b) noexcept {
  if (!a.OnHeap() && !b.OnHeap()) {
    for (std::size_t at = 0; at < sizeof a.bytes_; at += 8) {
      const std::uint64_t x = BigEndianWord(a.bytes_.data() + at);
      const std::uint64_t y = BigEndianWord(b.bytes_.data() + at);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }
  const std::string_view x = a.view();
  const std::string_view y = b.view();
  const std::size_t common = std::min(x.size(), y.size());
  const int bytes = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
  if (bytes != 0) return bytes < 0 ? -1 : 1;
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

void BtGuidObjidList::Sort() {
  if (FItems.empty()) return;
  const std::size_t high = FItems.size() - 1;
  BoundedQuickSort(FItems, 0, static_cast<std::ptrdiff_t>(high), SortDepthBound(high + 1), Compare);
}

}  // namespace bench::before
