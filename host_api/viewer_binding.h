// The viewer's plug-in functions, found by name among the exports of the
// host executable when the library starts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "host_api/viewer.h"
#include "host_api/viewer_api_names.h"

namespace host_api {

// One address per viewer function name, null when the host lacks it.
struct ViewerEntryPoints {
  bool bound = false;
  std::array<void*, kViewerFunctionCount> address{};
};

// Looks a name up among the host executable's exports. An empty function
// stands for "no module handle".
using ExportLookup = std::function<void*(const char* name)>;

// Resolves every name, in list order, once; later calls change nothing.
void BindViewerApi(ViewerEntryPoints& entries, const ExportLookup& lookup);

// Runs call(context) so that a structured exception raised inside it ends
// the call instead of passing through the plug-in: false, with the
// exception's code, when it did. The platform provides it.
using CallGuard = bool (*)(void (*call)(void* context) noexcept, void* context, std::uint32_t& exceptionCode) noexcept;

// A structured exception raised inside a viewer function, thrown once the
// viewer's own frames are unwound, so that the plug-in's failure handling
// applies to it like to any other failure.
class ViewerFault : public std::runtime_error {
 public:
  explicit ViewerFault(std::uint32_t code);
  std::uint32_t Code() const { return code_; }

 private:
  std::uint32_t code_;
};

// The viewer reached through bound entry points, every call inside guard. A
// function the host does not export is skipped: the call does nothing and
// answers what the list of viewer functions gives for it (no button id, no
// objects, no path, load refused).
class BoundViewer final : public Viewer {
 public:
  BoundViewer(const ViewerEntryPoints& entries, CallGuard guard) : entries_(entries), guard_(guard) {}

#define BOUND_VIEWER_FUNCTION(name, result, abi_result, params, args, stopped) result name params override;
  VIEWER_FUNCTIONS(BOUND_VIEWER_FUNCTION)
#undef BOUND_VIEWER_FUNCTION

 private:
  // Calls the bound function fn inside the guard; a fault becomes a
  // ViewerFault.
  template <class Fn, class... Args>
  auto Call(Fn fn, Args... args) const;
  // The same for a call of the logic: its arguments and answer converted
  // to and from the viewer's words.
  template <class Result, class Fn, class... Args>
  Result Forward(Fn fn, Args... args) const;

  const ViewerEntryPoints& entries_;
  CallGuard guard_;
};

}  // namespace host_api
