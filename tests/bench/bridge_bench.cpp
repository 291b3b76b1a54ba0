// Costs of the work that runs on the viewer's GUI thread at real model
// sizes: the index build, lookups, cutting and selecting a peer's GUID
// list, and building the selection text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bridge/controller.h"
#include "bridge/guid_lines.h"

namespace {

using viewer_abi::ObjectId;

// Real-looking GUIDs: 22 characters of the IFC base64 alphabet.
std::vector<std::wstring> MakeGuids(std::size_t n) {
  static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  std::mt19937_64 random(42);
  std::vector<std::wstring> guids(n, std::wstring(22, L'0'));
  for (auto& g : guids) {
    for (auto& c : g) c = static_cast<wchar_t>(alphabet[random() % 64]);
  }
  return guids;
}

class MemoryPlatform final : public platform::Platform {
 public:
  std::size_t bytesSent = 0;
  bool WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>&) override { return true; }
  void EnumTopLevelWindows(const std::function<bool(platform::WindowHandle)>&) override {}
  std::uint32_t WindowProcessId(platform::WindowHandle) override { return 1; }
  std::string WindowClassName(platform::WindowHandle, std::size_t) override { return {}; }
  std::uint32_t SendCopyData(platform::WindowHandle, platform::WindowHandle, const platform::CopyDataRecord& r) override {
    bytesSent += r.size;
    return 1;
  }
  void PostClose(platform::WindowHandle) override {}
  std::unique_ptr<platform::OwnedWindow> CreateMessageWindow(platform::WindowProcedure&) override {
    struct Window final : platform::OwnedWindow {
      platform::WindowHandle Handle() const override { return 1; }
    };
    return std::make_unique<Window>();
  }
  std::intptr_t DefaultWindowProc(platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override {
    return 0;
  }
  void ShowMessage(const std::string&, const std::string&) override {}
  std::string SpecialFolderPath(int) override { return {}; }
  std::wstring ToWide(std::string_view ansi) override { return std::wstring(ansi.begin(), ansi.end()); }
  std::string FromWide(const wchar_t* wide) override {
    std::string narrow;
    for (; *wide; ++wide) narrow += static_cast<char>(*wide);
    return narrow;
  }
};

// A viewer that answers from memory: object k carries guids[k].
class MemoryViewer final : public host_api::Viewer {
 public:
  explicit MemoryViewer(std::vector<std::wstring> guids) : guids_(std::move(guids)) {}
  std::vector<ObjectId> selection;
  std::size_t selects = 0;

  static ObjectId IdOf(std::size_t k) { return (static_cast<ObjectId>(k) << 32) | (k + 1); }
  static std::size_t IndexOf(ObjectId id) { return static_cast<std::size_t>(id >> 32); }

  std::int32_t create_button(std::int32_t, std::int32_t, viewer_abi::Handler) override { return 1; }
  void set_button_text(std::int32_t, std::int32_t, const wchar_t*, const wchar_t*) override {}
  void set_button_image(std::int32_t, std::int32_t, const wchar_t*) override {}
  void enable_button(std::int32_t, std::int32_t, bool) override {}
  void on_selection_change(std::int32_t, viewer_abi::Handler) override {}
  void on_model_load(std::int32_t, viewer_abi::Handler) override {}
  std::uint32_t get_all_objects(std::int32_t, ObjectId* buffer, std::uint32_t count) override {
    for (std::uint32_t i = 0; buffer && i < count; ++i) buffer[i] = IdOf(i);
    return static_cast<std::uint32_t>(guids_.size());
  }
  std::uint32_t get_selected(std::int32_t, ObjectId* buffer, std::uint32_t count) override {
    for (std::uint32_t i = 0; buffer && i < count; ++i) buffer[i] = selection[i];
    return static_cast<std::uint32_t>(selection.size());
  }
  std::uint32_t filter_properties(std::int32_t, const viewer_abi::PropertyFilter* filter,
                                  viewer_abi::PropertyRecord* buffer, std::uint32_t count) override {
    if (buffer && count > 0) buffer[0].value = guids_[IndexOf(filter->object)].c_str();
    return 1;
  }
  ObjectId get_all_objects_id(std::int32_t) override { return 0xFFFFFFFFFFull; }
  void select(std::int32_t, ObjectId, std::int32_t) override {}
  void select_many(std::int32_t, const ObjectId*, std::uint32_t, std::int32_t) override { ++selects; }
  void invalidate(std::int32_t) override {}
  bool load_ifc(std::int32_t, const wchar_t*) override { return true; }
  void item_command(std::int32_t, const wchar_t*, const wchar_t*) override {}
  const wchar_t* get_loaded_ifc_path(std::int32_t) override { return L"model.ifc"; }
  void set_view_state(std::int32_t, std::int32_t, const std::uint8_t*, std::int32_t) override {}

 private:
  std::vector<std::wstring> guids_;
};

std::string GuidListText(const std::vector<std::wstring>& guids, std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    if (i) text += "\r\n";
    // Every other line is one the model does not have.
    const std::wstring& g = guids[(i * 7919) % guids.size()];
    std::string narrow(g.begin(), g.end());
    if (i % 2) narrow[0] = '#';
    text += narrow;
  }
  return text;
}

void BM_BuildGuidIndex(benchmark::State& state) {
  MemoryPlatform system;
  MemoryViewer viewer(MakeGuids(static_cast<std::size_t>(state.range(0))));
  bridge::btBIMQuabo controller(system, viewer);
  for (auto _ : state) benchmark::DoNotOptimize(controller.BuildGuidIndex());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildGuidIndex)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_Find(benchmark::State& state) {
  const auto guids = MakeGuids(static_cast<std::size_t>(state.range(0)));
  bridge::BtGuidObjidList list;
  for (std::size_t i = 0; i < guids.size(); ++i) list.Add({std::string(guids[i].begin(), guids[i].end()), i});
  list.Sort();
  std::vector<bridge::BtGUIDObjIDItem> keys;
  for (std::size_t i = 0; i < 4096; ++i) keys.push_back({std::string(guids[i * 31 % guids.size()].begin(), guids[i * 31 % guids.size()].end()), 0});
  std::size_t k = 0;
  for (auto _ : state) {
    std::size_t index = 0;
    benchmark::DoNotOptimize(list.Find(keys[k++ & 4095], index));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find)->Arg(100000)->Arg(1000000);

void BM_SplitLines(benchmark::State& state) {
  const std::string text = GuidListText(MakeGuids(1000), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(bridge::SplitLines(text));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_SplitLines)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SelectByGuids(benchmark::State& state) {
  MemoryPlatform system;
  const auto guids = MakeGuids(1000000);
  MemoryViewer viewer(guids);
  bridge::btBIMQuabo controller(system, viewer);
  controller.BuildGuidIndex();
  const std::string text = GuidListText(guids, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(controller.SelectByGuids(text));
  state.counters["selected"] = static_cast<double>(viewer.selects) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SelectByGuids)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SendSelection(benchmark::State& state) {
  MemoryPlatform system;
  const auto n = static_cast<std::size_t>(state.range(0));
  MemoryViewer viewer(MakeGuids(n));
  for (std::size_t i = 0; i < n; ++i) viewer.selection.push_back(MemoryViewer::IdOf(i));
  bridge::btBIMQuabo controller(system, viewer);
  controller.SetActive(true);
  for (auto _ : state) benchmark::DoNotOptimize(controller.SendSelection());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendSelection)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
