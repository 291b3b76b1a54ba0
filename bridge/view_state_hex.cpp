#include "bridge/view_state_hex.h"

#include <array>

namespace bridge {

namespace {

// Indexed by character code minus '0', up to 'f'.
constexpr std::array<signed char, 'f' - '0' + 1> kDigitTable = [] {
  std::array<signed char, 'f' - '0' + 1> table{};
  for (auto& v : table) v = -1;
  for (int c = '0'; c <= '9'; ++c) table[c - '0'] = static_cast<signed char>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c - '0'] = static_cast<signed char>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c - '0'] = static_cast<signed char>(c - 'a' + 10);
  return table;
}();

}  // namespace

int HexDigitValue(char c) {
  const int code = static_cast<unsigned char>(c);
  if (code < '0' || code > 'f') return -1;
  return kDigitTable[static_cast<std::size_t>(code - '0')];
}

std::optional<std::vector<std::uint8_t>> DecodeViewState(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(text.size() / 2);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    const int value = 16 * HexDigitValue(text[2 * k]) + HexDigitValue(text[2 * k + 1]);
    bytes[k] = static_cast<std::uint8_t>(value & 0xFF);
  }
  return bytes;
}

}  // namespace bridge
