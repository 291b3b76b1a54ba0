// The hidden window's messages, and the actions of the peer's commands.
#include "bridge/controller.h"
#include "peer_link/peer_message.h"

namespace bridge {

namespace {

// Keeps the observer told for the length of one message. The controller may
// be gone once it has left: nothing may touch it after.
class Frame {
 public:
  explicit Frame(FrameObserver* observer) noexcept : observer_(observer) {
    if (observer_) observer_->Entered();
  }
  ~Frame() {
    if (observer_) observer_->Left();
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

 private:
  FrameObserver* observer_;
};

}  // namespace

std::intptr_t btBIMQuabo::WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  const Frame frame(frameObserver_);
  std::intptr_t result = 0;
  try {
    system_.RunContained([&] {
      if (message == platform::kWmTimer && wParam == kPeerWatchTimer) {
        if (!Stopped()) ForgetGonePeers();
      } else if (message != platform::kWmCopyData) {
        result = system_.DefaultWindowProc(FMsgWindow, message, wParam, lParam);
      } else if (Stopped()) {
        result = peer_link::kReplyNotACommand;
      } else {
        HandleCopyData(wParam, lParam, result);
      }
    });
  } catch (...) {
    // A command that failed half-way still answers what was set before it
    // ran; the failure stays inside the plug-in.
    if (record_) record_->Fault(message == platform::kWmCopyData ? "a peer's command" : "the hidden window");
  }
  return result;
}

void btBIMQuabo::HandleCopyData(std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) {
  const auto* record = reinterpret_cast<const platform::CopyDataRecord*>(lParam);
  const std::uint32_t began = record_ ? system_.TickMs() : 0;
  selectFound_.reset();
  peer_link::DispatchCommand(*this, wParam, record, result);
  if (record_) record_->CommandHandled({wParam, record, result, system_.TickMs() - began, selectFound_});
}

// The link state changes before the peer is stored. Only a window of another
// process can be a target: the broadcast handle would send every message to
// every window on the desktop, the plug-in's own included, and a window of
// the viewer's own process would hand it back to the plug-in as a command.
// Any other value connects as 0 does: the link is active, every connected
// peer is forgotten, and messages go by discovery. A sixth process is
// refused before anything changes.
bool btBIMQuabo::Connect(WindowHandle peer) {
  const bool ofPeer = peer_link::IsOtherProcessWindow(system_, peer);
  const std::uint32_t process = ofPeer ? system_.WindowProcessId(peer) : 0;
  if (ofPeer && !FConnectedPeers.Accepts(process)) {
    if (record_) record_->ConnectRefused(peer, process);
    return false;
  }
  SetActive(true);
  if (record_) record_->Connected(peer, ofPeer);
  if (!ofPeer) {
    FConnectedPeers.Clear();
    NoteConnectedPeers();
    peerWatch_.reset();
    return true;
  }
  if (!FConnectedPeers.Add(peer, process)) return false;
  NoteConnectedPeers();
  WatchConnectedPeers();
  return true;
}

// Ends the link for every peer, whoever sends it. The viewer is asked to
// close last, by a posted message: the peer has its reply before the
// plug-in stops.
void btBIMQuabo::Disconnect() {
  if (record_) record_->Disconnected(FConnectedPeers.All());
  SetActive(false);
  FConnectedPeers.Clear();
  NoteConnectedPeers();
  peerWatch_.reset();
  system_.PostClose(FHostWindow);
}

// A window that was not connected changes nothing; the last one to leave
// ends the link as a peer that has gone does.
void btBIMQuabo::Leave(WindowHandle peer) {
  const bool connected = FConnectedPeers.Remove(peer);
  if (record_) record_->Left(peer, connected);
  if (!connected) return;
  NoteConnectedPeers();
  if (FConnectedPeers.Empty()) EndLinkToLastPeer();
}

void btBIMQuabo::Select(std::string guids) { SelectByGuids(std::move(guids)); }

void btBIMQuabo::RestoreView(const std::string& viewState) { RestoreViewState(viewState); }

void btBIMQuabo::EnableLinesButton(bool enabled) { viewer_.enable_button(PluginId(), FLinesButton, enabled); }

// The same read of the path and the same targets as after a load.
bool btBIMQuabo::SendModelPathAgain() { return SendModelPath(); }

}  // namespace bridge
