#include "platform/win32_platform.h"

namespace platform {

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<Win32Platform>(); }

}  // namespace platform
