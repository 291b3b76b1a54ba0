// The viewer functions the plug-in calls, listed once. The function types
// of the binary interface, host_api::Viewer, its binding, the stand-in base
// for tests and tools, the wrapper of a stopped plug-in and the viewer
// simulator's export checks are all expanded from this list.
#pragma once

// VIEWER_FUNCTIONS(FN) calls FN(name, result, abi_result, params, args,
// stopped) once per function:
//  - name: the viewer's export, letter for letter;
//  - result, params: the call as the plug-in's logic makes it;
//  - abi_result: what the viewer's function returns on the wire. Where it
//    differs from result the binding converts: a bool answer is the low
//    byte of the word, a registration's result is dropped. A bool
//    parameter travels as a full stack word (kButtonEnabled or
//    kButtonDisabled);
//  - args: params' names, for forwarding;
//  - stopped: what the call answers when the plug-in has been stopped, the
//    host lacks the function, or a stand-in does not care (void() for
//    nothing).
// Every function takes the plug-in handle first. The types are spelt in
// full because the list is expanded in several namespaces.
// clang-format off
#define VIEWER_FUNCTIONS(FN)                                                                                        \
  FN(create_button, std::int32_t, std::int32_t,                                                                     \
     (std::int32_t plugin, std::int32_t kind, viewer_abi::Handler onClick), (plugin, kind, onClick), 0)              \
  FN(set_button_text, void, void,                                                                                   \
     (std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint),                          \
     (plugin, button, text, hint), void())                                                                          \
  FN(set_button_image, void, void,                                                                                  \
     (std::int32_t plugin, std::int32_t button, const wchar_t* path), (plugin, button, path), void())               \
  FN(enable_button, void, void,                                                                                     \
     (std::int32_t plugin, std::int32_t button, bool enabled), (plugin, button, enabled), void())                   \
  FN(on_selection_change, void, std::int32_t,                                                                       \
     (std::int32_t plugin, viewer_abi::Handler handler), (plugin, handler), void())                                 \
  FN(on_model_load, void, std::int32_t,                                                                             \
     (std::int32_t plugin, viewer_abi::Handler handler), (plugin, handler), void())                                 \
  FN(get_all_objects, std::uint32_t, std::uint32_t,                                                                 \
     (std::int32_t plugin, viewer_abi::ObjectId* buffer, std::uint32_t count), (plugin, buffer, count), 0)          \
  FN(get_selected, std::uint32_t, std::uint32_t,                                                                    \
     (std::int32_t plugin, viewer_abi::ObjectId* buffer, std::uint32_t count), (plugin, buffer, count), 0)          \
  FN(filter_properties, std::uint32_t, std::uint32_t,                                                               \
     (std::int32_t plugin, const viewer_abi::PropertyFilter* filter, viewer_abi::PropertyRecord* buffer,            \
      std::uint32_t count), (plugin, filter, buffer, count), 0)                                                     \
  FN(get_all_objects_id, viewer_abi::ObjectId, viewer_abi::ObjectId, (std::int32_t plugin), (plugin), 0)            \
  FN(select, void, void,                                                                                            \
     (std::int32_t plugin, viewer_abi::ObjectId object, std::int32_t flag), (plugin, object, flag), void())         \
  FN(select_many, void, void,                                                                                       \
     (std::int32_t plugin, const viewer_abi::ObjectId* objects, std::uint32_t count, std::int32_t mode),            \
     (plugin, objects, count, mode), void())                                                                        \
  FN(invalidate, void, void, (std::int32_t plugin), (plugin), void())                                               \
  FN(load_ifc, bool, std::uint32_t, (std::int32_t plugin, const wchar_t* path), (plugin, path), false)              \
  FN(item_command, void, void,                                                                                      \
     (std::int32_t plugin, const wchar_t* item, const wchar_t* command), (plugin, item, command), void())           \
  FN(get_loaded_ifc_path, const wchar_t*, const wchar_t*, (std::int32_t plugin), (plugin), nullptr)                 \
  FN(set_view_state, void, void,                                                                                    \
     (std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size),                        \
     (plugin, kind, bytes, size), void())
// clang-format on

// A parenthesised list without its parentheses.
#define VIEWER_UNPAREN(...) __VA_ARGS__
