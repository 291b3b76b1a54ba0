// The library's face to the viewer: library start, the four exports and the
// handlers registered with the viewer. Each is a thin noexcept shell that
// contains every failure: nothing may unwind into the viewer's frames.
//
// Faults are contained where they happen, and leave nothing behind:
//  - A structured exception raised inside a viewer function ends that call
//    in its guard (platform/foreign_call_guard.cpp) and comes back as a
//    ViewerFault: the viewer's frames are unwound, the x87 stack is emptied
//    and the caller's x87 control word and MXCSR (with SSE) set again, and
//    when the stack has lost its guard page (an overflow, also one the
//    viewer caught and raised again as its own exception), the guard page
//    is set again, so that the next overflow is contained the same way.
//    (The runtime sets it only when the guard's own frame lies a few pages
//    above the stack's end: a viewer that calls the plug-in with its stack
//    all but spent keeps a thread without one.)
//  - One raised in the plug-in's own code, or in a system function it
//    calls, ends the plug-in frame it was raised in (a handler, a message
//    of the hidden window, the start, the stop; ControllerHolder), with the
//    same repairs; the frame count stays right, so a later stop destroys
//    the window. Inside Message_Sender, BuildGuidIndex, SendSelection,
//    RestoreViewState and SelectByGuids it ends that operation's work, and
//    the operation's failure handling applies as for a viewer fault. The
//    frames it cuts off run no destructors: what they held is lost.
//
// The plug-in's life, in the order the viewer drives it:
//  1. Library start (DllMain, process attach): the platform is made, there is
//     no controller, and the viewer's functions are bound by name from the
//     host executable.
//  2. get_api_verion and get_plugin_info: at any time, on any thread, in
//     every state; they read constants only.
//  3. on_plugin_load: the controller is created with its hidden window, the
//     handlers are registered, both buttons set up, and "Bim Start" is sent.
//  4. Running: the handlers and the peers' commands to the hidden window run
//     on the viewer's GUI thread, one at a time, and reach the controller
//     through ControllerInstance.
//  5. on_plugin_unload: "BIM end" is sent, then the controller goes with its
//     window and the window's class.
//  6. Detach (FreeLibrary, or the process ending): no plug-in work.
//
// Out of order:
//  - A second on_plugin_load without an unload starts a new controller as in
//    3; the old one is destroyed, without a goodbye, before the new one
//    registers its handlers. One window of the plug-in remains.
//  - on_plugin_unload without a load, or a second time, finds no controller
//    and does nothing; so does a handler called then.
//  - on_plugin_unload while plug-in code is still on the stack (inside an
//    error box's modal loop, or while a send waits, also the goodbye's own):
//    "BIM end" is sent once, the controller stops at once (a handler called
//    later does nothing, a command sent later is answered 2000), and it is
//    destroyed when the outermost plug-in frame returns (ControllerHolder).
//    The viewer may free the library right after the stop, under that
//    running code (its close handler, run by the box's loop for a peer's
//    disconnect, does): so this stop pins the library, which then stays
//    mapped until the process ends. This is the one case that keeps it; a
//    later LoadLibrary gets the same image and on_plugin_load works as in 3.
//  - on_plugin_unload on another thread than the load's: "BIM end" is sent
//    and the controller goes. Its window, which only its own thread may
//    destroy, is cut from the controller, handed to the system's default
//    procedure and sent a posted WM_CLOSE: it destroys itself when its
//    thread next runs messages, with no code of the plug-in, so the library
//    may be freed before that. Its class stays registered until a later
//    on_plugin_load takes it over, or the library is freed after the window
//    has gone.
//  - FreeLibrary without on_plugin_unload: the library's statics go and the
//    controller with them, without a goodbye; its window is destroyed, its
//    link to the controller cut first, and its class unregistered (on
//    another thread as in the case above). A message to the old window
//    handle then reaches no window. FreeLibrary while plug-in code runs,
//    without a stop before it, is outside what the library can survive.
//  - The process ending without on_plugin_unload: nothing is destroyed. The
//    window goes with the process, and destroying it under the loader lock
//    of a dying process could only hang.
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

// The one controller, from on_plugin_load to on_plugin_unload, kept alive
// for as long as plug-in code that uses it is running.
plugin::ControllerHolder ControllerInstance;

template <class Work>
void WithController(Work work) noexcept {
  try {
    ControllerInstance.Run(work);
  } catch (...) {
    // The viewer cannot take a failure from a handler; the plug-in's state
    // stays as the failed operation left it.
  }
}

void VIEWER_CALL SelectionChanged() noexcept {
  WithController([](bridge::btBIMQuabo& c) { c.SendSelection(); });
}

void VIEWER_CALL ModelLoaded() noexcept {
  WithController([](bridge::btBIMQuabo& c) { c.OnModelLoaded(); });
}

void VIEWER_CALL StatusButtonClicked() noexcept {}

void VIEWER_CALL LinesButtonClicked() noexcept {
  WithController([](bridge::btBIMQuabo& c) { c.SendLastSelection(); });
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
    const plugin::Handlers handlers{SelectionChanged, ModelLoaded, StatusButtonClicked, LinesButtonClicked};
    ControllerInstance.Start(*gPlatform, gViewer, pluginHandle, reinterpret_cast<platform::WindowHandle>(mainWindow),
                             handlers);
  } catch (...) {
    // Start reports its own failure; what still gets here (no memory even
    // for that) leaves the plug-in dormant all the same.
  }
}

void VIEWER_CALL on_plugin_unload() noexcept {
  try {
    ControllerInstance.Stop();
  } catch (...) {
    // The controller is stopped all the same and goes with the last frame.
  }
}

}  // extern "C"
