// Quabo and a tool of another name connected to one viewer at once: each
// gets every selection, and one leaving or vanishing costs the other
// nothing.
#include "plugin_session.h"

class SharedLink : public PluginSession {
 protected:
  void SetUp() override {
    quabo = &StartPeer("QUABO.EXE");
    LoadPlugin();
    NextMessageOfCode(*quabo, 1);
    ASSERT_EQ(SendCommand(*quabo, "send 1"), 2001);
    sim.LoadModel(DEMO_MODEL);
    NextMessageOfCode(*quabo, 4);
    tool = &ConnectedTool();
  }
  // A program of another name, started after the viewer: it finds the
  // plug-in's window and connects.
  PeerProcess& ConnectedTool() {
    auto& started = StartPeer("TAKEOFF.EXE");
    EXPECT_FALSE(started.Command("target find " + std::to_string(GetCurrentProcessId())).empty());
    EXPECT_EQ(SendCommand(started, "send 1"), 2001);
    return started;
  }
  // The user selects the n-th object of the model.
  void SelectObject(std::size_t n) { ASSERT_TRUE(sim.UserSelect({Id(n)})); }

  PeerProcess* quabo = nullptr;
  PeerProcess* tool = nullptr;
};

TEST_F(SharedLink, BothGetEachSelectionUntilTheToolLeaves) {
  SelectObject(5);
  for (PeerProcess* peer : {quabo, tool}) {
    EXPECT_EQ(NextMessageOfCode(*peer, 6).bytes, Payload(Guid(5)));
  }
  EXPECT_EQ(SendCommand(*tool, "send 12"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  SelectObject(6);
  EXPECT_EQ(NextMessageOfCode(*quabo, 6).bytes, Payload(Guid(6)));
  Settle(*tool);
  EXPECT_EQ(tool->Received().size(), 1u);
  EXPECT_EQ(hostWindow.CloseRequests(), 0);
}

// Ended from outside, as from the task manager: Quabo gets the next
// selection all the same, and the tool, started again, asks for the
// selection it missed.
TEST_F(SharedLink, TerminatedToolCostsQuaboNothingAndItsRestartAsksForTheSelection) {
  {
    const std::unique_ptr<void, decltype(&CloseHandle)> process(OpenProcess(PROCESS_TERMINATE, FALSE, tool->Pid()),
                                                                &CloseHandle);
    ASSERT_TRUE(process && TerminateProcess(process.get(), 1));
  }
  ASSERT_TRUE(tool->WaitForExit(10000));
  SelectObject(7);
  EXPECT_EQ(NextMessageOfCode(*quabo, 6).bytes, Payload(Guid(7)));
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");

  auto& restarted = ConnectedTool();
  EXPECT_EQ(SendCommand(restarted, "send 11"), 2001);
  EXPECT_EQ(NextMessageOfCode(restarted, 6).bytes, Payload(Guid(7)));
  EXPECT_EQ(NextMessageOfCode(*quabo, 6).bytes, Payload(Guid(7)));
}
