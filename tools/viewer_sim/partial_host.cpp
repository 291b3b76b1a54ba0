// A host that exports only three of the viewer's functions, so a plug-in
// meets a viewer that has some names and lacks the rest.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>

#include "host_api/viewer_abi.h"
#include "tools/viewer_sim/loader_run.h"
#include "tools/viewer_sim/text.h"

namespace {

std::string Shown(const wchar_t* text) {
  if (!text) return "null";
  std::string shown = viewer_sim::ToUtf8(text);
  shown.insert(shown.begin(), '"');
  shown.push_back('"');
  return shown;
}

int nextButton = 1;

}  // namespace

extern "C" __declspec(dllexport) std::int32_t VIEWER_CALL
    create_button(std::int32_t plugin, std::int32_t kind, viewer_abi::Handler) noexcept {
  std::printf("create_button(plugin=%d, kind=%d) -> %d\n", static_cast<int>(plugin), static_cast<int>(kind),
              nextButton);
  return nextButton++;
}

extern "C" __declspec(dllexport) void VIEWER_CALL
    set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) noexcept {
  try {
    std::printf("set_button_text(plugin=%d, button=%d, text=%s, hint=%s)\n", static_cast<int>(plugin),
                static_cast<int>(button), Shown(text).c_str(), Shown(hint).c_str());
  } catch (...) {
    std::printf("set_button_text: texts could not be shown\n");
  }
}

extern "C" __declspec(dllexport) void VIEWER_CALL
    enable_button(std::int32_t plugin, std::int32_t button, std::uint32_t flag) noexcept {
  std::printf("enable_button(plugin=%d, button=%d, flag=0x%lx)\n", static_cast<int>(plugin), static_cast<int>(button),
              static_cast<unsigned long>(flag));
}

static_assert(std::is_convertible_v<decltype(&create_button), viewer_abi::create_button_fn>);
static_assert(std::is_convertible_v<decltype(&set_button_text), viewer_abi::set_button_text_fn>);
static_assert(std::is_convertible_v<decltype(&enable_button), viewer_abi::enable_button_fn>);

int main() {
  try {
    const auto args = viewer_sim::CommandLineArgs();
    if (args.size() != 2) {
      std::fprintf(stderr, "usage: partial_host PLUGIN.DLL\n");
      return 2;
    }
    std::printf("partial host: exports create_button, set_button_text, enable_button only\n");
    return viewer_sim::RunPluginOnce(args[1], stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "partial_host: %s\n", e.what());
    return 1;
  }
}
