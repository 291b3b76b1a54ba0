// Reads the objects of an IFC STEP file (ISO 10303-21) as a viewer's model
// tree shows them: every product instance (see ifc_products.h) whose first
// attribute is a 22-character IFC GlobalId becomes an object carrying that
// GUID under the element-specific property set, with the storey it stands
// on, found through the spatial containment, aggregation, nesting and
// voiding relationships.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/viewer_sim/model.h"

namespace viewer_sim {

struct IfcReadResult {
  std::vector<ModelObject> objects;  // whatever was read, also on error
  std::string error;                 // empty when the file read cleanly

  bool ok() const { return error.empty(); }
};

IfcReadResult ParseIfc(std::string_view text);
IfcReadResult ReadIfcFile(const std::filesystem::path& path);

// Decodes the escapes of a STEP string body (between the quotes, '' already
// counting as one quote): \X2\..\X0\, \X4\..\X0\, \X\hh, \S\c and \\.
// Malformed escapes are kept literally.
std::wstring DecodeStepString(std::string_view raw);

}  // namespace viewer_sim
