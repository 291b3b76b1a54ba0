// The viewer functions the plug-in calls (host_api/viewer_functions.h), as
// one interface: the bridge talks to this, the bound entry points implement
// it, tests fake it.
#pragma once

#include <cstdint>

#include "host_api/viewer_abi.h"

namespace host_api {

using viewer_abi::Handler;
using viewer_abi::ObjectId;
using viewer_abi::PropertyFilter;
using viewer_abi::PropertyRecord;

class Viewer {
 public:
  virtual ~Viewer() = default;

#define VIEWER_INTERFACE_FUNCTION(name, result, abi_result, params, args, stopped) virtual result name params = 0;
  VIEWER_FUNCTIONS(VIEWER_INTERFACE_FUNCTION)
#undef VIEWER_INTERFACE_FUNCTION
};

// The base of every stand-in for the viewer (test fakes, benchmarks): each
// function answers as a viewer without a model or ribbon would and reports
// its call to Called, so that a stand-in overrides only what it cares about
// and still sees every call.
class ViewerStandIn : public Viewer {
 public:
#define VIEWER_STAND_IN_FUNCTION(name, result, abi_result, params, args, stopped) \
  result name params override {                                                   \
    Unused args;                                                                  \
    Called(#name, plugin);                                                        \
    return stopped;                                                               \
  }
  VIEWER_FUNCTIONS(VIEWER_STAND_IN_FUNCTION)
#undef VIEWER_STAND_IN_FUNCTION

 protected:
  // A call of a function that the stand-in does not override, with the
  // plug-in handle that every viewer function takes first.
  virtual void Called(const char* name, std::int32_t plugin) { Unused(name, plugin); }

 private:
  template <class... Args>
  static void Unused(const Args&...) {}
};

}  // namespace host_api
