// A call into foreign code (the viewer) inside an exception frame of the
// plug-in's own. Declared without the system headers: the plug-in's frame
// hands it to the viewer binding as a plain function.
#pragma once

#include <cstdint>

namespace platform {

// Runs call(context). When a structured exception raised inside it reaches
// this frame, the frames above it are unwound (their handlers and finally
// blocks run), the call ends there and the answer is false with the
// exception's code; otherwise true.
bool CallGuarded(void (*call)(void* context) noexcept, void* context, std::uint32_t& exceptionCode) noexcept;

// Where the last structured exception that ended a guarded call was raised;
// 0 before the first.
std::uintptr_t LastGuardedFaultAddress() noexcept;

}  // namespace platform
