#include "peer_link/peer_discovery.h"

namespace peer_link {

std::string UpperCaseAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool IsPeerExecutable(std::string_view exeFile) {
  const std::string upper = UpperCaseAscii(exeFile);
  return upper == kPeerExe || upper == kPeerExeBimProject;
}

bool ClassNameMatches(std::string_view copiedClassName, std::string_view wantedClassName) {
  return !copiedClassName.empty() && copiedClassName == wantedClassName;
}

platform::WindowHandle FindProcessWindow(platform::Platform& system, std::uint32_t processId,
                                         std::string_view className) {
  platform::WindowHandle found = 0;
  system.EnumTopLevelWindows([&](platform::WindowHandle window) {
    if (system.WindowProcessId(window) != processId) return true;
    const std::string copied = system.WindowClassName(window, className.size() + 1);
    if (!ClassNameMatches(copied, className)) return true;
    found = window;
    return false;
  });
  return found;
}

bool IsOtherProcessWindow(platform::Platform& system, platform::WindowHandle window) {
  if (window == 0 || window == platform::kBroadcastWindow) return false;
  const std::uint32_t owner = system.WindowProcessId(window);
  return owner != 0 && owner != system.CurrentProcessId();
}

PeerWindows FindPeerWindows(platform::Platform& system) {
  PeerWindows slots{};
  std::size_t peers = 0;
  system.WalkProcesses([&](std::uint32_t pid, std::string_view exeFile) {
    if (!IsPeerExecutable(exeFile)) return;
    ++peers;
    if (peers <= kPeerSlots) slots[peers - 1] = FindProcessWindow(system, pid, kPeerWindowClass);
  });
  return slots;
}

}  // namespace peer_link
