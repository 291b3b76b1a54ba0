// Filling the GUID index from the viewer's property data at every model load.
#include <vector>

#include "bridge/controller.h"
#include "bridge/controller_texts.h"

namespace bridge {

bool btBIMQuabo::BuildGuidIndex() {
  // A new model: the last list may name elements of the old one.
  FLastGuidsStale = true;
  bool result = false;
  std::uint32_t objectCount = 0;
  // The new index is filled aside and put in place at the end, so that a
  // viewer call that re-enters the controller never meets it half-built.
  BtGuidObjidList fresh;
  try {
    system_.RunContained([&] {
      if (FGuidIndex) {
        FGuidIndex->Clear();
      } else {
        FGuidIndex = std::make_unique<BtGuidObjidList>();
      }
      objectCount = viewer_.get_all_objects(PluginId(), nullptr, 0);
      std::vector<ObjectId> objects(objectCount);
      viewer_.get_all_objects(PluginId(), objects.data(), objectCount);
      if (objectCount >= 1) {
        const std::wstring setName = ToPWideChar(kGuidSetName);
        const std::wstring propertyName = ToPWideChar(kGuidPropertyName);
        fresh.Reserve(objects.size());
        std::vector<viewer_abi::PropertyRecord> records;
        for (const ObjectId object : objects) {
          const viewer_abi::PropertyFilter filter{object, setName.c_str(), propertyName.c_str()};
          QueryProperties(filter, records);
          for (const auto& record : records) {
            // IFC GUIDs are ASCII: only other texts need the system's conversion.
            if (auto ascii = GuidText::FromAscii(record.value)) {
              fresh.Add(std::move(*ascii), object);
            } else {
              fresh.Add(ValueText(record), object);
            }
          }
        }
      }
      result = true;
      fresh.Sort();
    });
  } catch (...) {
    if (record_) record_->Fault("BuildGuidIndex");
    const std::string message = texts::kIndexFailed + std::to_string(objectCount);
    system_.ShowMessage(ToPChar(message), texts::kIndexFailedCaption);
  }
  // After a failure the index keeps what was read so far, unsorted.
  if (FGuidIndex) *FGuidIndex = std::move(fresh);
  return result;
}

}  // namespace bridge
