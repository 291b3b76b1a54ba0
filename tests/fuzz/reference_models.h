// Plain, slow, obviously-correct models of the plug-in's text rules, written
// straight from the rules so that the fuzzers can compare against them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// Stops the fuzzer with a readable reason; libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace reference {

inline bool Blank(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x20) return false;
  }
  return true;
}

// One cut: the line (empty when the rest is blank) and what is left.
struct Cut {
  std::string line;
  std::string rest;
};

inline Cut TakeFirstLine(const std::string& rest) {
  if (Blank(rest)) return {"", rest};
  Cut cut;
  std::size_t separator = std::string::npos;
  for (std::size_t i = 0; i + 1 < rest.size(); ++i) {
    if (rest[i] == '\r' && rest[i + 1] == '\n') {
      separator = i;
      break;
    }
  }
  if (separator == std::string::npos) {
    cut.line = rest;
    return cut;
  }
  cut.line = rest.substr(0, separator);
  cut.rest = rest.substr(separator);
  if (!Blank(cut.rest)) {
    while (!cut.rest.empty() && (cut.rest[0] == '\r' || cut.rest[0] == '\n')) cut.rest.erase(0, 1);
  }
  return cut;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string rest = text;
  for (;;) {
    Cut cut = TakeFirstLine(rest);
    if (cut.line.empty()) return lines;
    lines.push_back(cut.line);
    rest = cut.rest;
  }
}

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

inline std::optional<std::vector<std::uint8_t>> DecodeViewState(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t k = 0; 2 * k < text.size(); ++k) {
    const int value = 16 * HexValue(text[2 * k]) + HexValue(text[2 * k + 1]);
    bytes.push_back(static_cast<std::uint8_t>(((value % 256) + 256) % 256));
  }
  return bytes;
}

}  // namespace reference
