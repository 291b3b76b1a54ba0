// The plug-in driven out of order, one test for each case that the
// lifecycle at the top of plugin/exports.cpp names.
#include <thread>
#include <vector>

#include "plugin_session.h"

using OutOfOrder = PluginSession;

TEST_F(OutOfOrder, SecondLoadWithoutUnloadLeavesOneWindowThatTakesCommands) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  const HWND first = PluginWindow();
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  const auto windows = PluginWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_FALSE(IsWindow(first));
  // Two starts, then the goodbye: the order of the messages is the point.
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
  const auto second = NextMessage(peer);
  EXPECT_EQ(second.bytes, Payload("Bim Start"));
  EXPECT_EQ(reinterpret_cast<HWND>(second.from), windows[0]);
  EXPECT_EQ(SendCommand(peer, "send 1"), 2001);
  UnloadPlugin();
  EXPECT_TRUE(PluginWindows().empty());
  EXPECT_FALSE(ClassRegistered(plugin->Module()));
  EXPECT_EQ(NextMessage(peer).bytes, Payload("BIM end"));
}

TEST_F(OutOfOrder, UnloadWithoutLoadDoesNothingAndALaterLoadWorks) {
  auto& peer = StartPeer("QUABO.EXE");
  plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(VIDUDUDE_DLL));
  ASSERT_TRUE(plugin->Unload());
  Settle(peer);
  EXPECT_TRUE(peer.Received().empty());
  EXPECT_TRUE(PluginWindows().empty());
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
  EXPECT_EQ(PluginWindows().size(), 1u);
}

// A stop on another thread cannot destroy the window before its thread
// runs messages again, so its class is still registered; a start before
// that takes the class over.
TEST_F(OutOfOrder, LoadAfterAStopThatLeftItsWindowStartsAgain) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  const HWND left = PluginWindow();
  std::thread([&] { plugin->Unload(); }).join();
  ASSERT_TRUE(IsWindow(left));
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(PluginWindows().size(), 2u);
  // Start, goodbye, start again: the order of the messages is the point.
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
  EXPECT_EQ(NextMessage(peer).bytes, Payload("BIM end"));
  const auto start = NextMessage(peer);
  EXPECT_EQ(start.bytes, Payload("Bim Start"));
  EXPECT_NE(reinterpret_cast<HWND>(start.from), left);
  // Waiting for the peer ran this thread's messages: the old window is gone.
  EXPECT_EQ(PluginWindows(), std::vector<HWND>{reinterpret_cast<HWND>(start.from)});
  EXPECT_EQ(SendCommand(peer, "send 1"), 2001);
  UnloadPlugin();
  EXPECT_TRUE(PluginWindows().empty());
  EXPECT_FALSE(ClassRegistered(plugin->Module()));
}

TEST_F(OutOfOrder, FreeLibraryWithoutUnloadTakesTheWindowAndItsClass) {
  auto& peer = StartPeer("QUABO.EXE");
  const HMODULE module = LoadLibraryW(WinePath(VIDUDUDE_DLL).c_str());
  ASSERT_NE(module, nullptr);
  const auto load = reinterpret_cast<viewer_abi::on_plugin_load_fn>(
      reinterpret_cast<void*>(GetProcAddress(module, "on_plugin_load")));
  ASSERT_NE(load, nullptr);
  load(kPluginHandle, 0, hostWindow.Handle());
  EXPECT_EQ(NextMessage(peer).bytes, Payload("Bim Start"));
  ASSERT_TRUE(FreeLibrary(module));
  EXPECT_TRUE(PluginWindows().empty());
  EXPECT_FALSE(ClassRegistered(module));
  // The peer still holds the old window: its command reaches nothing, the
  // host runs on, and no goodbye was sent.
  EXPECT_EQ(SendCommand(peer, "send 1"), -1);
  EXPECT_EQ(peer.Received().size(), 1u);
  LoadPlugin();
  EXPECT_EQ(PluginWindows().size(), 1u);
}

TEST_F(OutOfOrder, ProcessEndingWithoutUnloadDestroysNoWindow) {
  const std::wstring host = L"\"" + WinePath(EXIT_HOST_EXE) + L"\" \"" + WinePath(VIDUDUDE_DLL) + L"\"";
  // The hook sees a destruction when there is one: at FreeLibrary.
  const auto freed = RunProgram(host + L" free");
  EXPECT_EQ(freed.exitCode, 0u);
  EXPECT_EQ(freed.output, "started\ndestroyed\nfreed\n");
  const auto ended = RunProgram(host + L" exit");
  EXPECT_EQ(ended.exitCode, 7u);
  EXPECT_EQ(ended.output, "started\n");
}
