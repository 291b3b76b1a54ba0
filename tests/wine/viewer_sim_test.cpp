// The viewer simulator as a plug-in meets it under Wine: the program's own
// export table, calls through the viewer's function types, the plug-in
// loader and main window, and message boxes that must never block.
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "host_api/viewer_abi.h"
#include "tests/wine_tools/probe_state.h"
#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

namespace viewer_sim {
namespace {

constexpr std::int32_t kPlugin = 0x51;

#define VIEWER_NAME(name, result, abi_result, params, args, stopped) #name,
const char* const kViewerNames[] = {VIEWER_FUNCTIONS(VIEWER_NAME)};
#undef VIEWER_NAME

// The viewer function `name` as the plug-in finds it: in the host program.
template <typename Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name)));
}

int handlerCalls = 0;
void VIEWER_CALL CountingHandler() { ++handlerCalls; }

std::filesystem::path BesideExe(const wchar_t* file) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path() / file;
}

class ViewerSimWine : public testing::Test {
 protected:
  void SetUp() override {
    Sim().Reset();
    handlerCalls = 0;
  }
};

TEST_F(ViewerSimWine, ExportsEveryViewerFunctionUnderItsPlainName) {
  const HMODULE self = GetModuleHandleW(nullptr);
  for (const char* name : kViewerNames) {
    EXPECT_NE(GetProcAddress(self, name), nullptr) << name;
  }
  EXPECT_EQ(GetProcAddress(self, "create_button@12"), nullptr);
  EXPECT_EQ(GetProcAddress(self, "_create_button@12"), nullptr);
}

TEST_F(ViewerSimWine, DecodesArgumentsPassedThroughTheViewerTypes) {
  Sim().SetModel(MakeSampleModel(3));
  const ObjectId high = (3ull << 32) | 22u;
  Export<viewer_abi::select_fn>("select")(kPlugin, high, 1);
  EXPECT_EQ(Sim().Selection(), std::vector<ObjectId>{high});
  const auto select = Sim().Log().Calls("select");
  ASSERT_EQ(select.size(), 1u);
  EXPECT_EQ(select[0].IdArg("object"), high);
  EXPECT_EQ(select[0].Number("flag"), 1);
  EXPECT_EQ(select[0].Number("plugin"), kPlugin);

  const auto id = Export<viewer_abi::create_button_fn>("create_button")(kPlugin, 2, &CountingHandler);
  EXPECT_EQ(id, 1);
  Export<viewer_abi::enable_button_fn>("enable_button")(kPlugin, id, 0xFFFFFF00u);
  EXPECT_FALSE(Sim().FindButton(id)->enabled);
  Export<viewer_abi::enable_button_fn>("enable_button")(kPlugin, id, 0xFFFFFF01u);
  EXPECT_TRUE(Sim().FindButton(id)->enabled);
  Export<viewer_abi::set_button_text_fn>("set_button_text")(kPlugin, id, L"\u0141\u00f3d\u017a", nullptr);
  EXPECT_EQ(Sim().Log().Calls("set_button_text").at(0).TextArg("text"), "\xc5\x81\xc3\xb3"
                                                                        "d\xc5\xba");
  EXPECT_TRUE(Sim().Click(id));
  EXPECT_EQ(handlerCalls, 1);

  const ObjectId many[] = {(1ull << 32) | 8u, (2ull << 32) | 15u};
  Export<viewer_abi::select_many_fn>("select_many")(kPlugin, many, 2, 2);
  EXPECT_EQ(Sim().Log().Calls("select_many").at(0).Ids("objects"), std::vector<ObjectId>(many, many + 2));
  EXPECT_EQ(Sim().Selection().size(), 3u);

  EXPECT_EQ(Export<viewer_abi::get_all_objects_id_fn>("get_all_objects_id")(kPlugin), kWholeModelId);
  Export<viewer_abi::select_fn>("select")(kPlugin, kWholeModelId, 0);
  EXPECT_TRUE(Sim().Selection().empty());

  const std::uint8_t bytes[] = {1, 2, 250};
  Export<viewer_abi::set_view_state_fn>("set_view_state")(kPlugin, 5, bytes, 3);
  EXPECT_EQ(Sim().Log().Calls("set_view_state").at(0).Bytes("bytes"), (std::vector<std::uint8_t>{1, 2, 250}));
  Export<viewer_abi::item_command_fn>("item_command")(kPlugin, L"a", L"b");
  Export<viewer_abi::invalidate_fn>("invalidate")(kPlugin);
  EXPECT_EQ(Sim().InvalidateCount(), 1);
  EXPECT_EQ(Sim().Log().Calls("item_command").at(0).TextArg("command"), "b");
}

TEST_F(ViewerSimWine, ListsAreCountThenFillThroughTheExports) {
  Sim().SetModel(MakeSampleModel(4));
  const auto all = Export<viewer_abi::get_all_objects_fn>("get_all_objects");
  const std::uint32_t n = all(kPlugin, nullptr, 0);
  ASSERT_EQ(n, 4u);
  std::vector<ObjectId> ids(n + 1, 0);
  EXPECT_EQ(all(kPlugin, ids.data(), n), n);
  EXPECT_EQ(ids[3], (4ull << 32) | 29u);
  EXPECT_EQ(ids[4], 0u);

  const auto filter = Export<viewer_abi::filter_properties_fn>("filter_properties");
  const viewer_abi::PropertyFilter guids{0, L" Element Specific", L"Guid"};
  const std::uint32_t count = filter(kPlugin, &guids, nullptr, 0);
  ASSERT_EQ(count, 4u);
  std::vector<viewer_abi::PropertyRecord> records(count);
  ASSERT_EQ(filter(kPlugin, &guids, records.data(), count), count);
  // The plug-in reads the value pointer at offset 16 of each 24-byte record.
  const auto* raw = reinterpret_cast<const unsigned char*>(records.data());
  const wchar_t* third = *reinterpret_cast<const wchar_t* const*>(raw + 2 * 24 + 16);
  EXPECT_EQ(std::wstring(third), SampleGuid(3));

  const auto selected = Export<viewer_abi::get_selected_fn>("get_selected");
  Sim().UserSelect({ids[1]});
  ObjectId one = 0;
  EXPECT_EQ(selected(kPlugin, nullptr, 0), 1u);
  EXPECT_EQ(selected(kPlugin, &one, 1), 1u);
  EXPECT_EQ(one, ids[1]);
}

TEST_F(ViewerSimWine, LoadIfcReadsTheFileAndAnnouncesTheModel) {
  const auto path = std::filesystem::temp_directory_path() / L"viewer_sim_wine_\u00e9.ifc";
  {
    std::ofstream out(path, std::ios::binary);
    out << "ISO-10303-21;\r\nHEADER;ENDSEC;\r\nDATA;\r\n#1=IFCWALL('0123456789ABCDEFabcdef',$,'W');\r\n"
           "#3=IFCDOOR('0123456789ABCDEFabcde$',$,$);\r\nENDSEC;\r\nEND-ISO-10303-21;\r\n";
  }
  Export<viewer_abi::on_model_load_fn>("on_model_load")(kPlugin, &CountingHandler);
  const auto load = Export<viewer_abi::load_ifc_fn>("load_ifc");
  EXPECT_EQ(load(kPlugin, path.wstring().c_str()), kLoadResultJunk | 1u);
  EXPECT_EQ(handlerCalls, 1);
  EXPECT_EQ(Sim().CurrentModel().objects.size(), 2u);
  EXPECT_NE(Sim().CurrentModel().Find((3ull << 32) | 3u), nullptr);
  const auto loaded = Export<viewer_abi::get_loaded_ifc_path_fn>("get_loaded_ifc_path");
  EXPECT_EQ(std::wstring(loaded(kPlugin)), path.wstring());
  Sim().Config().nullLoadedPath = true;
  EXPECT_EQ(loaded(kPlugin), nullptr);

  Sim().Config().refuseLoads = true;
  EXPECT_EQ(load(kPlugin, path.wstring().c_str()), kLoadResultJunk);
  EXPECT_EQ(handlerCalls, 1);
  std::filesystem::remove(path);
}

TEST_F(ViewerSimWine, MessageBoxesAreRecordedAndDismissedAtOnce) {
  const auto catcher = CatchMessageBoxesIntoSim();
  EXPECT_EQ(MessageBoxA(nullptr, "Peer \"B\" left", "VidudUDE", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, L"Continue?", L"Question", MB_YESNO), IDNO);

  // A box from another thread is found by the watcher.
  int fromWorker = 0;
  std::thread worker([&] { fromWorker = MessageBoxA(nullptr, "from a worker", "Worker", MB_OK); });
  worker.join();
  EXPECT_EQ(fromWorker, IDOK);

  const auto boxes = catcher->Records();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "Peer \"B\" left");
  EXPECT_EQ(boxes[0].caption, "VidudUDE");
  EXPECT_EQ(boxes[1].caption, "Question");
  EXPECT_EQ(boxes[2].text, "from a worker");
  EXPECT_EQ(Sim().MessageBoxes().size(), 3u);
  EXPECT_EQ(Sim().Log().Calls("MessageBoxA").at(0).TextArg("caption"), "VidudUDE");
}

TEST_F(ViewerSimWine, MainWindowCountsCloseRequestsAndStays) {
  HostWindow window;
  ASSERT_NE(window.Handle(), nullptr);
  EXPECT_EQ(GetParent(window.Handle()), nullptr);
  EXPECT_FALSE(IsWindowVisible(window.Handle()));
  PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return window.CloseRequests() == 1; }, std::chrono::seconds(60)));
  EXPECT_TRUE(IsWindow(window.Handle()));
}

TEST_F(ViewerSimWine, PluginHostDrivesThePluginWithTheViewerPrototypes) {
  const auto catcher = CatchMessageBoxesIntoSim();
  HostWindow window;
  {
    PluginHost plugin(BesideExe(L"viewer_sim_probe.dll").wstring());
    ASSERT_TRUE(plugin.Loaded()) << plugin.LoadError();
    EXPECT_TRUE(plugin.HasAllExports());
    const auto probe = reinterpret_cast<const ProbeState* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin.Module(), "probe_state")));
    ASSERT_NE(probe, nullptr);
    const ProbeState& seen = *probe();

    const auto version = plugin.ApiVersion({3, 1});
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(seen.viewerVersion.major, 3);
    EXPECT_EQ(version->major, 3);
    EXPECT_EQ(version->minor, 8);

    const auto info = plugin.Info();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->name, "Probe \xc3\xa9");
    EXPECT_FALSE(info->webAddress.has_value());
    EXPECT_EQ(info->reserved2, 4);

    ASSERT_TRUE(plugin.Load(kPlugin, 1, window.Handle()));
    EXPECT_EQ(seen.plugin, kPlugin);
    EXPECT_EQ(seen.flag, 1);
    EXPECT_EQ(seen.mainWindow, window.Handle());
    EXPECT_EQ(seen.button, 1);
    ASSERT_TRUE(Sim().FindButton(1).has_value());
    EXPECT_EQ(Sim().FindButton(1)->hint, L"Probe hint");
    EXPECT_EQ(Sim().MessageBoxes().at(0).text, "probe loaded");

    EXPECT_TRUE(Sim().Click(1));
    EXPECT_TRUE(PumpUntil([&] { return window.CloseRequests() == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(seen.clicks, 1);
    EXPECT_TRUE(plugin.Unload());
    EXPECT_EQ(seen.unloads, 1);
  }

  PluginHost missing(BesideExe(L"no_such_plugin.dll").wstring());
  EXPECT_FALSE(missing.Loaded());
  EXPECT_NE(missing.LoadError(), 0u);
  EXPECT_FALSE(missing.ApiVersion().has_value());
  EXPECT_FALSE(missing.Load(kPlugin, 0, window.Handle()));

  PluginHost notAPlugin(L"kernel32.dll");
  ASSERT_TRUE(notAPlugin.Loaded());
  EXPECT_FALSE(notAPlugin.HasAllExports());
  EXPECT_FALSE(notAPlugin.Info().has_value());
}

}  // namespace
}  // namespace viewer_sim
