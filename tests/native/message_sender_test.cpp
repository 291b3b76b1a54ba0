// Targeting and delivery of outgoing messages.
#include "controller_fixture.h"

class Sending : public StartedPlugin {
 protected:
  void SetUp() override {
    Start();
    system.sent.clear();
    system.snapshots = 0;
  }
  // The link ended as a disconnect ends it, but with the viewer left open:
  // both buttons as at start, and nothing said to anyone.
  void ExpectLinkEndedAsAtStart() {
    EXPECT_FALSE(Controller().Active());
    EXPECT_EQ(Controller().ConnectedPeer(), 0u);
    EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"set_button_text", "enable_button"}));
    const auto texts = viewer.Calls("set_button_text");
    EXPECT_EQ(texts.at(0).texts.at(0), "Inaktiv");
    EXPECT_EQ(texts.at(0).texts.at(1).rfind("Das Quabo Plugin ist inaktiv.", 0), 0u);
    EXPECT_EQ(viewer.Calls("enable_button").at(0).numbers.at(1), Controller().LinesButton());
    EXPECT_FALSE(viewer.buttons.at(Controller().LinesButton()).enabled);
    EXPECT_TRUE(system.sent.empty());
    EXPECT_TRUE(system.closesPosted.empty());
    EXPECT_TRUE(system.messageBoxes.empty());
  }
};

TEST_F(Sending, CodeZeroOrBlankTextSendsNothingButRebuildsTheSlots) {
  AddTwoPeers();
  EXPECT_EQ(Controller().Message_Sender("text", 0), 2000u);
  EXPECT_EQ(Controller().PeerWindows(), (peer_link::PeerWindows{kPeerA, kPeerB, 0, 0, 0}));
  EXPECT_EQ(Controller().Message_Sender(" \r\n\t", 6), 2000u);
  EXPECT_EQ(Controller().Message_Sender("", 6), 2000u);
  EXPECT_TRUE(system.sent.empty());
  EXPECT_EQ(system.snapshots, 3);
}

TEST_F(Sending, EveryPeerInSnapshotOrderAndTheLastReplyWins) {
  AddTwoPeers();
  EXPECT_EQ(Controller().Message_Sender(" a|b ", 4), 200u);
  ASSERT_EQ(system.sent.size(), 2u);
  EXPECT_EQ(system.sent[0].target, kPeerA);
  EXPECT_EQ(system.sent[1].target, kPeerB);
  EXPECT_EQ(system.sent[1].payload, std::string("4242| a|b \0", 11));
}

TEST_F(Sending, EmptyFirstSlotDoesNotSilenceTheOtherPeers) {
  AddTwoPeers();
  system.windows[1].className = "TForm1";  // peer A has no main window
  EXPECT_EQ(Controller().Message_Sender("x", 4), 200u);
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0].target, kPeerB);
  EXPECT_EQ(Controller().PeerWindows(), (peer_link::PeerWindows{0, kPeerB, 0, 0, 0}));
}

TEST_F(Sending, LostWindowRepliesZeroAndLaterSlotsStillGetTheMessage) {
  AddTwoPeers();
  system.replies.erase(kPeerB);
  EXPECT_EQ(Controller().Message_Sender("x", 4), 0u);
  system.replies.erase(kPeerA);
  system.replies[kPeerB] = 7;
  EXPECT_EQ(Controller().Message_Sender("x", 4), 7u);
  EXPECT_EQ(system.sent.size(), 4u);
}

TEST_F(Sending, ConnectedPeerIsTheOnlyTargetAndNoSnapshotIsTaken) {
  AddTwoPeers();
  Connect(kPeerB);
  EXPECT_EQ(Controller().Message_Sender("x", 4), 200u);
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0].target, kPeerB);
  EXPECT_EQ(system.snapshots, 0);
  EXPECT_EQ(Controller().PeerWindows(), (peer_link::PeerWindows{kPeerB, 0, 0, 0, 0}));
}

TEST_F(Sending, ConnectedPeerWhoseWindowHasGoneEndsTheLinkWithoutClosingTheViewer) {
  AddTwoPeers();
  Connect(kPeerB);
  Command(kCommandLinesButton, "active", kPeerB);
  system.goneWindows.insert(kPeerB);
  viewer.calls.clear();
  EXPECT_EQ(Controller().Message_Sender("lost", 4), 0u);
  ExpectLinkEndedAsAtStart();
  // The next message goes to the peers that discovery finds.
  Controller().Message_Sender("next", 4);
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0].target, kPeerA);
  EXPECT_EQ(system.snapshots, 1);
  // A peer that connects enables the button again.
  Connect(kPeerA);
  Command(kCommandLinesButton, "active");
  EXPECT_TRUE(viewer.buttons.at(Controller().LinesButton()).enabled);
}

TEST_F(Sending, ConnectedPeerIsWatchedOnlyWhileConnected) {
  AddTwoPeers();
  EXPECT_TRUE(system.timers.empty());
  Command(kCommandConnect, "", 0);
  EXPECT_TRUE(system.timers.empty());
  Connect(kPeerA);
  ASSERT_EQ(system.timers.size(), 1u);
  EXPECT_LE(system.timers.begin()->second, 2000u);
  Connect(kPeerB);  // one watch for both
  EXPECT_EQ(system.timers.size(), 1u);
  viewer.calls.clear();
  system.FireTimers();
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_TRUE(system.sent.empty());
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), (peer_link::PeerWindows{kPeerA, kPeerB, 0, 0, 0}));
  Command(kCommandDisconnect, "", kPeerB);
  EXPECT_TRUE(system.timers.empty());
  Connect(kPeerA);
  EXPECT_EQ(system.timers.size(), 1u);
  TestControllerInstance().reset();
  EXPECT_TRUE(system.timers.empty());
}

// A peer that ended without a disconnect, or whose window handle the system
// has since given to another process: the next tick ends the link as a send
// to it would, and a later connect is watched again.
TEST_F(Sending, WatchEndsTheLinkToAPeerThatHasGoneWithoutAnyMessage) {
  AddTwoPeers();
  for (const bool reused : {false, true}) {
    SCOPED_TRACE(reused ? "handle of another process" : "window gone");
    Connect(kPeerB);
    Command(kCommandLinesButton, "active", kPeerB);
    if (reused) {
      system.windows.back().pid = 99;
    } else {
      system.goneWindows.insert(kPeerB);
    }
    viewer.calls.clear();
    system.FireTimers();
    ExpectLinkEndedAsAtStart();
    EXPECT_TRUE(system.timers.empty());
    EXPECT_EQ(system.snapshots, 0);
    system.goneWindows.clear();
    system.windows.back().pid = 12;
  }
  Connect(kPeerA);
  EXPECT_TRUE(Controller().Active());
  EXPECT_EQ(system.timers.size(), 1u);
}

// Whatever chose the target, the system's send refuses every broadcast
// handle and every window of the viewer's process, however spelt.
TEST_F(Sending, NothingGoesToEveryWindowOrToThePluginsOwn) {
  const platform::CopyDataRecord record{4, 2, "x"};
  constexpr fakes::WindowHandle kOwnByLowWord = 0x2000;
  system.windows.push_back({kOwnByLowWord, kViewerPid, ""});
  const fakes::WindowHandle own = Controller().MsgWindow();
  for (const fakes::WindowHandle refused : {platform::kBroadcastWindow, platform::kEveryWindow, own, kOwnByLowWord}) {
    system.replies[refused] = 9;
    EXPECT_EQ(system.SendCopyData(refused, own, record), 0u) << refused;
  }
  EXPECT_TRUE(system.sent.empty());
  system.replies[kPeerA] = 5;
  EXPECT_EQ(system.SendCopyData(kPeerA, own, record), 5u);
  EXPECT_EQ(system.sent.size(), 1u);
}

TEST_F(Sending, DeliveryFailureIsReportedOnceAndContained) {
  AddTwoPeers();
  system.sendThrows = true;
  EXPECT_EQ(Controller().Message_Sender("x", 4), 2000u);
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0].first, "Fehler in VidudUDE.DLL-Message_Sender");
  EXPECT_EQ(system.messageBoxes[0].second, "Message_Sender");
}

TEST_F(Sending, NestedSendDuringAWaitDoesNotRedirectTheOuterSend) {
  AddTwoPeers();
  system.duringSend = [&](const fakes::Sent& s) {
    if (s.code == 4 && s.target == kPeerA) {
      Connect(kPeerA);  // from now on only A is a target ...
      Controller().Message_Sender("nested", 6);
    }
  };
  Controller().Message_Sender("outer", 4);
  // ... but the outer send still reaches B, which it had chosen before.
  std::vector<std::pair<fakes::WindowHandle, std::uint32_t>> order;
  for (const auto& s : system.sent) order.emplace_back(s.target, s.code);
  EXPECT_EQ(order, (std::vector<std::pair<fakes::WindowHandle, std::uint32_t>>{{kPeerA, 4}, {kPeerA, 6}, {kPeerB, 4}}));
  EXPECT_EQ(Sent(4, 1), "outer");
}
