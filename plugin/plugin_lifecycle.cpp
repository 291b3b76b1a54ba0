#include "plugin/plugin_lifecycle.h"

#include "bridge/controller_texts.h"
#include "peer_link/peer_message.h"

namespace plugin {

void StartPlugin(platform::Platform& system, host_api::Viewer& viewer, std::int32_t pluginHandle,
                 platform::WindowHandle hostWindow, const Handlers& handlers,
                 std::unique_ptr<bridge::btBIMQuabo>& controller, bridge::FrameObserver* observer,
                 bridge::SupportRecord* record) {
  controller = std::make_unique<bridge::btBIMQuabo>(system, viewer);
  bridge::btBIMQuabo& c = *controller;
  c.SetFrameObserver(observer);
  c.SetSupportRecord(record);
  c.SetPluginId(pluginHandle);
  c.SetHostWindow(hostWindow);
  c.SetProcessId(system.WindowProcessId(hostWindow));
  // The viewer may stop the plug-in from inside any of these calls; no
  // handler or button is registered after that.
  host_api::Viewer& v = c.ViewerUntilStopped();
  v.on_selection_change(c.PluginId(), handlers.selectionChanged);
  v.on_model_load(c.PluginId(), handlers.modelLoaded);
  c.SetStatusButton(v.create_button(c.PluginId(), viewer_abi::kButtonKind, handlers.statusButtonClicked));
  c.SetupButton(bridge::texts::kInactive, bridge::texts::StatusButtonHint, bridge::texts::kStatusImage,
                c.StatusButton(), true);
  c.SetLinesButton(v.create_button(c.PluginId(), viewer_abi::kButtonKind, handlers.linesButtonClicked));
  c.SetupButton(bridge::texts::kCreateLines, bridge::texts::LinesButtonHint, bridge::texts::kCreateLinesImage,
                c.LinesButton(), false);
  c.SendStart();
}

void StopPlugin(std::unique_ptr<bridge::btBIMQuabo>& controller) {
  if (controller) controller->Message_Sender(bridge::texts::kEndMessage, peer_link::kCodeEnd);
  controller.reset();
}

}  // namespace plugin
