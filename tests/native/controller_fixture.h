// A started plug-in on fake system and viewer, with handlers that reach the
// controller the way the library's own handlers do.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "bridge/controller.h"
#include "fakes.h"
#include "peer_link/command_dispatch.h"
#include "plugin/plugin_lifecycle.h"

using peer_link::kCommandConnect;
using peer_link::kCommandDisconnect;
using peer_link::kCommandLeave;
using peer_link::kCommandLinesButton;
using peer_link::kCommandLoadModel;
using peer_link::kCommandPing;
using peer_link::kCommandRestoreView;
using peer_link::kCommandSelect;
using peer_link::kCommandSendModelPath;
using peer_link::kCommandSendSelection;

// The test's stand-in for the library's controller instance.
std::unique_ptr<bridge::btBIMQuabo>& TestControllerInstance();
extern const plugin::Handlers kTestHandlers;

class StartedPlugin : public ::testing::Test {
 protected:
  static constexpr fakes::WindowHandle kHost = 0x500;
  static constexpr std::uint32_t kViewerPid = 4242;
  static constexpr std::int32_t kPluginHandle = 77;
  static constexpr fakes::WindowHandle kPeerA = 0x901;
  // B's handle uses the upper half too, as the system's window handles do.
  static constexpr fakes::WindowHandle kPeerB = 0x20902;

  StartedPlugin();
  ~StartedPlugin() override { TestControllerInstance().reset(); }

  // Two running peers, A then B in snapshot order, each with a main window.
  void AddTwoPeers();
  void Start();
  bridge::btBIMQuabo& Controller() { return *TestControllerInstance(); }
  std::intptr_t Command(std::uintptr_t code, const std::string& text, fakes::WindowHandle from = kPeerA) {
    return system.DeliverText(from, code, text);
  }
  void Connect(fakes::WindowHandle peer = kPeerA) { Command(kCommandConnect, "", peer); }
  std::string Sent(std::uint32_t code, std::size_t nth = 0);

  fakes::FakePlatform system;
  fakes::FakeViewer viewer;
};
