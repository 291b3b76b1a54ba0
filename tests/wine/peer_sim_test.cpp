// peer_sim and its driver, seen from a test: what a window of this process
// gets when the peer sends, what the peer prints when this process sends.
// Run as: peer_sim_tests --peer=<path of peer_sim.exe>

#include <windows.h>
#include <tlhelp32.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "peer_driver.h"
#include "tests/wine_tools/copydata_recorder.h"

using namespace std::string_literals;

namespace {

std::string g_peerSim;

std::string Hex(const void* p) {
  char buf[2 * sizeof(void*) + 1];
  const auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<std::uintptr_t>(p), 16);
  return std::string(buf, r.ptr);
}

// The test's own window, recording what peer_sim sends it.
class TestWindow : public CopyDataRecorder {
 public:
  explicit TestWindow(LRESULT reply = 2001) : CopyDataRecorder("PeerSimTestWindow", reply) {}
};

std::vector<std::string> WithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.starts_with(prefix)) out.push_back(l);
  }
  return out;
}

// Snapshot name of a running process; empty when it is not listed.
std::string SnapshotExeName(DWORD pid) {
  const std::unique_ptr<void, decltype(&CloseHandle)> snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0),
                                                           &CloseHandle);
  if (snap.get() == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snap.get(), &entry); more; more = Process32Next(snap.get(), &entry)) {
    if (entry.th32ProcessID == pid) return entry.szExeFile;
  }
  return {};
}

class PeerSimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(g_peerSim.empty()) << "pass --peer=<path of peer_sim.exe>"; }
};

// --- starting and stopping -------------------------------------------------

TEST_F(PeerSimTest, WindowHasRequestedClassTitleAndOwner) {
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--class", "TMainFormQuabo", "--title", "Quabo \"main\" form"});
  ASSERT_TRUE(IsWindow(peer.Window()));
  char text[256] = {};
  GetClassNameA(peer.Window(), text, sizeof text);
  EXPECT_STREQ(text, "TMainFormQuabo");
  GetWindowTextA(peer.Window(), text, sizeof text);
  EXPECT_STREQ(text, "Quabo \"main\" form");
  DWORD owner = 0;
  GetWindowThreadProcessId(peer.Window(), &owner);
  EXPECT_EQ(owner, peer.Pid());
  EXPECT_FALSE(IsWindowVisible(peer.Window()));

  PeerProcess plain(g_peerSim, "QUABO.EXE");
  GetClassNameA(plain.Window(), text, sizeof text);
  EXPECT_STREQ(text, "TMainForm");
}

TEST_F(PeerSimTest, ProcessIsListedUnderTheCopiedExeName) {
  PeerProcess quabo(g_peerSim, "QUABO.EXE");
  EXPECT_EQ(SnapshotExeName(quabo.Pid()), "QUABO.EXE");
  PeerProcess project(g_peerSim, "Quabo_BimProject.exe");
  EXPECT_EQ(SnapshotExeName(project.Pid()), "Quabo_BimProject.exe");
  EXPECT_NE(quabo.Pid(), project.Pid());
  EXPECT_NE(quabo.ExePath(), project.ExePath());
}

TEST_F(PeerSimTest, MissingExecutableThrows) {
  EXPECT_THROW(PeerProcess("Z:\\no\\such\\peer_sim.exe", "QUABO.EXE"), std::runtime_error);
  EXPECT_THROW(PeerProcess(g_peerSim, "QUABO.EXE", {"--unknown-option", "x"}), std::runtime_error);
}

TEST_F(PeerSimTest, DestructorEndsTheProcessAndRemovesTheCopy) {
  std::unique_ptr<void, decltype(&CloseHandle)> process(nullptr, &CloseHandle);
  std::string path;
  {
    PeerProcess peer(g_peerSim, "QUABO.EXE");
    process.reset(OpenProcess(SYNCHRONIZE, FALSE, peer.Pid()));
    ASSERT_NE(process.get(), nullptr);
    path = peer.ExePath();
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }
  EXPECT_EQ(WaitForSingleObject(process.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PeerSimTest, ExitsOnQuitAndOnEndOfInput) {
  PeerProcess quits(g_peerSim, "QUABO.EXE");
  EXPECT_TRUE(quits.Command("quit").empty());
  EXPECT_TRUE(quits.WaitForExit(kPeerWaitMs));

  PeerProcess orphan(g_peerSim, "QUABO.EXE");
  EXPECT_FALSE(orphan.WaitForExit(200));
  orphan.CloseInput();
  EXPECT_TRUE(orphan.WaitForExit(kPeerWaitMs));
}

// --- commands --------------------------------------------------------------

TEST_F(PeerSimTest, BadCommandsAreRejectedAndThePeerGoesOn) {
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  for (const char* bad : {"frobnicate", "reply x", "send x y", "send 6 bad\\q", "send 6 cut\\x4", "sendraw 6 414",
                          "sendraw 6 4G", "sendnull 6", "target zz", "on 6 sned 5 x", "lines maybe", "hang -1"}) {
    EXPECT_THROW(peer.Command(bad), std::runtime_error) << bad;
  }
  EXPECT_THROW(peer.Command(""), std::invalid_argument);
  EXPECT_THROW(peer.Command("reply 1\nreply 2"), std::invalid_argument);
  EXPECT_TRUE(peer.Command("reply 3").empty());
}

TEST_F(PeerSimTest, SendDeliversTextPlusNulToTheTarget) {
  TestWindow window(2001);
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  peer.Command("target " + Hex(window.Handle()));

  EXPECT_EQ(peer.Command("send 6 12|{A} x\\r\\n{B}"), std::vector<std::string>{"sent code=6 reply=2001"});
  EXPECT_EQ(peer.Command("send 4 a\\\\b\\x00\\xffc"), std::vector<std::string>{"sent code=4 reply=2001"});
  EXPECT_EQ(peer.Command("send 7"), std::vector<std::string>{"sent code=7 reply=2001"});

  const auto& got = window.Deliveries();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].code, 6u);
  EXPECT_EQ(got[0].bytes, "12|{A} x\r\n{B}\0"s);
  EXPECT_EQ(got[0].cb, got[0].bytes.size());
  EXPECT_EQ(got[0].from, peer.Window());
  EXPECT_EQ(got[1].code, 4u);
  EXPECT_EQ(got[1].bytes, "a\\b\0\xFF"
                          "c\0"s);
  EXPECT_EQ(got[2].code, 7u);
  EXPECT_EQ(got[2].bytes, "\0"s);
  EXPECT_EQ(got[2].cb, 1u);
}

TEST_F(PeerSimTest, SendRawAndSendNullSendExactlyWhatIsAsked) {
  TestWindow window(21);
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  peer.Command("target " + Hex(window.Handle()));

  EXPECT_EQ(peer.Command("sendraw 6 41420043"), std::vector<std::string>{"sent code=6 reply=21"});
  EXPECT_EQ(peer.Command("sendnull 2 0"), std::vector<std::string>{"sent code=2 reply=21"});

  const auto& got = window.Deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].bytes, "AB\0C"s);
  EXPECT_EQ(got[0].cb, 4u);
  EXPECT_EQ(got[1].code, 2u);
  EXPECT_TRUE(got[1].nullData);
  EXPECT_EQ(got[1].cb, 0u);
}

TEST_F(PeerSimTest, SendWithoutAReachableTargetFails) {
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  EXPECT_EQ(peer.Command("send 1 x"), std::vector<std::string>{"sent code=1 failed"});
  HWND gone = nullptr;
  {
    TestWindow window;
    gone = window.Handle();
  }
  peer.Command("target " + Hex(gone));
  EXPECT_EQ(peer.Command("send 1 x"), std::vector<std::string>{"sent code=1 failed"});
}

TEST_F(PeerSimTest, LastSenderBecomesTheTarget) {
  TestWindow first;
  TestWindow second(2000);
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  first.SendText(peer.Window(), 1, "1|Bim Start\0"s);
  second.SendText(peer.Window(), 1, "1|Bim Start\0"s);
  // The recv lines may still be on their way and come back with it too.
  EXPECT_EQ(WithPrefix(peer.Command("send 7"), "sent "), std::vector<std::string>{"sent code=7 reply=2000"});
  EXPECT_TRUE(first.Deliveries().empty());
  ASSERT_EQ(second.Deliveries().size(), 1u);
  EXPECT_EQ(second.Deliveries()[0].code, 7u);
}

// --- what the peer prints for what it receives -----------------------------

TEST_F(PeerSimTest, RecvLineShowsExactBytesCbAndSender) {
  TestWindow window;
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  const std::string from = Hex(window.Handle());

  EXPECT_EQ(window.SendText(peer.Window(), 4, "123|C:\\m x.ifc\0"s), 1u);
  EXPECT_EQ(window.SendText(peer.Window(), 6, "A\0B"s), 1u);
  EXPECT_EQ(window.SendText(peer.Window(), 8, "\x7F\xFF\r\n~ "s), 1u);
  DWORD_PTR result = 0;
  EXPECT_TRUE(window.SendTo(peer.Window(), 2, nullptr, 0, result));

  peer.Command("reply 1");  // all lines of the messages above precede its ack
  const std::vector<std::string> expected = {
      "recv code=4 cb=15 from=" + from + " data=123|C:\\\\m x.ifc\\x00",
      "recv code=6 cb=3 from=" + from + " data=A\\x00B",
      "recv code=8 cb=6 from=" + from + " data=\\x7F\\xFF\\x0D\\x0A~ ",
      "recv code=2 cb=0 from=" + from + " data=null",
  };
  EXPECT_EQ(peer.Received(), expected);

  const auto parsed = ParseRecv(peer.Received()[1]);
  EXPECT_EQ(parsed.code, 6u);
  EXPECT_EQ(parsed.cb, 3u);
  EXPECT_EQ(parsed.bytes, "A\0B"s);
  EXPECT_EQ(parsed.from, reinterpret_cast<uintptr_t>(window.Handle()));
  EXPECT_FALSE(parsed.nullData);
  EXPECT_EQ(ParseRecv(peer.Received()[0]).bytes, "123|C:\\m x.ifc\0"s);
  EXPECT_EQ(ParseRecv(peer.Received()[2]).bytes, "\x7F\xFF\r\n~ "s);
  EXPECT_TRUE(ParseRecv(peer.Received()[3]).nullData);
}

TEST_F(PeerSimTest, ParseRecvRejectsMalformedLines) {
  EXPECT_THROW(ParseRecv("sent code=1 reply=1"), std::invalid_argument);
  EXPECT_THROW(ParseRecv("recv code=x cb=1 from=1 data=a"), std::invalid_argument);
  EXPECT_THROW(ParseRecv("recv code=1 cb=2 from=1 data=a"), std::invalid_argument);  // cb disagrees
  EXPECT_THROW(ParseRecv("recv code=1 cb=1 from=1 data=\\q"), std::invalid_argument);
  EXPECT_THROW(ParseRecv("recv code=1 cb=1 from=1"), std::invalid_argument);
  EXPECT_EQ(ParseRecv("recv code=9 cb=2 from=ab data=\\\\ ").bytes, "\\ ");
}

TEST_F(PeerSimTest, AnswersWithTheConfiguredReply) {
  TestWindow window;
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--reply", "21"});
  EXPECT_EQ(window.SendText(peer.Window(), 1, "1|Bim Start\0"s), 21u);
  peer.Command("reply 2000");
  EXPECT_EQ(window.SendText(peer.Window(), 1, "1|Bim Start\0"s), 2000u);
  peer.Command("reply -1");
  EXPECT_EQ(static_cast<LRESULT>(window.SendText(peer.Window(), 1, "1|Bim Start\0"s)), -1);
}

TEST_F(PeerSimTest, WaitLineReturnsEachMatchOnce) {
  TestWindow window;
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  window.SendText(peer.Window(), 6, "1|a\0"s);
  window.SendText(peer.Window(), 6, "1|b\0"s);
  const auto first = peer.WaitLine("recv code=6");
  const auto second = peer.WaitLine("recv code=6");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(ParseRecv(*first).bytes, "1|a\0"s);
  EXPECT_EQ(ParseRecv(*second).bytes, "1|b\0"s);
  EXPECT_FALSE(peer.WaitLine("recv code=6", 300));
}

// --- reactions -------------------------------------------------------------

TEST_F(PeerSimTest, OnSendsANestedCommandWhileTheSenderWaits) {
  TestWindow window(2001);
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  peer.Command("on 6 send 5 C:\\\\m.ifc");

  EXPECT_EQ(window.SendText(peer.Window(), 6, "1|{G}\0"s), 1u);
  ASSERT_EQ(window.Deliveries().size(), 1u);
  const Delivery& nested = window.Deliveries()[0];
  EXPECT_EQ(nested.code, 5u);
  EXPECT_EQ(nested.bytes, "C:\\m.ifc\0"s);
  EXPECT_EQ(nested.from, peer.Window());
  EXPECT_TRUE(nested.duringOwnSend);
  EXPECT_EQ(peer.WaitLine("sent "), "sent code=5 reply=2001");

  window.SendText(peer.Window(), 4, "1|x\0"s);  // another code: no reaction
  peer.Command("on 6 off");
  window.SendText(peer.Window(), 6, "1|{G}\0"s);
  peer.Command("reply 1");
  EXPECT_EQ(window.Deliveries().size(), 1u);
  EXPECT_EQ(WithPrefix(peer.Lines(), "sent ").size(), 1u);
}

TEST_F(PeerSimTest, GuidListOnCode9PrintsOneLinePerGuid) {
  TestWindow window;
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  window.SendText(peer.Window(), 9, "77|{G1}\r\n{G2}\r\n3|x\0"s);
  window.SendText(peer.Window(), 9, "77|0\0"s);
  window.SendText(peer.Window(), 6, "77|{G4}\0"s);  // not code 9
  peer.Command("lines off");
  window.SendText(peer.Window(), 9, "77|{G5}\0"s);
  peer.Command("lines on");
  window.SendText(peer.Window(), 9, "77|{G6}\0"s);
  peer.Command("reply 1");

  const std::vector<std::string> expected = {"line 1 guid={G1}", "line 2 guid={G2}", "line 3 guid=3|x",
                                             "line 1 guid={G6}"};
  EXPECT_EQ(WithPrefix(peer.Lines(), "line "), expected);
  // Each list follows its own recv line.
  const auto lines = peer.Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_TRUE(lines[1].starts_with("recv code=9 "));
  EXPECT_EQ(lines[2], "line 1 guid={G1}");
}

// --- unresponsive and closed peers -----------------------------------------

TEST_F(PeerSimTest, HangDelaysOnlyTheNextAnswerUntilWoken) {
  TestWindow window;
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  peer.Command("hang 600000");
  DWORD_PTR result = 0;
  EXPECT_FALSE(window.SendTo(peer.Window(), 1, "1|x", 4, result, 200));
  EXPECT_TRUE(peer.WaitLine("recv code=1"));
  // Read by the input thread while the window's thread still hangs.
  peer.Command("wake");
  // The hang is used up: the next message is answered, long before the
  // hang's own end.
  EXPECT_EQ(window.SendText(peer.Window(), 2, "1|y\0"s), 1u);
  // A hang still queued behind a busy period when the wake comes is ended
  // too, though the window's thread takes it only after the wake.
  peer.Command("busy 600000");
  peer.Write("hang 600000");
  peer.Command("wake");
  EXPECT_TRUE(peer.WaitLine("ack hang"));
  EXPECT_EQ(window.SendText(peer.Window(), 3, "1|z\0"s), 1u);
}

TEST_F(PeerSimTest, CloseDestroysTheWindowButKeepsTheProcess) {
  PeerProcess peer(g_peerSim, "QUABO.EXE");
  const HWND w = peer.Window();
  peer.Command("close");
  EXPECT_FALSE(IsWindow(w));
  EXPECT_TRUE(peer.Command("reply 2").empty());
  EXPECT_FALSE(peer.WaitForExit(200));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--peer=")) g_peerSim = arg.substr(7);
  }
  return RUN_ALL_TESTS();
}
