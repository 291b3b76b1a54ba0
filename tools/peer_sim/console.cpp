#include "console.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "escape.h"
#include "peer_sdk/vidudude_peer.h"

namespace peer_console {
namespace {

template <class T>
std::optional<T> ParseNumber(std::string_view s, int base = 10) {
  if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
  T value{};
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string Hex(const void* p) {
  char buf[2 * sizeof(void*) + 1];
  const auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<std::uintptr_t>(p), 16);
  return std::string(buf, r.ptr);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::pair<std::string_view, std::string_view> SplitWord(std::string_view s) {
  s = Trim(s);
  const auto space = s.find(' ');
  if (space == std::string_view::npos) return {s, {}};
  return {s.substr(0, space), Trim(s.substr(space + 1))};
}

std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
}

// Control bytes as escapes, the rest (paths keep single backslashes)
// converted from ANSI: one log line.
std::string Readable(std::string_view ansi) {
  std::string shown;
  for (const char c : ansi) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      shown += peer_escape::Escape(std::string_view(&c, 1));
    } else {
      shown += c;
    }
  }
  return AnsiToUtf8(shown);
}

std::vector<std::string> SplitGuids(std::string_view text) {
  std::vector<std::string> guids;
  if (text == peer_link::kNoGuids) return guids;
  while (!text.empty()) {
    const auto end = text.find("\r\n");
    if (const auto guid = text.substr(0, end); !guid.empty()) guids.emplace_back(guid);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return guids;
}

std::string Count(std::size_t n) {
  if (n == 0) return "none";
  return std::to_string(n) + (n == 1 ? " GUID" : " GUIDs");
}

constexpr const char* kHelp[] = {
    "commands (the plug-in's answer follows each one as \"-> ...\"):",
    "  connect                 code 1: the plug-in turns \"Aktiv\" and talks to this window too",
    "  disconnect              code 2: the plug-in turns \"Inaktiv\" and closes the viewer",
    "  load PATH               code 5: the viewer opens the IFC file PATH",
    "  select [GUID ...]       code 6: select these elements (none: clear the selection)",
    "  select-file FILE        code 6: the GUIDs listed in FILE, one per line",
    "  view HEX                code 8: restore a view state given as hex bytes",
    "  enable-lines            code 9 \"active\": enable \"Aufma\xC3\x9Fzeilen erzeugen\"",
    "  disable-lines           code 9 \"inactive\": grey it out",
    "  model-path              code 10: the plug-in sends the open model's path again (code 4)",
    "  selection               code 11: the plug-in sends the viewer's selection again (code 6)",
    "  leave                   code 12: this window leaves the link; the viewer stays open",
    "  send CODE [TEXT]        any code; TEXT may hold \\r \\n \\\\ \\xHH; a NUL is appended",
    "  target [HWND]           show or set the plug-in window (hex); \"target find\" looks again",
    "  reply N                 the answer to the plug-in's messages (default 1)",
    "  help                    this list",
    "  quit                    leave",
    "messages from the plug-in show as \"<- ...\".",
};

}  // namespace

std::vector<std::string> DescribeIncoming(ULONG_PTR code, const std::string* bytes, DWORD cb) {
  const std::string size = "code " + std::to_string(code) + ", " + std::to_string(cb) + " bytes";
  if (!bytes) return {"<- code " + std::to_string(code) + " without data (" + std::to_string(cb) + " bytes)"};
  std::string_view text(*bytes);
  text = text.substr(0, text.find('\0'));
  std::string from;
  if (const auto bar = text.find('|'); bar != std::string_view::npos) {
    from = " from viewer pid " + Readable(text.substr(0, bar));
    text.remove_prefix(bar + 1);
  }
  std::vector<std::string> out;
  std::vector<std::string> guids;
  std::string summary;
  switch (code) {
    case peer_link::kCodeModelPath:
      summary = "model path " + Readable(text);
      break;
    case peer_link::kCodeSelection:
      guids = SplitGuids(text);
      summary = "selection: " + Count(guids.size());
      break;
    case peer_link::kCodeCreateLines:
      guids = SplitGuids(text);
      summary = "create measurement lines: " + Count(guids.size());
      break;
    case peer_link::kCodeStart:
    case peer_link::kCodeEnd:
      summary = Readable(text);
      break;
    default:
      summary = "\"" + Readable(text) + "\"";
      break;
  }
  out.push_back("<- " + summary + from + " (" + size + ")");
  for (std::size_t i = 0; i < guids.size(); ++i)
    out.push_back("     " + std::to_string(i + 1) + ". " + Readable(guids[i]));
  return out;
}

std::string DescribeReply(ULONG_PTR command, LRESULT reply) {
  const std::string n = std::to_string(reply);
  const std::string meaning = vidudude_reply_meaning(static_cast<DWORD>(command), static_cast<DWORD>(reply));
  return meaning.empty() ? n : n + " (" + meaning + ")";
}

std::string ToAnsi(std::string_view text, UINT from) {
  if (from == GetACP()) return std::string(text);
  return Narrow(Widen(text, from), CP_ACP);
}

std::string AnsiToUtf8(std::string_view ansi) { return Narrow(Widen(ansi, CP_ACP), CP_UTF8); }

std::optional<std::string> GuidsFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string joined;
  std::string line;
  while (std::getline(in, line)) {
    const auto guid = Trim(line);
    if (guid.empty()) continue;
    if (!joined.empty()) joined += "\r\n";
    joined += guid;
  }
  return joined;
}

Console::Console(HWND own, UINT inputCodePage, std::string pluginClass, EmitFn emit)
    : own_(own), inputCodePage_(inputCodePage), pluginClass_(std::move(pluginClass)), emit_(std::move(emit)) {}

void Console::Greet() const { Emit("peer console, window " + Hex(own_) + ". Type \"help\" for the commands."); }

void Console::Help() const {
  for (const char* line : kHelp) Emit(line);
}

void Console::Received(HWND from, const COPYDATASTRUCT& cds) {
  std::optional<std::string> bytes;
  if (cds.lpData) bytes.emplace(static_cast<const char*>(cds.lpData), cds.cbData);
  for (const auto& line : DescribeIncoming(cds.dwData, bytes ? &*bytes : nullptr, cds.cbData)) Emit(line);
  if (from && from != target_) {
    target_ = from;
    Emit("   (the plug-in window is " + Hex(from) + "; commands go there now)");
  }
}

HWND Console::Target() {
  if (target_ && IsWindow(target_)) return target_;
  target_ = nullptr;
  std::vector<HWND> found;
  for (HWND w = FindWindowExA(nullptr, nullptr, pluginClass_.c_str(), nullptr); w;
       w = FindWindowExA(nullptr, w, pluginClass_.c_str(), nullptr)) {
    found.push_back(w);
  }
  if (found.empty()) {
    Emit("   no plug-in window found: is the viewer running with the plug-in loaded?");
    return nullptr;
  }
  target_ = found.front();
  DWORD pid = 0;
  GetWindowThreadProcessId(target_, &pid);
  std::string note = "   found the plug-in window " + Hex(target_) + " (viewer pid " + std::to_string(pid) + ")";
  if (found.size() > 1) note += "; " + std::to_string(found.size() - 1) + " more, pick one with \"target HWND\"";
  Emit(note);
  return target_;
}

void Console::SendCommand(std::string_view label, ULONG_PTR code, std::string text) {
  const HWND to = Target();
  if (!to) {
    Emit("-> " + std::string(label) + ": not sent");
    return;
  }
  text.push_back('\0');
  COPYDATASTRUCT cds{code, static_cast<DWORD>(text.size()), text.data()};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(own_), reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL,
                           kSendTimeoutMs, &result)) {
    Emit("-> " + std::string(label) + ": not delivered to " + Hex(to) + " (error " + std::to_string(GetLastError()) +
         ")");
    return;
  }
  Emit("-> " + std::string(label) + ": reply " + DescribeReply(code, static_cast<LRESULT>(result)));
}

bool Console::Handle(std::string_view line) {
  const auto [word, rest] = SplitWord(line);
  if (word.empty()) return true;
  if (word == "quit" || word == "exit") return false;
  const std::string arg = ToAnsi(rest, inputCodePage_);
  const auto usage = [&](const char* text) { Emit(std::string("? usage: ") + text); };

  if (word == "help" || word == "?") {
    Help();
  } else if (word == "connect" && rest.empty()) {
    SendCommand("connect", peer_link::kCommandConnect, {});
  } else if (word == "disconnect" && rest.empty()) {
    SendCommand("disconnect", peer_link::kCommandDisconnect, {});
  } else if (word == "load") {
    if (arg.empty()) {
      usage("load PATH");
    } else {
      SendCommand("load " + Readable(arg), peer_link::kCommandLoadModel, arg);
    }
  } else if (word == "select") {
    std::string guids;
    for (std::string_view left = arg; !left.empty();) {
      const auto [guid, tail] = SplitWord(left);
      guids += (guids.empty() ? "" : "\r\n") + std::string(guid);
      left = tail;
    }
    const std::size_t n = SplitGuids(guids).size();
    SendCommand("select " + Count(n), peer_link::kCommandSelect,
                guids.empty() ? std::string(peer_link::kNoGuids) : guids);
  } else if (word == "select-file") {
    const auto guids = rest.empty() ? std::nullopt : GuidsFromFile(std::string(rest));
    if (rest.empty()) {
      usage("select-file FILE");
    } else if (!guids) {
      Emit("? cannot read " + std::string(rest));
    } else {
      SendCommand("select-file " + Count(SplitGuids(*guids).size()), peer_link::kCommandSelect,
                  guids->empty() ? std::string(peer_link::kNoGuids) : *guids);
    }
  } else if (word == "view") {
    if (arg.empty() || arg.find(' ') != std::string::npos) {
      usage("view HEX");
    } else {
      SendCommand("view", peer_link::kCommandRestoreView, arg);
    }
  } else if (word == "enable-lines" && rest.empty()) {
    SendCommand("enable-lines", peer_link::kCommandLinesButton, std::string(peer_link::kLinesButtonActive));
  } else if (word == "disable-lines" && rest.empty()) {
    SendCommand("disable-lines", peer_link::kCommandLinesButton, "inactive");
  } else if (word == "model-path" && rest.empty()) {
    SendCommand("model-path", peer_link::kCommandSendModelPath, {});
  } else if (word == "selection" && rest.empty()) {
    SendCommand("selection", peer_link::kCommandSendSelection, {});
  } else if (word == "leave" && rest.empty()) {
    SendCommand("leave", peer_link::kCommandLeave, {});
  } else if (word == "send") {
    const auto [codeText, text] = SplitWord(arg);
    const auto code = ParseNumber<ULONG_PTR>(codeText);
    auto bytes = peer_escape::Unescape(text);
    if (!code || !bytes) {
      usage("send CODE [TEXT]");
    } else {
      SendCommand("send " + std::to_string(*code), *code, std::move(*bytes));
    }
  } else if (word == "target") {
    if (rest == "find") {
      target_ = nullptr;
      Target();
    } else if (!rest.empty()) {
      const auto h = ParseNumber<std::uintptr_t>(rest, 16);
      if (!h) {
        usage("target [HWND | find]");
      } else {
        target_ = reinterpret_cast<HWND>(*h);
        Emit("   target " + Hex(target_) + (IsWindow(target_) ? "" : " (no such window now)"));
      }
    } else {
      Emit(target_ ? "   target " + Hex(target_) : "   no target yet; the next command looks for the plug-in window");
    }
  } else if (word == "reply") {
    if (const auto n = ParseNumber<long>(rest)) {
      reply_ = *n;
      Emit("   messages from the plug-in are answered with " + std::to_string(reply_));
    } else {
      usage("reply N");
    }
  } else {
    Emit("? unknown command \"" + std::string(line) + "\"; type \"help\" for the list");
  }
  return true;
}

}  // namespace peer_console
