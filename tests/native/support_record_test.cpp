// The support record: its lines, its level, its bound and the event log,
// against the fake system; and that it watches a whole session unchanged.
#include <sstream>
#include <vector>

#include "bridge/support_record.h"
#include "controller_fixture.h"

namespace {

constexpr const char* kPrefix = "2026-12-08 16:45:42.007 [4242] ";

// The log's lines without the time and pid that open each one.
std::vector<std::string> Words(const std::string& log) {
  std::vector<std::string> words;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind(kPrefix, 0), 0u) << line;
    EXPECT_EQ(line.back(), '\r') << line;
    words.push_back(line.substr(std::string(kPrefix).size(), line.size() - std::string(kPrefix).size() - 1));
  }
  return words;
}

}  // namespace

class Record : public StartedPlugin {
 protected:
  Record() {
    AddTwoPeers();
    record.Start();
    system.supportLog.clear();
  }
  void StartWithRecord() {
    plugin::StartPlugin(system, viewer, kPluginHandle, kHost, kTestHandlers, TestControllerInstance(), nullptr,
                        &record);
  }
  bridge::SupportRecord record{system};
};

TEST_F(Record, StartLineNamesPluginViewerAndCodePage) {
  bridge::SupportRecord fresh(system);
  fresh.Start();
  EXPECT_EQ(system.supportLog, std::string(kPrefix) +
                                   "start: VidudUDE.DLL 1.0.0.0 at C:\\Plugins\\VidudUDE.DLL; viewer "
                                   "C:\\Viewer\\BIMVision.exe 2.27.1.0; ANSI code page 1252; log level normal\r\n");
}

TEST_F(Record, LevelComesFromPolicyBeforeUserAndOffWritesNothing) {
  using bridge::LogLevel;
  EXPECT_EQ(bridge::ChooseLogLevel(std::nullopt, std::nullopt), LogLevel::kNormal);
  EXPECT_EQ(bridge::ChooseLogLevel(std::nullopt, 2), LogLevel::kVerbose);
  EXPECT_EQ(bridge::ChooseLogLevel(0, 2), LogLevel::kOff);
  EXPECT_EQ(bridge::ChooseLogLevel(1, 0), LogLevel::kNormal);
  EXPECT_EQ(bridge::ChooseLogLevel(7, std::nullopt), LogLevel::kVerbose);

  system.policyLogLevel = 0;
  system.userLogLevel = 2;
  bridge::SupportRecord off(system);
  off.Start();
  off.Connected(kPeerA, true);
  try {
    throw platform::ContainedFault(0xC0000005);
  } catch (...) {
    off.Fault("SendSelection");
  }
  off.Stop();
  EXPECT_EQ(system.supportLog, "");
  // The event log hears of failures at every level.
  EXPECT_EQ(system.systemEvents.size(), 1u);
}

TEST_F(Record, SessionLeavesOneLinePerEventAndChangesNothing) {
  viewer.AddObject(1, {L"guid-1"});
  viewer.AddObject(2, {L"guid-2"});
  viewer.insideCall = [this](const std::string& name) {
    if (name == "load_ifc") system.tickMs += 40;
  };
  StartWithRecord();
  viewer.modelHandler();
  Connect(kPeerB);
  EXPECT_EQ(Command(kCommandSelect, "guid-2\r\nnone\r\nguid-1", kPeerB), 2001);
  EXPECT_EQ(Command(kCommandLoadModel, "  C:\\Modelle\\Haus\xE4.ifc\r\n", kPeerB), 2001);
  Connect(kPeerA);
  // One of two going leaves the link; the last one going ends it.
  system.goneWindows.insert(kPeerB);
  system.FireTimers();
  system.goneWindows.insert(kPeerA);
  system.FireTimers();
  system.goneWindows.erase(kPeerA);
  Connect(kPeerA);
  EXPECT_EQ(Command(kCommandDisconnect, ""), 2001);
  EXPECT_EQ(system.closesPosted, std::vector<fakes::WindowHandle>{kHost});
  EXPECT_EQ(viewer.selection, (std::vector<fakes::ObjectId>{2, 1}));
  const std::string b = "quabo_bimproject.exe pid 12 (window 0x20902)";
  const std::string a = "QUABO.EXE pid 11 (window 0x901)";
  EXPECT_EQ(Words(system.supportLog),
            (std::vector<std::string>{
                "sent 1 to " + a + ", 15 bytes: reply 100",
                "sent 1 to " + b + ", 15 bytes: reply 200",
                "connect from " + b,
                "command 1 from " + b + ": reply 2001 after 0 ms",
                "command 6 from " + b + ": reply 2001 after 0 ms; 3 GUIDs, 2 found",
                "command 5 from " + b + ": reply 2001 after 40 ms; path \"C:\\Modelle\\Haus\xC3\xA4.ifc\"",
                "connect from " + a,
                "command 1 from " + a + ": reply 2001 after 0 ms",
                "the connected peer " + b + " has gone; the others stay connected",
                "link ended: the connected peer " + a + " has gone",
                "connect from " + a,
                "command 1 from " + a + ": reply 2001 after 0 ms",
                "disconnect: the link ends for " + a + "; the viewer is asked to close",
                "command 2 from " + a + ": reply 2001 after 0 ms",
            }));
}

// With five programs connected a sixth is refused; a window that was not
// connected asking to leave, one that leaves and the disconnect that ends
// the link for the others each leave their line.
TEST_F(Record, RefusedConnectLeavesAndDisconnectNameTheirPeers) {
  for (std::uint32_t pid = 13; pid <= 16; ++pid) {
    system.processes.push_back({pid, "QUABO.EXE"});
    system.windows.push_back({0x890 + pid, pid, "TMainForm"});
  }
  StartWithRecord();
  for (const fakes::WindowHandle peer : std::vector<fakes::WindowHandle>{kPeerA, kPeerB, 0x89D, 0x89E, 0x89F}) {
    Connect(peer);
  }
  system.supportLog.clear();
  EXPECT_EQ(Command(kCommandConnect, "", 0x8A0), 22);
  EXPECT_EQ(Command(kCommandLeave, "", 0x8A0), 2001);
  EXPECT_EQ(Command(kCommandLeave, "", 0x89D), 2001);
  EXPECT_EQ(Command(kCommandDisconnect, "", kPeerA), 2001);
  const std::string sixth = "QUABO.EXE pid 16 (window 0x8a0)";
  const std::string third = "QUABO.EXE pid 13 (window 0x89d)";
  const std::string a = "QUABO.EXE pid 11 (window 0x901)";
  const std::string b = "quabo_bimproject.exe pid 12 (window 0x20902)";
  EXPECT_EQ(Words(system.supportLog),
            (std::vector<std::string>{
                "connect from " + sixth + " refused: five programs are connected already",
                "command 1 from " + sixth + ": reply 22 after 0 ms",
                sixth + " asked to leave but was not connected",
                "command 12 from " + sixth + ": reply 2001 after 0 ms",
                third + " left the link",
                "command 12 from " + third + ": reply 2001 after 0 ms",
                "disconnect: the link ends for " + a + ", " + b +
                    ", QUABO.EXE pid 14 (window 0x89e), QUABO.EXE pid 15 (window 0x89f); the viewer is asked to close",
                "command 2 from " + a + ": reply 2001 after 0 ms",
            }));
}

// Two peers gone in one tick: the first one's line does not say the other
// stays.
TEST_F(Record, PeersGoneTogetherEndTheLinkOnTheLastOnesLine) {
  StartWithRecord();
  Connect(kPeerA);
  Connect(kPeerB);
  system.supportLog.clear();
  system.goneWindows.insert({kPeerA, kPeerB});
  system.FireTimers();
  EXPECT_EQ(Words(system.supportLog), (std::vector<std::string>{
                                          "the connected peer QUABO.EXE pid 11 (window 0x901) has gone",
                                          "link ended: the connected peer quabo_bimproject.exe pid 12 (window "
                                          "0x20902) has gone",
                                      }));
}

TEST_F(Record, VerboseLevelAddsThePayloadsFirstBytes) {
  system.userLogLevel = 2;
  record.Start();
  system.supportLog.clear();
  const std::string payload = "4242|a\r\n\x01" + std::string(300, 'x');
  const platform::CopyDataRecord data{6, static_cast<std::uint32_t>(payload.size() + 1), payload.c_str()};
  record.Sent({kPeerA, 11, data, 1, platform::SendEnd::kAnswered, 1});
  EXPECT_EQ(Words(system.supportLog),
            std::vector<std::string>{"sent 6 to QUABO.EXE pid 11 (window 0x901), 310 bytes: reply 1; payload "
                                     "\"4242|a\\r\\n\\x01" +
                                     std::string(247, 'x') + "...\""});
}

TEST_F(Record, SendOutcomesInWords) {
  const std::string payload = "4242|x";
  const platform::CopyDataRecord data{9, 7, payload.c_str()};
  record.Sent({kPeerA, 11, data, 0, platform::SendEnd::kTimedOut, 10015});
  record.Sent({kPeerA, 11, data, 0, platform::SendEnd::kHung, 0});
  record.Sent({kPeerA, 0, data, 0, platform::SendEnd::kWindowGone, 3});
  record.Sent({0xFFFF, 0, data, 0, platform::SendEnd::kRefused, 0});
  EXPECT_EQ(Words(system.supportLog),
            (std::vector<std::string>{
                "sent 9 to QUABO.EXE pid 11 (window 0x901), 7 bytes: timed out after 10015 ms",
                "sent 9 to QUABO.EXE pid 11 (window 0x901), 7 bytes: not sent: the peer is hung",
                "sent 9 to unknown program pid 0 (window 0x901), 7 bytes: window gone",
                "sent 9 to unknown program pid 0 (window 0xffff), 7 bytes: not sent: not a peer's window",
            }));
}

TEST_F(Record, FaultsAreLoggedAndReachTheEventLogOncePerMinuteOfEachKind) {
  const auto fault = [this](std::uint32_t code) {
    try {
      throw platform::ContainedFault(code);
    } catch (...) {
      record.Fault("SendSelection");
    }
  };
  fault(0xC0000005);
  system.tickMs += bridge::kSystemEventIntervalMs - 1;
  fault(0xC00000FD);
  try {
    throw std::runtime_error("no window");
  } catch (...) {
    record.StartFailed();
  }
  system.tickMs += 1;
  fault(0xC0000005);
  const std::string first = "fault contained in SendSelection: exception 0xC0000005 at VidudUDE.DLL+0x1a2b";
  const std::string failedStart = "start failed, the plug-in stays inactive: no window";
  EXPECT_EQ(
      Words(system.supportLog),
      (std::vector<std::string>{first, "fault contained in SendSelection: exception 0xC00000FD at VidudUDE.DLL+0x1a2b",
                                failedStart, first}));
  EXPECT_EQ(system.systemEvents, (std::vector<std::pair<platform::SystemEvent, std::string>>{
                                     {platform::SystemEvent::kFaultContained, first},
                                     {platform::SystemEvent::kStartFailed, failedStart},
                                     {platform::SystemEvent::kFaultContained, first},
                                 }));
}

TEST_F(Record, ContainedFailureInAnOperationIsLoggedBesideItsBox) {
  StartWithRecord();
  Connect();
  system.sendThrows = true;
  viewer.selectionHandler();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(Words(system.supportLog).back(), "fault contained in Message_Sender: delivery failed");
}

TEST_F(Record, LinesThatCannotBeWrittenAreCountedAndToldWhenWritingWorksAgain) {
  bridge::SupportRecord fresh(system);
  system.supportLogOpenFails = true;
  fresh.Start();
  system.supportLogOpenFails = false;
  system.supportLogWriteFails = true;
  fresh.Stop();
  system.supportLogWriteFails = false;
  fresh.Stop();
  EXPECT_EQ(Words(system.supportLog), (std::vector<std::string>{"2 earlier lines could not be written", "stop"}));
}

TEST_F(Record, LogStaysWithinItsBoundAndTheOlderFileTakesItsContent) {
  const std::string line = std::string(kPrefix) + "stop\r\n";
  system.supportLog = std::string(bridge::kSupportLogLimit - line.size(), '.');
  record.Stop();
  EXPECT_EQ(system.supportLog.size(), bridge::kSupportLogLimit);
  EXPECT_EQ(system.olderSupportLog, "");
  const std::string full = system.supportLog;
  record.Stop();
  EXPECT_EQ(system.olderSupportLog, full);
  // A line waits for the lock, and is lost when it does not come.
  system.supportLogLockFails = true;
  record.Stop();
  system.supportLogLockFails = false;
  record.Stop();
  EXPECT_EQ(Words(system.supportLog),
            (std::vector<std::string>{"stop", "1 earlier lines could not be written", "stop"}));
}
