#include "bridge/guid_index.h"

#include <cstring>
#include <utility>

namespace bridge {

int BtGuidObjidList::Compare(const BtGUIDObjIDItem& a, const BtGUIDObjIDItem& b) {
  const std::size_t common = a.FGuid.size() < b.FGuid.size() ? a.FGuid.size() : b.FGuid.size();
  // memcmp compares as unsigned char, which is the order the index promises.
  const int bytes = common == 0 ? 0 : std::memcmp(a.FGuid.data(), b.FGuid.data(), common);
  if (bytes != 0) return bytes < 0 ? -1 : 1;
  if (a.FGuid.size() == b.FGuid.size()) return 0;
  return a.FGuid.size() < b.FGuid.size() ? -1 : 1;
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

void BtGuidObjidList::Clear() {
  std::vector<BtGUIDObjIDItem>().swap(FItems);
}

void BtGuidObjidList::QuickSort(std::size_t low, std::size_t high) {
  // Indices are signed inside: j may step below low.
  std::ptrdiff_t lo = static_cast<std::ptrdiff_t>(low);
  std::ptrdiff_t hi = static_cast<std::ptrdiff_t>(high);
  BtGUIDObjIDItem pivot;
  while (lo < hi) {
    std::ptrdiff_t i = lo;
    std::ptrdiff_t j = hi;
    // The pivot is the item, not the position: partitioning moves items.
    pivot.FGuid = FItems[static_cast<std::size_t>(lo + (hi - lo) / 2)].FGuid;
    do {
      while (Compare(FItems[static_cast<std::size_t>(i)], pivot) < 0) ++i;
      while (Compare(FItems[static_cast<std::size_t>(j)], pivot) > 0) --j;
      if (i <= j) {
        std::swap(FItems[static_cast<std::size_t>(i)], FItems[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    // The two parts are independent, so sorting the smaller one by recursion
    // and the larger one in this loop gives the same order as any other
    // sequence, while the stack stays logarithmic for every input.
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(static_cast<std::size_t>(lo), static_cast<std::size_t>(j));
      lo = i;
    } else {
      if (i < hi) QuickSort(static_cast<std::size_t>(i), static_cast<std::size_t>(hi));
      hi = j;
    }
  }
}

void BtGuidObjidList::Sort() {
  if (FItems.empty()) return;
  QuickSort(0, FItems.size() - 1);
}

}  // namespace bridge
