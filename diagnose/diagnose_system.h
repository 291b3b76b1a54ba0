// What the diagnosis asks of the system: files, the package's registry
// values, processes, their modules and windows, harmless messages to the
// plug-in and the peers, integrity levels, the ANSI code page and who runs it. The Windows implementation is
// win32_diagnose_system.cpp; the tests use a fake. Nothing here changes anything on the machine. Every text, paths and
// names alike, is UTF-8, as the report is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace diagnose {

using WindowHandle = std::uintptr_t;

struct Process {
  std::uint32_t pid = 0;
  std::string exeFile;  // file name without folder, as the process list has it
};

// How a message to a window of another program ended: answered, not within
// the time, refused by the system (a window of a higher integrity level), or
// failed otherwise (the window has gone, ...).
struct SendResult {
  enum class Outcome { kAnswered, kTimedOut, kRefused, kFailed };
  Outcome outcome = Outcome::kFailed;
  std::uint32_t value = 0;  // the reply when answered; the system's error code when failed
};

struct Window {
  WindowHandle handle = 0;
  std::uint32_t pid = 0;
  std::string className;
};

class DiagnoseSystem {
 public:
  virtual ~DiagnoseSystem() = default;

  // The Program Files folder as the plug-in gets it (CSIDL_PROGRAM_FILES):
  // for a 32-bit program on 64-bit Windows the (x86) one. Empty when the
  // shell cannot say.
  virtual std::string ProgramFilesFolder() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // "major.minor.patch" of the file's version resource; empty without one.
  virtual std::string FileVersion(const std::string& path) = 0;

  virtual std::vector<Process> Processes() = 0;
  // The full path of the process's program; empty when it cannot be read.
  virtual std::string ProgramPath(std::uint32_t pid) = 0;
  // The names that a program file exports; empty when it exports none or
  // cannot be read.
  virtual std::vector<std::string> ExportedNames(const std::string& programPath) = 0;
  // The full paths of the modules loaded in the process; none when the
  // process cannot be inspected (another user's, or a higher integrity level).
  virtual std::optional<std::vector<std::string>> LoadedModules(std::uint32_t pid) = 0;
  // The process's mandatory integrity level (the RID: 0x2000 medium,
  // 0x3000 high, ...); none when it cannot be read.
  virtual std::optional<std::uint32_t> IntegrityLevel(std::uint32_t pid) = 0;

  virtual std::vector<Window> TopLevelWindows() = 0;
  // Sends the window a WM_COPYDATA with this code and an empty text and
  // waits at most timeoutMs for the reply, also for a thread that the
  // system takes for hung: a busy viewer answers late, not never.
  virtual SendResult SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) = 0;
  // The window of the peer connected to the plug-in whose hidden window this
  // is, as the plug-in notes it on that window; 0 when none is connected.
  virtual std::vector<WindowHandle> ConnectedPeers(WindowHandle pluginWindow) = 0;
  // Sends the window WM_NULL, which every window answers at once when its
  // thread handles messages, and waits at most timeoutMs.
  virtual SendResult Ping(WindowHandle window, unsigned timeoutMs) = 0;

  virtual unsigned AnsiCodePage() = 0;

  // A text (REG_SZ, or REG_EXPAND_SZ unexpanded) or a REG_DWORD under
  // HKEY_LOCAL_MACHINE, in the 32-bit view, where the package writes; none
  // when the value is missing or of another type.
  virtual std::optional<std::string> MachineText(const std::string& key, const std::string& name) = 0;
  virtual std::optional<std::uint32_t> MachineNumber(const std::string& key, const std::string& name) = 0;

  // The user's local application data folder, where the plug-in keeps its
  // log; empty when the shell cannot say.
  virtual std::string LocalAppDataFolder() = 0;
  // The whole file, also while another program writes it; none when it
  // cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;

  // For the report's header: the local date and time ("2026-12-08 16:45:42"),
  // the computer's name and the user's.
  virtual std::string LocalTime() = 0;
  virtual std::string ComputerName() = 0;
  virtual std::string UserName() = 0;
};

}  // namespace diagnose
