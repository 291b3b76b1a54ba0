// The plain loader behind bare_host and partial_host: one plug-in, its four
// exports called once in the viewer's order, with a short message pump.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace viewer_sim {

// The program's arguments, as UTF-16 (argv[0] included).
std::vector<std::wstring> CommandLineArgs();

// Loads the plug-in at `path`, calls its exports, pumps messages for a
// moment, unloads it and writes what happened to `out`. Returns 0 when the
// DLL loaded (missing exports are reported, not failed), 1 when it did not.
int RunPluginOnce(const std::wstring& path, std::FILE* out);

}  // namespace viewer_sim
