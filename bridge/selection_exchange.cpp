// Selections between the viewer and the peer, as GUID list texts.
#include <vector>

#include "bridge/controller.h"
#include "bridge/controller_texts.h"
#include "bridge/guid_lines.h"
#include "peer_link/peer_message.h"

namespace bridge {

// Every selection change leaves the last list stale until the list is set
// again: while the link is inactive nothing is sent, and a failure sends
// nothing either.
bool btBIMQuabo::SendSelection() {
  FLastGuidsStale = true;
  if (!FActive) return false;
  try {
    system_.RunContained([this] {
      std::string text = SelectedGuids();
      KeepLastGuids(text);
      Message_Sender(std::move(text), peer_link::kCodeSelection);
    });
    return true;
  } catch (...) {
    if (record_) record_->Fault("SendSelection");
    system_.ShowMessage(texts::kSelectionFailed, texts::kSelectionFailedCaption);
    return false;
  }
}

// What a selection change sends, on a peer's request: nothing while the link
// is inactive or no model is loaded. A failing viewer call goes on to the
// command's frame, which contains it; nothing has been sent then.
bool btBIMQuabo::SendSelectionAgain() {
  if (!FActive || viewer_.get_all_objects_id(PluginId()) == 0) return false;
  std::string text = SelectedGuids();
  KeepLastGuids(text);
  // Decided before the send, during which a command may change the list.
  const bool any = !peer_link::IsBlank(text);
  Message_Sender(std::move(text), peer_link::kCodeSelection);
  return any;
}

std::string btBIMQuabo::SelectedGuids() {
  std::string text(peer_link::kNoGuids);
  const std::uint32_t n = viewer_.get_selected(PluginId(), nullptr, 0);
  if (n == 0) return text;
  const std::wstring setName = ToPWideChar(kGuidSetName);
  const std::wstring propertyName = ToPWideChar(kGuidPropertyName);
  std::vector<ObjectId> selected(n);
  viewer_.get_selected(PluginId(), selected.data(), n);
  std::vector<viewer_abi::PropertyRecord> records;
  for (const ObjectId object : selected) {
    const viewer_abi::PropertyFilter filter{object, setName.c_str(), propertyName.c_str()};
    QueryProperties(filter, records);
    for (const auto& record : records) {
      const std::string value = ValueText(record);
      if (text == peer_link::kNoGuids || text.empty()) {
        text = value;
      } else {
        text += "\r\n";
        text += value;
      }
    }
  }
  return text;
}

// The text is a copy of its own, and its lines are cut from it one at a time
// as they are looked up, never all held at once: a viewer call below may
// re-enter and replace FLastGuids.
bool btBIMQuabo::SelectByGuids(std::string text) {  // NOLINT(performance-unnecessary-value-param)
  try {
    selectFound_ = 0;
    system_.RunContained([&] {
      KeepLastGuids(text);
      const ObjectId all = viewer_.get_all_objects_id(PluginId());
      if (all != 0) viewer_.select(PluginId(), all, viewer_abi::kSelectClear);
      BtGUIDObjIDItem search;
      const std::string_view guids = text == peer_link::kNoGuids ? std::string_view() : std::string_view(text);
      ForEachLine(guids, [&](std::string_view line) {
        search.FGuid = line;
        search.FObjectId = 0;
        // Looked up afresh for every line: a viewer call below may re-enter
        // the controller and rebuild the index. Without an index there is no
        // model, so nothing can be found.
        std::size_t index = 0;
        if (!FGuidIndex || !FGuidIndex->Find(search, index)) return;
        const ObjectId id = FGuidIndex->GetItem(index).FObjectId;
        if (selectFound_) ++*selectFound_;
        viewer_.select_many(PluginId(), &id, 1, viewer_abi::kSelectManyAdd);
      });
      viewer_.invalidate(PluginId());
    });
    return true;
  } catch (...) {
    if (record_) record_->Fault("SelectByGuids");
    KeepLastGuids({});
    return false;
  }
}

// A fresh buffer of the text's size: assigning into the old one would keep
// the largest list ever received for as long as the plug-in runs.
void btBIMQuabo::KeepLastGuids(const std::string& text) {
  std::string(text).swap(FLastGuids);
  FLastGuidsStale = false;
}

// The button promises the GUIDs of the selected elements. A stale list is
// built afresh from the selection first, as a selection change builds it,
// and kept; it goes out with the button's code only. A fresh list goes out
// as it is, so a peer's own list comes back verbatim.
void btBIMQuabo::SendLastSelection() {
  if (FLastGuidsStale) {
    try {
      system_.RunContained([this] { KeepLastGuids(SelectedGuids()); });
    } catch (...) {
      if (record_) record_->Fault("SendLastSelection");
      system_.ShowMessage(texts::kSelectionFailed, texts::kSelectionFailedCaption);
      return;
    }
  }
  Message_Sender(FLastGuids, peer_link::kCodeCreateLines);
}

}  // namespace bridge
