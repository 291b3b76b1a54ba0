// The simulated viewer: the state behind the viewer functions (model,
// selection, buttons, registered handlers), the host-side actions a user
// would take, and the call log. The exported viewer functions forward here;
// this part is plain C++ so its logic is tested natively too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_api/viewer_abi.h"
#include "tools/viewer_sim/call_log.h"
#include "tools/viewer_sim/ifc_reader.h"
#include "tools/viewer_sim/model.h"

namespace viewer_sim {

using viewer_abi::Handler;

struct Button {
  std::int32_t id = 0;
  std::int32_t kind = 0;
  std::wstring text;
  std::wstring hint;
  std::wstring image;
  bool enabled = true;
  Handler onClick = nullptr;
};

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  // The box's MB_ flags as far as its window shows them: the buttons, and
  // MB_TASKMODAL when the other windows of its thread were disabled.
  std::uint32_t style = 0;
  bool hasOwner = false;
};

// How an armed viewer function fails: a language exception of the viewer's
// own runtime, raised as a structured exception with a foreign code, a real
// access violation, the same after loading a value onto the x87 stack, a
// recursion that runs off the thread's stack, or such a recursion that the
// viewer's runtime catches and raises again as an exception of its own.
enum class FaultKind {
  ForeignException,
  AccessViolation,
  AccessViolationAfterFpuLoad,
  StackOverflow,
  StackOverflowRaisedAgain,
  // An access violation after the viewer's code set MXCSR to kFaultingMxcsr.
  AccessViolationAfterMxcsrChange
};
inline constexpr std::uint32_t kForeignExceptionCode = 0x0EEDFADE;
// Rounding toward zero, invalid operation unmasked.
inline constexpr std::uint32_t kFaultingMxcsr = 0x7F00;

// load_ifc answers in its low byte only, as the viewer's one-byte boolean
// does; the rest of the word is whatever the viewer left there.
inline constexpr std::uint32_t kLoadResultJunk = 0x5AC3E700u;

struct SimConfig {
  // Handle the host passes to the plug-in's load entry point.
  std::int32_t pluginHandle = 0x51;
  // The real viewer does not report a selection made by the plug-in itself
  // through select / select_many back to it; switch on to test that path.
  bool pluginSelectNotifies = false;
  // load_ifc fails (returns 0) without touching the model.
  bool refuseLoads = false;
  // get_loaded_ifc_path returns a null pointer.
  bool nullLoadedPath = false;
  // A viewer that misreports its lists (get_all_objects, get_selected,
  // filter_properties): the count call answers countOverride when set; the
  // fill call writes no more than fillLimit entries (and never more than the
  // capacity it was given) and answers fillResultDelta more than it wrote.
  std::optional<std::uint32_t> countOverride;
  std::optional<std::uint32_t> fillLimit;
  std::int32_t fillResultDelta = 0;
  // filter_properties hands out null value texts.
  bool nullValues = false;
  // get_loaded_ifc_path and filter_properties hand out text pointers that
  // cannot be read (kUnreadableText): reading them faults, in the plug-in.
  bool unreadableLoadedPath = false;
  bool unreadableValues = false;
};

// An address in the first 64 KiB, which no Windows process has mapped.
inline const wchar_t* const kUnreadableText = reinterpret_cast<const wchar_t*>(std::uintptr_t{0x10});

class ViewerSim {
 public:
  // Back to a fresh viewer: no model, buttons, handlers, log or settings.
  void Reset();

  SimConfig& Config() { return config_; }
  CallLog& Log() { return log_; }

  // The named viewer function fails on its onCall-th call from now (1: the
  // next one), once. Each exported function asks TakeFault first.
  void ArmFault(std::string function, int onCall, FaultKind kind);
  std::optional<FaultKind> TakeFault(std::string_view function);

  // How the plug-in's handlers are run; the Windows host runs them inside
  // an exception frame of its own. Reset keeps it.
  using HandlerRunner = void (*)(Handler);
  void SetHandlerRunner(HandlerRunner runner) { runner_ = runner; }

  // Viewer calls whose plug-in handle was not Config().pluginHandle, or
  // that came while the plug-in was stopped (from the return of
  // on_plugin_unload to the next on_plugin_load).
  int ForeignHandleCalls() const;
  void SetPluginStopped(bool stopped);

  // Host side: the model. SetModel replaces it silently (as before the
  // plug-in loads); LoadModel reads a file like a user opening it and then
  // calls the model-load handler. Both clear the selection.
  void SetModel(Model model, std::wstring path = L"");
  void ClearModel();
  IfcReadResult LoadModel(const std::filesystem::path& path);

  // Host-thread views of the state; a copy where a plug-in thread may change it.
  bool HasModel() const;
  const Model& CurrentModel() const { return model_; }
  std::wstring LoadedPath() const;
  std::vector<ObjectId> Selection() const;
  std::vector<Button> Buttons() const;
  std::optional<Button> FindButton(std::int32_t id) const;
  std::vector<MessageBoxRecord> MessageBoxes() const;
  int InvalidateCount() const;
  bool HasSelectionHandler() const;
  bool HasModelLoadHandler() const;

  // Host side: what the user does. Each returns whether a plug-in handler ran.
  bool UserSelect(std::vector<ObjectId> ids);
  bool FireModelLoad();
  bool Click(std::int32_t button);  // only an enabled button with a handler
  // The viewer has stopped the plug-in: its buttons and handlers go; the
  // model, the selection and the log stay.
  void ForgetPlugin();
  void RecordMessageBox(MessageBoxRecord box);

  // The viewer functions, argument for argument as the plug-in calls them.
  std::int32_t CreateButton(std::int32_t plugin, std::int32_t kind, Handler onClick);
  void SetButtonText(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint);
  void SetButtonImage(std::int32_t plugin, std::int32_t button, const wchar_t* path);
  void EnableButton(std::int32_t plugin, std::int32_t button, std::uint32_t flag);
  std::int32_t OnSelectionChange(std::int32_t plugin, Handler handler);
  std::int32_t OnModelLoad(std::int32_t plugin, Handler handler);
  std::uint32_t GetAllObjects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count);
  std::uint32_t GetSelected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count);
  std::uint32_t FilterProperties(std::int32_t plugin, const viewer_abi::PropertyFilter* filter,
                                 viewer_abi::PropertyRecord* buffer, std::uint32_t count);
  ObjectId GetAllObjectsId(std::int32_t plugin);
  void Select(std::int32_t plugin, ObjectId object, std::int32_t flag);
  void SelectMany(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode);
  void Invalidate(std::int32_t plugin);
  std::uint32_t LoadIfc(std::int32_t plugin, const wchar_t* path);
  void ItemCommand(std::int32_t plugin, const wchar_t* item, const wchar_t* command);
  const wchar_t* GetLoadedIfcPath(std::int32_t plugin);
  void SetViewState(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size);

  // Any other viewer function that registers an event's handler: the
  // export names itself, and FireEvent runs the handler as the viewer does
  // when the event happens (whether one ran). The plug-in's handlers go with
  // ForgetPlugin as the others do.
  std::int32_t OnEvent(const char* function, std::int32_t plugin, Handler handler);
  bool FireEvent(const std::string& function);

  // select_many mode that adds the given objects to the selection.
  static constexpr std::int32_t kSelectManyAdd = 2;

 private:
  // Copies the ids out under the lock; count-then-fill for both lists.
  std::uint32_t FillIds(const char* name, std::int32_t plugin, const std::vector<ObjectId>& ids, ObjectId* buffer,
                        std::uint32_t count);
  void ReplaceModel(Model model, std::wstring path);
  // What a list call writes and answers under the configured misreporting.
  std::uint32_t Writable(std::uint32_t available, std::uint32_t capacity) const;
  std::uint32_t Answer(bool countCall, std::uint32_t total, std::uint32_t written) const;
  std::vector<ObjectId> AllIds() const;
  void AddToSelection(ObjectId id);
  void Run(Handler handler);
  void CheckHandle(const char* function, std::int32_t plugin);

  mutable std::mutex mutex_;
  SimConfig config_;
  CallLog log_;
  Model model_;
  bool hasModel_ = false;
  std::wstring path_;
  std::vector<ObjectId> selection_;
  std::vector<Button> buttons_;
  std::vector<MessageBoxRecord> messageBoxes_;
  Handler selectionHandler_ = nullptr;
  Handler modelLoadHandler_ = nullptr;
  std::map<std::string, Handler> eventHandlers_;
  int invalidations_ = 0;
  int foreignHandleCalls_ = 0;
  bool pluginStopped_ = false;
  struct ArmedFault {
    std::string function;
    int callsLeft = 0;
    FaultKind kind = FaultKind::ForeignException;
  };
  std::optional<ArmedFault> fault_;
  HandlerRunner runner_ = nullptr;
};

// The one simulator the exported viewer functions use.
ViewerSim& Sim();

}  // namespace viewer_sim
