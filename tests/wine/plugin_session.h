// A viewer session under Wine: the simulated viewer in this process, the
// real VidudUDE.DLL loaded into it, and real peer processes.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "peer_driver.h"
#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

// A Unix path of the build tree as Wine reaches it.
std::wstring WinePath(const std::string& unixPath);
std::string WinePathA(const std::string& unixPath);

// The executable names of the given processes in the order a Toolhelp
// snapshot lists them.
std::vector<DWORD> SnapshotOrder(const std::vector<DWORD>& pids);

struct ProcessResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};
// Runs a program to its end (bounded), pumping this thread's messages, and
// returns its exit code and output.
ProcessResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = kPeerWaitMs);

// Arms a failure of one platform operation in the test build of the plug-in
// (FAULTY_DLL, tests/wine_tools/faulty_platform.cpp) for as long as it lives.
class InjectedFault {
 public:
  explicit InjectedFault(const char* operation) { SetEnvironmentVariableA("VIDUDUDE_FAULT", operation); }
  ~InjectedFault() { SetEnvironmentVariableA("VIDUDUDE_FAULT", nullptr); }
  InjectedFault(const InjectedFault&) = delete;
  InjectedFault& operator=(const InjectedFault&) = delete;
};

class PluginSession : public ::testing::Test {
 protected:
  static constexpr std::int32_t kPluginHandle = 0x51;

  PluginSession();
  ~PluginSession() override;

  PeerProcess& StartPeer(const std::string& exeName, const std::vector<std::string>& args = {});
  void LoadPlugin(const std::wstring& dll = WinePath(VIDUDUDE_DLL));
  // A copy of the DLL for this test alone, for a test after which the
  // plug-in keeps its library loaded until the process ends: the tests
  // after it still load and free the DLL itself.
  static std::wstring DllOfThisTest();
  void UnloadPlugin();

  // "<this process's id>|<text>\0", what every outgoing message carries.
  static std::string Payload(const std::string& text);
  // The next message the peer received (waits for it), taken apart.
  static ReceivedMessage NextMessage(PeerProcess& peer);
  // The next message of that code the peer receives (waits for it), taken
  // apart; messages of other codes before it are passed over. Throws, naming
  // what came instead, when none comes. A test about one message waits with
  // this, so that another message sent before it does not break the test.
  static ReceivedMessage NextMessageOfCode(PeerProcess& peer, std::uint32_t code);
  // A text as peer_sim's send command reads it: backslashes doubled.
  static std::string Escaped(const std::string& text);
  // Sends a command from the peer to the plug-in and returns the reply.
  static long SendCommand(PeerProcess& peer, const std::string& commandLine);
  // Lets the plug-in and the peers exchange what is pending.
  static void Settle(PeerProcess& peer);

  // Sends WM_COPYDATA with exactly these bytes and that wParam from another
  // thread of this process while this thread pumps; returns the reply.
  static long SendFromThread(HWND target, std::uintptr_t code, const std::string& bytes, std::uintptr_t wParam = 0);
  // The plug-in's hidden window, found by its class like a peer could.
  static HWND PluginWindow();
  // Every window of the plug-in's class in this process, as the protocol's
  // late-peer search sees them.
  static std::vector<HWND> PluginWindows();
  // Whether the plug-in's window class is registered under that module.
  static bool ClassRegistered(HMODULE module);
  static std::string Hex(HWND window);
  std::int32_t ButtonId(const std::wstring& text) const;
  viewer_sim::Button ButtonAt(std::size_t index) const;
  // The GUID and the object id of the n-th object of the loaded model.
  std::string Guid(std::size_t n) const;
  viewer_sim::ObjectId Id(std::size_t n) const;

  viewer_sim::ViewerSim& sim;
  std::unique_ptr<viewer_sim::MessageBoxCatcher> boxCatcher;
  viewer_sim::HostWindow hostWindow;
  std::vector<std::unique_ptr<PeerProcess>> peers;
  std::unique_ptr<viewer_sim::PluginHost> plugin;
};
