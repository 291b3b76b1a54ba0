// viewer_sim.exe --plugin PATH [--model PATH] [--console]: plays the viewer
// for one plug-in session and prints what the plug-in did; with --console
// the viewer stays up and takes a user's actions from stdin.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "tools/viewer_sim/loader_run.h"
#include "tools/viewer_sim/text.h"
#include "tools/viewer_sim/viewer_console.h"
#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

namespace {

using viewer_sim::ToUtf8;

constexpr auto kPumpTime = std::chrono::milliseconds(500);

constexpr const char* kUsage =
    "usage: viewer_sim --plugin PATH [--model PATH] [--console [--timestamps[=clock]]]\n"
    "Loads the plug-in DLL at PATH as the viewer does (get_api_verion, get_plugin_info,\n"
    "on_plugin_load), opens the model if given, and prints every viewer call the plug-in makes.\n"
    "Without --console it then stops the plug-in after half a second and exits.\n"
    "With --console the viewer stays up and reads commands from stdin, one per line, and prints\n"
    "every message the plug-in sends; --timestamps begins every line with the milliseconds since\n"
    "the start, --timestamps=clock with the local time (hh:mm:ss.mmm, as peers print it):\n";

struct Options {
  std::wstring plugin;
  std::optional<std::wstring> model;
  bool console = false;
  viewer_sim::Timestamps timestamps = viewer_sim::Timestamps::kNone;
  bool help = false;
};

std::optional<Options> Parse(const std::vector<std::wstring>& args) {
  Options options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"--plugin" && i + 1 < args.size()) {
      options.plugin = args[++i];
    } else if (args[i] == L"--model" && i + 1 < args.size()) {
      options.model = args[++i];
    } else if (args[i] == L"--console") {
      options.console = true;
    } else if (args[i] == L"--timestamps") {
      options.timestamps = viewer_sim::Timestamps::kMilliseconds;
    } else if (args[i] == L"--timestamps=clock") {
      options.timestamps = viewer_sim::Timestamps::kClock;
    } else if (args[i] == L"--help" || args[i] == L"-h") {
      options.help = true;
      return options;
    } else {
      return std::nullopt;
    }
  }
  if (options.plugin.empty()) return std::nullopt;
  return options;
}

const char* Shown(const viewer_sim::Text& text) { return text ? text->c_str() : "(null)"; }

int Run(const Options& options) {
  auto& sim = viewer_sim::Sim();
  const auto catcher = viewer_sim::CatchMessageBoxesIntoSim();
  viewer_sim::HostWindow window;
  viewer_sim::PluginHost plugin(options.plugin);
  if (!plugin.Loaded()) {
    std::printf("cannot load %s: error %lu\n", ToUtf8(options.plugin).c_str(), plugin.LoadError());
    return 1;
  }
  if (const auto version = plugin.ApiVersion()) {
    std::printf("api version: %d.%d\n", static_cast<int>(version->major), static_cast<int>(version->minor));
  } else {
    std::printf("api version: export missing\n");
  }
  if (const auto info = plugin.Info()) {
    std::printf("name: %s\nproducer: %s\nweb: %s\nemail: %s\ndescription: %s\n", Shown(info->name),
                Shown(info->producer), Shown(info->webAddress), Shown(info->email), Shown(info->description));
  } else {
    std::printf("plug-in info: export missing\n");
  }
  if (!plugin.Load(sim.Config().pluginHandle, 0, window.Handle())) std::printf("on_plugin_load: export missing\n");
  for (const auto& button : sim.Buttons()) {
    std::printf("button %d: text \"%s\", hint \"%s\", image \"%s\", %s\n", static_cast<int>(button.id),
                ToUtf8(button.text).c_str(), ToUtf8(button.hint).c_str(), ToUtf8(button.image).c_str(),
                button.enabled ? "enabled" : "disabled");
  }
  if (options.model) {
    const auto read = sim.LoadModel(*options.model);
    if (read.ok()) {
      std::printf("model: %zu objects\n", read.objects.size());
    } else {
      std::printf("model: %s\n", read.error.c_str());
    }
  }
  viewer_sim::PumpMessages(kPumpTime);
  plugin.Unload();
  std::printf("close requests: %d\n--- calls ---\n", window.CloseRequests());
  for (const auto& line : sim.Log().Transcript()) std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace

int main() {
  try {
    const auto options = Parse(viewer_sim::CommandLineArgs());
    if (!options || options->help) {
      std::fprintf(options ? stdout : stderr, "%s%s", kUsage, viewer_sim::ConsoleHelp());
      return options ? 0 : 2;
    }
    if (options->console) return viewer_sim::RunConsole({options->plugin, options->model, options->timestamps});
    return Run(*options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "viewer_sim: %s\n", e.what());
    return 1;
  }
}
