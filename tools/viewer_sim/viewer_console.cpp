#include "tools/viewer_sim/viewer_console.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "peer_link/wire.h"
#include "peer_sdk/vidudude_peer.h"
#include "tools/viewer_sim/send_watch.h"
#include "tools/viewer_sim/text.h"
#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

namespace viewer_sim {
namespace {

constexpr std::size_t kLongRun = 4;  // a longer run of one call is shown by its start and length
constexpr DWORD kIdleWaitMs = 100;
constexpr std::size_t kBytesShown = 1000;
// The window property that keeps a watched window's own procedure.
constexpr wchar_t kOriginalProc[] = L"VidudUDE.ViewerConsole.Proc";

const char kHelp[] =
    "  load PATH              open a model (a Windows path, or a Unix path that Wine reaches as Z:)\n"
    "  select GUID...         select the objects with these IFC GUIDs (replaces the selection)\n"
    "  select-type TYPE...    select every object of these IFC types (IfcWall, IFCDOOR, slab, ...)\n"
    "  select-storey NAME     select every object on the storey with this name or GUID\n"
    "  clear                  clear the selection\n"
    "  press status|lines     press the status button or \"Aufma\xC3\x9Fzeilen erzeugen\"\n"
    "  ribbon                 the plug-in's buttons: caption, hint, image, enabled or greyed\n"
    "  status                 the link as the plug-in has it, its window, the peers running, the model\n"
    "  model                  the loaded model: storeys and object types with their counts\n"
    "  report-own on|off      whether the viewer reports the plug-in's own selections back to it (off)\n"
    "  unload                 stop the plug-in (it sends \"BIM end\")\n"
    "  reload                 stop the plug-in if it runs, then load and start it again (\"Bim Start\")\n"
    "  wait MS                let the viewer run for MS milliseconds (for scripts)\n"
    "  echo TEXT              print TEXT (for scripts: a mark that everything before it is done)\n"
    "  help                   this list\n"
    "  quit                   stop the plug-in and close the viewer; the end of input does the same\n";

const auto gStart = std::chrono::steady_clock::now();
Timestamps gStamps = Timestamps::kNone;
bool gAtLineStart = true;

long long Elapsed() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gStart).count();
}

// With time stamps, each line begins with the milliseconds since the start
// or with the clock time.
std::string Stamped(const std::string& text) {
  if (gStamps == Timestamps::kNone) return text;
  std::string out;
  for (const char c : text) {
    if (gAtLineStart) {
      char stamp[32];
      if (gStamps == Timestamps::kClock) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::snprintf(stamp, sizeof stamp, "[%02u:%02u:%02u.%03u] ", now.wHour, now.wMinute, now.wSecond,
                      now.wMilliseconds);
      } else {
        std::snprintf(stamp, sizeof stamp, "[%7lld ms] ", Elapsed());
      }
      out += stamp;
    }
    out += c;
    gAtLineStart = c == '\n';
  }
  return out;
}

// printf to stdout, the text being UTF-8: a console gets it as UTF-16, so
// that umlauts show whatever the console's code page; a pipe or file gets
// the bytes.
__attribute__((format(gnu_printf, 1, 2))) void Say(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  text = Stamped(text);
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = ToWide(text);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);  // whoever reads the pipe sees each line as it happens
  }
}

std::string Hex(std::uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string HexOf(HWND window) { return Hex(reinterpret_cast<std::uintptr_t>(window)); }

// Bytes as a quoted C-like text: printable ASCII as is, the rest escaped.
std::string Quoted(const char* bytes, std::size_t size) {
  std::string out = "\"";
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\0') {
      out += "\\0";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A message's bytes as the console shows them after its sender or target;
// of a long one (the selection of a large model) only the beginning.
std::string BytesOf(const COPYDATASTRUCT* data) {
  if (!data || !data->lpData || data->cbData == 0) return ", no text";
  const std::size_t shown = std::min<std::size_t>(data->cbData, kBytesShown);
  std::string text =
      ", " + std::to_string(data->cbData) + " bytes: " + Quoted(static_cast<const char*>(data->lpData), shown);
  if (shown < data->cbData) text += " ... (" + std::to_string(data->cbData - shown) + " more)";
  return text;
}

// " (taken)" and the like: what the reply means for the command it answers.
std::string ReplyMeaning(const COPYDATASTRUCT* data, LRESULT reply) {
  const std::string meaning =
      vidudude_reply_meaning(data ? static_cast<DWORD>(data->dwData) : 0, static_cast<DWORD>(reply));
  return meaning.empty() ? meaning : " (" + meaning + ")";
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Wine reaches the Unix file system as drive Z:.
std::wstring WindowsPath(const std::string& typed) {
  std::wstring path = ToWide(typed);
  if (!path.empty() && path.front() == L'/') {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    path.insert(0, L"Z:");
  }
  return path;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Reads stdin on a thread of its own, so that the viewer's thread keeps
// handling window messages (a peer's commands) while nobody types.
class LineReader {
 public:
  LineReader() : ready_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!ready_) throw std::runtime_error("CreateEvent failed");
    std::thread([this] { Read(); }).detach();
  }

  HANDLE Ready() const { return ready_.get(); }

  // The next line; nullopt while none is waiting. `ended` tells whether
  // input has ended and every line was taken.
  std::optional<std::string> Next(bool& ended) {
    std::lock_guard lock(mutex_);
    ended = lines_.empty() && ended_;
    if (lines_.empty()) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
  }

 private:
  // Detached: a read blocked on stdin cannot be interrupted; the process
  // ends with it. The reader owns nothing that the console frees.
  void Read() noexcept {
    try {
      for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        SetEvent(ready_.get());
      }
    } catch (...) {
      // Out of memory: input ends here.
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    SetEvent(ready_.get());
  }

  UniqueHandle ready_;
  std::mutex mutex_;
  std::deque<std::string> lines_;
  bool ended_ = false;
};

// The top-level windows of one process whose class name begins with `prefix`.
struct WindowSearch {
  DWORD pid;
  std::wstring prefix;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindows(HWND window, LPARAM param) noexcept {
  try {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search.pid && ClassOf(window).starts_with(search.prefix)) search.found.push_back(window);
  } catch (...) {
    // Out of memory: the window is left out.
  }
  return TRUE;
}

struct HookRemover {
  void operator()(HHOOK hook) const noexcept { UnhookWindowsHookEx(hook); }
};

// The executable file name of a process, from a process snapshot.
std::string ExeName(DWORD pid) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return "?";
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) return ToUtf8(entry.szExeFile);
  }
  return "?";
}

// A window as "1f0a2 (QUABO.EXE pid 3120)".
std::string Described(HWND window) {
  DWORD pid = 0;
  if (!IsWindow(window) || !GetWindowThreadProcessId(window, &pid)) return HexOf(window) + " (no such window)";
  return HexOf(window) + " (" + ExeName(pid) + " pid " + std::to_string(pid) + ")";
}

// A peer process as the plug-in looks for it, with its main window if any.
struct RunningPeer {
  std::string exe;
  DWORD pid = 0;
  HWND mainWindow = nullptr;
};

// What the console counts of the plug-in's sends, to tell after an action
// whether a message went out.
struct SendMark {
  int sends = 0;
  int searches = 0;
};

class Console;
thread_local Console* tConsole = nullptr;

class Console final : private SendObserver {
 public:
  explicit Console(const ConsoleOptions& options) : options_(options), sim_(Sim()) {
    gStamps = options.timestamps;
    interactive_ = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &consoleMode_) != 0;
    // Typed paths and names arrive as UTF-8, like the lines of a pipe.
    SetConsoleCP(CP_UTF8);
    tConsole = this;
    watch_.reset(SetWindowsHookExW(WH_CBT, &Console::OnWindowCreated, nullptr, GetCurrentThreadId()));
    if (!watch_) throw std::runtime_error("SetWindowsHookEx failed");
  }
  ~Console() {
    WatchSends(nullptr, nullptr);
    tConsole = nullptr;
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  int Run() {
    Say("viewer simulator: plug-in %s\n", ToUtf8(options_.plugin).c_str());
    if (!StartPlugin()) return 1;
    if (options_.model) Load(*options_.model);
    Say("Type \"help\" for the commands.\n");
    for (;;) {
      Flush();
      NoticeLinkEnded();
      if (window_.CloseRequests() > 0) {
        Say("the plug-in asked the viewer to close (WM_CLOSE to its main window): the viewer closes\n");
        break;
      }
      bool ended = false;
      if (const auto line = input_.Next(ended)) {
        if (!interactive_) Say("> %s\n", line->c_str());
        if (!Execute(*line)) break;
        continue;
      }
      if (ended) break;
      if (interactive_ && !prompted_) {
        Say("viewer> ");
        prompted_ = true;
      }
      const HANDLE ready = input_.Ready();
      MsgWaitForMultipleObjects(1, &ready, FALSE, kIdleWaitMs, QS_ALLINPUT);
      PumpMessages(std::chrono::milliseconds(0));
    }
    StopPlugin();
    Flush();
    return 0;
  }

 private:
  // Sits in front of the plug-in's window procedure to show the peers'
  // commands and the plug-in's replies; everything passes through unchanged.
  static LRESULT CALLBACK WatchCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(window, kOriginalProc));
    if (message != WM_COPYDATA || !tConsole) return CallWindowProcA(original, window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto from = reinterpret_cast<HWND>(wParam);
    const SendMark before = tConsole->mark_;
    try {
      tConsole->CommandArrives(from, data);
    } catch (...) {
      // A line that could not be printed must not disturb the command.
    }
    const LRESULT reply = CallWindowProcA(original, window, message, wParam, lParam);
    try {
      if (tConsole) tConsole->CommandAnswered(from, data, reply, before);
    } catch (...) {
      // As above.
    }
    return reply;
  }

  // Puts WatchCommands in front of each top-level window made on this
  // thread from now on (the plug-in's window among them), before it gets
  // its first message.
  static LRESULT CALLBACK OnWindowCreated(int code, WPARAM wParam, LPARAM lParam) noexcept {
    const auto window = reinterpret_cast<HWND>(wParam);
    const auto* create = code == HCBT_CREATEWND ? reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs : nullptr;
    if (create && create->hwndParent == nullptr && !GetPropW(window, kOriginalProc)) {
      SetPropW(window, kOriginalProc, reinterpret_cast<HANDLE>(GetWindowLongPtrA(window, GWLP_WNDPROC)));
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Console::WatchCommands));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  void CommandArrives(HWND from, const COPYDATASTRUCT* data) {
    Flush();
    DWORD pid = 0;
    GetWindowThreadProcessId(from, &pid);
    const std::string line = "  plug-in <- peer    command " + std::to_string(data ? data->dwData : 0) +
                             " from window " + HexOf(from) + " (pid " + std::to_string(pid) + ")";
    Say("%s%s\n", line.c_str(), BytesOf(data).c_str());
  }

  // A connected peer as the plug-in holds it.
  struct ConnectedPeer {
    HWND window;
    DWORD pid;
  };

  // The link as the plug-in keeps it: a connect adds its window (a second
  // window of a connected process takes that one's place; a refused connect
  // is not answered 2001), and one naming no window of another process
  // forgets them all; a leave takes its window away; the status button
  // tells whether the link is still active, also after the plug-in found
  // the last window gone.
  void CommandAnswered(HWND from, const COPYDATASTRUCT* data, LRESULT reply, SendMark before) {
    Flush();
    Say("  plug-in -> peer    reply %ld%s\n", static_cast<long>(reply), ReplyMeaning(data, reply).c_str());
    if (!data || reply != peer_link::kReplyTaken) return;
    if (data->dwData == peer_link::kCommandConnect) {
      DWORD pid = 0;
      if (IsWindow(from) && GetWindowThreadProcessId(from, &pid) && pid != GetCurrentProcessId()) {
        const auto same = std::ranges::find(connectedPeers_, pid, &ConnectedPeer::pid);
        if (same != connectedPeers_.end()) {
          same->window = from;
        } else {
          connectedPeers_.push_back({from, pid});
        }
      } else {
        connectedPeers_.clear();
      }
      activeText_ = StatusText();
    }
    if (data->dwData == peer_link::kCommandDisconnect) connectedPeers_.clear();
    if (data->dwData == peer_link::kCommandLeave) {
      std::erase_if(connectedPeers_, [&](const ConnectedPeer& p) { return p.window == from; });
    }
    const bool pathAsked = data->dwData == peer_link::kCommandSendModelPath;
    if ((data->dwData == peer_link::kCommandLoadModel && sim_.HasModel()) || pathAsked) {
      TellUnsent(before, "code 4 (the model path)", false);
    }
    if (data->dwData == peer_link::kCommandSendSelection) TellUnsent(before, "code 6 (the selection)", true);
  }

  // A connected window that has gone, or that the system gave to another
  // process since.
  static bool Gone(const ConnectedPeer& peer) {
    DWORD pid = 0;
    return !IsWindow(peer.window) || !GetWindowThreadProcessId(peer.window, &pid) || pid != peer.pid;
  }

  // The plug-in ends the link by itself once the last connected window has
  // gone (within seconds, or at a send to it): said once, after the viewer
  // calls that show it. One of several goes without a viewer call, so
  // without a word here; status shows it.
  void NoticeLinkEnded() {
    if (connectedPeers_.empty() || LinkActive()) return;
    for (const auto& peer : connectedPeers_) {
      if (!Gone(peer)) continue;
      Say("the plug-in ended the link: peer window %s %s\n", HexOf(peer.window).c_str(),
          IsWindow(peer.window) ? "belongs to another process now" : "has gone");
    }
    connectedPeers_.clear();
  }

  std::wstring StatusText() const {
    const auto buttons = sim_.Buttons();
    return buttons.empty() ? std::wstring() : buttons.front().text;
  }
  bool LinkActive() const { return plugin_ && !activeText_.empty() && StatusText() == activeText_; }

  void PeerSearch() override { ++mark_.searches; }

  void Sending(HWND target, WPARAM /*wParam*/, const COPYDATASTRUCT* data) override {
    Flush();
    ++mark_.sends;
    const std::string line = "  plug-in -> peer    code " + std::to_string(data ? data->dwData : 0) + " to window " +
                             Described(target) + " at " + std::to_string(Elapsed()) + " ms";
    Say("%s%s\n", line.c_str(), BytesOf(data).c_str());
  }

  void Sent(HWND target, bool answered, LRESULT reply, DWORD error, long long waitedMs, bool ifHung) override {
    Flush();
    if (answered) {
      Say("  plug-in <- peer    reply %ld after %lld ms\n", static_cast<long>(reply), waitedMs);
    } else if (error == ERROR_TIMEOUT && ifHung && waitedMs < 1000) {
      // Gave up at once, not after the full wait.
      Say("  plug-in <- peer    no reply: the peer's thread hangs since its last timeout; given up after %lld ms\n",
          waitedMs);
    } else if (error == ERROR_TIMEOUT) {
      Say("  plug-in <- peer    no reply: timed out after %lld ms\n", waitedMs);
    } else if (error == ERROR_INVALID_WINDOW_HANDLE || !IsWindow(target)) {
      Say("  plug-in <- peer    no reply: window %s has gone\n", HexOf(target).c_str());
    } else {
      Say("  plug-in <- peer    no reply after %lld ms (error %lu)\n", waitedMs, error);
    }
  }

  // After an action that makes the plug-in send `what`: says why nothing
  // went out, if nothing did.
  void TellUnsent(SendMark before, const char* what, bool selection) {
    Flush();
    if (!plugin_ || mark_.sends != before.sends) return;
    const char* why = "its text was blank (nothing to send)";
    if (selection && !LinkActive()) {
      why = "the link is inactive: selections go out only while a peer is connected";
    } else if (mark_.searches != before.searches &&
               std::ranges::none_of(RunningPeers(), [](const RunningPeer& p) { return p.mainWindow != nullptr; })) {
      why = "no peer found (no QUABO.EXE or QUABO_BIMPROJECT.EXE with a TMainForm window)";
    }
    Say("  plug-in -> peer    no %s sent: %s\n", what, why);
  }

  // Prints the viewer calls made since the last flush.
  void Flush() {
    const auto calls = sim_.Log().All();
    if (seen_ >= calls.size()) return;
    if (prompted_) Say("\n");
    prompted_ = false;
    while (seen_ < calls.size()) {
      const auto& call = calls[seen_];
      std::size_t run = 1;
      while (seen_ + run < calls.size() && calls[seen_ + run].name == call.name) ++run;
      const std::size_t shown = std::min(run, kLongRun);
      for (std::size_t i = 0; i < shown; ++i) {
        const auto& c = calls[seen_ + i];
        Say("%s%s\n", c.name.rfind("host:", 0) == 0 ? "  viewer  <- user    " : "  viewer  <- plug-in ",
            c.Line().c_str());
      }
      if (run > shown) Say("  viewer  <- plug-in ... %zu more %s calls\n", run - shown, call.name.c_str());
      seen_ += run;
    }
  }

  bool StartPlugin() {
    plugin_ = std::make_unique<PluginHost>(options_.plugin);
    if (!plugin_->Loaded()) {
      Say("cannot load %s: error %lu\n", ToUtf8(options_.plugin).c_str(), plugin_->LoadError());
      plugin_.reset();
      return false;
    }
    if (const auto info = plugin_->Info()) {
      Say("plug-in: %s - %s\n", info->name.value_or("(null)").c_str(), info->description.value_or("(null)").c_str());
    }
    if (WatchSends(plugin_->Module(), this) == 0) Say("the plug-in imports no send function: its sends go unseen\n");
    activeText_.clear();
    connectedPeers_.clear();
    const SendMark before = mark_;
    if (!plugin_->Load(sim_.Config().pluginHandle, 0, window_.Handle())) {
      Say("the plug-in has no on_plugin_load\n");
    }
    TellUnsent(before, "code 1 (\"Bim Start\")", false);
    ShowRibbon();
    return true;
  }

  void StopPlugin() {
    if (!plugin_) return;
    const SendMark before = mark_;
    plugin_->Unload();
    TellUnsent(before, "code 2 (\"BIM end\")", false);
    plugin_.reset();
    sim_.ForgetPlugin();
    connectedPeers_.clear();
    Say("the plug-in is stopped and unloaded\n");
  }

  void Load(const std::wstring& path) {
    const SendMark before = mark_;
    const auto read = sim_.LoadModel(path);
    if (read.ok()) TellUnsent(before, "code 4 (the model path)", false);
    Flush();
    if (read.ok()) {
      const std::size_t storeys = sim_.CurrentModel().Storeys().size();
      Say("model: %zu objects, %zu storey%s\n", read.objects.size(), storeys, storeys == 1 ? "" : "s");
    } else {
      Say("model not loaded: %s\n", read.error.c_str());
    }
  }

  void Select(std::vector<ObjectId> ids) {
    const Model& model = sim_.CurrentModel();
    Say("the user selects %zu object%s\n", ids.size(), ids.size() == 1 ? "" : "s");
    for (ObjectId id : ids) {
      if (const auto* o = model.Find(id)) {
        Say("    #%u %s \"%s\" %s\n", static_cast<unsigned>(id & 0xFFFFFFFFu), ToUtf8(o->type).c_str(),
            ToUtf8(o->name).c_str(), ToUtf8(GuidOf(*o)).c_str());
      }
    }
    const SendMark before = mark_;
    sim_.UserSelect(std::move(ids));
    TellUnsent(before, "code 6 (the selection)", true);
  }

  void Press(const std::string& which) {
    const auto buttons = sim_.Buttons();
    std::size_t index = buttons.size();
    if (which == "status" || which == "1") index = 0;
    if (which == "lines" || which == "2") index = 1;
    if (index >= buttons.size()) {
      Say(buttons.empty() ? "the plug-in has no buttons\n" : "press status or press lines\n");
      return;
    }
    const Button& button = buttons[index];
    Say("the user presses \"%s\"%s\n", ToUtf8(button.text).c_str(),
        button.enabled ? "" : ": it is greyed, nothing happens");
    if (!button.enabled) return;
    const SendMark before = mark_;
    sim_.Click(button.id);
    if (index == 1) TellUnsent(before, "code 9 (the lines button's list)", false);
  }

  void ShowRibbon() const {
    const auto buttons = sim_.Buttons();
    if (buttons.empty()) Say("ribbon: no buttons of the plug-in\n");
    for (const auto& b : buttons) {
      Say("ribbon: [%s] %s (hint \"%s\", image %s)\n", ToUtf8(b.text).c_str(), b.enabled ? "enabled" : "greyed",
          ToUtf8(b.hint).c_str(), ToUtf8(b.image).c_str());
    }
  }

  void ShowStatus() const {
    if (!plugin_) {
      Say("plug-in: not loaded\n");
    } else {
      for (HWND window : OwnWindows()) {
        Say("plug-in window: %s, class \"%s\"\n", HexOf(window).c_str(), ToUtf8(ClassOf(window)).c_str());
      }
      const std::string status = sim_.Buttons().empty() ? "no status button" : ToUtf8(StatusText());
      if (!LinkActive()) {
        Say("link: inactive, no peer connected (status button \"%s\")\n", status.c_str());
      } else if (connectedPeers_.empty()) {
        Say("link: active, but the connect named no peer window: messages go to the peers found by process "
            "(status button \"%s\")\n",
            status.c_str());
      }
      for (const auto& peer : connectedPeers_) {
        if (!LinkActive()) break;
        if (Gone(peer)) {
          Say("link: connected to peer window %s, which has gone: the plug-in drops it within 2 seconds "
              "(status button \"%s\")\n",
              HexOf(peer.window).c_str(), status.c_str());
        } else {
          Say("link: connected to peer window %s (status button \"%s\")\n", Described(peer.window).c_str(),
              status.c_str());
        }
      }
    }
    const auto peers = RunningPeers();
    // Programs of another name that connected: the plug-in never finds them
    // by their names, but talks to their windows.
    std::vector<ConnectedPeer> others;
    for (const auto& peer : connectedPeers_) {
      if (LinkActive() && !Gone(peer) &&
          std::ranges::none_of(peers, [&](const RunningPeer& p) { return p.pid == peer.pid; })) {
        others.push_back(peer);
      }
    }
    if (peers.empty() && others.empty()) {
      Say("peers running: none (a peer runs as QUABO.EXE or QUABO_BIMPROJECT.EXE)\n");
    }
    for (const auto& peer : peers) {
      Say("peer running: %s pid %lu, %s\n", peer.exe.c_str(), peer.pid,
          peer.mainWindow ? ("main window " + HexOf(peer.mainWindow)).c_str() : "no TMainForm window: gets nothing");
    }
    for (const auto& other : others) {
      Say("peer running: %s pid %lu, connected window %s (not a peer's name: it hears from the plug-in only while "
          "connected)\n",
          ExeName(other.pid).c_str(), other.pid, HexOf(other.window).c_str());
    }
    if (sim_.HasModel()) {
      Say("model: %s, %zu objects, %zu selected\n", ToUtf8(sim_.LoadedPath()).c_str(),
          sim_.CurrentModel().objects.size(), sim_.Selection().size());
    } else {
      Say("model: none\n");
    }
  }

  void ShowModel() const {
    if (!sim_.HasModel()) {
      Say("no model loaded\n");
      return;
    }
    const Model& model = sim_.CurrentModel();
    Say("model: %s, %zu objects\n", ToUtf8(sim_.LoadedPath()).c_str(), model.objects.size());
    for (const auto* storey : model.Storeys()) {
      std::size_t on = 0;
      for (const auto& o : model.objects) on += o.storey == storey->id ? 1 : 0;
      Say("  storey \"%s\" %s: %zu objects\n", ToUtf8(storey->name).c_str(), ToUtf8(GuidOf(*storey)).c_str(), on);
    }
    std::map<std::wstring, std::size_t> types;
    for (const auto& o : model.objects) ++types[o.type];
    for (const auto& [type, count] : types) Say("  %s: %zu\n", ToUtf8(type).c_str(), count);
  }

  // Top-level windows of this process other than the viewer's main window
  // and the system's input method window: the plug-in's hidden window.
  std::vector<HWND> OwnWindows() const {
    WindowSearch search{GetCurrentProcessId(), L"", {}};
    EnumWindows(&CollectWindows, reinterpret_cast<LPARAM>(&search));
    std::erase_if(search.found, [this](HWND w) { return w == window_.Handle() || ClassOf(w) == L"IME"; });
    return search.found;
  }

  // Peer processes as the plug-in looks for them, each with its main window.
  static std::vector<RunningPeer> RunningPeers() {
    std::vector<RunningPeer> peers;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return peers;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
      const std::string exe = ToUtf8(entry.szExeFile);
      if (lstrcmpiA(exe.c_str(), VIDUDUDE_PEER_EXE) != 0 && lstrcmpiA(exe.c_str(), VIDUDUDE_PEER_EXE_BIMPROJECT) != 0) {
        continue;
      }
      WindowSearch search{entry.th32ProcessID, ToWide(VIDUDUDE_PEER_WINDOW_CLASS), {}};
      EnumWindows(&CollectWindows, reinterpret_cast<LPARAM>(&search));
      peers.push_back({ToUtf8(entry.szExeFile), entry.th32ProcessID, search.found.empty() ? nullptr : search.found[0]});
    }
    return peers;
  }

  void SelectBy(const std::string& command, const std::vector<std::string>& words, const std::string& argument) {
    if (!sim_.HasModel()) {
      Say("no model loaded\n");
      return;
    }
    const Model& model = sim_.CurrentModel();
    std::vector<ObjectId> ids;
    if (command == "select-storey") {
      ids = model.OnStorey(ToWide(argument));
      if (ids.empty()) Say("no storey \"%s\" with objects on it; \"model\" lists them\n", argument.c_str());
    } else {
      for (std::size_t i = 1; i < words.size(); ++i) {
        const auto found = command == "select" ? model.WithGuid(ToWide(words[i])) : model.OfType(ToWide(words[i]));
        if (found.empty()) Say("no object %s %s\n", command == "select" ? "has the GUID" : "of type", words[i].c_str());
        ids.insert(ids.end(), found.begin(), found.end());
      }
    }
    Select(std::move(ids));
  }

  // Carries out one line; false to end the session.
  bool Execute(const std::string& line) {
    const auto words = Words(line);
    if (words.empty()) return true;
    const std::string& command = words[0];
    const std::string rest = line.substr(std::min(line.size(), line.find(command) + command.size()));
    const auto argument = [&rest] {
      const auto start = rest.find_first_not_of(" \t");
      return start == std::string::npos ? std::string() : rest.substr(start);
    };
    if (command == "quit" || command == "exit") return false;
    if (command == "help") {
      Say("%s", kHelp);
    } else if (command == "load" && !argument().empty()) {
      Load(WindowsPath(argument()));
    } else if (command == "select" || command == "select-type" || command == "select-storey") {
      SelectBy(command, words, argument());
    } else if (command == "clear") {
      Select({});
    } else if (command == "press" && words.size() == 2) {
      Press(words[1]);
    } else if (command == "ribbon") {
      ShowRibbon();
    } else if (command == "status") {
      ShowStatus();
    } else if (command == "model") {
      ShowModel();
    } else if (command == "report-own" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
      sim_.Config().pluginSelectNotifies = words[1] == "on";
      Say("the viewer %s the plug-in's own selections back to it\n", words[1] == "on" ? "reports" : "does not report");
    } else if (command == "unload") {
      if (!plugin_) Say("the plug-in is not loaded\n");
      StopPlugin();
    } else if (command == "reload") {
      StopPlugin();
      StartPlugin();
    } else if (command == "echo") {
      Say("%s\n", argument().c_str());
    } else if (command == "wait" && words.size() == 2) {
      PumpMessages(std::chrono::milliseconds(std::strtol(words[1].c_str(), nullptr, 10)));
    } else {
      Say("unknown command or missing argument: %s (type \"help\")\n", line.c_str());
    }
    return true;
  }

  ConsoleOptions options_;
  ViewerSim& sim_;
  std::unique_ptr<MessageBoxCatcher> catcher_ = CatchMessageBoxesIntoSim();
  HostWindow window_;
  std::unique_ptr<PluginHost> plugin_;
  LineReader input_;
  std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover> watch_;
  // The connected windows in connect order, one per process.
  std::vector<ConnectedPeer> connectedPeers_;
  // The status button's text right after a connect: the link is active
  // while the button shows it.
  std::wstring activeText_;
  SendMark mark_;
  std::size_t seen_ = 0;
  bool interactive_ = false;
  bool prompted_ = false;
  DWORD consoleMode_ = 0;
};

}  // namespace

const char* ConsoleHelp() { return kHelp; }

int RunConsole(const ConsoleOptions& options) {
  Console console(options);
  return console.Run();
}

}  // namespace viewer_sim
