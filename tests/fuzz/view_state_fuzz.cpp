// Decoding view-state texts: any bytes, any length, against the reference.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge/view_state_hex.h"
#include "reference_models.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (char c : text) FUZZ_CHECK(bridge::HexDigitValue(c) == reference::HexValue(c));
  FUZZ_CHECK(bridge::DecodeViewState(text) == reference::DecodeViewState(text));
  return 0;
}
