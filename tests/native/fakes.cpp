#include "fakes.h"

#include <algorithm>
#include <stdexcept>

namespace fakes {

namespace {

class FakeWindow final : public platform::OwnedWindow {
 public:
  explicit FakeWindow(FakePlatform& owner) : owner_(owner) { owner_.messageWindowAlive = true; }
  ~FakeWindow() override {
    owner_.notedPeersAtDestroy = owner_.notedPeers;
    owner_.messageWindowAlive = false;
    owner_.procedure = nullptr;
  }
  WindowHandle Handle() const override { return FakePlatform::kMessageWindow; }

 private:
  FakePlatform& owner_;
};

class FakeTimer final : public platform::OwnedTimer {
 public:
  FakeTimer(FakePlatform& owner, std::uintptr_t id) : owner_(owner), id_(id) {}
  ~FakeTimer() override { owner_.timers.erase(id_); }

 private:
  FakePlatform& owner_;
  std::uintptr_t id_;
};

}  // namespace

std::string Narrow(const std::wstring& wide) {
  std::string narrow(wide.size(), '?');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (static_cast<unsigned>(wide[i]) <= 0xFF) narrow[i] = static_cast<char>(wide[i]);
  }
  return narrow;
}

std::intptr_t FakePlatform::Deliver(WindowHandle from, std::uintptr_t code, const std::string& bytes) {
  const platform::CopyDataRecord record{code, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
  return procedure->WndProc(platform::kWmCopyData, from, reinterpret_cast<std::intptr_t>(&record));
}

void FakePlatform::FireTimers() {
  std::vector<std::uintptr_t> running;
  for (const auto& timer : timers) running.push_back(timer.first);
  for (const std::uintptr_t id : running) {
    if (procedure && timers.contains(id)) procedure->WndProc(platform::kWmTimer, id, 0);
  }
}

std::vector<Sent> FakePlatform::SentWithCode(std::uint32_t code) const {
  std::vector<Sent> matching;
  for (const auto& s : sent) {
    if (s.code == code) matching.push_back(s);
  }
  return matching;
}

bool FakePlatform::WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) {
  ++snapshots;
  if (snapshotFails) return false;
  for (const auto& p : processes) visit(p.pid, p.exeFile);
  return true;
}

void FakePlatform::EnumTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
  for (const auto& w : windows) {
    if (!visit(w.handle)) return;
  }
}

std::uint32_t FakePlatform::WindowProcessId(WindowHandle window) {
  if (goneWindows.contains(window)) return 0;
  for (const auto& w : windows) {
    if (w.handle == window) return w.pid;
  }
  return 0;
}

std::string FakePlatform::WindowClassName(WindowHandle window, std::size_t bufferChars) {
  for (const auto& w : windows) {
    if (w.handle == window) return w.className.substr(0, bufferChars == 0 ? 0 : bufferChars - 1);
  }
  return {};
}

std::uint32_t FakePlatform::DeliverCopyData(WindowHandle target, WindowHandle sender,
                                            const platform::CopyDataRecord& record) {
  if (sendThrows) throw std::runtime_error("delivery failed");
  if (goneWindows.contains(target)) {
    SetDeliveryEnd(platform::SendEnd::kWindowGone, 0);
    return 0;
  }
  Sent s{target, sender, static_cast<std::uint32_t>(record.code),
         std::string(static_cast<const char*>(record.data), record.size)};
  sent.push_back(s);
  if (duringSend) duringSend(s);
  const auto reply = replies.find(target);
  return reply == replies.end() ? 0 : reply->second;
}

std::unique_ptr<platform::OwnedTimer> FakePlatform::StartTimer(WindowHandle window, std::uintptr_t id,
                                                               std::uint32_t intervalMs) {
  if (window != kMessageWindow) throw std::logic_error("a timer for a window other than the hidden one");
  timers[id] = intervalMs;
  return std::make_unique<FakeTimer>(*this, id);
}

std::unique_ptr<platform::OwnedWindow> FakePlatform::CreateMessageWindow(platform::WindowProcedure& p) {
  procedure = &p;
  return std::make_unique<FakeWindow>(*this);
}

std::wstring FakePlatform::ToWide(std::string_view ansi) {
  std::wstring wide(ansi.size(), L'\0');
  std::transform(ansi.begin(), ansi.end(), wide.begin(),
                 [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
  return wide;
}

std::string FakePlatform::FromWide(const wchar_t* wide) {
  ++fromWideCalls;
  return wide ? Narrow(wide) : std::string();
}

std::string FakePlatform::PathFromWide(const wchar_t* path) { return path ? Narrow(path) : std::string(); }

namespace {

class FakeSupportLog final : public platform::SupportLogFile {
 public:
  explicit FakeSupportLog(FakePlatform& owner) : owner_(owner) {}
  bool Append(std::string_view bytes) override {
    if (owner_.supportLogWriteFails) return false;
    owner_.supportLog += bytes;
    return true;
  }
  std::optional<std::uint64_t> Size() override { return owner_.supportLog.size(); }

 private:
  FakePlatform& owner_;
};

}  // namespace

std::string FakePlatform::ProcessName(std::uint32_t pid) {
  for (const auto& p : processes) {
    if (p.pid == pid) return p.exeFile;
  }
  return {};
}

std::string FakePlatform::Utf8FromAnsi(std::string_view ansi) {
  std::string utf8;
  for (const char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

std::unique_ptr<platform::SupportLogFile> FakePlatform::OpenSupportLog() {
  if (supportLogOpenFails) return nullptr;
  return std::make_unique<FakeSupportLog>(*this);
}

std::unique_ptr<platform::SupportLogLock> FakePlatform::LockSupportLog() {
  if (supportLogLockFails) return nullptr;
  return std::make_unique<platform::SupportLogLock>();
}

bool FakePlatform::StartSupportLogAfresh() {
  olderSupportLog = std::move(supportLog);
  supportLog.clear();
  return true;
}

void FakeViewer::AddObject(ObjectId id, const std::vector<std::wstring>& guids) {
  objects.push_back(id);
  for (const auto& g : guids) properties[id].push_back({L" Element Specific", L"Guid", g});
}

std::vector<ViewerCall> FakeViewer::Calls(const std::string& name) const {
  std::vector<ViewerCall> matching;
  for (const auto& c : calls) {
    if (c.name == name) matching.push_back(c);
  }
  return matching;
}

std::vector<std::string> FakeViewer::CallNames() const {
  std::vector<std::string> names;
  for (const auto& c : calls) names.push_back(c.name);
  return names;
}

std::int32_t FakeViewer::create_button(std::int32_t plugin, std::int32_t kind, viewer_abi::Handler onClick) {
  const auto id = static_cast<std::int32_t>(buttons.size() + 1);
  buttons[id].onClick = onClick;
  if (recordCalls) Record({"create_button", {}, {plugin, kind}, {}});
  return id;
}

void FakeViewer::set_button_text(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) {
  if (text == nullptr || hint == nullptr) throw std::logic_error("null text handed to the viewer");
  buttons[button].text = text;
  buttons[button].hint = hint;
  if (recordCalls) Record({"set_button_text", {Narrow(text), Narrow(hint)}, {plugin, button}, {}});
}

void FakeViewer::set_button_image(std::int32_t plugin, std::int32_t button, const wchar_t* path) {
  buttons[button].image = path;
  if (recordCalls) Record({"set_button_image", {Narrow(path)}, {plugin, button}, {}});
}

void FakeViewer::enable_button(std::int32_t plugin, std::int32_t button, bool enabled) {
  buttons[button].enabled = enabled;
  if (recordCalls) Record({"enable_button", {}, {plugin, button, enabled ? 1 : 0}, {}});
}

void FakeViewer::on_selection_change(std::int32_t plugin, viewer_abi::Handler handler) {
  selectionHandler = handler;
  if (recordCalls) Record({"on_selection_change", {}, {plugin}, {}});
}

void FakeViewer::on_model_load(std::int32_t plugin, viewer_abi::Handler handler) {
  modelHandler = handler;
  if (recordCalls) Record({"on_model_load", {}, {plugin}, {}});
}

std::uint32_t FakeViewer::get_all_objects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  if (recordCalls) Record({"get_all_objects", {}, {plugin, count}, {}});
  for (std::uint32_t i = 0; buffer && i < count && i < objects.size(); ++i) buffer[i] = objects[i];
  return static_cast<std::uint32_t>(objects.size());
}

std::uint32_t FakeViewer::get_selected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  if (recordCalls) Record({"get_selected", {}, {plugin, count}, {}});
  for (std::uint32_t i = 0; buffer && i < count && i < selection.size(); ++i) buffer[i] = selection[i];
  return static_cast<std::uint32_t>(selection.size());
}

std::uint32_t FakeViewer::filter_properties(std::int32_t plugin, const viewer_abi::PropertyFilter* filter,
                                            viewer_abi::PropertyRecord* buffer, std::uint32_t count) {
  if (recordCalls)
    Record({"filter_properties",
            {Narrow(filter->setName), Narrow(filter->propertyName)},
            {plugin, count},
            {filter->object}});
  if (buffer && failFilterOn == filter->object) throw std::runtime_error("property query failed");
  std::uint32_t matching = 0;
  const auto object = properties.find(filter->object);
  if (object == properties.end()) return 0;
  for (const auto& p : object->second) {
    if (p.set != filter->setName || p.name != filter->propertyName) continue;
    if (buffer && matching < count) buffer[matching].value = p.value ? p.value->c_str() : nullptr;
    ++matching;
  }
  return matching;
}

ObjectId FakeViewer::get_all_objects_id(std::int32_t plugin) {
  if (recordCalls) Record({"get_all_objects_id", {}, {plugin}, {}});
  return hasModel ? kWholeModel : 0;
}

void FakeViewer::select(std::int32_t plugin, ObjectId object, std::int32_t flag) {
  if (recordCalls) Record({"select", {}, {plugin, flag}, {object}});
  if (object == kWholeModel) selection.clear();
}

void FakeViewer::select_many(std::int32_t plugin, const ObjectId* ids, std::uint32_t count, std::int32_t mode) {
  if (recordCalls) Record({"select_many", {}, {plugin, count, mode}, std::vector<ObjectId>(ids, ids + count)});
  if (failSelect) throw std::runtime_error("selection failed");
  selection.insert(selection.end(), ids, ids + count);
  if (afterSelect) afterSelect();
}

void FakeViewer::invalidate(std::int32_t plugin) { Record({"invalidate", {}, {plugin}, {}}); }

bool FakeViewer::load_ifc(std::int32_t plugin, const wchar_t* path) {
  if (recordCalls) Record({"load_ifc", {Narrow(path)}, {plugin}, {}});
  if (refuseLoads) return false;
  loadedPath = path;
  return true;
}

void FakeViewer::item_command(std::int32_t plugin, const wchar_t* item, const wchar_t* command) {
  if (recordCalls) Record({"item_command", {Narrow(item), Narrow(command)}, {plugin}, {}});
}

const wchar_t* FakeViewer::get_loaded_ifc_path(std::int32_t plugin) {
  if (recordCalls) Record({"get_loaded_ifc_path", {}, {plugin}, {}});
  return loadedPath ? loadedPath->c_str() : nullptr;
}

void FakeViewer::set_view_state(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) {
  if (recordCalls) Record({"set_view_state", {}, {plugin, kind, size, bytes == nullptr ? 1 : 0}, {}});
  viewState.assign(bytes, bytes + (bytes ? size : 0));
}

}  // namespace fakes
