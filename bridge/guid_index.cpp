#include "bridge/guid_index.h"

#include <cstring>
#include <memory>

#include "bridge/guid_index_sort.h"

namespace bridge {

namespace {

// Eight bytes as a number whose order is the bytes' unsigned order.
std::uint64_t BigEndianWord(const std::uint8_t* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap64(word);
}

constexpr std::size_t kPointerAt = 0;
constexpr std::size_t kSizeAt = 8;
static_assert(sizeof(char*) <= kSizeAt - kPointerAt && kSizeAt + sizeof(std::size_t) <= GuidText::kInlineCapacity);

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

std::optional<GuidText> GuidText::FromAscii(const wchar_t* wide) {
  GuidText text;
  if (wide == nullptr) return text;
  // wchar_t is signed where it has 32 bits: as unsigned, nothing below 0 passes.
  const auto ascii = [](wchar_t letter) { return static_cast<std::uint32_t>(letter) < 0x80; };
  std::size_t size = 0;
  for (; size < kInlineCapacity && wide[size] != L'\0'; ++size) {
    if (!ascii(wide[size])) return std::nullopt;
    text.bytes_[size] = static_cast<std::uint8_t>(wide[size]);
  }
  if (wide[size] == L'\0') {
    text.bytes_[kTag] = static_cast<std::uint8_t>(size);
    return text;
  }
  std::string longer(text.bytes_.begin(), text.bytes_.begin() + static_cast<std::ptrdiff_t>(size));
  for (; wide[size] != L'\0'; ++size) {
    if (!ascii(wide[size])) return std::nullopt;
    longer += static_cast<char>(wide[size]);
  }
  return GuidText(longer);
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
    // Zero padding and the length in the last byte make the whole in-place
    // form compare as the text does.
    for (std::size_t at = 0; at < sizeof a.bytes_; at += 8) {
      const std::uint64_t x = BigEndianWord(a.bytes_.data() + at);
      const std::uint64_t y = BigEndianWord(b.bytes_.data() + at);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }
  const std::size_t sizeA = a.size();
  const std::size_t sizeB = b.size();
  const std::size_t common = sizeA < sizeB ? sizeA : sizeB;
  // memcmp compares as unsigned char, which is the order the index promises.
  const int bytes = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (bytes != 0) return bytes < 0 ? -1 : 1;
  if (sizeA == sizeB) return 0;
  return sizeA < sizeB ? -1 : 1;
}

bool BtGuidObjidList::Find(const BtGUIDObjIDItem& key, std::size_t& index) const {
  bool found = false;
  std::ptrdiff_t low = 0;
  std::ptrdiff_t high = static_cast<std::ptrdiff_t>(FItems.size()) - 1;
  while (low <= high) {
    const std::ptrdiff_t mid = low + (high - low) / 2;
    int cmp = Compare(FItems[static_cast<std::size_t>(mid)], key);
    if (!FAscending) cmp = -cmp;
    if (cmp < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (cmp == 0) {
        found = true;
        if (!FDuplicatesAccepted) low = mid;
      }
    }
  }
  index = static_cast<std::size_t>(low);
  return found;
}

void BtGuidObjidList::Clear() { std::vector<BtGUIDObjIDItem>().swap(FItems); }

void BtGuidObjidList::QuickSort(std::size_t low, std::size_t high) {
  // Indices are signed inside: a partition's j may step below low.
  BoundedQuickSort(FItems, static_cast<std::ptrdiff_t>(low), static_cast<std::ptrdiff_t>(high),
                   SortDepthBound(high - low + 1), Compare);
}

void BtGuidObjidList::Sort() {
  if (FItems.empty()) return;
  QuickSort(0, FItems.size() - 1);
}

}  // namespace bridge
