// The peer SDK's link client (peer_sdk/vidudude_link.c, compiled here as
// C++) in this process, the peer, against the real plug-in in the viewer
// simulator, a process of its own driven through its console: it finds the
// viewer, connects, finds it again after the viewer restarted, gives up on
// a busy viewer while the peer's window goes on handling messages, and stops
// within its bound while a load waits.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peer_driver.h"
#include "peer_sdk/vidudude_link.c"

namespace {

constexpr UINT kLinkMessage = WM_APP + 1;
constexpr UINT kProbe = WM_APP + 2;

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

// The viewer simulator with the plug-in, as tools/viewer.sh starts it.
std::unique_ptr<PeerProcess> StartViewer() {
  auto viewer = std::make_unique<PeerProcess>(
      VIEWER_SIM_EXE, "viewer_sim.exe", std::vector<std::string>{"--console", "--plugin", WindowsPath(VIDUDUDE_DLL)},
      false);
  viewer->Write("echo started");
  if (!viewer->WaitLine("started")) throw std::runtime_error("the viewer simulator did not start");
  return viewer;
}

class LinkClient : public ::testing::Test {
 protected:
  LinkClient() {
    WNDCLASSA type{};
    type.lpfnWndProc = Proc;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "LinkClientTestPeer";
    RegisterClassA(&type);
    window = CreateWindowExA(0, type.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                             type.hInstance, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~LinkClient() override {
    Stop();
    DestroyWindow(window);
  }

  DWORD Stop() {
    const DWORD reply = vidudude_link_stop(link);
    link = nullptr;
    return reply;
  }

  // Waits, handling this thread's messages, for the event number n (from 1).
  const VIDUDUDE_LINK_EVENT& Event(std::size_t n) {
    PumpUntil([&] { return events.size() >= n; }, kPeerWaitMs);
    if (events.size() < n) throw std::runtime_error("no event " + std::to_string(n));
    return events[n - 1];
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LinkClient*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    VIDUDUDE_MESSAGE received{};
    VIDUDUDE_LINK_EVENT event{};
    if (self && message == WM_COPYDATA && vidudude_link_receive(self->link, wParam, lParam, &received)) {
      self->codes.push_back(received.code);
      return TRUE;
    }
    if (self && message == kLinkMessage && vidudude_link_event(lParam, &event)) {
      self->events.push_back(event);
      return 0;
    }
    if (self && message == kProbe) {
      self->probedAfter = self->events.size();
      return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

  HWND window = nullptr;
  VIDUDUDE_LINK* link = nullptr;
  std::vector<VIDUDUDE_LINK_EVENT> events;
  std::vector<DWORD> codes;  // of the plug-in's messages received
  std::size_t probedAfter = 0;
};

TEST_F(LinkClient, FindsThePluginConnectsAndConnectsAgainAfterTheViewerRestarted) {
  link = vidudude_link_start(window, kLinkMessage);
  ASSERT_NE(link, nullptr);
  // No viewer runs: a command finds no plug-in.
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, nullptr, 1, 0));
  EXPECT_EQ(Event(1).kind, DWORD{VIDUDUDE_LINK_NO_PLUGIN});
  EXPECT_EQ(Event(1).tag, ULONG_PTR{1});

  auto viewer = StartViewer();
  const auto& connected = Event(2);
  ASSERT_EQ(connected.kind, DWORD{VIDUDUDE_LINK_CONNECTED});
  EXPECT_EQ(connected.viewerPid, viewer->Pid());
  const HWND first = connected.pluginWindow;
  // In order, each with its tag; the plug-in's messages meanwhile arrive too.
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_SEND_MODEL_PATH, "", 2, 0));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, "", 3, 0));
  EXPECT_EQ(Event(3).tag, ULONG_PTR{2});
  EXPECT_EQ(Event(3).reply, DWORD{VIDUDUDE_REPLY_MODEL_NOT_LOADED});
  EXPECT_EQ(Event(4).tag, ULONG_PTR{3});
  EXPECT_EQ(Event(4).kind, DWORD{VIDUDUDE_LINK_REPLY});
  EXPECT_EQ(Event(4).reply, DWORD{VIDUDUDE_REPLY_TAKEN});

  viewer->Write("quit");
  ASSERT_TRUE(viewer->WaitForExit(kPeerWaitMs));
  EXPECT_EQ(Event(5).kind, DWORD{VIDUDUDE_LINK_VIEWER_GONE});
  EXPECT_EQ(Event(5).pluginWindow, first);
  EXPECT_EQ(codes.back(), DWORD{VIDUDUDE_MSG_END});

  viewer = StartViewer();
  ASSERT_EQ(Event(6).kind, DWORD{VIDUDUDE_LINK_CONNECTED});
  EXPECT_EQ(Event(6).viewerPid, viewer->Pid());
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, "", 4, 0));
  EXPECT_EQ(Event(7).reply, DWORD{VIDUDUDE_REPLY_TAKEN});
  // The leave is answered (by a plug-in that predates it, with 2000), and
  // the viewer stays open.
  EXPECT_NE(Stop(), 0u);
  viewer->Write("echo still open");
  EXPECT_TRUE(viewer->WaitLine("still open"));
}

TEST_F(LinkClient, ThePeersWindowGoesOnHandlingMessagesWhileABusyViewerLetsCommandsWaitOrTimeOut) {
  auto viewer = StartViewer();
  link = vidudude_link_start(window, kLinkMessage);
  ASSERT_EQ(Event(1).kind, DWORD{VIDUDUDE_LINK_CONNECTED});
  viewer->Write("hang");
  ASSERT_TRUE(viewer->WaitLine("the viewer hangs"));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, "", 6, 0));
  // Another thread sends to the peer's window while the command waits, as
  // the plug-in does during a load; it is answered before the command is.
  DWORD_PTR probed = 0;
  ULONGLONG answeredInMs = 0;
  std::thread sender([&] {
    const ULONGLONG sent = GetTickCount64();
    SendMessageTimeoutA(window, kProbe, 0, 0, SMTO_NORMAL, kPeerWaitMs, &probed);
    answeredInMs = GetTickCount64() - sent;
  });
  PumpUntil([&] { return probed != 0; }, kPeerWaitMs);
  sender.join();
  ASSERT_EQ(probed, 1u);
  std::printf("the peer's window answered in %llu ms while its command waited\n", answeredInMs);
  EXPECT_EQ(probedAfter, 1u) << "the command had its outcome before the window answered";
  // Meanwhile a newer select takes the place of one that waits.
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_SELECT, "0", 10, 0));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_SELECT, "0", 11, VIDUDUDE_LINK_REPLACE));
  EXPECT_EQ(Event(2).kind, DWORD{VIDUDUDE_LINK_REPLACED});
  EXPECT_EQ(Event(2).tag, ULONG_PTR{10});
  viewer->Write("echo awake");
  EXPECT_EQ(Event(3).tag, ULONG_PTR{6});
  EXPECT_EQ(Event(3).kind, DWORD{VIDUDUDE_LINK_REPLY});
  EXPECT_EQ(Event(4).tag, ULONG_PTR{11});

  // A viewer busy for longer than the wait: the command times out.
  vidudude_link_timeouts(link, 1000, 0);
  viewer->Write("hang");
  ASSERT_TRUE(viewer->WaitLine("the viewer hangs"));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, "", 7, 0));
  EXPECT_EQ(Event(5).kind, DWORD{VIDUDUDE_LINK_TIMED_OUT});
  EXPECT_EQ(Event(5).tag, ULONG_PTR{7});
  viewer->Write("echo awake again");
  ASSERT_TRUE(viewer->WaitLine("awake again"));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_PING, "", 8, 0));
  EXPECT_EQ(Event(6).kind, DWORD{VIDUDUDE_LINK_REPLY});
  EXPECT_EQ(Event(6).tag, ULONG_PTR{8});
  // Whether the command that timed out was carried out differs: under Wine
  // never, on Windows once the viewer handles messages again.
  viewer->Write("echo done");
  viewer->WaitLine("done");
  const auto lines = viewer->Lines();
  const auto pings = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("plug-in <- peer    command 7 ") != std::string::npos;
  });
  std::printf("the command that timed out was %scarried out\n", pings > 2 ? "" : "not ");
}

TEST_F(LinkClient, AStopDuringAPendingLoadReturnsWithinItsBound) {
  auto viewer = StartViewer();
  link = vidudude_link_start(window, kLinkMessage);
  ASSERT_EQ(Event(1).kind, DWORD{VIDUDUDE_LINK_CONNECTED});
  viewer->Write("hang");
  ASSERT_TRUE(viewer->WaitLine("the viewer hangs"));
  ASSERT_TRUE(vidudude_link_send(link, VIDUDUDE_CMD_LOAD_MODEL, "C:\\Projekte\\Haus.ifc", 5, 0));
  // The worker has taken the load off the queue: it waits for the reply.
  ASSERT_TRUE(PumpUntil(
      [&] {
        EnterCriticalSection(&link->lock);
        const bool taken = link->rules.first == nullptr;
        LeaveCriticalSection(&link->lock);
        return taken;
      },
      kPeerWaitMs));
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Stop(), 0u) << "a hanging viewer cannot answer the leave";
  const ULONGLONG took = GetTickCount64() - start;
  std::printf("the stop took %llu ms (bound %d ms; the load would wait %d ms)\n", took, VIDUDUDE_LINK_STOP_MS,
              VIDUDUDE_LOAD_TIMEOUT_MS);
  // Its own deadline ends it; the margin is for a machine whose cores are busy.
  EXPECT_LT(took, ULONGLONG{10 * VIDUDUDE_LINK_STOP_MS});
  viewer->Write("echo awake");
  EXPECT_TRUE(viewer->WaitLine("awake"));
}

}  // namespace
