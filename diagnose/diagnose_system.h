// What the diagnosis asks of the system: files, processes, their modules
// and windows, one harmless command to the plug-in, integrity levels and the
// ANSI code page. The Windows implementation is win32_diagnose_system.cpp;
// the tests use a fake. Nothing here changes anything on the machine. Every
// text, paths and names alike, is UTF-8, as the report is.
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
  // waits at most timeoutMs for the reply; none when no reply came in time.
  virtual std::optional<std::uint32_t> SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) = 0;

  virtual unsigned AnsiCodePage() = 0;
};

}  // namespace diagnose
