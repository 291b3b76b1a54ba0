// Several peers connected at once: who joins, who leaves, who gets each
// message, and when the link ends.
#include <stdexcept>

#include "controller_fixture.h"

class ConnectedPeers : public StartedPlugin {
 protected:
  // Six peer processes, pids 11 to 16, each with a main window 0x901 to
  // 0x906 that replies its own number.
  void SetUp() override {
    for (std::uint32_t i = 0; i < 6; ++i) {
      system.processes.push_back({11 + i, "QUABO.EXE"});
      system.windows.push_back({Peer(i), 11 + i, "TMainForm"});
      system.replies[Peer(i)] = 100 + i;
    }
    Start();
    system.sent.clear();
    system.snapshots = 0;
  }
  static fakes::WindowHandle Peer(std::uint32_t i) { return kPeerA + i; }
  std::vector<fakes::WindowHandle> Targets() const {
    std::vector<fakes::WindowHandle> targets;
    for (const auto& s : system.sent) targets.push_back(s.target);
    return targets;
  }
  void ExpectInactiveWithTheLinesButtonGreyed() {
    EXPECT_FALSE(Controller().Active());
    EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"set_button_text", "enable_button"}));
    EXPECT_EQ(viewer.Calls("set_button_text").at(0).texts.at(0), "Inaktiv");
    EXPECT_FALSE(viewer.buttons.at(Controller().LinesButton()).enabled);
    EXPECT_TRUE(system.timers.empty());
    EXPECT_TRUE(system.closesPosted.empty());
  }
};

// In connect order, not snapshot order; the last reply is returned; a peer
// that has gone costs its send and nothing else, and is forgotten after it.
TEST_F(ConnectedPeers, EveryMessageGoesToEachInConnectOrder) {
  Connect(Peer(2));
  Connect(Peer(0));
  Connect(Peer(1));
  EXPECT_EQ(Controller().Message_Sender("x", 4), 101u);
  EXPECT_EQ(Targets(), (std::vector<fakes::WindowHandle>{Peer(2), Peer(0), Peer(1)}));
  EXPECT_EQ(system.snapshots, 0);
  system.sent.clear();
  system.goneWindows.insert(Peer(0));
  viewer.calls.clear();
  EXPECT_EQ(Controller().Message_Sender("y", 4), 101u);
  EXPECT_EQ(Targets(), (std::vector<fakes::WindowHandle>{Peer(2), Peer(1)}));
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), (peer_link::PeerWindows{Peer(2), Peer(1), 0, 0, 0}));
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_TRUE(Controller().Active());
}

// Another window of a connected process takes that process's place; a
// sixth process changes nothing, not even the status button.
TEST_F(ConnectedPeers, OneWindowPerProcessAndAtMostFiveProcesses) {
  constexpr fakes::WindowHandle kSecondOfPeer1 = 0x9A1;
  system.windows.push_back({kSecondOfPeer1, 12, "TOtherForm"});
  for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(Command(kCommandConnect, "", Peer(i)), 2001);
  EXPECT_EQ(Command(kCommandConnect, "", kSecondOfPeer1), 2001);
  const peer_link::PeerWindows five{Peer(0), kSecondOfPeer1, Peer(2), Peer(3), Peer(4)};
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), five);
  viewer.calls.clear();
  EXPECT_EQ(Command(kCommandConnect, "", Peer(5)), 22);
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), five);
  EXPECT_EQ(Command(kCommandConnect, "", Peer(1)), 2001);
  Controller().Message_Sender("x", 4);
  EXPECT_EQ(Targets(), (std::vector<fakes::WindowHandle>{Peer(0), Peer(1), Peer(2), Peer(3), Peer(4)}));
}

// Leaving changes nothing for a window that was not connected and nothing
// on screen while others stay; the last to leave ends the link, and the
// viewer stays open.
TEST_F(ConnectedPeers, LeaveTakesOnlyTheSenderAndTheLastEndsTheLink) {
  Connect(Peer(0));
  Connect(Peer(1));
  Command(kCommandLinesButton, "active");
  viewer.calls.clear();
  EXPECT_EQ(Command(kCommandLeave, "ignored", Peer(2)), 2001);
  EXPECT_EQ(Command(kCommandLeave, "", Peer(0)), 2001);
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_TRUE(Controller().Active());
  Controller().Message_Sender("x", 4);
  EXPECT_EQ(Targets(), std::vector<fakes::WindowHandle>{Peer(1)});
  system.sent.clear();
  EXPECT_EQ(Command(kCommandLeave, "", Peer(1)), 2001);
  ExpectInactiveWithTheLinesButtonGreyed();
  Controller().Message_Sender("x", 4);
  EXPECT_EQ(system.snapshots, 1);
}

// The watch forgets a peer that has gone without a word; the screen changes
// only when the last one has gone.
TEST_F(ConnectedPeers, WatchForgetsOneOfTwoAndEndsTheLinkWithTheLast) {
  Connect(Peer(0));
  Connect(Peer(1));
  Command(kCommandLinesButton, "active");
  viewer.calls.clear();
  system.goneWindows.insert(Peer(0));
  system.FireTimers();
  EXPECT_TRUE(viewer.calls.empty());
  EXPECT_TRUE(system.sent.empty());
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), (peer_link::PeerWindows{Peer(1), 0, 0, 0, 0}));
  EXPECT_EQ(system.timers.size(), 1u);
  system.goneWindows.insert(Peer(1));
  system.FireTimers();
  ExpectInactiveWithTheLinesButtonGreyed();
}

// A gone peer is forgotten before the viewer is told: when the viewer
// fails then, the next message still goes by discovery, not to the dead
// window.
TEST_F(ConnectedPeers, GonePeerIsForgottenAlsoWhenTheViewerFailsToShowIt) {
  Connect(Peer(0));
  system.goneWindows.insert(Peer(0));
  viewer.insideCall = [](const std::string& name) {
    if (name == "set_button_text") throw std::runtime_error("the viewer failed");
  };
  system.FireTimers();
  viewer.insideCall = nullptr;
  Controller().Message_Sender("path", 4);
  EXPECT_EQ(Targets(), (std::vector<fakes::WindowHandle>{Peer(1), Peer(2), Peer(3), Peer(4)}));
  EXPECT_TRUE(system.timers.empty());
}

TEST_F(ConnectedPeers, DisconnectFromAnyEndsTheLinkForAllAndClosesTheViewer) {
  Connect(Peer(0));
  Connect(Peer(1));
  EXPECT_EQ(Command(kCommandDisconnect, "", Peer(1)), 2001);
  EXPECT_FALSE(Controller().Active());
  EXPECT_TRUE(Controller().ConnectedPeerList().Empty());
  EXPECT_TRUE(system.timers.empty());
  EXPECT_EQ(system.closesPosted, std::vector<fakes::WindowHandle>{kHost});
}
