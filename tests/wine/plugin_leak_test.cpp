// Nothing leaks: across many plug-in lifetimes, model loads and commands in
// one viewer process, handles, windows and heap memory return to where they
// started.
#include <algorithm>
#include <atomic>
#include <thread>

#include "plugin_session.h"

namespace {

// What the process holds. Wine reports no handle or GUI object counts, so
// the next free handle value (handles are reused lowest first) and this
// thread's windows stand in for them.
struct Resources {
  DWORD handleCount = 0;
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
  std::uintptr_t nextHandle = 0;
  int threadWindows = 0;
  std::size_t heapBytes = 0;
};

std::size_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  std::size_t bytes = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return bytes;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

std::uintptr_t NextFreeHandle() {
  HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const auto value = reinterpret_cast<std::uintptr_t>(probe);
  CloseHandle(probe);
  return value;
}

// A handle that the system or an ending thread holds for a moment raises one
// probe by a slot; a leaked handle raises every probe. So the lowest of a
// few probes, a little apart, is taken.
std::uintptr_t SettledNextHandle() {
  std::uintptr_t lowest = NextFreeHandle();
  for (int i = 0; i < 4; ++i) {
    viewer_sim::PumpMessages(std::chrono::milliseconds(20));
    lowest = std::min(lowest, NextFreeHandle());
  }
  return lowest;
}

Resources Measure() {
  Resources r;
  GetProcessHandleCount(GetCurrentProcess(), &r.handleCount);
  r.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  r.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  r.nextHandle = SettledNextHandle();
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&r.threadWindows));
  r.heapBytes = HeapBytesInUse();
  return r;
}

// Heap use may drift by allocator bookkeeping; a leak of even a few bytes
// per round shows far above this over the rounds below.
constexpr std::size_t kHeapSlack = 64 * 1024;

void ExpectSame(const Resources& before, const Resources& after) {
  EXPECT_EQ(after.handleCount, before.handleCount);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.userObjects, before.userObjects);
  EXPECT_EQ(after.threadWindows, before.threadWindows);
  EXPECT_LT(after.heapBytes, before.heapBytes + kHeapSlack) << "before " << before.heapBytes;
}

}  // namespace

using NoLeaks = PluginSession;

// Loading and freeing a DLL that links the C++ runtime statically costs the
// host a little under Wine (the runtime's unwinder registration keeps a lock
// per load), so the plug-in's lifetimes are measured against as many plain
// loads of the same DLL: its own work must add nothing to that.
TEST_F(NoLeaks, ThousandPluginLifetimesInOneViewer) {
  constexpr int kRounds = 1000;
  const std::wstring dll = WinePath(VIDUDUDE_DLL);
  auto lifetime = [&] {
    viewer_sim::PluginHost host(dll);
    ASSERT_TRUE(host.Load(kPluginHandle, 0, hostWindow.Handle()));
    sim.UserSelect({});
    ASSERT_TRUE(host.Unload());
  };
  auto controlLoad = [&] {
    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
  };
  for (int i = 0; i < 5; ++i) {
    lifetime();
    controlLoad();
  }
  sim.Reset();
  const Resources start = Measure();
  for (int i = 0; i < kRounds; ++i) controlLoad();
  const Resources afterControl = Measure();
  for (int i = 0; i < kRounds; ++i) {
    lifetime();
    sim.Reset();
  }
  const Resources afterPlugin = Measure();

  const auto growth = [](std::uintptr_t a, std::uintptr_t b) {
    return static_cast<long long>(b) - static_cast<long long>(a);
  };
  EXPECT_EQ(afterPlugin.handleCount - afterControl.handleCount, afterControl.handleCount - start.handleCount);
  EXPECT_EQ(growth(afterControl.nextHandle, afterPlugin.nextHandle), growth(start.nextHandle, afterControl.nextHandle));
  EXPECT_EQ(afterPlugin.gdiObjects, start.gdiObjects);
  EXPECT_EQ(afterPlugin.userObjects, start.userObjects);
  EXPECT_EQ(afterPlugin.threadWindows, start.threadWindows);
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_LT(growth(afterControl.heapBytes, afterPlugin.heapBytes),
            growth(start.heapBytes, afterControl.heapBytes) + static_cast<long long>(kHeapSlack));
}

TEST_F(NoLeaks, ThousandModelLoadsAndTenThousandCommands) {
  LoadPlugin();
  const HWND target = PluginWindow();
  ASSERT_NE(target, nullptr);
  sim.LoadModel(DEMO_MODEL);
  // Commands come from another thread, so that they cross a message queue
  // as a peer's do; this thread pumps while it waits.
  auto sendCommands = [&](int count) {
    std::atomic<bool> done{false};
    std::thread sender([&] {
      const std::string texts[] = {"active", "0A1B2C", "nothing", "0", ""};
      const std::uintptr_t codes[] = {9, 8, 6, 6, 1};
      for (int i = 0; i < count; ++i) {
        const std::string& text = texts[i % 5];
        COPYDATASTRUCT data{codes[i % 5], static_cast<DWORD>(text.size() + 1), const_cast<char*>(text.c_str())};
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kPeerWaitMs, &reply);
      }
      done = true;
    });
    viewer_sim::PumpUntil([&] { return done.load(); }, std::chrono::minutes(5));
    sender.join();
  };
  sendCommands(50);
  for (int i = 0; i < 5; ++i) sim.LoadModel(DEMO_MODEL);
  sim.Log().Clear();
  auto half = [&] {
    for (int i = 0; i < 500; ++i) {
      sim.LoadModel(DEMO_MODEL);
      if (i % 100 == 0) sim.Log().Clear();
    }
    sendCommands(5000);
    sim.Log().Clear();
  };
  const Resources before = Measure();
  half();
  const Resources middle = Measure();
  half();
  const Resources after = Measure();
  ExpectSame(before, after);
  // A leaked handle comes with the work, so it shows in both halves. Wine
  // may open one handle of its own at some point of a long run (an object it
  // creates on first need): one slot in one half, none in the other.
  const long long firstHalf = static_cast<long long>(middle.nextHandle) - static_cast<long long>(before.nextHandle);
  const long long secondHalf = static_cast<long long>(after.nextHandle) - static_cast<long long>(middle.nextHandle);
  EXPECT_EQ(std::min(firstHalf, secondHalf), 0) << firstHalf << " then " << secondHalf;
  EXPECT_LE(firstHalf + secondHalf, 4) << firstHalf << " then " << secondHalf;
  EXPECT_EQ(sim.MessageBoxes().size(), 0u);
}
