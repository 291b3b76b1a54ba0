// The support log and the event log under Wine: what a broken session
// leaves in the user's log, a log that cannot be written, two viewers
// writing one log, and the entries the system's event log receives.
#include <shlobj.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring LocalAppData() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

std::wstring LogPath(const wchar_t* file = L"VidudUDE.log") { return LocalAppData() + L"\\VidudUDE\\" + file; }

std::string ReadFileText(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The index of the first line at or after from that contains words; the
// test fails when there is none.
std::size_t Find(const std::vector<std::string>& lines, const std::string& words, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].find(words) != std::string::npos) return i;
  }
  ADD_FAILURE() << "no line with \"" << words << "\" from line " << from;
  return lines.size();
}

const std::regex kLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] (.*)\r)");

// The user's local application data in another folder, through the
// registry value the shell reads, for as long as the object lives.
class RedirectedLocalAppData {
 public:
  explicit RedirectedLocalAppData(const std::wstring& folder) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    DWORD size = static_cast<DWORD>(old_.size() * sizeof(wchar_t));
    hadOld_ = RegQueryValueExW(key_, kValue, nullptr, &oldType_, reinterpret_cast<BYTE*>(old_.data()), &size) ==
              ERROR_SUCCESS;
    oldSize_ = size;
    RegSetValueExW(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }
  ~RedirectedLocalAppData() {
    if (hadOld_) {
      RegSetValueExW(key_, kValue, 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()), oldSize_);
    } else {
      RegDeleteValueW(key_, kValue);
    }
    RegCloseKey(key_);
  }
  RedirectedLocalAppData(const RedirectedLocalAppData&) = delete;
  RedirectedLocalAppData& operator=(const RedirectedLocalAppData&) = delete;

 private:
  static constexpr const wchar_t* kValue = L"Local AppData";
  HKEY key_ = nullptr;
  std::vector<wchar_t> old_ = std::vector<wchar_t>(MAX_PATH * 2);
  DWORD oldSize_ = 0;
  DWORD oldType_ = 0;
  bool hadOld_ = false;
};

}  // namespace

class SupportLog : public PluginSession {
 protected:
  SupportLog() {
    DeleteFileW(LogPath().c_str());
    DeleteFileW(LogPath(L"VidudUDE.old.log").c_str());
  }
  std::vector<std::string> LogLines() { return Lines(ReadFileText(LogPath())); }
};

TEST_F(SupportLog, HungPeerContainedFaultAndRefusedConnectLeaveTheirLines) {
  auto& peer = StartPeer("QUABO.EXE");
  peer.Command("hang 600000");
  LoadPlugin();
  // Given up at the send's limit, then not waited for while it stays hung.
  sim.LoadModel(DEMO_MODEL);
  peer.Command("wake");
  Settle(peer);
  const std::string self = std::to_string(GetCurrentProcessId());
  // A connect whose window is the viewer's own is not taken as the peer.
  EXPECT_EQ(SendFromThread(PluginWindow(), 1, "", reinterpret_cast<std::uintptr_t>(hostWindow.Handle())), 2001);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  sim.ArmFault("filter_properties", 1, viewer_sim::FaultKind::AccessViolation);
  sim.UserSelect({Id(2)});
  ASSERT_EQ(sim.MessageBoxes().size(), 1u);
  UnloadPlugin();

  const auto lines = LogLines();
  for (const auto& line : lines) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, kLine)) << line;
    EXPECT_EQ(parts[1], self) << line;
  }
  const std::string peerName = "QUABO.EXE pid " + std::to_string(peer.Pid()) + " (window 0x" + Hex(peer.Window()) + ")";
  std::size_t at = Find(lines, "start: VidudUDE.DLL " + std::to_string(VIDUDUDE_VERSION_MAJOR) + "." +
                                   std::to_string(VIDUDUDE_VERSION_MINOR));
  EXPECT_NE(lines[at].find("; ANSI code page " + std::to_string(GetACP()) + "; log level normal"), std::string::npos);
  at = Find(lines,
            "sent 1 to " + peerName + ", " + std::to_string(Payload("Bim Start").size()) + " bytes: timed out after 1",
            at);
  at = Find(lines, "sent 4 to " + peerName, at);
  EXPECT_NE(lines[at].find("bytes: not sent: the peer is hung"), std::string::npos) << lines[at];
  at = Find(lines, "connect from plugin_e2e_tests.exe pid " + self, at);
  EXPECT_NE(lines[at].find(": not a peer's window"), std::string::npos) << lines[at];
  at = Find(lines, "command 1 from plugin_e2e_tests.exe pid " + self, at);
  at = Find(lines, "connect from " + peerName, at);
  at = Find(lines,
            "fault contained in SendSelection: exception 0xC0000005 in a viewer function, at "
            "plugin_e2e_tests.exe+0x",
            at);
  at = Find(lines, "sent 2 to " + peerName, at);
  EXPECT_NE(lines[at].find(": reply "), std::string::npos) << lines[at];
  Find(lines, "] stop", at);
}

// The user's local application data redirected to a folder where the log's
// folder cannot be made: the session goes on exactly as with a log.
TEST_F(SupportLog, LogThatCannotBeWrittenChangesNothingElse) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring profile = std::wstring(temp) + L"vidudude_no_log_" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(profile.c_str(), nullptr));
  // A file where the log's folder would be.
  const std::wstring blocker = profile + L"\\VidudUDE";
  CloseHandle(CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  const RedirectedLocalAppData redirect(profile);
  ASSERT_EQ(LocalAppData(), profile);

  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
  sim.LoadModel(DEMO_MODEL);
  EXPECT_EQ(NextMessage(peer).code, 4u);
  EXPECT_EQ(SendCommand(peer, "send 1"), 2001);
  sim.UserSelect({Id(2)});
  const auto selection = NextMessage(peer);
  EXPECT_EQ(selection.code, 6u);
  EXPECT_EQ(selection.bytes, Payload(Guid(2)));
  EXPECT_EQ(SendCommand(peer, "send 5 " + Escaped("Z:\\nowhere.ifc")), 21);
  UnloadPlugin();
  EXPECT_EQ(NextMessage(peer).bytes, Payload("BIM end"));
  EXPECT_TRUE(sim.MessageBoxes().empty());

  DeleteFileW(blocker.c_str());
  // Nothing else was made there.
  EXPECT_TRUE(RemoveDirectoryW(profile.c_str())) << "the plug-in left something in the redirected folder";
}

// Two viewers append to one log at once, across the log's bound: no line is
// torn, none is lost, and each file stays within the bound.
TEST_F(SupportLog, TwoViewersWriteOneLogWithNoTornLine) {
  constexpr int kCommands = 1000;
  // Started so far from the bound that the log starts afresh once while both
  // write.
  CreateDirectoryW((LocalAppData() + L"\\VidudUDE").c_str(), nullptr);
  {
    std::string filler;
    while (filler.size() < 1024 * 1024 - 100 * 1024) filler += "filler, so that the log nears its bound\r\n";
    std::ofstream(LogPath().c_str(), std::ios::binary) << filler;
  }
  const std::string go = "VidudUDE.LogHosts." + std::to_string(GetCurrentProcessId());
  const HANDLE start = CreateEventA(nullptr, TRUE, FALSE, go.c_str());
  const std::wstring command = L"\"" + WinePath(LOG_HOST_EXE) + L"\" \"" + WinePath(VIDUDUDE_DLL) + L"\" " +
                               std::to_wstring(kCommands) + L" " + viewer_sim::ToWide(go);
  std::vector<ProcessResult> results(2);
  std::thread second([&] { results[1] = RunProgram(command); });
  std::thread first([&] { results[0] = RunProgram(command); });
  // Both have started their plug-in once their start lines are in.
  PumpUntil([&] { return ReadFileText(LogPath()).find("start:") != ReadFileText(LogPath()).rfind("start:"); },
            kPeerWaitMs);
  SetEvent(start);
  first.join();
  second.join();
  CloseHandle(start);
  EXPECT_EQ(results[0].exitCode, 0u);
  EXPECT_EQ(results[1].exitCode, 0u);

  const std::string older = ReadFileText(LogPath(L"VidudUDE.old.log"));
  const std::string current = ReadFileText(LogPath());
  EXPECT_LE(older.size(), 1024u * 1024u);
  EXPECT_LE(current.size(), 1024u * 1024u);
  EXPECT_FALSE(older.empty());
  std::map<std::string, std::map<std::string, int>> kinds;
  for (const auto& line : Lines(older + current)) {
    if (line.rfind("filler", 0) == 0) continue;
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, kLine)) << line;
    const std::string words = parts[2];
    ++kinds[parts[1]][words.substr(0, words.find_first_of(":("))];
  }
  ASSERT_EQ(kinds.size(), 2u);
  for (const auto& [pid, counts] : kinds) {
    EXPECT_EQ(counts, (std::map<std::string, int>{
                          {"start", 1}, {"command 7 from unknown program pid 0 ", kCommands}, {"stop", 1}}))
        << pid;
  }
}

// The event log entries as Wine's event log channel shows them: run by the
// entry plugin_event_log, which sends this process's debug output to the
// file that VIDUDUDE_WINE_DEBUG_LOG names.
TEST_F(SupportLog, FailuresReachTheEventLogWithTheirLinesWords) {
  char debugLog[MAX_PATH] = {};
  if (GetEnvironmentVariableA("VIDUDUDE_WINE_DEBUG_LOG", debugLog, sizeof debugLog) == 0) {
    GTEST_SKIP() << "needs Wine's eventlog channel in VIDUDUDE_WINE_DEBUG_LOG";
  }
  auto& peer = StartPeer("QUABO.EXE");
  {
    const InjectedFault fault("pid");
    LoadPlugin(WinePath(FAULTY_DLL));
    UnloadPlugin();
  }
  LoadPlugin();
  ASSERT_EQ(NextMessage(peer).code, 1u);
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  for (int i = 0; i < 2; ++i) {
    sim.ArmFault("filter_properties", 1, viewer_sim::FaultKind::AccessViolation);
    sim.UserSelect({Id(2)});
  }
  const auto lines = LogLines();
  const std::string failed = lines.at(Find(lines, "start failed"));
  const std::string fault = lines.at(Find(lines, "fault contained"));
  const auto debug = Lines(ReadFileText(WinePath(debugLog)));
  std::vector<std::string> events;
  bool sourceNamed = false;
  for (const auto& line : debug) {
    if (line.find(":eventlog:ReportEventW ") != std::string::npos) events.push_back(line.substr(line.find(':') + 1));
    if (line.find("RegisterEventSourceW ((null),L\"VidudUDE\")") != std::string::npos) sourceNamed = true;
  }
  EXPECT_TRUE(sourceNamed);
  const auto words = [](const std::string& line) {
    std::smatch parts;
    return std::regex_match(line, parts, kLine) ? parts[2].str() : line;
  };
  // One warning for the two faults: at most one a minute.
  EXPECT_EQ(events, (std::vector<std::string>{
                        "err:eventlog:ReportEventW L\"" + words(failed) + "\"",
                        "warn:eventlog:ReportEventW L\"" + words(fault) + "\"",
                    }));
}
