// The GUID index: (GUID text, object id) pairs sorted by GUID text and
// searched by binary search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host_api/viewer_abi.h"

namespace bridge {

using viewer_abi::ObjectId;

struct BtGUIDObjIDItem {
  BtGUIDObjIDItem() = default;
  BtGUIDObjIDItem(std::string guid, ObjectId objectId) : FGuid(std::move(guid)), FObjectId(objectId) {}

  std::string FGuid;
  ObjectId FObjectId = 0;
};

class BtGuidObjidList {
 public:
  // Byte-wise unsigned comparison of the GUID texts: -1, 0 or 1; a text
  // sorts before every longer text that begins with it.
  static int Compare(const BtGUIDObjIDItem& a, const BtGUIDObjIDItem& b);

  // On a hit, index is the lowest position holding the key's GUID text; on a
  // miss, the position where the key would be inserted.
  bool Find(const BtGUIDObjIDItem& key, std::size_t& index) const;

  // The item at a position; throws std::out_of_range past the end.
  const BtGUIDObjIDItem& GetItem(std::size_t index) const { return FItems.at(index); }

  void Add(BtGUIDObjIDItem item) { FItems.push_back(std::move(item)); }
  void Clear();
  void Reserve(std::size_t count) { FItems.reserve(count); }
  std::size_t Count() const { return FItems.size(); }

  // Hoare-partition quicksort with the middle item as pivot; not stable.
  void QuickSort(std::size_t low, std::size_t high);
  void Sort();

 private:
  static constexpr bool FAscending = true;
  // Several items may carry one GUID; Find reports the first of them.
  static constexpr bool FDuplicatesAccepted = true;

  std::vector<BtGUIDObjIDItem> FItems;
};

}  // namespace bridge
