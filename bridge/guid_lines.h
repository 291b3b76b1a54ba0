// Cutting a GUID list text (one GUID per line, lines separated by CR LF)
// into its lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace bridge {

// The part of a text that is still to be cut. The position of the last
// significant byte is found once, so each blank test of the rest is O(1)
// and cutting a whole text stays linear.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text);

  std::string_view Rest() const { return text_.substr(pos_); }
  bool RestIsBlank() const { return pos_ >= significantEnd_; }

 private:
  friend void TakeFirstLine(LineCursor& text, std::string_view& line);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t significantEnd_ = 0;  // one past the last byte above 0x20
};

// Cuts the first line off the text. A blank rest yields an empty line and
// stays as it is. Only CR LF ends a line; after a line, every CR and LF at
// the head of a non-blank rest is skipped.
void TakeFirstLine(LineCursor& text, std::string_view& line);

// Hands the lines of the text to visit one at a time, in order, duplicates
// kept, untrimmed, each a view into the text. Cutting stops at the first empty line, so a text that begins with CR LF
// has no lines.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  LineCursor rest(text);
  for (std::string_view line; TakeFirstLine(rest, line), !line.empty();) visit(line);
}

}  // namespace bridge
