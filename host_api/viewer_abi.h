// The binary interface between the viewer and a plug-in: records, handler
// and entry-point types, and the four plug-in exports. The viewer simulator
// declares its exports with these same types, so a wrong argument list or
// calling convention shows up in its tests.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define VIEWER_CALL __stdcall
#else
#define VIEWER_CALL
#endif

namespace viewer_abi {

// The viewer's object identifier. Passed by value it takes two stack words,
// low half first; 0 stands for no object.
using ObjectId = std::uint64_t;

// Handler registered with the viewer: no arguments, no result.
using Handler = void(VIEWER_CALL*)();

struct PropertyFilter {
  ObjectId object;
  const wchar_t* setName;
  const wchar_t* propertyName;
};

// Only the value text at offset 16 is read by the plug-in; the other words
// belong to the viewer.
struct PropertyRecord {
  std::uint32_t viewerData[4];
  const wchar_t* value;
  std::uint32_t viewerTail;
};

struct ApiVersion {
  std::int32_t major;
  std::int32_t minor;
};

struct PluginInfo {
  const wchar_t* name;
  const wchar_t* producer;
  const wchar_t* webAddress;
  const wchar_t* email;
  const wchar_t* description;
  std::int32_t reserved1;
  std::int32_t reserved2;
};

#if defined(_WIN32)
static_assert(sizeof(PropertyFilter) == 16);
static_assert(sizeof(PropertyRecord) == 24);
static_assert(sizeof(PluginInfo) == 28);
#endif

// The constant arguments the plug-in passes to the viewer.
// create_button: the only kind of button the plug-in makes.
inline constexpr std::int32_t kButtonKind = 0;
// enable_button: on and off.
inline constexpr std::uint32_t kButtonEnabled = 1;
inline constexpr std::uint32_t kButtonDisabled = 0;
// select with the whole-model id: clears the selection.
inline constexpr std::int32_t kSelectClear = 0;
// select_many: adds the objects to the selection.
inline constexpr std::int32_t kSelectManyAdd = 2;
// set_view_state: the only kind of view state the plug-in restores.
inline constexpr std::int32_t kViewStateKind = 0;

// The viewer functions the plug-in calls. Every one takes the plug-in handle
// first; flags travel as a full stack word of which the viewer reads the low
// byte.
using create_button_fn = std::int32_t(VIEWER_CALL*)(std::int32_t plugin, std::int32_t kind, Handler onClick);
using set_button_text_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t button, const wchar_t* text,
                                              const wchar_t* hint);
using set_button_image_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t button, const wchar_t* path);
using enable_button_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t button, std::uint32_t flag);
using on_selection_change_fn = std::int32_t(VIEWER_CALL*)(std::int32_t plugin, Handler handler);
using on_model_load_fn = std::int32_t(VIEWER_CALL*)(std::int32_t plugin, Handler handler);
using get_all_objects_fn = std::uint32_t(VIEWER_CALL*)(std::int32_t plugin, ObjectId* buffer, std::uint32_t count);
using get_selected_fn = std::uint32_t(VIEWER_CALL*)(std::int32_t plugin, ObjectId* buffer, std::uint32_t count);
using filter_properties_fn = std::uint32_t(VIEWER_CALL*)(std::int32_t plugin, const PropertyFilter* filter,
                                                         PropertyRecord* buffer, std::uint32_t count);
using get_all_objects_id_fn = ObjectId(VIEWER_CALL*)(std::int32_t plugin);
using select_fn = void(VIEWER_CALL*)(std::int32_t plugin, ObjectId object, std::int32_t flag);
using select_many_fn = void(VIEWER_CALL*)(std::int32_t plugin, const ObjectId* objects, std::uint32_t count,
                                          std::int32_t mode);
using invalidate_fn = void(VIEWER_CALL*)(std::int32_t plugin);
using load_ifc_fn = std::uint32_t(VIEWER_CALL*)(std::int32_t plugin, const wchar_t* path);
using item_command_fn = void(VIEWER_CALL*)(std::int32_t plugin, const wchar_t* item, const wchar_t* command);
using get_loaded_ifc_path_fn = const wchar_t*(VIEWER_CALL*)(std::int32_t plugin);
using set_view_state_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes,
                                             std::int32_t size);

// The plug-in's exports, as the viewer calls them.
using get_api_verion_fn = void(VIEWER_CALL*)(const ApiVersion* viewerVersion, ApiVersion* pluginVersion);
using get_plugin_info_fn = void(VIEWER_CALL*)(PluginInfo* info);
using on_plugin_load_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t flag, void* mainWindow);
using on_plugin_unload_fn = void(VIEWER_CALL*)();

}  // namespace viewer_abi
