// exit_host PLUGIN.DLL free|exit: starts the plug-in and leaves it without
// on_plugin_unload, by FreeLibrary ("free") or by ending the process
// ("exit", exit code 7). A hook on this thread reports each destruction of a
// plug-in window on stdout, written straight to the handle: the C runtime
// may be gone by the time the library detaches.
#include <windows.h>

#include <cstring>

#include "host_api/viewer_abi.h"

namespace {

void Say(const char* text) noexcept {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam) noexcept {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  char name[64] = {};
  if (code == HC_ACTION && message->message == WM_DESTROY && GetClassNameA(message->hwnd, name, sizeof(name)) > 0 &&
      std::strcmp(name, "VidudUDE.MessageWindow") == 0) {
    Say("destroyed\n");
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const HMODULE plugin = LoadLibraryA(argv[1]);
  if (plugin == nullptr) return 3;
  const auto load = reinterpret_cast<viewer_abi::on_plugin_load_fn>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "on_plugin_load")));
  if (load == nullptr) return 4;
  load(0x51, 0, nullptr);
  if (FindWindowA("VidudUDE.MessageWindow", nullptr) == nullptr) return 5;
  if (SetWindowsHookExW(WH_CALLWNDPROC, WatchDestroy, nullptr, GetCurrentThreadId()) == nullptr) return 6;
  Say("started\n");
  if (std::strcmp(argv[2], "free") == 0) {
    FreeLibrary(plugin);
    Say("freed\n");
    return 0;
  }
  ExitProcess(7);
}
