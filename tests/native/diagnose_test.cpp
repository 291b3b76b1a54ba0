// The support diagnosis against a fake system: what under Wine cannot
// happen (differing integrity levels, unreadable modules, refused and hung
// windows) and each finding's wording and exit status; the installation
// check and the command line.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"
#include "diagnose/options.h"

namespace {

using diagnose::SendResult;
using diagnose::WindowHandle;
using Outcome = diagnose::SendResult::Outcome;

constexpr char kPlugins[] = "C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\";
constexpr char kViewerExe[] = "C:\\Program Files\\Datacomp\\BIM Vision\\Viewer.exe";
constexpr char kEventSource[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VidudUDE";
constexpr std::uint32_t kViewerPid = 10;
constexpr std::uint32_t kPeerPid = 20;
constexpr WindowHandle kPluginWindow = 0x100;
// The plug-in's window in a second viewer, when a test starts one.
constexpr WindowHandle kSecondPluginWindow = 0x101;
constexpr WindowHandle kPeerWindow = 0x200;

// One desk where everything works: the package installed, a viewer with the
// plug-in and its window, a peer.
class FakeSystem : public diagnose::DiagnoseSystem {
 public:
  std::vector<diagnose::Process> processes{{kViewerPid, "Viewer.exe"}, {kPeerPid, "Quabo.exe"}, {30, "other.exe"}};
  std::vector<diagnose::Window> windows{{kPluginWindow, kViewerPid, diagnose::kPluginWindowClass},
                                        {kPeerWindow, kPeerPid, "TMainForm"}};
  std::set<std::uint32_t> viewers{kViewerPid};
  std::map<std::uint32_t, std::optional<std::uint32_t>> levels{{kViewerPid, 0x2000}, {kPeerPid, 0x2000}};
  std::optional<std::vector<std::string>> modules =
      std::vector<std::string>{kViewerExe, std::string(kPlugins) + "VIDUDUDE.dll"};
  SendResult reply{Outcome::kAnswered, 2001};
  std::map<WindowHandle, SendResult> pings;  // answered unless named here
  std::set<std::string> missing;
  std::map<std::string, std::string> versions;  // 1.0.0 unless named here
  std::map<std::string, std::string> texts{
      {"Software\\VidudUDE|InstallDir", kPlugins},
      {"Software\\VidudUDE|Version", "1.0.0"},
      {std::string(kEventSource) + "|EventMessageFile", std::string(kPlugins) + "VidudUDE.DLL"}};
  std::map<std::string, std::uint32_t> numbers{{std::string(kEventSource) + "|TypesSupported", 7}};
  std::map<std::string, std::string> files;
  std::vector<WindowHandle> pinged;
  // The windows connected to each plug-in window.
  std::map<WindowHandle, std::vector<WindowHandle>> connected;

  std::string ProgramFilesFolder() override { return "C:\\Program Files"; }
  bool FileExists(const std::string& path) override { return missing.count(path) == 0; }
  std::string FileVersion(const std::string& path) override {
    const auto found = versions.find(path);
    return found == versions.end() ? "1.0.0" : found->second;
  }
  std::vector<diagnose::Process> Processes() override { return processes; }
  std::string ProgramPath(std::uint32_t pid) override {
    return viewers.count(pid) ? kViewerExe : "C:\\Programme\\pid" + std::to_string(pid) + ".exe";
  }
  std::vector<std::string> ExportedNames(const std::string& path) override {
    if (path != kViewerExe) return {"create_button"};
    return {"create_button", "get_selected", "on_selection_change", "select"};
  }
  std::optional<std::vector<std::string>> LoadedModules(std::uint32_t) override { return modules; }
  std::optional<std::uint32_t> IntegrityLevel(std::uint32_t pid) override {
    const auto found = levels.find(pid);
    return found == levels.end() ? std::optional<std::uint32_t>(0x2000) : found->second;
  }
  std::vector<diagnose::Window> TopLevelWindows() override { return windows; }
  SendResult SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) override {
    EXPECT_TRUE(window == kPluginWindow || window == kSecondPluginWindow) << window;
    EXPECT_EQ(code, 7U);
    EXPECT_EQ(timeoutMs, 10000U);
    return reply;
  }
  std::vector<WindowHandle> ConnectedPeers(WindowHandle pluginWindow) override { return connected[pluginWindow]; }
  SendResult Ping(WindowHandle window, unsigned timeoutMs) override {
    EXPECT_EQ(timeoutMs, 10000U);
    pinged.push_back(window);
    const auto found = pings.find(window);
    return found == pings.end() ? SendResult{Outcome::kAnswered, 0} : found->second;
  }
  unsigned AnsiCodePage() override { return 1251; }
  std::optional<std::string> MachineText(const std::string& key, const std::string& name) override {
    const auto found = texts.find(key + "|" + name);
    return found == texts.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  std::optional<std::uint32_t> MachineNumber(const std::string& key, const std::string& name) override {
    const auto found = numbers.find(key + "|" + name);
    return found == numbers.end() ? std::nullopt : std::optional<std::uint32_t>(found->second);
  }
  std::string LocalAppDataFolder() override { return "C:\\Users\\m\\AppData\\Local"; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  std::string LocalTime() override { return "2026-12-08 09:15:02"; }
  std::string ComputerName() override { return "PC-17"; }
  std::string UserName() override { return "mueller"; }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Diagnose, AWorkingDeskReportsNoProblemAndExitsZero) {
  FakeSystem system;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 0) << report.text;
  EXPECT_EQ(diagnose::ExitStatus(report), 0);
  EXPECT_EQ(report.text.find("VidudUDE-Diagnose " + std::string(diagnose::DiagnosisVersion()) +
                             ": Verbindung BIM Vision <-> Quabo (ändert nichts)\n"
                             "Datum 2026-12-08 09:15:02, Computer PC-17, Benutzer mueller\n"),
            0U)
      << report.text;
  EXPECT_TRUE(
      Has(report.text,
          "VidudUDE.DLL geladen: C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VIDUDUDE.dll, Version 1.0.0"))
      << report.text;
  EXPECT_TRUE(Has(report.text, "antwortet auf Befehl 7 mit 2001")) << report.text;
  EXPECT_TRUE(Has(report.text, "  ok       Quabo.exe (PID 20, Integritätsstufe Mittel (0x2000)), Hauptfenster 0x200"))
      << report.text;
  EXPECT_EQ(system.pinged, std::vector<WindowHandle>{kPeerWindow});
  EXPECT_TRUE(Has(report.text, "derselben Integritätsstufe, Mittel (0x2000)")) << report.text;
  EXPECT_TRUE(Has(report.text, "ANSI-Codepage 1251")) << report.text;
  EXPECT_TRUE(Has(report.text, "Ergebnis: kein Problem gefunden.\n\nProtokoll des Plug-ins: keines in "
                               "C:\\Users\\m\\AppData\\Local\\VidudUDE\\\n"))
      << report.text;
}

TEST(Diagnose, DifferingIntegrityLevelsAreAProblemThatNamesEachProcess) {
  FakeSystem system;
  system.levels[kViewerPid] = 0x3000;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_EQ(diagnose::ExitStatus(report), 1);
  EXPECT_TRUE(Has(report.text, "PROBLEM  verschiedene Integritätsstufen: Viewer.exe (PID 10) Hoch (Administrator) "
                               "(0x3000), Quabo.exe (PID 20) Mittel (0x2000). Windows verwirft"))
      << report.text;
}

TEST(Diagnose, AnUnreadableIntegrityLevelIsNeverTheSameButAProblemThatAsksForAnAdministrator) {
  FakeSystem system;
  system.levels[kPeerPid] = std::nullopt;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_FALSE(Has(report.text, "derselben Integritätsstufe")) << report.text;
  EXPECT_TRUE(Has(report.text, "PROBLEM  Integritätsstufe nicht lesbar: Quabo.exe (PID 20). Meist läuft"))
      << report.text;
  EXPECT_TRUE(Has(report.text, "die Diagnose als Administrator starten\n")) << report.text;
}

// Two viewers and no peer: there is no pair to compare, so neither the
// same level nor an unreadable one is reported.
TEST(Diagnose, LevelsAreComparedOnlyBetweenAViewerAndAPeer) {
  FakeSystem system;
  system.processes = {{kViewerPid, "Viewer.exe"}, {11, "Viewer.exe"}};
  system.viewers = {kViewerPid, 11};
  system.levels = {{kViewerPid, 0x2000}, {11, std::nullopt}};
  system.windows = {{kPluginWindow, kViewerPid, diagnose::kPluginWindowClass}};
  system.modules = std::vector<std::string>{kViewerExe};
  const auto report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "PROBLEM  kein Quabo läuft")) << report.text;
  EXPECT_FALSE(Has(report.text, "Integritätsstufe nicht lesbar")) << report.text;
  EXPECT_FALSE(Has(report.text, "derselben Integritätsstufe")) << report.text;
}

TEST(Diagnose, APluginWindowThatTimesOutIsRefusedOrAnswersOtherwiseIsAProblemOfItsOwnKind) {
  FakeSystem system;
  system.reply = {Outcome::kTimedOut, 1460};
  auto report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "antwortet nicht in 10 s: BIM Vision hängt oder ist so lange beschäftigt"))
      << report.text;
  system.reply = {Outcome::kRefused, 5};
  report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "(Klasse VidudUDE.MessageWindow, PID 10): Windows weist die Nachricht der Diagnose ab "
                               "(Zugriff verweigert): BIM Vision läuft mit höherer Integritätsstufe"))
      << report.text;
  EXPECT_FALSE(Has(report.text, "antwortet nicht")) << report.text;
  system.reply = {Outcome::kAnswered, 2000};
  report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "antwortet auf Befehl 7 mit 2000 statt 2001")) << report.text;
  EXPECT_EQ(report.problems, 1);
}

TEST(Diagnose, AHungPeerIsAProblemThatNamesTheProgramAndItsPid) {
  FakeSystem system;
  system.pings[kPeerWindow] = {Outcome::kTimedOut, 1460};
  system.connected[kPluginWindow] = {kPeerWindow};
  const auto report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "  PROBLEM  Quabo.exe (PID 20, Integritätsstufe Mittel (0x2000)), mit dem Plug-in in "
                               "PID 10 verbunden (Fenster 0x200), Hauptfenster 0x200 (Klasse TMainForm) verarbeitet in "
                               "10 s keine Nachricht: das Programm hängt."))
      << report.text;
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_TRUE(Has(report.text, "Quabo.exe (PID 20) prüfen, ggf. beenden und neu starten\n")) << report.text;
}

TEST(Diagnose, APeerOfAnotherNameIsANoteAndIsPingedOnlyWhenConnected) {
  FakeSystem system;
  system.processes = {{kViewerPid, "Viewer.exe"}, {kPeerPid, "Kalkulation.exe"}, {30, "other.exe"}};
  system.windows.push_back({0x300, 30, "TForm1"});
  system.windows[1].className = "TMainFormKalk";
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_TRUE(Has(report.text, "  PROBLEM  kein Quabo läuft (QUABO.EXE oder QUABO_BIMPROJECT.EXE), und keines ist mit "
                               "dem Plug-in verbunden\n"))
      << report.text;
  EXPECT_TRUE(Has(report.text, "  Hinweis  kein Programm namens QUABO.EXE oder QUABO_BIMPROJECT.EXE läuft"))
      << report.text;
  EXPECT_TRUE(Has(report.text,
                  "  Hinweis  C:\\Programme\\pid20.exe (PID 20, Integritätsstufe Mittel (0x2000)) hat ein "
                  "Fenster 0x200 (Klasse TMainFormKalk) wie Quabo: vielleicht Quabo unter anderem Namen\n"))
      << report.text;
  EXPECT_TRUE(system.pinged.empty());
  EXPECT_FALSE(Has(report.text, "derselben Integritätsstufe")) << report.text;

  // Connected by a window of any class: named as connected, once, and pinged.
  system.connected[kPluginWindow] = {0x300};
  system.pinged.clear();
  const auto linkedReport = diagnose::Diagnose(system);
  const auto& linked = linkedReport.text;
  EXPECT_EQ(linkedReport.problems, 0) << linked;
  EXPECT_TRUE(Has(linked, "  Hinweis  C:\\Programme\\pid30.exe (PID 30, Integritätsstufe Mittel (0x2000)) ist mit dem "
                          "Plug-in in PID 10 verbunden, Fenster 0x300 (Klasse TForm1)\n"))
      << linked;
  EXPECT_EQ(system.pinged, std::vector<WindowHandle>{0x300});
  EXPECT_TRUE(Has(linked, "derselben Integritätsstufe")) << linked;

  system.connected[kPluginWindow] = {kPeerWindow};
  system.pings[kPeerWindow] = {Outcome::kRefused, 5};
  EXPECT_TRUE(Has(diagnose::Diagnose(system).text,
                  "  PROBLEM  Kalkulation.exe (PID 20), Fenster 0x200 (Klasse TMainFormKalk): Windows weist die "
                  "Nachricht der Diagnose ab"));
}

// Each plug-in window's connected programs are named: a Quabo connected to
// two viewers with both links, a tool beside it with its own.
TEST(Diagnose, EveryConnectionOfEveryViewerIsNamed) {
  FakeSystem system;
  system.processes.push_back({11, "Viewer.exe"});
  system.viewers.insert(11);
  system.windows.push_back({kSecondPluginWindow, 11, diagnose::kPluginWindowClass});
  system.windows.push_back({0x300, 30, "TForm1"});
  system.connected[kPluginWindow] = {kPeerWindow, 0x300};
  system.connected[kSecondPluginWindow] = {kPeerWindow};
  const auto report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "Quabo.exe (PID 20, Integritätsstufe Mittel (0x2000)), mit dem Plug-in in PID 10 "
                               "verbunden (Fenster 0x200), mit dem Plug-in in PID 11 verbunden (Fenster 0x200), "
                               "Hauptfenster 0x200"))
      << report.text;
  EXPECT_TRUE(Has(report.text, "(PID 30, Integritätsstufe Mittel (0x2000)) ist mit dem Plug-in in PID 10 verbunden, "
                               "Fenster 0x300 (Klasse TForm1)"))
      << report.text;
}

TEST(Diagnose, ALoadedCopyOfAnotherVersionOrFolderIsAProblemThatNamesBoth) {
  FakeSystem system;
  const std::string old = "C:\\Users\\m\\Desktop\\alt\\VidudUDE.DLL";
  system.modules = std::vector<std::string>{kViewerExe, old};
  system.versions[old] = "0.9.0";
  auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_TRUE(Has(report.text, "  PROBLEM  in PID 10 ist eine andere Kopie von VidudUDE.DLL geladen: " + old +
                                   ", Version 0.9.0; installiert ist " + kPlugins + "VidudUDE.DLL, Version 1.0.0."))
      << report.text;
  system.versions.clear();
  report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, old + ", Version 1.0.0; installiert ist ")) << report.text;
}

TEST(Diagnose, TheFolderNotedByThePackageIsWhereTheDllIsLookedFor) {
  FakeSystem system;
  const std::string elsewhere = "D:\\Programme\\BIM Vision\\plugins\\";
  system.texts["Software\\VidudUDE|InstallDir"] = elsewhere;
  system.missing = {std::string(kPlugins) + "VidudUDE.DLL"};
  system.modules = std::vector<std::string>{kViewerExe, elsewhere + "VidudUDE.DLL"};
  auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 0) << report.text;
  EXPECT_TRUE(Has(report.text, "  ok       " + elsewhere + "VidudUDE.DLL, Version 1.0.0\n")) << report.text;
  system.missing.insert(elsewhere + "VidudUDE.DLL");
  report = diagnose::Diagnose(system);
  EXPECT_TRUE(Has(report.text, "  PROBLEM  " + elsewhere +
                                   "VidudUDE.DLL fehlt, obwohl das Paket es dorthin "
                                   "installiert hat: das Paket reparieren"))
      << report.text;
}

TEST(Diagnose, TheReportEndsWithTheLast200LinesOfTheLogTakingTheOlderFileForTheRest) {
  FakeSystem system;
  const std::string folder = "C:\\Users\\m\\AppData\\Local\\VidudUDE\\";
  std::string current;
  std::string older;
  for (int i = 1; i <= 150; ++i) older += "alt " + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 120; ++i) current += "neu " + std::to_string(i) + "\r\n";
  system.files[folder + "VidudUDE.log"] = current;
  system.files[folder + "VidudUDE.old.log"] = older;
  const auto report = diagnose::Diagnose(system);
  const std::string tail = "\nProtokoll des Plug-ins, die letzten 200 Zeilen aus " + folder + "VidudUDE.old.log und " +
                           folder + "VidudUDE.log:\n  alt 71\n";
  ASSERT_TRUE(Has(report.text, tail)) << report.text;
  const std::string last = "\n  neu 120\n";
  EXPECT_EQ(report.text.substr(report.text.size() - last.size()), last);
  EXPECT_FALSE(Has(report.text, "alt 70\n"));
}

TEST(Diagnose, AViewerWhoseModulesCannotBeReadIsAProblemWithAHint) {
  FakeSystem system;
  system.modules = std::nullopt;
  const auto report = diagnose::Diagnose(system);
  EXPECT_EQ(report.problems, 1) << report.text;
  EXPECT_TRUE(Has(report.text, "sind nicht lesbar: die Diagnose mit denselben Rechten wie BIM Vision starten"))
      << report.text;
}

TEST(InstallCheck, AWholeInstallationPassesAndEachMissingPartFails) {
  FakeSystem system;
  system.processes.clear();
  auto report = diagnose::CheckInstallation(system);
  EXPECT_EQ(diagnose::ExitStatus(report), 0) << report.text;
  EXPECT_TRUE(Has(report.text, "  ok       Ereignisquelle VidudUDE: ")) << report.text;

  system.missing = {std::string(kPlugins) + "VidudUDE.DLL"};
  report = diagnose::CheckInstallation(system);
  EXPECT_TRUE(Has(report.text, "  PROBLEM  " + std::string(kPlugins) + "VidudUDE.DLL fehlt\n")) << report.text;
  EXPECT_EQ(report.problems, 1);
  system.missing.clear();

  system.versions[std::string(kPlugins) + "VidudUDE_data\\VidudUDE-Diagnose.exe"] = "0.9.0";
  system.numbers.clear();
  report = diagnose::CheckInstallation(system);
  EXPECT_EQ(report.problems, 2) << report.text;
  EXPECT_TRUE(Has(report.text, "VidudUDE-Diagnose.exe hat Version 0.9.0, das Paket Version 1.0.0")) << report.text;
  EXPECT_TRUE(Has(report.text, "Ereignisquelle VidudUDE nicht registriert")) << report.text;
  system.texts.erase("Software\\VidudUDE|Version");
  EXPECT_TRUE(Has(diagnose::CheckInstallation(system).text, "HKLM\\Software\\VidudUDE\\Version fehlt"));

  system = FakeSystem();
  system.texts[std::string(kEventSource) + "|EventMessageFile"] = "C:\\alt\\VidudUDE.DLL";
  EXPECT_TRUE(Has(diagnose::CheckInstallation(system).text, "Ereignisquelle VidudUDE falsch registriert"));
}

TEST(DiagnoseOptions, EachOptionAndAnUnknownOne) {
  auto options = diagnose::ParseOptions({"--report", "C:\\tmp\\bericht.txt", "--install-check"});
  EXPECT_EQ(options.reportFile, "C:\\tmp\\bericht.txt");
  EXPECT_TRUE(options.installCheck);
  EXPECT_FALSE(options.help);
  EXPECT_TRUE(options.error.empty());
  EXPECT_TRUE(diagnose::ParseOptions({"--help"}).help);
  EXPECT_EQ(diagnose::ParseOptions({"--report"}).error, "--report braucht den Namen einer Datei");
  EXPECT_EQ(diagnose::ParseOptions({"--verbose"}).error, "unbekannte Option: --verbose");
  for (const char* option : {"--report DATEI", "--install-check", "--help"}) {
    EXPECT_TRUE(Has(diagnose::kUsage, option)) << option;
  }
}

}  // namespace
