#include "diagnose/diagnosis.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "bridge/controller_texts.h"
#include "peer_link/command_dispatch.h"
#include "peer_link/peer_discovery.h"
#include "peer_link/peer_message.h"

namespace diagnose {
namespace {

std::string Hex(std::uintptr_t value) {
  char text[2 + 2 * sizeof value + 1];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

bool SameFileName(std::string_view a, std::string_view b) {
  return peer_link::UpperCaseAscii(a) == peer_link::UpperCaseAscii(b);
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WithBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

// Windows paths compare without regard to the case of their letters, and a
// slash stands for a backslash.
bool SamePath(std::string_view a, std::string_view b) {
  std::string left = peer_link::UpperCaseAscii(a);
  std::string right = peer_link::UpperCaseAscii(b);
  std::replace(left.begin(), left.end(), '/', '\\');
  std::replace(right.begin(), right.end(), '/', '\\');
  return left == right;
}

std::string Pid(std::uint32_t pid) { return "PID " + std::to_string(pid); }

std::string Seconds(unsigned ms) { return std::to_string(ms / 1000) + " s"; }

// The lines of a log file, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// A process the report speaks of, with the integrity level it runs at.
struct Party {
  std::string name;
  std::uint32_t pid = 0;
  std::optional<std::uint32_t> level;
};

class Writer {
 public:
  void Line(const std::string& line) { report_.text += line + "\n"; }
  void Section(const std::string& title) { report_.text += (report_.text.empty() ? "" : "\n") + title + "\n"; }
  void Ok(const std::string& line) { report_.text += "  ok       " + line + "\n"; }
  void Problem(const std::string& line) {
    report_.text += "  PROBLEM  " + line + "\n";
    ++report_.problems;
  }
  void Note(const std::string& line) { report_.text += "  Hinweis  " + line + "\n"; }
  void Result() {
    report_.text += "\n";
    report_.text += report_.problems == 0   ? "Ergebnis: kein Problem gefunden.\n"
                    : report_.problems == 1 ? "Ergebnis: 1 Problem gefunden.\n"
                                            : "Ergebnis: " + std::to_string(report_.problems) + " Probleme gefunden.\n";
  }
  Report Finish() { return std::move(report_); }

 private:
  Report report_;
};

std::string LevelText(const std::optional<std::uint32_t>& level) {
  return level ? IntegrityLevelName(*level) : std::string("unbekannt");
}

void Header(Writer& out, DiagnoseSystem& system, const std::string& what) {
  out.Line("VidudUDE-Diagnose " + std::string(DiagnosisVersion()) + ": " + what + " (ändert nichts)");
  out.Line("Datum " + system.LocalTime() + ", Computer " + system.ComputerName() + ", Benutzer " + system.UserName());
}

// Where the package put the DLL (the folder it notes in the registry), or,
// without a note, the viewer's plugins folder under Program Files, where the
// archive goes.
struct Installation {
  bool byPackage = false;
  std::string folder;
  std::string dataFolder;  // where the plug-in looks for its images, and the diagnosis lies
};

Installation FindInstallation(DiagnoseSystem& system) {
  Installation found;
  found.dataFolder = system.ProgramFilesFolder() + bridge::texts::kImageFolder;
  const auto noted = system.MachineText(kPackageKey, "InstallDir");
  found.byPackage = noted && !noted->empty();
  found.folder =
      found.byPackage ? WithBackslash(*noted) : FolderOf(found.dataFolder.substr(0, found.dataFolder.size() - 1));
  return found;
}

std::string PackageValueName(const char* name) { return std::string("HKLM\\") + kPackageKey + "\\" + name; }

class Diagnosis {
 public:
  explicit Diagnosis(DiagnoseSystem& system) : system_(system) {}

  Report Run() {
    Header(out_, system_, "Verbindung BIM Vision <-> Quabo");
    FindProcesses();
    windows_ = system_.TopLevelWindows();
    Files();
    Viewers();
    Peers();
    SystemSettings();
    out_.Result();
    LogTail();
    return out_.Finish();
  }

 private:
  struct Viewer {
    Process process;
    std::string program;
  };

  void FindProcesses() {
    processes_ = system_.Processes();
    for (const auto& process : processes_) {
      if (peer_link::IsPeerExecutable(process.exeFile)) {
        peers_.push_back(process);
        continue;
      }
      const std::string program = system_.ProgramPath(process.pid);
      if (program.empty()) continue;
      const auto names = system_.ExportedNames(program);
      const bool viewer = std::all_of(kViewerExports.begin(), kViewerExports.end(), [&](std::string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
      });
      if (viewer) viewers_.push_back({process, program});
    }
  }

  void Files() {
    out_.Section("Plug-in-Dateien");
    const std::string& dataFolder = installation_.dataFolder;
    const std::string dll = installation_.folder + kPluginFile;
    if (installation_.byPackage) {
      out_.Ok("Ordner des Plug-ins laut Paket (" + PackageValueName("InstallDir") + "): " + installation_.folder);
    }
    if (system_.FileExists(dll)) {
      installedDll_ = dll;
      installedVersion_ = system_.FileVersion(dll);
      out_.Ok(dll + ", " + VersionText(dll));
    } else if (installation_.byPackage) {
      out_.Problem(dll + " fehlt, obwohl das Paket es dorthin installiert hat: das Paket reparieren");
    } else if (viewers_.empty()) {
      out_.Problem(dll + " fehlt: BIM Vision lädt das Plug-in aus seinem Ordner plugins");
    } else {
      out_.Note(dll + " fehlt; ein BIM Vision an anderem Ort lädt es aus seinem eigenen Ordner plugins (unten)");
    }
    for (const char* image : {bridge::texts::kStatusImage, bridge::texts::kCreateLinesImage}) {
      const std::string path = dataFolder + image;
      if (system_.FileExists(path)) {
        out_.Ok("Bild " + path);
      } else {
        out_.Problem("Bild fehlt: " + path +
                     " (das Plug-in sucht seine Bilder nur dort; die Schaltfläche bleibt ohne Bild)");
      }
    }
  }

  std::string VersionText(const std::string& path) {
    const std::string version = system_.FileVersion(path);
    return version.empty() ? "ohne Versionsangabe" : "Version " + version;
  }

  void Viewers() {
    out_.Section("BIM Vision");
    if (viewers_.empty()) {
      out_.Problem("kein BIM Vision läuft: die Verbindung entsteht erst, wenn BIM Vision mit dem Plug-in läuft");
    }
    for (const auto& viewer : viewers_) {
      const Party party{viewer.process.exeFile, viewer.process.pid, system_.IntegrityLevel(viewer.process.pid)};
      viewerParties_.push_back(party);
      out_.Ok(viewer.program + " (PID " + std::to_string(party.pid) + "), Integritätsstufe " + LevelText(party.level));
      if (PluginLoaded(viewer)) PluginWindow(viewer.process.pid);
    }
  }

  bool PluginLoaded(const Viewer& viewer) {
    const auto modules = system_.LoadedModules(viewer.process.pid);
    if (!modules) {
      out_.Problem(
          "die Module von PID " + std::to_string(viewer.process.pid) +
          " sind nicht lesbar: die Diagnose mit denselben Rechten wie BIM Vision starten (ggf. als Administrator)");
      return false;
    }
    bool loaded = false;
    for (const auto& module : *modules) {
      if (!SameFileName(FileNameOf(module), kPluginFile)) continue;
      loaded = true;
      const std::string version = system_.FileVersion(module);
      if (!installedDll_.empty() && (version != installedVersion_ || !SamePath(module, installedDll_))) {
        out_.Problem("in " + Pid(viewer.process.pid) + " ist eine andere Kopie von " + kPluginFile +
                     " geladen: " + module + ", " + VersionText(module) + "; installiert ist " + installedDll_ + ", " +
                     VersionText(installedDll_) +
                     ". BIM Vision beenden und neu starten; lädt es wieder die andere Kopie, diese entfernen");
      } else {
        out_.Ok(std::string(kPluginFile) + " geladen: " + module + ", " + VersionText(module));
      }
    }
    if (!loaded) {
      const std::string expected = FolderOf(viewer.program) + "plugins\\" + kPluginFile;
      out_.Problem(
          std::string(kPluginFile) + " ist in PID " + std::to_string(viewer.process.pid) + " nicht geladen; " +
          expected +
          (system_.FileExists(expected) ? " ist vorhanden: BIM Vision nach der Installation neu starten" : " fehlt"));
    }
    return loaded;
  }

  void PluginWindow(std::uint32_t pid) {
    bool found = false;
    for (const auto& window : windows_) {
      if (window.pid != pid || window.className != kPluginWindowClass) continue;
      found = true;
      PingPluginWindow(window);
      for (const WindowHandle peer : system_.ConnectedPeers(window.handle)) connected_.emplace_back(pid, peer);
    }
    if (!found) {
      out_.Problem("kein Plug-in-Fenster (Klasse " + std::string(kPluginWindowClass) + ") in PID " +
                   std::to_string(pid) + ": das Plug-in ist geladen, aber nicht gestartet");
    }
  }

  // The harmless command waits as long as a peer's command does.
  void PingPluginWindow(const Window& window) {
    const std::string what =
        "Plug-in-Fenster " + Hex(window.handle) + " (Klasse " + window.className + ", " + Pid(window.pid) + ")";
    const auto sent = system_.SendCommand(window.handle, peer_link::kCommandPing, kCommandTimeoutMs);
    const std::string command = "Befehl " + std::to_string(peer_link::kCommandPing);
    if (sent.outcome == SendResult::Outcome::kAnswered && sent.value == peer_link::kReplyTaken) {
      out_.Ok(what + " antwortet auf " + command + " mit " + std::to_string(sent.value));
    } else if (sent.outcome == SendResult::Outcome::kAnswered) {
      out_.Problem(what + " antwortet auf " + command + " mit " + std::to_string(sent.value) + " statt " +
                   std::to_string(peer_link::kReplyTaken));
    } else if (sent.outcome == SendResult::Outcome::kTimedOut) {
      out_.Problem(what + " antwortet nicht in " + Seconds(kCommandTimeoutMs) +
                   ": BIM Vision hängt oder ist so lange beschäftigt; ein Befehl von Quabo wartet ebenso lange "
                   "und geht verloren");
    } else {
      out_.Problem(what + ": " + NotSent(sent, "BIM Vision"));
    }
  }

  // Why a message did not arrive, when it was neither answered nor timed out.
  static std::string NotSent(const SendResult& sent, const std::string& program) {
    if (sent.outcome == SendResult::Outcome::kRefused) {
      return "Windows weist die Nachricht der Diagnose ab (Zugriff verweigert): " + program +
             " läuft mit höherer Integritätsstufe als die Diagnose; die Diagnose als Administrator starten";
    }
    return "die Nachricht kam nicht an (Windows-Fehler " + std::to_string(sent.value) + ")";
  }

  // The first top-level window of the process whose class is the peer's.
  const Window* PeerWindow(std::uint32_t pid) const {
    const std::string wanted(peer_link::kPeerWindowClass);
    const auto main = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) {
      return w.pid == pid && peer_link::ClassNameMatches(w.className.substr(0, wanted.size()), wanted);
    });
    return main == windows_.end() ? nullptr : &*main;
  }

  // Whether the program behind a window the report names as the peer handles
  // messages: the plug-in waits as long for each reply, and a message that
  // times out is lost. Empty when it does.
  // The finding's end after the window's name.
  std::string PeerStalls(const Process& peer, const Window& window) {
    const auto sent = system_.Ping(window.handle, kPeerTimeoutMs);
    if (sent.outcome == SendResult::Outcome::kAnswered) return {};
    if (sent.outcome == SendResult::Outcome::kTimedOut) {
      return " verarbeitet in " + Seconds(kPeerTimeoutMs) +
             " keine Nachricht: das Programm hängt. BIM Vision wartet bei jeder Nachricht an es so lange, und sie "
             "geht verloren: " +
             peer.exeFile + " (" + Pid(peer.pid) + ") prüfen, ggf. beenden und neu starten";
    }
    return ": " + NotSent(sent, peer.exeFile);
  }

  // A program the report names as the peer without its name: connected to
  // the plug-in (viewerPid), or with a window of the peer's class.
  struct OtherPeer {
    Process process;
    const Window* window = nullptr;
    std::uint32_t viewerPid = 0;
  };

  const Window* WindowOf(WindowHandle handle) const {
    const auto found =
        std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.handle == handle; });
    return found == windows_.end() ? nullptr : &*found;
  }

  const Process* ProcessOf(std::uint32_t pid) const {
    const auto found =
        std::find_if(processes_.begin(), processes_.end(), [&](const Process& p) { return p.pid == pid; });
    return found == processes_.end() ? nullptr : &*found;
  }

  bool IsViewer(std::uint32_t pid) const {
    return std::any_of(viewers_.begin(), viewers_.end(), [&](const Viewer& v) { return v.process.pid == pid; });
  }

  // The connected programs of another name, then those with a window of the
  // peer's class (one that finds the plug-in's window itself and connects
  // shows only so); a named peer's connections, one per viewer, go into its
  // own line.
  std::vector<OtherPeer> OtherPeers(std::map<std::uint32_t, std::string>& linkOfPeer) {
    std::vector<OtherPeer> others;
    for (const auto& [viewerPid, handle] : connected_) {
      const Window* window = WindowOf(handle);
      const Process* process = window ? ProcessOf(window->pid) : nullptr;
      if (!process) {
        out_.Note("das Plug-in in " + Pid(viewerPid) + " ist mit dem Fenster " + Hex(handle) +
                  " verbunden, das kein Hauptfenster eines laufenden Programms ist");
      } else if (peer_link::IsPeerExecutable(process->exeFile)) {
        linkOfPeer[process->pid] +=
            ", mit dem Plug-in in " + Pid(viewerPid) + " verbunden (Fenster " + Hex(handle) + ")";
      } else {
        others.push_back({*process, window, viewerPid});
      }
    }
    for (const auto& process : processes_) {
      if (peer_link::IsPeerExecutable(process.exeFile) || IsViewer(process.pid)) continue;
      const bool listed = std::any_of(others.begin(), others.end(),
                                      [&](const OtherPeer& other) { return other.process.pid == process.pid; });
      const Window* window = PeerWindow(process.pid);
      if (window && !listed) others.push_back({process, window, 0});
    }
    return others;
  }

  void Peers() {
    out_.Section("Quabo");
    std::map<std::uint32_t, std::string> linkOfPeer;
    const auto others = OtherPeers(linkOfPeer);
    // Without a peer of its names the plug-in reaches only a connected one;
    // a window of the peer's class alone links nothing yet.
    const bool linked =
        std::any_of(others.begin(), others.end(), [](const OtherPeer& other) { return other.viewerPid != 0; });
    if (peers_.empty() && !linked) {
      out_.Problem("kein Quabo läuft (QUABO.EXE oder QUABO_BIMPROJECT.EXE), und keines ist mit dem Plug-in verbunden");
    }
    if (peers_.empty() && !others.empty()) {
      out_.Note("kein Programm namens QUABO.EXE oder QUABO_BIMPROJECT.EXE läuft: das Plug-in findet Quabo dann nicht "
                "von selbst, es hört erst von ihm, wenn es sich verbindet");
    }
    for (const auto& peer : peers_) NamedPeer(peer, linkOfPeer[peer.pid]);
    for (const auto& other : others) OtherPeerFound(other);
  }

  void NamedPeer(const Process& peer, const std::string& link) {
    const Party party{peer.exeFile, peer.pid, system_.IntegrityLevel(peer.pid)};
    peerParties_.push_back(party);
    const std::string what =
        peer.exeFile + " (" + Pid(peer.pid) + ", Integritätsstufe " + LevelText(party.level) + ")" + link;
    const Window* main = PeerWindow(peer.pid);
    if (!main) {
      out_.Problem(what + " hat kein Fenster der Klasse " + std::string(peer_link::kPeerWindowClass) +
                   ": das Plug-in erreicht es nicht");
      return;
    }
    const std::string line = what + ", Hauptfenster " + Hex(main->handle) + " (Klasse " + main->className + ")";
    const std::string stalls = PeerStalls(peer, *main);
    if (stalls.empty()) {
      out_.Ok(line);
    } else {
      out_.Problem(line + stalls);
    }
  }

  void OtherPeerFound(const OtherPeer& other) {
    const Party party{other.process.exeFile, other.process.pid, system_.IntegrityLevel(other.process.pid)};
    // A window of the peer's class alone is a guess: many programs have one.
    // Only a connected program is the peer for the comparison of levels.
    if (other.viewerPid != 0) peerParties_.push_back(party);
    const std::string path = system_.ProgramPath(other.process.pid);
    const std::string who = (path.empty() ? other.process.exeFile : path) + " (" + Pid(other.process.pid) +
                            ", Integritätsstufe " + LevelText(party.level) + ")";
    const std::string window = Hex(other.window->handle) + " (Klasse " + other.window->className + ")";
    if (other.viewerPid != 0) {
      out_.Note(who + " ist mit dem Plug-in in " + Pid(other.viewerPid) + " verbunden, Fenster " + window);
    } else {
      out_.Note(who + " hat ein Fenster " + window + " wie Quabo: vielleicht Quabo unter anderem Namen");
    }
    // The plug-in sends only to a connected one: another that stalls stalls
    // nothing of the link.
    if (other.viewerPid == 0) return;
    const std::string stalls = PeerStalls(other.process, *other.window);
    if (!stalls.empty())
      out_.Problem(other.process.exeFile + " (" + Pid(other.process.pid) + "), Fenster " + window + stalls);
  }

  void SystemSettings() {
    out_.Section("System");
    // Levels matter between a viewer and a peer; with either side missing
    // there is nothing to compare.
    if (!viewerParties_.empty() && !peerParties_.empty()) IntegrityLevels();
    out_.Ok("ANSI-Codepage " + std::to_string(system_.AnsiCodePage()));
  }

  void IntegrityLevels() {
    std::vector<Party> parties = viewerParties_;
    parties.insert(parties.end(), peerParties_.begin(), peerParties_.end());
    std::set<std::uint32_t> levels;
    for (const auto& party : parties) {
      if (party.level) levels.insert(*party.level);
    }
    if (levels.size() > 1) {
      std::string who;
      for (const auto& party : parties) {
        who += (who.empty() ? "" : ", ") + party.name + " (PID " + std::to_string(party.pid) + ") " +
               LevelText(party.level);
      }
      out_.Problem("verschiedene Integritätsstufen: " + who +
                   ". Windows verwirft dann die Nachrichten an die höhere Stufe ohne Meldung: BIM Vision und Quabo "
                   "beide normal oder beide als Administrator starten");
    }
    // A level that cannot be read is never taken for the same: the likeliest
    // reason is a process that runs as administrator while the diagnosis
    // does not, which is the very mismatch this looks for.
    std::string unreadable;
    for (const auto& party : parties) {
      if (!party.level) {
        unreadable += (unreadable.empty() ? "" : ", ") + party.name + " (PID " + std::to_string(party.pid) + ")";
      }
    }
    if (!unreadable.empty()) {
      out_.Problem("Integritätsstufe nicht lesbar: " + unreadable +
                   ". Meist läuft das Programm als Administrator und die Diagnose nicht; ob BIM Vision und Quabo "
                   "dieselbe Stufe haben, bleibt offen: die Diagnose als Administrator starten");
    } else if (levels.size() == 1) {
      out_.Ok("BIM Vision und Quabo laufen mit derselben Integritätsstufe, " + IntegrityLevelName(*levels.begin()));
    }
  }

  // The end of the plug-in's log, from the older file too when the current
  // one is short: what the plug-in saw before the call to support.
  void LogTail() {
    const std::string appData = system_.LocalAppDataFolder();
    if (appData.empty()) return;
    const std::string folder = WithBackslash(appData) + kLogFolder;
    std::vector<std::string> lines;
    std::vector<std::string> files;
    for (const char* name : {kLogFile, kOldLogFile}) {
      if (lines.size() >= kLogLines) break;
      const auto text = system_.ReadFile(folder + name);
      if (!text) continue;
      auto older = Lines(*text);
      const std::size_t take = std::min(older.size(), kLogLines - lines.size());
      lines.insert(lines.begin(), older.end() - static_cast<std::ptrdiff_t>(take), older.end());
      files.insert(files.begin(), folder + name);
    }
    out_.Line("");
    if (files.empty()) {
      out_.Line("Protokoll des Plug-ins: keines in " + folder);
      return;
    }
    std::string from;
    for (const auto& file : files) from += (from.empty() ? "" : " und ") + file;
    out_.Line("Protokoll des Plug-ins, die letzten " + std::to_string(lines.size()) + " Zeilen aus " + from + ":");
    for (const auto& line : lines) out_.Line("  " + line);
  }

  DiagnoseSystem& system_;
  Writer out_;
  Installation installation_ = FindInstallation(system_);
  std::string installedDll_;  // empty when it is not there
  std::string installedVersion_;
  std::vector<Process> processes_;
  std::vector<Viewer> viewers_;
  std::vector<Process> peers_;
  std::vector<Window> windows_;
  std::vector<Party> viewerParties_;
  std::vector<Party> peerParties_;
  std::vector<std::pair<std::uint32_t, WindowHandle>> connected_;  // viewer's pid, the connected window
};

// The installation as the package leaves it: its registry values, the files
// with their versions, and the registration of the event log source.
class InstallationCheck {
 public:
  explicit InstallationCheck(DiagnoseSystem& system) : system_(system) {}

  Report Run() {
    Header(out_, system_, "Prüfung der Installation");
    out_.Section("Installation");
    const Installation installation = FindInstallation(system_);
    const auto version = system_.MachineText(kPackageKey, "Version");
    if (!installation.byPackage || !version || version->empty()) {
      out_.Problem(PackageValueName(installation.byPackage ? "Version" : "InstallDir") +
                   " fehlt: das Paket ist nicht installiert");
    } else {
      out_.Ok("Paket, Version " + *version + ", Ordner " + installation.folder + " (HKLM\\" + kPackageKey + ")");
    }
    const std::string wanted = version.value_or("");
    Program(installation.folder + kPluginFile, wanted);
    Program(installation.dataFolder + kDiagnosisFile, wanted);
    for (const char* image : {bridge::texts::kStatusImage, bridge::texts::kCreateLinesImage}) {
      const std::string path = installation.dataFolder + image;
      if (system_.FileExists(path)) {
        out_.Ok("Bild " + path);
      } else {
        out_.Problem("Bild fehlt: " + path);
      }
    }
    EventSource(installation.folder + kPluginFile);
    out_.Result();
    return out_.Finish();
  }

 private:
  void Program(const std::string& path, const std::string& wanted) {
    if (!system_.FileExists(path)) {
      out_.Problem(path + " fehlt");
      return;
    }
    const std::string version = system_.FileVersion(path);
    if (!wanted.empty() && version != wanted) {
      out_.Problem(path + " hat " + (version.empty() ? "keine Versionsangabe" : "Version " + version) +
                   ", das Paket Version " + wanted);
    } else {
      out_.Ok(path + ", Version " + version);
    }
  }

  void EventSource(const std::string& dll) {
    const std::string key = std::string("HKLM\\") + kEventSourceKey;
    const auto file = system_.MachineText(kEventSourceKey, "EventMessageFile");
    const auto types = system_.MachineNumber(kEventSourceKey, "TypesSupported");
    if (!file || !types) {
      out_.Problem("Ereignisquelle VidudUDE nicht registriert (" + key +
                   "): die Ereignisanzeige zeigt die Texte des "
                   "Plug-ins nicht");
    } else if (!SamePath(*file, dll) || *types != kEventTypesSupported) {
      out_.Problem("Ereignisquelle VidudUDE falsch registriert: EventMessageFile " + *file + ", TypesSupported " +
                   std::to_string(*types) + " statt " + dll + ", " + std::to_string(kEventTypesSupported));
    } else {
      out_.Ok("Ereignisquelle VidudUDE: " + *file);
    }
  }

  DiagnoseSystem& system_;
  Writer out_;
};

}  // namespace

std::string_view DiagnosisVersion() { return VIDUDUDE_VERSION; }

Report Diagnose(DiagnoseSystem& system) { return Diagnosis(system).Run(); }

Report CheckInstallation(DiagnoseSystem& system) { return InstallationCheck(system).Run(); }

int ExitStatus(const Report& report) { return report.problems == 0 ? 0 : 1; }

std::string IntegrityLevelName(std::uint32_t rid) {
  static const std::map<std::uint32_t, const char*> names = {
      {0x0000, "Nicht vertrauenswürdig"}, {0x1000, "Niedrig"}, {0x2000, "Mittel"}, {0x2100, "Mittel+"},
      {0x3000, "Hoch (Administrator)"},   {0x4000, "System"}};
  const auto name = names.find(rid);
  return (name == names.end() ? std::string("unbekannt") : std::string(name->second)) + " (" + Hex(rid) + ")";
}

}  // namespace diagnose
