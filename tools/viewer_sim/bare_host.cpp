// A host that exports none of the viewer's functions: a plug-in loaded here
// finds no names at all and must still load, run and unload quietly.
#include <cstdio>
#include <exception>

#include "tools/viewer_sim/loader_run.h"

int main() {
  try {
    const auto args = viewer_sim::CommandLineArgs();
    if (args.size() != 2) {
      std::fprintf(stderr, "usage: bare_host PLUGIN.DLL\n");
      return 2;
    }
    std::printf("bare host: no viewer functions exported\n");
    return viewer_sim::RunPluginOnce(args[1], stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bare_host: %s\n", e.what());
    return 1;
  }
}
