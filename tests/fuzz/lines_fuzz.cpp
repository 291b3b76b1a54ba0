// Cutting GUID list texts: every step of TakeFirstLine and the lines that
// ForEachLine hands out must agree with the reference on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/guid_lines.h"
#include "reference_models.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  bridge::LineCursor cursor(text);
  std::string rest = text;
  std::string_view line;
  // Each cut that yields a line consumes at least one byte, so the loop ends.
  for (std::size_t step = 0; step <= text.size() + 1; ++step) {
    FUZZ_CHECK(cursor.Rest() == rest);
    FUZZ_CHECK(cursor.RestIsBlank() == reference::Blank(rest));
    const reference::Cut cut = reference::TakeFirstLine(rest);
    bridge::TakeFirstLine(cursor, line);
    FUZZ_CHECK(line == cut.line);
    FUZZ_CHECK(cursor.Rest() == cut.rest);
    // The line is a view into the caller's text.
    FUZZ_CHECK(line.empty() || (line.data() >= text.data() && line.data() + line.size() <= text.data() + text.size()));
    rest = cut.rest;
    if (cut.line.empty()) break;
    FUZZ_CHECK(step < text.size());
  }

  std::vector<std::string> lines;
  bridge::ForEachLine(text, [&lines](std::string_view each) { lines.emplace_back(each); });
  FUZZ_CHECK(lines == reference::SplitLines(text));
  return 0;
}
