// Decoding the hexadecimal view-state text.
#include <gtest/gtest.h>

#include "bridge/view_state_hex.h"

using bridge::DecodeViewState;
using bridge::HexDigitValue;
using Bytes = std::vector<std::uint8_t>;

TEST(ViewStateHex, BothLetterCasesDecodeAlike) {
  EXPECT_EQ(DecodeViewState("0a1B"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(DecodeViewState("0A1b"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(DecodeViewState("00ffFF7f"), (Bytes{0x00, 0xFF, 0xFF, 0x7F}));
}

TEST(ViewStateHex, OddLengthDecodesNothingEmptyDecodesToNoBytes) {
  EXPECT_FALSE(DecodeViewState("abcde").has_value());
  EXPECT_EQ(DecodeViewState(""), Bytes{});
}

TEST(ViewStateHex, NonDigitsCountAsMinusOneModulo256) {
  EXPECT_EQ(DecodeViewState("G5"), (Bytes{0xF5}));
  EXPECT_EQ(DecodeViewState("5G"), (Bytes{0x4F}));
  EXPECT_EQ(DecodeViewState(":@"), (Bytes{0xEF}));  // -16 - 1
}

TEST(ViewStateHex, CharactersOutsideTheTableAreMinusOne) {
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!digit) {
      EXPECT_EQ(HexDigitValue(ch), -1) << c;
    }
  }
  EXPECT_EQ(DecodeViewState(std::string("\xff\x00", 2)), (Bytes{0xEF}));
  EXPECT_EQ(DecodeViewState(" g"), (Bytes{0xEF}));
}
