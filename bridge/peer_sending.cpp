// The controller's sends to the peers: choosing the targets, reporting a
// failed send, and forgetting connected peers that have gone.
#include "bridge/controller.h"
#include "bridge/controller_texts.h"
#include "peer_link/message_sender.h"
#include "peer_link/peer_message.h"

namespace bridge {

void btBIMQuabo::FindPeerWindows() { FPeerWindows = peer_link::FindPeerWindows(system_); }

// The text is a copy of its own: a command handled while a send waits may
// change the controller text it came from.
std::uint32_t btBIMQuabo::Message_Sender(std::string text,  // NOLINT(performance-unnecessary-value-param)
                                         std::uint32_t code) {
  std::uint32_t result = peer_link::kNothingSent;
  // The peers have had the goodbye: an operation still running when the
  // viewer stopped the plug-in sends nothing more.
  if (Stopped()) return result;
  if (!FConnectedPeers.Empty()) {
    FPeerWindows = FConnectedPeers.Targets();
  } else {
    FindPeerWindows();
  }
  if (code == 0 || peer_link::IsBlank(text)) return result;
  // A command handled while a send waits may send on its own and rebuild the
  // slots: the targets of this send are fixed here.
  const peer_link::PeerWindows targets = FPeerWindows;
  try {
    system_.RunContained([&] {
      // When the viewer stops the plug-in during the send to one peer, the
      // others have had the goodbye and get nothing more.
      peer_link::SendToPeers(system_, targets, FMsgWindow, FProcessId, text, code, result,
                             [this] { return Stopped(); });
      // A peer that has gone is forgotten at once, not at the next tick.
      // The goodbye, and a send during which the viewer stopped the
      // plug-in, leave the viewer's buttons alone: the viewer is stopping
      // the plug-in.
      const bool stopping = code == peer_link::kCodeEnd || Stopped();
      if (!stopping) ForgetGonePeers();
    });
  } catch (...) {
    if (record_) record_->Fault("Message_Sender");
    system_.ShowMessage(texts::kSendFailed, texts::kSendFailedCaption);
  }
  return result;
}

// One watch for all connected peers: it runs from the first connect until
// the last has gone.
void btBIMQuabo::WatchConnectedPeers() {
  if (!FConnectedPeers.Empty() && !peerWatch_) {
    peerWatch_ = system_.StartTimer(FMsgWindow, kPeerWatchTimer, kPeerWatchIntervalMs);
  }
}

// Sends nothing: the peer has gone, and the others are not told. Gone peers
// are forgotten before the viewer is called, so that a failing call leaves
// no message going to a dead window.
void btBIMQuabo::ForgetGonePeers() {
  const auto gone = FConnectedPeers.RemoveGone(system_);
  if (gone.empty()) return;
  NoteConnectedPeers();
  if (record_) {
    for (std::size_t i = 0; i < gone.size(); ++i) {
      record_->PeerGone(gone[i].window, gone[i].processId, i + 1 == gone.size() && FConnectedPeers.Empty(),
                        !FConnectedPeers.Empty());
    }
  }
  if (FConnectedPeers.Empty()) EndLinkToLastPeer();
}

// Ends the link as a disconnect does, without closing the viewer: later
// messages go by discovery, and the lines button that a peer enabled is
// greyed as at start. The watch stops first, so that a failing call does
// not leave it running with nothing to watch.
void btBIMQuabo::EndLinkToLastPeer() {
  peerWatch_.reset();
  SetActive(false);
  viewer_.enable_button(PluginId(), FLinesButton, false);
}

std::uint32_t btBIMQuabo::SendStart() { return Message_Sender(texts::kStartMessage, peer_link::kCodeStart); }

}  // namespace bridge
