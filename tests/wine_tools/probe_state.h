// What the probe plug-in saw of its host, read back by the simulator tests.
#pragma once

#include <cstdint>

#include "host_api/viewer_abi.h"

struct ProbeState {
  viewer_abi::ApiVersion viewerVersion{};
  std::int32_t plugin = 0;
  std::int32_t flag = 0;
  void* mainWindow = nullptr;
  std::int32_t button = 0;
  int unloads = 0;
  int clicks = 0;
};
