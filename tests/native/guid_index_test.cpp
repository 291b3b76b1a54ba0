// The GUID index: byte order, lowest equal position, insertion points, and
// the sort against a reference on random data.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "bridge/guid_index.h"

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
