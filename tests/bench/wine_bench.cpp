// Benchmarks of the 32-bit build under Wine. One send to a peer through the
// plug-in's real platform layer, with the peer connected and without (then
// every send runs discovery), beside a bare Win32 sender talking to the same
// receiver process: the ratio is the plug-in's own share. And the GUID
// index's time and heap where pointers and std::string are 32-bit, beside
// its build of before (index_before.h) and the obvious vector of
// (std::string, id) pairs. And one viewer call through
// the plug-in's exception-frame guard beside a plain call through the bound
// pointer. Reports medians.
#include <windows.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridge/controller.h"
#include "host_api/viewer_binding.h"
#include "peer_link/peer_message.h"
#include "platform/foreign_call_guard.h"
#include "platform/win32_handles.h"
#include "platform/win32_platform.h"
#include "tests/bench/index_before.h"
#include "tests/bench/memory_viewer.h"
#include "tools/viewer_sim/viewer_sim.h"

namespace {

// What the 32-bit Windows heap charges for a block: the size rounded up to
// 8 bytes and an 8-byte header.
std::size_t gRequestedBytes = 0;
std::size_t gChargedBytes = 0;
// The most requested bytes held at once since the last reset.
std::size_t gPeakBytes = 0;

std::size_t Charged(std::size_t size) { return ((size + 7) & ~std::size_t{7}) + 8; }

}  // namespace

void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  const std::size_t held = _msize(block);
  gRequestedBytes += held;
  gChargedBytes += Charged(held);
  if (gRequestedBytes > gPeakBytes) gPeakBytes = gRequestedBytes;
  return block;
}

void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  const std::size_t held = _msize(block);
  gRequestedBytes -= held;
  gChargedBytes -= Charged(held);
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

using bench::ObjectId;

double Seconds() {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// timed() measures one run itself, so that set-up stays outside the clock.
template <class Timed>
double Median(int runs, Timed&& timed) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(timed());
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[static_cast<std::size_t>(runs / 2)];
}

void Require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

std::string WindowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

HANDLE NoHandle() noexcept { return nullptr; }
void CloseKernelHandle(HANDLE handle) noexcept { CloseHandle(handle); }
using UniqueKernelHandle = platform::UniqueHandle<HANDLE, NoHandle, CloseKernelHandle>;

// The receiver, copied to a fresh directory as QUABO.EXE and started there.
class ReceiverProcess {
 public:
  explicit ReceiverProcess(const std::string& exe) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "vidudude_bench_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
    copy_ = dir_ + "\\QUABO.EXE";
    Require(CopyFileA(WindowsPath(exe).c_str(), copy_.c_str(), FALSE), "cannot copy the receiver");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string command = "\"" + copy_ + "\"";
    Require(CreateProcessA(copy_.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &startup,
                           &info),
            "cannot start the receiver");
    process_ = UniqueKernelHandle(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    pid_ = info.dwProcessId;
    for (int wait = 0; wait < 2000 && window_ == nullptr; ++wait) {
      Sleep(10);
      window_ = FindWindowExA(nullptr, nullptr, "TMainForm", nullptr);
      DWORD owner = 0;
      if (window_ != nullptr) GetWindowThreadProcessId(window_, &owner);
      if (owner != pid_) window_ = nullptr;
    }
    Require(window_ != nullptr, "the receiver's window did not appear");
  }
  ~ReceiverProcess() {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
    DeleteFileA(copy_.c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  ReceiverProcess(const ReceiverProcess&) = delete;
  ReceiverProcess& operator=(const ReceiverProcess&) = delete;

  HWND Window() const { return window_; }

 private:
  std::string dir_;
  std::string copy_;
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
};

std::string GuidLines(const std::vector<std::wstring>& guids, std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    if (i) text += "\r\n";
    text += bench::Narrow(guids[i % guids.size()]);
  }
  return text;
}

struct SendCase {
  const char* name;
  std::size_t lines;
  int runs;
};

struct SendTimes {
  std::vector<double> bare, connected, logged, discovering;
  // Per run: the logged send's time less the connected send's beside it.
  std::vector<double> logCost;
  bool delivered = true;
};

double MedianOf(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
  return times[times.size() / 2];
}

void SendBenchmarks(const std::string& receiverExe) {
  ReceiverProcess receiver(receiverExe);
  const auto peer = reinterpret_cast<platform::WindowHandle>(receiver.Window());
  platform::Win32Platform system;
  bench::MemoryViewer viewer({});
  // One controller that the peer has connected to, one that no peer has:
  // the second looks for peer processes and windows before every send.
  bridge::btBIMQuabo connected(system, viewer);
  bridge::btBIMQuabo discovering(system, viewer);
  // The same connected send with the support record on, at its default
  // level, on a platform of its own: the record watches every send of its
  // platform.
  platform::Win32Platform loggingSystem;
  bridge::SupportRecord supportRecord(loggingSystem);
  supportRecord.Start();
  Require(supportRecord.Level() == bridge::LogLevel::kNormal, "the bench's prefix sets a log level");
  bridge::btBIMQuabo logged(loggingSystem, viewer);
  logged.SetSupportRecord(&supportRecord);
  for (bridge::btBIMQuabo* controller : {&connected, &logged, &discovering}) {
    controller->SetProcessId(GetCurrentProcessId());
  }
  const std::string start = peer_link::FramePayload(1, "Start");
  COPYDATASTRUCT command{peer_link::kCodeStart, static_cast<DWORD>(start.size()), const_cast<char*>(start.data())};
  for (bridge::btBIMQuabo* controller : {&connected, &logged}) {
    SendMessageA(reinterpret_cast<HWND>(controller->MsgWindow()), WM_COPYDATA, static_cast<WPARAM>(peer),
                 reinterpret_cast<LPARAM>(&command));
    Require(controller->ConnectedPeer() == peer, "the start command did not connect");
  }
  platform::UniqueWindow sender(
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  Require(static_cast<bool>(sender), "cannot create the bare sender's window");

  const auto guids = bench::MakeGuids(1000);
  // Wine delivers no cross-process message of about 2 MB or more, so the
  // largest list measured has 8 * 10^4 GUIDs, not 10^5.
  const SendCase cases[] = {{"100 B", 4, 301}, {"100 KB", 4267, 101}, {"1.9 MB", 80000, 31}};
  std::printf("\nOne WM_COPYDATA until the reply, median over runs, the four senders taking turns (32-bit, Wine);\n"
              "\"logged\" is the connected send with the support record on (one line written per send);\n"
              "\"log cost\" is the median of the runs' differences, logged less connected, over connected\n");
  std::printf("%-8s %9s %5s %10s %13s %7s %10s %8s %15s %8s %10s\n", "payload", "bytes", "runs", "bare us",
              "connected us", "ratio", "logged us", "log cost", "discovering us", "ratio", "delivered");
  for (const SendCase& c : cases) {
    const std::string text = GuidLines(guids, c.lines);
    const std::string payload = peer_link::FramePayload(GetCurrentProcessId(), text);
    SendTimes times;
    const auto through = [&](bridge::btBIMQuabo& controller, std::vector<double>& out) {
      std::string copy = text;
      const double begin = Seconds();
      const std::uint32_t reply = controller.Message_Sender(std::move(copy), peer_link::kCodeSelection);
      out.push_back(Seconds() - begin);
      times.delivered = times.delivered && reply == 1;
    };
    for (int run = 0; run < c.runs; ++run) {
      COPYDATASTRUCT record{peer_link::kCodeSelection, static_cast<DWORD>(payload.size()),
                            const_cast<char*>(payload.data())};
      DWORD_PTR reply = 0;
      const double begin = Seconds();
      SendMessageTimeoutA(receiver.Window(), WM_COPYDATA, reinterpret_cast<WPARAM>(sender.get()),
                          reinterpret_cast<LPARAM>(&record), SMTO_NORMAL | SMTO_ABORTIFHUNG, platform::kSendTimeoutMs,
                          &reply);
      times.bare.push_back(Seconds() - begin);
      times.delivered = times.delivered && reply == 1;
      // Back to back, the first of the two taking turns: the load of the
      // machine drifts less within a pair than over the run.
      if (run % 2 == 0) {
        through(connected, times.connected);
        through(logged, times.logged);
      } else {
        through(logged, times.logged);
        through(connected, times.connected);
      }
      times.logCost.push_back(times.logged.back() - times.connected.back());
      through(discovering, times.discovering);
    }
    const double bare = MedianOf(times.bare);
    const double direct = MedianOf(times.connected);
    const double withLog = MedianOf(times.logged);
    const double logCost = MedianOf(times.logCost);
    const double discovered = MedianOf(times.discovering);
    std::printf("%-8s %9zu %5d %10.1f %13.1f %6.2fx %10.1f %7.1f%% %15.1f %7.2fx %10s\n", c.name, payload.size(),
                c.runs, bare * 1e6, direct * 1e6, direct / bare, withLog * 1e6, logCost / direct * 100.0,
                discovered * 1e6, discovered / bare, times.delivered ? "yes" : "no");
  }
  // The record's line alone, as the logged send writes it.
  const std::string framed = peer_link::FramePayload(GetCurrentProcessId(), "0");
  const platform::CopyDataRecord sentRecord{peer_link::kCodeSelection, static_cast<std::uint32_t>(framed.size()),
                                            framed.data()};
  const platform::SendReport report{peer,
                                    static_cast<std::uint32_t>(loggingSystem.WindowProcessId(peer)),
                                    sentRecord,
                                    1,
                                    platform::SendEnd::kAnswered,
                                    0};
  const double line = Median(101, [&] {
    const double begin = Seconds();
    supportRecord.Sent(report);
    return Seconds() - begin;
  });
  std::printf("one line of the support record alone: %.1f us\n", line * 1e6);
  const double discovery = Median(101, [&] {
    const double begin = Seconds();
    discovering.FindPeerWindows();
    const double elapsed = Seconds() - begin;
    const auto& found = discovering.PeerWindows();
    Require(std::count(found.begin(), found.end(), peer) == 1 &&
                std::count(found.begin(), found.end(), platform::WindowHandle{0}) ==
                    static_cast<std::ptrdiff_t>(found.size() - 1),
            "discovery did not find the receiver alone");
    return elapsed;
  });
  std::printf("discovery alone (one process snapshot, one window walk): %.1f us\n", discovery * 1e6);
}

// Both indexes hold the same items in the same order.
bool SameItems(const bridge::BtGuidObjidList& a, const bench::before::BtGuidObjidList& b) {
  if (a.Count() != b.Count()) return false;
  for (std::size_t i = 0; i < a.Count(); ++i) {
    const auto& x = a.GetItem(i);
    const auto& y = b.GetItem(i);
    if (x.FGuid.view() != y.FGuid.view() || x.FObjectId != y.FObjectId) return false;
  }
  return true;
}

void IndexBenchmarks() {
  constexpr std::size_t kItems = 1000000;
  constexpr int kRuns = 7;
  platform::Win32Platform system;
  bench::MemoryViewer viewer(bench::MakeGuids(kItems));
  std::printf("\nGUID index of %zu 22-character GUIDs (32-bit, Wine), the three builds taking turns, median of %d\n",
              kItems, kRuns);

  bridge::btBIMQuabo controller(system, viewer);
  const std::size_t ownBefore = gChargedBytes;
  const std::size_t ownRequestedBefore = gRequestedBytes;
  Require(controller.BuildGuidIndex(), "the index build failed");
  const double ownBytes = static_cast<double>(gChargedBytes - ownBefore) / kItems;
  const double ownRequested = static_cast<double>(gRequestedBytes - ownRequestedBefore) / kItems;

  bench::before::BtGuidObjidList earlier;
  const std::size_t earlierBefore = gChargedBytes;
  const std::size_t earlierRequestedBefore = gRequestedBytes;
  bench::before::BuildGuidIndex(viewer, system, earlier);
  const double earlierBytes = static_cast<double>(gChargedBytes - earlierBefore) / kItems;
  const double earlierRequested = static_cast<double>(gRequestedBytes - earlierRequestedBefore) / kItems;
  Require(SameItems(*controller.GuidIndex(), earlier), "the index differs from the one built before");

  bench::BaselineIndex baseline;
  const std::size_t baseBefore = gChargedBytes;
  const std::size_t baseRequestedBefore = gRequestedBytes;
  baseline = bench::BuildBaseline(viewer, system);
  const double baseBytes = static_cast<double>(gChargedBytes - baseBefore) / kItems;
  const double baseRequested = static_cast<double>(gRequestedBytes - baseRequestedBefore) / kItems;

  std::vector<double> own;
  std::vector<double> before;
  std::vector<double> base;
  const auto time = [](std::vector<double>& out, auto&& build) {
    const double start = Seconds();
    build();
    out.push_back(Seconds() - start);
  };
  for (int run = 0; run < kRuns; ++run) {
    time(own, [&] { controller.BuildGuidIndex(); });
    time(before, [&] { bench::before::BuildGuidIndex(viewer, system, earlier); });
    time(base, [&] { baseline = bench::BuildBaseline(viewer, system); });
  }
  const double ownMs = MedianOf(own) * 1e3;
  const double beforeMs = MedianOf(before) * 1e3;
  const double baseMs = MedianOf(base) * 1e3;
  std::printf("%-22s %10s %8s %16s %20s\n", "", "build ms", "ratio", "requested B/item", "heap-charged B/item");
  std::printf("%-22s %10.1f %7.2fx %16.1f %20.1f\n", "BuildGuidIndex", ownMs, 1.0, ownRequested, ownBytes);
  std::printf("%-22s %10.1f %7.2fx %16.1f %20.1f\n", "the same, before", beforeMs, beforeMs / ownMs, earlierRequested,
              earlierBytes);
  std::printf("%-22s %10.1f %7.2fx %16.1f %20.1f\n", "vector + std::sort", baseMs, baseMs / ownMs, baseRequested,
              baseBytes);
  std::printf("BuildGuidIndex against before %.2fx; item %zu bytes, std::string %zu bytes\n", ownMs / beforeMs,
              sizeof(bridge::BtGUIDObjIDItem), sizeof(std::string));
}

// The index build on the same GUIDs shuffled and in the order crafted
// against its sort; the sort alone beside it; and the same of before.
void CraftedIndexBenchmarks() {
  platform::Win32Platform system;
  std::printf("\nGUID index on GUIDs in the order crafted against its sort (32-bit, Wine), median of 3\n");
  std::printf("%-9s %-7s %14s %13s %7s %13s %12s %7s\n", "items", "", "build shuffled", "build crafted", "ratio",
              "sort shuffled", "sort crafted", "ratio");
  for (const std::size_t n : {std::size_t{100000}, std::size_t{1000000}}) {
    double build[2][2] = {};
    double sort[2][2] = {};
    const std::vector<std::wstring> orders[2] = {bench::ShuffledGuids(n), bench::CraftedGuids(n)};
    for (int k = 0; k < 2; ++k) {
      bench::MemoryViewer viewer(orders[k]);
      bridge::btBIMQuabo controller(system, viewer);
      bench::before::BtGuidObjidList earlier;
      build[0][k] = Median(3, [&] {
        const double start = Seconds();
        controller.BuildGuidIndex();
        return Seconds() - start;
      });
      build[1][k] = Median(3, [&] {
        const double start = Seconds();
        bench::before::BuildGuidIndex(viewer, system, earlier);
        return Seconds() - start;
      });
      // The crafted order is the one whose deep ranges the index finishes
      // otherwise than before.
      Require(SameItems(*controller.GuidIndex(), earlier), "the index differs from the one built before");
      bridge::BtGuidObjidList unsorted;
      bench::before::BtGuidObjidList unsortedBefore;
      for (std::size_t i = 0; i < n; ++i) {
        unsorted.Add(bench::Narrow(orders[k][i]), i);
        unsortedBefore.Add(bench::Narrow(orders[k][i]), i);
      }
      sort[0][k] = Median(3, [&] {
        bridge::BtGuidObjidList list = unsorted;
        const double start = Seconds();
        list.Sort();
        return Seconds() - start;
      });
      sort[1][k] = Median(3, [&] {
        bench::before::BtGuidObjidList list = unsortedBefore;
        const double start = Seconds();
        list.Sort();
        return Seconds() - start;
      });
    }
    for (int which = 0; which < 2; ++which) {
      std::printf("%-9zu %-7s %11.1f ms %10.1f ms %6.2fx %10.1f ms %9.1f ms %6.2fx\n", n, which ? "before" : "",
                  build[which][0] * 1e3, build[which][1] * 1e3, build[which][1] / build[which][0], sort[which][0] * 1e3,
                  sort[which][1] * 1e3, sort[which][1] / sort[which][0]);
    }
  }
}

// Hostile payloads delivered to the hidden window the way a peer's
// WM_COPYDATA arrives (in this process, so the payload is not copied by the
// system first). Each case runs at a quarter size and at full size: the time
// ratio shows growth. Heap figures are the plug-in's requested bytes
// (operator new) above what it held before, per payload byte.
struct HostileCase {
  const char* name;
  std::uintptr_t code;
  std::function<std::string(std::size_t)> text;  // the text for a size parameter
  std::size_t full;
};

void HostilePayloadBenchmarks() {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  platform::Win32Platform system;
  const auto guids = bench::MakeGuids(100000);
  bench::MemoryViewer viewer(guids);
  bridge::btBIMQuabo controller(system, viewer);
  controller.BuildGuidIndex();
  const std::string known = bench::Narrow(guids[12345]);
  const auto repeat = [](const std::string& unit, std::size_t count) {
    std::string text;
    text.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i) text += unit;
    return text;
  };
  const HostileCase cases[] = {
      {"6: typical, 10^4 GUIDs of the model", 6,
       [&](std::size_t count) {
         std::string text;
         for (std::size_t i = 0; i < count; ++i) text += (i ? "\r\n" : "") + bench::Narrow(guids[i * 7 % guids.size()]);
         return text;
       },
       10000},
      {"6: garbage lines (#... 22 B + CR LF)", 6,
       [&](std::size_t bytes) { return repeat("#7zq$0_Xk2L9vBb4Qm1Rt8\r\n", bytes / 24); }, 64 * kMiB},
      {"6: one GUID 10^6 times", 6, [&](std::size_t count) { return repeat(known + "\r\n", count); }, 1000000},
      {"6: one line, no CR LF", 6, [&](std::size_t bytes) { return std::string(bytes, 'G'); }, 64 * kMiB},
      {"6: CR LF only between two GUIDs", 6,
       [&](std::size_t bytes) { return known + repeat("\r\n", (bytes - 2 * known.size()) / 2) + known; }, 64 * kMiB},
      {"8: hex digits, even length", 8, [&](std::size_t bytes) { return repeat("0a1B", bytes / 4); }, 64 * kMiB},
      {"8: hex digits, odd length", 8, [&](std::size_t bytes) { return repeat("0a1B", bytes / 4) + "7"; }, 64 * kMiB},
      {"7: text not used", 7, [&](std::size_t bytes) { return std::string(bytes, 'x'); }, 64 * kMiB},
      {"1000: not a command", 1000, [&](std::size_t bytes) { return std::string(bytes, 'x'); }, 64 * kMiB},
      {"5: path", 5, [&](std::size_t bytes) { return "C:\\" + std::string(bytes - 3, 'p'); }, 64 * kMiB},
  };
  std::printf("\nHostile commands to the hidden window (32-bit, Wine): quarter size, then full size, median of 3\n");
  std::printf("%-38s %10s %11s %11s %7s %8s %8s %12s %12s\n", "command", "bytes", "quarter ms", "full ms", "growth",
              "ns/byte", "vs typ.", "peak/payload", "held after");
  double typicalPerByte = 0;
  for (const HostileCase& c : cases) {
    double times[2] = {};
    double peak = 0;
    std::size_t bytes = 0;
    double heldAfter = 0;
    for (int k = 0; k < 2; ++k) {
      std::string payload = c.text(k == 0 ? c.full / 4 : c.full);
      bytes = payload.size();
      payload += '\0';
      COPYDATASTRUCT record{static_cast<ULONG_PTR>(c.code), static_cast<DWORD>(payload.size()), payload.data()};
      times[k] = Median(3, [&] {
        const std::size_t before = gRequestedBytes;
        gPeakBytes = before;
        const double start = Seconds();
        SendMessageA(reinterpret_cast<HWND>(controller.MsgWindow()), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
        const double elapsed = Seconds() - start;
        peak = std::max(peak, static_cast<double>(gPeakBytes - before) / static_cast<double>(payload.size()));
        // The controller keeps the last GUID list and view state by design;
        // small commands replace them, and then the heap must be back where
        // it was.
        for (const auto& [code, text] : {std::pair<ULONG_PTR, std::string>{6, "0"}, {8, ""}}) {
          COPYDATASTRUCT reset{code, static_cast<DWORD>(text.size() + 1), const_cast<char*>(text.c_str())};
          SendMessageA(reinterpret_cast<HWND>(controller.MsgWindow()), WM_COPYDATA, 0,
                       reinterpret_cast<LPARAM>(&reset));
        }
        heldAfter = std::max(heldAfter, static_cast<double>(gRequestedBytes) - static_cast<double>(before));
        return elapsed;
      });
    }
    const double perByte = times[1] / static_cast<double>(bytes);
    if (typicalPerByte == 0) typicalPerByte = perByte;
    std::printf("%-38s %10zu %11.1f %11.1f %6.2fx %8.2f %7.2fx %11.2fx %9.1f MiB\n", c.name, bytes, times[0] * 1e3,
                times[1] * 1e3, times[1] / times[0], perByte * 1e9, perByte / typicalPerByte, peak, heldAfter / kMiB);
  }

  // The viewer's side of the 10^6 selections, in the viewer simulator: what
  // the plug-in's calls cost the host, measured apart from the plug-in.
  viewer_sim::ViewerSim sim;
  sim.SetModel(viewer_sim::MakeSampleModel(1000));
  const viewer_abi::ObjectId id = sim.CurrentModel().objects[5].id;
  const std::size_t before = gRequestedBytes;
  gPeakBytes = before;
  const double start = Seconds();
  sim.Select(1, sim.GetAllObjectsId(1), 0);
  for (int i = 0; i < 1000000; ++i) sim.SelectMany(1, &id, 1, viewer_sim::ViewerSim::kSelectManyAdd);
  sim.Invalidate(1);
  const double elapsed = Seconds() - start;
  std::printf("viewer simulator alone, the same 10^6 select_many calls: %.1f ms, peak heap %.1f MiB (its call log)\n",
              elapsed * 1e3, static_cast<double>(gPeakBytes - before) / kMiB);
}

// A viewer function that does next to nothing, so that the call is all
// that is measured.
__attribute__((noinline)) std::uint32_t VIEWER_CALL CountSelected(std::int32_t plugin, ObjectId*, std::uint32_t count) {
  return count + static_cast<std::uint32_t>(plugin);
}

bool Unguarded(void (*call)(void*) noexcept, void* context, std::uint32_t&) noexcept {
  call(context);
  return true;
}

void GuardBenchmarks() {
  constexpr int kCalls = 1000000;
  host_api::ViewerEntryPoints entries;
  host_api::BindViewerApi(entries, [](const char* name) -> void* {
    return std::string_view(name) == "get_selected" ? reinterpret_cast<void*>(&CountSelected) : nullptr;
  });
  host_api::BoundViewer guarded(entries, platform::CallGuarded);
  host_api::BoundViewer unguarded(entries, Unguarded);
  volatile viewer_abi::get_selected_fn plain = CountSelected;
  std::uint32_t sink = 0;
  const auto perCall = [&](auto&& call) {
    return Median(21, [&] {
      const double start = Seconds();
      for (int i = 0; i < kCalls; ++i) sink += call(static_cast<std::uint32_t>(i));
      return (Seconds() - start) / kCalls;
    });
  };
  const double bare = perCall([&](std::uint32_t i) { return plain(1, nullptr, i); });
  const double bound = perCall([&](std::uint32_t i) { return unguarded.get_selected(1, nullptr, i); });
  const double framed = perCall([&](std::uint32_t i) { return guarded.get_selected(1, nullptr, i); });
  std::printf("\nOne viewer call (get_selected of a function that returns at once), median of 21 x %d calls "
              "(32-bit, Wine)\n",
              kCalls);
  std::printf("%-40s %8s %7s\n", "", "ns/call", "ratio");
  std::printf("%-40s %8.2f %6.2fx\n", "plain call through the bound pointer", bare * 1e9, 1.0);
  std::printf("%-40s %8.2f %6.2fx\n", "BoundViewer, pass-through guard", bound * 1e9, bound / bare);
  std::printf("%-40s %8.2f %6.2fx\n", "BoundViewer, exception-frame guard", framed * 1e9, framed / bare);
  Require(sink != 0, "the calls were optimised away");
}

}  // namespace

// With arguments, only the sections named: send, index, crafted, hostile,
// guard.
int main(int argc, char** argv) {
  try {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const auto wanted = [&](const char* section) {
      return argc < 2 ||
             std::any_of(argv + 1, argv + argc, [&](const char* arg) { return std::strcmp(arg, section) == 0; });
    };
    if (wanted("send")) SendBenchmarks(BENCH_RECEIVER_EXE);
    if (wanted("index")) IndexBenchmarks();
    if (wanted("crafted")) CraftedIndexBenchmarks();
    if (wanted("hostile")) HostilePayloadBenchmarks();
    if (wanted("guard")) GuardBenchmarks();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wine_bench: %s\n", e.what());
    return 1;
  }
}
