// DiagnoseSystem on Windows: Toolhelp, the shell, version resources, window
// enumeration, the registry and harmless messages; it only reads.
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
  SendResult SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) override;
  std::vector<WindowHandle> ConnectedPeers(WindowHandle pluginWindow) override;
  SendResult Ping(WindowHandle window, unsigned timeoutMs) override;
  unsigned AnsiCodePage() override;
  std::optional<std::string> MachineText(const std::string& key, const std::string& name) override;
  std::optional<std::uint32_t> MachineNumber(const std::string& key, const std::string& name) override;
  std::string LocalAppDataFolder() override;
  std::optional<std::string> ReadFile(const std::string& path) override;
  std::string LocalTime() override;
  std::string ComputerName() override;
  std::string UserName() override;
};

}  // namespace diagnose
