// The viewer as one controller reaches it. Once the viewer has stopped the
// plug-in, an operation that was still running then (behind an error box, or
// in a send) makes no more calls under the old plug-in handle: each answers
// what the list of viewer functions gives for a stopped plug-in (no button,
// no objects, no path, load refused).
#pragma once

#include <cstdint>

#include "host_api/viewer.h"

namespace bridge {

class StoppableViewer final : public host_api::Viewer {
 public:
  explicit StoppableViewer(host_api::Viewer& viewer) : viewer_(viewer) {}

  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }

#define STOPPABLE_VIEWER_FUNCTION(name, result, abi_result, params, args, stopped) \
  result name params override { return stopped_ ? (stopped) : viewer_.name args; }
  VIEWER_FUNCTIONS(STOPPABLE_VIEWER_FUNCTION)
#undef STOPPABLE_VIEWER_FUNCTION

 private:
  host_api::Viewer& viewer_;
  bool stopped_ = false;
};

}  // namespace bridge
