// The support diagnosis against a fake system: what under Wine cannot
// happen (differing integrity levels, unreadable modules, a plug-in window
// that does not answer) and the exit status.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"

namespace {

using diagnose::WindowHandle;

constexpr char kPlugins[] = "C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\";
constexpr std::uint32_t kViewerPid = 10;
constexpr std::uint32_t kPeerPid = 20;
constexpr WindowHandle kPluginWindow = 0x100;

// One desk where everything works: viewer, plug-in, its window, a peer.
class FakeSystem : public diagnose::DiagnoseSystem {
 public:
  std::map<std::uint32_t, std::optional<std::uint32_t>> levels{{kViewerPid, 0x2000}, {kPeerPid, 0x2000}};
  std::optional<std::vector<std::string>> modules = std::vector<std::string>{
      "C:\\Program Files\\Datacomp\\BIM Vision\\Viewer.exe", std::string(kPlugins) + "VIDUDUDE.dll"};
  std::optional<std::uint32_t> reply = 2001;

  std::string ProgramFilesFolder() override { return "C:\\Program Files"; }
  bool FileExists(const std::string&) override { return true; }
  std::string FileVersion(const std::string&) override { return "1.0.0"; }
  std::vector<diagnose::Process> Processes() override {
    return {{kViewerPid, "Viewer.exe"}, {kPeerPid, "Quabo.exe"}, {30, "other.exe"}};
  }
  std::string ProgramPath(std::uint32_t pid) override { return pid == kViewerPid ? modules->front() : "C:\\other.exe"; }
  std::vector<std::string> ExportedNames(const std::string& path) override {
    if (path != modules->front()) return {"create_button"};
    return {"create_button", "get_selected", "on_selection_change", "select"};
  }
  std::optional<std::vector<std::string>> LoadedModules(std::uint32_t) override { return modules; }
  std::optional<std::uint32_t> IntegrityLevel(std::uint32_t pid) override { return levels.at(pid); }
  std::vector<diagnose::Window> TopLevelWindows() override {
    return {{kPluginWindow, kViewerPid, diagnose::kPluginWindowClass}, {0x200, kPeerPid, "TMainForm"}};
  }
  std::optional<std::uint32_t> SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) override {
    EXPECT_EQ(window, kPluginWindow);
    EXPECT_EQ(code, 7U);
    EXPECT_EQ(timeoutMs, 10000U);
    return reply;
  }
  unsigned AnsiCodePage() override { return 1251; }
};

TEST(Diagnose, AWorkingDeskReportsNoProblemAndExitsZero) {
  FakeSystem system;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 0) << report.text;
  EXPECT_EQ(diagnose::ExitStatus(report), 0);
  EXPECT_NE(report.text.find(
                "VidudUDE.DLL geladen: C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VIDUDUDE.dll, Version 1.0.0"),
            std::string::npos)
      << report.text;
  EXPECT_NE(report.text.find("antwortet auf Befehl 7 mit 2001"), std::string::npos) << report.text;
  EXPECT_NE(report.text.find("derselben Integritätsstufe, Mittel (0x2000)"), std::string::npos) << report.text;
  EXPECT_NE(report.text.find("ANSI-Codepage 1251"), std::string::npos) << report.text;
  EXPECT_NE(report.text.find("Ergebnis: kein Problem gefunden."), std::string::npos) << report.text;
}

TEST(Diagnose, DifferingIntegrityLevelsAreAProblemThatNamesEachProcess) {
  FakeSystem system;
  system.levels[kViewerPid] = 0x3000;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_EQ(diagnose::ExitStatus(report), 1);
  EXPECT_NE(report.text.find("PROBLEM  verschiedene Integritätsstufen: Viewer.exe (PID 10) Hoch (Administrator) "
                             "(0x3000), Quabo.exe (PID 20) Mittel (0x2000). Windows verwirft"),
            std::string::npos)
      << report.text;
}

TEST(Diagnose, AnUnreadableIntegrityLevelIsNeverTheSameButAProblemThatAsksForAnAdministrator) {
  FakeSystem system;
  system.levels[kPeerPid] = std::nullopt;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_EQ(diagnose::ExitStatus(report), 1);
  EXPECT_EQ(report.text.find("derselben Integritätsstufe"), std::string::npos) << report.text;
  EXPECT_NE(report.text.find("PROBLEM  Integritätsstufe nicht lesbar: Quabo.exe (PID 20). Meist läuft"),
            std::string::npos)
      << report.text;
  EXPECT_NE(report.text.find("die Diagnose als Administrator starten\n"), std::string::npos) << report.text;
}

TEST(Diagnose, APluginWindowThatDoesNotAnswerOrAnswersOtherwiseIsAProblem) {
  FakeSystem system;
  system.reply.reset();
  auto report = diagnose::Diagnose(system);
  EXPECT_NE(report.text.find("antwortet nicht in 10 s"), std::string::npos) << report.text;
  system.reply = 2000;
  report = diagnose::Diagnose(system);
  EXPECT_NE(report.text.find("antwortet auf Befehl 7 mit 2000 statt 2001"), std::string::npos) << report.text;
  EXPECT_EQ(report.problems, 1);
}

TEST(Diagnose, AViewerWhoseModulesCannotBeReadIsAProblemWithAHint) {
  struct NoModules : FakeSystem {
    std::optional<std::vector<std::string>> LoadedModules(std::uint32_t) override { return std::nullopt; }
  } noModules;
  const auto report = diagnose::Diagnose(noModules);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_NE(report.text.find("sind nicht lesbar: die Diagnose mit denselben Rechten wie BIM Vision starten"),
            std::string::npos)
      << report.text;
}

}  // namespace
