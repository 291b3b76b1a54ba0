#pragma once
// The interactive console of peer_sim: one command per command of the
// plug-in's protocol, typed by a peer developer, and a readable log of what
// the plug-in sends and answers. The console finds the plug-in's hidden
// window on its own until the plug-in has written to it.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "peer_link/wire.h"

namespace peer_console {

inline constexpr UINT kSendTimeoutMs = 30000;

using EmitFn = std::function<void(const std::string&)>;

// The readable text of a message the plug-in sent: the first log line and,
// for GUID lists, one line per GUID. `bytes` is null for a null lpData.
std::vector<std::string> DescribeIncoming(ULONG_PTR code, const std::string* bytes, DWORD cb);

// The reply to a command with what it means for that command: "2001
// (taken)", "21 (model not loaded)", "7".
std::string DescribeReply(ULONG_PTR command, LRESULT reply);

// Text in code page `from` (console input, or UTF-8 from a pipe) in the
// system's ANSI code page, which the plug-in reads; bytes that do not map
// stay as the ANSI default character.
std::string ToAnsi(std::string_view text, UINT from);
// ANSI bytes as UTF-8 for the log.
std::string AnsiToUtf8(std::string_view ansi);

// The GUIDs of a file, one per line (blank lines and surrounding blanks
// dropped), joined with CR LF; nullopt when the file cannot be read.
std::optional<std::string> GuidsFromFile(const std::string& path);

class Console {
 public:
  // `own` is the window the messages go out from; `inputCodePage` the code
  // page typed commands arrive in; `pluginClass` the window class to look
  // for while no target is known.
  Console(HWND own, UINT inputCodePage, std::string pluginClass, EmitFn emit);

  void Greet() const;
  // Logs one message from the plug-in; its sender becomes the target.
  void Received(HWND from, const COPYDATASTRUCT& cds);
  // Runs one typed line; false after quit.
  bool Handle(std::string_view line);
  LRESULT Reply() const { return reply_; }

 private:
  void Help() const;
  void SendCommand(std::string_view label, ULONG_PTR code, std::string text);
  HWND Target();
  void Emit(const std::string& line) const { emit_(line); }

  HWND own_;
  UINT inputCodePage_;
  std::string pluginClass_;
  EmitFn emit_;
  HWND target_ = nullptr;
  LRESULT reply_ = 1;
};

}  // namespace peer_console
