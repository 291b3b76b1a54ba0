// A misbehaving viewer, and failures inside the plug-in itself: the
// plug-in reports what it should, never lets a failure reach the viewer,
// and stays usable.
#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

namespace {

const std::wstring kLinesText = L"Aufma\u00DFzeilen erzeugen";

}  // namespace

class MisbehavingViewer : public PluginSession {
 protected:
  void SetUp() override {
    peer = &StartPeer("QUABO.EXE");
    LoadPlugin();
    NextMessageOfCode(*peer, 1);
  }
  // Loads the demo model with the viewer behaving, and checks that the
  // plug-in finds its elements again.
  void ExpectUsable() {
    sim.Config() = viewer_sim::SimConfig{};
    sim.LoadModel(DEMO_MODEL);
    ASSERT_EQ(SendCommand(*peer, "send 6 " + Guid(7)), 2001);
    EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{sim.CurrentModel().objects.at(7).id});
  }
  PeerProcess* peer = nullptr;
};

TEST_F(MisbehavingViewer, AbsurdObjectCountIsReportedWithTheCount) {
  sim.Config().countOverride = 0xFFFFFFFFu;
  sim.LoadModel(DEMO_MODEL);
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Fehler beim Aufbau der oGuidObjIDList\\nAnzahl: 4294967295");
  EXPECT_EQ(boxes[0].caption, "Object_ID <=> GUID");
  NextMessageOfCode(*peer, 4);  // the path goes out all the same
  ExpectUsable();
}

TEST_F(MisbehavingViewer, AbsurdSelectionCountIsReportedAndNothingIsSent) {
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(*peer, "send 1"), 2001);
  Settle(*peer);
  const std::size_t before = peer->Received().size();
  sim.Config().countOverride = 0xFFFFFFFFu;
  sim.UserSelect({sim.CurrentModel().objects.at(1).id});
  Settle(*peer);
  EXPECT_EQ(peer->Received().size(), before);
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Fehler beim Schreiben der GUID.QUABO");
  EXPECT_EQ(boxes[0].caption, "SELECTED");
  ExpectUsable();
}

TEST_F(MisbehavingViewer, FillCallsAnsweringMoreOrFewerThanAnnouncedStayInsideTheBuffers) {
  sim.Config().fillResultDelta = 1000;
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(*peer, "send 6 " + Guid(9)), 2001);
  EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{sim.CurrentModel().objects.at(9).id});

  sim.Config() = viewer_sim::SimConfig{};
  sim.Config().fillLimit = 1;
  sim.Config().fillResultDelta = -1;
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(*peer, "send 1"), 2001);
  sim.UserSelect({sim.CurrentModel().objects.at(2).id, sim.CurrentModel().objects.at(3).id});
  Settle(*peer);
  EXPECT_TRUE(sim.MessageBoxes().empty());
  ExpectUsable();
}

TEST_F(MisbehavingViewer, NullTextsReadAsEmpty) {
  sim.Config().nullValues = true;
  sim.Config().nullLoadedPath = true;
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(*peer, "send 1"), 2001);
  sim.UserSelect({sim.CurrentModel().objects.at(2).id});
  Settle(*peer);
  // No path and no GUIDs: nothing blank is sent.
  EXPECT_EQ(peer->Received().size(), 1u);
  EXPECT_TRUE(sim.MessageBoxes().empty());
  ExpectUsable();
}

TEST_F(MisbehavingViewer, RefusedLoadAnswers21) {
  sim.Config().refuseLoads = true;
  EXPECT_EQ(SendCommand(*peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 21);
  EXPECT_EQ(sim.Log().Count("item_command"), 0u);
  ExpectUsable();
}

class FailuresInside : public PluginSession {
 protected:
  void LoadFaultyPlugin() {
    plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(FAULTY_DLL));
    ASSERT_TRUE(plugin->Loaded());
    ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  }
};

TEST_F(FailuresInside, FailedStartLeavesADormantPluginAndAReport) {
  {
    InjectedFault fault("pid");
    LoadFaultyPlugin();
  }
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Plugin VidudUDE.DLL");
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_FALSE(sim.HasModelLoadHandler());
  EXPECT_TRUE(sim.Buttons().empty());
  EXPECT_TRUE(plugin->Unload());
  EXPECT_TRUE(plugin->Info().has_value());
}

TEST_F(FailuresInside, FailingCommandAnswersAndTheNextOneWorks) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadFaultyPlugin();
  NextMessageOfCode(peer, 1);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  {
    InjectedFault fault("post");
    EXPECT_EQ(SendCommand(peer, "send 2"), 2001);
  }
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  viewer_sim::PumpMessages(std::chrono::milliseconds(200));
  EXPECT_EQ(hostWindow.CloseRequests(), 0);
  {
    InjectedFault fault("wide");
    EXPECT_EQ(SendCommand(peer, "send 1"), 2001);
  }
  EXPECT_EQ(SendCommand(peer, "send 9 active"), 2001);
  EXPECT_TRUE(ButtonAt(1).enabled);
  EXPECT_EQ(SendCommand(peer, "send 1"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
}

TEST_F(FailuresInside, FailingHandlerReturnsToTheViewer) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadFaultyPlugin();
  NextMessageOfCode(peer, 1);
  ASSERT_EQ(SendCommand(peer, "send 6 g1"), 2001);
  ASSERT_EQ(SendCommand(peer, "send 9 active"), 2001);
  {
    InjectedFault fault("walk");
    EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
    EXPECT_TRUE(sim.FireModelLoad());
  }
  Settle(peer);
  EXPECT_EQ(peer.Received().size(), 1u);
  EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
  const auto lines = NextMessageOfCode(peer, 9);
  // A model has loaded since "g1": the press sends what is selected now.
  EXPECT_EQ(lines.bytes, Payload("0"));
}

// A fault of the plug-in's own code, raised as a structured exception in the
// start, the lines button's rebuild of the list and the goodbye, ends that
// frame with its own failure handling and never reaches the viewer.
TEST_F(FailuresInside, RaisedFaultEndsItsOwnFrameOnly) {
  auto& peer = StartPeer("QUABO.EXE");
  {
    InjectedFault fault("raise:pid");
    LoadFaultyPlugin();
  }
  ASSERT_EQ(sim.MessageBoxes().size(), 1u);
  EXPECT_EQ(sim.MessageBoxes()[0].caption, "Plugin VidudUDE.DLL");
  EXPECT_TRUE(PluginWindows().empty());
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  NextMessageOfCode(peer, 1);

  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(peer, 4);
  ASSERT_EQ(SendCommand(peer, "send 9 active"), 2001);
  sim.UserSelect({Id(2)});
  {
    InjectedFault fault("raise:wide");
    EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
  }
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].caption, "SELECTED");
  EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
  const auto lines = NextMessageOfCode(peer, 9);
  EXPECT_EQ(lines.bytes, Payload(Guid(2)));

  {
    InjectedFault fault("raise:walk");
    UnloadPlugin();
  }
  EXPECT_TRUE(PluginWindows().empty());
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
}
