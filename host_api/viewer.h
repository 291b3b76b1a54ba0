// The viewer functions the plug-in calls, as one interface: the bridge
// talks to this, the bound entry points implement it, tests fake it.
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

  virtual std::int32_t create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) = 0;
  virtual void set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) = 0;
  virtual void set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) = 0;
  virtual void enable_button(std::int32_t plugin, std::int32_t button, bool enabled) = 0;
  virtual void on_selection_change(std::int32_t plugin, Handler handler) = 0;
  virtual void on_model_load(std::int32_t plugin, Handler handler) = 0;
  virtual std::uint32_t get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) = 0;
  virtual std::uint32_t get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) = 0;
  virtual std::uint32_t filter_properties(std::int32_t plugin, const PropertyFilter* filter, PropertyRecord* buffer,
                                          std::uint32_t count) = 0;
  virtual ObjectId get_all_objects_id(std::int32_t plugin) = 0;
  virtual void select(std::int32_t plugin, ObjectId object, std::int32_t flag) = 0;
  virtual void select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) = 0;
  virtual void invalidate(std::int32_t plugin) = 0;
  virtual bool load_ifc(std::int32_t plugin, const wchar_t* path) = 0;
  virtual void item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) = 0;
  virtual const wchar_t* get_loaded_ifc_path(std::int32_t plugin) = 0;
  virtual void set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) = 0;
};

}  // namespace host_api
