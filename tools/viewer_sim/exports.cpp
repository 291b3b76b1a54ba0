// The viewer functions the plug-in calls, exported from the host program
// under their plain names with the viewer's stdcall signatures. Each one is a
// shell that forwards to Sim() and lets no C++ exception out; a fault armed
// for it is raised as a structured exception before it does anything.
#include <cstdint>
#include <optional>
#include <type_traits>

#include "host_api/viewer_abi.h"
#include "tools/viewer_sim/exception_frames.h"
#include "tools/viewer_sim/viewer_sim.h"

namespace {

using viewer_abi::Handler;
using viewer_abi::ObjectId;
using viewer_abi::PropertyFilter;
using viewer_abi::PropertyRecord;
using viewer_sim::Sim;

template <typename Result, typename Body>
Result Guarded(const char* name, Result fallback, Body&& body) noexcept {
  std::optional<viewer_sim::FaultKind> fault;
  try {
    fault = Sim().TakeFault(name);
  } catch (...) {
    // No fault then.
  }
  if (fault) viewer_sim::RaiseInViewerFrame(name, *fault);
  try {
    return body();
  } catch (...) {
    try {
      Sim().Log().Add(viewer_sim::CallBuilder(name).Result("exception in the simulator").Build());
    } catch (...) {
      // Nothing left to report with.
    }
    return fallback;
  }
}

template <typename Body>
void Guarded(const char* name, Body&& body) noexcept {
  Guarded<int>(name, 0, [&] {
    body();
    return 0;
  });
}

}  // namespace

#define VIEWER_EXPORT extern "C" __declspec(dllexport)

VIEWER_EXPORT std::int32_t VIEWER_CALL create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) noexcept {
  return Guarded<std::int32_t>("create_button", 0, [&] { return Sim().CreateButton(plugin, kind, onClick); });
}

VIEWER_EXPORT void VIEWER_CALL set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text,
                                               const wchar_t* hint) noexcept {
  Guarded("set_button_text", [&] { Sim().SetButtonText(plugin, button, text, hint); });
}

VIEWER_EXPORT void VIEWER_CALL set_button_image(std::int32_t plugin, std::int32_t button,
                                                const wchar_t* path) noexcept {
  Guarded("set_button_image", [&] { Sim().SetButtonImage(plugin, button, path); });
}

VIEWER_EXPORT void VIEWER_CALL enable_button(std::int32_t plugin, std::int32_t button, std::uint32_t flag) noexcept {
  Guarded("enable_button", [&] { Sim().EnableButton(plugin, button, flag); });
}

VIEWER_EXPORT std::int32_t VIEWER_CALL on_selection_change(std::int32_t plugin, Handler handler) noexcept {
  return Guarded<std::int32_t>("on_selection_change", 0, [&] { return Sim().OnSelectionChange(plugin, handler); });
}

VIEWER_EXPORT std::int32_t VIEWER_CALL on_model_load(std::int32_t plugin, Handler handler) noexcept {
  return Guarded<std::int32_t>("on_model_load", 0, [&] { return Sim().OnModelLoad(plugin, handler); });
}

VIEWER_EXPORT std::uint32_t VIEWER_CALL get_all_objects(std::int32_t plugin, ObjectId* buffer,
                                                        std::uint32_t count) noexcept {
  return Guarded<std::uint32_t>("get_all_objects", 0, [&] { return Sim().GetAllObjects(plugin, buffer, count); });
}

VIEWER_EXPORT std::uint32_t VIEWER_CALL get_selected(std::int32_t plugin, ObjectId* buffer,
                                                     std::uint32_t count) noexcept {
  return Guarded<std::uint32_t>("get_selected", 0, [&] { return Sim().GetSelected(plugin, buffer, count); });
}

VIEWER_EXPORT std::uint32_t VIEWER_CALL filter_properties(std::int32_t plugin, const PropertyFilter* filter,
                                                          PropertyRecord* buffer, std::uint32_t count) noexcept {
  return Guarded<std::uint32_t>("filter_properties", 0,
                                [&] { return Sim().FilterProperties(plugin, filter, buffer, count); });
}

VIEWER_EXPORT ObjectId VIEWER_CALL get_all_objects_id(std::int32_t plugin) noexcept {
  return Guarded<ObjectId>("get_all_objects_id", 0, [&] { return Sim().GetAllObjectsId(plugin); });
}

VIEWER_EXPORT void VIEWER_CALL select(std::int32_t plugin, ObjectId object, std::int32_t flag) noexcept {
  Guarded("select", [&] { Sim().Select(plugin, object, flag); });
}

VIEWER_EXPORT void VIEWER_CALL select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count,
                                           std::int32_t mode) noexcept {
  Guarded("select_many", [&] { Sim().SelectMany(plugin, objects, count, mode); });
}

VIEWER_EXPORT void VIEWER_CALL invalidate(std::int32_t plugin) noexcept {
  Guarded("invalidate", [&] { Sim().Invalidate(plugin); });
}

VIEWER_EXPORT std::uint32_t VIEWER_CALL load_ifc(std::int32_t plugin, const wchar_t* path) noexcept {
  return Guarded<std::uint32_t>("load_ifc", 0, [&] { return Sim().LoadIfc(plugin, path); });
}

VIEWER_EXPORT void VIEWER_CALL item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) noexcept {
  Guarded("item_command", [&] { Sim().ItemCommand(plugin, item, command); });
}

VIEWER_EXPORT const wchar_t* VIEWER_CALL get_loaded_ifc_path(std::int32_t plugin) noexcept {
  return Guarded<const wchar_t*>("get_loaded_ifc_path", nullptr, [&] { return Sim().GetLoadedIfcPath(plugin); });
}

VIEWER_EXPORT void VIEWER_CALL set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes,
                                              std::int32_t size) noexcept {
  Guarded("set_view_state", [&] { Sim().SetViewState(plugin, kind, bytes, size); });
}

// Every function of the list is exported here, with its signature: one that
// drifts from the viewer's types fails to compile, not at run time.
#define VIEWER_SIGNATURE(name, result, abi_result, params, args, stopped) \
  static_assert(std::is_convertible_v<decltype(&name), viewer_abi::name##_fn>);
VIEWER_FUNCTIONS(VIEWER_SIGNATURE)
#undef VIEWER_SIGNATURE
