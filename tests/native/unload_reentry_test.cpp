// The viewer stopping the plug-in while plug-in code is still on the stack:
// inside an error box's modal loop, or while a send waits. The goodbye goes
// out once, everything after it does nothing, and the controller lives until
// the outermost frame returns (AddressSanitizer sees every use after).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes.h"
#include "plugin/controller_holder.h"

namespace {

constexpr fakes::WindowHandle kHost = 0x500;
constexpr fakes::WindowHandle kPeer = 0x901;
constexpr std::int32_t kPluginHandle = 77;

plugin::ControllerHolder& Holder() {
  static plugin::ControllerHolder holder;
  return holder;
}

void SelectionChanged() {
  Holder().Run([](bridge::btBIMQuabo& c) { c.SendSelection(); });
}
void ModelLoaded() {
  Holder().Run([](bridge::btBIMQuabo& c) { c.OnModelLoaded(); });
}
void Nothing() {}

const plugin::Handlers kHandlers = [] {
  auto handlers = plugin::Handlers::Every(Nothing);
  handlers.selectionChanged = SelectionChanged;
  handlers.modelLoaded = ModelLoaded;
  return handlers;
}();

class UnloadWhileRunning : public ::testing::Test {
 protected:
  UnloadWhileRunning() {
    system.processes = {{11, "QUABO.EXE"}};
    system.windows = {{kHost, 4242, "TViewerMain"}, {kPeer, 11, "TMainForm"}};
    viewer.AddObject(0x10, {L"g1"});
    viewer.AddObject(0x20, {L"g2"});
    Holder().Start(system, viewer, kPluginHandle, kHost, kHandlers);
  }
  ~UnloadWhileRunning() override {
    system.whileBoxShown = nullptr;
    system.duringSend = nullptr;
    Holder().Stop();
  }
  std::size_t Goodbyes() const { return system.SentWithCode(2).size(); }

  fakes::FakePlatform system;
  fakes::FakeViewer viewer;
};

TEST_F(UnloadWhileRunning, InsideABoxStopsAtOnceAndEndsWithTheHandler) {
  ASSERT_EQ(system.DeliverText(kPeer, 1, ""), 2001);
  viewer.selection = {0x20};
  viewer.failFilterOn = 0x20;
  std::size_t callsAfterStop = 0;
  system.whileBoxShown = [&] {
    Holder().Stop();
    Holder().Stop();
    EXPECT_EQ(Holder().Running(), nullptr);
    EXPECT_TRUE(system.messageWindowAlive);
    EXPECT_EQ(system.DeliverText(kPeer, 9, "active"), 2000);
    callsAfterStop = viewer.calls.size();
    SelectionChanged();
    EXPECT_EQ(viewer.calls.size(), callsAfterStop);
  };
  SelectionChanged();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0].second, "SELECTED");
  EXPECT_EQ(Goodbyes(), 1u);
  EXPECT_EQ(system.SentWithCode(6).size(), 0u);
  EXPECT_EQ(viewer.calls.size(), callsAfterStop);
  EXPECT_FALSE(system.messageWindowAlive);
  // The viewer may free the library once the stop returns: it stays.
  EXPECT_GT(system.keptLoaded, 0);

  system.whileBoxShown = nullptr;
  Holder().Start(system, viewer, kPluginHandle + 1, kHost, kHandlers);
  ASSERT_NE(Holder().Running(), nullptr);
  EXPECT_EQ(system.SentWithCode(1).size(), 2u);
  EXPECT_EQ(system.DeliverText(kPeer, 1, ""), 2001);
}

// A second load behind the index's box: the controller whose handler shows
// it is stopped, not destroyed under it, and the new one takes over.
TEST_F(UnloadWhileRunning, SecondLoadInsideABoxReplacesTheControllerOnlyAfterItsHandler) {
  viewer.failFilterOn = 0x10;
  viewer.loadedPath = L"C:\\m.ifc";
  std::size_t callsAtStart = 0;
  system.whileBoxShown = [&] {
    Holder().Start(system, viewer, kPluginHandle + 1, kHost, kHandlers);
    callsAtStart = viewer.calls.size();
  };
  ModelLoaded();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(viewer.calls.size(), callsAtStart);
  EXPECT_EQ(system.SentWithCode(4).size(), 0u);
  EXPECT_EQ(Goodbyes(), 0u);
  ASSERT_NE(Holder().Running(), nullptr);
  EXPECT_EQ(Holder().Running()->PluginId(), kPluginHandle + 1);
}

// The index's box comes before the model path: after a stop behind it the
// handler neither asks the viewer for the path nor sends it.
TEST_F(UnloadWhileRunning, InsideABoxTheRunningHandlerCallsTheViewerAndSendsNoMore) {
  viewer.failFilterOn = 0x10;
  viewer.loadedPath = L"C:\\m.ifc";
  std::size_t callsAtStop = 0;
  system.whileBoxShown = [&] {
    Holder().Stop();
    callsAtStop = viewer.calls.size();
  };
  ModelLoaded();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(viewer.calls.size(), callsAtStop);
  EXPECT_EQ(system.SentWithCode(4).size(), 0u);
  EXPECT_EQ(Goodbyes(), 1u);
}

TEST_F(UnloadWhileRunning, DuringASendToOnePeerTheOthersGetOnlyTheGoodbye) {
  system.processes.push_back({12, "QUABO.EXE"});
  system.windows.push_back({0x902, 12, "TMainForm"});
  system.duringSend = [&](const fakes::Sent& sent) {
    if (sent.code == 4 && sent.target == kPeer) Holder().Stop();
  };
  viewer.loadedPath = L"C:\\m.ifc";
  ModelLoaded();
  ASSERT_EQ(system.SentWithCode(4).size(), 1u);
  EXPECT_EQ(Goodbyes(), 2u);
}

TEST_F(UnloadWhileRunning, NestedInASendEndsWhenTheOutermostFrameReturns) {
  system.duringSend = [&](const fakes::Sent& sent) {
    if (sent.code != 4) return;
    // A command nested in the send, then the viewer's stop, then another.
    EXPECT_EQ(system.DeliverText(kPeer, 6, "g1"), 2001);
    Holder().Stop();
    EXPECT_EQ(system.DeliverText(kPeer, 6, "g2"), 2000);
  };
  viewer.loadedPath = L"C:\\m.ifc";
  ModelLoaded();
  EXPECT_EQ(viewer.selection, std::vector<fakes::ObjectId>{0x10});
  EXPECT_EQ(Goodbyes(), 1u);
  EXPECT_FALSE(system.messageWindowAlive);
  EXPECT_EQ(Holder().Running(), nullptr);
}

// The viewer is stopping the plug-in: a connected window found gone then
// does not end the link with a call to the viewer.
TEST_F(UnloadWhileRunning, ConnectedPeerGoneAtTheGoodbyeMakesNoViewerCall) {
  ASSERT_EQ(system.DeliverText(kPeer, 1, ""), 2001);
  system.goneWindows.insert(kPeer);
  const std::size_t callsBefore = viewer.calls.size();
  Holder().Stop();
  EXPECT_EQ(viewer.calls.size(), callsBefore);
  // No plug-in code ran around that stop: the library may go.
  EXPECT_EQ(system.keptLoaded, 0);
}

TEST_F(UnloadWhileRunning, ConnectedPeerGoneAfterANestedStopMakesNoViewerCall) {
  ASSERT_EQ(system.DeliverText(kPeer, 1, ""), 2001);
  std::size_t callsAtStop = 0;
  system.duringSend = [&](const fakes::Sent& sent) {
    if (sent.code != 4) return;
    Holder().Stop();
    callsAtStop = viewer.calls.size();
    system.goneWindows.insert(kPeer);
  };
  viewer.loadedPath = L"C:\\m.ifc";
  ModelLoaded();
  EXPECT_EQ(Goodbyes(), 1u);
  EXPECT_EQ(viewer.calls.size(), callsAtStop);
}

TEST_F(UnloadWhileRunning, StopNestedInTheGoodbyeSendsNoSecondOne) {
  system.duringSend = [&](const fakes::Sent& sent) {
    if (sent.code == 2) Holder().Stop();
  };
  Holder().Stop();
  EXPECT_EQ(Goodbyes(), 1u);
  EXPECT_FALSE(system.messageWindowAlive);
  EXPECT_EQ(system.keptLoaded, 1);
}

// The viewer stops the plug-in from inside one of its functions: that call
// is the last one the plug-in makes, whatever it was doing and whatever the
// peer sends after.
class StopInsideAViewerFunction : public testing::TestWithParam<std::string> {};

TEST_P(StopInsideAViewerFunction, NoViewerCallFollows) {
  fakes::FakePlatform system;
  system.processes = {{11, "QUABO.EXE"}};
  system.windows = {{kHost, 4242, "TViewerMain"}, {kPeer, 11, "TMainForm"}};
  fakes::FakeViewer viewer;
  viewer.AddObject(0x10, {L"g1"});
  viewer.loadedPath = L"C:\\m.ifc";
  std::optional<std::size_t> callsAtStop;
  viewer.insideCall = [&](const std::string& name) {
    if (callsAtStop || name != GetParam()) return;
    Holder().Stop();
    callsAtStop = viewer.calls.size();
  };
  // A command to a window that has gone reaches nothing.
  const auto command = [&](std::uintptr_t code, const std::string& text) {
    if (system.procedure != nullptr) system.DeliverText(kPeer, code, text);
  };
  Holder().Start(system, viewer, kPluginHandle, kHost, kHandlers);
  command(1, "");
  ModelLoaded();
  viewer.selection = {0x10};
  SelectionChanged();
  command(9, "active");
  command(6, "g1");
  command(8, "0A0B");
  command(5, "C:\\n.ifc");
  Holder().Stop();
  ASSERT_TRUE(callsAtStop.has_value()) << "never called";
  EXPECT_EQ(viewer.calls.size(), *callsAtStop);
}

INSTANTIATE_TEST_SUITE_P(Functions, StopInsideAViewerFunction,
                         testing::Values("on_selection_change", "create_button", "set_button_text", "set_button_image",
                                         "enable_button", "get_all_objects", "filter_properties", "get_loaded_ifc_path",
                                         "get_selected", "select", "select_many", "set_view_state", "load_ifc"));

}  // namespace
