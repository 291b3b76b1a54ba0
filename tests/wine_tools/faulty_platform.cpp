// The system platform with failures on demand, for a test build of the
// plug-in: while the variable VIDUDUDE_FAULT names an operation, that
// operation throws, as an exhausted resource would; named as
// "raise:<operation>", the operation faults as broken code does, with an
// access violation, and as "overflow:<operation>" it runs off the thread's
// stack (structured exceptions both, which no C++ handler catches).
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/win32_platform.h"

namespace platform {
namespace {

volatile bool gRecurse = true;

// Keeps a page of its own at every level and uses it after the call, so
// that the recursion is no loop: it ends in a stack overflow.
[[gnu::noinline]] int RecurseOffTheStack(volatile char* caller) noexcept {
  volatile char page[4096];
  page[0] = static_cast<char>(caller != nullptr ? caller[0] + 1 : 0);
  return gRecurse ? RecurseOffTheStack(page) + page[0] : 0;
}

void FailIfArmed(const char* operation) {
  char armed[64] = {};
  const DWORD length = GetEnvironmentVariableA("VIDUDUDE_FAULT", armed, sizeof(armed));
  if (length == 0 || length >= sizeof(armed)) return;
  if (std::string(armed) == operation) throw std::runtime_error(std::string("injected failure in ") + operation);
  if (std::string(armed) == std::string("raise:") + operation) {
    // An address the compiler cannot see to be invalid, so that it emits
    // the store and the processor faults on it.
    static volatile std::uintptr_t invalid = 0x10;
    *reinterpret_cast<volatile int*>(invalid) = 1;
  }
  if (std::string(armed) == std::string("overflow:") + operation) RecurseOffTheStack(nullptr);
}

class FaultyPlatform final : public Win32Platform {
 public:
  using Win32Platform::Win32Platform;

  std::uint32_t WindowProcessId(WindowHandle window) override {
    FailIfArmed("pid");
    return Win32Platform::WindowProcessId(window);
  }
  bool WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) override {
    FailIfArmed("walk");
    return Win32Platform::WalkProcesses(visit);
  }
  void PostClose(WindowHandle window) override {
    FailIfArmed("post");
    Win32Platform::PostClose(window);
  }
  std::wstring ToWide(std::string_view ansi) override {
    FailIfArmed("wide");
    return Win32Platform::ToWide(ansi);
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    FailIfArmed("box");
    Win32Platform::ShowMessage(text, caption);
  }
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<FaultyPlatform>(); }

}  // namespace platform
