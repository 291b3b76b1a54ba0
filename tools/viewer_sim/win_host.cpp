#include "tools/viewer_sim/win_host.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <stdexcept>

#include "tools/viewer_sim/exception_frames.h"
#include "tools/viewer_sim/text.h"

namespace viewer_sim {
namespace {

constexpr wchar_t kWindowClass[] = L"VidudUDEViewerSimMain";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageBoxTextId = 0xFFFF;  // the static control holding a message box's text
constexpr auto kWatchInterval = std::chrono::milliseconds(20);
// A box's thread runs its modal loop and answers; only a busy machine
// delays it, and a hung thread is given up at once.
constexpr UINT kTextTimeoutMs = 30000;

template <typename Fn>
Fn As(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

Text TextOf(const wchar_t* text) { return text ? Text(ToUtf8(text)) : std::nullopt; }

// WM_GETTEXT with a timeout: the dialog may belong to a thread that is busy.
std::string WindowText(HWND window) {
  std::array<wchar_t, 4096> buffer{};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           kTextTimeoutMs, &copied)) {
    return {};
  }
  return ToUtf8(std::wstring_view(buffer.data(), std::min<std::size_t>(copied, buffer.size() - 1)));
}

bool IsDialog(HWND window) {
  std::array<wchar_t, 16> name{};
  return GetClassNameW(window, name.data(), static_cast<int>(name.size())) > 0 &&
         std::wcscmp(name.data(), kDialogClass) == 0;
}

// The MB_ button set of a message box, from the buttons it shows.
std::uint32_t ButtonStyle(HWND dialog) {
  const auto has = [dialog](int id) { return GetDlgItem(dialog, id) != nullptr; };
  const bool ok = has(IDOK);
  const bool cancel = has(IDCANCEL);
  const bool yes = has(IDYES);
  const bool no = has(IDNO);
  const bool retry = has(IDRETRY);
  if (ok) return cancel ? MB_OKCANCEL : MB_OK;
  if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
  if (has(IDABORT)) return MB_ABORTRETRYIGNORE;
  if (retry) return MB_RETRYCANCEL;
  return MB_TYPEMASK;
}

struct ThreadWindows {
  HWND box;
  int others = 0;
  int disabled = 0;
};

BOOL CALLBACK CountDisabled(HWND window, LPARAM param) noexcept {
  auto& windows = *reinterpret_cast<ThreadWindows*>(param);
  if (window != windows.box) {
    ++windows.others;
    if (!IsWindowEnabled(window)) ++windows.disabled;
  }
  return TRUE;
}

// A task-modal box disables every other window of its thread while it is
// shown; a box of any other modality leaves them as they were.
bool TaskModal(HWND dialog) {
  ThreadWindows windows{dialog};
  EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), CountDisabled, reinterpret_cast<LPARAM>(&windows));
  return windows.others > 0 && windows.disabled == windows.others;
}

// The button that dismisses a box with the least effect.
int DismissButton(HWND dialog) {
  for (int id : {IDOK, IDCANCEL, IDNO, IDABORT, IDIGNORE}) {
    if (GetDlgItem(dialog, id) != nullptr) return id;
  }
  return IDOK;
}

thread_local MessageBoxCatcher* tCatcher = nullptr;

constexpr char kWatchedProcedure[] = "VidudUDEViewerSimProcedure";

LRESULT CALLBACK ChainWatchingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const auto procedure = reinterpret_cast<WNDPROC>(GetPropA(window, kWatchedProcedure));
  if (procedure == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  const void* head = ExceptionChainHead();
  const LRESULT result = CallWindowProcA(procedure, window, message, wParam, lParam);
  if (ExceptionChainHead() != head) NoteChainLeftChanged("a window procedure");
  if (message == WM_NCDESTROY) RemovePropA(window, kWatchedProcedure);
  return result;
}

}  // namespace

void PumpMessages(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      InHostFrame([&message]() noexcept { DispatchMessageW(&message); });
    }
    if (done()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    // Wake for new messages, and at least every few ms for `done`.
    const auto wait = std::min<long long>(left.count(), 10);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
  }
}

HostWindow::HostWindow() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &HostWindow::Proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  // A second window in the same process finds the class registered already.
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::runtime_error("RegisterClassEx failed");
  }
  window_.reset(CreateWindowExW(0, kWindowClass, L"Viewer simulator", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                800, 600, nullptr, nullptr, GetModuleHandleW(nullptr), this));
  if (!window_) throw std::runtime_error("CreateWindowEx failed");
}

LRESULT CALLBACK HostWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_CLOSE) {
    if (auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
      ++self->closeRequests_;
      if (self->onClose) InHostFrame([self]() noexcept { self->onClose(); });
    }
    return 0;  // counted, not obeyed: the test decides when the host ends
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

PluginHost::PluginHost(const std::wstring& path) : library_(LoadLibraryW(path.c_str())) {
  if (!library_) loadError_ = GetLastError();
  Sim().SetHandlerRunner([](Handler handler) { InHostFrame([handler]() noexcept { handler(); }); });
}

PluginHost::~PluginHost() {
  if (pluginLoaded_) Unload();
}

FARPROC PluginHost::Find(const char* name) const { return library_ ? GetProcAddress(library_.get(), name) : nullptr; }

bool PluginHost::HasExport(const char* name) const { return Find(name) != nullptr; }

bool PluginHost::HasAllExports() const {
  return HasExport(kApiVersionExport) && HasExport(kInfoExport) && HasExport(kLoadExport) && HasExport(kUnloadExport);
}

std::optional<viewer_abi::ApiVersion> PluginHost::ApiVersion(viewer_abi::ApiVersion viewer) {
  const auto fn = As<viewer_abi::get_api_verion_fn>(Find(kApiVersionExport));
  if (!fn) return std::nullopt;
  viewer_abi::ApiVersion plugin{-1, -1};
  InHostFrame([&]() noexcept { fn(&viewer, &plugin); });
  return plugin;
}

std::optional<PluginInfoText> PluginHost::Info() {
  const auto fn = As<viewer_abi::get_plugin_info_fn>(Find(kInfoExport));
  if (!fn) return std::nullopt;
  viewer_abi::PluginInfo info{};
  InHostFrame([&]() noexcept { fn(&info); });
  return PluginInfoText{TextOf(info.name),        TextOf(info.producer), TextOf(info.webAddress), TextOf(info.email),
                        TextOf(info.description), info.reserved1,        info.reserved2};
}

bool PluginHost::Load(std::int32_t pluginHandle, std::int32_t flag, HWND mainWindow) {
  const auto fn = As<viewer_abi::on_plugin_load_fn>(Find(kLoadExport));
  if (!fn) return false;
  // From now on the viewer expects this handle in every call.
  Sim().Config().pluginHandle = pluginHandle;
  Sim().SetPluginStopped(false);
  InHostFrame([&]() noexcept { fn(pluginHandle, flag, mainWindow); });
  pluginLoaded_ = true;
  return true;
}

bool PluginHost::Unload() {
  const auto fn = As<viewer_abi::on_plugin_unload_fn>(Find(kUnloadExport));
  pluginLoaded_ = false;
  if (!fn) return false;
  InHostFrame([&]() noexcept { fn(); });
  Sim().SetPluginStopped(true);
  return true;
}

void WatchChainAroundProcedure(HWND window) {
  const LONG_PTR procedure = GetWindowLongPtrA(window, GWLP_WNDPROC);
  if (procedure == reinterpret_cast<LONG_PTR>(&ChainWatchingProcedure)) return;
  SetPropA(window, kWatchedProcedure, reinterpret_cast<HANDLE>(procedure));
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainWatchingProcedure));
}

MessageBoxCatcher::MessageBoxCatcher(Sink sink) : sink_(std::move(sink)), previous_(tCatcher) {
  hook_.reset(SetWindowsHookExW(WH_CALLWNDPROCRET, &MessageBoxCatcher::HookProc, nullptr, GetCurrentThreadId()));
  if (!hook_) throw std::runtime_error("SetWindowsHookEx failed");
  watcher_ = std::thread([this] { Watch(); });
  tCatcher = this;
}

MessageBoxCatcher::~MessageBoxCatcher() {
  stop_ = true;
  watcher_.join();
  tCatcher = previous_;
}

std::vector<MessageBoxRecord> MessageBoxCatcher::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

int MessageBoxCatcher::Claim(HWND dialog) {
  if (!IsDialog(dialog) || GetDlgItem(dialog, kMessageBoxTextId) == nullptr) return 0;
  static std::mutex claimedMutex;
  static std::vector<HWND> claimed;
  {
    // Shared by all catchers: the hook and the watcher race for the same box.
    std::lock_guard lock(claimedMutex);
    std::erase_if(claimed, [](HWND w) { return !IsWindow(w); });
    if (std::find(claimed.begin(), claimed.end(), dialog) != claimed.end()) return 0;
    claimed.push_back(dialog);
  }
  // Texts are read without a lock held: WM_GETTEXT may go to another thread.
  MessageBoxRecord record{WindowText(GetDlgItem(dialog, kMessageBoxTextId)), WindowText(dialog),
                          ButtonStyle(dialog) | (TaskModal(dialog) ? MB_TASKMODAL : 0u),
                          GetWindow(dialog, GW_OWNER) != nullptr};
  {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
  }
  if (sink_) sink_(record);
  return DismissButton(dialog);
}

LRESULT CALLBACK MessageBoxCatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && tCatcher != nullptr) {
      if (const int button = tCatcher->Claim(call->hwnd)) {
        if (tCatcher->whileShown) tCatcher->whileShown();
        EndDialog(call->hwnd, button);
      }
    }
  } catch (...) {
    // A box that could not be recorded still must not escape into the hook chain.
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK MessageBoxCatcher::FindBox(HWND window, LPARAM self) noexcept {
  try {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (const int button = reinterpret_cast<MessageBoxCatcher*>(self)->Claim(window)) {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
    }
  } catch (...) {
    // Keep enumerating: one unreadable window must not stop the watch.
  }
  return TRUE;
}

void MessageBoxCatcher::Watch() {
  while (!stop_) {
    EnumWindows(&MessageBoxCatcher::FindBox, reinterpret_cast<LPARAM>(this));
    std::this_thread::sleep_for(kWatchInterval);
  }
}

std::unique_ptr<MessageBoxCatcher> CatchMessageBoxesIntoSim() {
  return std::make_unique<MessageBoxCatcher>([](const MessageBoxRecord& box) { Sim().RecordMessageBox(box); });
}

}  // namespace viewer_sim
