// A minimal plug-in for testing the simulator's loader: it answers the four
// entry points with the viewer's prototypes, finds the viewer functions in
// the host program by name as a real plug-in does, and reports what it saw
// through probe_state.
#include <windows.h>

#include <cstdint>

#include "host_api/viewer_abi.h"
#include "tests/wine_tools/probe_state.h"

namespace {

ProbeState state;

template <typename Fn>
Fn Viewer(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name)));
}

void VIEWER_CALL OnClick() {
  ++state.clicks;
  // A click asks the viewer to close, as the plug-in does when its peer leaves.
  PostMessageW(static_cast<HWND>(state.mainWindow), WM_CLOSE, 0, 0);
}

}  // namespace

extern "C" __declspec(dllexport) void VIEWER_CALL
    get_api_verion(const viewer_abi::ApiVersion* viewer, viewer_abi::ApiVersion* plugin) noexcept {
  state.viewerVersion = *viewer;
  *plugin = {viewer->major, viewer->minor + 7};
}

extern "C" __declspec(dllexport) void VIEWER_CALL get_plugin_info(viewer_abi::PluginInfo* info) noexcept {
  *info = {L"Probe \u00e9", L"Tests", nullptr, L"probe@example.invalid", L"Loader probe", 3, 4};
}

extern "C" __declspec(dllexport) void VIEWER_CALL
    on_plugin_load(std::int32_t plugin, std::int32_t flag, void* mainWindow) noexcept {
  state.plugin = plugin;
  state.flag = flag;
  state.mainWindow = mainWindow;
  if (const auto create = Viewer<viewer_abi::create_button_fn>("create_button")) {
    state.button = create(plugin, 0, &OnClick);
  }
  if (const auto text = Viewer<viewer_abi::set_button_text_fn>("set_button_text")) {
    text(plugin, state.button, L"Probe", L"Probe hint");
  }
  MessageBoxA(nullptr, "probe loaded", "Probe", MB_OK | MB_ICONINFORMATION);
}

extern "C" __declspec(dllexport) void VIEWER_CALL on_plugin_unload() noexcept { ++state.unloads; }

extern "C" __declspec(dllexport) const void* probe_state() noexcept { return &state; }
