#include "peer_link/message_sender.h"

#include <string>

#include "peer_link/peer_message.h"

namespace peer_link {

void SendToPeers(platform::Platform& system, const PeerWindows& targets, platform::WindowHandle sender,
                 std::uint32_t processId, std::string_view text, std::uint32_t code, std::uint32_t& reply,
                 const std::function<bool()>& stopped) {
  const std::string payload = FramePayload(processId, text);
  const platform::CopyDataRecord record{code, static_cast<std::uint32_t>(payload.size()), payload.data()};
  for (const platform::WindowHandle target : targets) {
    if (stopped()) return;
    if (target == 0) continue;
    reply = system.SendCopyData(target, sender, record);
  }
}

}  // namespace peer_link
