// Sending to the peer applications: targeting, framing, delivery.

#include "bridge/controller.h"
#include "peer_link/peer_message.h"

namespace bridge {

void btBIMQuabo::FindPeerWindows() { FPeerWindows = peer_link::FindPeerWindows(system_); }

// The text is a copy of its own: a command handled while a send waits may
// change the controller text it came from.
std::uint32_t btBIMQuabo::Message_Sender(std::string text,  // NOLINT(performance-unnecessary-value-param)
                                         std::uint32_t code) {
  std::uint32_t result = peer_link::kReplyNotACommand;
  if (FConnectedPeer != 0) {
    FPeerWindows = {};
    FPeerWindows[0] = FConnectedPeer;
  } else {
    FindPeerWindows();
  }
  if (code == 0 || peer_link::IsBlank(text)) return result;
  // A command handled while a send waits may send on its own and rebuild the
  // slots: the targets of this send are fixed here.
  const peer_link::PeerWindows targets = FPeerWindows;
  try {
    const std::string payload = peer_link::FramePayload(FProcessId, text);
    const platform::CopyDataRecord record{code, static_cast<std::uint32_t>(payload.size()), payload.data()};
    for (const platform::WindowHandle target : targets) {
      if (target == 0) continue;
      result = system_.SendCopyData(target, FMsgWindow, record);
    }
  } catch (...) {
    system_.ShowMessage("Fehler in VidudUDE.DLL-Message_Sender", "Message_Sender");
  }
  return result;
}

std::uint32_t btBIMQuabo::SendStart() { return Message_Sender("Bim Start", peer_link::kCodeStart); }

}  // namespace bridge
