// The GUID index on fuzzed GUID texts: the sort order, the items that survive
// it, and Find on present and absent keys, all against the standard library.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bridge/guid_index.h"
#include "fuzz_input.h"
#include "reference_models.h"

namespace {

bool ByteLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

// A GUID text: fresh bytes, a copy of an earlier text, or a prefix of one,
// so that duplicates and texts that begin with others are common. Lengths
// reach past what an item keeps in place.
std::string NextGuid(FuzzInput& in, const std::vector<std::string>& earlier) {
  const std::uint8_t op = in.Byte();
  if (earlier.empty() || op % 4 < 2) return in.Bytes((op >> 2) % 40);
  const std::string& other = earlier[in.Byte() % earlier.size()];
  if (op % 4 == 2) return other;
  return other.substr(0, in.Byte() % (other.size() + 1));
}

void CheckFind(const bridge::BtGuidObjidList& list, const std::vector<std::string>& sorted, const std::string& probe) {
  const auto at = std::lower_bound(sorted.begin(), sorted.end(), probe, ByteLess);
  const bool present = at != sorted.end() && *at == probe;
  std::size_t index = 0xDEADBEEF;
  const bool found = list.Find(bridge::BtGUIDObjIDItem(probe, 0), index);
  FUZZ_CHECK(found == present);
  FUZZ_CHECK(index == static_cast<std::size_t>(at - sorted.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::vector<std::string> guids;
  bridge::BtGuidObjidList list;
  std::vector<std::pair<std::string, bridge::ObjectId>> added;
  while (!in.Done() && guids.size() < 4096) {
    guids.push_back(NextGuid(in, guids));
    // Ids are unique so that each item can be followed through the sort.
    const bridge::ObjectId id = 0x9000000000000000ull + guids.size();
    list.Add(bridge::BtGUIDObjIDItem(guids.back(), id));
    added.emplace_back(guids.back(), id);
  }
  // Copies of the list, taken before and after sorting, must not share or
  // lose texts: the unsorted copy sorts to the same order.
  bridge::BtGuidObjidList unsorted = list;
  list.Sort();
  FUZZ_CHECK(list.Count() == added.size());
  unsorted.Sort();
  bridge::BtGuidObjidList copy;
  copy = unsorted;
  unsorted.Clear();
  FUZZ_CHECK(copy.Count() == list.Count());
  for (std::size_t i = 0; i < copy.Count(); ++i) FUZZ_CHECK(copy.GetItem(i).FGuid == list.GetItem(i).FGuid);

  std::vector<std::pair<std::string, bridge::ObjectId>> items;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    items.emplace_back(list.GetItem(i).FGuid, list.GetItem(i).FObjectId);
  }
  std::vector<std::string> sorted = guids;
  std::sort(sorted.begin(), sorted.end(), ByteLess);
  for (std::size_t i = 0; i < items.size(); ++i) {
    FUZZ_CHECK(items[i].first == sorted[i]);
    if (i > 0) {
      const int cmp = bridge::BtGuidObjidList::Compare(list.GetItem(i - 1), list.GetItem(i));
      FUZZ_CHECK(cmp == (ByteLess(items[i - 1].first, items[i].first) ? -1 : 0));
      FUZZ_CHECK(bridge::BtGuidObjidList::Compare(list.GetItem(i), list.GetItem(i - 1)) == -cmp);
    }
  }
  std::sort(items.begin(), items.end());
  std::sort(added.begin(), added.end());
  FUZZ_CHECK(items == added);

  std::vector<std::string> probes{std::string()};
  for (const std::string& g : guids) {
    probes.push_back(g);
    probes.push_back(g + '\0');
    probes.push_back(g + '\xFF');
    if (!g.empty()) {
      probes.push_back(g.substr(0, g.size() - 1));
      std::string next = g;
      next.back() = static_cast<char>(static_cast<unsigned char>(next.back()) + 1);
      probes.push_back(next);
    }
    if (probes.size() > 2000) break;
  }
  for (const std::string& probe : probes) CheckFind(list, sorted, probe);
  return 0;
}
