#pragma once
// The byte escaping that peer_sim uses on its line protocol, shared with the
// test driver so that both ends agree on one format.

#include <optional>
#include <string>
#include <string_view>

namespace peer_escape {

// Printable ASCII stays as is, a backslash becomes "\\", every other byte
// becomes "\xHH" (upper-case hex): the result never holds a line break.
std::string Escape(std::string_view bytes);

// Inverse of Escape; also accepts "\r", "\n" and lower-case hex digits.
// std::nullopt on a malformed escape.
std::optional<std::string> Unescape(std::string_view text);

// "41420043" -> "AB\0C"; std::nullopt on an odd length or a non-hex digit.
std::optional<std::string> DecodeHex(std::string_view hex);

}  // namespace peer_escape
