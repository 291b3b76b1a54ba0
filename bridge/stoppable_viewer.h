// The viewer as one controller reaches it. Once the viewer has stopped the
// plug-in, an operation that was still running then (behind an error box, or
// in a send) makes no more calls under the old plug-in handle: each answers
// as a viewer without a model would (no button, no objects, no path, load
// refused).
#pragma once

#include <cstdint>

#include "host_api/viewer.h"

namespace bridge {

class StoppableViewer final : public host_api::Viewer {
 public:
  using Handler = host_api::Handler;
  using ObjectId = host_api::ObjectId;
  using PropertyFilter = host_api::PropertyFilter;
  using PropertyRecord = host_api::PropertyRecord;

  explicit StoppableViewer(host_api::Viewer& viewer) : viewer_(viewer) {}

  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }

  std::int32_t create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) override {
    return stopped_ ? 0 : viewer_.create_button(plugin, kind, onClick);
  }
  void set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) override {
    if (!stopped_) viewer_.set_button_text(plugin, button, text, hint);
  }
  void set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) override {
    if (!stopped_) viewer_.set_button_image(plugin, button, path);
  }
  void enable_button(std::int32_t plugin, std::int32_t button, bool enabled) override {
    if (!stopped_) viewer_.enable_button(plugin, button, enabled);
  }
  void on_selection_change(std::int32_t plugin, Handler handler) override {
    if (!stopped_) viewer_.on_selection_change(plugin, handler);
  }
  void on_model_load(std::int32_t plugin, Handler handler) override {
    if (!stopped_) viewer_.on_model_load(plugin, handler);
  }
  std::uint32_t get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override {
    return stopped_ ? 0 : viewer_.get_all_objects(plugin, buffer, count);
  }
  std::uint32_t get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override {
    return stopped_ ? 0 : viewer_.get_selected(plugin, buffer, count);
  }
  std::uint32_t filter_properties(std::int32_t plugin, const PropertyFilter* filter, PropertyRecord* buffer,
                                  std::uint32_t count) override {
    return stopped_ ? 0 : viewer_.filter_properties(plugin, filter, buffer, count);
  }
  ObjectId get_all_objects_id(std::int32_t plugin) override {
    return stopped_ ? 0 : viewer_.get_all_objects_id(plugin);
  }
  void select(std::int32_t plugin, ObjectId object, std::int32_t flag) override {
    if (!stopped_) viewer_.select(plugin, object, flag);
  }
  void select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) override {
    if (!stopped_) viewer_.select_many(plugin, objects, count, mode);
  }
  void invalidate(std::int32_t plugin) override {
    if (!stopped_) viewer_.invalidate(plugin);
  }
  bool load_ifc(std::int32_t plugin, const wchar_t* path) override {
    return !stopped_ && viewer_.load_ifc(plugin, path);
  }
  void item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) override {
    if (!stopped_) viewer_.item_command(plugin, item, command);
  }
  const wchar_t* get_loaded_ifc_path(std::int32_t plugin) override {
    return stopped_ ? nullptr : viewer_.get_loaded_ifc_path(plugin);
  }
  void set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) override {
    if (!stopped_) viewer_.set_view_state(plugin, kind, bytes, size);
  }

 private:
  host_api::Viewer& viewer_;
  bool stopped_ = false;
};

}  // namespace bridge
