// The diagnosis of one desk: the plug-in's files, the running viewers with
// the plug-in in them, the running peers, their integrity levels, the ANSI
// code page and the end of the plug-in's log, as a short German report; and
// the check of the installation alone. Plain C++ over DiagnoseSystem.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnose/diagnose_system.h"
#include "peer_link/wire.h"

namespace diagnose {

inline constexpr char kPluginWindowClass[] = VIDUDUDE_PLUGIN_WINDOW_CLASS;
inline constexpr char kPluginFile[] = "VidudUDE.DLL";
inline constexpr char kDiagnosisFile[] = "VidudUDE-Diagnose.exe";
// What the package writes under HKEY_LOCAL_MACHINE: the plug-in's folder and
// version, and the registration of the plug-in's event log source.
inline constexpr char kPackageKey[] = "Software\\VidudUDE";
inline constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VidudUDE";
inline constexpr std::uint32_t kEventTypesSupported = 7;
// The plug-in's log in the user's local application data folder, and the
// older file that it moves aside when the log is full.
inline constexpr char kLogFolder[] = "VidudUDE\\";
inline constexpr char kLogFile[] = "VidudUDE.log";
inline constexpr char kOldLogFile[] = "VidudUDE.old.log";
inline constexpr std::size_t kLogLines = 200;
// A harmless command answers within the time a peer's command waits, or the
// viewer is stuck: a shorter wait would call a viewer hung that is only busy
// on a loaded machine.
inline constexpr unsigned kCommandTimeoutMs = peer_link::kCommandTimeoutMs;
// A peer that does not handle a harmless message within the time the
// plug-in waits for its reply stalls the viewer on every message it gets.
inline constexpr unsigned kPeerTimeoutMs = peer_link::kPluginSendTimeoutMs;
// A viewer is a process whose program exports these functions of the
// viewer's plug-in interface, whatever its file is called.
inline constexpr std::array<std::string_view, 3> kViewerExports = {"create_button", "get_selected",
                                                                   "on_selection_change"};

struct Report {
  std::string text;  // UTF-8, one finding a line
  int problems = 0;
};

// The diagnosis's own version, the project's.
std::string_view DiagnosisVersion();

// The whole report: a header, the findings, the result and the end of the
// plug-in's log.
Report Diagnose(DiagnoseSystem& system);

// Only the installation: the package's registry values, the files with
// their versions and the event log source. Needs no viewer or peer running.
Report CheckInstallation(DiagnoseSystem& system);

// 0 when the report found no problem, 1 when it found one.
int ExitStatus(const Report& report);

// "Mittel (0x2000)" and the like, for a mandatory integrity level's RID.
std::string IntegrityLevelName(std::uint32_t rid);

}  // namespace diagnose
