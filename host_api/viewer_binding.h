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
// answers as an empty viewer would (no button id, no objects, no path, load
// refused).
class BoundViewer final : public Viewer {
 public:
  BoundViewer(const ViewerEntryPoints& entries, CallGuard guard) : entries_(entries), guard_(guard) {}

  std::int32_t create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) override;
  void set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) override;
  void set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) override;
  void enable_button(std::int32_t plugin, std::int32_t button, bool enabled) override;
  void on_selection_change(std::int32_t plugin, Handler handler) override;
  void on_model_load(std::int32_t plugin, Handler handler) override;
  std::uint32_t get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override;
  std::uint32_t get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override;
  std::uint32_t filter_properties(std::int32_t plugin, const PropertyFilter* filter, PropertyRecord* buffer,
                                  std::uint32_t count) override;
  ObjectId get_all_objects_id(std::int32_t plugin) override;
  void select(std::int32_t plugin, ObjectId object, std::int32_t flag) override;
  void select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) override;
  void invalidate(std::int32_t plugin) override;
  bool load_ifc(std::int32_t plugin, const wchar_t* path) override;
  void item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) override;
  const wchar_t* get_loaded_ifc_path(std::int32_t plugin) override;
  void set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) override;

 private:
  // Calls the bound function fn inside the guard; a fault becomes a
  // ViewerFault.
  template <class Fn, class... Args>
  auto Call(Fn fn, Args... args) const;

  const ViewerEntryPoints& entries_;
  CallGuard guard_;
};

}  // namespace host_api
