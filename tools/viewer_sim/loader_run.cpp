#include "tools/viewer_sim/loader_run.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "tools/viewer_sim/text.h"
#include "tools/viewer_sim/win_host.h"

namespace viewer_sim {
namespace {

struct LocalFreer {
  void operator()(LPWSTR* memory) const noexcept { LocalFree(memory); }
};

const char* Shown(const Text& text) { return text ? text->c_str() : "(null)"; }

constexpr std::int32_t kPluginHandle = 0x51;
constexpr auto kPumpTime = std::chrono::milliseconds(300);

}  // namespace

std::vector<std::wstring> CommandLineArgs() {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreer> args(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::wstring> out;
  for (int i = 0; args && i < count; ++i) out.emplace_back(args.get()[i]);
  return out;
}

int RunPluginOnce(const std::wstring& path, std::FILE* out) {
  MessageBoxCatcher catcher([out](const MessageBoxRecord& box) {
    std::fprintf(out, "message box: [%s] %s\n", box.caption.c_str(), box.text.c_str());
  });
  HostWindow window;
  PluginHost plugin(path);
  if (!plugin.Loaded()) {
    std::fprintf(out, "cannot load %s: error %lu\n", ToUtf8(path).c_str(), plugin.LoadError());
    return 1;
  }
  std::fprintf(out, "loaded %s\n", ToUtf8(path).c_str());
  for (const char* name :
       {PluginHost::kApiVersionExport, PluginHost::kInfoExport, PluginHost::kLoadExport, PluginHost::kUnloadExport}) {
    std::fprintf(out, "export %s: %s\n", name, plugin.HasExport(name) ? "present" : "missing");
  }
  if (const auto version = plugin.ApiVersion()) {
    std::fprintf(out, "api version %d.%d\n", static_cast<int>(version->major), static_cast<int>(version->minor));
  }
  if (const auto info = plugin.Info()) {
    std::fprintf(out, "plug-in: %s by %s\n", Shown(info->name), Shown(info->producer));
  }
  std::fprintf(out, "on_plugin_load: %s\n", plugin.Load(kPluginHandle, 0, window.Handle()) ? "called" : "missing");
  std::fflush(out);
  PumpMessages(kPumpTime);
  std::fprintf(out, "on_plugin_unload: %s\n", plugin.Unload() ? "called" : "missing");
  std::fprintf(out, "close requests: %d\n", window.CloseRequests());
  std::fflush(out);
  return 0;
}

}  // namespace viewer_sim
