// The diagnosis of one desk: the plug-in's files, the running viewers with
// the plug-in in them, the running peers, their integrity levels and the
// ANSI code page, as a short German report. Plain C++ over DiagnoseSystem.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnose/diagnose_system.h"
#include "peer_link/wire.h"

namespace diagnose {

inline constexpr char kPluginWindowClass[] = VIDUDUDE_PLUGIN_WINDOW_CLASS;
inline constexpr char kPluginFile[] = "VidudUDE.DLL";
// A harmless command answers within the time a peer's command waits, or the
// viewer is stuck: a shorter wait would call a viewer hung that is only busy
// on a loaded machine.
inline constexpr unsigned kCommandTimeoutMs = peer_link::kCommandTimeoutMs;
// A viewer is a process whose program exports these functions of the
// viewer's plug-in interface, whatever its file is called.
inline constexpr std::array<std::string_view, 3> kViewerExports = {"create_button", "get_selected",
                                                                   "on_selection_change"};

struct Report {
  std::string text;  // UTF-8, one finding a line
  int problems = 0;
};

Report Diagnose(DiagnoseSystem& system);

// 0 when the report found no problem, 1 when it found one.
int ExitStatus(const Report& report);

// "Mittel (0x2000)" and the like, for a mandatory integrity level's RID.
std::string IntegrityLevelName(std::uint32_t rid);

}  // namespace diagnose
