// The GUID index: byte order, lowest equal position, insertion points, the
// sort against a reference on random data, and its bound on hostile orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <memory_resource>
#include <new>
#include <random>

#include "bridge/guid_index.h"
#include "bridge/guid_index_sort.h"
#include "tests/native/killer_adversary.h"

using bridge::BtGUIDObjIDItem;
using bridge::BtGuidObjidList;

namespace {

BtGUIDObjIDItem Key(const std::string& guid) { return BtGUIDObjIDItem(guid, 0); }

BtGuidObjidList SortedList(const std::vector<std::string>& guids) {
  BtGuidObjidList list;
  bridge::ObjectId id = 1;
  for (const auto& g : guids) list.Add(BtGUIDObjIDItem(g, id++));
  list.Sort();
  return list;
}

std::vector<std::string> Guids(const BtGuidObjidList& list) {
  std::vector<std::string> guids;
  for (std::size_t i = 0; i < list.Count(); ++i) guids.push_back(list.GetItem(i).FGuid);
  return guids;
}

}  // namespace

TEST(GuidOrder, BytewiseUnsignedCaseSensitivePrefixFirst) {
  EXPECT_EQ(BtGuidObjidList::Compare(Key("Z"), Key("a")), -1);
  EXPECT_EQ(BtGuidObjidList::Compare(Key("abc"), Key("abcd")), -1);
  EXPECT_EQ(BtGuidObjidList::Compare(Key("abcd"), Key("abc")), 1);
  EXPECT_EQ(BtGuidObjidList::Compare(Key(""), Key("0")), -1);
  EXPECT_EQ(BtGuidObjidList::Compare(Key("a\xe4"), Key("az")), 1);  // 0xE4 is above 'z'
  EXPECT_EQ(BtGuidObjidList::Compare(Key("x"), Key("x")), 0);
  // '$' (0x24) < '0' < 'A' < '_' (0x5F) < 'a'
  EXPECT_EQ(Guids(SortedList({"a", "_", "A", "0", "$", ""})), (std::vector<std::string>{"", "$", "0", "A", "_", "a"}));
}

TEST(GuidFind, EmptyListMissesAtZero) {
  BtGuidObjidList list;
  list.Sort();
  std::size_t index = 99;
  EXPECT_FALSE(list.Find(Key("x"), index));
  EXPECT_EQ(index, 0u);
}

TEST(GuidFind, HitReportsLowestEqualPosition) {
  const auto list = SortedList({"b", "a", "b", "c", "b", "b", "d"});
  std::size_t index = 99;
  ASSERT_TRUE(list.Find(Key("b"), index));
  EXPECT_EQ(index, 1u);
  ASSERT_TRUE(list.Find(Key("a"), index));
  EXPECT_EQ(index, 0u);
  ASSERT_TRUE(list.Find(Key("d"), index));
  EXPECT_EQ(index, 6u);
}

TEST(GuidFind, MissReportsInsertionPoint) {
  const auto list = SortedList({"b", "d", "f"});
  std::size_t index = 99;
  EXPECT_FALSE(list.Find(Key("a"), index));
  EXPECT_EQ(index, 0u);
  EXPECT_FALSE(list.Find(Key("c"), index));
  EXPECT_EQ(index, 1u);
  EXPECT_FALSE(list.Find(Key("g"), index));
  EXPECT_EQ(index, 3u);
  EXPECT_FALSE(list.Find(Key("B"), index));  // other letter case finds nothing
  EXPECT_FALSE(list.Find(Key("b "), index));
}

TEST(GuidSort, MatchesReferenceOnRandomDataWithDuplicates) {
  std::mt19937 random(12345);
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> guids;
    const int n = static_cast<int>(random() % 300);
    for (int i = 0; i < n; ++i) {
      std::string g(random() % 4, ' ');
      for (char& c : g) c = alphabet[random() % 3 + (round % 20) * 3];  // few letters: many duplicates
      guids.push_back(g);
    }
    const auto list = SortedList(guids);
    auto expected = guids;
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(Guids(list), expected);
    for (const auto& probe : {std::string(""), std::string("A"), guids.empty() ? std::string("x") : guids[0]}) {
      std::size_t index = 0;
      const bool found = list.Find(Key(probe), index);
      const auto lower = std::lower_bound(expected.begin(), expected.end(), probe);
      EXPECT_EQ(found, lower != expected.end() && *lower == probe);
      EXPECT_EQ(index, static_cast<std::size_t>(lower - expected.begin()));
    }
  }
}

TEST(GuidSort, KeepsEveryObjectIdOfEqualGuids) {
  auto list = SortedList({"g", "g", "a"});
  std::vector<bridge::ObjectId> ids{list.GetItem(1).FObjectId, list.GetItem(2).FObjectId};
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<bridge::ObjectId>{1, 2}));
  EXPECT_THROW(list.GetItem(3), std::out_of_range);
}

TEST(GuidSort, SortedAndReverseInputsOfManyItems) {
  std::vector<std::string> ascending;
  for (int i = 0; i < 20000; ++i) ascending.push_back(std::to_string(100000 + i));
  auto descending = ascending;
  std::reverse(descending.begin(), descending.end());
  EXPECT_EQ(Guids(SortedList(descending)), ascending);
  EXPECT_EQ(Guids(SortedList(ascending)), ascending);
  EXPECT_EQ(Guids(SortedList(std::vector<std::string>(20000, "same"))).size(), 20000u);
}

namespace {

// The quicksort without a depth bound, as the index sorted before: the same
// partitions, recursion on the left part, loop on the right one.
template <typename Item, typename Compare>
void UnboundedQuickSort(std::vector<Item>& items, std::ptrdiff_t low, std::ptrdiff_t high, Compare& compare) {
  const auto at = [&items](std::ptrdiff_t index) -> Item& { return items[static_cast<std::size_t>(index)]; };
  std::ptrdiff_t i = 0;
  do {
    i = low;
    std::ptrdiff_t j = high;
    const Item pivot = at(low + (high - low) / 2);
    do {
      while (compare(at(i), pivot) < 0) ++i;
      while (compare(at(j), pivot) > 0) --j;
      if (i <= j) {
        std::swap(at(i), at(j));
        ++i;
        --j;
      }
    } while (i <= j);
    if (low < j) UnboundedQuickSort(items, low, j, compare);
    low = i;
  } while (i < high);
}

struct CountingCompare {
  std::size_t count = 0;
  int operator()(std::size_t a, std::size_t b) {
    ++count;
    return a < b ? -1 : a > b ? 1 : 0;
  }
};

template <typename Compare>
void BoundedSort(std::vector<std::size_t>& items, Compare& compare) {
  bridge::BoundedQuickSort(items, 0, static_cast<std::ptrdiff_t>(items.size()) - 1,
                           bridge::SortDepthBound(items.size()), compare);
}

template <typename Compare>
void UnboundedSort(std::vector<std::size_t>& items, Compare& compare) {
  UnboundedQuickSort(items, 0, static_cast<std::ptrdiff_t>(items.size()) - 1, compare);
}

std::size_t BoundedComparisons(std::vector<std::size_t> items) {
  CountingCompare compare;
  BoundedSort(items, compare);
  EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
  return compare.count;
}

}  // namespace

TEST(GuidSort, HostileOrdersStayWithinNLogNComparisons) {
  constexpr std::size_t n = 4096;
  const std::size_t budget = 5 * n * (std::bit_width(n) - 1);

  // Crafted against the unbounded sort, the order makes it quadratic.
  const auto killer = test_support::KillerOrder(n, [](auto& items, auto& compare) { UnboundedSort(items, compare); });
  CountingCompare unbounded;
  auto replay = killer;
  UnboundedSort(replay, unbounded);
  EXPECT_GT(unbounded.count, n * n / 8);

  std::vector<std::size_t> organPipe(n);
  for (std::size_t i = 0; i < n; ++i) organPipe[i] = std::min(i, n - 1 - i);

  EXPECT_LE(BoundedComparisons(killer), budget);
  EXPECT_LE(
      BoundedComparisons(test_support::KillerOrder(n, [](auto& items, auto& compare) { BoundedSort(items, compare); })),
      budget);
  EXPECT_LE(BoundedComparisons(organPipe), budget);
}

TEST(GuidSort, OrdersThatStayWithinTheBoundKeepTheUnboundedOrderOfEqualGuids) {
  constexpr std::size_t n = 20000;
  // 500 GUIDs on 40 objects each: the object ids show how equal GUIDs end up.
  const auto guidOf = [](std::size_t rank) {
    return "3" + std::string(1, static_cast<char>('A' + rank / 26 % 26)) +
           std::string(1, static_cast<char>('a' + rank % 26));
  };
  std::vector<std::size_t> ascending(n);
  for (std::size_t i = 0; i < n; ++i) ascending[i] = i * 500 / n;
  auto shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  const std::vector<std::size_t> descending(ascending.rbegin(), ascending.rend());
  const std::vector<std::vector<std::size_t>> orders{shuffled, ascending, descending, std::vector<std::size_t>(n, 0)};

  for (const auto& ranks : orders) {
    BtGuidObjidList list;
    std::vector<BtGUIDObjIDItem> expected;
    for (std::size_t i = 0; i < n; ++i) {
      list.Add(guidOf(ranks[i]), i);
      expected.emplace_back(guidOf(ranks[i]), i);
    }
    list.Sort();
    UnboundedQuickSort(expected, 0, static_cast<std::ptrdiff_t>(n) - 1, BtGuidObjidList::Compare);
    std::vector<bridge::ObjectId> got;
    std::vector<bridge::ObjectId> want;
    for (std::size_t i = 0; i < n; ++i) {
      got.push_back(list.GetItem(i).FObjectId);
      want.push_back(expected[i].FObjectId);
    }
    EXPECT_EQ(got, want);
  }
}

// Random orders at the sizes of real models, with GUIDs shared by a few
// objects each: not one of them may reach the heap sort, or a lookup would
// find another of the objects than before.
TEST(GuidSort, RandomOrdersWithSharedGuidsKeepTheUnboundedOrder) {
  struct Item {
    std::size_t guid = 0;
    std::size_t object = 0;
    bool operator==(const Item&) const = default;
  };
  const auto byGuid = [](const Item& a, const Item& b) { return a.guid < b.guid ? -1 : a.guid > b.guid ? 1 : 0; };
  std::mt19937 random(2024);
  std::size_t differing = 0;
  constexpr int kOrders = 1500;
  for (int order = 0; order < kOrders; ++order) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(1000, 4000)(random);
    std::uniform_int_distribution<std::size_t> guid(0, n / 3);
    std::vector<Item> bounded(n);
    for (std::size_t i = 0; i < n; ++i) bounded[i] = {guid(random), i};
    auto unbounded = bounded;
    bridge::BoundedQuickSort(bounded, 0, static_cast<std::ptrdiff_t>(n) - 1, bridge::SortDepthBound(n), byGuid);
    UnboundedQuickSort(unbounded, 0, static_cast<std::ptrdiff_t>(n) - 1, byGuid);
    differing += bounded == unbounded ? 0 : 1;
  }
  EXPECT_EQ(differing, 0u) << "of " << kOrders << " orders";
}

TEST(GuidSort, TheListsSortFinishesAnOrganPipeByHeapSort) {
  // 0, 1, ..., n/2 - 1, n/2 - 1, ..., 1, 0 takes the plain sort n/2 deep;
  // its pairs of equal GUIDs show which sort ordered them.
  constexpr std::size_t n = 1024;
  BtGuidObjidList list;
  std::vector<BtGUIDObjIDItem> bounded;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string guid = std::to_string(10000 + std::min(i, n - 1 - i));
    list.Add(guid, i);
    bounded.emplace_back(guid, i);
  }
  auto unbounded = bounded;
  list.Sort();
  bridge::BoundedQuickSort(bounded, 0, static_cast<std::ptrdiff_t>(n) - 1, bridge::SortDepthBound(n),
                           BtGuidObjidList::Compare);
  UnboundedQuickSort(unbounded, 0, static_cast<std::ptrdiff_t>(n) - 1, BtGuidObjidList::Compare);
  std::vector<bridge::ObjectId> got;
  std::vector<bridge::ObjectId> heapSorted;
  std::vector<bridge::ObjectId> plain;
  for (std::size_t i = 0; i < n; ++i) {
    got.push_back(list.GetItem(i).FObjectId);
    heapSorted.push_back(bounded[i].FObjectId);
    plain.push_back(unbounded[i].FObjectId);
  }
  EXPECT_EQ(got, heapSorted);
  EXPECT_NE(got, plain);
}

namespace {

// An order crafted against the sort, of GUIDs of which every third is too
// long to stay in place; groups of 512 share their first eight bytes. The
// first byte runs from 0x7C up to 0x83 across the groups, the fifth from
// 0x83 down to 0x7C, so that keys sorted in a wrong or signed order of the
// prefix, or by its second half first, fail. (With equal GUIDs in it, the
// range is heap sorted: the organ pipe above.)
struct CraftedDeepRange {
  BtGuidObjidList list;
  std::vector<BtGUIDObjIDItem> heapSorted;
};

CraftedDeepRange CraftDeepRange() {
  constexpr std::size_t n = 4096;
  const auto ranks = test_support::KillerOrder(n, [](auto& items, auto& compare) { BoundedSort(items, compare); });
  CraftedDeepRange crafted;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t group = ranks[i] / 512;
    const std::string guid = static_cast<char>(0x7C + group) + std::string("Sha") + static_cast<char>(0x83 - group) +
                             std::string("edP") + std::to_string(100000 + ranks[i]) +
                             std::string(ranks[i] % 3 ? 0 : 20, '$');
    crafted.list.Add(guid, i);
    crafted.heapSorted.emplace_back(guid, i);
  }
  bridge::BoundedQuickSort(crafted.heapSorted, 0, static_cast<std::ptrdiff_t>(n) - 1, bridge::SortDepthBound(n),
                           BtGuidObjidList::Compare);
  return crafted;
}

void ExpectItems(const BtGuidObjidList& list, const std::vector<BtGUIDObjIDItem>& expected) {
  ASSERT_EQ(list.Count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(list.GetItem(i).FGuid, expected[i].FGuid) << i;
    ASSERT_EQ(list.GetItem(i).FObjectId, expected[i].FObjectId) << i;
  }
}

// The process's default memory resource, with nothing to give while it lives.
class NoMemory final : public std::pmr::memory_resource {
 public:
  NoMemory() : before_(std::pmr::set_default_resource(this)) {}
  ~NoMemory() override { std::pmr::set_default_resource(before_); }
  NoMemory(const NoMemory&) = delete;
  NoMemory& operator=(const NoMemory&) = delete;

  int refused = 0;

 private:
  void* do_allocate(std::size_t, std::size_t) override {
    ++refused;
    throw std::bad_alloc();
  }
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }

  std::pmr::memory_resource* before_;
};

}  // namespace

TEST(GuidSort, ADeepRangeOfDistinctGuidsEndsAsHeapSortLeavesIt) {
  auto crafted = CraftDeepRange();
  crafted.list.Sort();
  ExpectItems(crafted.list, crafted.heapSorted);
}

TEST(GuidSort, ADeepRangeWhoseKeysGetNoMemoryIsHeapSorted) {
  auto crafted = CraftDeepRange();
  {
    const NoMemory noMemory;
    crafted.list.Sort();
    EXPECT_GT(noMemory.refused, 0);
  }
  ExpectItems(crafted.list, crafted.heapSorted);
}

// Evens up, odds down, and the last item a second copy of the smallest GUID:
// one deep range, whose only equal pair sorts first in it.
TEST(GuidSort, ADeepRangeWhoseOnlyEqualGuidsSortFirstIsHeapSorted) {
  constexpr std::size_t n = 1024;
  BtGuidObjidList list;
  std::vector<BtGUIDObjIDItem> heapSorted;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t value = i == n - 1 ? 0 : i < n / 2 ? 2 * i : 2 * (n - 1 - i) + 1;
    list.Add(std::to_string(10000 + value), i);
    heapSorted.emplace_back(std::to_string(10000 + value), i);
  }
  list.Sort();
  bridge::BoundedQuickSort(heapSorted, 0, static_cast<std::ptrdiff_t>(n) - 1, bridge::SortDepthBound(n),
                           BtGuidObjidList::Compare);
  ExpectItems(list, heapSorted);
}
