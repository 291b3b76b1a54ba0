#include "bridge/guid_index.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <memory_resource>
#include <new>

#include "bridge/guid_index_sort.h"

namespace bridge {

namespace {

// One item of a range being sorted: its GUID's prefix in two halves (12
// bytes in all, where a 64-bit number would pad the record to 16 in the
// 32-bit build) and its position in the range.
struct SortKey {
  std::uint32_t high;
  std::uint32_t low;
  std::uint32_t at;
};

// A range that the quicksort hands to heap sort ends in the one ascending
// order whenever no two of its GUIDs are equal, however it is sorted. Then
// its keys are sorted and the items moved into place once: heap sorting
// 32-byte items misses the cache at nearly every step of a large range,
// which made an order crafted against the quicksort cost twice a shuffled
// one. Equal GUIDs, whose order heap sort decides, or no memory for the
// keys, leave the range to heap sort.
template <typename Compare>
void FinishDeepRange(std::vector<BtGUIDObjIDItem>& items, std::ptrdiff_t low, std::ptrdiff_t high, Compare& compare) {
  BtGUIDObjIDItem* const range = items.data() + low;
  const auto count = static_cast<std::size_t>(high - low + 1);
  // From the default memory resource, which a test can make run out.
  std::pmr::vector<SortKey> keys;
  try {
    keys.resize(count);
  } catch (const std::bad_alloc&) {
    HeapSortRange(items, low, high, compare);
    return;
  }
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint64_t prefix = range[k].FGuid.Prefix();
    keys[k] = {static_cast<std::uint32_t>(prefix >> 32), static_cast<std::uint32_t>(prefix),
               static_cast<std::uint32_t>(k)};
  }
  const auto order = [range, &compare](const SortKey& a, const SortKey& b) {
    if (a.high != b.high) return a.high < b.high ? -1 : 1;
    if (a.low != b.low) return a.low < b.low ? -1 : 1;
    return compare(range[a.at], range[b.at]);
  };
  std::sort(keys.begin(), keys.end(), [&order](const SortKey& a, const SortKey& b) { return order(a, b) < 0; });
  for (std::size_t k = 1; k < count; ++k) {
    if (order(keys[k - 1], keys[k]) == 0) {
      HeapSortRange(items, low, high, compare);
      return;
    }
  }
  // Position k takes the item at keys[k].at; each cycle of the permutation
  // is walked once, with one item carried.
  for (std::size_t k = 0; k < count; ++k) {
    if (keys[k].at == k) continue;
    BtGUIDObjIDItem carried = std::move(range[k]);
    std::size_t to = k;
    while (keys[to].at != k) {
      const std::size_t from = keys[to].at;
      range[to] = std::move(range[from]);
      keys[to].at = static_cast<std::uint32_t>(to);
      to = from;
    }
    range[to] = std::move(carried);
    keys[to].at = static_cast<std::uint32_t>(to);
  }
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

int GuidText::CompareBytes(const GuidText& a, const GuidText& b) noexcept {
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
  // A lambda, where the function itself would reach the sort as a pointer
  // that its loops call.
  const auto compare = [](const BtGUIDObjIDItem& a, const BtGUIDObjIDItem& b) noexcept { return Compare(a, b); };
  const auto finish = [this, &compare](std::ptrdiff_t from, std::ptrdiff_t to) {
    FinishDeepRange(FItems, from, to, compare);
  };
  // Indices are signed inside: a partition's j may step below low.
  BoundedQuickSort(FItems, static_cast<std::ptrdiff_t>(low), static_cast<std::ptrdiff_t>(high),
                   SortDepthBound(high - low + 1), compare, finish);
}

void BtGuidObjidList::Sort() {
  if (FItems.empty()) return;
  QuickSort(0, FItems.size() - 1);
}

}  // namespace bridge
