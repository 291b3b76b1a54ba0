// The GUID index on fuzzed GUID texts: the sort order, the items that survive
// it, and Find on present and absent keys. The reference is the sorted list
// itself once it is shown to be in byte order and a permutation of what was
// added; the texts are views into the input, so the harness allocates next to
// nothing beside the index (a reference sort and copies of every text took
// most of the time that the index's own code did not).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/guid_index.h"
#include "fuzz_input.h"
#include "reference_models.h"

namespace {

constexpr bridge::ObjectId kFirstId = 0x9000000000000001ull;

// A GUID text: fresh bytes, a copy of an earlier text, or a prefix of one,
// so that duplicates and texts that begin with others are common. Lengths
// reach past what an item keeps in place.
std::string_view NextGuid(FuzzInput& in, const std::vector<std::string_view>& earlier) {
  const std::uint8_t op = in.Byte();
  if (earlier.empty() || op % 4 < 2) return in.View((op >> 2) % 40);
  const std::string_view other = earlier[in.Byte() % earlier.size()];
  if (op % 4 == 2) return other;
  return other.substr(0, in.Byte() % (other.size() + 1));
}

// string_view compares as unsigned bytes, the shorter prefix first: the
// index's order.
void CheckFind(const bridge::BtGuidObjidList& list, const std::vector<std::string_view>& sorted,
               std::string_view probe) {
  const auto at = std::lower_bound(sorted.begin(), sorted.end(), probe);
  const bool present = at != sorted.end() && *at == probe;
  std::size_t index = 0xDEADBEEF;
  const bool found = list.Find(bridge::BtGUIDObjIDItem(probe, 0), index);
  FUZZ_CHECK(found == present);
  FUZZ_CHECK(index == static_cast<std::size_t>(at - sorted.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::vector<std::string_view> guids;
  bridge::BtGuidObjidList list;
  while (!in.Done() && guids.size() < 4096) {
    guids.push_back(NextGuid(in, guids));
    // Ids are unique so that each item can be followed through the sort.
    list.Add(bridge::BtGUIDObjIDItem(guids.back(), kFirstId + guids.size() - 1));
  }
  // Copies of the list, taken before and after sorting, must not share or
  // lose texts: the unsorted copy sorts to the same order.
  bridge::BtGuidObjidList unsorted = list;
  list.Sort();
  FUZZ_CHECK(list.Count() == guids.size());
  unsorted.Sort();
  bridge::BtGuidObjidList copy;
  copy = unsorted;
  unsorted.Clear();

  // Each id once, with the text it was added with, and neighbours in byte
  // order: then the list is the sorted input.
  std::vector<bool> seen(guids.size());
  std::vector<std::string_view> sorted;
  sorted.reserve(list.Count());
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const bridge::BtGUIDObjIDItem& item = list.GetItem(i);
    const std::size_t added = item.FObjectId - kFirstId;
    FUZZ_CHECK(added < guids.size() && !seen[added]);
    seen[added] = true;
    FUZZ_CHECK(item.FGuid == guids[added]);
    FUZZ_CHECK(copy.GetItem(i).FGuid == item.FGuid);
    sorted.push_back(item.FGuid.view());
    if (i > 0) {
      const int cmp = bridge::BtGuidObjidList::Compare(list.GetItem(i - 1), item);
      FUZZ_CHECK(cmp == (sorted[i - 1] < sorted[i] ? -1 : 0));
      FUZZ_CHECK(sorted[i - 1] <= sorted[i]);
      FUZZ_CHECK(bridge::BtGuidObjidList::Compare(item, list.GetItem(i - 1)) == -cmp);
    }
  }

  // Each text, the text with a byte below and above everything appended, the
  // text one byte shorter and the text with its last byte raised.
  CheckFind(list, sorted, {});
  std::string probe;
  std::size_t probes = 1;
  for (const std::string_view g : guids) {
    if (probes > 2000) break;
    probe.assign(g);
    CheckFind(list, sorted, probe);
    probe.push_back('\0');
    CheckFind(list, sorted, probe);
    probe.back() = '\xFF';
    CheckFind(list, sorted, probe);
    probes += 3;
    if (g.empty()) continue;
    CheckFind(list, sorted, g.substr(0, g.size() - 1));
    probe.assign(g);
    probe.back() = static_cast<char>(static_cast<unsigned char>(probe.back()) + 1);
    CheckFind(list, sorted, probe);
    probes += 2;
  }
  return 0;
}
