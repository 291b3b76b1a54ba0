// Finding the running peer applications and their main windows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "peer_link/wire.h"
#include "platform/platform.h"

namespace peer_link {

inline constexpr std::size_t kPeerSlots = 5;

// Slots 1 to 5 of the targets, stored at positions 0 to 4; 0 marks an empty
// slot.
using PeerWindows = std::array<platform::WindowHandle, kPeerSlots>;

// Upper-cases the letters a to z only; every other byte stays as it is.
std::string UpperCaseAscii(std::string_view text);

// True when the executable file name is one of the peer's, in any letter
// case, with nothing before or after it.
bool IsPeerExecutable(std::string_view exeFile);

// The class-name test of the system's copy into a buffer as long as the
// wanted name: the copied text must be non-empty and equal the wanted name,
// so a longer class name that begins with it matches.
bool ClassNameMatches(std::string_view copiedClassName, std::string_view wantedClassName);

// The first top-level window of the process whose class name matches; 0 when
// there is none.
platform::WindowHandle FindProcessWindow(platform::Platform& system, std::uint32_t processId,
                                         std::string_view className);

// True for a window that a peer may own: an existing window of another
// process. The broadcast handle, a value that names no window, and every
// window of the process this code runs in (the viewer's, the plug-in's
// hidden window among them) are not.
bool IsOtherProcessWindow(platform::Platform& system, platform::WindowHandle window);

// One slot per peer process in snapshot order, for at most five of them;
// a peer without a main window keeps its slot at 0. All slots are empty when
// no snapshot can be taken.
PeerWindows FindPeerWindows(platform::Platform& system);

}  // namespace peer_link
