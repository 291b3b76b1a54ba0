// Several peers connected at once: who joins, who leaves, who gets each
// message, and when the link ends.
#include <stdexcept>

#include "controller_fixture.h"

class ConnectedPeers : public StartedPlugin {
 protected:
  // Six peer processes, pids 11 to 16, with main windows 0x901 to 0x906.
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
};

// In connect order, and the last reply is returned; a window that has gone
// costs its send, the others still get the message, and it is forgotten
// after, without a word to the viewer.
TEST_F(ConnectedPeers, EveryMessageGoesToEachInConnectOrder) {
  for (const std::uint32_t i : {2u, 0u, 1u}) Connect(Peer(i));
  EXPECT_EQ(Controller().Message_Sender("x", 4), 101u);
  EXPECT_EQ(Targets(), (std::vector<fakes::WindowHandle>{Peer(2), Peer(0), Peer(1)}));
  EXPECT_EQ(system.snapshots, 0);
  system.goneWindows.insert(Peer(0));
  viewer.calls.clear();
  Controller().Message_Sender("y", 4);
  EXPECT_EQ(Controller().ConnectedPeerList().Targets(), (peer_link::PeerWindows{Peer(2), Peer(1), 0, 0, 0}));
  EXPECT_EQ(system.sent.size(), 5u);
  EXPECT_TRUE(viewer.calls.empty());
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
}

// One of two ending, by command 12 or by its window going, shows nothing
// and costs the other nothing; the last one ends the link with the viewer
// open. Command 12 from a window that is not connected changes nothing.
TEST_F(ConnectedPeers, OneOfTwoEndsQuietlyAndTheLastEndsTheLink) {
  for (const bool leave : {true, false}) {
    SCOPED_TRACE(leave ? "command 12" : "window gone");
    const auto end = [&](std::uint32_t i) {
      if (leave) {
        EXPECT_EQ(Command(kCommandLeave, "ignored", Peer(i)), 2001);
      } else {
        system.goneWindows.insert(Peer(i));
        system.FireTimers();
      }
    };
    Connect(Peer(0));
    Connect(Peer(1));
    Command(kCommandLinesButton, "active");
    viewer.calls.clear();
    system.sent.clear();
    EXPECT_EQ(Command(kCommandLeave, "", Peer(2)), 2001);
    end(0);
    EXPECT_TRUE(viewer.calls.empty());
    EXPECT_TRUE(Controller().Active());
    EXPECT_EQ(system.timers.size(), 1u);
    Controller().Message_Sender("x", 4);
    EXPECT_EQ(Targets(), std::vector<fakes::WindowHandle>{Peer(1)});
    end(1);
    EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"set_button_text", "enable_button"}));
    EXPECT_EQ(viewer.buttons.at(Controller().StatusButton()).text, L"Inaktiv");
    EXPECT_FALSE(viewer.buttons.at(Controller().LinesButton()).enabled);
    EXPECT_TRUE(system.timers.empty());
    EXPECT_TRUE(system.closesPosted.empty());
    system.goneWindows.clear();
  }
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

// The hidden window's note for the support diagnosis follows every change
// of the connected peers, and is off the window before it is destroyed,
// also after a connect that the viewer stopped half-way.
TEST_F(ConnectedPeers, HiddenWindowNotesThePeersUntilItIsDestroyed) {
  using Noted = std::vector<fakes::WindowHandle>;
  for (const std::uint32_t i : {0u, 1u, 2u}) Connect(Peer(i));
  EXPECT_EQ(system.notedPeers, (Noted{Peer(0), Peer(1), Peer(2)}));
  Command(kCommandLeave, "", Peer(1));
  EXPECT_EQ(system.notedPeers, (Noted{Peer(0), Peer(2)}));
  system.goneWindows.insert(Peer(0));
  system.FireTimers();
  EXPECT_EQ(system.notedPeers, Noted{Peer(2)});
  Connect(0);
  EXPECT_EQ(system.notedPeers, Noted{});
  Connect(Peer(3));
  Command(kCommandDisconnect, "", Peer(3));
  EXPECT_EQ(system.notedPeers, Noted{});
  viewer.insideCall = [this](const std::string& name) {
    if (name == "set_button_text") Controller().Stop();
  };
  Connect(Peer(4));
  TestControllerInstance().reset();
  EXPECT_FALSE(system.messageWindowAlive);
  EXPECT_EQ(system.notedPeersAtDestroy, Noted{});
}
