// The peer's commands as the hidden window receives them: replies, order of
// effects, and what reaches the viewer.
#include "controller_fixture.h"
#include "tests/unknown_codes.h"

#include <stdexcept>

class Commands : public StartedPlugin {
 protected:
  void SetUp() override {
    AddTwoPeers();
    Start();
    system.sent.clear();
    viewer.calls.clear();
  }
};

TEST_F(Commands, ConnectShowsActiveAndRemembersTheSender) {
  EXPECT_EQ(Command(kCommandConnect, "ignored", kPeerB), 2001);
  EXPECT_TRUE(Controller().Active());
  EXPECT_EQ(Controller().ConnectedPeer(), kPeerB);
  const auto texts = viewer.Calls("set_button_text");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].numbers.at(1), Controller().StatusButton());
  EXPECT_EQ(texts[0].texts, (std::vector<std::string>{"Aktiv", "Das Quabo Plugin ist aktiv"}));
  EXPECT_EQ(Command(kCommandConnect, "", kPeerB), 2001);
  EXPECT_EQ(viewer.Calls("set_button_text").size(), 2u);
}

TEST_F(Commands, ConnectWithoutWindowActivatesButKeepsDiscovery) {
  EXPECT_EQ(Command(kCommandConnect, "", 0), 2001);
  EXPECT_TRUE(Controller().Active());
  Controller().Message_Sender("x", 4);
  EXPECT_EQ(system.sent.size(), 2u);
}

// Each connects as 0 does: active, the connected peers are forgotten and
// no longer watched, and messages go by discovery.
TEST_F(Commands, ConnectNamingNoWindowOfAnotherProcessKeepsDiscovery) {
  system.goneWindows.insert(0x903);
  system.windows.push_back({0x903, 13, "TMainForm"});
  for (const fakes::WindowHandle notAPeer : {fakes::FakePlatform::kMessageWindow, kHost, platform::kBroadcastWindow,
                                             fakes::WindowHandle{0x777}, fakes::WindowHandle{0x903}}) {
    Connect(kPeerB);
    Connect(kPeerA);
    EXPECT_EQ(Command(kCommandConnect, "", notAPeer), 2001);
    EXPECT_TRUE(Controller().Active());
    EXPECT_TRUE(Controller().ConnectedPeerList().Empty()) << notAPeer;
    EXPECT_TRUE(system.timers.empty());
    system.sent.clear();
    Controller().Message_Sender("x", 4);
    ASSERT_EQ(system.sent.size(), 2u);
    EXPECT_EQ(system.sent[0].target, kPeerA);
    EXPECT_EQ(system.sent[1].target, kPeerB);
  }
}

// Without the viewer's main window the plug-in still knows its own process.
TEST_F(Commands, ConnectNamingAViewerWindowIsRefusedAlsoWithoutAMainWindow) {
  constexpr fakes::WindowHandle kViewerTool = 0x501;
  system.windows.push_back({kViewerTool, kViewerPid, "TToolForm"});
  TestControllerInstance().reset();
  plugin::StartPlugin(system, viewer, kPluginHandle, 0, kTestHandlers, TestControllerInstance());
  Connect(kViewerTool);
  EXPECT_EQ(Controller().ConnectedPeer(), 0u);
}

TEST_F(Commands, DisconnectForgetsThePeerThenPostsCloseToTheViewer) {
  Connect(kPeerB);
  EXPECT_EQ(Command(kCommandDisconnect, ""), 2001);
  EXPECT_FALSE(Controller().Active());
  EXPECT_EQ(Controller().ConnectedPeer(), 0u);
  EXPECT_EQ(system.closesPosted, std::vector<fakes::WindowHandle>{kHost});
  EXPECT_EQ(viewer.Calls("set_button_text").back().texts.at(0), "Inaktiv");
}

TEST_F(Commands, UnknownCodesAnswer2000AndChangeNothing) {
  for (const std::uint32_t code : UnknownCommandCodes()) {
    EXPECT_EQ(Command(code, "active"), 2000) << code;
  }
  EXPECT_EQ(Command(kCommandPing, "anything"), 2001);
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_TRUE(system.closesPosted.empty());
  EXPECT_FALSE(Controller().Active());
}

TEST_F(Commands, OtherWindowMessagesGetDefaultHandling) { EXPECT_EQ(system.procedure->WndProc(0x0400, 1, 2), 0x7400); }

TEST_F(Commands, LinesButtonOnlyForExactlyActive) {
  const std::vector<std::pair<std::string, std::int64_t>> cases{
      {"active", 1}, {"Active", 0}, {"active\r\n", 0}, {"", 0}, {" active", 0}};
  for (const auto& [text, flag] : cases) {
    EXPECT_EQ(Command(kCommandLinesButton, text), 2001);
    const auto call = viewer.Calls("enable_button").back();
    EXPECT_EQ(call.numbers.at(1), Controller().LinesButton());
    EXPECT_EQ(call.numbers.at(2), flag) << text;
  }
}

TEST_F(Commands, LoadTrimsThePathAndRepliesByOutcome) {
  EXPECT_EQ(Command(kCommandLoadModel, "  C:\\models\\a b.ifc\r\n"), 2001);
  EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"load_ifc", "invalidate", "item_command"}));
  EXPECT_EQ(viewer.calls[0].texts.at(0), "C:\\models\\a b.ifc");
  EXPECT_EQ(viewer.calls[2].texts, (std::vector<std::string>{"btn_alpha_full", "click"}));

  viewer.calls.clear();
  EXPECT_EQ(Command(kCommandLoadModel, " \r\n"), 2001);
  EXPECT_EQ(Command(kCommandLoadModel, ""), 2001);
  EXPECT_TRUE(viewer.calls.empty());

  viewer.refuseLoads = true;
  EXPECT_EQ(Command(kCommandLoadModel, "missing.ifc"), 21);
  EXPECT_EQ(viewer.CallNames(), std::vector<std::string>{"load_ifc"});
}

TEST_F(Commands, PayloadIsReadOnlyUpToNulOrDeclaredSize) {
  EXPECT_EQ(system.Deliver(kPeerA, kCommandLinesButton, std::string("active\0junk", 11)), 2001);
  EXPECT_EQ(viewer.Calls("enable_button").back().numbers.at(2), 1);
  EXPECT_EQ(system.Deliver(kPeerA, kCommandLinesButton, "active"), 2001);  // no NUL at all
  EXPECT_EQ(viewer.Calls("enable_button").back().numbers.at(2), 1);
  const platform::CopyDataRecord noData{kCommandLinesButton, 5, nullptr};
  EXPECT_EQ(system.procedure->WndProc(platform::kWmCopyData, kPeerA, reinterpret_cast<std::intptr_t>(&noData)), 2001);
  EXPECT_EQ(viewer.Calls("enable_button").back().numbers.at(2), 0);
  EXPECT_EQ(system.procedure->WndProc(platform::kWmCopyData, kPeerA, 0), 2000);
}

TEST_F(Commands, ViewStateBytesReachTheViewerAndOddTextsReapplyTheLast) {
  EXPECT_EQ(Command(kCommandRestoreView, "0a1B"), 2001);
  EXPECT_EQ(viewer.viewState, (std::vector<std::uint8_t>{0x0A, 0x1B}));
  EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"set_view_state", "invalidate"}));
  EXPECT_EQ(viewer.calls[0].numbers, (std::vector<std::int64_t>{kPluginHandle, 0, 2, 0}));
  Command(kCommandRestoreView, "abcde");
  EXPECT_EQ(viewer.viewState, (std::vector<std::uint8_t>{0x0A, 0x1B}));
  Command(kCommandRestoreView, "G5");
  EXPECT_EQ(viewer.viewState, (std::vector<std::uint8_t>{0xF5}));
  EXPECT_EQ(Controller().ViewStateSize(), 1);
  Command(kCommandRestoreView, "");
  EXPECT_EQ(viewer.Calls("set_view_state").back().numbers, (std::vector<std::int64_t>{kPluginHandle, 0, 0, 1}));
  EXPECT_EQ(Controller().ViewStateSize(), 0);
  EXPECT_TRUE(system.messageBoxes.empty());
}

TEST_F(Commands, FirstOddViewStateAppliesNoBytes) {
  Command(kCommandRestoreView, "abc");
  EXPECT_EQ(viewer.Calls("set_view_state").at(0).numbers, (std::vector<std::int64_t>{kPluginHandle, 0, 0, 1}));
}

TEST_F(Commands, SendModelPathSendsTheOpenModelsPathAgainToTheConnectedPeer) {
  viewer.loadedPath = L"C:\\Projekte\\Haus.ifc";
  Connect(kPeerB);
  system.sent.clear();
  EXPECT_EQ(Command(kCommandSendModelPath, "ignored"), 2001);
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0].target, kPeerB);
  EXPECT_EQ(Sent(peer_link::kCodeModelPath), "C:\\Projekte\\Haus.ifc");
  EXPECT_EQ(Controller().ModelPath(), "C:\\Projekte\\Haus.ifc");
}

// No model, an empty path, a blank one, and a viewer that fails on the way.
TEST_F(Commands, SendModelPathWithoutAPathSendsNothingAndAnswers21) {
  EXPECT_EQ(Command(kCommandSendModelPath, ""), 21);
  for (const wchar_t* path : {L"", L" \r\n"}) {
    viewer.loadedPath = path;
    EXPECT_EQ(Command(kCommandSendModelPath, ""), 21);
  }
  viewer.loadedPath = L"C:\\Projekte\\Haus.ifc";
  viewer.insideCall = [](const std::string& name) {
    if (name == "get_loaded_ifc_path") throw std::runtime_error("the viewer failed");
  };
  EXPECT_EQ(Command(kCommandSendModelPath, ""), 21);
  EXPECT_TRUE(system.sent.empty());
  EXPECT_TRUE(system.messageBoxes.empty());
}

TEST_F(Commands, SendSelectionSendsTheViewersSelectionToEveryConnectedPeer) {
  viewer.AddObject(0x11, {L"2O2Fr$t4X7Zf8NOew3FL9r"});
  viewer.AddObject(0x12, {L"1cwlDi_hLEvPsClAelBNnz"});
  viewer.selection = {0x12, 0x11};
  Connect(kPeerB);
  Connect(kPeerA);
  system.sent.clear();
  EXPECT_EQ(Command(kCommandSendSelection, "ignored"), 2001);
  ASSERT_EQ(system.sent.size(), 2u);
  EXPECT_EQ(system.sent[0].target, kPeerB);
  EXPECT_EQ(system.sent[1].target, kPeerA);
  EXPECT_EQ(Sent(peer_link::kCodeSelection, 1), "1cwlDi_hLEvPsClAelBNnz\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(Controller().LastGuids(), "1cwlDi_hLEvPsClAelBNnz\r\n2O2Fr$t4X7Zf8NOew3FL9r");
}

// Not connected, no model, and a viewer that fails while the selection is
// read: nothing goes out, no box, 21.
TEST_F(Commands, SendSelectionThatSendsNothingAnswers21) {
  EXPECT_EQ(Command(kCommandSendSelection, ""), 21);
  Connect(kPeerA);
  viewer.hasModel = false;
  EXPECT_EQ(Command(kCommandSendSelection, ""), 21);
  viewer.hasModel = true;
  viewer.insideCall = [](const std::string& name) {
    if (name == "get_selected") throw std::runtime_error("the viewer failed");
  };
  EXPECT_EQ(Command(kCommandSendSelection, ""), 21);
  EXPECT_TRUE(system.sent.empty());
  EXPECT_TRUE(system.messageBoxes.empty());
}
