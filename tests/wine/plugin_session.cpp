#include "plugin_session.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "tools/viewer_sim/exception_frames.h"
#include "tools/viewer_sim/text.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const noexcept {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

std::string WinePathA(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::wstring WinePath(const std::string& unixPath) { return viewer_sim::ToWide(WinePathA(unixPath)); }

std::vector<DWORD> SnapshotOrder(const std::vector<DWORD>& pids) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  std::vector<DWORD> order;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (std::find(pids.begin(), pids.end(), entry.th32ProcessID) != pids.end()) order.push_back(entry.th32ProcessID);
  }
  return order;
}

ProcessResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    throw std::runtime_error("CreateProcess failed");
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  writer.reset();
  ProcessResult result;
  const DWORD deadline = GetTickCount() + timeoutMs;
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      if (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) result.output.append(buffer, got);
      continue;
    }
    // The plug-in's window lives on this thread: keep its messages flowing
    // while the program talks to it.
    viewer_sim::PumpMessages(std::chrono::milliseconds(5));
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
      DWORD got = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        result.output.append(buffer, got);
      }
      GetExitCodeProcess(process.get(), &result.exitCode);
      return result;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
      TerminateProcess(process.get(), 0xDEAD);
      WaitForSingleObject(process.get(), 5000);
      result.exitCode = 0xDEAD;
      return result;
    }
  }
}

PluginSession::PluginSession() : sim(viewer_sim::Sim()) {
  sim.Reset();
  viewer_sim::ClearHostFrameEscapes();
  boxCatcher = viewer_sim::CatchMessageBoxesIntoSim();
}

// What holds after every session, whatever the test did: nothing reached the
// viewer's own exception frames, not even as an unwind, no export, handler or
// window procedure left
// the exception chain changed, every viewer call carried the plug-in's
// handle, and every box was an ownerless, task-modal box with OK only.
PluginSession::~PluginSession() {
  plugin.reset();  // unloads a plug-in that a test left running
  peers.clear();
  boxCatcher.reset();
  EXPECT_EQ(viewer_sim::HostFrameEscapes(), std::vector<std::uint32_t>{});
  EXPECT_EQ(viewer_sim::HostFramesUnwound(), std::vector<std::uint32_t>{});
  EXPECT_EQ(viewer_sim::ChainLeftChanged(), std::vector<std::string>{});
  EXPECT_EQ(sim.ForeignHandleCalls(), 0);
  for (const auto& box : sim.MessageBoxes()) {
    EXPECT_EQ(box.style, static_cast<std::uint32_t>(MB_OK | MB_TASKMODAL)) << box.caption;
    EXPECT_FALSE(box.hasOwner) << box.caption;
  }
}

PeerProcess& PluginSession::StartPeer(const std::string& exeName, const std::vector<std::string>& args) {
  peers.push_back(std::make_unique<PeerProcess>(WinePathA(PEER_SIM_EXE), exeName, args));
  return *peers.back();
}

void PluginSession::LoadPlugin(const std::wstring& dll) {
  plugin = std::make_unique<viewer_sim::PluginHost>(dll);
  ASSERT_TRUE(plugin->Loaded()) << "error " << plugin->LoadError();
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  if (const HWND window = PluginWindow()) viewer_sim::WatchChainAroundProcedure(window);
}

void PluginSession::UnloadPlugin() { ASSERT_TRUE(plugin->Unload()); }

std::string PluginSession::Payload(const std::string& text) {
  return std::to_string(GetCurrentProcessId()) + "|" + text + std::string(1, '\0');
}

std::string PluginSession::Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    escaped += c;
    if (c == '\\') escaped += c;
  }
  return escaped;
}

ReceivedMessage PluginSession::NextMessage(PeerProcess& peer) {
  const auto line = peer.WaitLine("recv ");
  if (!line) throw std::runtime_error("the peer received nothing");
  return ParseRecv(*line);
}

ReceivedMessage PluginSession::NextMessageOfCode(PeerProcess& peer, std::uint32_t code) {
  std::string instead;
  while (const auto line = peer.WaitLine("recv ")) {
    auto message = ParseRecv(*line);
    if (message.code == code) return message;
    instead += "\n  " + *line;
  }
  throw std::runtime_error("the peer received no message of code " + std::to_string(code) +
                           (instead.empty() ? std::string(", nor any other") : ", only:" + instead));
}

long PluginSession::SendCommand(PeerProcess& peer, const std::string& commandLine) {
  for (const auto& line : peer.Command(commandLine)) {
    if (line.rfind("sent ", 0) != 0) continue;
    const auto at = line.find("reply=");
    if (at == std::string::npos) return -1;
    return std::stol(line.substr(at + 6));
  }
  throw std::runtime_error("no sent line for " + commandLine);
}

void PluginSession::Settle(PeerProcess& peer) { peer.Command("reply 1"); }

long PluginSession::SendFromThread(HWND target, std::uintptr_t code, const std::string& bytes, std::uintptr_t wParam) {
  std::atomic<bool> done{false};
  DWORD_PTR reply = 0;
  std::thread sender([&] {
    COPYDATASTRUCT data{code, static_cast<DWORD>(bytes.size()), const_cast<char*>(bytes.data())};
    SendMessageTimeoutA(target, WM_COPYDATA, wParam, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 60000, &reply);
    done = true;
  });
  viewer_sim::PumpUntil([&] { return done.load(); }, std::chrono::seconds(90));
  sender.join();
  return static_cast<long>(reply);
}

std::wstring PluginSession::DllOfThisTest() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::wstring copy = WinePath(VIDUDUDE_DLL) + L"." +
                            viewer_sim::ToWide(std::string(test->test_suite_name()) + "." + test->name()) + L".DLL";
  if (!CopyFileW(WinePath(VIDUDUDE_DLL).c_str(), copy.c_str(), FALSE)) throw std::runtime_error("CopyFile failed");
  return copy;
}

HWND PluginSession::PluginWindow() { return FindWindowA("VidudUDE.MessageWindow", nullptr); }

std::vector<HWND> PluginSession::PluginWindows() {
  std::vector<HWND> found;
  for (HWND w = FindWindowExA(nullptr, nullptr, "VidudUDE.MessageWindow", nullptr); w != nullptr;
       w = FindWindowExA(nullptr, w, "VidudUDE.MessageWindow", nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId()) found.push_back(w);
  }
  return found;
}

bool PluginSession::ClassRegistered(HMODULE module) {
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof(cls);
  return GetClassInfoExA(module, "VidudUDE.MessageWindow", &cls) != FALSE;
}

std::string PluginSession::Hex(HWND window) {
  char hex[32];
  std::snprintf(hex, sizeof(hex), "%lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(window)));
  return hex;
}

std::int32_t PluginSession::ButtonId(const std::wstring& text) const {
  for (const auto& b : sim.Buttons()) {
    if (b.text == text) return b.id;
  }
  return 0;
}

viewer_sim::Button PluginSession::ButtonAt(std::size_t index) const { return sim.Buttons().at(index); }

std::string PluginSession::Guid(std::size_t n) const {
  for (const auto& p : sim.CurrentModel().objects.at(n).properties) {
    if (p.name == L"Guid" && p.value) return viewer_sim::ToUtf8(*p.value);
  }
  return {};
}

viewer_sim::ObjectId PluginSession::Id(std::size_t n) const { return sim.CurrentModel().objects.at(n).id; }
