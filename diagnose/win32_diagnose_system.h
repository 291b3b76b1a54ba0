// DiagnoseSystem on Windows: Toolhelp, the shell, version resources, window
// enumeration and one WM_COPYDATA; it only reads.
#pragma once

#include "diagnose/diagnose_system.h"

namespace diagnose {

class Win32DiagnoseSystem final : public DiagnoseSystem {
 public:
  std::string ProgramFilesFolder() override;
  bool FileExists(const std::string& path) override;
  std::string FileVersion(const std::string& path) override;
  std::vector<Process> Processes() override;
  std::string ProgramPath(std::uint32_t pid) override;
  std::vector<std::string> ExportedNames(const std::string& programPath) override;
  std::optional<std::vector<std::string>> LoadedModules(std::uint32_t pid) override;
  std::optional<std::uint32_t> IntegrityLevel(std::uint32_t pid) override;
  std::vector<Window> TopLevelWindows() override;
  std::optional<std::uint32_t> SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) override;
  unsigned AnsiCodePage() override;
};

}  // namespace diagnose
