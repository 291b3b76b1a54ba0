// log_host PLUGIN.DLL N EVENT: a viewer without a model that starts the
// plug-in, waits for the named event, has its plug-in handle N commands (each
// one line of the support log) and stops it; so that several processes write
// the same log at once, one command about every millisecond. Exit code 0 when
// all went as planned.
#include <windows.h>

#include <cstdlib>

#include "host_api/viewer_abi.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const HMODULE plugin = LoadLibraryA(argv[1]);
  if (plugin == nullptr) return 3;
  const auto load = reinterpret_cast<viewer_abi::on_plugin_load_fn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "on_plugin_load")));
  const auto unload = reinterpret_cast<viewer_abi::on_plugin_unload_fn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "on_plugin_unload")));
  if (load == nullptr || unload == nullptr) return 4;
  load(0x51, 0, nullptr);
  // This process's own plug-in window: the other hosts have one each.
  HWND window = nullptr;
  for (HWND w = FindWindowExA(nullptr, nullptr, "VidudUDE.MessageWindow", nullptr); w != nullptr && window == nullptr;
       w = FindWindowExA(nullptr, w, "VidudUDE.MessageWindow", nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId()) window = w;
  }
  const HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (window == nullptr || go == nullptr || WaitForSingleObject(go, 60000) != WAIT_OBJECT_0) return 5;
  const int commands = std::atoi(argv[2]);
  for (int i = 0; i < commands; ++i) {
    COPYDATASTRUCT ping{7, 0, nullptr};
    if (SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&ping)) != 2001) return 6;
    // Paced, so that the lines of hosts started a little apart interleave.
    Sleep(1);
  }
  unload();
  CloseHandle(go);
  return 0;
}
