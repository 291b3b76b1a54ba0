// peer_sim: plays the peer application that the plug-in talks to through
// WM_COPYDATA. It owns one top-level window, prints every message it gets on
// stdout and takes commands on stdin, one per line (see README.md). With
// --interactive, or when stdin is a console, it is a console for a person
// instead: protocol commands by name and a readable log (console.h).

#include <windows.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "console.h"
#include "escape.h"
#include "peer_link/wire.h"
#include "platform/win32_handles.h"

namespace {

// Thread messages from the stdin reader to the window's thread.
constexpr UINT kCommandMessage = WM_APP + 1;  // lParam: std::string*, owned by the receiver
constexpr UINT kInputEndedMessage = WM_APP + 2;
constexpr UINT kSendTimeoutMs = peer_console::kSendTimeoutMs;

// Ends a hang or a busy period before its time: set by the stdin reader on
// "wake", which the window's thread cannot read while it sleeps.
HANDLE gWake = nullptr;

// One write per line straight to the handle: stdout is usually a pipe and
// the reader must see each line as soon as it is printed.
void Emit(const std::string& line) {
  const std::string out = line + "\n";
  const HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  const char* p = out.data();
  DWORD left = static_cast<DWORD>(out.size());
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(h, p, left, &written, nullptr) || written == 0) return;
    p += written;
    left -= written;
  }
}

std::string Hex(const void* p) {
  char buf[2 * sizeof(void*) + 1];
  const auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<std::uintptr_t>(p), 16);
  return std::string(buf, r.ptr);
}

template <class T>
std::optional<T> ParseNumber(std::string_view s, int base = 10) {
  if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
  T value{};
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

// Splits off the first space-separated word; the rest keeps everything after
// that single space (a TEXT argument may hold further spaces).
std::pair<std::string_view, std::string_view> SplitWord(std::string_view s) {
  const auto space = s.find(' ');
  if (space == std::string_view::npos) return {s, {}};
  return {s.substr(0, space), s.substr(space + 1)};
}

struct Options {
  std::string className{peer_link::kPeerWindowClass};
  std::string title = "peer_sim";
  LRESULT reply = 1;
  bool interactive = false;
  std::string pluginClass{peer_link::kPluginWindowClass};
};

bool IsConsole(DWORD stdHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(stdHandle), &mode) != 0;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--interactive") {
      o.interactive = true;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const char* value = argv[++i];
    if (arg == "--class") {
      o.className = value;
    } else if (arg == "--plugin-class") {
      o.pluginClass = value;
    } else if (arg == "--title") {
      o.title = value;
    } else if (arg == "--reply") {
      const auto n = ParseNumber<long>(value);
      if (!n) return std::nullopt;
      o.reply = *n;
    } else {
      return std::nullopt;
    }
  }
  return o;
}

class PeerSim {
 public:
  explicit PeerSim(const Options& o)
      : class_(o.className.c_str(), &PeerSim::Proc), reply_(o.reply), pluginClass_(o.pluginClass) {
    window_.reset(CreateWindowExA(0, class_.Name(), o.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  400, 300, nullptr, nullptr, class_.Module(), this));
    if (window_ && o.interactive) {
      console_.emplace(window_.get(), IsConsole(STD_INPUT_HANDLE) ? GetConsoleCP() : CP_UTF8, o.pluginClass, Emit);
    }
  }

  HWND Window() const { return window_.get(); }

  enum class Outcome { Continue, Quit };

  // Called once the reader runs: the greeting of the console.
  void Started() const {
    if (console_) console_->Greet();
  }

  Outcome HandleCommand(const std::string& line) {
    if (console_) return console_->Handle(line) ? Outcome::Continue : Outcome::Quit;
    const auto [word, rest] = SplitWord(line);
    if (word == "quit") {
      Emit("ack quit");
      return Outcome::Quit;
    }
    if (Execute(word, rest)) {
      Emit("ack " + std::string(word));
      // Busy after the ack, so that the test knows when it began.
      if (busyMs_ > 0) WaitForSingleObject(gWake, std::exchange(busyMs_, 0));
    } else {
      Emit("error " + line);
    }
    return Outcome::Continue;
  }

 private:
  struct Reaction {
    ULONG_PTR code;
    std::string bytes;
  };

  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    try {
      if (msg == WM_NCCREATE) {
        SetWindowLongPtrA(w, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
      }
      auto* self = reinterpret_cast<PeerSim*>(GetWindowLongPtrA(w, GWLP_USERDATA));
      if (self && msg == WM_COPYDATA) {
        return self->OnCopyData(reinterpret_cast<HWND>(wp), reinterpret_cast<const COPYDATASTRUCT*>(lp));
      }
      if (self && msg == WM_NCDESTROY) {
        // However the window goes, the owner must not destroy it again.
        static_cast<void>(self->window_.release());
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
      }
    } catch (...) {
      return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
  }

  LRESULT OnCopyData(HWND from, const COPYDATASTRUCT* cds) {
    if (console_) {
      console_->Received(from, *cds);
      return console_->Reply();
    }
    std::string_view bytes;
    if (cds->lpData) bytes = std::string_view(static_cast<const char*>(cds->lpData), cds->cbData);
    Emit("recv code=" + std::to_string(cds->dwData) + " cb=" + std::to_string(cds->cbData) + " from=" + Hex(from) +
         " data=" + (cds->lpData ? peer_escape::Escape(bytes) : std::string("null")));
    if (from) target_ = from;
    if (cds->dwData == peer_link::kCodeCreateLines && lines_) PrintLines(bytes);
    if (const auto it = reactions_.find(cds->dwData); it != reactions_.end() && from) {
      const Reaction r = it->second;
      Send(from, r.code, r.bytes.data(), static_cast<DWORD>(r.bytes.size()));
    }
    if (hangMs_ > 0) WaitForSingleObject(gWake, std::exchange(hangMs_, 0));
    return reply_;
  }

  // The real application makes one measurement line per GUID of a code-9 list.
  static void PrintLines(std::string_view bytes) {
    std::string_view text = bytes.substr(0, bytes.find('\0'));
    if (const auto bar = text.find('|'); bar != std::string_view::npos) text.remove_prefix(bar + 1);
    if (text == peer_link::kNoGuids) return;
    int n = 0;
    while (!text.empty()) {
      const auto end = text.find("\r\n");
      const std::string_view guid = text.substr(0, end);
      if (!guid.empty()) Emit("line " + std::to_string(++n) + " guid=" + peer_escape::Escape(guid));
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 2);
    }
  }

  void Send(HWND to, ULONG_PTR code, const void* data, DWORD cb) {
    COPYDATASTRUCT cds{code, cb, const_cast<void*>(data)};
    DWORD_PTR result = 0;
    const LRESULT ok = to ? SendMessageTimeoutA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(window_.get()),
                                                reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, kSendTimeoutMs, &result)
                          : 0;
    const std::string head = "sent code=" + std::to_string(code);
    Emit(ok ? head + " reply=" + std::to_string(static_cast<LRESULT>(result)) : head + " failed");
  }

  // What a peer started after the viewer does: the plug-in's hidden window
  // is the top-level window of its class in the viewer's process.
  HWND FindPluginWindow(DWORD viewerPid) const {
    for (HWND w = FindWindowExA(nullptr, nullptr, pluginClass_.c_str(), nullptr); w;
         w = FindWindowExA(nullptr, w, pluginClass_.c_str(), nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == viewerPid) return w;
    }
    return nullptr;
  }

  // Runs one command; false when it is unknown or malformed.
  bool Execute(std::string_view word, std::string_view rest) {
    if (word == "reply") {
      const auto n = ParseNumber<long>(rest);
      if (!n) return false;
      reply_ = *n;
      return true;
    }
    if (word == "send" || word == "sendraw" || word == "sendnull") {
      const auto [codeText, arg] = SplitWord(rest);
      const auto code = ParseNumber<ULONG_PTR>(codeText);
      if (!code) return false;
      if (word == "sendnull") {
        const auto cb = ParseNumber<DWORD>(arg);
        if (!cb) return false;
        Send(target_, *code, nullptr, *cb);
        return true;
      }
      auto bytes = word == "send" ? peer_escape::Unescape(arg) : peer_escape::DecodeHex(arg);
      if (!bytes) return false;
      if (word == "send") bytes->push_back('\0');
      Send(target_, *code, bytes->data(), static_cast<DWORD>(bytes->size()));
      return true;
    }
    if (word == "target") {
      if (const auto [how, pidText] = SplitWord(rest); how == "find") {
        const auto viewerPid = ParseNumber<DWORD>(pidText);
        if (!viewerPid) return false;
        target_ = FindPluginWindow(*viewerPid);
        if (target_) Emit("found hwnd=" + Hex(target_));
        return target_ != nullptr;
      }
      const auto h = ParseNumber<std::uintptr_t>(rest, 16);
      if (!h) return false;
      target_ = reinterpret_cast<HWND>(*h);
      return true;
    }
    if (word == "on") {
      const auto [codeText, action] = SplitWord(rest);
      const auto code = ParseNumber<ULONG_PTR>(codeText);
      if (!code) return false;
      if (action == "off") {
        reactions_.erase(*code);
        return true;
      }
      const auto [verb, sendArgs] = SplitWord(action);
      const auto [code2Text, text] = SplitWord(sendArgs);
      const auto code2 = ParseNumber<ULONG_PTR>(code2Text);
      auto bytes = peer_escape::Unescape(text);
      if (verb != "send" || !code2 || !bytes) return false;
      bytes->push_back('\0');
      reactions_[*code] = Reaction{*code2, std::move(*bytes)};
      return true;
    }
    if (word == "lines") {
      if (rest != "on" && rest != "off") return false;
      lines_ = rest == "on";
      return true;
    }
    if (word == "hang") {
      const auto ms = ParseNumber<DWORD>(rest);
      if (!ms) return false;
      hangMs_ = *ms;
      return true;
    }
    if (word == "busy") {
      const auto ms = ParseNumber<DWORD>(rest);
      if (!ms) return false;
      busyMs_ = *ms;
      return true;
    }
    if (word == "close" && rest.empty()) {
      window_.reset();
      return true;
    }
    return false;
  }

  // Declared before the window, so the window goes first.
  platform::WindowClass class_;
  platform::UniqueWindow window_;
  HWND target_ = nullptr;
  LRESULT reply_;
  bool lines_ = true;
  DWORD hangMs_ = 0;
  DWORD busyMs_ = 0;
  std::string pluginClass_;
  std::map<ULONG_PTR, Reaction> reactions_;
  std::optional<peer_console::Console> console_;
};

// Hands a message to the window's thread; a full queue clears quickly, so
// retry for a bounded while rather than drop a command.
bool PostToThread(DWORD thread, UINT msg, LPARAM lp) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (PostThreadMessageA(thread, msg, 0, lp)) return true;
    Sleep(10);
  }
  return false;
}

void PostLine(DWORD thread, std::string line) {
  auto owned = std::make_unique<std::string>(std::move(line));
  if (PostToThread(thread, kCommandMessage, reinterpret_cast<LPARAM>(owned.get()))) owned.release();
}

void ReadInput(DWORD mainThread) noexcept {
  try {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
      pending.append(buf, got);
      for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "wake") {
          SetEvent(gWake);
          Emit("ack wake");
          continue;
        }
        // Rearmed here, in the order of the input: on the window's thread
        // the reset could come after a "wake" that followed it, and lose it.
        if (line.starts_with("hang ") || line.starts_with("busy ")) ResetEvent(gWake);
        PostLine(mainThread, std::move(line));
      }
    }
    if (!pending.empty()) PostLine(mainThread, std::move(pending));
  } catch (...) {
    // Ending the input is all that is left to do.
  }
  PostToThread(mainThread, kInputEndedMessage, 0);
}

int Run(int argc, char** argv) {
  auto options = ParseOptions(argc, argv);
  if (!options) {
    std::fputs("usage: peer_sim.exe [--interactive] [--plugin-class NAME] [--class NAME] [--reply N] [--title T]\n",
               stderr);
    return 2;
  }
  if (IsConsole(STD_INPUT_HANDLE)) options->interactive = true;
  // A prompt only where a person types; the log is UTF-8.
  const bool prompt = options->interactive && IsConsole(STD_INPUT_HANDLE);
  if (IsConsole(STD_OUTPUT_HANDLE)) SetConsoleOutputCP(CP_UTF8);
  const std::unique_ptr<void, decltype(&CloseHandle)> wake(CreateEventA(nullptr, TRUE, FALSE, nullptr), &CloseHandle);
  gWake = wake.get();
  PeerSim sim(*options);
  if (!sim.Window()) {
    std::fprintf(stderr, "peer_sim: cannot create the window (error %lu)\n", GetLastError());
    return 1;
  }
  // The thread's queue exists (the window made it), so the reader may post.
  std::thread(ReadInput, GetCurrentThreadId()).detach();
  Emit("ready hwnd=" + Hex(sim.Window()) + " pid=" + std::to_string(GetCurrentProcessId()));
  sim.Started();
  const auto showPrompt = [&] {
    DWORD written = 0;
    if (prompt) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "> ", 2, &written, nullptr);
  };
  showPrompt();

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kCommandMessage) {
      const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(msg.lParam));
      if (!line->empty() && sim.HandleCommand(*line) == PeerSim::Outcome::Quit) break;
      showPrompt();
      continue;
    }
    if (msg.hwnd == nullptr && msg.message == kInputEndedMessage) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "peer_sim: %s\n", e.what());
  } catch (...) {
    std::fputs("peer_sim: unexpected failure\n", stderr);
  }
  return 1;
}
