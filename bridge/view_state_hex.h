// Decoding of the hexadecimal view-state text that a peer sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace bridge {

// The value of a digit: 0 to 15 for 0-9, A-F and a-f; -1 for every other
// character, inside or outside the range from '0' to 'f'.
int HexDigitValue(char c);

// Two characters per byte, high half first: byte = (16 * first + second)
// modulo 256. No character is rejected; a text of odd length decodes to
// nothing (std::nullopt).
std::optional<std::vector<std::uint8_t>> DecodeViewState(std::string_view text);

}  // namespace bridge
