// Framing of outgoing payloads, the blank test and the bounded reading of
// incoming payloads.
#include <gtest/gtest.h>

#include "peer_link/peer_message.h"

using peer_link::FramePayload;
using peer_link::IsBlank;
using peer_link::ReadIncomingText;
using peer_link::TrimBlanks;

TEST(Framing, ProcessIdBarTextAndOneNul) {
  const std::string payload = FramePayload(42, "Bim Start");
  EXPECT_EQ(payload.size(), 13u);
  EXPECT_EQ(payload, std::string("42|Bim Start\0", 13));
  EXPECT_EQ(FramePayload(4294967295u, "x"), std::string("4294967295|x\0", 13));
  EXPECT_EQ(FramePayload(0, "x"), std::string("0|x\0", 4));
}

TEST(Framing, TextTravelsUnchangedWithBarsLineBreaksAndBlanks) {
  const std::string text = "  a|b\r\nc\t ";
  EXPECT_EQ(FramePayload(7, text), "7|" + text + std::string(1, '\0'));
}

TEST(BlankTest, EveryByteUpToSpaceIsBlank) {
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \r\n\t\x01\x1f "));
  EXPECT_FALSE(IsBlank(" \r\n0\r\n"));
  EXPECT_FALSE(IsBlank("\x7f"));
  EXPECT_FALSE(IsBlank("\xa0"));  // bytes above 0x7f are not blanks
  EXPECT_EQ(TrimBlanks("\r\n  C:\\a b.ifc \r\n"), "C:\\a b.ifc");
}

TEST(IncomingText, StopsAtFirstNulAndNeverReadsPastDeclaredSize) {
  const char withNul[] = {'a', 'b', '\0', 'c', '\0'};
  platform::CopyDataRecord record{6, sizeof(withNul), withNul};
  EXPECT_EQ(ReadIncomingText(&record), "ab");

  // No NUL within the declared bytes: the text is cut there.
  const char noNul[] = {'x', 'y', 'z', 'w'};
  record = {6, 3, noNul};
  EXPECT_EQ(ReadIncomingText(&record), "xyz");

  record = {6, 0, noNul};
  EXPECT_EQ(ReadIncomingText(&record), "");
  record = {6, 100, nullptr};
  EXPECT_EQ(ReadIncomingText(&record), "");
  EXPECT_EQ(ReadIncomingText(nullptr), "");
}
