// Carrying out the commands that peers send to the hidden window.

#include "bridge/controller.h"
#include "peer_link/peer_message.h"

namespace bridge {

std::intptr_t btBIMQuabo::WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message != platform::kWmCopyData) return system_.DefaultWindowProc(FMsgWindow, message, wParam, lParam);
  std::intptr_t result = 0;
  try {
    HandleCopyData(wParam, lParam, result);
  } catch (...) {
    // A command that failed half-way still answers what was set before it
    // ran; the failure stays inside the plug-in.
  }
  return result;
}

void btBIMQuabo::HandleCopyData(std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) {
  result = peer_link::kReplyTaken;
  const WindowHandle sender = wParam;
  const auto* record = reinterpret_cast<const platform::CopyDataRecord*>(lParam);
  const std::uintptr_t code = record ? record->code : 0;
  const std::string text = peer_link::ReadIncomingText(record);
  switch (code) {
    case 1:
      SetActive(true);
      FConnectedPeer = sender;
      break;
    case 2:
      SetActive(false);
      FConnectedPeer = 0;
      system_.PostClose(FHostWindow);
      break;
    case 5: {
      const std::string path(peer_link::TrimBlanks(text));
      if (!path.empty() && !LoadModel(path)) result = peer_link::kReplyModelNotLoaded;
      break;
    }
    case 6:
      SelectByGuids(text);
      break;
    case 7:
      break;
    case 8:
      RestoreViewState(text);
      break;
    case 9:
      viewer_.enable_button(PluginId(), FLinesButton, text == "active");
      break;
    default:
      result = peer_link::kReplyNotACommand;
      break;
  }
}

}  // namespace bridge
