#include "host_api/viewer_binding.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <tuple>
#include <type_traits>

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

std::string FaultText(std::uint32_t code) {
  char text[48];
  std::snprintf(text, sizeof text, "viewer call raised 0x%08lX", static_cast<unsigned long>(code));
  return text;
}

template <class Fn, std::size_t Index>
Fn Entry(const ViewerEntryPoints& entries) {
  return reinterpret_cast<Fn>(entries.address[Index]);
}

}  // namespace

ViewerFault::ViewerFault(std::uint32_t code) : std::runtime_error(FaultText(code)), code_(code) {}

template <class Fn, class... Args>
auto BoundViewer::Call(Fn fn, Args... args) const {
  using Result = std::invoke_result_t<Fn, Args...>;
  struct Pending {
    Fn fn;
    std::tuple<Args...> args;
    std::conditional_t<std::is_void_v<Result>, char, Result> result{};
  } pending{fn, {args...}};
  const auto run = [](void* context) noexcept {
    auto& p = *static_cast<Pending*>(context);
    if constexpr (std::is_void_v<Result>) {
      std::apply(p.fn, p.args);
    } else {
      p.result = std::apply(p.fn, p.args);
    }
  };
  std::uint32_t code = 0;
  if (!guard_(run, &pending, code)) throw ViewerFault(code);
  if constexpr (!std::is_void_v<Result>) return pending.result;
}

#define VIEWER_ENTRY(name) Entry<viewer_abi::name##_fn, ViewerFunctionIndex(#name)>(entries_)

std::int32_t BoundViewer::create_button(std::int32_t plugin, std::int32_t kind, Handler onClick) {
  auto fn = VIEWER_ENTRY(create_button);
  return fn ? Call(fn, plugin, kind, onClick) : 0;
}

void BoundViewer::set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) {
  if (auto fn = VIEWER_ENTRY(set_button_text)) Call(fn, plugin, button, text, hint);
}

void BoundViewer::set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) {
  if (auto fn = VIEWER_ENTRY(set_button_image)) Call(fn, plugin, button, path);
}

void BoundViewer::enable_button(std::int32_t plugin, std::int32_t button, bool enabled) {
  if (auto fn = VIEWER_ENTRY(enable_button))
    Call(fn, plugin, button, enabled ? viewer_abi::kButtonEnabled : viewer_abi::kButtonDisabled);
}

void BoundViewer::on_selection_change(std::int32_t plugin, Handler handler) {
  if (auto fn = VIEWER_ENTRY(on_selection_change)) Call(fn, plugin, handler);
}

void BoundViewer::on_model_load(std::int32_t plugin, Handler handler) {
  if (auto fn = VIEWER_ENTRY(on_model_load)) Call(fn, plugin, handler);
}

std::uint32_t BoundViewer::get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  auto fn = VIEWER_ENTRY(get_all_objects);
  return fn ? Call(fn, plugin, buffer, count) : 0;
}

std::uint32_t BoundViewer::get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  auto fn = VIEWER_ENTRY(get_selected);
  return fn ? Call(fn, plugin, buffer, count) : 0;
}

std::uint32_t BoundViewer::filter_properties(std::int32_t plugin, const PropertyFilter* filter, PropertyRecord* buffer,
                                             std::uint32_t count) {
  auto fn = VIEWER_ENTRY(filter_properties);
  return fn ? Call(fn, plugin, filter, buffer, count) : 0;
}

ObjectId BoundViewer::get_all_objects_id(std::int32_t plugin) {
  auto fn = VIEWER_ENTRY(get_all_objects_id);
  return fn ? Call(fn, plugin) : 0;
}

void BoundViewer::select(std::int32_t plugin, ObjectId object, std::int32_t flag) {
  if (auto fn = VIEWER_ENTRY(select)) Call(fn, plugin, object, flag);
}

void BoundViewer::select_many(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) {
  if (auto fn = VIEWER_ENTRY(select_many)) Call(fn, plugin, objects, count, mode);
}

void BoundViewer::invalidate(std::int32_t plugin) {
  if (auto fn = VIEWER_ENTRY(invalidate)) Call(fn, plugin);
}

bool BoundViewer::load_ifc(std::int32_t plugin, const wchar_t* path) {
  auto fn = VIEWER_ENTRY(load_ifc);
  // Only the low byte of the result carries the answer.
  return fn && (Call(fn, plugin, path) & 0xFFu) != 0;
}

void BoundViewer::item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) {
  if (auto fn = VIEWER_ENTRY(item_command)) Call(fn, plugin, item, command);
}

const wchar_t* BoundViewer::get_loaded_ifc_path(std::int32_t plugin) {
  auto fn = VIEWER_ENTRY(get_loaded_ifc_path);
  return fn ? Call(fn, plugin) : nullptr;
}

void BoundViewer::set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) {
  if (auto fn = VIEWER_ENTRY(set_view_state)) Call(fn, plugin, kind, bytes, size);
}

#undef VIEWER_ENTRY

}  // namespace host_api
