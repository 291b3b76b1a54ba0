// The GUID index as it was before its build took ASCII texts as they are,
// its sort had the comparison inline and a deep range of distinct GUIDs was
// sorted by keys: a copy, compiled in a file of its own as the index was,
// so that the Wine benchmark times both in one run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/controller.h"

namespace bench::before {

using viewer_abi::ObjectId;

// Up to 23 bytes in place, zero-padded, the length in the last byte.
class GuidText {
 public:
  static constexpr std::size_t kInlineCapacity = 23;

  GuidText() noexcept = default;
  explicit GuidText(std::string_view text);
  GuidText(const GuidText& other);
  GuidText(GuidText&& other) noexcept : bytes_(other.bytes_) { other.bytes_ = {}; }
  GuidText& operator=(const GuidText& other);
  GuidText& operator=(GuidText&& other) noexcept;
  ~GuidText() { Release(); }

  std::string_view view() const noexcept;
  static int Compare(const GuidText& a, const GuidText& b) noexcept;
  friend void swap(GuidText& a, GuidText& b) noexcept {
    const auto bytes = a.bytes_;
    a.bytes_ = b.bytes_;
    b.bytes_ = bytes;
  }

 private:
  static constexpr std::size_t kTag = kInlineCapacity;
  static constexpr std::uint8_t kHeapTag = 0xFF;

  bool OnHeap() const noexcept { return bytes_[kTag] == kHeapTag; }
  char* HeapData() const noexcept;
  std::size_t HeapSize() const noexcept;
  void Release() noexcept;

  alignas(8) std::array<std::uint8_t, kInlineCapacity + 1> bytes_{};
};

struct BtGUIDObjIDItem {
  BtGUIDObjIDItem() = default;
  BtGUIDObjIDItem(std::string_view guid, ObjectId objectId) : FGuid(guid), FObjectId(objectId) {}

  friend void swap(BtGUIDObjIDItem& a, BtGUIDObjIDItem& b) noexcept {
    swap(a.FGuid, b.FGuid);
    std::swap(a.FObjectId, b.FObjectId);
  }

  GuidText FGuid;
  ObjectId FObjectId = 0;
};

class BtGuidObjidList {
 public:
  static int Compare(const BtGUIDObjIDItem& a, const BtGUIDObjIDItem& b) noexcept {
    return GuidText::Compare(a.FGuid, b.FGuid);
  }
  const BtGUIDObjIDItem& GetItem(std::size_t index) const { return FItems.at(index); }
  void Add(std::string_view guid, ObjectId objectId) { FItems.emplace_back(guid, objectId); }
  void Clear() { std::vector<BtGUIDObjIDItem>().swap(FItems); }
  void Reserve(std::size_t count) { FItems.reserve(count); }
  std::size_t Count() const { return FItems.size(); }
  void Sort();

 private:
  std::vector<BtGUIDObjIDItem> FItems;
};

// The controller's build of before: the viewer calls through a
// StoppableViewer, every value text through Platform::FromWide (in the
// 32-bit build two WideCharToMultiByte calls and a heap block for the
// std::string), then Add and Sort.
inline void BuildGuidIndex(host_api::Viewer& host, platform::Platform& system, BtGuidObjidList& index) {
  bridge::StoppableViewer viewer(host);
  system.RunContained([&] {
    index.Clear();
    const std::uint32_t n = viewer.get_all_objects(0, nullptr, 0);
    std::vector<ObjectId> objects(n);
    viewer.get_all_objects(0, objects.data(), n);
    const std::wstring setName = system.ToWide(bridge::kGuidSetName);
    const std::wstring propertyName = system.ToWide(bridge::kGuidPropertyName);
    index.Reserve(n);
    std::vector<viewer_abi::PropertyRecord> records;
    for (const ObjectId object : objects) {
      const viewer_abi::PropertyFilter filter{object, setName.c_str(), propertyName.c_str()};
      const std::uint32_t count = viewer.filter_properties(0, &filter, nullptr, 0);
      records.assign(count, viewer_abi::PropertyRecord{});
      if (count == 0) continue;
      viewer.filter_properties(0, &filter, records.data(), count);
      for (const auto& record : records)
        index.Add(record.value ? system.FromWide(record.value) : std::string(), object);
    }
    index.Sort();
  });
}

}  // namespace bench::before
