// Loading a model, reporting the loaded model's path, restoring a view.
#include "bridge/controller.h"
#include "bridge/controller_texts.h"
#include "bridge/view_state_hex.h"
#include "peer_link/peer_message.h"

namespace bridge {

bool btBIMQuabo::LoadModel(std::string_view path) {
  const std::wstring widePath = ToPWideChar(path);
  if (!viewer_.load_ifc(PluginId(), widePath.c_str())) return false;
  viewer_.invalidate(PluginId());
  PressAlphaFullButton();
  return true;
}

void btBIMQuabo::OnModelLoaded() {
  BuildGuidIndex();
  SendModelPath();
}

bool btBIMQuabo::SendModelPath() {
  const wchar_t* path = viewer_.get_loaded_ifc_path(PluginId());
  FModelPath = path ? system_.PathFromWide(path) : std::string();
  // Message_Sender sends no blank text; decided before the send, during
  // which a nested load may change the path.
  const bool any = !peer_link::IsBlank(FModelPath);
  Message_Sender(FModelPath, peer_link::kCodeModelPath);
  return any;
}

void btBIMQuabo::RestoreViewState(const std::string& text) {
  try {
    system_.RunContained([&] {
      // A text of odd length decodes nothing: the last view state is applied
      // again.
      if (text.size() % 2 == 0) {
        std::vector<std::uint8_t>().swap(FViewState);
        FViewStateSize = 0;
        FViewState = DecodeViewState(text).value();
        FViewStateSize = static_cast<std::int32_t>(FViewState.size());
      }
      // The viewer gets its own copy: a command handled during the call may
      // replace the controller's bytes.
      const std::vector<std::uint8_t> bytes = FViewState;
      viewer_.set_view_state(PluginId(), viewer_abi::kViewStateKind, bytes.empty() ? nullptr : bytes.data(),
                             static_cast<std::int32_t>(bytes.size()));
      viewer_.invalidate(PluginId());
    });
  } catch (...) {
    if (record_) record_->Fault("RestoreViewState");
    system_.ShowMessage(texts::kViewStateFailed, texts::kViewStateFailedCaption);
  }
}

}  // namespace bridge
