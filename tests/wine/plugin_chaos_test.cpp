// Hostile and broken peers: the viewer keeps working, replies stay as they
// should, and the plug-in's state is consistent afterwards. What the plug-in
// waited for is read from the system's own report of each send, never from
// the clock, so that a loaded machine changes nothing.
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "plugin_session.h"
#include "tests/unknown_codes.h"
#include "tools/viewer_sim/send_watch.h"
#include "tools/viewer_sim/text.h"

namespace {

const std::wstring kLinesText = L"Aufma\u00DFzeilen erzeugen";

// How each of the plug-in's sends ended, as the system reported it.
class SendOutcomes final : public viewer_sim::SendObserver {
 public:
  struct Outcome {
    bool answered;
    DWORD error;
    // Given up at once, the peer's thread counting as hung.
    bool ifHung;
  };
  ~SendOutcomes() { viewer_sim::WatchSends(nullptr, nullptr); }
  void Watch(HMODULE plugin) { viewer_sim::WatchSends(plugin, this); }
  // The outcomes of the sends to target, oldest first.
  std::vector<Outcome> To(HWND target) const {
    const std::lock_guard lock(mutex_);
    std::vector<Outcome> to;
    for (const auto& [window, outcome] : sent_) {
      if (window == target) to.push_back(outcome);
    }
    return to;
  }

 private:
  void PeerSearch() override {}
  void Sending(HWND, WPARAM, const COPYDATASTRUCT*) override {}
  void Sent(HWND target, bool answered, LRESULT, DWORD error, long long, bool ifHung) override {
    const std::lock_guard lock(mutex_);
    sent_.emplace_back(target, Outcome{answered, error, ifHung});
  }
  mutable std::mutex mutex_;
  std::vector<std::pair<HWND, Outcome>> sent_;
};

// Long enough that only "wake" ends it within a test.
const std::string kHangUntilWoken = "hang 600000";

void Terminate(DWORD pid) {
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
}

}  // namespace

class HostilePeers : public PluginSession {
 protected:
  // The plug-in started with its sends watched from before its start.
  void LoadWatchedPlugin() {
    plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(VIDUDUDE_DLL));
    ASSERT_TRUE(plugin->Loaded());
    sends.Watch(plugin->Module());
    ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  }
  // What the plug-in holds as its last GUID list, seen the way a peer sees
  // it: the create-lines button sends it.
  std::string LastGuidsAsSent(PeerProcess& peer) {
    EXPECT_EQ(SendCommand(peer, "send 9 active"), 2001);
    const std::size_t before = peer.Received().size();
    EXPECT_TRUE(sim.Click(ButtonId(kLinesText)));
    Settle(peer);
    const auto received = peer.Received();
    if (received.size() == before) return "<nothing sent>";
    const auto message = ParseRecv(received.back());
    EXPECT_EQ(message.code, 9u);
    return message.bytes;
  }
  SendOutcomes sends;
};

TEST_F(HostilePeers, PeerThatNeverAnswersCostsOneBoundedWait) {
  auto& silent = StartPeer("QUABO.EXE");
  auto& healthy = StartPeer("QUABO.EXE");
  ASSERT_EQ(SnapshotOrder({silent.Pid(), healthy.Pid()}).front(), silent.Pid());
  silent.Command(kHangUntilWoken);
  LoadWatchedPlugin();
  // Waited for in full, then given up at the send's own limit.
  auto toSilent = sends.To(silent.Window());
  ASSERT_EQ(toSilent.size(), 1u);
  EXPECT_FALSE(toSilent[0].answered);
  EXPECT_EQ(toSilent[0].error, static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_FALSE(toSilent[0].ifHung);
  EXPECT_EQ(sim.Buttons().size(), 2u);
  EXPECT_EQ(NextMessage(healthy).bytes, Payload("Bim Start"));
  NextMessageOfCode(silent, 1);
  // While it stays hung, the next send does not wait for it again.
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(healthy, 4);
  toSilent = sends.To(silent.Window());
  ASSERT_EQ(toSilent.size(), 2u);
  EXPECT_FALSE(toSilent[1].answered);
  EXPECT_TRUE(toSilent[1].ifHung);
  // Once its thread handles messages again, it gets every message again.
  // The console command is handled by that thread, so its answer marks the
  // end of the hang.
  silent.Command("wake");
  Settle(silent);
  ASSERT_TRUE(sim.FireModelLoad());
  NextMessageOfCode(silent, 4);
  NextMessageOfCode(healthy, 4);
  // Having answered, it is waited for in full again when it is busy later,
  // long enough for the system to count its thread as hung (at least 5 s).
  silent.Command("busy 8000");
  std::this_thread::sleep_for(std::chrono::seconds(6));
  ASSERT_TRUE(sim.FireModelLoad());
  NextMessageOfCode(silent, 4);
  toSilent = sends.To(silent.Window());
  ASSERT_EQ(toSilent.size(), 4u);
  EXPECT_TRUE(toSilent[3].answered);
  EXPECT_FALSE(toSilent[3].ifHung);
}

TEST_F(HostilePeers, BusyPeerGetsAMessageSentLateInItsBusyPeriod) {
  auto& busy = StartPeer("QUABO.EXE");
  busy.Command("busy 8000");
  // Long enough for the system to count the peer's thread as hung.
  std::this_thread::sleep_for(std::chrono::seconds(6));
  LoadWatchedPlugin();
  const auto toBusy = sends.To(busy.Window());
  ASSERT_EQ(toBusy.size(), 1u);
  EXPECT_TRUE(toBusy[0].answered);
  EXPECT_FALSE(toBusy[0].ifHung);
  EXPECT_EQ(NextMessage(busy).bytes, Payload("Bim Start"));
}

TEST_F(HostilePeers, PeerExitingWhileTheSendWaitsDoesNotStopTheOthers) {
  auto& leaving = StartPeer("QUABO.EXE");
  auto& staying = StartPeer("QUABO.EXE");
  ASSERT_EQ(SnapshotOrder({leaving.Pid(), staying.Pid()}).front(), leaving.Pid());
  leaving.Command(kHangUntilWoken);
  // Ended once the send has reached it, while the plug-in waits.
  std::thread killer([&leaving] {
    if (leaving.WaitLine("recv ")) Terminate(leaving.Pid());
  });
  LoadWatchedPlugin();
  killer.join();
  // The wait ended with the peer, not at the send's own limit.
  const auto toLeaving = sends.To(leaving.Window());
  ASSERT_EQ(toLeaving.size(), 1u);
  EXPECT_FALSE(toLeaving[0].answered);
  EXPECT_NE(toLeaving[0].error, static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(NextMessage(staying).bytes, Payload("Bim Start"));
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(staying, 4);
}

TEST_F(HostilePeers, WindowDestroyedBetweenDiscoveryAndSendIsSkipped) {
  auto& slow = StartPeer("QUABO.EXE");
  auto& vanishing = StartPeer("QUABO.EXE");
  ASSERT_EQ(SnapshotOrder({slow.Pid(), vanishing.Pid()}).front(), slow.Pid());
  slow.Command(kHangUntilWoken);
  // The window goes while the plug-in waits on the first peer, after it has
  // chosen both windows as targets.
  std::optional<std::string> start;
  std::thread closer([&] {
    start = slow.WaitLine("recv ");
    if (!start) return;
    vanishing.Command("close");
    slow.Command("wake");
  });
  LoadPlugin();
  closer.join();
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(ParseRecv(*start).code, 1u);
  Settle(vanishing);
  EXPECT_TRUE(vanishing.Received().empty());
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(slow, 4);
}

TEST_F(HostilePeers, FloodOfCommandsLeavesTheLastOfEachInForce) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  std::string lastList;
  bool linesEnabled = false;
  for (int i = 0; i < 300; ++i) {
    switch (i % 6) {
      case 0:
        linesEnabled = i % 4 == 0;
        ASSERT_EQ(SendCommand(peer, linesEnabled ? "send 9 active" : "send 9 nope"), 2001);
        break;
      case 1:
        lastList = Guid(static_cast<std::size_t>(i) % 20);
        ASSERT_EQ(SendCommand(peer, "send 6 " + lastList), 2001);
        break;
      case 2:
        ASSERT_EQ(SendCommand(peer, "send 8 0A0b0C"), 2001);
        break;
      case 3:
        ASSERT_EQ(SendCommand(peer, "send 7"), 2001);
        break;
      case 4:
        ASSERT_EQ(SendCommand(peer, "send 3 x"), 2000);
        break;
      default:
        ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
        break;
    }
  }
  EXPECT_EQ(ButtonAt(1).enabled, linesEnabled);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  EXPECT_EQ(sim.Selection().size(), 1u);
  EXPECT_EQ(sim.Log().Calls("set_view_state").back().Bytes("bytes"), (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C}));
  EXPECT_EQ(LastGuidsAsSent(peer), Payload(lastList));
}

TEST_F(HostilePeers, PeerAnsweringEveryMessageWithACommandOfItsOwn) {
  auto& peer = StartPeer("QUABO.EXE");
  sim.LoadModel(DEMO_MODEL);
  const std::string picked = Guid(12);
  // Connect inside the start message, select inside the model path, a view
  // state inside a selection, and disconnect inside the create-lines message.
  peer.Command("on 1 send 1");
  peer.Command("on 4 send 6 " + picked);
  peer.Command("on 6 send 8 FFee");
  peer.Command("on 9 send 2");
  LoadPlugin();
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");

  ASSERT_EQ(SendCommand(peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 2001);
  EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{Id(12)});

  sim.UserSelect({Id(3), Id(4)});
  Settle(peer);
  EXPECT_EQ(sim.Log().Calls("set_view_state").back().Bytes("bytes"), (std::vector<std::uint8_t>{0xFF, 0xEE}));

  const std::string lines = LastGuidsAsSent(peer);
  EXPECT_EQ(lines, Payload(Guid(3) + "\r\n" + Guid(4)));
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  EXPECT_TRUE(viewer_sim::PumpUntil([&] { return hostWindow.CloseRequests() == 1; }, std::chrono::seconds(60)));
  // Disconnected: the next selection change stays in the viewer.
  const std::size_t before = peer.Received().size();
  sim.UserSelect({Id(5)});
  Settle(peer);
  EXPECT_EQ(peer.Received().size(), before);
}

TEST_F(HostilePeers, OddPayloadsAndCodesAreAnsweredAndChangeNothingElse) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  ASSERT_EQ(SendCommand(peer, "send 6 " + Guid(2)), 2001);
  for (const std::uint32_t code : UnknownCommandCodes()) {
    EXPECT_EQ(SendCommand(peer, "sendnull " + std::to_string(code) + " 0"), 2000) << code;
    EXPECT_EQ(SendCommand(peer, "sendraw " + std::to_string(code) + " 61"), 2000) << code;
  }
  EXPECT_EQ(SendCommand(peer, "sendnull 8 0"), 2001);            // empty view state
  EXPECT_EQ(SendCommand(peer, "sendraw 9 616374697665"), 2001);  // "active", no NUL
  EXPECT_TRUE(ButtonAt(1).enabled);
  EXPECT_EQ(SendCommand(peer, "sendnull 9 8"), 2001);
  EXPECT_FALSE(ButtonAt(1).enabled);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{Id(2)});
  EXPECT_EQ(LastGuidsAsSent(peer), Payload(Guid(2)));
}

TEST_F(HostilePeers, HugePayloadsAreTakenWhole) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  // Wine 8 carries at most about 1 MiB of WM_COPYDATA between processes, so
  // 1 MiB crosses a process boundary and 64 MiB crosses a thread boundary.
  const std::wstring sender = L"\"" + WinePath(COPYDATA_SENDER_EXE) + L"\" " + viewer_sim::ToWide(Hex(PluginWindow()));
  const auto select = RunProgram(sender + L" 6 1048576 41");
  EXPECT_EQ(select.output.rfind("reply 2001", 0), 0u) << select.output;
  EXPECT_TRUE(sim.Selection().empty());

  const std::string huge(64u << 20, 'a');
  EXPECT_EQ(SendFromThread(PluginWindow(), 9, huge), 2001);  // no NUL: read up to the declared size
  EXPECT_FALSE(ButtonAt(1).enabled);
  EXPECT_EQ(SendFromThread(PluginWindow(), 6, huge), 2001);
  EXPECT_TRUE(sim.Selection().empty());
  EXPECT_EQ(SendFromThread(PluginWindow(), 9, std::string("active\0", 7)), 2001);
  EXPECT_TRUE(ButtonAt(1).enabled);
  EXPECT_EQ(SendFromThread(PluginWindow(), 9, ""), 2001);
  EXPECT_FALSE(ButtonAt(1).enabled);
  // The plug-in still answers its peer, and the 64 MiB text is its last list.
  EXPECT_EQ(SendCommand(peer, "send 6 0"), 2001);
  EXPECT_EQ(LastGuidsAsSent(peer), Payload("0"));
}
