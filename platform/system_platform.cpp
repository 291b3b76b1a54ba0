#include "platform/win32_platform.h"

namespace platform {

std::unique_ptr<Platform> MakeSystemPlatform(HMODULE module) { return std::make_unique<Win32Platform>(module); }

}  // namespace platform
