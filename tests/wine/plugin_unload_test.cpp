// The viewer stopping the plug-in while plug-in code is still on its thread's
// stack: behind an error box, and from a peer's disconnect nested in a send
// that a box's loop dispatches, the viewer then freeing the library. The
// goodbye goes out once, the host lives on, the heap stays sound, and a
// fresh start works. Such a stop keeps the library loaded for good, so these
// tests load a copy of their own.
#include <atomic>
#include <thread>

#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

namespace {

using viewer_sim::FaultKind;

bool HeapsValid() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE heap : heaps) {
    if (!HeapValidate(heap, 0, nullptr)) return false;
  }
  return true;
}

// Counts the access violations raised in this process while it lives, also
// those that a frame of the system catches and hides.
class AccessViolations {
 public:
  AccessViolations() : handler_(AddVectoredExceptionHandler(1, &AccessViolations::Seen)) { count_ = 0; }
  ~AccessViolations() { RemoveVectoredExceptionHandler(handler_); }
  AccessViolations(const AccessViolations&) = delete;
  AccessViolations& operator=(const AccessViolations&) = delete;
  int Count() const { return count_; }

 private:
  static LONG CALLBACK Seen(EXCEPTION_POINTERS* exception) noexcept {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) ++count_;
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline std::atomic<int> count_{0};
  void* handler_;
};

}  // namespace

class UnloadWhileRunning : public PluginSession {
 protected:
  std::size_t Received(PeerProcess& peer, std::uint32_t code) {
    Settle(peer);
    std::size_t n = 0;
    for (const auto& line : peer.Received()) n += ParseRecv(line).code == code ? 1 : 0;
    return n;
  }
  // A fresh start under another handle: every call carries the new one.
  void ExpectFreshStartWorks(PeerProcess& peer) {
    boxCatcher->whileShown = nullptr;
    hostWindow.onClose = nullptr;
    ASSERT_TRUE(plugin->Load(kPluginHandle + 1, 0, hostWindow.Handle()));
    EXPECT_EQ(Received(peer, 1), 2u);
    sim.LoadModel(DEMO_MODEL);
    EXPECT_EQ(SendCommand(peer, "send 6 " + Guid(6)), 2001);
    EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{Id(6)});
  }
};

TEST_F(UnloadWhileRunning, BehindAnErrorBox) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin(DllOfThisTest());
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  const HWND window = PluginWindow();
  long replyAfterStop = 0;
  std::size_t callsAfterStop = 0;
  std::size_t callsAtEnd = 0;
  boxCatcher->whileShown = [&] {
    ASSERT_TRUE(plugin->Unload());
    replyAfterStop = SendFromThread(window, 9, std::string("active\0", 7));
    callsAfterStop = sim.Log().All().size();
    sim.UserSelect({Id(4)});
    callsAtEnd = sim.Log().All().size();
  };
  sim.ArmFault("filter_properties", 1, FaultKind::ForeignException);
  sim.UserSelect({Id(3)});
  EXPECT_EQ(sim.MessageBoxes().size(), 1u);
  EXPECT_EQ(replyAfterStop, 2000);
  EXPECT_EQ(callsAtEnd, callsAfterStop + 1);  // the host's own selection only
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_EQ(Received(peer, 2), 1u);
  EXPECT_EQ(Received(peer, 6), 0u);
  EXPECT_TRUE(HeapsValid());
  ExpectFreshStartWorks(peer);
}

TEST_F(UnloadWhileRunning, DisconnectNestedInASendThenAnErrorBoxThenTheLibraryFreed) {
  const std::wstring dll = DllOfThisTest();
  auto& leaving = StartPeer("QUABO.EXE");
  auto& viewing = StartPeer("QUABO.EXE");
  ASSERT_EQ(SnapshotOrder({leaving.Pid(), viewing.Pid()}).front(), leaving.Pid());
  LoadPlugin(dll);
  // The model path goes to both: the first peer disconnects inside it, which
  // posts WM_CLOSE to the viewer; the second sends a view state whose
  // viewer call fails, and the error box's loop dispatches the WM_CLOSE.
  leaving.Command("on 4 send 2");
  viewing.Command("on 4 send 8 0A");
  sim.ArmFault("set_view_state", 1, FaultKind::AccessViolation);
  // The viewer's close handler stops the plug-in and frees its library.
  hostWindow.onClose = [&] {
    plugin->Unload();
    plugin.reset();
  };
  boxCatcher->whileShown = [] { viewer_sim::PumpMessages(std::chrono::milliseconds(300)); };
  sim.LoadModel(DEMO_MODEL);
  ASSERT_EQ(plugin, nullptr);
  EXPECT_EQ(hostWindow.CloseRequests(), 1);
  EXPECT_EQ(sim.MessageBoxes().size(), 1u);
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_EQ(Received(leaving, 2), 1u);
  EXPECT_EQ(Received(viewing, 2), 1u);
  EXPECT_TRUE(HeapsValid());
  leaving.Command("on 4 off");
  viewing.Command("on 4 off");
  plugin = std::make_unique<viewer_sim::PluginHost>(dll);
  ExpectFreshStartWorks(viewing);
}

// The viewer faults as the start registers a handler; behind the box that
// says the start failed, the viewer's close handler stops the plug-in and
// frees its library. The box returns into the plug-in's code all the same.
TEST_F(UnloadWhileRunning, BehindTheStartFailedBoxThenTheLibraryFreed) {
  const std::wstring dll = DllOfThisTest();
  plugin = std::make_unique<viewer_sim::PluginHost>(dll);
  ASSERT_TRUE(plugin->Loaded());
  const HMODULE module = plugin->Module();
  hostWindow.onClose = [&] {
    plugin->Unload();
    FreeLibrary(module);
  };
  boxCatcher->whileShown = [&] { SendMessageW(hostWindow.Handle(), WM_CLOSE, 0, 0); };
  sim.ArmFault("on_selection_change", 1, FaultKind::ForeignException);
  const AccessViolations violations;
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(violations.Count(), 0);
  EXPECT_EQ(hostWindow.CloseRequests(), 1);
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "VidudUDE.DLL konnte nicht gestartet werden.");
  // The stop kept the library: the viewer's one reference is gone, the
  // image is not.
  EXPECT_EQ(GetModuleHandleW(dll.c_str()), module);
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_TRUE(HeapsValid());
}

// Only the window's own thread may destroy it: it goes when this thread
// next runs its messages, without any code of the plug-in. Freed after
// that, the library takes the window's class with it: a later build loaded
// at the same address, its procedure elsewhere, could not take it over.
TEST_F(UnloadWhileRunning, FromAnotherThreadTheWindowGoesAtTheNextMessageLoopTurn) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  const HWND window = PluginWindow();
  const HMODULE module = plugin->Module();
  std::thread([&] { plugin->Unload(); }).join();
  EXPECT_EQ(Received(peer, 2), 1u);
  viewer_sim::PumpMessages(std::chrono::milliseconds(50));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(PluginWindows().empty());
  plugin.reset();
  EXPECT_FALSE(ClassRegistered(module));
  LoadPlugin();
  const auto windows = PluginWindows();
  ASSERT_EQ(windows.size(), 1u);
  // What a peer started now does (docs/protocol.md): it finds the one window.
  auto& late = StartPeer("QUABO_LATE.EXE");
  const auto found = late.Command("target find " + std::to_string(GetCurrentProcessId()));
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.front(), "found hwnd=" + Hex(windows[0]));
  EXPECT_EQ(SendCommand(late, "send 1"), 2001);
}

// The viewer frees the library before this thread runs its messages again:
// neither the close that ends the window nor a peer's message reaches the
// library's code.
TEST_F(UnloadWhileRunning, FromAnotherThreadThenFreedTheWindowRunsNoCodeOfTheLibrary) {
  LoadPlugin();
  const HWND window = PluginWindow();
  std::thread([&] { plugin->Unload(); }).join();
  plugin.reset();
  const AccessViolations violations;
  EXPECT_EQ(SendFromThread(window, 9, std::string("active\0", 7)), 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(violations.Count(), 0);
}
