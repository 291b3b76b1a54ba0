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

// A process the report speaks of, with the integrity level it runs at.
struct Party {
  std::string name;
  std::uint32_t pid = 0;
  std::optional<std::uint32_t> level;
};

class Writer {
 public:
  void Section(const std::string& title) { report_.text += (report_.text.empty() ? "" : "\n") + title + "\n"; }
  void Ok(const std::string& line) { report_.text += "  ok       " + line + "\n"; }
  void Problem(const std::string& line) {
    report_.text += "  PROBLEM  " + line + "\n";
    ++report_.problems;
  }
  void Note(const std::string& line) { report_.text += "  Hinweis  " + line + "\n"; }
  Report Finish() {
    report_.text += "\n";
    report_.text += report_.problems == 0   ? "Ergebnis: kein Problem gefunden.\n"
                    : report_.problems == 1 ? "Ergebnis: 1 Problem gefunden.\n"
                                            : "Ergebnis: " + std::to_string(report_.problems) + " Probleme gefunden.\n";
    return std::move(report_);
  }

 private:
  Report report_;
};

std::string LevelText(const std::optional<std::uint32_t>& level) {
  return level ? IntegrityLevelName(*level) : std::string("unbekannt");
}

class Diagnosis {
 public:
  explicit Diagnosis(DiagnoseSystem& system) : system_(system) {}

  Report Run() {
    FindProcesses();
    windows_ = system_.TopLevelWindows();
    Files();
    Viewers();
    Peers();
    SystemSettings();
    return out_.Finish();
  }

 private:
  struct Viewer {
    Process process;
    std::string program;
  };

  void FindProcesses() {
    for (const auto& process : system_.Processes()) {
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
    const std::string programFiles = system_.ProgramFilesFolder();
    const std::string dataFolder = programFiles + bridge::texts::kImageFolder;
    const std::string dll = FolderOf(dataFolder.substr(0, dataFolder.size() - 1)) + kPluginFile;
    if (system_.FileExists(dll)) {
      out_.Ok(dll + ", " + VersionText(dll));
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
      parties_.push_back(party);
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
      out_.Ok(std::string(kPluginFile) + " geladen: " + module + ", " + VersionText(module));
      loaded = true;
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
      const std::string what = "Plug-in-Fenster " + Hex(window.handle) + " (Klasse " + window.className + ", PID " +
                               std::to_string(pid) + ")";
      const auto reply = system_.SendCommand(window.handle, peer_link::kCommandPing, kCommandTimeoutMs);
      if (!reply) {
        out_.Problem(what + " antwortet nicht in " + std::to_string(kCommandTimeoutMs / 1000) +
                     " s: BIM Vision hängt oder ist lange beschäftigt, oder es läuft mit höherer Integritätsstufe als "
                     "die Diagnose");
      } else if (*reply != peer_link::kReplyTaken) {
        out_.Problem(what + " antwortet auf Befehl " + std::to_string(peer_link::kCommandPing) + " mit " +
                     std::to_string(*reply) + " statt " + std::to_string(peer_link::kReplyTaken));
      } else {
        out_.Ok(what + " antwortet auf Befehl " + std::to_string(peer_link::kCommandPing) + " mit " +
                std::to_string(*reply));
      }
    }
    if (!found) {
      out_.Problem("kein Plug-in-Fenster (Klasse " + std::string(kPluginWindowClass) + ") in PID " +
                   std::to_string(pid) + ": das Plug-in ist geladen, aber nicht gestartet");
    }
  }

  void Peers() {
    out_.Section("Quabo");
    if (peers_.empty()) out_.Problem("kein Quabo läuft (QUABO.EXE oder QUABO_BIMPROJECT.EXE)");
    for (const auto& peer : peers_) {
      const Party party{peer.exeFile, peer.pid, system_.IntegrityLevel(peer.pid)};
      parties_.push_back(party);
      const std::string what =
          peer.exeFile + " (PID " + std::to_string(peer.pid) + ", Integritätsstufe " + LevelText(party.level) + ")";
      const std::string wanted(peer_link::kPeerWindowClass);
      const auto main = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) {
        return w.pid == peer.pid && peer_link::ClassNameMatches(w.className.substr(0, wanted.size()), wanted);
      });
      if (main == windows_.end()) {
        std::string problem = what;
        problem += " hat kein Fenster der Klasse " + wanted + ": das Plug-in erreicht es nicht";
        out_.Problem(problem);
      } else {
        out_.Ok(what + ", Hauptfenster " + Hex(main->handle) + " (Klasse " + main->className + ")");
      }
    }
  }

  void SystemSettings() {
    out_.Section("System");
    std::set<std::uint32_t> levels;
    for (const auto& party : parties_) {
      if (party.level) levels.insert(*party.level);
    }
    if (levels.size() > 1) {
      std::string who;
      for (const auto& party : parties_) {
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
    for (const auto& party : parties_) {
      if (!party.level) {
        unreadable += (unreadable.empty() ? "" : ", ") + party.name + " (PID " + std::to_string(party.pid) + ")";
      }
    }
    if (!unreadable.empty() && parties_.size() > 1) {
      out_.Problem("Integritätsstufe nicht lesbar: " + unreadable +
                   ". Meist läuft das Programm als Administrator und die Diagnose nicht; ob BIM Vision und Quabo "
                   "dieselbe Stufe haben, bleibt offen: die Diagnose als Administrator starten");
    } else if (levels.size() == 1 && parties_.size() > 1) {
      out_.Ok("BIM Vision und Quabo laufen mit derselben Integritätsstufe, " + IntegrityLevelName(*levels.begin()));
    }
    out_.Ok("ANSI-Codepage " + std::to_string(system_.AnsiCodePage()));
  }

  DiagnoseSystem& system_;
  Writer out_;
  std::vector<Viewer> viewers_;
  std::vector<Process> peers_;
  std::vector<Window> windows_;
  std::vector<Party> parties_;
};

}  // namespace

Report Diagnose(DiagnoseSystem& system) { return Diagnosis(system).Run(); }

int ExitStatus(const Report& report) { return report.problems == 0 ? 0 : 1; }

std::string IntegrityLevelName(std::uint32_t rid) {
  static const std::map<std::uint32_t, const char*> names = {
      {0x0000, "Nicht vertrauenswürdig"}, {0x1000, "Niedrig"}, {0x2000, "Mittel"}, {0x2100, "Mittel+"},
      {0x3000, "Hoch (Administrator)"},   {0x4000, "System"}};
  const auto name = names.find(rid);
  return (name == names.end() ? std::string("unbekannt") : std::string(name->second)) + " (" + Hex(rid) + ")";
}

}  // namespace diagnose
