// The controller: the one owner of the plug-in's state while the viewer has
// it running, with its hidden message window, its ribbon buttons, the GUID
// index and the operations that carry selections, models and view states
// between the viewer and the peer application.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/guid_index.h"
#include "bridge/stoppable_viewer.h"
#include "bridge/support_record.h"
#include "host_api/viewer.h"
#include "peer_link/command_dispatch.h"
#include "peer_link/connected_peers.h"
#include "peer_link/peer_discovery.h"
#include "platform/platform.h"

namespace bridge {

using platform::WindowHandle;

// Where the viewer keeps an element's IFC GUID; the set name begins with a
// blank.
inline constexpr const char* kGuidSetName = " Element Specific";
inline constexpr const char* kGuidPropertyName = "Guid";

// While peers are connected, their windows are looked at this often on the
// hidden window's timer: a peer that ended without a disconnect shows as
// gone within two seconds, with no user action.
inline constexpr std::uintptr_t kPeerWatchTimer = 1;
inline constexpr std::uint32_t kPeerWatchIntervalMs = 1000;
// The hidden window notes every connected peer for the support diagnosis.
static_assert(platform::kNotedPeers == peer_link::kMaxConnectedPeers);

// Told when plug-in code starts and ends handling a message of the hidden
// window, so that the controller's owner keeps it alive until the outermost
// frame of plug-in code has returned. Left may destroy the controller.
class FrameObserver {
 public:
  virtual void Entered() noexcept = 0;
  virtual void Left() noexcept = 0;

 protected:
  ~FrameObserver() = default;
};

class btBIMQuabo final : public platform::WindowProcedure, private peer_link::CommandActions {
 public:
  btBIMQuabo(platform::Platform& system, host_api::Viewer& viewer);
  ~btBIMQuabo();
  btBIMQuabo(const btBIMQuabo&) = delete;
  btBIMQuabo& operator=(const btBIMQuabo&) = delete;

  // What the viewer hands over when it starts the plug-in.
  void SetPluginId(std::int32_t id) { FPluginId = id; }
  void SetHostWindow(WindowHandle window) { FHostWindow = window; }
  void SetProcessId(std::uint32_t id) { FProcessId = id; }
  void SetStatusButton(std::int32_t id) { FStatusButton = id; }
  void SetLinesButton(std::int32_t id) { FLinesButton = id; }

  // The owner that keeps the controller alive while its window's messages
  // are handled.
  void SetFrameObserver(FrameObserver* observer) { frameObserver_ = observer; }
  // The support record that watches the link; none by default.
  void SetSupportRecord(SupportRecord* record) { record_ = record; }
  // The viewer has stopped the plug-in while plug-in code was still running:
  // from now on every command is answered 2000 and carried out no more, and
  // what is still running reaches neither the viewer nor the peers; the
  // link has ended, so the window no longer names a connected peer.
  void Stop() noexcept {
    viewer_.Stop();
    system_.NoteConnectedPeers(FMsgWindow, {});
  }
  bool Stopped() const { return viewer_.Stopped(); }
  // The viewer as this controller reaches it: silent once it has stopped.
  host_api::Viewer& ViewerUntilStopped() { return viewer_; }

  // Ribbon buttons and small helpers around viewer calls. The plug-in's own
  // German texts stay UTF-16 on their way to the viewer, so that no ANSI code
  // page can change a letter of them.
  std::int32_t PluginId() const { return FPluginId; }
  void SetupButton(const std::wstring& text, const std::wstring& hint, const std::string& imageFile,
                   std::int32_t button, bool enabled);
  std::string GetSpecialFolderPath(int csidl);
  void SetActive(bool active);
  void PressAlphaFullButton();
  // The caller keeps the returned text alive for as long as the viewer may
  // read it.
  std::wstring ToPWideChar(std::string_view text);
  static const char* ToPChar(const std::string& text) { return text.c_str(); }

  // Sending to the peers. The text is taken by value: a command handled
  // while the send waits may change the controller's texts.
  std::uint32_t Message_Sender(std::string text, std::uint32_t code);
  void FindPeerWindows();
  std::uint32_t SendStart();

  // Incoming commands.
  void WindowCreated(WindowHandle window) noexcept override { FMsgWindow = window; }
  std::intptr_t WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void HandleCopyData(std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result);

  // GUID index, selection exchange and model commands.
  // What the viewer's model-load notice does: the index is rebuilt for the
  // new model, then its path goes to the peers. The library's handler, the
  // tests and the fuzz harness all call this one.
  void OnModelLoaded();
  bool BuildGuidIndex();
  bool SendSelection();
  bool SelectByGuids(std::string text);
  void SendLastSelection();
  bool LoadModel(std::string_view path) override;
  // True when there was a path to send.
  bool SendModelPath();
  void RestoreViewState(const std::string& text);

  // Read-only views of the state, for the plug-in's frame and for tests.
  WindowHandle MsgWindow() const { return FMsgWindow; }
  WindowHandle HostWindow() const { return FHostWindow; }
  std::uint32_t ProcessId() const { return FProcessId; }
  std::int32_t StatusButton() const { return FStatusButton; }
  std::int32_t LinesButton() const { return FLinesButton; }
  const peer_link::PeerWindows& PeerWindows() const { return FPeerWindows; }
  // The first connected peer's window, 0 while none is connected.
  WindowHandle ConnectedPeer() const { return FConnectedPeers.Empty() ? 0 : FConnectedPeers.All().front().window; }
  const peer_link::ConnectedPeers& ConnectedPeerList() const { return FConnectedPeers; }
  const BtGuidObjidList* GuidIndex() const { return FGuidIndex.get(); }
  const std::string& ModelPath() const { return FModelPath; }
  const std::string& LastGuids() const { return FLastGuids; }
  bool LastGuidsStale() const { return FLastGuidsStale; }
  bool Active() const { return FActive; }
  const std::vector<std::uint8_t>& ViewState() const { return FViewState; }
  std::int32_t ViewStateSize() const { return FViewStateSize; }

 private:
  // The peer's commands, as the dispatch calls them (LoadModel above too).
  bool Connect(WindowHandle peer) override;
  void Disconnect() override;
  void Leave(WindowHandle peer) override;
  void Select(std::string guids) override;
  void RestoreView(const std::string& viewState) override;
  void EnableLinesButton(bool enabled) override;
  bool SendModelPathAgain() override;
  bool SendSelectionAgain() override;

  // The connected peers: watched while there are any; one is gone when its
  // window has gone or belongs to another process than the one that
  // connected.
  void WatchConnectedPeers();
  // What the hidden window tells the support diagnosis about the link.
  void NoteConnectedPeers() noexcept { system_.NoteConnectedPeers(FMsgWindow, FConnectedPeers.Targets()); }
  void ForgetGonePeers();
  void EndLinkToLastPeer();

  // Count, then fill: the records that the viewer holds for the filter.
  // records is the caller's scratch buffer, reused across objects.
  void QueryProperties(const viewer_abi::PropertyFilter& filter, std::vector<viewer_abi::PropertyRecord>& records);
  // The GUIDs of the viewer's selection as a GUID list text, "0" for none.
  std::string SelectedGuids();
  // Sets the last list, which stays fresh until the selection changes or a
  // model loads.
  void KeepLastGuids(const std::string& text);
  std::string ValueText(const viewer_abi::PropertyRecord& record) {
    return record.value ? system_.FromWide(record.value) : std::string();
  }

  platform::Platform& system_;
  StoppableViewer viewer_;

  std::int32_t FPluginId = 0;
  std::unique_ptr<platform::OwnedWindow> window_;
  WindowHandle FMsgWindow = 0;
  WindowHandle FHostWindow = 0;
  std::int32_t FStatusButton = 0;
  std::int32_t FLinesButton = 0;
  std::uint32_t FProcessId = 0;
  peer_link::PeerWindows FPeerWindows{};
  peer_link::ConnectedPeers FConnectedPeers;
  std::unique_ptr<platform::OwnedTimer> peerWatch_;
  std::unique_ptr<BtGuidObjidList> FGuidIndex;
  std::string FModelPath;
  std::string FLastGuids;
  // The last list may no longer match the viewer's selection: the
  // selection changed without the list being set, or a model loaded.
  bool FLastGuidsStale = false;
  bool FActive = false;
  std::int32_t FViewStateSize = 0;
  std::vector<std::uint8_t> FViewState;
  FrameObserver* frameObserver_ = nullptr;
  SupportRecord* record_ = nullptr;
  // How many GUIDs of the last selection command named an element.
  std::optional<std::size_t> selectFound_;
};

}  // namespace bridge
