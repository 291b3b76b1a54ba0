// The simulated viewer's behaviour behind its exported functions: buttons,
// count-then-fill lists, property filtering, selection rules, loads and the
// handlers they trigger, and the call log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tools/viewer_sim/text.h"
#include "tools/viewer_sim/viewer_sim.h"

namespace viewer_sim {
namespace {

constexpr std::int32_t kPlugin = 0x51;

int selectionCalls = 0;
int modelLoadCalls = 0;
int clicks = 0;
std::uint32_t objectsSeenOnLoad = 0;

void VIEWER_CALL OnSelection() { ++selectionCalls; }
void VIEWER_CALL OnClick() { ++clicks; }
void VIEWER_CALL OnModelLoad() {
  ++modelLoadCalls;
  // Handlers call back into the viewer: this must not deadlock.
  objectsSeenOnLoad = Sim().GetAllObjects(kPlugin, nullptr, 0);
}

class ViewerSimCore : public testing::Test {
 protected:
  void SetUp() override {
    Sim().Reset();
    selectionCalls = modelLoadCalls = clicks = 0;
    objectsSeenOnLoad = 0;
  }
  ViewerSim& sim = Sim();
};

TEST(Text, RoundTripsUtf8AndMarksBrokenInput) {
  const std::wstring wide = L"K\u00fcche \u015b \U0001F600";
  EXPECT_EQ(ToUtf8(wide), "K\xc3\xbc"
                          "che \xc5\x9b \xf0\x9f\x98\x80");
  EXPECT_EQ(ToWide(ToUtf8(wide)), wide);
  EXPECT_EQ(ToWide("a\xff"
                   "b"),
            L"a\uFFFD"
            "b");
  EXPECT_EQ(ToWide("\xc3"), L"\uFFFD");
}

TEST_F(ViewerSimCore, ButtonsGetIncreasingIdsAndKeepTextImageAndState) {
  EXPECT_EQ(sim.CreateButton(kPlugin, 0, OnClick), 1);
  EXPECT_EQ(sim.CreateButton(kPlugin, 1, nullptr), 2);
  sim.SetButtonText(kPlugin, 1, L"Send \u00e9", nullptr);
  sim.SetButtonImage(kPlugin, 1, L"C:\\img\\send.bmp");
  sim.EnableButton(kPlugin, 2, 0xFFFFFF00u);  // low byte 0: off despite the junk
  const auto first = sim.FindButton(1);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->text, L"Send \u00e9");
  EXPECT_EQ(first->hint, L"");
  EXPECT_EQ(first->image, L"C:\\img\\send.bmp");
  EXPECT_TRUE(first->enabled);
  EXPECT_FALSE(sim.FindButton(2)->enabled);
  sim.EnableButton(kPlugin, 2, 0xFFFFFF01u);
  EXPECT_TRUE(sim.FindButton(2)->enabled);

  const auto texts = sim.Log().Calls("set_button_text");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].TextArg("text"), "Send \xc3\xa9");
  EXPECT_FALSE(texts[0].TextArg("hint").has_value());
  EXPECT_EQ(texts[0].Line(), "set_button_text(plugin=81, button=1, text=\"Send \xc3\xa9\", hint=null)");
}

TEST_F(ViewerSimCore, ClickRunsOnlyEnabledButtonsWithHandlers) {
  const auto id = sim.CreateButton(kPlugin, 0, OnClick);
  const auto bare = sim.CreateButton(kPlugin, 0, nullptr);
  EXPECT_TRUE(sim.Click(id));
  EXPECT_FALSE(sim.Click(bare));
  EXPECT_FALSE(sim.Click(99));
  sim.EnableButton(kPlugin, id, 0);
  EXPECT_FALSE(sim.Click(id));
  EXPECT_EQ(clicks, 1);
}

int eventsHandled = 0;
void VIEWER_CALL CountEvent() { ++eventsHandled; }

TEST_F(ViewerSimCore, EventOfItsOwnRunsItsHandlerUntilThePluginIsForgotten) {
  eventsHandled = 0;
  EXPECT_FALSE(sim.FireEvent("on_hover"));
  EXPECT_EQ(sim.OnEvent("on_hover", kPlugin, &CountEvent), 1);
  EXPECT_FALSE(sim.FireEvent("on_draw"));
  EXPECT_TRUE(sim.FireEvent("on_hover"));
  EXPECT_EQ(eventsHandled, 1);
  sim.ForgetPlugin();
  EXPECT_FALSE(sim.FireEvent("on_hover"));
  EXPECT_EQ(eventsHandled, 1);
  EXPECT_EQ(sim.ForeignHandleCalls(), 0);
}

TEST_F(ViewerSimCore, ObjectListsAreCountThenFill) {
  sim.SetModel(MakeSampleModel(5));
  EXPECT_EQ(sim.GetAllObjects(kPlugin, nullptr, 0), 5u);
  std::vector<ObjectId> ids(8, 0);
  EXPECT_EQ(sim.GetAllObjects(kPlugin, ids.data(), 3), 3u);
  EXPECT_EQ(ids[0], (1ull << 32) | 8u);
  EXPECT_EQ(ids[2], (3ull << 32) | 22u);
  EXPECT_EQ(ids[3], 0u);  // capacity respected
  EXPECT_EQ(sim.GetAllObjects(kPlugin, ids.data(), 8), 5u);
  EXPECT_EQ(ids[4], (5ull << 32) | 36u);

  EXPECT_EQ(sim.GetSelected(kPlugin, nullptr, 0), 0u);
  sim.UserSelect({ids[4], ids[1]});
  ObjectId selected[2] = {};
  EXPECT_EQ(sim.GetSelected(kPlugin, selected, 2), 2u);
  EXPECT_EQ(selected[0], ids[4]);
  EXPECT_EQ(selected[1], ids[1]);
}

TEST_F(ViewerSimCore, FilterPropertiesMatchesObjectSetAndName) {
  sim.SetModel(MakeSampleModel(4));
  const ObjectId second = (2ull << 32) | 15u;
  viewer_abi::PropertyFilter guid{second, kElementSpecificSet, kGuidProperty};
  EXPECT_EQ(sim.FilterProperties(kPlugin, &guid, nullptr, 0), 1u);
  viewer_abi::PropertyRecord record{};
  ASSERT_EQ(sim.FilterProperties(kPlugin, &guid, &record, 1), 1u);
  ASSERT_NE(record.value, nullptr);
  EXPECT_EQ(std::wstring(record.value), SampleGuid(2));

  viewer_abi::PropertyFilter any{second, nullptr, nullptr};
  EXPECT_EQ(sim.FilterProperties(kPlugin, &any, nullptr, 0), 2u);

  viewer_abi::PropertyFilter everyGuid{kWholeModelId, kElementSpecificSet, kGuidProperty};
  std::vector<viewer_abi::PropertyRecord> records(4);
  ASSERT_EQ(sim.FilterProperties(kPlugin, &everyGuid, records.data(), 2), 2u);
  EXPECT_EQ(std::wstring(records[1].value), SampleGuid(2));
  EXPECT_EQ(records[2].value, nullptr);  // capacity respected

  viewer_abi::PropertyFilter nullValue{(3ull << 32) | 22u, L"Pset_WallCommon", L"Reference"};
  viewer_abi::PropertyRecord missing{};
  missing.value = L"stale";
  ASSERT_EQ(sim.FilterProperties(kPlugin, &nullValue, &missing, 1), 1u);
  EXPECT_EQ(missing.value, nullptr);

  viewer_abi::PropertyFilter wrongSet{second, L"Element Specific", kGuidProperty};  // no leading blank
  EXPECT_EQ(sim.FilterProperties(kPlugin, &wrongSet, nullptr, 0), 0u);

  const auto calls = sim.Log().Calls("filter_properties");
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].IdArg("object"), second);
  EXPECT_EQ(calls[0].TextArg("set"), " Element Specific");
}

TEST_F(ViewerSimCore, SelectHonoursFlagWholeModelIdAndUnknownIds) {
  EXPECT_EQ(sim.GetAllObjectsId(kPlugin), 0u);
  sim.SetModel(MakeSampleModel(3));
  const ObjectId whole = sim.GetAllObjectsId(kPlugin);
  EXPECT_EQ(whole, kWholeModelId);
  const ObjectId a = (1ull << 32) | 8u;
  const ObjectId b = (2ull << 32) | 15u;
  sim.Select(kPlugin, a, 0x7F01);
  sim.Select(kPlugin, b, 1);
  sim.Select(kPlugin, b, 1);
  sim.Select(kPlugin, 8u, 1);  // only the low half of a: no such object
  EXPECT_EQ(sim.Selection(), (std::vector<ObjectId>{a, b}));
  sim.Select(kPlugin, a, 0x100);  // low byte 0: deselect
  EXPECT_EQ(sim.Selection(), (std::vector<ObjectId>{b}));
  sim.Select(kPlugin, whole, 1);
  EXPECT_EQ(sim.Selection().size(), 3u);
  sim.Select(kPlugin, whole, 0x100);
  EXPECT_TRUE(sim.Selection().empty());
  EXPECT_EQ(sim.Log().Calls("select")[0].IdArg("object"), a);
}

TEST_F(ViewerSimCore, ArmedFaultFiresOnceOnTheChosenCallOfTheChosenFunction) {
  sim.ArmFault("select", 2, FaultKind::AccessViolation);
  EXPECT_FALSE(sim.TakeFault("invalidate"));
  EXPECT_FALSE(sim.TakeFault("select"));
  EXPECT_EQ(sim.TakeFault("select"), FaultKind::AccessViolation);
  EXPECT_FALSE(sim.TakeFault("select"));
}

TEST_F(ViewerSimCore, CallsWithAnotherPluginHandleAreCounted) {
  sim.Invalidate(kPlugin);
  EXPECT_EQ(sim.ForeignHandleCalls(), 0);
  sim.Invalidate(kPlugin + 1);
  sim.GetSelected(0, nullptr, 0);
  EXPECT_EQ(sim.ForeignHandleCalls(), 2);
  EXPECT_EQ(sim.Log().Calls("foreign_plugin_handle").at(1).TextArg("function"), "get_selected");
}

TEST_F(ViewerSimCore, SelectManyAddsInModeTwoOnly) {
  sim.SetModel(MakeSampleModel(4));
  const ObjectId ids[] = {(1ull << 32) | 8u, (3ull << 32) | 22u, (4ull << 32) | 29u};
  sim.SelectMany(kPlugin, ids, 1, ViewerSim::kSelectManyAdd);
  sim.SelectMany(kPlugin, ids + 1, 2, ViewerSim::kSelectManyAdd);
  sim.SelectMany(kPlugin, ids, 3, 0);
  EXPECT_EQ(sim.Selection(), (std::vector<ObjectId>(ids, ids + 3)));
  const auto calls = sim.Log().Calls("select_many");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].Ids("objects"), (std::vector<ObjectId>(ids + 1, ids + 3)));
  EXPECT_EQ(calls[2].result, "mode not simulated");
}

TEST_F(ViewerSimCore, PluginSelectionNotifiesOnlyWhenSwitchedOn) {
  sim.SetModel(MakeSampleModel(2));
  sim.OnSelectionChange(kPlugin, OnSelection);
  sim.Select(kPlugin, (1ull << 32) | 8u, 1);
  EXPECT_EQ(selectionCalls, 0);
  sim.Config().pluginSelectNotifies = true;
  sim.Select(kPlugin, (1ull << 32) | 8u, 0);
  const ObjectId two = (2ull << 32) | 15u;
  sim.SelectMany(kPlugin, &two, 1, ViewerSim::kSelectManyAdd);
  EXPECT_EQ(selectionCalls, 2);
  EXPECT_TRUE(sim.UserSelect({two}));
  EXPECT_EQ(selectionCalls, 3);
}

TEST_F(ViewerSimCore, LoadIfcReplacesTheModelThenCallsTheLoadHandler) {
  const auto path = std::filesystem::temp_directory_path() / "viewer_sim_core_load.ifc";
  {
    std::ofstream out(path, std::ios::binary);
    out << "ISO-10303-21;HEADER;ENDSEC;DATA;\n#1=IFCWALL('HHHHHHHHHHHHHHHHHHHHHH',$);\n"
           "#2=IFCDOOR('IIIIIIIIIIIIIIIIIIIIII',$);\nENDSEC;END-ISO-10303-21;\n";
  }
  sim.SetModel(MakeSampleModel(9));
  sim.UserSelect({(1ull << 32) | 8u});
  sim.OnModelLoad(kPlugin, OnModelLoad);
  EXPECT_EQ(sim.LoadIfc(kPlugin, path.wstring().c_str()), kLoadResultJunk | 1u);
  EXPECT_EQ(modelLoadCalls, 1);
  EXPECT_EQ(objectsSeenOnLoad, 2u);
  EXPECT_TRUE(sim.Selection().empty());
  EXPECT_EQ(std::wstring(sim.GetLoadedIfcPath(kPlugin)), path.wstring());
  sim.Config().nullLoadedPath = true;
  EXPECT_EQ(sim.GetLoadedIfcPath(kPlugin), nullptr);

  sim.Config().refuseLoads = true;
  EXPECT_EQ(sim.LoadIfc(kPlugin, path.wstring().c_str()), kLoadResultJunk);
  sim.Config().refuseLoads = false;
  EXPECT_EQ(sim.LoadIfc(kPlugin, L"/no/such/file.ifc"), kLoadResultJunk);
  EXPECT_EQ(sim.LoadIfc(kPlugin, nullptr), kLoadResultJunk);
  EXPECT_EQ(modelLoadCalls, 1);
  EXPECT_EQ(sim.CurrentModel().objects.size(), 2u);

  EXPECT_TRUE(sim.LoadModel(path).ok());
  EXPECT_EQ(modelLoadCalls, 2);
  std::filesystem::remove(path);

  const auto loads = sim.Log().Calls("load_ifc");
  ASSERT_EQ(loads.size(), 4u);
  EXPECT_EQ(loads[0].result, "1 (2 objects)");
  EXPECT_EQ(loads[1].result, "0 (load refused)");
}

TEST_F(ViewerSimCore, LogKeepsOrderDecodesBytesAndResets) {
  sim.Invalidate(kPlugin);
  const std::uint8_t bytes[] = {0x00, 0xFF, 0x10};
  sim.SetViewState(kPlugin, 3, bytes, 3);
  sim.SetViewState(kPlugin, 3, nullptr, -1);
  sim.ItemCommand(kPlugin, L"view", nullptr);
  sim.RecordMessageBox({"Peer lost", "VidudUDE"});
  EXPECT_EQ(sim.Log().Names(), (std::vector<std::string>{"invalidate", "set_view_state", "set_view_state",
                                                         "item_command", "MessageBoxA"}));
  const auto states = sim.Log().Calls("set_view_state");
  EXPECT_EQ(states[0].Bytes("bytes"), (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
  EXPECT_TRUE(states[1].Bytes("bytes").empty());
  EXPECT_EQ(states[1].Number("size"), -1);
  EXPECT_THROW((void)states[0].TextArg("bytes"), std::out_of_range);
  EXPECT_THROW((void)states[0].Number("nothing"), std::out_of_range);
  EXPECT_EQ(sim.Log().Transcript()[1], "set_view_state(plugin=81, kind=3, bytes=<00ff10>, size=3)");
  EXPECT_EQ(sim.InvalidateCount(), 1);
  EXPECT_EQ(sim.MessageBoxes().at(0).caption, "VidudUDE");

  sim.CreateButton(kPlugin, 0, OnClick);
  sim.Config().refuseLoads = true;
  sim.Reset();
  EXPECT_TRUE(sim.Log().All().empty());
  EXPECT_TRUE(sim.Buttons().empty());
  EXPECT_FALSE(sim.Config().refuseLoads);
  EXPECT_EQ(sim.InvalidateCount(), 0);
  EXPECT_EQ(sim.CreateButton(kPlugin, 0, nullptr), 1);
}

}  // namespace
}  // namespace viewer_sim
