// The Windows implementation of the platform interface.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "peer_sdk/vidudude_peer.h"
#include "platform/platform.h"
#include "platform/win32_handles.h"

namespace platform {

class Win32Platform : public Platform {
 public:
  // The hidden windows' class is registered under the module that holds
  // this code: the plug-in's own DLL.
  Win32Platform();
  // A window class left behind by a window of another thread goes with the
  // library once that window has gone.
  ~Win32Platform() override;

  bool WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) override;
  void EnumTopLevelWindows(const std::function<bool(WindowHandle)>& visit) override;
  bool WindowExists(WindowHandle window) override;
  std::uint32_t WindowProcessId(WindowHandle window) override;
  std::uint32_t CurrentProcessId() override;
  std::string WindowClassName(WindowHandle window, std::size_t bufferChars) override;
  void PostClose(WindowHandle window) override;
  void NoteConnectedPeers(WindowHandle window, std::span<const WindowHandle> peers) noexcept override;
  std::unique_ptr<OwnedWindow> CreateMessageWindow(WindowProcedure& procedure) override;
  std::intptr_t DefaultWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;
  std::unique_ptr<OwnedTimer> StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t intervalMs) override;
  void RunContained(const std::function<void()>& work) override;
  void KeepLoaded() override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  std::string SpecialFolderPath(int csidl) override;
  std::wstring ToWide(std::string_view ansi) override;
  std::string FromWide(const wchar_t* wide) override;
  std::string PathFromWide(const wchar_t* path) override;

  // The support record's needs, in win32_support_log.cpp.
  LocalTime Now() override;
  std::uint32_t TickMs() override;
  StartFacts DescribeStart() override;
  std::string LastFaultPlace() override;
  std::string ProcessName(std::uint32_t pid) override;
  std::string Utf8FromAnsi(std::string_view ansi) override;
  std::optional<std::uint32_t> LogLevelSetting(bool machinePolicy) override;
  std::unique_ptr<SupportLogFile> OpenSupportLog() override;
  std::unique_ptr<SupportLogLock> LockSupportLog() override;
  bool StartSupportLogAfresh() override;
  void ReportSystemEvent(SystemEvent event, std::string_view utf8Text) override;

 protected:
  std::uint32_t DeliverCopyData(WindowHandle target, WindowHandle sender, const CopyDataRecord& record) override;

 private:
  SharedWindowClass messageClass_;
  // Windows whose last send timed out, until one of them answers again.
  std::vector<HWND> unresponsive_;
  // The support log's lock: a word in memory that the user's processes
  // share, mapped at its first use.
  UniqueKernelObject supportLogMapping_;
  std::unique_ptr<volatile LONG, void (*)(volatile LONG*)> supportLogLock_{nullptr, nullptr};
  // Mapped once: a word that could not be had is not asked for per line.
  bool supportLogLockMapped_ = false;
};

// The support log's folder below the user's local application data, its
// files, and the source of the plug-in's entries in the event log.
inline constexpr wchar_t kSupportLogFolder[] = L"VidudUDE";
inline constexpr wchar_t kSupportLogFile[] = L"VidudUDE.log";
inline constexpr wchar_t kOlderSupportLogFile[] = L"VidudUDE.old.log";
inline constexpr wchar_t kEventSource[] = L"VidudUDE";
// How long a line waits for another process that holds the log's lock; a
// holder keeps it for one write, or for the copy of one full log.
inline constexpr DWORD kSupportLogLockWaitMs = 200;

// How long one send waits for a peer's reply before it counts as lost.
inline constexpr UINT kSendTimeoutMs = VIDUDUDE_PLUGIN_SEND_TIMEOUT_MS;

// The platform the plug-in runs on, made once at library start.
std::unique_ptr<Platform> MakeSystemPlatform();

// Looks a name up among the exports of the executable of this process;
// empty when the system gives no module handle for it.
std::function<void*(const char* name)> HostExecutableExports();

}  // namespace platform
