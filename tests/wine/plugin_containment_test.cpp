// A contained fault leaves nothing behind on the viewer's thread: the stack
// can overflow again and be contained again, the FPU and the SSE unit are
// as the viewer had them, and a fault in the plug-in's own code ends only
// the plug-in frame it was raised in.
#include <cmath>
#include <cstdint>

#include "plugin_session.h"

namespace {

using viewer_sim::FaultKind;

// Below this frame, the thread's stack still has the guard page that makes
// the system raise the next overflow instead of ending the process.
bool StackHasGuardPage() {
  volatile char here = 0;
  MEMORY_BASIC_INFORMATION info{};
  if (!VirtualQuery(const_cast<char*>(&here), &info, sizeof(info))) return false;
  const void* const stack = info.AllocationBase;
  while (VirtualQuery(static_cast<char*>(info.BaseAddress) - 1, &info, sizeof(info)) && info.AllocationBase == stack) {
    if (info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) != 0) return true;
  }
  return false;
}

// The x87 environment as FNSTENV stores it in 32-bit mode.
struct X87Environment {
  std::uint16_t control, unused1, status, unused2, tags, unused3;
  std::uint32_t pointers[4];
};

X87Environment ReadX87() {
  X87Environment environment{};
  // FNSTENV masks every exception after the store; FLDENV puts them back.
  asm volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
  return environment;
}

std::uint32_t ReadMxcsr() {
  std::uint32_t mxcsr = 0;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

// In the SSE unit, whatever the rest of this test is compiled for; the
// compiler picks the register, so nothing it keeps in one is overwritten.
[[gnu::target("sse")]] float SseQuotient(float dividend, float divisor) {
  asm volatile("divss %1, %0" : "+x"(dividend) : "xm"(divisor));
  return dividend;
}

}  // namespace

using FaultsLeaveNothingBehind = PluginSession;

TEST_F(FaultsLeaveNothingBehind, StackOverflowInTheViewerFourTimesOver) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  NextMessageOfCode(peer, 1);
  sim.LoadModel(DEMO_MODEL);
  NextMessageOfCode(peer, 4);
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  ASSERT_TRUE(StackHasGuardPage());
  // Each check before the next overflow: without its guard page the thread
  // would end the process there.
  sim.ArmFault("filter_properties", 1, FaultKind::StackOverflow);
  sim.UserSelect({Id(2)});
  ASSERT_TRUE(StackHasGuardPage());
  sim.ArmFault("select_many", 1, FaultKind::StackOverflow);
  EXPECT_EQ(SendCommand(peer, "send 6 " + Guid(4)), 2001);
  ASSERT_TRUE(StackHasGuardPage());
  sim.ArmFault("set_view_state", 1, FaultKind::StackOverflow);
  EXPECT_EQ(SendCommand(peer, "send 8 0A1B"), 2001);
  ASSERT_TRUE(StackHasGuardPage());
  // What reaches the plug-in is the viewer's own exception, not the
  // overflow: the guard page is set again all the same.
  sim.ArmFault("select_many", 1, FaultKind::StackOverflowRaisedAgain);
  EXPECT_EQ(SendCommand(peer, "send 6 " + Guid(4)), 2001);
  ASSERT_TRUE(StackHasGuardPage());
  EXPECT_EQ(sim.Log().Count("viewer_unwound"), 4u);
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "SELECTED");
  EXPECT_EQ(boxes[1].caption, "Plugin VidudUDE.DLL");
}

TEST_F(FaultsLeaveNothingBehind, NineFaultsAfterAnFpuLoadLeaveTheHostsArithmeticExact) {
  LoadPlugin();
  const HWND window = PluginWindow();
  std::uint16_t ours = 0;
  asm volatile("fnstcw %0" : "=m"(ours));
  const struct RestoreFpu {
    std::uint16_t control;
    ~RestoreFpu() { asm volatile("fninit\n\tfldcw %0" : : "m"(control)); }
  } restore{ours};
  // A Borland-style viewer: invalid operation, division by zero and
  // overflow raise.
  const std::uint16_t borland = 0x1332;
  asm volatile("fldcw %0" : : "m"(borland));
  // As the processor keeps it (it sets a reserved bit).
  std::uint16_t hosts = 0;
  asm volatile("fnstcw %0" : "=m"(hosts));
  for (int i = 0; i < 9; ++i) {
    sim.ArmFault("get_all_objects_id", 1, FaultKind::AccessViolationAfterFpuLoad);
    EXPECT_EQ(SendFromThread(window, 6, std::string("g\0", 2)), 2001);
  }
  const X87Environment after = ReadX87();
  EXPECT_EQ(after.control, hosts);
  // Every register empty; anything else would make the next load raise.
  ASSERT_EQ(after.tags, 0xFFFF);
  asm volatile("fnclex");
  volatile double two = 2.0;
  volatile double three = 3.0;
  const double product = two * three;
  std::uint16_t status = 0;
  asm volatile("fnstsw %0" : "=m"(status));
  EXPECT_EQ(product, 6.0);
  EXPECT_EQ(status & 0x3F, 0);
  EXPECT_EQ(sim.Log().Count("viewer_unwound"), 9u);
}

TEST_F(FaultsLeaveNothingBehind, AFaultAfterTheViewerChangedMxcsrLeavesTheHostsSseArithmetic) {
  LoadPlugin();
  const HWND window = PluginWindow();
  const struct RestoreMxcsr {
    std::uint32_t mxcsr;
    ~RestoreMxcsr() { asm volatile("ldmxcsr %0" : : "m"(mxcsr)); }
  } restore{ReadMxcsr()};
  // Not the default, which a guard could set instead of the host's own:
  // rounding down, every exception masked.
  const std::uint32_t hosts = 0x3F80;
  asm volatile("ldmxcsr %0" : : "m"(hosts));
  sim.ArmFault("get_all_objects_id", 1, FaultKind::AccessViolationAfterMxcsrChange);
  EXPECT_EQ(SendFromThread(window, 6, std::string("g\0", 2)), 2001);
  EXPECT_EQ(sim.Log().Count("viewer_unwound"), 1u);
  constexpr std::uint32_t kStickyFlags = 0x3F;
  ASSERT_EQ(ReadMxcsr() & ~kStickyFlags, hosts);
  // Masked as the host had it: a NaN, not a raise.
  EXPECT_TRUE(std::isnan(SseQuotient(0.0F, 0.0F)));
}

// The viewer hands out a path that cannot be read: the model-load handler,
// run by the viewer inside the plug-in's load_ifc, faults on it. The handler
// ends there, the viewer's call returns, and the plug-in counts its frames
// right: the stop destroys the window, the next start makes one.
TEST_F(FaultsLeaveNothingBehind, FaultInAHandlerEndsThatHandlerOnly) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  NextMessageOfCode(peer, 1);
  sim.Config().unreadableLoadedPath = true;
  EXPECT_EQ(SendCommand(peer, "send 5 " + Escaped(WinePathA(DEMO_MODEL))), 2001);
  EXPECT_EQ(sim.Log().Count("item_command"), 1u);
  UnloadPlugin();
  EXPECT_TRUE(PluginWindows().empty());
  sim.Config().unreadableLoadedPath = false;
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  EXPECT_EQ(PluginWindows().size(), 1u);
  UnloadPlugin();
  EXPECT_TRUE(PluginWindows().empty());
}

// Inside the index build a fault of the plug-in's own code is the build's
// failure: its report, and the model path sent after it.
TEST_F(FaultsLeaveNothingBehind, FaultInTheIndexBuildIsReportedAsItsFailure) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  NextMessageOfCode(peer, 1);
  sim.Config().unreadableValues = true;
  sim.LoadModel(DEMO_MODEL);
  const auto boxes = sim.MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Object_ID <=> GUID");
  EXPECT_EQ(boxes[0].text,
            "Fehler beim Aufbau der oGuidObjIDList\\nAnzahl: " + std::to_string(sim.CurrentModel().objects.size()));
  NextMessageOfCode(peer, 4);
}

// An overflow in the plug-in's own code that only the outermost plug-in
// frame contains: that frame returns straight to the viewer, whose thread
// must have its guard page again, or the viewer's own next overflow would
// end the process.
TEST_F(FaultsLeaveNothingBehind, OverflowContainedByTheOutermostFrameLeavesTheGuardPageSet) {
  auto& peer = StartPeer("QUABO.EXE");
  plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(FAULTY_DLL));
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  NextMessageOfCode(peer, 1);
  {
    // The model path's search for peers, outside the send's own containment.
    const InjectedFault fault("overflow:walk");
    sim.LoadModel(DEMO_MODEL);
  }
  EXPECT_TRUE(StackHasGuardPage());
  EXPECT_TRUE(sim.MessageBoxes().empty());
}
