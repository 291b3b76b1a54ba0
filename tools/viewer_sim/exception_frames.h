// The simulated viewer's own structured-exception frames, as a native viewer
// has them: one inside a failing viewer function, whose unwinding stands for
// the viewer's finally blocks, and one around every call into the plug-in,
// which catches whatever the plug-in lets through.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/viewer_sim/viewer_sim.h"

namespace viewer_sim {

// Raises the fault from inside a frame of the viewer's own. When an unwind
// passes that frame, a "viewer_unwound" call naming the function is logged.
void RaiseInViewerFrame(const char* function, FaultKind kind) noexcept;

// Runs work(context) inside the host's frame. A structured exception that
// reaches the frame ends the work; its code is kept for HostFrameEscapes.
void CallInHostFrame(void (*work)(void* context) noexcept, void* context) noexcept;

template <class Work>
void InHostFrame(Work&& work) noexcept {
  CallInHostFrame([](void* context) noexcept { (*static_cast<std::remove_reference_t<Work>*>(context))(); }, &work);
}

// The codes of the exceptions that reached a host frame, oldest first.
std::vector<std::uint32_t> HostFrameEscapes();
// The codes of the exceptions whose unwind called a host frame's handler
// while that frame stayed on the stack (an exit unwind, say), oldest first.
std::vector<std::uint32_t> HostFramesUnwound();
// Forgets the escapes, the unwinds and the changed chains below.
void ClearHostFrameEscapes();

// A call into the plug-in must return with the thread's exception chain as
// it found it: a record still linked at the head lies on stack that has gone,
// and the next exception raised outside a frame walks into it. Host frames
// and ChainWatch (win_host.h) note each call that did not, by what it was.
const void* ExceptionChainHead() noexcept;
void NoteChainLeftChanged(const char* call) noexcept;
std::vector<std::string> ChainLeftChanged();

}  // namespace viewer_sim
