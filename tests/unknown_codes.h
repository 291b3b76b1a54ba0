// Codes that name no command, read from the plug-in's table of commands: 0,
// every gap below the highest command, the code above it, and the largest.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "peer_link/wire.h"

inline std::vector<std::uint32_t> UnknownCommandCodes() {
  std::uint32_t highest = 0;
  for (const auto& command : peer_link::kCommands) highest = std::max(highest, command.code);
  std::vector<std::uint32_t> codes;
  for (std::uint32_t code = 0; code <= highest + 1; ++code) {
    if (peer_link::FindCommand(code) == nullptr) codes.push_back(code);
  }
  codes.push_back(0xFFFFFFFFu);
  return codes;
}
