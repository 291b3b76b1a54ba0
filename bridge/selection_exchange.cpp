// Selections between the viewer and the peer, as GUID list texts.
#include <vector>

#include "bridge/controller.h"
#include "bridge/controller_texts.h"
#include "bridge/guid_lines.h"
#include "peer_link/peer_message.h"

namespace bridge {

bool btBIMQuabo::SendSelection() {
  if (!FActive) return false;
  try {
    std::string text = "0";
    const std::uint32_t n = viewer_.get_selected(PluginId(), nullptr, 0);
    if (n >= 1) {
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
          if (text == "0" || text.empty()) {
            text = value;
          } else {
            text += "\r\n";
            text += value;
          }
        }
      }
    }
    FLastGuids = text;
    Message_Sender(std::move(text), peer_link::kCodeSelection);
    return true;
  } catch (...) {
    system_.ShowMessage(texts::kSelectionFailed, texts::kSelectionFailedCaption);
    return false;
  }
}

// The text is a copy of its own: a viewer call below may re-enter and replace
// FLastGuids.
bool btBIMQuabo::SelectByGuids(std::string text) {  // NOLINT(performance-unnecessary-value-param)
  try {
    FLastGuids = text;
    std::vector<std::string> lines;
    if (text != "0") lines = SplitLines(text);
    const ObjectId all = viewer_.get_all_objects_id(PluginId());
    if (all != 0) viewer_.select(PluginId(), all, viewer_abi::kSelectClear);
    BtGUIDObjIDItem search;
    for (const std::string& line : lines) {
      search.FGuid = line;
      search.FObjectId = 0;
      // Looked up afresh for every line: a viewer call below may re-enter
      // the controller and rebuild the index. Without an index there is no
      // model, so nothing can be found.
      std::size_t index = 0;
      if (!FGuidIndex || !FGuidIndex->Find(search, index)) continue;
      const ObjectId id = FGuidIndex->GetItem(index).FObjectId;
      viewer_.select_many(PluginId(), &id, 1, viewer_abi::kSelectManyAdd);
    }
    viewer_.invalidate(PluginId());
    return true;
  } catch (...) {
    FLastGuids.clear();
    return false;
  }
}

void btBIMQuabo::SendLastSelection() { Message_Sender(FLastGuids, peer_link::kCodeCreateLines); }

}  // namespace bridge
