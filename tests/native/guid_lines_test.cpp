// Cutting GUID list texts into lines.
#include <gtest/gtest.h>

#include "bridge/guid_lines.h"

using bridge::LineCursor;
using bridge::TakeFirstLine;
using Lines = std::vector<std::string>;

namespace {

Lines SplitLines(std::string_view text) {
  Lines lines;
  bridge::ForEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

}  // namespace

TEST(TakeFirstLine, LeavesBlankRestUntouched) {
  const std::string text = " \r\n ";
  LineCursor cursor(text);
  std::string_view line = "stale";
  TakeFirstLine(cursor, line);
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(cursor.Rest(), text);
}

TEST(TakeFirstLine, SkipsCrLfRunsAfterALineButKeepsABlankRest) {
  LineCursor cursor("g1\r\n\n\r\r\ng2");
  std::string_view line;
  TakeFirstLine(cursor, line);
  EXPECT_EQ(line, "g1");
  EXPECT_EQ(cursor.Rest(), "g2");

  LineCursor trailing("g1\r\n \r\n");
  TakeFirstLine(trailing, line);
  EXPECT_EQ(line, "g1");
  EXPECT_EQ(trailing.Rest(), "\r\n \r\n");
}

TEST(SplitLines, SeparatesOnlyAtCrLf) {
  EXPECT_EQ(SplitLines("g1\r\ng2"), (Lines{"g1", "g2"}));
  EXPECT_EQ(SplitLines("g1\r\n\r\n\r\ng2"), (Lines{"g1", "g2"}));
  EXPECT_EQ(SplitLines("g1\ng2"), (Lines{"g1\ng2"}));
  EXPECT_EQ(SplitLines("g1\rg2\r\n"), (Lines{"g1\rg2"}));
  EXPECT_EQ(SplitLines("g1\r\ng2\r\n"), (Lines{"g1", "g2"}));
}

TEST(SplitLines, KeepsBlanksDuplicatesAndBlankOnlyLines) {
  EXPECT_EQ(SplitLines(" g1 \r\ng1"), (Lines{" g1 ", "g1"}));
  EXPECT_EQ(SplitLines("g1\r\n   \r\ng2"), (Lines{"g1", "   ", "g2"}));
}

TEST(SplitLines, NoLinesForEmptyBlankOrLeadingCrLf) {
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_TRUE(SplitLines(" \r\n\t").empty());
  EXPECT_TRUE(SplitLines("\r\ng1\r\ng2").empty());
  EXPECT_EQ(SplitLines("0"), (Lines{"0"}));
}

TEST(SplitLines, HundredThousandLinesWithTrailingBlanks) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "guid" + std::to_string(i) + "\r\n";
  text += std::string(100000, ' ');
  const auto lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 100000u);
  EXPECT_EQ(lines.back(), "guid99999");
}
