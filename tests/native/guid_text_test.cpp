// The index's in-place GUID text: its order and contents must be those of
// the text on both sides of the in-place limit, with NUL and high bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bridge/guid_index.h"

using bridge::BtGUIDObjIDItem;
using bridge::BtGuidObjidList;
using bridge::GuidText;

namespace {

// Lengths around the in-place limit, bytes from a small set with NUL and
// 0xFF, so that many texts share prefixes or differ only in length.
std::vector<std::string> Texts(std::mt19937& random, std::size_t count) {
  const std::string bytes("\0\x01"
                          "a\x7f\xff",
                          5);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < count; ++i) {
    std::string text(random() % 32, 'a');
    const std::size_t varied = random() % (text.size() + 1);
    for (std::size_t k = text.size() - varied; k < text.size(); ++k) text[k] = bytes[random() % bytes.size()];
    texts.push_back(text);
  }
  return texts;
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

TEST(GuidText, OrdersAsUnsignedBytesWithShorterPrefixFirst) {
  std::mt19937 random(99);
  const auto texts = Texts(random, 400);
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      ASSERT_EQ(GuidText::Compare(GuidText(a), GuidText(b)), Sign(a.compare(b))) << a.size() << " " << b.size();
    }
  }
  EXPECT_LT(GuidText(std::string(23, 'a')), GuidText(std::string(24, 'a')));
  EXPECT_LT(GuidText(std::string("a\0", 2)), GuidText(std::string(23, 'a')));
  EXPECT_LT(GuidText(std::string(30, '\xff')), GuidText(std::string(31, '\xff')));
  EXPECT_LT(GuidText(std::string(22, 'z')), GuidText(std::string(30, '\xe4')));
}

TEST(GuidText, KeepsContentsThroughCopiesMovesAndAssignments) {
  const std::string shortText("ab\0c", 4);
  const std::string longText = std::string(40, 'L') + '\0' + "tail";
  // A length of several bytes, so that none of them may be dropped.
  const std::string hugeText = std::string(70000, 'H') + '\xff';
  for (const auto& first : {shortText, longText, hugeText, std::string(23, 'x'), std::string(24, 'y'), std::string()}) {
    for (const auto& second : {shortText, longText}) {
      GuidText a(first);
      ASSERT_EQ(a.view(), first);
      GuidText copy(a);
      EXPECT_EQ(copy, first);
      GuidText moved(std::move(copy));
      EXPECT_EQ(moved, first);
      EXPECT_TRUE(copy.empty());
      GuidText target(second);
      target = a;
      EXPECT_EQ(target, first);
      target = GuidText(second);
      EXPECT_EQ(target, second);
      target = std::string_view(first);
      EXPECT_EQ(std::string(target), first);
      const GuidText& same = target;
      target = same;
      EXPECT_EQ(target, first);
      GuidText other(second);
      swap(target, other);
      EXPECT_EQ(target, second);
      EXPECT_EQ(other, first);
    }
  }
}

TEST(GuidText, IndexOfLongAndShortTextsSortsAndFindsAsStrings) {
  std::mt19937 random(3);
  for (int round = 0; round < 20; ++round) {
    const auto texts = Texts(random, 500);
    BtGuidObjidList list;
    for (std::size_t i = 0; i < texts.size(); ++i) list.Add(texts[i], i);
    list.Sort();
    auto expected = texts;
    std::sort(expected.begin(), expected.end());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(list.GetItem(i).FGuid, expected[i]);
      ASSERT_EQ(texts[list.GetItem(i).FObjectId], expected[i]);
    }
    for (const auto& probe : Texts(random, 50)) {
      std::size_t index = 0;
      const bool found = list.Find(BtGUIDObjIDItem(probe, 0), index);
      const auto lower = std::lower_bound(expected.begin(), expected.end(), probe);
      EXPECT_EQ(found, lower != expected.end() && *lower == probe);
      EXPECT_EQ(index, static_cast<std::size_t>(lower - expected.begin()));
    }
  }
}
