// The library's face to the viewer: library start, the four exports and the
// handlers registered with the viewer. Each is a thin noexcept shell that
// contains every failure: nothing may unwind into the viewer's frames.
//
// The plug-in's life, in the order the viewer drives it; docs/architecture.md,
// "Lifecycle", says what each step may assume, what happens when the viewer
// calls out of order, and how faults are contained:
//  1. DllMain, process attach: the platform is made and the viewer's
//     functions are bound; there is no controller.
//  2. get_api_verion, get_plugin_info: at any time, on any thread.
//  3. on_plugin_load: the controller with its window, the handlers, both
//     buttons, "Bim Start".
//  4. Running: handlers and peer commands, one at a time on the GUI thread.
//  5. on_plugin_unload: "BIM end", then the controller goes.
//  6. Detach: no plug-in work.
#include <windows.h>

#include <memory>

#include "bridge/controller.h"
#include "host_api/viewer_binding.h"
#include "platform/foreign_call_guard.h"
#include "platform/win32_platform.h"
#include "plugin/controller_holder.h"
#include "plugin/plugin_lifecycle.h"
#include "plugin/plugin_texts.h"

namespace {

host_api::ViewerEntryPoints gEntryPoints;
host_api::BoundViewer gViewer(gEntryPoints, platform::CallGuarded);
std::unique_ptr<platform::Platform> gPlatform;
// The support record of the library, from its start to its end; it goes
// before the platform it writes through.
std::unique_ptr<bridge::SupportRecord> gRecord;

// The one controller, from on_plugin_load to on_plugin_unload, kept alive
// for as long as plug-in code that uses it is running.
plugin::ControllerHolder ControllerInstance;

template <class Work>
void WithController(const char* handler, Work work) noexcept {
  try {
    ControllerInstance.Run(work);
  } catch (...) {
    // The viewer cannot take a failure from a handler; the plug-in's state
    // stays as the failed operation left it.
    if (gRecord) gRecord->Fault(handler);
  }
}

void VIEWER_CALL SelectionChanged() noexcept {
  WithController("SelectionChanged", [](bridge::btBIMQuabo& c) { c.SendSelection(); });
}

void VIEWER_CALL ModelLoaded() noexcept {
  WithController("ModelLoaded", [](bridge::btBIMQuabo& c) { c.OnModelLoaded(); });
}

void VIEWER_CALL StatusButtonClicked() noexcept {}

void VIEWER_CALL LinesButtonClicked() noexcept {
  WithController("LinesButtonClicked", [](bridge::btBIMQuabo& c) { c.SendLastSelection(); });
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) noexcept {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    // The process is ending without having stopped the plug-in: its window
    // goes with the process, and destroying it now, under the loader lock of
    // a dying process, could only hang.
    ControllerInstance.Abandon();
    return TRUE;
  }
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  try {
    gPlatform = platform::MakeSystemPlatform();
    gRecord = std::make_unique<bridge::SupportRecord>(*gPlatform);
    host_api::BindViewerApi(gEntryPoints, platform::HostExecutableExports());
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

void VIEWER_CALL get_api_verion(const viewer_abi::ApiVersion*, viewer_abi::ApiVersion* pluginVersion) noexcept {
  if (pluginVersion == nullptr) return;
  pluginVersion->major = 5;
  pluginVersion->minor = 41;
}

void VIEWER_CALL get_plugin_info(viewer_abi::PluginInfo* info) noexcept {
  if (info == nullptr) return;
  info->name = plugin::PluginName;
  info->producer = plugin::PluginProducer;
  info->webAddress = plugin::PluginWebAddress;
  info->email = plugin::PluginEmail;
  info->description = plugin::PluginDescription;
  info->reserved1 = 0;
  info->reserved2 = 0;
}

void VIEWER_CALL on_plugin_load(std::int32_t pluginHandle, std::int32_t, void* mainWindow) noexcept {
  try {
    gRecord->Start();
    const plugin::Handlers handlers{.selectionChanged = SelectionChanged,
                                    .modelLoaded = ModelLoaded,
                                    .statusButtonClicked = StatusButtonClicked,
                                    .linesButtonClicked = LinesButtonClicked};
    ControllerInstance.Start(*gPlatform, gViewer, pluginHandle, reinterpret_cast<platform::WindowHandle>(mainWindow),
                             handlers, gRecord.get());
  } catch (...) {
    // Start reports its own failure; what still gets here (no memory even
    // for that) leaves the plug-in dormant all the same.
  }
}

void VIEWER_CALL on_plugin_unload() noexcept {
  try {
    ControllerInstance.Stop();
    gRecord->Stop();
  } catch (...) {
    // The controller is stopped all the same and goes with the last frame.
    gRecord->Fault("on_plugin_unload");
  }
}

}  // extern "C"
