// Peer commands as any process on the desktop could send them: a started
// plug-in on the fake system and viewer receives a run of fuzzed WM_COPYDATA
// records, optionally re-entered from inside its own sends and viewer calls,
// and its replies and state are checked against a model after each one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/controller.h"
#include "fakes.h"
#include "fuzz_input.h"
#include "peer_link/wire.h"
#include "plugin/plugin_lifecycle.h"
#include "reference_models.h"

namespace {

using fakes::WindowHandle;
using viewer_abi::ObjectId;

constexpr WindowHandle kHost = 0x500;
constexpr std::uint32_t kViewerPid = 4242;
constexpr std::int32_t kPluginHandle = 77;
constexpr WindowHandle kPeerA = 0x901;
constexpr WindowHandle kPeerB = 0x902;
constexpr WindowHandle kSenders[] = {kPeerA, kPeerB, 0, 0xDEAD};
constexpr std::size_t kMaxRecords = 64;
constexpr int kMaxDepth = 2;
// Small codes run over every command and the code above the highest.
constexpr std::uint32_t kSmallCodes = [] {
  std::uint32_t highest = 0;
  for (const auto& command : peer_link::kCommands) highest = std::max(highest, command.code);
  return highest + 2;
}();

std::unique_ptr<bridge::btBIMQuabo> gController;

void SelectionChanged() {
  if (gController) gController->SendSelection();
}
void ModelLoaded() {
  if (gController) gController->OnModelLoaded();
}
void StatusButtonClicked() {}
void LinesButtonClicked() {
  if (gController) gController->SendLastSelection();
}
const plugin::Handlers kHandlers = [] {
  auto handlers = plugin::Handlers::Every(StatusButtonClicked);
  handlers.selectionChanged = SelectionChanged;
  handlers.modelLoaded = ModelLoaded;
  handlers.linesButtonClicked = LinesButtonClicked;
  return handlers;
}();

// The small model: unique GUIDs (prefixes of others, one "0", Latin-1 and
// blanks inside, one longer than a GUID), an object with two, one with none,
// and values that are empty or missing.
struct ModelObject {
  ObjectId id;
  std::vector<std::optional<std::wstring>> guids;
};
const std::vector<ModelObject>& Model() {
  static const std::vector<ModelObject> model{
      {0x1001, {L"2O2Fr$t4X7Zf8NOew3FLOH"}},
      {0x1002, {L"1hOSvn6df7F8_7GcBWlRGQ", L"3vB2YO$MX4xv5uCqZZG05x"}},
      {0x1003, {L"0K7w7JxW5BRxHBuQ8l3Ay1"}},
      {0x1004, {L"0K7w7JxW5BRxHBuQ8l3Ay"}},
      {0x1005, {L"\xC4\xD6 guid"}},
      {0x1006, {L"0"}},
      {0x1007, {}},
      {0x1008, {L"", std::nullopt}},
      {0x1009, {L"a b"}},
      {0x100A, {L"0K7w7JxW5BRxHBuQ8l3Ay1-with-a-long-suffix"}},
  };
  return model;
}

const std::map<std::string, ObjectId>& GuidToId() {
  static const std::map<std::string, ObjectId> ids = [] {
    std::map<std::string, ObjectId> built;
    for (const auto& object : Model()) {
      for (const auto& guid : object.guids) {
        if (guid && !guid->empty()) built[fakes::Narrow(*guid)] = object.id;
      }
    }
    return built;
  }();
  return ids;
}

std::size_t GuidRecordCount() {
  std::size_t n = 0;
  for (const auto& object : Model()) n += object.guids.size();
  return n;
}

// The GUID list of the viewer's selection as the plug-in builds it.
std::string SelectionText(const std::vector<ObjectId>& selection) {
  std::string text = "0";
  for (const ObjectId id : selection) {
    const auto object = std::find_if(Model().begin(), Model().end(), [id](const ModelObject& o) { return o.id == id; });
    if (object == Model().end()) continue;
    for (const auto& guid : object->guids) {
      const std::string value = guid ? fakes::Narrow(*guid) : std::string();
      text = text == "0" || text.empty() ? value : text + "\r\n" + value;
    }
  }
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return text.substr(begin, end - begin);
}

// A message from a peer, or a viewer event (a selection change, a model
// load, a click on the lines button).
struct Record {
  bool isEvent = false;
  int event = 0;
  bool nullRecord = false;
  bool nullData = false;
  std::uint32_t code = 0;
  WindowHandle sender = 0;
  std::uint32_t declared = 0;  // cbData
  std::string bytes;           // exactly the declared bytes, unless nullData
};

Record NextRecord(FuzzInput& in) {
  Record r;
  const std::uint8_t k = in.Byte();
  if (k % 8 == 7) {
    r.isEvent = true;
    r.event = (k >> 3) % 3;
    return r;
  }
  r.sender = kSenders[(k >> 3) & 3];
  if ((k & 0x20) == 0) {
    r.code = in.Byte() % kSmallCodes;
  } else {
    for (int i = 0; i < 4; ++i) r.code |= static_cast<std::uint32_t>(in.Byte()) << (8 * i);
  }
  switch (k >> 6) {
    case 1: {
      // The peer had more bytes than it declared.
      r.bytes = in.Bytes(in.Length());
      r.bytes.resize(r.bytes.size() - in.Byte() % (r.bytes.size() + 1));
      break;
    }
    case 2:
      r.nullData = true;
      r.declared = in.Byte();
      return r;
    case 3:
      if (r.sender == 0xDEAD) {
        r.nullRecord = true;
        return r;
      }
      r.bytes = in.Bytes(in.Length());
      break;
    default:
      r.bytes = in.Bytes(in.Length());
      break;
  }
  r.declared = static_cast<std::uint32_t>(r.bytes.size());
  return r;
}

class Session {
 public:
  Session(const std::uint8_t* data, std::size_t size) : in_(data, size) {
    const std::uint8_t mode = in_.Byte();
    const bool buildIndex = mode & 1;
    refuseLoads_ = mode & 2;
    hasModel_ = !(mode & 4);
    viewer_.recordCalls = false;
    viewer_.refuseLoads = refuseLoads_;
    viewer_.hasModel = hasModel_;
    for (const auto& object : Model()) {
      viewer_.objects.push_back(object.id);
      for (const auto& guid : object.guids)
        viewer_.properties[object.id].push_back({L" Element Specific", L"Guid", guid});
    }
    system_.ownProcessId = kViewerPid;
    system_.windows.push_back({kHost, kViewerPid, "TViewerMain"});
    system_.processes = {{10, "explorer.exe"}, {11, "QUABO.EXE"}, {12, "quabo_bimproject.exe"}};
    system_.windows.push_back({kPeerA, 11, "TMainForm"});
    system_.windows.push_back({kPeerB, 12, "TMainForm"});
    system_.replies[kPeerA] = 100;
    system_.replies[kPeerB] = 200;

    plugin::StartPlugin(system_, viewer_, kPluginHandle, kHost, kHandlers, gController);
    FUZZ_CHECK(gController && system_.procedure != nullptr);
    if (buildIndex) {
      indexBuilt_ = true;
      stale_ = true;
      viewer_.modelHandler();
    }
    // The viewer reports selection changes from inside select_many; a peer
    // answers a send by sending commands back while the plug-in waits.
    if (mode & 8) {
      viewer_.afterSelect = [this] {
        ++selectionReports_;
        stale_ = !active_;
        SelectionChanged();
      };
    }
    if (mode & 16) {
      system_.duringSend = [this](const fakes::Sent&) {
        if (depth_ < kMaxDepth && records_ < kMaxRecords && !in_.Done()) {
          ++depth_;
          Next();
          --depth_;
        }
      };
    }
  }

  ~Session() {
    system_.duringSend = nullptr;
    viewer_.afterSelect = nullptr;
    plugin::StopPlugin(gController);
  }

  void Run() {
    while (records_ < kMaxRecords && !in_.Done()) Next();
    CheckState();
  }

 private:
  void Next() {
    ++records_;
    const Record r = NextRecord(in_);
    if (r.isEvent) {
      Event(r.event);
    } else {
      Message(r);
    }
  }

  void Event(int event) {
    switch (event) {
      case 0:
        // Only a change that goes out sets the last list.
        stale_ = !active_;
        viewer_.selectionHandler();
        break;
      case 1:
        indexBuilt_ = true;
        stale_ = true;
        viewer_.modelHandler();
        break;
      default: {
        // The send of the last GUIDs comes first, before anything it
        // triggers; a stale list is built afresh from the selection and kept.
        const std::string guids = stale_ ? SelectionText(viewer_.selection) : gController->LastGuids();
        stale_ = false;
        const std::size_t before = system_.sent.size();
        viewer_.buttons.at(gController->LinesButton()).onClick();
        if (reference::Blank(guids)) {
          FUZZ_CHECK(system_.sent.size() == before);
        } else {
          FUZZ_CHECK(system_.sent.size() > before);
          const fakes::Sent& s = system_.sent[before];
          FUZZ_CHECK(s.code == peer_link::kCodeCreateLines);
          FUZZ_CHECK(s.payload == std::to_string(kViewerPid) + "|" + guids + std::string(1, '\0'));
        }
        break;
      }
    }
    CheckState();
  }

  void Message(const Record& r) {
    // A heap block of exactly the declared size: a read past it is caught.
    std::unique_ptr<char[]> buffer;
    if (!r.nullData) {
      buffer = std::make_unique<char[]>(r.declared);
      if (r.declared) std::memcpy(buffer.get(), r.bytes.data(), r.declared);
    }
    const platform::CopyDataRecord record{r.code, r.declared, buffer.get()};
    const std::intptr_t lParam = r.nullRecord ? 0 : reinterpret_cast<std::intptr_t>(&record);

    const std::vector<ObjectId> selectionBefore = viewer_.selection;
    const std::size_t recordsBefore = records_;
    const std::size_t reportsBefore = selectionReports_;
    // A peer's list is the last list before the viewer selects anything.
    if (!r.nullRecord && r.code == peer_link::kCommandSelect) stale_ = false;
    // The selection asked for again is kept before it is sent.
    const bool selectionToSend = active_ && hasModel_;
    if (!r.nullRecord && r.code == peer_link::kCommandSendSelection && selectionToSend) stale_ = false;
    // The path the viewer gives before anything nested can load another.
    const bool pathToSend = viewer_.loadedPath && !reference::Blank(fakes::Narrow(*viewer_.loadedPath));
    const std::intptr_t reply = system_.procedure->WndProc(platform::kWmCopyData, r.sender, lParam);
    // A selection report sends the viewer's selection, which replaces the
    // last GUIDs; a nested record may change anything.
    const bool reentered = records_ != recordsBefore || selectionReports_ != reportsBefore;

    const std::uint32_t code = r.nullRecord ? 0 : r.code;
    const std::string text =
        r.nullRecord || r.nullData ? std::string() : std::string(r.bytes.c_str(), std::strlen(r.bytes.c_str()));
    const std::string path = Trim(text);

    std::intptr_t expected = peer_link::FindCommand(code) ? peer_link::kReplyTaken : peer_link::kReplyNotACommand;
    switch (code) {
      case peer_link::kCommandConnect:
        active_ = true;
        // Only a window of another process joins the targets, once; any
        // other sender sends the messages back to discovery.
        if (r.sender != kPeerA && r.sender != kPeerB) {
          peers_.clear();
        } else if (std::ranges::count(peers_, r.sender) == 0) {
          peers_.push_back(r.sender);
        }
        break;
      case peer_link::kCommandDisconnect:
        active_ = false;
        peers_.clear();
        ++closes_;
        break;
      case peer_link::kCommandLeave:
        // The last one to leave ends the link; the viewer stays open.
        if (std::erase(peers_, r.sender) != 0 && peers_.empty()) {
          active_ = false;
          linesEnabled_ = false;
        }
        break;
      case peer_link::kCommandSendSelection: {
        const std::string guids = SelectionText(selectionBefore);
        if (!selectionToSend || reference::Blank(guids)) expected = peer_link::kReplyModelNotLoaded;
        if (selectionToSend && !reentered) FUZZ_CHECK(gController->LastGuids() == guids);
        break;
      }
      case peer_link::kCommandLoadModel:
        if (!path.empty() && refuseLoads_) expected = peer_link::kReplyModelNotLoaded;
        if (!path.empty() && !refuseLoads_) {
          FUZZ_CHECK(viewer_.loadedPath && fakes::Narrow(*viewer_.loadedPath) == path);
        }
        break;
      case peer_link::kCommandSelect:
        if (!reentered) CheckSelection(text, selectionBefore);
        break;
      case peer_link::kCommandPing:
        break;
      case peer_link::kCommandRestoreView:
        if (auto decoded = reference::DecodeViewState(text)) viewState_ = *decoded;
        break;
      case peer_link::kCommandLinesButton:
        linesEnabled_ = text == peer_link::kLinesButtonActive;
        break;
      case peer_link::kCommandSendModelPath:
        if (!pathToSend) expected = peer_link::kReplyModelNotLoaded;
        break;
      default:
        // A command the model does not know is a gap in the model.
        FUZZ_CHECK(expected == peer_link::kReplyNotACommand);
        break;
    }
    FUZZ_CHECK(reply == expected);
    // The header's table names every reply a command may give besides 2001.
    if (const peer_link::Command* command = peer_link::FindCommand(code)) {
      FUZZ_CHECK(reply == peer_link::kReplyTaken ||
                 (command->otherReply != 0 && reply == static_cast<std::intptr_t>(command->otherReply)));
    }
    CheckState();
  }

  void CheckSelection(const std::string& text, const std::vector<ObjectId>& before) {
    FUZZ_CHECK(gController->LastGuids() == text);
    std::vector<ObjectId> expected = hasModel_ ? std::vector<ObjectId>{} : before;
    if (indexBuilt_ && text != "0") {
      const auto& ids = GuidToId();
      for (const std::string& line : reference::SplitLines(text)) {
        const auto hit = ids.find(line);
        if (hit != ids.end()) expected.push_back(hit->second);
      }
    }
    FUZZ_CHECK(viewer_.selection == expected);
  }

  void CheckState() {
    bridge::btBIMQuabo& c = *gController;
    FUZZ_CHECK(c.Active() == active_);
    FUZZ_CHECK(c.LastGuidsStale() == stale_);
    peer_link::PeerWindows targets{};
    std::ranges::copy(peers_, targets.begin());
    FUZZ_CHECK(c.ConnectedPeerList().Targets() == targets);
    FUZZ_CHECK(viewer_.buttons.at(c.StatusButton()).text == (active_ ? L"Aktiv" : L"Inaktiv"));
    FUZZ_CHECK(viewer_.buttons.at(c.LinesButton()).enabled == linesEnabled_);
    FUZZ_CHECK(system_.closesPosted.size() == closes_);
    FUZZ_CHECK(std::all_of(system_.closesPosted.begin(), system_.closesPosted.end(),
                           [](WindowHandle w) { return w == kHost; }));
    FUZZ_CHECK(c.ViewState() == viewState_);
    FUZZ_CHECK(c.ViewStateSize() == static_cast<std::int32_t>(viewState_.size()));
    FUZZ_CHECK(viewer_.viewState == viewState_);
    FUZZ_CHECK((c.GuidIndex() != nullptr) == indexBuilt_);
    if (indexBuilt_) FUZZ_CHECK(c.GuidIndex()->Count() == GuidRecordCount());
    FUZZ_CHECK(system_.messageBoxes.empty());
  }

  FuzzInput in_;
  fakes::FakePlatform system_;
  fakes::FakeViewer viewer_;
  bool refuseLoads_ = false;
  bool hasModel_ = true;
  std::size_t records_ = 0;
  std::size_t selectionReports_ = 0;
  int depth_ = 0;

  // What the plug-in must show after each record.
  bool active_ = false;
  // The connected windows, in connect order.
  std::vector<WindowHandle> peers_;
  bool linesEnabled_ = false;
  // The last list may no longer match the viewer's selection.
  bool stale_ = false;
  std::vector<std::uint8_t> viewState_;
  std::size_t closes_ = 0;
  bool indexBuilt_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Session session(data, size);
  session.Run();
  return 0;
}
