// The link both ways under Wine: a real peer connects, sends commands, and
// receives the viewer's selections; the viewer's calls show the effects.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

namespace {

using viewer_sim::Call;
using viewer_sim::ObjectId;

const std::wstring kLinesText = L"Aufma\u00DFzeilen erzeugen";

std::string Narrow(const std::wstring& wide) { return viewer_sim::ToUtf8(wide); }

}  // namespace

class PluginLink : public PluginSession {
 protected:
  void SetUp() override {
    peer = &StartPeer("QUABO.EXE", {"--reply", "7"});
    LoadPlugin();
    NextMessageOfCode(*peer, 1);
    sim.Log().Clear();
  }
  void LoadDemoModel() {
    ASSERT_EQ(SendCommand(*peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 2001);
    const auto path = NextMessageOfCode(*peer, 4);
    ASSERT_EQ(path.bytes, Payload(WinePathA(DEMO_MODEL)));
    sim.Log().Clear();
  }
  // The GUID of each object of the loaded model, in model order.
  std::vector<std::pair<ObjectId, std::string>> ModelGuids() const {
    std::vector<std::pair<ObjectId, std::string>> guids;
    for (const auto& o : sim.CurrentModel().objects) {
      for (const auto& p : o.properties) {
        if (p.name == L"Guid" && p.value) guids.emplace_back(o.id, Narrow(*p.value));
      }
    }
    return guids;
  }
  // The objects the plug-in added to the selection, in call order, after
  // checking that it cleared the selection first and redrew last.
  std::vector<ObjectId> PluginSelection() const {
    const auto names = sim.Log().Names();
    EXPECT_GE(names.size(), 3u);
    EXPECT_EQ(names.front(), "get_all_objects_id");
    EXPECT_EQ(names.back(), "invalidate");
    std::vector<ObjectId> ids;
    for (const auto& c : sim.Log().Calls("select_many")) {
      EXPECT_EQ(c.Number("count"), 1);
      EXPECT_EQ(c.Number("mode"), 2);
      const auto& chunk = c.Ids("objects");
      ids.insert(ids.end(), chunk.begin(), chunk.end());
    }
    return ids;
  }
  PeerProcess* peer = nullptr;
};

TEST_F(PluginLink, ConnectShowsActiveAndTargetsOnlyThatPeer) {
  auto& other = StartPeer("QUABO_BIMPROJECT.EXE");
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  EXPECT_EQ(ButtonAt(0).hint, L"Das Quabo Plugin ist aktiv");
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(*peer, 4);
  Settle(other);
  EXPECT_TRUE(other.Received().empty());
}

TEST_F(PluginLink, SecondConnectAddsItsWindowBesideTheFirst) {
  auto& other = StartPeer("QUABO_BIMPROJECT.EXE");
  // The newcomer learns the plug-in's window from the start message the
  // first peer received.
  char hex[32];
  std::snprintf(hex, sizeof(hex), "%lx", static_cast<unsigned long>(ParseRecv(peer->Received().at(0)).from));
  other.Command(std::string("target ") + hex);
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  EXPECT_EQ(SendCommand(other, "send 1"), 2001);
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(other, 4);
  NextMessageOfCode(*peer, 4);
}

TEST_F(PluginLink, ConnectWithoutWindowKeepsDiscovery) {
  peer->Command("close");  // its sends now carry no window
  auto& other = StartPeer("QUABO.EXE");
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(other, 4);
}

TEST_F(PluginLink, ConnectedPeerThatExitedEndsTheLinkAndItsSuccessorIsFound) {
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  peer->Command("quit");
  ASSERT_TRUE(peer->WaitForExit(kPeerWaitMs));
  sim.LoadModel(DEMO_MODEL);
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  viewer_sim::PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(hostWindow.CloseRequests(), 0);
  auto& restarted = StartPeer("QUABO.EXE");
  ASSERT_TRUE(sim.FireModelLoad());
  NextMessageOfCode(restarted, 4);
}

// Ended from outside while connected, as from the task manager: the viewer
// only runs its message loop, and the buttons follow within seconds, with
// no message to the other peer and no box.
TEST_F(PluginLink, ConnectedPeerTerminatedEndsTheLinkWhileTheViewerIdles) {
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  EXPECT_EQ(SendCommand(*peer, "send 9 active"), 2001);
  ASSERT_TRUE(ButtonAt(1).enabled);
  auto& other = StartPeer("QUABO_BIMPROJECT.EXE");
  sim.Log().Clear();
  {
    const std::unique_ptr<void, decltype(&CloseHandle)> process(OpenProcess(PROCESS_TERMINATE, FALSE, peer->Pid()),
                                                                &CloseHandle);
    ASSERT_TRUE(process && TerminateProcess(process.get(), 1));
  }
  ASSERT_TRUE(peer->WaitForExit(10000));
  EXPECT_TRUE(viewer_sim::PumpUntil([&] { return ButtonAt(0).text == L"Inaktiv"; }, std::chrono::seconds(60)));
  EXPECT_EQ(Narrow(ButtonAt(0).hint).rfind("Das Quabo Plugin ist inaktiv.", 0), 0u);
  EXPECT_FALSE(ButtonAt(1).enabled);
  EXPECT_EQ(sim.Log().Names(), (std::vector<std::string>{"set_button_text", "enable_button"}));
  EXPECT_TRUE(sim.MessageBoxes().empty());
  EXPECT_EQ(hostWindow.CloseRequests(), 0);
  Settle(other);
  EXPECT_TRUE(other.Received().empty());
}

// A peer that restarts while the viewer keeps its model finds the plug-in's
// window, connects and asks for the path: no model is loaded again.
TEST_F(PluginLink, RestartedPeerGetsTheModelPathWithoutAReload) {
  EXPECT_EQ(SendCommand(*peer, "send 1"), 2001);
  LoadDemoModel();
  peer->Command("quit");
  ASSERT_TRUE(peer->WaitForExit(10000));
  auto& restarted = StartPeer("QUABO_RESTARTED.EXE");
  ASSERT_FALSE(restarted.Command("target find " + std::to_string(GetCurrentProcessId())).empty());
  EXPECT_EQ(SendCommand(restarted, "send 1"), 2001);
  EXPECT_EQ(SendCommand(restarted, "send 10"), 2001);
  const auto path = NextMessageOfCode(restarted, 4);
  EXPECT_EQ(path.bytes, Payload(WinePathA(DEMO_MODEL)));
  const auto calls = sim.Log().Names();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "load_ifc"), 0);
}

TEST_F(PluginLink, DisconnectClosesTheViewerAfterTheReply) {
  SendCommand(*peer, "send 1");
  EXPECT_EQ(SendCommand(*peer, "send 2"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  // Posted, not sent: it arrives once this thread pumps its queue.
  EXPECT_TRUE(viewer_sim::PumpUntil([&] { return hostWindow.CloseRequests() == 1; }, std::chrono::seconds(60)));
  UnloadPlugin();
  EXPECT_EQ(NextMessage(*peer).bytes, Payload("BIM end"));
}

TEST_F(PluginLink, LoadCommandTrimsThePathAndAnswersByOutcome) {
  EXPECT_EQ(SendCommand(*peer, "send 5   " + Escaped(WinePathA(DEMO_MODEL)) + "\\r\\n"), 2001);
  const auto names = sim.Log().Names();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names.front(), "load_ifc");
  EXPECT_EQ(sim.Log().Calls("load_ifc").at(0).TextArg("path"), WinePathA(DEMO_MODEL));
  // The viewer reports the load to the plug-in (index, path) before load_ifc
  // returns; then the plug-in redraws and presses the alpha button.
  EXPECT_EQ(names[names.size() - 2], "invalidate");
  EXPECT_EQ(names.back(), "item_command");
  EXPECT_EQ(sim.Log().Calls("item_command").at(0).TextArg("item"), "btn_alpha_full");
  EXPECT_EQ(sim.Log().Calls("item_command").at(0).TextArg("command"), "click");
  EXPECT_EQ(NextMessageOfCode(*peer, 4).bytes, Payload(WinePathA(DEMO_MODEL)));

  sim.Log().Clear();
  EXPECT_EQ(SendCommand(*peer, "send 5  \\r\\n"), 2001);
  EXPECT_EQ(SendCommand(*peer, "send 5"), 2001);
  EXPECT_TRUE(sim.Log().All().empty());
  EXPECT_EQ(SendCommand(*peer, "send 5 Z:\\\\no\\\\such\\\\model.ifc"), 21);
  EXPECT_EQ(sim.Log().Names(), std::vector<std::string>{"load_ifc"});
}

TEST_F(PluginLink, SelectCommandFindsGuidsByExactLines) {
  LoadDemoModel();
  const auto guids = ModelGuids();
  ASSERT_GE(guids.size(), 20u);
  const auto& [wall, wallGuid] = guids[5];
  const auto& [door, doorGuid] = guids[10];
  std::string lower = wallGuid;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  EXPECT_EQ(
      SendCommand(*peer, "send 6 unknown\\r\\n" + wallGuid + "\\r\\n\\r\\n\\r\\n" + doorGuid + "\\r\\n" + wallGuid),
      2001);
  EXPECT_EQ(PluginSelection(), (std::vector<ObjectId>{wall, door, wall}));

  sim.Log().Clear();
  SendCommand(*peer, "send 6 " + lower + "\\r\\n " + wallGuid + "\\r\\n" + wallGuid + "\\n" + doorGuid);
  EXPECT_TRUE(PluginSelection().empty());

  sim.Log().Clear();
  SendCommand(*peer, "send 6 \\r\\n" + wallGuid);
  EXPECT_TRUE(PluginSelection().empty());

  sim.Log().Clear();
  SendCommand(*peer, "send 6 0");
  EXPECT_EQ(sim.Log().Names(), (std::vector<std::string>{"get_all_objects_id", "select", "invalidate"}));
  EXPECT_TRUE(sim.Selection().empty());
}

TEST_F(PluginLink, ViewStateBytesReachTheViewer) {
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases{
      {"0a1B", {0x0A, 0x1B}}, {"abcde", {0x0A, 0x1B}}, {"G55G", {0xF5, 0x4F}}, {"", {}}};
  for (const auto& [text, bytes] : cases) {
    sim.Log().Clear();
    EXPECT_EQ(SendCommand(*peer, "send 8 " + text), 2001);
    EXPECT_EQ(sim.Log().Names(), (std::vector<std::string>{"set_view_state", "invalidate"})) << text;
    const auto call = sim.Log().Calls("set_view_state").at(0);
    EXPECT_EQ(call.Bytes("bytes"), bytes) << text;
    EXPECT_EQ(call.Number("size"), static_cast<std::int64_t>(bytes.size()));
  }
}

TEST_F(PluginLink, LinesButtonFollowsTheWordActive) {
  const std::vector<std::pair<std::string, bool>> cases{{"active", true},        {"Active", false}, {"active", true},
                                                        {"active\\r\\n", false}, {"active", true},  {"", false}};
  for (const auto& [text, enabled] : cases) {
    EXPECT_EQ(SendCommand(*peer, "send 9 " + text), 2001);
    EXPECT_EQ(ButtonAt(1).enabled, enabled) << text;
  }
}

TEST_F(PluginLink, UnknownCodesAndOddPayloadsAreAnsweredSafely) {
  EXPECT_EQ(SendCommand(*peer, "send 3 active"), 2000);
  EXPECT_EQ(SendCommand(*peer, "send 7 x"), 2001);
  EXPECT_TRUE(sim.Log().All().empty());
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  // "active" NUL "x": only the bytes before the NUL count.
  EXPECT_EQ(SendCommand(*peer, "sendraw 9 61637469766500780"
                               "0"),
            2001);
  EXPECT_TRUE(ButtonAt(1).enabled);
  // "active" with no NUL at all: read up to the declared size.
  EXPECT_EQ(SendCommand(*peer, "sendraw 9 616374697665"), 2001);
  EXPECT_TRUE(ButtonAt(1).enabled);
  EXPECT_EQ(SendCommand(*peer, "sendnull 9 8"), 2001);
  EXPECT_FALSE(ButtonAt(1).enabled);
  EXPECT_EQ(SendCommand(*peer, "sendraw 9 "), 2001);
}

TEST_F(PluginLink, SelectionChangesReachTheConnectedPeerAndTheLinesButtonResends) {
  LoadDemoModel();
  const auto guids = ModelGuids();
  sim.UserSelect({guids[0].first, guids[3].first});
  Settle(*peer);
  EXPECT_EQ(peer->Received().size(), 2u);  // start and model path: not connected yet

  SendCommand(*peer, "send 1");
  sim.UserSelect({guids[0].first, guids[3].first});
  const auto selection = NextMessageOfCode(*peer, 6);
  EXPECT_EQ(selection.bytes, Payload(guids[0].second + "\r\n" + guids[3].second));

  // Every selection change is sent, in the order the user made them.
  sim.UserSelect({});
  EXPECT_EQ(NextMessage(*peer).bytes, Payload("0"));
  sim.UserSelect({guids[7].first});
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[7].second));

  SendCommand(*peer, "send 9 active");
  ASSERT_TRUE(sim.Click(ButtonId(kLinesText)));
  const auto lines = NextMessageOfCode(*peer, 9);
  EXPECT_EQ(lines.bytes, Payload(guids[7].second));
  const auto created = peer->WaitLine("line 1 ");
  ASSERT_TRUE(created.has_value());
  EXPECT_NE(created->find(guids[7].second), std::string::npos);
}

TEST_F(PluginLink, CommandNestedInTheStartOfASendIsCarriedOut) {
  LoadDemoModel();
  const auto guids = ModelGuids();
  SendCommand(*peer, "send 1");
  // While the plug-in waits for the reply to its selection message, the peer
  // selects something else and enables the lines button.
  peer->Command("on 6 send 6 " + guids[2].second);
  sim.UserSelect({guids[1].first});
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[1].second));
  Settle(*peer);
  EXPECT_EQ(sim.Selection(), std::vector<ObjectId>{guids[2].first});
  peer->Command("on 6 off");
  SendCommand(*peer, "send 9 active");
  sim.Click(ButtonId(kLinesText));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[2].second));
}

TEST_F(PluginLink, ViewerThatReportsPluginSelectionsGetsThemSentBack) {
  sim.Config().pluginSelectNotifies = true;
  LoadDemoModel();
  const auto guids = ModelGuids();
  SendCommand(*peer, "send 1");
  SendCommand(*peer, "send 6 " + guids[4].second + "\\r\\n" + guids[6].second);
  // Clearing, then each added object, is reported back as it happens: the
  // order of the messages is the point.
  const auto cleared = NextMessageOfCode(*peer, 6);
  EXPECT_EQ(cleared.bytes, Payload("0"));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[4].second));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[4].second + "\r\n" + guids[6].second));
  SendCommand(*peer, "send 9 active");
  sim.Click(ButtonId(kLinesText));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[4].second + "\r\n" + guids[6].second));
}

TEST_F(PluginLink, ConnectNamingThePluginsOwnWindowKeepsSendingToThePeers) {
  sim.Config().pluginSelectNotifies = true;
  LoadDemoModel();
  const auto guids = ModelGuids();
  const HWND own = PluginWindow();
  EXPECT_EQ(SendFromThread(own, 1, std::string(1, '\0'), reinterpret_cast<std::uintptr_t>(own)), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  // Each step of the plug-in's own selection that the viewer reports goes to
  // the peer, not back into the plug-in as a command, in the order it happens.
  SendCommand(*peer, "send 6 " + guids[4].second + "\\r\\n" + guids[6].second);
  EXPECT_EQ(sim.Selection(), (std::vector<ObjectId>{guids[4].first, guids[6].first}));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload("0"));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[4].second));
  EXPECT_EQ(NextMessage(*peer).bytes, Payload(guids[4].second + "\r\n" + guids[6].second));
}

TEST_F(PluginLink, ConnectNamingEveryWindowKeepsSendingToThePeersAlone) {
  // Named so that discovery never finds it: only a broadcast would reach it.
  auto& decoy = StartPeer("DECOY.EXE");
  EXPECT_EQ(SendFromThread(PluginWindow(), 1, std::string(1, '\0'), 0xFFFF), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(*peer, 4);
  Settle(decoy);
  EXPECT_TRUE(decoy.Received().empty());
}

TEST_F(PluginLink, RealModelSelectsHundredsOfElementsByGuid) {
  const std::filesystem::path sample = std::filesystem::path(IFC_SAMPLES_DIR) / "duplex-a-20110907-optimized.ifc";
  if (!std::filesystem::exists(sample))
    GTEST_SKIP() << "the shared IFC samples are not beside the checkout: no " << sample.string();
  ASSERT_EQ(SendCommand(*peer, "send 5 " + Escaped(WinePathA(sample.string()))), 2001);
  NextMessageOfCode(*peer, 4);
  const auto guids = ModelGuids();
  ASSERT_EQ(guids.size(), 295u);
  std::string list;
  std::vector<ObjectId> expected;
  for (std::size_t i = 0; i < guids.size(); i += 2) {
    if (!list.empty()) list += "\\r\\n";
    list += guids[i].second;
    expected.push_back(guids[i].first);
  }
  ASSERT_EQ(expected.size(), 148u);
  sim.Log().Clear();
  EXPECT_EQ(SendCommand(*peer, "send 6 " + list), 2001);
  EXPECT_EQ(PluginSelection(), expected);
}

TEST_F(PluginSession, PeerStartedAfterTheViewerFindsItsWindowByClassAndProcess) {
  LoadPlugin();
  // Another viewer's plug-in window, newer on the desktop than this one's.
  auto& otherViewer = StartPeer("BIMVISION.EXE", {"--class", "VidudUDE.MessageWindow"});
  // Named so that discovery never finds it: only its connect makes it a target.
  auto& late = StartPeer("QUABO_LATE.EXE");
  const auto found = late.Command("target find " + std::to_string(GetCurrentProcessId()));
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(SendCommand(late, "send 1"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  sim.LoadModel(DEMO_MODEL);
  const auto path = NextMessageOfCode(late, 4);
  EXPECT_EQ(found.front(), "found hwnd=" + Hex(reinterpret_cast<HWND>(path.from)));
  Settle(otherViewer);
  EXPECT_TRUE(otherViewer.Received().empty());
}
