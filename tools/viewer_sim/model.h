// The building model the simulated viewer holds: objects with their entity
// type, name and property records, as the plug-in sees them through the
// viewer functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_api/viewer_abi.h"

namespace viewer_sim {

using viewer_abi::ObjectId;

// Property set and name under which the viewer shows an element's GUID; the
// leading blank is part of the viewer's set name.
inline constexpr const wchar_t* kElementSpecificSet = L" Element Specific";
inline constexpr const wchar_t* kGuidProperty = L"Guid";

// Id that stands for the whole model. No derived object id can equal it: odd
// instance numbers give a non-zero low half, even ones a zero high half.
inline constexpr ObjectId kWholeModelId = 0xFFFFFFFF00000000ull;

struct Property {
  std::wstring set;
  std::wstring name;
  std::optional<std::wstring> value;  // nullopt: the viewer hands out a null value pointer
};

struct ModelObject {
  ObjectId id = 0;
  std::wstring type;  // entity type, e.g. L"IFCWALL"
  std::wstring name;
  std::vector<Property> properties;
  ObjectId storey = 0;  // the building storey it stands on, 0 for none
};

struct Model {
  std::vector<ModelObject> objects;

  const ModelObject* Find(ObjectId id) const;

  // What a user picks in the model tree, in model order. A type matches
  // without regard to case, with or without its "IFC" prefix ("IfcWall",
  // "wall"); a storey is named by its name or its GUID, and gives the
  // objects standing on it.
  std::vector<ObjectId> WithGuid(std::wstring_view guid) const;
  std::vector<ObjectId> OfType(std::wstring_view type) const;
  std::vector<ObjectId> OnStorey(std::wstring_view storey) const;
  std::vector<const ModelObject*> Storeys() const;
};

// The object's IFC GUID, empty when it has none.
std::wstring GuidOf(const ModelObject& object);

// Object id for a STEP instance number: odd numbers put the number in both
// halves so that ids above 2^32 occur in every real file.
ObjectId ObjectIdForInstance(std::uint32_t instance);

// A model of `count` objects whose ids are (k << 32) | (k * 7 + 1), each with
// a 22-character GUID under the element-specific set. Object k = 2 (when
// present) also carries a second set, and object k = 3 a property with a null
// value, so callers see several records per object and a missing value.
Model MakeSampleModel(std::size_t count);

// The deterministic GUID MakeSampleModel gives object k.
std::wstring SampleGuid(std::size_t k);

}  // namespace viewer_sim
