#include "bridge/guid_lines.h"

#include "peer_link/peer_message.h"

namespace bridge {

LineCursor::LineCursor(std::string_view text) : text_(text) {
  significantEnd_ = text.size();
  while (significantEnd_ > 0 && peer_link::IsBlankByte(text[significantEnd_ - 1])) --significantEnd_;
}

void TakeFirstLine(LineCursor& text, std::string_view& line) {
  line = {};
  if (text.RestIsBlank()) return;
  const std::size_t separator = text.text_.find("\r\n", text.pos_);
  if (separator == std::string_view::npos) {
    line = text.text_.substr(text.pos_);
    text.pos_ = text.text_.size();
  } else {
    line = text.text_.substr(text.pos_, separator - text.pos_);
    text.pos_ = separator;
  }
  if (text.RestIsBlank()) return;
  while (text.pos_ < text.text_.size() && (text.text_[text.pos_] == '\r' || text.text_[text.pos_] == '\n')) {
    ++text.pos_;
  }
}

}  // namespace bridge
