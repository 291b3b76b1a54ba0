// Frames on the thread's fs:[0] exception chain (32-bit x86), written out by
// hand because mingw has no __try. The host frame resumes after an escape
// the way a compiler's __except does: RtlUnwind up to the frame, then back
// to the point saved before the work began.
#include "tools/viewer_sim/exception_frames.h"

#include <windows.h>

#include <mutex>

namespace viewer_sim {
namespace {

using Handler = EXCEPTION_DISPOSITION(__cdecl*)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);

struct ChainRecord {
  ChainRecord* previous;
  Handler handler;
};

ChainRecord* ChainHead() noexcept {
  ChainRecord* head = nullptr;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(ChainRecord* head) noexcept { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

bool Unwinding(const EXCEPTION_RECORD* exception) {
  return (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0;
}

struct ViewerRecord {
  ChainRecord chain;
  const char* function;
};

EXCEPTION_DISPOSITION __cdecl ViewerHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) noexcept {
  if (Unwinding(exception)) {
    try {
      const auto* record = static_cast<ViewerRecord*>(establisher);
      Sim().Log().Add(CallBuilder("viewer_unwound").Utf8("function", record->function).Build());
    } catch (...) {
      // The unwind goes on without the log line; the test then misses it.
    }
  }
  return ExceptionContinueSearch;
}

struct HostRecord {
  ChainRecord chain;
  void* resume[5];
  DWORD code;
};

void NoteHostFrameUnwound(std::uint32_t code) noexcept;

EXCEPTION_DISPOSITION __cdecl HostHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) noexcept {
  // An unwind reaches a host frame only when an exception was taken below
  // it, past everything the frame holds: a fault contained above it must
  // not unwind it.
  if (Unwinding(exception)) {
    NoteHostFrameUnwound(exception->ExceptionCode);
    return ExceptionContinueSearch;
  }
  // RtlUnwind on x86 Windows does not keep ebx, esi and edi: the record is
  // read back from the stack after it, not from a register.
  HostRecord* volatile record = static_cast<HostRecord*>(establisher);
  record->code = exception->ExceptionCode;
  RtlUnwind(record, nullptr, exception, nullptr);
  __builtin_longjmp(record->resume, 1);
}

volatile bool gRecurse = true;

// Keeps a page of its own at every level and uses it after the call, so
// that the recursion is no loop: it ends in a stack overflow.
[[gnu::noinline]] int RecurseOffTheStack(volatile char* caller) noexcept {
  volatile char page[4096];
  page[0] = static_cast<char>(caller != nullptr ? caller[0] + 1 : 0);
  return gRecurse ? RecurseOffTheStack(page) + page[0] : 0;
}

// The overflow is caught in a frame of the viewer's own, as its runtime
// turns it into a language exception, which it then raises.
[[gnu::noinline]] void OverflowCaughtAndRaisedAgain() noexcept {
  HostRecord caught{{ChainHead(), HostHandler}, {}, 0};
  if (__builtin_setjmp(caught.resume) == 0) {
    SetChainHead(&caught.chain);
    RecurseOffTheStack(nullptr);
  }
  SetChainHead(caught.chain.previous);
  RaiseException(kForeignExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

std::mutex gEscapesMutex;
std::vector<std::uint32_t> gEscapes;
std::vector<std::uint32_t> gHostUnwinds;
std::vector<std::string> gChainChanges;

void NoteHostFrameUnwound(std::uint32_t code) noexcept {
  try {
    std::lock_guard lock(gEscapesMutex);
    gHostUnwinds.push_back(code);
  } catch (...) {
    // Out of memory: the unwind goes unrecorded.
  }
}

}  // namespace

void RaiseInViewerFrame(const char* function, FaultKind kind) noexcept {
  ViewerRecord record{{ChainHead(), ViewerHandler}, function};
  SetChainHead(&record.chain);
  if (kind == FaultKind::ForeignException) {
    RaiseException(kForeignExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  } else if (kind == FaultKind::StackOverflow) {
    RecurseOffTheStack(nullptr);
  } else if (kind == FaultKind::StackOverflowRaisedAgain) {
    OverflowCaughtAndRaisedAgain();
  } else {
    // Left on the x87 stack by the faulting code, as a compiler's code
    // leaves it halfway through an expression.
    if (kind == FaultKind::AccessViolationAfterFpuLoad) asm volatile("fld1");
    // Rounding and masks of the SSE unit changed by the viewer's own code,
    // as a runtime's floating-point set-up does, before the fault.
    if (kind == FaultKind::AccessViolationAfterMxcsrChange) {
      const std::uint32_t mxcsr = kFaultingMxcsr;
      asm volatile("ldmxcsr %0" : : "m"(mxcsr));
    }
    // An address the compiler cannot see to be invalid, so that it emits
    // the store and the processor faults on it.
    static volatile std::uintptr_t invalid = 0x10;
    *reinterpret_cast<volatile int*>(invalid) = 1;
  }
  SetChainHead(record.chain.previous);
}

void CallInHostFrame(void (*work)(void* context) noexcept, void* context) noexcept {
  HostRecord record{{ChainHead(), HostHandler}, {}, 0};
  volatile bool escaped = true;
  if (__builtin_setjmp(record.resume) == 0) {
    SetChainHead(&record.chain);
    work(context);
    escaped = false;
    if (ChainHead() != &record.chain) NoteChainLeftChanged("a call in a host frame");
  }
  SetChainHead(record.chain.previous);
  if (!escaped) return;
  try {
    std::lock_guard lock(gEscapesMutex);
    gEscapes.push_back(static_cast<volatile DWORD&>(record.code));
  } catch (...) {
    // Out of memory: the escape goes unrecorded.
  }
}

std::vector<std::uint32_t> HostFrameEscapes() {
  std::lock_guard lock(gEscapesMutex);
  return gEscapes;
}

std::vector<std::uint32_t> HostFramesUnwound() {
  std::lock_guard lock(gEscapesMutex);
  return gHostUnwinds;
}

void ClearHostFrameEscapes() {
  std::lock_guard lock(gEscapesMutex);
  gEscapes.clear();
  gHostUnwinds.clear();
  gChainChanges.clear();
}

const void* ExceptionChainHead() noexcept { return ChainHead(); }

void NoteChainLeftChanged(const char* call) noexcept {
  try {
    std::lock_guard lock(gEscapesMutex);
    gChainChanges.emplace_back(call);
  } catch (...) {
    // Out of memory: the change goes unrecorded.
  }
}

std::vector<std::string> ChainLeftChanged() {
  std::lock_guard lock(gEscapesMutex);
  return gChainChanges;
}

}  // namespace viewer_sim
