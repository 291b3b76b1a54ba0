#include "tools/viewer_sim/viewer_sim.h"

#include <algorithm>
#include <cstdio>

#include "tools/viewer_sim/text.h"

namespace viewer_sim {
namespace {

bool Matches(const wchar_t* wanted, const std::wstring& actual) {
  return wanted == nullptr || *wanted == L'\0' || actual == wanted;
}

std::wstring Copy(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

ViewerSim& Sim() {
  static ViewerSim sim;
  return sim;
}

void ViewerSim::Reset() {
  std::lock_guard lock(mutex_);
  config_ = SimConfig{};
  log_.Clear();
  model_ = Model{};
  hasModel_ = false;
  path_.clear();
  selection_.clear();
  buttons_.clear();
  messageBoxes_.clear();
  selectionHandler_ = nullptr;
  modelLoadHandler_ = nullptr;
  eventHandlers_.clear();
  invalidations_ = 0;
  foreignHandleCalls_ = 0;
  pluginStopped_ = false;
  fault_.reset();
}

void ViewerSim::ArmFault(std::string function, int onCall, FaultKind kind) {
  std::lock_guard lock(mutex_);
  fault_ = ArmedFault{std::move(function), onCall, kind};
}

std::optional<FaultKind> ViewerSim::TakeFault(std::string_view function) {
  std::lock_guard lock(mutex_);
  if (!fault_ || fault_->function != function || --fault_->callsLeft > 0) return std::nullopt;
  const FaultKind kind = fault_->kind;
  fault_.reset();
  return kind;
}

int ViewerSim::ForeignHandleCalls() const {
  std::lock_guard lock(mutex_);
  return foreignHandleCalls_;
}

void ViewerSim::SetPluginStopped(bool stopped) {
  std::lock_guard lock(mutex_);
  pluginStopped_ = stopped;
}

void ViewerSim::CheckHandle(const char* function, std::int32_t plugin) {
  {
    std::lock_guard lock(mutex_);
    if (plugin == config_.pluginHandle && !pluginStopped_) return;
    ++foreignHandleCalls_;
  }
  log_.Add(CallBuilder("foreign_plugin_handle").Utf8("function", function).Number("plugin", plugin).Build());
}

void ViewerSim::ReplaceModel(Model model, std::wstring path) {
  model_ = std::move(model);
  path_ = std::move(path);
  hasModel_ = true;
  selection_.clear();
}

void ViewerSim::SetModel(Model model, std::wstring path) {
  std::lock_guard lock(mutex_);
  ReplaceModel(std::move(model), std::move(path));
}

void ViewerSim::ClearModel() {
  std::lock_guard lock(mutex_);
  model_ = Model{};
  path_.clear();
  hasModel_ = false;
  selection_.clear();
}

IfcReadResult ViewerSim::LoadModel(const std::filesystem::path& path) {
  IfcReadResult read = ReadIfcFile(path);
  log_.Add(CallBuilder("host:load_model")
               .Utf8("path", ToUtf8(path.wstring()))
               .Result(read.ok() ? std::to_string(read.objects.size()) + " objects" : read.error)
               .Build());
  if (!read.ok()) return read;
  {
    std::lock_guard lock(mutex_);
    ReplaceModel(Model{read.objects}, path.wstring());
  }
  FireModelLoad();
  return read;
}

bool ViewerSim::HasModel() const {
  std::lock_guard lock(mutex_);
  return hasModel_;
}

std::wstring ViewerSim::LoadedPath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::vector<ObjectId> ViewerSim::Selection() const {
  std::lock_guard lock(mutex_);
  return selection_;
}

std::vector<Button> ViewerSim::Buttons() const {
  std::lock_guard lock(mutex_);
  return buttons_;
}

std::optional<Button> ViewerSim::FindButton(std::int32_t id) const {
  std::lock_guard lock(mutex_);
  for (const auto& b : buttons_) {
    if (b.id == id) return b;
  }
  return std::nullopt;
}

std::vector<MessageBoxRecord> ViewerSim::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

int ViewerSim::InvalidateCount() const {
  std::lock_guard lock(mutex_);
  return invalidations_;
}

bool ViewerSim::HasSelectionHandler() const {
  std::lock_guard lock(mutex_);
  return selectionHandler_ != nullptr;
}

bool ViewerSim::HasModelLoadHandler() const {
  std::lock_guard lock(mutex_);
  return modelLoadHandler_ != nullptr;
}

// Handlers run without the lock held: they call back into the viewer.
void ViewerSim::Run(Handler handler) {
  if (!handler) return;
  if (runner_) {
    runner_(handler);
  } else {
    handler();
  }
}

bool ViewerSim::UserSelect(std::vector<ObjectId> ids) {
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    selection_.clear();
    for (ObjectId id : ids) AddToSelection(id);
    handler = selectionHandler_;
  }
  log_.Add(CallBuilder("host:select").Ids("objects", std::move(ids)).Build());
  Run(handler);
  return handler != nullptr;
}

bool ViewerSim::FireModelLoad() {
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    handler = modelLoadHandler_;
  }
  log_.Add(CallBuilder("host:model_loaded").Build());
  Run(handler);
  return handler != nullptr;
}

bool ViewerSim::FireEvent(const std::string& function) {
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (const auto found = eventHandlers_.find(function); found != eventHandlers_.end()) handler = found->second;
  }
  log_.Add(CallBuilder("host:" + function).Result(handler ? "handled" : "no handler").Build());
  Run(handler);
  return handler != nullptr;
}

bool ViewerSim::Click(std::int32_t button) {
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    for (const auto& b : buttons_) {
      if (b.id == button && b.enabled) handler = b.onClick;
    }
  }
  log_.Add(CallBuilder("host:click").Number("button", button).Result(handler ? "clicked" : "not clickable").Build());
  Run(handler);
  return handler != nullptr;
}

void ViewerSim::ForgetPlugin() {
  std::lock_guard lock(mutex_);
  buttons_.clear();
  selectionHandler_ = nullptr;
  modelLoadHandler_ = nullptr;
  eventHandlers_.clear();
}

void ViewerSim::RecordMessageBox(MessageBoxRecord box) {
  log_.Add(CallBuilder("MessageBoxA").Utf8("text", box.text).Utf8("caption", box.caption).Build());
  std::lock_guard lock(mutex_);
  messageBoxes_.push_back(std::move(box));
}

std::int32_t ViewerSim::CreateButton(std::int32_t plugin, std::int32_t kind, Handler onClick) {
  CheckHandle("create_button", plugin);
  std::int32_t id = 0;
  {
    std::lock_guard lock(mutex_);
    id = static_cast<std::int32_t>(buttons_.size()) + 1;
    Button button;
    button.id = id;
    button.kind = kind;
    button.onClick = onClick;
    buttons_.push_back(std::move(button));
  }
  log_.Add(CallBuilder("create_button")
               .Number("plugin", plugin)
               .Number("kind", kind)
               .Utf8("onClick", onClick ? "set" : "null")
               .Result(std::to_string(id))
               .Build());
  return id;
}

void ViewerSim::SetButtonText(std::int32_t plugin, std::int32_t button, const wchar_t* text, const wchar_t* hint) {
  CheckHandle("set_button_text", plugin);
  log_.Add(CallBuilder("set_button_text")
               .Number("plugin", plugin)
               .Number("button", button)
               .TextArg("text", text)
               .TextArg("hint", hint)
               .Build());
  std::lock_guard lock(mutex_);
  for (auto& b : buttons_) {
    if (b.id == button) {
      b.text = Copy(text);
      b.hint = Copy(hint);
    }
  }
}

void ViewerSim::SetButtonImage(std::int32_t plugin, std::int32_t button, const wchar_t* path) {
  CheckHandle("set_button_image", plugin);
  log_.Add(
      CallBuilder("set_button_image").Number("plugin", plugin).Number("button", button).TextArg("path", path).Build());
  std::lock_guard lock(mutex_);
  for (auto& b : buttons_) {
    if (b.id == button) b.image = Copy(path);
  }
}

void ViewerSim::EnableButton(std::int32_t plugin, std::int32_t button, std::uint32_t flag) {
  CheckHandle("enable_button", plugin);
  // The viewer takes a one-byte bool: the upper bytes of the word are junk.
  const bool on = (flag & 0xFFu) != 0;
  log_.Add(CallBuilder("enable_button")
               .Number("plugin", plugin)
               .Number("button", button)
               .Number("flag", flag)
               .Result(on ? "enabled" : "disabled")
               .Build());
  std::lock_guard lock(mutex_);
  for (auto& b : buttons_) {
    if (b.id == button) b.enabled = on;
  }
}

std::int32_t ViewerSim::OnSelectionChange(std::int32_t plugin, Handler handler) {
  CheckHandle("on_selection_change", plugin);
  log_.Add(CallBuilder("on_selection_change")
               .Number("plugin", plugin)
               .Utf8("handler", handler ? "set" : "null")
               .Result("1")
               .Build());
  std::lock_guard lock(mutex_);
  selectionHandler_ = handler;
  return 1;
}

std::int32_t ViewerSim::OnModelLoad(std::int32_t plugin, Handler handler) {
  CheckHandle("on_model_load", plugin);
  log_.Add(CallBuilder("on_model_load")
               .Number("plugin", plugin)
               .Utf8("handler", handler ? "set" : "null")
               .Result("1")
               .Build());
  std::lock_guard lock(mutex_);
  modelLoadHandler_ = handler;
  return 1;
}

std::int32_t ViewerSim::OnEvent(const char* function, std::int32_t plugin, Handler handler) {
  CheckHandle(function, plugin);
  log_.Add(
      CallBuilder(function).Number("plugin", plugin).Utf8("handler", handler ? "set" : "null").Result("1").Build());
  std::lock_guard lock(mutex_);
  eventHandlers_[function] = handler;
  return 1;
}

std::vector<ObjectId> ViewerSim::AllIds() const {
  std::vector<ObjectId> ids;
  ids.reserve(model_.objects.size());
  for (const auto& o : model_.objects) ids.push_back(o.id);
  return ids;
}

std::uint32_t ViewerSim::FillIds(const char* name, std::int32_t plugin, const std::vector<ObjectId>& ids,
                                 ObjectId* buffer, std::uint32_t count) {
  CheckHandle(name, plugin);
  const auto total = static_cast<std::uint32_t>(ids.size());
  // Without a buffer the caller asks for the count; with one it never gets
  // more entries than it has room for.
  std::uint32_t written = 0;
  std::uint32_t result = 0;
  {
    std::lock_guard lock(mutex_);
    written = buffer == nullptr ? 0 : Writable(total, count);
    result = Answer(buffer == nullptr, total, written);
  }
  std::copy_n(ids.begin(), written, buffer);
  log_.Add(CallBuilder(name)
               .Number("plugin", plugin)
               .Utf8("buffer", buffer ? "set" : "null")
               .Number("count", count)
               .Result(std::to_string(result))
               .Build());
  return result;
}

std::uint32_t ViewerSim::Writable(std::uint32_t available, std::uint32_t capacity) const {
  std::uint32_t n = std::min(available, capacity);
  if (config_.fillLimit) n = std::min(n, *config_.fillLimit);
  return n;
}

std::uint32_t ViewerSim::Answer(bool countCall, std::uint32_t total, std::uint32_t written) const {
  if (countCall) return config_.countOverride.value_or(total);
  return written + static_cast<std::uint32_t>(config_.fillResultDelta);
}

std::uint32_t ViewerSim::GetAllObjects(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  std::vector<ObjectId> ids;
  {
    std::lock_guard lock(mutex_);
    ids = AllIds();
  }
  return FillIds("get_all_objects", plugin, ids, buffer, count);
}

std::uint32_t ViewerSim::GetSelected(std::int32_t plugin, ObjectId* buffer, std::uint32_t count) {
  std::vector<ObjectId> ids;
  {
    std::lock_guard lock(mutex_);
    ids = selection_;
  }
  return FillIds("get_selected", plugin, ids, buffer, count);
}

std::uint32_t ViewerSim::FilterProperties(std::int32_t plugin, const viewer_abi::PropertyFilter* filter,
                                          viewer_abi::PropertyRecord* buffer, std::uint32_t count) {
  CheckHandle("filter_properties", plugin);
  std::uint32_t total = 0;
  std::uint32_t written = 0;
  CallBuilder call("filter_properties");
  call.Number("plugin", plugin);
  if (filter) {
    call.IdArg("object", filter->object).TextArg("set", filter->setName).TextArg("property", filter->propertyName);
  } else {
    call.Utf8("filter", std::nullopt);
  }
  call.Utf8("buffer", buffer ? "set" : "null").Number("count", count);
  std::uint32_t result = 0;
  {
    std::lock_guard lock(mutex_);
    const std::uint32_t room = buffer == nullptr ? 0 : Writable(count, count);
    // The whole-model id (or 0) asks about every object.
    const bool everyObject = filter && (filter->object == 0 || filter->object == kWholeModelId);
    for (const auto& object : model_.objects) {
      if (!filter || (!everyObject && object.id != filter->object)) continue;
      for (std::size_t p = 0; p < object.properties.size(); ++p) {
        const Property& property = object.properties[p];
        if (!Matches(filter->setName, property.set) || !Matches(filter->propertyName, property.name)) continue;
        ++total;
        if (buffer == nullptr || written >= room) continue;
        viewer_abi::PropertyRecord& record = buffer[written++];
        record = {};
        record.viewerData[0] = static_cast<std::uint32_t>(object.id);
        record.viewerData[1] = static_cast<std::uint32_t>(object.id >> 32);
        record.viewerData[2] = static_cast<std::uint32_t>(p);
        // Points into the model: valid until the model is replaced.
        record.value = property.value && !config_.nullValues ? property.value->c_str() : nullptr;
        if (config_.unreadableValues) record.value = kUnreadableText;
      }
    }
    result = Answer(buffer == nullptr, total, written);
  }
  log_.Add(call.Result(std::to_string(result)).Build());
  return result;
}

ObjectId ViewerSim::GetAllObjectsId(std::int32_t plugin) {
  CheckHandle("get_all_objects_id", plugin);
  ObjectId id = 0;
  {
    std::lock_guard lock(mutex_);
    id = hasModel_ ? kWholeModelId : 0;
  }
  char hex[24];
  std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(id));
  log_.Add(CallBuilder("get_all_objects_id").Number("plugin", plugin).Result(hex).Build());
  return id;
}

void ViewerSim::AddToSelection(ObjectId id) {
  if (model_.Find(id) != nullptr && std::find(selection_.begin(), selection_.end(), id) == selection_.end()) {
    selection_.push_back(id);
  }
}

void ViewerSim::Select(std::int32_t plugin, ObjectId object, std::int32_t flag) {
  CheckHandle("select", plugin);
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (object == kWholeModelId) {
      // The whole model: flag 0 clears the selection, any other selects
      // every object.
      selection_.clear();
      if ((flag & 0xFF) != 0) {
        for (const auto& o : model_.objects) selection_.push_back(o.id);
      }
    } else if ((flag & 0xFF) != 0) {
      AddToSelection(object);
    } else {
      std::erase(selection_, object);
    }
    if (config_.pluginSelectNotifies) handler = selectionHandler_;
  }
  log_.Add(CallBuilder("select").Number("plugin", plugin).IdArg("object", object).Number("flag", flag).Build());
  Run(handler);
}

void ViewerSim::SelectMany(std::int32_t plugin, const ObjectId* objects, std::uint32_t count, std::int32_t mode) {
  CheckHandle("select_many", plugin);
  std::vector<ObjectId> ids;
  if (objects) ids.assign(objects, objects + count);
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    // Other modes are not simulated: they are recorded and change nothing.
    if (mode == kSelectManyAdd) {
      for (ObjectId id : ids) AddToSelection(id);
    }
    if (config_.pluginSelectNotifies) handler = selectionHandler_;
  }
  log_.Add(CallBuilder("select_many")
               .Number("plugin", plugin)
               .Ids("objects", std::move(ids))
               .Number("count", count)
               .Number("mode", mode)
               .Result(mode == kSelectManyAdd ? "" : "mode not simulated")
               .Build());
  Run(handler);
}

void ViewerSim::Invalidate(std::int32_t plugin) {
  CheckHandle("invalidate", plugin);
  log_.Add(CallBuilder("invalidate").Number("plugin", plugin).Build());
  std::lock_guard lock(mutex_);
  ++invalidations_;
}

std::uint32_t ViewerSim::LoadIfc(std::int32_t plugin, const wchar_t* path) {
  CheckHandle("load_ifc", plugin);
  bool refuse = false;
  {
    std::lock_guard lock(mutex_);
    refuse = config_.refuseLoads;
  }
  IfcReadResult read;
  if (refuse) {
    read.error = "load refused";
  } else if (path == nullptr) {
    read.error = "null path";
  } else {
    read = ReadIfcFile(std::filesystem::path(std::wstring(path)));
  }
  log_.Add(CallBuilder("load_ifc")
               .Number("plugin", plugin)
               .TextArg("path", path)
               .Result(read.ok() ? "1 (" + std::to_string(read.objects.size()) + " objects)" : "0 (" + read.error + ")")
               .Build());
  if (!read.ok()) return kLoadResultJunk;
  Handler handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    ReplaceModel(Model{std::move(read.objects)}, path);
    handler = modelLoadHandler_;
  }
  // As in the viewer, a load announces itself to the plug-in that asked for it.
  Run(handler);
  return kLoadResultJunk | 1u;
}

void ViewerSim::ItemCommand(std::int32_t plugin, const wchar_t* item, const wchar_t* command) {
  CheckHandle("item_command", plugin);
  log_.Add(
      CallBuilder("item_command").Number("plugin", plugin).TextArg("item", item).TextArg("command", command).Build());
}

const wchar_t* ViewerSim::GetLoadedIfcPath(std::int32_t plugin) {
  CheckHandle("get_loaded_ifc_path", plugin);
  const wchar_t* result = nullptr;
  std::string shown = "null";
  {
    std::lock_guard lock(mutex_);
    if (config_.unreadableLoadedPath) {
      result = kUnreadableText;
      shown = "unreadable";
    } else if (!config_.nullLoadedPath) {
      result = path_.c_str();
      shown = "\"" + ToUtf8(path_) + "\"";
    }
  }
  log_.Add(CallBuilder("get_loaded_ifc_path").Number("plugin", plugin).Result(shown).Build());
  return result;
}

void ViewerSim::SetViewState(std::int32_t plugin, std::int32_t kind, const std::uint8_t* bytes, std::int32_t size) {
  CheckHandle("set_view_state", plugin);
  std::vector<std::uint8_t> copy;
  if (bytes && size > 0) copy.assign(bytes, bytes + size);
  log_.Add(CallBuilder("set_view_state")
               .Number("plugin", plugin)
               .Number("kind", kind)
               .Bytes("bytes", std::move(copy))
               .Number("size", size)
               .Build());
}

}  // namespace viewer_sim
