// Starting and stopping the plug-in: what on_plugin_load and
// on_plugin_unload do, apart from the system's calling conventions.
#pragma once

#include <cstdint>
#include <memory>

#include "bridge/controller.h"
#include "host_api/viewer.h"
#include "platform/platform.h"

namespace plugin {

// The plug-in's handlers that the viewer calls. The library builds it with
// designated initialisers, naming each: the fields share one type, so only
// their names tell them apart, and a handler left out does not compile.
struct Handlers {
  viewer_abi::Handler selectionChanged;
  viewer_abi::Handler modelLoaded;
  viewer_abi::Handler statusButtonClicked;
  viewer_abi::Handler linesButtonClicked;

  // Every handler h: where tests build a set, they start from this and name
  // the handlers they care about, so that a handler added later is h there.
  static constexpr Handlers Every(viewer_abi::Handler h) { return {h, h, h, h}; }
};

// Creates the controller, registers the handlers, sets up both buttons and
// announces the start. The controller is handed to publish before anything
// can call back into the plug-in, so that the handlers and the commands
// handled during the start message find it; observer, when given, is told
// of every message its window handles from then on; record, when given,
// watches the controller's link.
void StartPlugin(platform::Platform& system, host_api::Viewer& viewer, std::int32_t pluginHandle,
                 platform::WindowHandle hostWindow, const Handlers& handlers,
                 std::unique_ptr<bridge::btBIMQuabo>& controller, bridge::FrameObserver* observer = nullptr,
                 bridge::SupportRecord* record = nullptr);

// Says goodbye to the peers, then destroys the controller.
void StopPlugin(std::unique_ptr<bridge::btBIMQuabo>& controller);

}  // namespace plugin
