// The system platform with failures on demand, for a test build of the
// plug-in: while the variable VIDUDUDE_FAULT names an operation, that
// operation throws, as an exhausted resource would.
#include <stdexcept>
#include <string>

#include "platform/win32_platform.h"

namespace platform {
namespace {

void FailIfArmed(const char* operation) {
  char armed[64] = {};
  const DWORD length = GetEnvironmentVariableA("VIDUDUDE_FAULT", armed, sizeof(armed));
  if (length > 0 && length < sizeof(armed) && std::string(armed) == operation) {
    throw std::runtime_error(std::string("injected failure in ") + operation);
  }
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
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<FaultyPlatform>(); }

}  // namespace platform
