// The viewer simulator as a program that stays up: it loads a plug-in,
// optionally a model, and then takes a user's actions from stdin (select,
// press a button, load, unload, ...), printing every viewer call the
// plug-in makes, every command a peer sends to the plug-in's window and
// every message the plug-in sends to a peer.
#pragma once

#include <optional>
#include <string>

namespace viewer_sim {

// What begins every line of the console, if anything: the milliseconds
// since the console started, or the local clock time as peers print it
// (hh:mm:ss.mmm), so that the two logs line up.
enum class Timestamps { kNone, kMilliseconds, kClock };

struct ConsoleOptions {
  std::wstring plugin;
  std::optional<std::wstring> model;
  Timestamps timestamps = Timestamps::kNone;
};

// Runs until "quit", the end of stdin, or the plug-in asking the viewer to
// close (a peer's disconnect). Returns the process exit code.
int RunConsole(const ConsoleOptions& options);

// The console's commands, one line each, for --help and "help".
const char* ConsoleHelp();

}  // namespace viewer_sim
