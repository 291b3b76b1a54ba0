#include "tools/viewer_sim/model.h"

#include <algorithm>

namespace viewer_sim {

const ModelObject* Model::Find(ObjectId id) const {
  const auto it = std::find_if(objects.begin(), objects.end(), [id](const ModelObject& o) { return o.id == id; });
  return it == objects.end() ? nullptr : &*it;
}

namespace {

std::wstring Upper(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return out;
}

constexpr std::wstring_view kStoreyType = L"IFCBUILDINGSTOREY";

}  // namespace

std::wstring GuidOf(const ModelObject& object) {
  for (const auto& p : object.properties) {
    if (p.set == kElementSpecificSet && p.name == kGuidProperty && p.value) return *p.value;
  }
  return {};
}

std::vector<ObjectId> Model::WithGuid(std::wstring_view guid) const {
  std::vector<ObjectId> ids;
  for (const auto& o : objects) {
    if (GuidOf(o) == guid) ids.push_back(o.id);
  }
  return ids;
}

std::vector<ObjectId> Model::OfType(std::wstring_view type) const {
  std::wstring wanted = Upper(type);
  if (!wanted.starts_with(L"IFC")) wanted.insert(0, L"IFC");
  std::vector<ObjectId> ids;
  for (const auto& o : objects) {
    if (o.type == wanted) ids.push_back(o.id);
  }
  return ids;
}

std::vector<const ModelObject*> Model::Storeys() const {
  std::vector<const ModelObject*> storeys;
  for (const auto& o : objects) {
    if (o.type == kStoreyType) storeys.push_back(&o);
  }
  return storeys;
}

std::vector<ObjectId> Model::OnStorey(std::wstring_view storey) const {
  std::vector<ObjectId> ids;
  for (const auto* s : Storeys()) {
    if (s->name != storey && GuidOf(*s) != storey) continue;
    for (const auto& o : objects) {
      if (o.storey == s->id) ids.push_back(o.id);
    }
  }
  return ids;
}

ObjectId ObjectIdForInstance(std::uint32_t instance) {
  const auto n = static_cast<ObjectId>(instance);
  return (instance % 2 == 1) ? ((n << 32) | n) : n;
}

std::wstring SampleGuid(std::size_t k) {
  static constexpr wchar_t kAlphabet[] = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  std::wstring guid(22, L'0');
  std::uint64_t state = 0x9E3779B97F4A7C15ull * (k + 1);
  for (auto& c : guid) {
    state ^= state >> 29;
    state *= 0xBF58476D1CE4E5B9ull;
    c = kAlphabet[(state >> 40) % 64];
  }
  guid[0] = kAlphabet[k % 4];  // IFC GUIDs start with 0-3
  return guid;
}

Model MakeSampleModel(std::size_t count) {
  Model model;
  model.objects.reserve(count);
  for (std::size_t k = 1; k <= count; ++k) {
    ModelObject object;
    object.id = (static_cast<ObjectId>(k) << 32) | (k * 7 + 1);
    object.type = L"IFCWALL";
    object.name = L"Wall " + std::to_wstring(k);
    object.properties.push_back({kElementSpecificSet, kGuidProperty, SampleGuid(k)});
    if (k == 2) object.properties.push_back({L"Pset_WallCommon", L"IsExternal", L"True"});
    if (k == 3) object.properties.push_back({L"Pset_WallCommon", L"Reference", std::nullopt});
    model.objects.push_back(std::move(object));
  }
  return model;
}

}  // namespace viewer_sim
