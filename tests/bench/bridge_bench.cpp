// Costs of the work that runs on the viewer's GUI thread at real model
// sizes: the index build, lookups, cutting and selecting a peer's GUID
// list, and building the selection text. The index build and the lookups
// run beside a baseline that does the same viewer calls and conversions
// the obvious way: a vector of (std::string, id) pairs and std::sort.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bridge/controller.h"
#include "bridge/guid_lines.h"
#include "peer_link/peer_discovery.h"
#include "tests/bench/memory_viewer.h"

namespace {

using namespace bench;

// Bytes the C heap holds for the program, block headers included.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// One peer process with one peer window; sends only count their bytes.
class MemoryPlatform final : public platform::Platform {
 public:
  std::size_t bytesSent = 0;
  bool WalkProcesses(const std::function<void(std::uint32_t, std::string_view)>& visit) override {
    visit(2, "QUABO.EXE");
    return true;
  }
  void EnumTopLevelWindows(const std::function<bool(platform::WindowHandle)>& visit) override { visit(7); }
  bool WindowExists(platform::WindowHandle) override { return true; }
  std::uint32_t WindowProcessId(platform::WindowHandle) override { return 2; }
  std::uint32_t CurrentProcessId() override { return 1; }
  std::string WindowClassName(platform::WindowHandle, std::size_t) override {
    return std::string(peer_link::kPeerWindowClass);
  }
  std::uint32_t DeliverCopyData(platform::WindowHandle, platform::WindowHandle,
                                const platform::CopyDataRecord& r) override {
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
  std::unique_ptr<platform::OwnedTimer> StartTimer(platform::WindowHandle, std::uintptr_t, std::uint32_t) override {
    return std::make_unique<platform::OwnedTimer>();
  }
  void RunContained(const std::function<void()>& work) override { work(); }
  void KeepLoaded() override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  std::string SpecialFolderPath(int) override { return {}; }
  std::wstring ToWide(std::string_view ansi) override { return std::wstring(ansi.begin(), ansi.end()); }
  // Count, then fill, as the Windows conversion does.
  std::string FromWide(const wchar_t* wide) override {
    std::string narrow(std::wcslen(wide), '\0');
    for (char& c : narrow) c = static_cast<char>(*wide++);
    return narrow;
  }
  std::string PathFromWide(const wchar_t* path) override { return FromWide(path); }
  // No support record runs here.
  platform::LocalTime Now() override { return {}; }
  std::uint32_t TickMs() override { return 0; }
  platform::StartFacts DescribeStart() override { return {}; }
  std::string LastFaultPlace() override { return {}; }
  std::string ProcessName(std::uint32_t) override { return {}; }
  std::string Utf8FromAnsi(std::string_view ansi) override { return std::string(ansi); }
  std::optional<std::uint32_t> LogLevelSetting(bool) override { return std::nullopt; }
  std::unique_ptr<platform::SupportLogFile> OpenSupportLog() override { return nullptr; }
  std::unique_ptr<platform::SupportLogLock> LockSupportLog() override { return nullptr; }
  bool StartSupportLogAfresh() override { return false; }
  void ReportSystemEvent(platform::SystemEvent, std::string_view) override {}
};

std::string GuidListText(const std::vector<std::wstring>& guids, std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    if (i) text += "\r\n";
    // Every other line is one the model does not have.
    std::string narrow = Narrow(guids[(i * 7919) % guids.size()]);
    if (i % 2) narrow[0] = '#';
    text += narrow;
  }
  return text;
}

void BM_BuildGuidIndex(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  MemoryPlatform system;
  MemoryViewer viewer(MakeGuids(n));
  bridge::btBIMQuabo controller(system, viewer);
  const std::size_t before = HeapInUse();
  controller.BuildGuidIndex();
  const std::size_t after = HeapInUse();
  for (auto _ : state) benchmark::DoNotOptimize(controller.BuildGuidIndex());
  state.counters["bytes_per_item"] = static_cast<double>(after - before) / static_cast<double>(n);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildGuidIndex)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_BuildBaseline(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  MemoryPlatform system;
  MemoryViewer viewer(MakeGuids(n));
  const std::size_t before = HeapInUse();
  BaselineIndex index = BuildBaseline(viewer, system);
  const std::size_t after = HeapInUse();
  for (auto _ : state) {
    index = BuildBaseline(viewer, system);
    benchmark::DoNotOptimize(index.data());
  }
  state.counters["bytes_per_item"] = static_cast<double>(after - before) / static_cast<double>(n);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildBaseline)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The index's sort alone on the same GUIDs shuffled and in the order
// crafted against it.
void SortGuidIndex(benchmark::State& state, const std::vector<std::wstring>& guids) {
  bridge::BtGuidObjidList unsorted;
  unsorted.Reserve(guids.size());
  for (std::size_t i = 0; i < guids.size(); ++i) unsorted.Add(Narrow(guids[i]), i);
  for (auto _ : state) {
    state.PauseTiming();
    bridge::BtGuidObjidList list = unsorted;
    state.ResumeTiming();
    list.Sort();
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SortShuffled(benchmark::State& state) {
  SortGuidIndex(state, ShuffledGuids(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_SortShuffled)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SortCrafted(benchmark::State& state) {
  SortGuidIndex(state, CraftedGuids(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_SortCrafted)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Lookup keys: GUIDs of the index at random positions, so that the search
// paths spread over the whole array as they do for a peer's GUID list.
std::vector<std::string> LookupKeys(const std::vector<std::wstring>& guids) {
  std::mt19937_64 random(7);
  std::vector<std::string> keys(1 << 16);
  for (auto& key : keys) key = Narrow(guids[random() % guids.size()]);
  return keys;
}

void BM_Find(benchmark::State& state) {
  const auto guids = MakeGuids(static_cast<std::size_t>(state.range(0)));
  bridge::BtGuidObjidList list;
  list.Reserve(guids.size());
  for (std::size_t i = 0; i < guids.size(); ++i) list.Add(bridge::BtGUIDObjIDItem(Narrow(guids[i]), i));
  list.Sort();
  std::vector<bridge::BtGUIDObjIDItem> keys;
  for (const auto& key : LookupKeys(guids)) keys.emplace_back(key, 0);
  std::size_t k = 0;
  for (auto _ : state) {
    std::size_t index = 0;
    benchmark::DoNotOptimize(list.Find(keys[k++ & (keys.size() - 1)], index));
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find)->Arg(100000)->Arg(1000000);

void BM_FindBaseline(benchmark::State& state) {
  const auto guids = MakeGuids(static_cast<std::size_t>(state.range(0)));
  BaselineIndex index;
  index.reserve(guids.size());
  for (std::size_t i = 0; i < guids.size(); ++i) index.emplace_back(Narrow(guids[i]), i);
  std::sort(index.begin(), index.end(), ByGuid);
  const auto keys = LookupKeys(guids);
  std::size_t k = 0;
  for (auto _ : state) {
    const std::string& key = keys[k++ & (keys.size() - 1)];
    const auto it =
        std::lower_bound(index.begin(), index.end(), key,
                         [](const BaselineIndex::value_type& item, const std::string& g) { return item.first < g; });
    benchmark::DoNotOptimize(it);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindBaseline)->Arg(100000)->Arg(1000000);

void BM_ForEachLine(benchmark::State& state) {
  const std::string text = GuidListText(MakeGuids(1000), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t bytes = 0;
    bridge::ForEachLine(text, [&bytes](std::string_view line) { bytes += line.size(); });
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ForEachLine)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
  state.counters["bytes_sent"] = static_cast<double>(system.bytesSent) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendSelection)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
