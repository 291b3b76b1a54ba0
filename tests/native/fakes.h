// In-memory stand-ins for the system and the viewer, so that the plug-in's
// logic runs and is observed natively.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "host_api/viewer.h"
#include "platform/platform.h"

namespace fakes {

using platform::WindowHandle;
using viewer_abi::ObjectId;

struct Process {
  std::uint32_t pid;
  std::string exeFile;
};

struct Window {
  WindowHandle handle;
  std::uint32_t pid;
  std::string className;
};

struct Sent {
  WindowHandle target;
  WindowHandle sender;
  std::uint32_t code;
  std::string payload;  // exactly the declared bytes
};

class FakePlatform final : public platform::Platform {
 public:
  static constexpr WindowHandle kMessageWindow = 0x1000;

  std::vector<Process> processes;
  bool snapshotFails = false;
  int snapshots = 0;
  std::vector<Window> windows;
  // The process the plug-in runs in.
  std::uint32_t ownProcessId = 0;
  // Windows that have been destroyed; every other handle counts as alive.
  std::set<WindowHandle> goneWindows;
  std::map<WindowHandle, std::uint32_t> replies;  // a target not listed gives 0
  std::vector<Sent> sent;
  // Runs inside a send, before the reply: a peer acting while the plug-in waits.
  std::function<void(const Sent&)> duringSend;
  bool sendThrows = false;
  std::vector<WindowHandle> closesPosted;
  std::vector<std::pair<std::string, std::string>> messageBoxes;
  // Runs while a box is up: what the box's modal loop lets the viewer do.
  std::function<void()> whileBoxShown;
  std::string programFiles = "C:\\Program Files";
  bool messageWindowAlive = false;
  // How often the plug-in asked to keep its library loaded for good.
  int keptLoaded = 0;
  platform::WindowProcedure* procedure = nullptr;
  // The running timers of the hidden window: id and interval.
  std::map<std::uintptr_t, std::uint32_t> timers;

  // Delivers a message to the hidden window as a peer would send it.
  std::intptr_t Deliver(WindowHandle from, std::uintptr_t code, const std::string& bytes);
  std::intptr_t DeliverText(WindowHandle from, std::uintptr_t code, const std::string& text) {
    return Deliver(from, code, text + std::string(1, '\0'));
  }
  std::vector<Sent> SentWithCode(std::uint32_t code) const;
  // One tick of every running timer, as the window's message loop delivers it.
  void FireTimers();

  bool WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) override;
  void EnumTopLevelWindows(const std::function<bool(WindowHandle)>& visit) override;
  bool WindowExists(WindowHandle window) override { return !goneWindows.contains(window); }
  std::uint32_t WindowProcessId(WindowHandle window) override;
  std::uint32_t CurrentProcessId() override { return ownProcessId; }
  std::string WindowClassName(WindowHandle window, std::size_t bufferChars) override;
  std::uint32_t DeliverCopyData(WindowHandle target, WindowHandle sender,
                                const platform::CopyDataRecord& record) override;
  void PostClose(WindowHandle window) override { closesPosted.push_back(window); }
  // The hidden window's note of the connected peers, and what it still held
  // when the window was destroyed.
  std::vector<WindowHandle> notedPeers;
  std::vector<WindowHandle> notedPeersAtDestroy;
  void NoteConnectedPeers(WindowHandle, std::span<const WindowHandle> peers) noexcept override {
    notedPeers.clear();
    for (const WindowHandle peer : peers) {
      if (peer == 0) break;
      notedPeers.push_back(peer);
    }
  }
  std::unique_ptr<platform::OwnedWindow> CreateMessageWindow(platform::WindowProcedure& procedure) override;
  std::intptr_t DefaultWindowProc(WindowHandle, std::uint32_t message, std::uintptr_t, std::intptr_t) override {
    return 0x7000 + message;
  }
  // As the system's: a timer of the same id replaces the running one, and
  // stopping either stops both.
  std::unique_ptr<platform::OwnedTimer> StartTimer(WindowHandle window, std::uintptr_t id,
                                                   std::uint32_t intervalMs) override;
  // Natively there are no structured exceptions: the work just runs.
  void RunContained(const std::function<void()>& work) override { work(); }
  void KeepLoaded() override { ++keptLoaded; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messageBoxes.emplace_back(text, caption);
    if (whileBoxShown) whileBoxShown();
  }
  std::string SpecialFolderPath(int) override { return programFiles; }
  // Latin-1 stands in for the ANSI code page.
  std::wstring ToWide(std::string_view ansi) override;
  std::string FromWide(const wchar_t* wide) override;
  int fromWideCalls = 0;
  std::string PathFromWide(const wchar_t* path) override;

  // The support record's side of the system.
  platform::LocalTime now{2026, 12, 8, 16, 45, 42, 7};
  std::uint32_t tickMs = 1000;
  platform::StartFacts startFacts{"C:\\Plugins\\VidudUDE.DLL", "1.0.0.0", "C:\\Viewer\\BIMVision.exe", "2.27.1.0",
                                  1252};
  std::string faultPlace = "VidudUDE.DLL+0x1a2b";
  std::optional<std::uint32_t> policyLogLevel;
  std::optional<std::uint32_t> userLogLevel;
  // The user's log and its older file; what fails when asked to.
  std::string supportLog;
  std::string olderSupportLog;
  bool supportLogOpenFails = false;
  bool supportLogWriteFails = false;
  bool supportLogLockFails = false;
  std::vector<std::pair<platform::SystemEvent, std::string>> systemEvents;

  platform::LocalTime Now() override { return now; }
  std::uint32_t TickMs() override { return tickMs; }
  platform::StartFacts DescribeStart() override { return startFacts; }
  std::string LastFaultPlace() override { return faultPlace; }
  // The executable of a process in processes.
  std::string ProcessName(std::uint32_t pid) override;
  std::string Utf8FromAnsi(std::string_view ansi) override;
  std::optional<std::uint32_t> LogLevelSetting(bool machinePolicy) override {
    return machinePolicy ? policyLogLevel : userLogLevel;
  }
  std::unique_ptr<platform::SupportLogFile> OpenSupportLog() override;
  std::unique_ptr<platform::SupportLogLock> LockSupportLog() override;
  bool StartSupportLogAfresh() override;
  void ReportSystemEvent(platform::SystemEvent event, std::string_view utf8Text) override {
    systemEvents.emplace_back(event, std::string(utf8Text));
  }
};

struct ViewerCall {
  std::string name;
  std::vector<std::string> texts;
  std::vector<std::int64_t> numbers;
  std::vector<ObjectId> ids;
};

struct Button {
  std::wstring text, hint, image;
  bool enabled = false;
  viewer_abi::Handler onClick = nullptr;
};

struct PropertyValue {
  std::wstring set, name;
  std::optional<std::wstring> value;  // nullopt: the viewer gives no text
};

class FakeViewer final : public host_api::ViewerStandIn {
 public:
  static constexpr ObjectId kWholeModel = 0xABCDEF0000000001ull;

  std::vector<ViewerCall> calls;
  // Off where nobody reads the calls: a fuzzer would spend most of its time
  // on the record.
  bool recordCalls = true;
  std::map<std::int32_t, Button> buttons;
  std::vector<ObjectId> objects;
  std::map<ObjectId, std::vector<PropertyValue>> properties;
  std::vector<ObjectId> selection;
  bool hasModel = true;
  bool refuseLoads = false;
  // Failures of the viewer: the property query for one object, every select_many.
  std::optional<ObjectId> failFilterOn;
  bool failSelect = false;
  std::optional<std::wstring> loadedPath;
  std::vector<std::uint8_t> viewState;
  // Called after each select_many, as a viewer that reports its own
  // selection changes would.
  std::function<void()> afterSelect;
  viewer_abi::Handler selectionHandler = nullptr;
  viewer_abi::Handler modelHandler = nullptr;
  // Runs inside every call, once it is recorded, with the call's name: the
  // viewer acting from inside one of its functions.
  std::function<void(const std::string&)> insideCall;

  void AddObject(ObjectId id, const std::vector<std::wstring>& guids);
  std::vector<ViewerCall> Calls(const std::string& name) const;
  std::vector<std::string> CallNames() const;

  std::int32_t create_button(std::int32_t plugin, std::int32_t kind, viewer_abi::Handler onClick) override;
  void set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) override;
  void set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) override;
  void enable_button(std::int32_t plugin, std::int32_t button, bool enabled) override;
  void on_selection_change(std::int32_t plugin, viewer_abi::Handler handler) override;
  void on_model_load(std::int32_t plugin, viewer_abi::Handler handler) override;
  std::uint32_t get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override;
  std::uint32_t get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) override;
  std::uint32_t filter_properties(std::int32_t plugin, const viewer_abi::PropertyFilter* filter,
                                  viewer_abi::PropertyRecord* buffer, std::uint32_t count) override;
  ObjectId get_all_objects_id(std::int32_t plugin) override;
  void select(std::int32_t plugin, ObjectId object, std::int32_t flag) override;
  void select_many(std::int32_t plugin, const ObjectId* ids, std::uint32_t count, std::int32_t mode) override;
  void invalidate(std::int32_t plugin) override;
  bool load_ifc(std::int32_t plugin, const wchar_t* path) override;
  void item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) override;
  const wchar_t* get_loaded_ifc_path(std::int32_t plugin) override;
  void set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) override;

 protected:
  // Every other viewer function: its name and plug-in handle.
  void Called(const char* name, std::int32_t plugin) override {
    if (recordCalls) Record({name, {}, {plugin}, {}});
  }

 private:
  void Record(ViewerCall call) {
    calls.push_back(std::move(call));
    if (insideCall) insideCall(calls.back().name);
  }
};

// Latin-1 narrowing of a wide text, for assertions.
std::string Narrow(const std::wstring& wide);

}  // namespace fakes
