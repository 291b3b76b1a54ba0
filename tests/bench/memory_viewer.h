// The fakes shared by the native and the Wine benchmarks: a viewer that
// answers from memory, real-looking GUIDs, and the obvious index that the
// plug-in's own is measured against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bridge/controller.h"
#include "bridge/guid_index_sort.h"
#include "tests/native/killer_adversary.h"

namespace bench {

using viewer_abi::ObjectId;

// Real-looking GUIDs: 22 characters of the IFC base64 alphabet.
inline std::vector<std::wstring> MakeGuids(std::size_t n) {
  static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  std::mt19937_64 random(42);
  std::vector<std::wstring> guids(n, std::wstring(22, L'0'));
  for (auto& g : guids) {
    for (auto& c : g) c = static_cast<wchar_t>(alphabet[random() % 64]);
  }
  return guids;
}

// GUIDs whose byte order is the order of the ranks given: the first ten
// characters spell rank * 2^60 / count in the alphabet's byte order, so
// comparisons end in the first eight bytes as with real GUIDs; the rest is
// random.
inline std::vector<std::wstring> GuidsOfRanks(const std::vector<std::size_t>& ranks) {
  static const char byteOrder[] = "$0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
  std::mt19937_64 random(43);
  const std::uint64_t step = (std::uint64_t{1} << 60) / std::max<std::size_t>(ranks.size(), 1);
  std::vector<std::wstring> guids;
  guids.reserve(ranks.size());
  for (const std::size_t rank : ranks) {
    std::wstring g(22, L'0');
    std::uint64_t spread = rank * step;
    for (std::size_t c = 10; c-- > 0; spread >>= 6) g[c] = static_cast<wchar_t>(byteOrder[spread & 63]);
    for (std::size_t c = 10; c < g.size(); ++c) g[c] = static_cast<wchar_t>(byteOrder[random() % 64]);
    guids.push_back(std::move(g));
  }
  return guids;
}

// n GUIDs in an order crafted against the index's own sort (the killer
// adversary run on it), or the same GUIDs shuffled.
inline std::vector<std::wstring> CraftedGuids(std::size_t n) {
  return GuidsOfRanks(test_support::KillerOrder(n, [](std::vector<std::size_t>& items, auto& compare) {
    bridge::BoundedQuickSort(items, 0, static_cast<std::ptrdiff_t>(items.size()) - 1,
                             bridge::SortDepthBound(items.size()), compare);
  }));
}

inline std::vector<std::wstring> ShuffledGuids(std::size_t n) {
  std::vector<std::size_t> ranks(n);
  for (std::size_t i = 0; i < n; ++i) ranks[i] = i;
  std::shuffle(ranks.begin(), ranks.end(), std::mt19937_64(44));
  return GuidsOfRanks(ranks);
}

// A viewer that answers from memory: object k carries guids[k]; the calls
// that change the view do nothing.
class MemoryViewer final : public host_api::ViewerStandIn {
 public:
  explicit MemoryViewer(std::vector<std::wstring> guids) : guids_(std::move(guids)) {}
  std::vector<ObjectId> selection;
  std::size_t selects = 0;

  static ObjectId IdOf(std::size_t k) { return (static_cast<ObjectId>(k) << 32) | (k + 1); }
  static std::size_t IndexOf(ObjectId id) { return static_cast<std::size_t>(id >> 32); }

  std::int32_t create_button(std::int32_t, std::int32_t, viewer_abi::Handler) override { return 1; }
  std::uint32_t get_all_objects(std::int32_t, ObjectId* buffer, std::uint32_t count) override {
    for (std::uint32_t i = 0; buffer && i < count; ++i) buffer[i] = IdOf(i);
    return static_cast<std::uint32_t>(guids_.size());
  }
  std::uint32_t get_selected(std::int32_t, ObjectId* buffer, std::uint32_t count) override {
    for (std::uint32_t i = 0; buffer && i < count; ++i) buffer[i] = selection[i];
    return static_cast<std::uint32_t>(selection.size());
  }
  std::uint32_t filter_properties(std::int32_t, const viewer_abi::PropertyFilter* filter,
                                  viewer_abi::PropertyRecord* buffer, std::uint32_t count) override {
    if (buffer && count > 0) buffer[0].value = guids_[IndexOf(filter->object)].c_str();
    return 1;
  }
  ObjectId get_all_objects_id(std::int32_t) override { return 0xFFFFFFFFFFull; }
  void select_many(std::int32_t, const ObjectId*, std::uint32_t, std::int32_t) override { ++selects; }
  bool load_ifc(std::int32_t, const wchar_t*) override { return true; }
  const wchar_t* get_loaded_ifc_path(std::int32_t) override { return L"model.ifc"; }

 private:
  std::vector<std::wstring> guids_;
};

inline std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

// The obvious index: the same viewer calls and conversions as the
// controller, pairs in a vector, std::sort by GUID text.
using BaselineIndex = std::vector<std::pair<std::string, ObjectId>>;

inline bool ByGuid(const BaselineIndex::value_type& a, const BaselineIndex::value_type& b) { return a.first < b.first; }

inline BaselineIndex BuildBaseline(host_api::Viewer& viewer, platform::Platform& system) {
  const std::uint32_t n = viewer.get_all_objects(0, nullptr, 0);
  std::vector<ObjectId> objects(n);
  viewer.get_all_objects(0, objects.data(), n);
  const std::wstring setName = system.ToWide(bridge::kGuidSetName);
  const std::wstring propertyName = system.ToWide(bridge::kGuidPropertyName);
  BaselineIndex index;
  index.reserve(n);
  std::vector<viewer_abi::PropertyRecord> records;
  for (const ObjectId object : objects) {
    const viewer_abi::PropertyFilter filter{object, setName.c_str(), propertyName.c_str()};
    records.assign(viewer.filter_properties(0, &filter, nullptr, 0), viewer_abi::PropertyRecord{});
    viewer.filter_properties(0, &filter, records.data(), static_cast<std::uint32_t>(records.size()));
    for (const auto& record : records) index.emplace_back(system.FromWide(record.value), object);
  }
  std::sort(index.begin(), index.end(), ByGuid);
  return index;
}

}  // namespace bench
