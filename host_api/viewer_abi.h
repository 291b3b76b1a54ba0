// The binary interface between the viewer and a plug-in: records, handler
// and entry-point types, and the four plug-in exports. The viewer simulator
// declares its exports with these same types, so a wrong argument list or
// calling convention shows up in its tests.
#pragma once

#include <cstdint>

#include "host_api/viewer_functions.h"

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

// A bool parameter travels as a full stack word of which the viewer reads
// the low byte.
template <class T>
struct AbiArgument {
  using type = T;
};
template <>
struct AbiArgument<bool> {
  using type = std::uint32_t;
};

// The viewer's function type for a call of the plug-in's logic.
template <class AbiResult, class Call>
struct AbiFunction;
template <class AbiResult, class Result, class... Params>
struct AbiFunction<AbiResult, Result(Params...)> {
  using type = AbiResult(VIEWER_CALL*)(typename AbiArgument<Params>::type...);
};

// name_fn: the viewer function name's type, for every function of the list.
#define VIEWER_ABI_TYPE(name, result, abi_result, params, args, stopped) \
  using name##_fn = AbiFunction<abi_result, result params>::type;
VIEWER_FUNCTIONS(VIEWER_ABI_TYPE)
#undef VIEWER_ABI_TYPE

// The plug-in's exports, as the viewer calls them.
using get_api_verion_fn = void(VIEWER_CALL*)(const ApiVersion* viewerVersion, ApiVersion* pluginVersion);
using get_plugin_info_fn = void(VIEWER_CALL*)(PluginInfo* info);
using on_plugin_load_fn = void(VIEWER_CALL*)(std::int32_t plugin, std::int32_t flag, void* mainWindow);
using on_plugin_unload_fn = void(VIEWER_CALL*)();

}  // namespace viewer_abi
