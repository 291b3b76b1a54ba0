#include "platform/win32_platform.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "platform/foreign_call_guard.h"
#include "platform/win32_handles.h"

namespace platform {

static_assert(sizeof(CopyDataRecord) == sizeof(COPYDATASTRUCT));
static_assert(offsetof(CopyDataRecord, size) == offsetof(COPYDATASTRUCT, cbData));
static_assert(offsetof(CopyDataRecord, data) == offsetof(COPYDATASTRUCT, lpData));
static_assert(kWmCopyData == WM_COPYDATA && kWmClose == WM_CLOSE && kWmTimer == WM_TIMER);
static_assert(kCsidlProgramFiles == CSIDL_PROGRAM_FILES);

namespace {

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle AsHandle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

const char kMessageWindowClass[] = VIDUDUDE_PLUGIN_WINDOW_CLASS;

// The system calls this for every message of the hidden window. The
// controller is found through the window's user data, stored with the
// first message and cleared before the window is destroyed; it learns its
// window then too, so that its default handling gets the real handle also
// for the messages that arrive inside CreateWindowEx.
LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* procedure = static_cast<WindowProcedure*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(procedure));
    procedure->WindowCreated(AsHandle(window));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  auto* procedure = reinterpret_cast<WindowProcedure*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (procedure == nullptr || message == WM_NCDESTROY) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return procedure->WndProc(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

class MessageWindow final : public OwnedWindow {
 public:
  MessageWindow(std::shared_ptr<const WindowClass> windowClass, WindowProcedure& procedure)
      : class_(std::move(windowClass)),
        window_(CreateWindowExA(WS_EX_TOOLWINDOW, class_->Name(), "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                class_->Module(), &procedure)) {
    if (!window_) throw std::runtime_error("the hidden message window could not be created");
  }
  WindowHandle Handle() const override { return AsHandle(window_.get()); }

 private:
  // Declared before the window, so the window goes first. A class that a
  // DLL registered outlives the DLL unless it is removed, and a later load
  // at another address would then call a stale procedure.
  std::shared_ptr<const WindowClass> class_;
  UniqueWindow window_;
};

// A timer with no procedure of its own: each tick reaches the window's
// procedure as WM_TIMER, so no tick reaches the controller once the window
// is cut from it, even should the kill fail; the timer then goes with the
// window.
class WindowTimer final : public OwnedTimer {
 public:
  WindowTimer(HWND window, UINT_PTR id, UINT intervalMs) : window_(window), id_(id) {
    if (SetTimer(window_, id_, intervalMs, nullptr) == 0) throw std::runtime_error("no timer for the window");
  }
  ~WindowTimer() override { KillTimer(window_, id_); }
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

 private:
  HWND window_;
  UINT_PTR id_;
};

}  // namespace

bool Win32Platform::WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) {
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
  if (!snapshot) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    const std::size_t length = strnlen(entry.szExeFile, sizeof(entry.szExeFile));
    visit(entry.th32ProcessID, std::string_view(entry.szExeFile, length));
  }
  return true;
}

namespace {

struct WindowSearch {
  const std::function<bool(WindowHandle)>& visit;
  std::exception_ptr failure;
};

// A failure must not unwind through the system's frames: it is carried out
// of the enumeration and raised again by the caller.
BOOL CALLBACK VisitWindow(HWND window, LPARAM param) noexcept {
  auto& search = *reinterpret_cast<WindowSearch*>(param);
  try {
    return search.visit(AsHandle(window)) ? TRUE : FALSE;
  } catch (...) {
    search.failure = std::current_exception();
    return FALSE;
  }
}

}  // namespace

void Win32Platform::EnumTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
  WindowSearch search{visit, nullptr};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
  if (search.failure) std::rethrow_exception(search.failure);
}

bool Win32Platform::WindowExists(WindowHandle window) { return IsWindow(AsWindow(window)) != FALSE; }

std::uint32_t Win32Platform::WindowProcessId(WindowHandle window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(AsWindow(window), &pid);
  return pid;
}

std::uint32_t Win32Platform::CurrentProcessId() { return GetCurrentProcessId(); }

std::string Win32Platform::WindowClassName(WindowHandle window, std::size_t bufferChars) {
  std::vector<char> buffer(bufferChars + 1, '\0');
  const int copied = GetClassNameA(AsWindow(window), buffer.data(), static_cast<int>(bufferChars));
  return std::string(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

std::uint32_t Win32Platform::DeliverCopyData(WindowHandle target, WindowHandle sender, const CopyDataRecord& record) {
  const HWND window = AsWindow(target);
  COPYDATASTRUCT data{record.code, record.size, const_cast<void*>(record.data)};
  DWORD_PTR reply = 0;
  // A busy peer is waited for in full. A window that already let one send
  // time out is not waited for again while the system sees its thread hung;
  // once it answers, it is waited for in full again.
  const bool timedOutBefore = std::ranges::find(unresponsive_, window) != unresponsive_.end();
  const UINT flags = timedOutBefore ? SMTO_NORMAL | SMTO_ABORTIFHUNG : SMTO_NORMAL;
  const DWORD began = GetTickCount();
  if (SendMessageTimeoutA(window, WM_COPYDATA, static_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&data), flags,
                          kSendTimeoutMs, &reply)) {
    std::erase(unresponsive_, window);
    return static_cast<std::uint32_t>(reply);
  }
  const DWORD waited = GetTickCount() - began;
  if (!IsWindow(window)) {
    SetDeliveryEnd(SendEnd::kWindowGone, waited);
  } else {
    SetDeliveryEnd(timedOutBefore && waited < kSendTimeoutMs / 2 ? SendEnd::kHung : SendEnd::kTimedOut, waited);
  }
  std::erase_if(unresponsive_, [](HWND w) { return !IsWindow(w); });
  // Looked up again: sends made by commands handled during the wait change
  // the list.
  if (IsWindow(window) && std::ranges::find(unresponsive_, window) == unresponsive_.end()) {
    unresponsive_.push_back(window);
  }
  return 0;
}

void Win32Platform::PostClose(WindowHandle window) { PostMessageA(AsWindow(window), WM_CLOSE, 0, 0); }

void Win32Platform::NoteConnectedPeers(WindowHandle window, std::span<const WindowHandle> peers) noexcept {
  for (std::size_t i = 0; i < kNotedPeers; ++i) {
    char name[sizeof kConnectedPeerProperty + 2];
    std::snprintf(name, sizeof name, "%s%u", kConnectedPeerProperty, static_cast<unsigned>(i + 1));
    const WindowHandle peer = i < peers.size() ? peers[i] : 0;
    if (peer == 0) {
      RemovePropA(AsWindow(window), name);
    } else {
      SetPropA(AsWindow(window), name, AsWindow(peer));
    }
  }
}

Win32Platform::Win32Platform() : messageClass_(kMessageWindowClass, MessageWindowProc) {}

// Fails, harmlessly, while a window of the class still lives.
Win32Platform::~Win32Platform() { UnregisterClassA(kMessageWindowClass, CurrentModule()); }

std::unique_ptr<OwnedWindow> Win32Platform::CreateMessageWindow(WindowProcedure& procedure) {
  return std::make_unique<MessageWindow>(messageClass_.Acquire(), procedure);
}

std::intptr_t Win32Platform::DefaultWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                               std::intptr_t lParam) {
  return DefWindowProcA(AsWindow(window), message, wParam, lParam);
}

std::unique_ptr<OwnedTimer> Win32Platform::StartTimer(WindowHandle window, std::uintptr_t id,
                                                      std::uint32_t intervalMs) {
  return std::make_unique<WindowTimer>(AsWindow(window), id, intervalMs);
}

void Win32Platform::RunContained(const std::function<void()>& work) {
  struct Pending {
    const std::function<void()>& work;
    std::exception_ptr failure;
  } pending{work, nullptr};
  std::uint32_t code = 0;
  const bool completed = CallGuarded(
      [](void* context) noexcept {
        auto& p = *static_cast<Pending*>(context);
        try {
          p.work();
        } catch (...) {
          p.failure = std::current_exception();
        }
      },
      &pending, code);
  if (!completed) throw ContainedFault(code);
  if (pending.failure) std::rethrow_exception(pending.failure);
}

// A pinned module is never unmapped before the process ends; a counted
// reference could only be dropped from code inside the module, which would
// then return into unmapped memory.
void Win32Platform::KeepLoaded() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(CurrentModule()), &self);
}

void Win32Platform::ShowMessage(const std::string& text, const std::string& caption) {
  // Modal to the viewer's whole thread: the viewer cannot be closed, and
  // the plug-in stopped, behind the box.
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_TASKMODAL);
}

std::string Win32Platform::SpecialFolderPath(int csidl) {
  char buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) return {};
  return std::string(buffer);
}

std::wstring Win32Platform::ToWide(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return wide;
}

namespace {

struct Narrowed {
  std::string text;
  bool exact = true;
};

// Letters that the ANSI code page lacks become its default character, never
// a look-alike letter that would name something else.
Narrowed Narrow(const wchar_t* wide) {
  // UTF-8 as the ANSI code page has every letter and takes neither the
  // best-fit flag nor the default-character report.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* const usedDefaultReport = utf8 ? nullptr : &usedDefault;
  const int length = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, usedDefaultReport);
  if (length <= 1) return {};
  std::string ansi(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, ansi.data(), length, nullptr, usedDefaultReport);
  ansi.resize(static_cast<std::size_t>(length - 1));
  return {std::move(ansi), usedDefault == FALSE};
}

std::wstring ShortPathName(const wchar_t* path) {
  const DWORD length = GetShortPathNameW(path, nullptr, 0);
  if (length == 0) return {};
  std::wstring shortPath(length, L'\0');
  const DWORD copied = GetShortPathNameW(path, shortPath.data(), length);
  if (copied == 0 || copied >= length) return {};
  shortPath.resize(copied);
  return shortPath;
}

// Volume and file index: what tells two names of one file apart from two
// files.
std::optional<std::tuple<DWORD, DWORD, DWORD>> FileIdentity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return std::tuple{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool NameSameFile(const std::string& ansiPath, const wchar_t* widePath) {
  // No access asked for: the identity is readable even while the viewer
  // holds the file open.
  const UniqueFile byAnsi(
      CreateFileA(ansiPath.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const UniqueFile byWide(
      CreateFileW(widePath, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!byAnsi || !byWide) return false;
  const auto identity = FileIdentity(byAnsi.get());
  return identity && identity == FileIdentity(byWide.get());
}

}  // namespace

std::string Win32Platform::FromWide(const wchar_t* wide) {
  if (wide == nullptr || *wide == L'\0') return {};
  return Narrow(wide).text;
}

std::string Win32Platform::PathFromWide(const wchar_t* path) {
  if (path == nullptr || *path == L'\0') return {};
  Narrowed full = Narrow(path);
  if (full.exact) return std::move(full.text);
  // The short form spells the same file in letters every code page has.
  const std::wstring shortPath = ShortPathName(path);
  if (!shortPath.empty()) {
    Narrowed brief = Narrow(shortPath.c_str());
    if (brief.exact && NameSameFile(brief.text, path)) return std::move(brief.text);
  }
  // With the default character in it, the text names no file at all.
  return std::move(full.text);
}

std::function<void*(const char* name)> HostExecutableExports() {
  HMODULE host = GetModuleHandleA(nullptr);
  if (host == nullptr) return {};
  return [host](const char* name) { return reinterpret_cast<void*>(GetProcAddress(host, name)); };
}

}  // namespace platform
