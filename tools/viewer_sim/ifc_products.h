// Which IFC entities are products: the things a viewer shows in its model
// tree (site, building, storeys, spaces, and the elements such as walls,
// slabs, doors, windows, openings). Property sets, relationships, type
// objects, the project and the other rooted entities are not.
#pragma once

#include <string_view>

namespace viewer_sim {

// `type` in STEP spelling, upper case, e.g. "IFCWALLSTANDARDCASE".
bool IsProductType(std::string_view type);

}  // namespace viewer_sim
