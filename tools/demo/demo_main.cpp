// vidudude_demo.exe --plugin DLL --peer PEER_SIM_EXE --model IFC [--screenshots DIR]
// Plays the typical exchange between an estimator in the viewer, the
// plug-in and the construction application, and prints what crosses
// between the three. With --screenshots it also shows the ribbon in a
// window and saves it as start.png, connected.png and lines-enabled.png.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "peer_driver.h"
#include "peer_link/wire.h"
#include "tools/viewer_sim/loader_run.h"
#include "tools/viewer_sim/ribbon_window.h"
#include "tools/viewer_sim/text.h"
#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

namespace {

using viewer_sim::ToUtf8;

struct Options {
  std::wstring plugin;
  std::string peer;
  std::wstring model;
  std::wstring screenshots;
};

std::optional<Options> Parse(const std::vector<std::wstring>& args) {
  Options options;
  for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == L"--plugin") {
      options.plugin = args[i + 1];
    } else if (args[i] == L"--peer") {
      options.peer = ToUtf8(args[i + 1]);
    } else if (args[i] == L"--model") {
      options.model = args[i + 1];
    } else if (args[i] == L"--screenshots") {
      options.screenshots = args[i + 1];
    } else {
      return std::nullopt;
    }
  }
  if (options.plugin.empty() || options.peer.empty() || options.model.empty()) return std::nullopt;
  return options;
}

// Bytes as a readable quoted text: CR LF and NUL shown as escapes.
std::string Quoted(const std::string& bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\0') {
      out += "\\0";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Prints what happened since the last call: the viewer calls the plug-in
// made, the message boxes it showed, and what the peer printed.
class Transcript {
 public:
  Transcript(viewer_sim::ViewerSim& sim, PeerProcess& peer) : sim_(sim), peer_(peer) {}

  void Step(const char* title) {
    Flush();
    std::printf("\n== %s\n", title);
  }

  void Flush() {
    // Everything the peer printed before is in once it answers this.
    peer_.Command("reply " + std::to_string(peer_link::kReplyTaken));
    const auto calls = sim_.Log().All();
    while (seenCalls_ < calls.size()) {
      const auto& call = calls[seenCalls_];
      // A long run of one call (the property queries of an index build)
      // shows its start and its length.
      std::size_t run = 1;
      while (seenCalls_ + run < calls.size() && calls[seenCalls_ + run].name == call.name) ++run;
      const std::size_t shown = run > kLongRun ? kLongRun : run;
      for (std::size_t i = 0; i < shown; ++i) {
        const auto& c = calls[seenCalls_ + i];
        std::printf(c.name.rfind("host:", 0) == 0 ? "  viewer   (user)   %s\n" : "  plug-in -> viewer %s\n",
                    c.Line().c_str());
      }
      if (run > shown) std::printf("  plug-in -> viewer ... %zu more %s calls\n", run - shown, call.name.c_str());
      seenCalls_ += run;
    }
    const auto lines = peer_.Lines();
    for (; seenLines_ < lines.size(); ++seenLines_) {
      const auto& line = lines[seenLines_];
      if (line.rfind("recv ", 0) == 0) {
        const auto message = ParseRecv(line);
        std::printf("  plug-in -> peer   code %u, %u bytes: %s\n", message.code, message.cb,
                    Quoted(message.bytes).c_str());
      } else if (line.rfind("line ", 0) == 0) {
        std::printf("  peer creates measurement %s\n", line.c_str());
      } else if (line.rfind("sent ", 0) == 0) {
        std::printf("  peer -> plug-in   %s\n", line.c_str());
      }
    }
  }

 private:
  static constexpr std::size_t kLongRun = 4;

  viewer_sim::ViewerSim& sim_;
  PeerProcess& peer_;
  std::size_t seenCalls_ = 0;
  std::size_t seenLines_ = 0;
};

void PrintButtons(viewer_sim::ViewerSim& sim) {
  for (const auto& b : sim.Buttons()) {
    std::printf("  ribbon: [%s] %s  (hint: \"%s\", image: %s)\n", ToUtf8(b.text).c_str(),
                b.enabled ? "enabled" : "greyed", ToUtf8(b.hint).c_str(), ToUtf8(b.image).c_str());
  }
}

// The ribbon in a window, saved at the moments the estimator would notice.
class Screenshots {
 public:
  explicit Screenshots(std::wstring dir) : dir_(std::move(dir)), ribbon_(L"Quabo") { WriteLayout(); }

  void Take(viewer_sim::ViewerSim& sim, const wchar_t* name) {
    ribbon_.Show(sim.Buttons());
    viewer_sim::PumpMessages(std::chrono::milliseconds(200));
    const std::wstring path = dir_ + L"\\" + name + L".png";
    std::printf("  screenshot %s: %s\n", ToUtf8(path).c_str(), ribbon_.SavePng(path) ? "saved" : "FAILED");
  }

 private:
  // Where the buttons are, for whoever checks the pictures.
  void WriteLayout() const {
    std::ofstream out(std::filesystem::path(dir_) / "layout.txt");
    out << "size " << viewer_sim::RibbonWindow::kWidth << ' ' << viewer_sim::RibbonWindow::kHeight << '\n';
    for (std::size_t i = 0; i < 2; ++i) {
      const RECT r = viewer_sim::RibbonWindow::ButtonRect(i);
      out << "button " << i << ' ' << r.left << ' ' << r.top << ' ' << r.right - r.left << ' ' << r.bottom - r.top
          << '\n';
    }
  }

  std::wstring dir_;
  viewer_sim::RibbonWindow ribbon_;
};

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\\') out += c;
  }
  return out;
}

// The peer simulator's line that sends a command with its text, already
// escaped as the simulator reads it.
std::string SendLine(std::uint32_t command, const std::string& text = {}) {
  return "send " + std::to_string(command) + (text.empty() ? "" : " " + text);
}

std::vector<std::pair<viewer_sim::ObjectId, std::string>> ElementsOfType(viewer_sim::ViewerSim& sim,
                                                                         const std::wstring& type) {
  std::vector<std::pair<viewer_sim::ObjectId, std::string>> found;
  for (const auto& o : sim.CurrentModel().objects) {
    if (o.type != type) continue;
    for (const auto& p : o.properties) {
      if (p.name == viewer_sim::kGuidProperty && p.value) found.emplace_back(o.id, ToUtf8(*p.value));
    }
  }
  return found;
}

int Run(const Options& options) {
  auto& sim = viewer_sim::Sim();
  const auto catcher = viewer_sim::CatchMessageBoxesIntoSim();
  viewer_sim::HostWindow window;
  std::printf("Quabo is running (a peer simulator started as %s).\n", VIDUDUDE_PEER_EXE);
  PeerProcess peer(options.peer, VIDUDUDE_PEER_EXE);
  Transcript transcript(sim, peer);
  std::unique_ptr<Screenshots> screenshots;
  if (!options.screenshots.empty()) screenshots = std::make_unique<Screenshots>(options.screenshots);
  const auto snapshot = [&](const wchar_t* name) {
    if (screenshots) screenshots->Take(sim, name);
  };

  transcript.Step("1. The viewer loads the plug-in");
  std::printf("  from %s\n", ToUtf8(options.plugin).c_str());
  viewer_sim::PluginHost plugin(options.plugin);
  if (!plugin.Loaded()) {
    std::printf("  cannot load it: error %lu\n", plugin.LoadError());
    return 1;
  }
  if (const auto info = plugin.Info()) {
    std::printf("  plug-in: %s - %s\n", info->name.value_or("").c_str(), info->description.value_or("").c_str());
  }
  plugin.Load(sim.Config().pluginHandle, 0, window.Handle());
  transcript.Flush();
  PrintButtons(sim);
  snapshot(L"start");

  transcript.Step("2. Quabo connects");
  peer.Command(SendLine(peer_link::kCommandConnect));
  transcript.Flush();
  PrintButtons(sim);
  snapshot(L"connected");

  transcript.Step("3. Quabo has the viewer load the model");
  peer.Command(SendLine(peer_link::kCommandLoadModel, Escaped(ToUtf8(options.model))));
  transcript.Flush();
  std::printf("  model: %zu elements with GUIDs\n", sim.CurrentModel().objects.size());

  transcript.Step("4. The estimator selects walls in the 3-D view");
  auto walls = ElementsOfType(sim, L"IFCWALL");
  const auto standardWalls = ElementsOfType(sim, L"IFCWALLSTANDARDCASE");
  walls.insert(walls.end(), standardWalls.begin(), standardWalls.end());
  std::vector<viewer_sim::ObjectId> picked;
  for (std::size_t i = 0; i < walls.size() && i < 3; ++i) picked.push_back(walls[i].first);
  sim.UserSelect(picked);

  transcript.Step("5. Quabo enables \"Aufma\xC3\x9Fzeilen erzeugen\"");
  peer.Command(SendLine(peer_link::kCommandLinesButton, std::string(peer_link::kLinesButtonActive)));
  transcript.Flush();
  PrintButtons(sim);
  snapshot(L"lines-enabled");

  transcript.Step("6. The estimator presses \"Aufma\xC3\x9Fzeilen erzeugen\"");
  for (const auto& b : sim.Buttons()) {
    if (!b.enabled || b.id == sim.Buttons().front().id) continue;
    sim.Click(b.id);
  }

  transcript.Step("7. Quabo selects elements by GUID");
  std::string guids;
  for (const auto* type : {L"IFCDOOR", L"IFCWINDOW"}) {
    for (const auto& [id, guid] : ElementsOfType(sim, type)) guids += (guids.empty() ? "" : "\\r\\n") + guid;
  }
  peer.Command(SendLine(peer_link::kCommandSelect, guids.empty() ? std::string(peer_link::kNoGuids) : guids));
  transcript.Flush();
  std::printf("  the viewer now shows %zu selected elements\n", sim.Selection().size());

  transcript.Step("8. Quabo restores a view");
  peer.Command(SendLine(peer_link::kCommandRestoreView, "0A1B2C3D4E5F"));

  transcript.Step("9. Quabo switches the lines button off");
  peer.Command(SendLine(peer_link::kCommandLinesButton, "inactive"));
  transcript.Flush();
  PrintButtons(sim);

  transcript.Step("10. Quabo disconnects, which closes the viewer");
  peer.Command(SendLine(peer_link::kCommandDisconnect));
  viewer_sim::PumpUntil([&] { return window.CloseRequests() > 0; }, std::chrono::seconds(60));
  std::printf("  the viewer's main window received %d close request(s); the viewer stops the plug-in\n",
              window.CloseRequests());
  plugin.Unload();
  transcript.Flush();

  const auto boxes = sim.MessageBoxes();
  std::printf("\nmessage boxes shown: %zu\n", boxes.size());
  for (const auto& box : boxes) std::printf("  [%s] %s\n", box.caption.c_str(), box.text.c_str());
  return 0;
}

}  // namespace

int main() {
  try {
    const auto options = Parse(viewer_sim::CommandLineArgs());
    if (!options) {
      std::fprintf(stderr, "usage: vidudude_demo --plugin DLL --peer PEER_SIM_EXE --model IFC [--screenshots DIR]\n");
      return 2;
    }
    return Run(*options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vidudude_demo: %s\n", e.what());
    return 1;
  }
}
