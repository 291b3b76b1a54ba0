// Sending one message to the peers' windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "peer_link/peer_discovery.h"
#include "peer_link/wire.h"
#include "platform/platform.h"

namespace peer_link {

// What Message_Sender returns when no message went out; the same number as
// the reply "not a command".
inline constexpr std::uint32_t kNothingSent = kReplyNotACommand;

// Frames the text once and sends it to every non-empty slot, in slot order,
// waiting for each reply, until stopped() says that no more may go out.
// reply holds the answer of the last send made, and keeps it when a later
// step fails.
void SendToPeers(platform::Platform& system, const PeerWindows& targets, platform::WindowHandle sender,
                 std::uint32_t processId, std::string_view text, std::uint32_t code, std::uint32_t& reply,
                 const std::function<bool()>& stopped);

}  // namespace peer_link
