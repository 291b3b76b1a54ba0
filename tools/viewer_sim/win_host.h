// Windows side of the simulated viewer: the host's main window, the loader
// that drives a plug-in DLL through its four exports, and the catcher that
// records and dismisses the plug-in's message boxes so no test blocks.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "host_api/viewer_abi.h"
#include "tools/viewer_sim/call_log.h"
#include "tools/viewer_sim/viewer_sim.h"

namespace viewer_sim {

struct WindowCloser {
  void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;

struct LibraryFreer {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

struct HookRemover {
  void operator()(HHOOK hook) const noexcept { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

// Dispatches the calling thread's messages for `duration`.
void PumpMessages(std::chrono::milliseconds duration);
// Dispatches messages until `done` holds or `timeout` passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The viewer's main window as the plug-in sees it: a top-level window, never
// shown. A WM_CLOSE (the plug-in asks the viewer to quit) is counted instead
// of closing, so a test can check for it and go on.
class HostWindow {
 public:
  HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  int CloseRequests() const { return closeRequests_.load(); }
  void ResetCloseRequests() { closeRequests_ = 0; }
  // What the viewer does on a close request besides counting it, on the
  // window's thread: stopping its plug-ins, say.
  std::function<void()> onClose;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  std::atomic<int> closeRequests_{0};
  UniqueWindow window_;
};

struct PluginInfoText {
  Text name;
  Text producer;
  Text webAddress;
  Text email;
  Text description;
  std::int32_t reserved1 = 0;
  std::int32_t reserved2 = 0;
};

// Checks every call of a window's procedure for the exception chain head it
// leaves behind (NoteChainLeftChanged): the window is subclassed by a
// procedure that notes the head, calls the window's own and compares.
void WatchChainAroundProcedure(HWND window);

// Loads a plug-in DLL and calls its exports the way the viewer does. Each
// call returns nullopt / false when the export is missing. If the plug-in
// was loaded and not unloaded, the destructor unloads it before freeing the
// library, as the viewer does on exit.
class PluginHost {
 public:
  static constexpr const char* kApiVersionExport = "get_api_verion";
  static constexpr const char* kInfoExport = "get_plugin_info";
  static constexpr const char* kLoadExport = "on_plugin_load";
  static constexpr const char* kUnloadExport = "on_plugin_unload";
  static constexpr viewer_abi::ApiVersion kViewerApiVersion{1, 0};

  explicit PluginHost(const std::wstring& path);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  bool Loaded() const { return library_ != nullptr; }
  DWORD LoadError() const { return loadError_; }
  HMODULE Module() const { return library_.get(); }
  bool HasExport(const char* name) const;
  bool HasAllExports() const;

  std::optional<viewer_abi::ApiVersion> ApiVersion(viewer_abi::ApiVersion viewer = kViewerApiVersion);
  std::optional<PluginInfoText> Info();
  bool Load(std::int32_t pluginHandle, std::int32_t flag, HWND mainWindow);
  bool Unload();

 private:
  FARPROC Find(const char* name) const;

  UniqueLibrary library_;
  DWORD loadError_ = 0;
  bool pluginLoaded_ = false;
};

// Records every message box shown while it lives and dismisses it at once:
// a call-window hook on the creating thread catches the box as it
// initialises, and a watcher thread catches boxes that other threads of the
// process show. Each box is recorded once and handed to `sink` too.
class MessageBoxCatcher {
 public:
  using Sink = std::function<void(const MessageBoxRecord&)>;

  explicit MessageBoxCatcher(Sink sink = {});
  ~MessageBoxCatcher();
  MessageBoxCatcher(const MessageBoxCatcher&) = delete;
  MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

  std::vector<MessageBoxRecord> Records() const;
  // Runs while a box of the catcher's own thread is up, before it is
  // dismissed: what the user or the viewer does during the box's modal loop.
  std::function<void()> whileShown;

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static BOOL CALLBACK FindBox(HWND window, LPARAM self) noexcept;
  // Claims the box for this catcher, records it and returns the button id
  // that closes it; 0 when it is no message box or was claimed before.
  int Claim(HWND dialog);
  void Watch();

  Sink sink_;
  mutable std::mutex mutex_;
  std::vector<MessageBoxRecord> records_;
  MessageBoxCatcher* previous_ = nullptr;
  UniqueHook hook_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

// A catcher that also records each box in Sim()'s log and list.
std::unique_ptr<MessageBoxCatcher> CatchMessageBoxesIntoSim();

}  // namespace viewer_sim
