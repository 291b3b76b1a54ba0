// The guard around every call into the viewer, for 32-bit x86 Windows.
//
// The viewer is a native Windows program: a fault inside one of its
// functions, or a language exception of its own runtime, travels as a
// structured exception. GCC's table-based C++ exceptions neither catch nor
// unwind those, so without a guard one would pass through the plug-in's
// frames without running a destructor. mingw has no __try; this is what
// the compilers that have it build, in the way Wine's own GCC code does it:
//
// 1. An exception registration record (previous record, handler) is linked
//    in at the head of the thread's chain, fs:[0], for the time of the call.
// 2. The system's dispatcher walks that chain from the head when something
//    is raised. Records that the viewer pushed inside the call come first,
//    so the viewer handles what it can itself; only what it leaves reaches
//    GuardHandler.
// 3. GuardHandler keeps the code and calls RtlUnwind up to its own record:
//    the system calls every handler above it once more, marked as unwinding,
//    so the viewer's finally blocks and cleanups run, and unlinks them.
// 4. It then resumes CallGuarded at the point saved before the call
//    (__builtin_setjmp / __builtin_longjmp restore the stack and frame
//    pointers; GCC reloads every other register there), which unlinks the
//    record and answers with the code.
// 5. Once the stack is unwound, the thread gets back what the fault left
//    behind: the x87 registers the faulting code had loaded are emptied and
//    the caller's control word is set again (a Borland-style viewer runs
//    with exceptions unmasked, and a full x87 stack turns its next load into
//    a NaN or a raise); on a processor with SSE the caller's MXCSR is loaded
//    again too, since the viewer's code that faulted may have changed its
//    rounding or masks, however this file is compiled; and when the stack
//    below has lost its guard page, which an overflow uses up, it is set
//    again, or the next overflow on the thread would end the process
//    without a word. That is looked at after every fault, whatever its
//    code: the viewer's runtime may have caught the overflow and raised an
//    exception of its own, and an unwind that faults again replaces the
//    code (_resetstkoflw cannot when this frame itself lies within a few
//    pages of the stack's end). A call that returns normally pays for the
//    stores of the control word and, with SSE, of MXCSR: the record is not
//    cleared.
//
// The handler never lets the dispatch continue past the plug-in: any code
// that reaches it ends the call.
#include "platform/foreign_call_guard.h"

#include <windows.h>
#include <malloc.h>

#include <atomic>

#if !defined(__i386__)
#error "the fs:[0] exception chain exists on 32-bit x86 only"
#endif

namespace platform {
namespace {

struct GuardRecord {
  // The system's part of the record; it must come first.
  GuardRecord* previous;
  EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
  // The plug-in's part.
  void* resume[5];
  DWORD code;
  // The caller's x87 control word and, with SSE, its MXCSR, saved before
  // the call.
  std::uint16_t fpuControl;
  std::uint32_t sseControl;
};

// For the support record. The plug-in's frames run on the viewer's one
// thread; a fault on another thread may overwrite it, which costs only a
// wrong place in a log line.
std::atomic<std::uintptr_t> gLastFaultAddress{0};

// Asked once, when the library starts: MXCSR exists only with SSE.
const bool gHasSse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;

GuardRecord* ChainHead() noexcept {
  GuardRecord* head = nullptr;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(GuardRecord* head) noexcept { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) noexcept {
  // Called once more while an unwind passes: nothing to add to it.
  if ((exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    return ExceptionContinueSearch;
  }
  // RtlUnwind on x86 Windows does not keep ebx, esi and edi: the record is
  // read back from the stack after it, not from a register.
  GuardRecord* volatile record = static_cast<GuardRecord*>(establisher);
  record->code = exception->ExceptionCode;
  gLastFaultAddress.store(reinterpret_cast<std::uintptr_t>(exception->ExceptionAddress), std::memory_order_relaxed);
  RtlUnwind(record, nullptr, exception, nullptr);
  __builtin_longjmp(record->resume, 1);
}

// Whether the thread's stack, below the caller's frame, still ends in a
// guard page before its uncommitted or inaccessible end.
bool StackGuardPageBelow(const void* frame) noexcept {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(frame, &region, sizeof(region)) == 0) return false;
  const void* const stack = region.AllocationBase;
  while ((region.Protect & PAGE_GUARD) == 0) {
    if (region.State != MEM_COMMIT || (region.Protect & PAGE_READWRITE) == 0) return false;
    const char* const below = static_cast<const char*>(region.BaseAddress) - 1;
    if (VirtualQuery(below, &region, sizeof(region)) == 0 || region.AllocationBase != stack) return false;
  }
  return region.State == MEM_COMMIT;
}

// The fault path only, after the longjmp: the stack is the caller's again.
[[gnu::noinline]] void RestoreThread(const volatile GuardRecord& record) noexcept {
  const std::uint16_t control = record.fpuControl;
  asm volatile("fninit\n\tfldcw %0" : : "m"(control));
  if (gHasSse) {
    const std::uint32_t sseControl = record.sseControl;
    asm volatile("ldmxcsr %0" : : "m"(sseControl));
  }
  if (!StackGuardPageBelow(__builtin_frame_address(0))) _resetstkoflw();
}

}  // namespace

std::uintptr_t LastGuardedFaultAddress() noexcept { return gLastFaultAddress.load(std::memory_order_relaxed); }

bool CallGuarded(void (*call)(void* context) noexcept, void* context, std::uint32_t& exceptionCode) noexcept {
  // Only what is read before it is written: the resume point and the
  // control words are stored below, the rest of the record only on a fault.
  GuardRecord record;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  record.previous = ChainHead();
  record.handler = GuardHandler;
  record.code = 0;
  asm volatile("fnstcw %0" : "=m"(record.fpuControl));
  if (gHasSse) asm volatile("stmxcsr %0" : "=m"(record.sseControl));
  volatile bool completed = false;
  if (__builtin_setjmp(record.resume) == 0) {
    SetChainHead(&record);
    call(context);
    completed = true;
  }
  SetChainHead(record.previous);
  exceptionCode = static_cast<volatile DWORD&>(record.code);
  const bool returned = completed;
  if (!returned) RestoreThread(record);
  return returned;
}

}  // namespace platform
