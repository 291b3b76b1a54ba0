// Structured exceptions raised inside the viewer's own functions: a language
// exception of the viewer's runtime and a real access violation. The
// viewer's frames are unwound, the plug-in handles the fault like any other
// failure, nothing reaches the viewer's own frames around the plug-in (the
// session checks that), and the next operation works.
#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

namespace {

using viewer_sim::FaultKind;

const std::wstring kLinesText = L"Aufma\u00DFzeilen erzeugen";

}  // namespace

class FaultingViewer : public PluginSession, public ::testing::WithParamInterface<FaultKind> {
 protected:
  void SetUp() override {
    peer = &StartPeer("QUABO.EXE");
    LoadPlugin();
    NextMessageOfCode(*peer, 1);
    sim.LoadModel(DEMO_MODEL);
    NextMessageOfCode(*peer, 4);
  }
  void Arm(const char* function, int onCall) { sim.ArmFault(function, onCall, GetParam()); }
  // The viewer's own frame inside the failing function was unwound once.
  void ExpectViewerUnwound(const std::string& function) {
    const auto unwound = sim.Log().Calls("viewer_unwound");
    ASSERT_EQ(unwound.size(), 1u);
    EXPECT_EQ(unwound[0].TextArg("function"), function);
  }
  PeerProcess* peer = nullptr;
};

TEST_P(FaultingViewer, ModelLoadReportsSendsThePathAndTheNextLoadBuildsTheIndex) {
  Arm("filter_properties", 5);
  sim.LoadModel(DEMO_MODEL);
  ExpectViewerUnwound("filter_properties");
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Object_ID <=> GUID");
  EXPECT_EQ(boxes[0].text,
            "Fehler beim Aufbau der oGuidObjIDList\\nAnzahl: " + std::to_string(sim.CurrentModel().objects.size()));
  NextMessageOfCode(*peer, 4);

  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(*peer, 4);
  ASSERT_EQ(SendCommand(*peer, "send 6 " + Guid(7)), 2001);
  EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{Id(7)});
  EXPECT_EQ(sim.MessageBoxes().size(), 1u);
}

TEST_P(FaultingViewer, SelectionChangeReportsAndTheNextOneIsSent) {
  ASSERT_EQ(SendCommand(*peer, "send 1"), 2001);
  Arm("filter_properties", 1);
  sim.UserSelect({Id(2)});
  ExpectViewerUnwound("filter_properties");
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "SELECTED");
  EXPECT_EQ(boxes[0].text, "Fehler beim Schreiben der GUID.QUABO");

  sim.UserSelect({Id(3)});
  const auto sent = NextMessageOfCode(*peer, 6);
  EXPECT_EQ(sent.bytes, Payload(Guid(3)));
}

TEST_P(FaultingViewer, ViewStateCommandAnswersAndReports) {
  Arm("set_view_state", 1);
  EXPECT_EQ(SendCommand(*peer, "send 8 0A1B"), 2001);
  ExpectViewerUnwound("set_view_state");
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Plugin VidudUDE.DLL");
  EXPECT_EQ(boxes[0].text, "Achtung hier liegt ein Fehler vor.");
  EXPECT_EQ(sim.Log().Count("invalidate"), 0u);
  // The decoded bytes stay and an odd text applies them again.
  EXPECT_EQ(SendCommand(*peer, "send 8 0"), 2001);
  EXPECT_EQ(sim.Log().Calls("set_view_state").back().Bytes("bytes"), (std::vector<std::uint8_t>{0x0A, 0x1B}));
}

TEST_P(FaultingViewer, SelectCommandAnswersSilentlyAndForgetsTheList) {
  Arm("select_many", 1);
  EXPECT_EQ(SendCommand(*peer, "send 6 " + Guid(4)), 2001);
  ExpectViewerUnwound("select_many");
  EXPECT_TRUE(sim.MessageBoxes().empty());
  ASSERT_EQ(SendCommand(*peer, "send 9 active"), 2001);
  EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
  Settle(*peer);
  EXPECT_EQ(peer->Received().size(), 2u);
}

TEST_P(FaultingViewer, LoadCommandAnswersAndTheViewerGoesOn) {
  Arm("load_ifc", 1);
  EXPECT_EQ(SendCommand(*peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 2001);
  ExpectViewerUnwound("load_ifc");
  EXPECT_TRUE(sim.MessageBoxes().empty());
  EXPECT_EQ(sim.Log().Count("invalidate"), 0u);
  EXPECT_EQ(SendCommand(*peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 2001);
  NextMessageOfCode(*peer, 4);
}

// A path that could not be read is no path: nothing goes out, the answer
// says so, and the next request sends it.
TEST_P(FaultingViewer, ModelPathCommandWithAFailedReadAnswers21AndSendsNothing) {
  Arm("get_loaded_ifc_path", 1);
  const auto received = peer->Received().size();
  EXPECT_EQ(SendCommand(*peer, "send 10"), 21);
  ExpectViewerUnwound("get_loaded_ifc_path");
  EXPECT_TRUE(sim.MessageBoxes().empty());
  EXPECT_EQ(peer->Received().size(), received);
  EXPECT_EQ(SendCommand(*peer, "send 10"), 2001);
  const auto sent = NextMessageOfCode(*peer, 4);
  EXPECT_EQ(sent.bytes, Payload(DEMO_MODEL));
}

TEST_P(FaultingViewer, FailedStartStaysInsideThePluginAndALaterStartWorks) {
  UnloadPlugin();
  NextMessageOfCode(*peer, 2);
  const auto received = peer->Received().size();
  Arm("create_button", 2);
  plugin->Load(kPluginHandle, 0, hostWindow.Handle());
  ExpectViewerUnwound("create_button");
  EXPECT_EQ(sim.MessageBoxes().size(), 1u);
  EXPECT_EQ(PluginWindow(), nullptr);
  UnloadPlugin();
  // Neither the failed start nor the unload after it said anything.
  Settle(*peer);
  EXPECT_EQ(peer->Received().size(), received);
  LoadPlugin();
  NextMessageOfCode(*peer, 1);
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(*peer, 4);
  EXPECT_EQ(SendCommand(*peer, "send 6 " + Guid(5)), 2001);
  EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{Id(5)});
}

INSTANTIATE_TEST_SUITE_P(Raised, FaultingViewer,
                         ::testing::Values(FaultKind::ForeignException, FaultKind::AccessViolation),
                         [](const auto& param) {
                           return param.param == FaultKind::ForeignException ? "ForeignException" : "AccessViolation";
                         });
