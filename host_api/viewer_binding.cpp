#include "host_api/viewer_binding.h"

#include <cstddef>

namespace host_api {

void BindViewerApi(ViewerEntryPoints& entries, const ExportLookup& lookup) {
  if (entries.bound) return;
  entries.bound = true;
  if (!lookup) return;
  for (std::size_t i = 0; i < kViewerFunctionNames.size(); ++i) {
    // The names are string literals, so data() is NUL-terminated.
    entries.address[i] = lookup(kViewerFunctionNames[i].data());
  }
}

namespace {

template <class Fn, std::size_t Index>
Fn Entry(const ViewerEntryPoints& entries) {
  return reinterpret_cast<Fn>(entries.address[Index]);
}

}  // namespace

#define VIEWER_ENTRY(name) Entry<viewer_abi::name##_fn, ViewerFunctionIndex(#name)>(entries_)

std::int32_t BoundViewer::create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) {
  auto fn = VIEWER_ENTRY(create_button);
  return fn ? fn(plugin, kind, onClick) : 0;
}

void BoundViewer::set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) {
  if (auto fn = VIEWER_ENTRY(set_button_text)) fn(plugin, button, text, hint);
}

void BoundViewer::set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) {
  if (auto fn = VIEWER_ENTRY(set_button_image)) fn(plugin, button, path);
}

void BoundViewer::enable_button(std::int32_t plugin, std::int32_t button, bool enabled) {
  if (auto fn = VIEWER_ENTRY(enable_button))
    fn(plugin, button, enabled ? viewer_abi::kButtonEnabled : viewer_abi::kButtonDisabled);
}

void BoundViewer::on_selection_change(std::int32_t plugin, Handler handler) {
  if (auto fn = VIEWER_ENTRY(on_selection_change)) fn(plugin, handler);
}

void BoundViewer::on_model_load(std::int32_t plugin, Handler handler) {
  if (auto fn = VIEWER_ENTRY(on_model_load)) fn(plugin, handler);
}

std::uint32_t BoundViewer::get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  auto fn = VIEWER_ENTRY(get_all_objects);
  return fn ? fn(plugin, buffer, count) : 0;
}

std::uint32_t BoundViewer::get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  auto fn = VIEWER_ENTRY(get_selected);
  return fn ? fn(plugin, buffer, count) : 0;
}

std::uint32_t BoundViewer::filter_properties(std::int32_t plugin, const PropertyFilter* filter, PropertyRecord* buffer,
                                             std::uint32_t count) {
  auto fn = VIEWER_ENTRY(filter_properties);
  return fn ? fn(plugin, filter, buffer, count) : 0;
}

ObjectId BoundViewer::get_all_objects_id(std::int32_t plugin) {
  auto fn = VIEWER_ENTRY(get_all_objects_id);
  return fn ? fn(plugin) : 0;
}

void BoundViewer::select(std::int32_t plugin, ObjectId object, std::int32_t flag) {
  if (auto fn = VIEWER_ENTRY(select)) fn(plugin, object, flag);
}

void BoundViewer::select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) {
  if (auto fn = VIEWER_ENTRY(select_many)) fn(plugin, objects, count, mode);
}

void BoundViewer::invalidate(std::int32_t plugin) {
  if (auto fn = VIEWER_ENTRY(invalidate)) fn(plugin);
}

bool BoundViewer::load_ifc(std::int32_t plugin, const wchar_t* path) {
  auto fn = VIEWER_ENTRY(load_ifc);
  // Only the low byte of the result carries the answer.
  return fn && (fn(plugin, path) & 0xFFu) != 0;
}

void BoundViewer::item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) {
  if (auto fn = VIEWER_ENTRY(item_command)) fn(plugin, item, command);
}

const wchar_t* BoundViewer::get_loaded_ifc_path(std::int32_t plugin) {
  auto fn = VIEWER_ENTRY(get_loaded_ifc_path);
  return fn ? fn(plugin) : nullptr;
}

void BoundViewer::set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) {
  if (auto fn = VIEWER_ENTRY(set_view_state)) fn(plugin, kind, bytes, size);
}

#undef VIEWER_ENTRY

}  // namespace host_api
