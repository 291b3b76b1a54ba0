// The GUID index: (GUID text, object id) pairs sorted by GUID text and
// searched by binary search.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host_api/viewer_abi.h"

namespace bridge {

using viewer_abi::ObjectId;

// An 8-bit text that keeps up to 23 bytes inside itself, so a 22-character
// IFC GUID costs no heap block (std::string holds only 15 in place); longer
// texts go to the heap. In place, the unused bytes are zero and the last
// byte is the length: the 24 bytes then compare like the text itself, byte
// by byte with the shorter prefix first.
class GuidText {
 public:
  static constexpr std::size_t kInlineCapacity = 23;

  GuidText() noexcept = default;
  explicit GuidText(std::string_view text);
  GuidText(const GuidText& other);
  GuidText(GuidText&& other) noexcept : bytes_(other.bytes_) { other.bytes_ = {}; }
  GuidText& operator=(const GuidText& other);
  GuidText& operator=(GuidText&& other) noexcept;
  GuidText& operator=(std::string_view text) { return *this = GuidText(text); }
  ~GuidText() { Release(); }

  // A NUL-terminated UTF-16 text whose letters are all ASCII, taken without
  // the system's conversion: every ANSI code page spells ASCII in the same
  // bytes. Empty for no text; nullopt when a letter is not ASCII.
  static std::optional<GuidText> FromAscii(const wchar_t* wide);

  const char* data() const noexcept { return OnHeap() ? HeapData() : reinterpret_cast<const char*>(bytes_.data()); }
  std::size_t size() const noexcept { return OnHeap() ? HeapSize() : bytes_[kTag]; }
  bool empty() const noexcept { return size() == 0; }
  std::string_view view() const noexcept { return {data(), size()}; }
  operator std::string_view() const noexcept { return view(); }
  operator std::string() const { return std::string(view()); }

  // The first eight bytes, zero-padded, as a number: texts in this order
  // are in the order of Compare, which decides between equal prefixes.
  std::uint64_t Prefix() const noexcept {
    return BigEndianWord(OnHeap() ? reinterpret_cast<const std::uint8_t*>(HeapData()) : bytes_.data());
  }

  // -1, 0 or 1, byte-wise unsigned, a text before every longer text that
  // begins with it. Inline: the sort's loops run little else.
  static int Compare(const GuidText& a, const GuidText& b) noexcept {
    if (a.OnHeap() || b.OnHeap()) return CompareBytes(a, b);
    // Zero padding and the length in the last byte make the whole in-place
    // form compare as the text does.
    for (std::size_t at = 0; at < sizeof a.bytes_; at += 8) {
      const std::uint64_t x = BigEndianWord(a.bytes_.data() + at);
      const std::uint64_t y = BigEndianWord(b.bytes_.data() + at);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }

  friend bool operator==(const GuidText& a, const GuidText& b) noexcept { return Compare(a, b) == 0; }
  friend std::strong_ordering operator<=>(const GuidText& a, const GuidText& b) noexcept { return Compare(a, b) <=> 0; }
  friend bool operator==(const GuidText& a, std::string_view b) noexcept { return a.view() == b; }
  friend std::strong_ordering operator<=>(const GuidText& a, std::string_view b) noexcept { return a.view() <=> b; }
  // Whole-block copies: std::array's swap goes byte by byte.
  friend void swap(GuidText& a, GuidText& b) noexcept {
    const auto bytes = a.bytes_;
    a.bytes_ = b.bytes_;
    b.bytes_ = bytes;
  }

 private:
  static constexpr std::size_t kTag = kInlineCapacity;
  static constexpr std::uint8_t kHeapTag = 0xFF;

  // Eight bytes as a number whose order is the bytes' unsigned order.
  static std::uint64_t BigEndianWord(const std::uint8_t* bytes) noexcept {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return __builtin_bswap64(word);
  }
  static int CompareBytes(const GuidText& a, const GuidText& b) noexcept;

  bool OnHeap() const noexcept { return bytes_[kTag] == kHeapTag; }
  char* HeapData() const noexcept;
  std::size_t HeapSize() const noexcept;
  void Release() noexcept;

  alignas(8) std::array<std::uint8_t, kInlineCapacity + 1> bytes_{};
};

struct BtGUIDObjIDItem {
  BtGUIDObjIDItem() = default;
  BtGUIDObjIDItem(std::string_view guid, ObjectId objectId) : FGuid(guid), FObjectId(objectId) {}
  BtGUIDObjIDItem(GuidText&& guid, ObjectId objectId) : FGuid(std::move(guid)), FObjectId(objectId) {}

  friend void swap(BtGUIDObjIDItem& a, BtGUIDObjIDItem& b) noexcept {
    swap(a.FGuid, b.FGuid);
    std::swap(a.FObjectId, b.FObjectId);
  }

  GuidText FGuid;
  ObjectId FObjectId = 0;
};

class BtGuidObjidList {
 public:
  // Byte-wise unsigned comparison of the GUID texts: -1, 0 or 1; a text
  // sorts before every longer text that begins with it.
  static int Compare(const BtGUIDObjIDItem& a, const BtGUIDObjIDItem& b) noexcept {
    return GuidText::Compare(a.FGuid, b.FGuid);
  }

  // On a hit, index is the lowest position holding the key's GUID text; on a
  // miss, the position where the key would be inserted.
  bool Find(const BtGUIDObjIDItem& key, std::size_t& index) const;

  // The item at a position; throws std::out_of_range past the end.
  const BtGUIDObjIDItem& GetItem(std::size_t index) const { return FItems.at(index); }

  void Add(BtGUIDObjIDItem item) { FItems.push_back(std::move(item)); }
  void Add(std::string_view guid, ObjectId objectId) { FItems.emplace_back(guid, objectId); }
  void Add(GuidText&& guid, ObjectId objectId) { FItems.emplace_back(std::move(guid), objectId); }
  void Clear();
  void Reserve(std::size_t count) { FItems.reserve(count); }
  std::size_t Count() const { return FItems.size(); }

  // Hoare-partition quicksort with the middle item as pivot, finished by
  // heap sort where it goes too deep (guid_index_sort.h); not stable.
  void QuickSort(std::size_t low, std::size_t high);
  void Sort();

 private:
  static constexpr bool FAscending = true;
  // Several items may carry one GUID; Find reports the first of them.
  static constexpr bool FDuplicatesAccepted = true;

  std::vector<BtGUIDObjIDItem> FItems;
};

}  // namespace bridge
