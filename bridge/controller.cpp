#include "bridge/controller.h"

#include "bridge/controller_texts.h"

namespace bridge {

btBIMQuabo::btBIMQuabo(platform::Platform& system, host_api::Viewer& viewer) : system_(system), viewer_(viewer) {
  window_ = system_.CreateMessageWindow(*this);
  FMsgWindow = window_->Handle();
}

// The index goes first, then the window with the watch's timer and its note
// of the connected peers before it; the view-state bytes go with the
// members. The note is taken off here as well as at the stop, for a connect
// that the viewer stopped half-way notes its peer after the stop.
btBIMQuabo::~btBIMQuabo() {
  FGuidIndex.reset();
  peerWatch_.reset();
  system_.NoteConnectedPeers(FMsgWindow, {});
  window_.reset();
}

void btBIMQuabo::SetupButton(const std::wstring& text, const std::wstring& hint, const std::string& imageFile,
                             std::int32_t button, bool enabled) {
  viewer_.set_button_text(PluginId(), button, text.c_str(), hint.c_str());
  const std::string imagePath = GetSpecialFolderPath(platform::kCsidlProgramFiles) + texts::kImageFolder + imageFile;
  const std::wstring wideImagePath = ToPWideChar(imagePath);
  viewer_.set_button_image(PluginId(), button, wideImagePath.c_str());
  viewer_.enable_button(PluginId(), button, enabled);
}

std::string btBIMQuabo::GetSpecialFolderPath(int csidl) { return system_.SpecialFolderPath(csidl); }

void btBIMQuabo::SetActive(bool active) {
  FActive = active;
  const wchar_t* const text = FActive ? texts::kActive : texts::kInactive;
  const wchar_t* const hint = FActive ? texts::kActiveHint : texts::StatusButtonHint;
  viewer_.set_button_text(PluginId(), FStatusButton, text, hint);
}

void btBIMQuabo::PressAlphaFullButton() {
  const std::wstring item = ToPWideChar("btn_alpha_full");
  const std::wstring command = ToPWideChar("click");
  viewer_.item_command(PluginId(), item.c_str(), command.c_str());
}

void btBIMQuabo::QueryProperties(const viewer_abi::PropertyFilter& filter,
                                 std::vector<viewer_abi::PropertyRecord>& records) {
  const std::uint32_t n = viewer_.filter_properties(PluginId(), &filter, nullptr, 0);
  records.assign(n, viewer_abi::PropertyRecord{});
  if (n == 0) return;
  viewer_.filter_properties(PluginId(), &filter, records.data(), n);
}

std::wstring btBIMQuabo::ToPWideChar(std::string_view text) { return system_.ToWide(text); }

}  // namespace bridge
