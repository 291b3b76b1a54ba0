#include "peer_driver.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "escape.h"

namespace {

constexpr DWORD kShutdownTimeoutMs = 5000;

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::runtime_error Win32Error(const std::string& what) {
  return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

// Wine reaches the Unix file system as drive Z:.
std::string WindowsPath(const std::string& path) {
  if (path.empty() || path.front() != '/') return path;
  std::string out = "Z:" + path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// Quotes one argument the way the C runtime's argv parser reads it back.
void AppendArgument(std::string& cmd, const std::string& arg) {
  cmd += ' ';
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
    cmd += arg;
    return;
  }
  cmd += '"';
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      cmd.append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      cmd.append(backslashes * 2 + 1, '\\');
    } else {
      cmd.append(backslashes, '\\');
    }
    cmd += arg[i];
  }
  cmd += '"';
}

template <class T>
std::optional<T> ParseNumber(std::string_view s, int base = 10) {
  T value{};
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

// Takes "<name><value> " off the front of s and returns the value.
std::string_view TakeField(std::string_view& s, std::string_view name) {
  if (!s.starts_with(name)) return {};
  s.remove_prefix(name.size());
  const auto space = s.find(' ');
  const std::string_view value = s.substr(0, space);
  s.remove_prefix(space == std::string_view::npos ? s.size() : space + 1);
  return value;
}

// Dispatches every queued message. On WM_QUIT it stops and reports the exit
// code, which the caller posts again once its wait is over.
void PumpPending(std::optional<int>& quit) {
  MSG msg;
  while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = static_cast<int>(msg.wParam);
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Waits until pred() holds or ms have passed, dispatching the thread's
// messages meanwhile; wake (may be null) is an event that signals a likely
// change of pred(), without it pred() is polled.
bool PumpWait(const std::function<bool()>& pred, DWORD ms, HANDLE wake) {
  constexpr DWORD kPollMs = 10;
  const ULONGLONG deadline = GetTickCount64() + ms;
  std::optional<int> quit;
  bool result = false;
  for (;;) {
    PumpPending(quit);
    if ((result = pred())) break;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    const DWORD slice =
        wake ? static_cast<DWORD>(deadline - now) : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kPollMs));
    if (!quit) {
      MsgWaitForMultipleObjectsEx(wake ? 1 : 0, wake ? &wake : nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else if (wake) {
      WaitForSingleObject(wake, slice);
    } else {
      Sleep(slice);
    }
  }
  if (quit) PostQuitMessage(*quit);
  return result;
}

// What the reader thread collects; shared with it so that a reader which
// cannot be joined in time may outlive the PeerProcess.
struct OutputLog {
  UniqueHandle pipe;     // read end of the peer's stdout
  UniqueHandle changed;  // auto-reset: set after each new line and at the end
  std::mutex mutex;
  std::vector<std::string> lines;
  std::vector<bool> taken;  // returned by WaitLine already
  bool ended = false;
};

void Append(OutputLog& log, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  {
    const std::lock_guard lock(log.mutex);
    log.lines.push_back(std::move(line));
    log.taken.push_back(false);
  }
  SetEvent(log.changed.get());
}

void ReadOutput(std::shared_ptr<OutputLog> log) noexcept {
  try {
    std::string pending;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(log->pipe.get(), buf, sizeof buf, &got, nullptr) && got > 0) {
      pending.append(buf, got);
      for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
        Append(*log, pending.substr(0, nl));
        pending.erase(0, nl + 1);
      }
    }
    if (!pending.empty()) Append(*log, std::move(pending));
  } catch (...) {
    // Out of memory: the output simply ends here.
  }
  {
    const std::lock_guard lock(log->mutex);
    log->ended = true;
  }
  SetEvent(log->changed.get());
}

// A fresh temp directory holding one copy of an executable; both go away
// with the object.
class TempCopy {
 public:
  TempCopy(const std::string& source, const std::string& fileName) {
    char temp[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n > MAX_PATH) throw Win32Error("GetTempPath failed");
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; dir_.empty(); ++attempt) {
      std::string dir =
          std::string(temp) + "peer_sim." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++);
      if (CreateDirectoryA(dir.c_str(), nullptr)) {
        dir_ = std::move(dir);
      } else if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 1000) {
        throw Win32Error("cannot create a directory in " + std::string(temp));
      }
    }
    path_ = dir_ + "\\" + fileName;
    if (!CopyFileA(source.c_str(), path_.c_str(), TRUE)) {
      const auto error = Win32Error("cannot copy " + source + " to " + path_);
      RemoveDirectoryA(dir_.c_str());
      throw error;
    }
  }
  ~TempCopy() {
    // The image stays locked for a moment after its process has ended.
    for (int attempt = 0; attempt < 100 && !DeleteFileA(path_.c_str()); ++attempt) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
      Sleep(20);
    }
    RemoveDirectoryA(dir_.c_str());
  }
  TempCopy(const TempCopy&) = delete;
  TempCopy& operator=(const TempCopy&) = delete;

  const std::string& Dir() const { return dir_; }
  const std::string& Path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace

struct PeerProcess::Impl {
  Impl(const std::string& peerSimExe, const std::string& exeName, const std::vector<std::string>& args, bool waitReady)
      : copy(WindowsPath(peerSimExe), exeName), log(std::make_shared<OutputLog>()) {
    try {
      Start(args, waitReady);
    } catch (...) {
      Shutdown();
      throw;
    }
  }
  ~Impl() { Shutdown(); }

  void Start(const std::vector<std::string>& args, bool waitReady) {
    log->changed.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!log->changed) throw Win32Error("CreateEvent failed");
    {
      // A child inherits every inheritable handle of this process: keep the
      // pipe ends of one spawn out of another's child, or EOF never comes.
      static std::mutex spawnMutex;
      const std::lock_guard lock(spawnMutex);
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      HANDLE read = nullptr;
      HANDLE write = nullptr;
      if (!CreatePipe(&read, &write, &inherit, 0)) throw Win32Error("CreatePipe failed");
      const UniqueHandle childIn(read);
      input.reset(write);
      if (!CreatePipe(&read, &write, &inherit, 0)) throw Win32Error("CreatePipe failed");
      log->pipe.reset(read);
      const UniqueHandle childOut(write);
      SetHandleInformation(input.get(), HANDLE_FLAG_INHERIT, 0);
      SetHandleInformation(log->pipe.get(), HANDLE_FLAG_INHERIT, 0);

      STARTUPINFOA si{};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = childIn.get();
      si.hStdOutput = childOut.get();
      si.hStdError = childOut.get();
      std::string cmd = "\"" + copy.Path() + "\"";
      for (const auto& a : args) AppendArgument(cmd, a);
      PROCESS_INFORMATION pi{};
      if (!CreateProcessA(copy.Path().c_str(), cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          copy.Dir().c_str(), &si, &pi)) {
        throw Win32Error("cannot start " + copy.Path());
      }
      process.reset(pi.hProcess);
      const UniqueHandle thread(pi.hThread);
      pid = pi.dwProcessId;
    }
    reader = std::thread(ReadOutput, log);
    if (!waitReady) return;

    std::string ready;
    WaitOutput(
        [&] {
          const auto it = std::find_if(log->lines.begin(), log->lines.end(),
                                       [](const std::string& l) { return l.starts_with("ready "); });
          if (it == log->lines.end()) return false;
          ready = *it;
          return true;
        },
        kPeerWaitMs);
    std::string_view rest = ready;
    rest.remove_prefix(std::min(rest.size(), std::string_view("ready ").size()));
    const auto hwnd = ParseNumber<std::uintptr_t>(TakeField(rest, "hwnd="), 16);
    const auto readyPid = ParseNumber<DWORD>(TakeField(rest, "pid="));
    if (!hwnd || !readyPid || *readyPid != pid) {
      throw std::runtime_error(copy.Path() + " did not report ready; it printed: " + Joined());
    }
    window = reinterpret_cast<HWND>(*hwnd);
  }

  // Waits, pumping messages, until pred (run under the log's lock) holds;
  // gives up early once the output has ended without it.
  bool WaitOutput(const std::function<bool()>& pred, DWORD timeoutMs) {
    bool result = false;
    PumpWait(
        [&] {
          const std::lock_guard lock(log->mutex);
          result = pred();
          return result || log->ended;
        },
        timeoutMs, log->changed.get());
    return result;
  }

  void Write(const std::string& line) {
    const std::string out = line + "\n";
    const char* p = out.data();
    DWORD left = static_cast<DWORD>(out.size());
    while (left > 0) {
      DWORD written = 0;
      if (!input || !WriteFile(input.get(), p, left, &written, nullptr)) {
        throw Win32Error("cannot write to peer_sim");
      }
      p += written;
      left -= written;
    }
  }

  bool WaitForExit(DWORD timeoutMs) {
    return !process ||
           PumpWait([&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, timeoutMs, process.get());
  }

  std::string Joined() {
    const std::lock_guard lock(log->mutex);
    std::string all;
    for (const auto& l : log->lines) all += l + " | ";
    return all;
  }

  void Shutdown() noexcept {
    try {
      if (input) {
        try {
          Write("quit");
        } catch (const std::exception&) {
          // Already gone: the wait below returns at once.
        }
        input.reset();
      }
      if (process && !WaitForExit(kShutdownTimeoutMs)) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), kShutdownTimeoutMs);
      }
      if (reader.joinable()) {
        WaitOutput([] { return false; }, kShutdownTimeoutMs);
        const std::lock_guard lock(log->mutex);
        if (log->ended) {
          reader.join();
        }
      }
    } catch (...) {
      // Falls through to the detach below.
    }
    // A reader still blocked on the pipe keeps the log alive by itself.
    if (reader.joinable()) reader.detach();
  }

  TempCopy copy;
  std::shared_ptr<OutputLog> log;
  UniqueHandle input;  // write end of the peer's stdin
  UniqueHandle process;
  DWORD pid = 0;
  HWND window = nullptr;
  std::thread reader;
};

PeerProcess::PeerProcess(const std::string& peerSimExe, const std::string& exeName,
                         const std::vector<std::string>& args, bool waitReady)
    : impl_(std::make_unique<Impl>(peerSimExe, exeName, args, waitReady)) {}

PeerProcess::~PeerProcess() = default;

HWND PeerProcess::Window() const { return impl_->window; }
DWORD PeerProcess::Pid() const { return impl_->pid; }
std::string PeerProcess::ExePath() const { return impl_->copy.Path(); }

std::vector<std::string> PeerProcess::Command(const std::string& line, DWORD timeoutMs) {
  if (line.empty() || line.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("not a single command line: " + peer_escape::Escape(line));
  }
  const std::string ack = "ack " + line.substr(0, line.find(' '));
  const std::string error = "error " + line;
  std::size_t start = 0;
  {
    const std::lock_guard lock(impl_->log->mutex);
    start = impl_->log->lines.size();
  }
  impl_->Write(line);

  std::size_t scanned = start;
  std::optional<std::size_t> end;
  bool rejected = false;
  impl_->WaitOutput(
      [&] {
        const auto& lines = impl_->log->lines;
        for (; scanned < lines.size(); ++scanned) {
          rejected = lines[scanned] == error;
          if (rejected || lines[scanned] == ack) {
            end = scanned;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  if (!end) throw std::runtime_error("peer_sim did not acknowledge: " + line);
  if (rejected) throw std::runtime_error("peer_sim rejected: " + line);
  const std::lock_guard lock(impl_->log->mutex);
  const auto& lines = impl_->log->lines;
  return {lines.begin() + static_cast<std::ptrdiff_t>(start), lines.begin() + static_cast<std::ptrdiff_t>(*end)};
}

std::optional<std::string> PeerProcess::WaitLine(const std::string& prefix, DWORD timeoutMs) {
  std::optional<std::string> found;
  impl_->WaitOutput(
      [&] {
        auto& log = *impl_->log;
        for (std::size_t i = 0; i < log.lines.size(); ++i) {
          if (!log.taken[i] && log.lines[i].starts_with(prefix)) {
            log.taken[i] = true;
            found = log.lines[i];
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

std::vector<std::string> PeerProcess::Received() const {
  const std::lock_guard lock(impl_->log->mutex);
  std::vector<std::string> recv;
  for (const auto& l : impl_->log->lines) {
    if (l.starts_with("recv ")) recv.push_back(l);
  }
  return recv;
}

std::vector<std::string> PeerProcess::Lines() const {
  const std::lock_guard lock(impl_->log->mutex);
  return impl_->log->lines;
}

void PeerProcess::Write(const std::string& line) { impl_->Write(line); }

void PeerProcess::CloseInput() { impl_->input.reset(); }

bool PeerProcess::WaitForExit(DWORD timeoutMs) { return impl_->WaitForExit(timeoutMs); }

ReceivedMessage ParseRecv(const std::string& recvLine) {
  const auto malformed = [&] { return std::invalid_argument("not a recv line: " + recvLine); };
  std::string_view s = recvLine;
  if (!s.starts_with("recv ")) throw malformed();
  s.remove_prefix(5);
  const auto code = ParseNumber<uint32_t>(TakeField(s, "code="));
  const auto cb = ParseNumber<uint32_t>(TakeField(s, "cb="));
  const auto from = ParseNumber<uintptr_t>(TakeField(s, "from="), 16);
  if (!code || !cb || !from || !s.starts_with("data=")) throw malformed();
  s.remove_prefix(5);
  ReceivedMessage m{*code, *cb, {}};
  m.from = *from;
  // peer_sim prints a null data pointer as the bare word.
  if (s == "null") {
    m.nullData = true;
    return m;
  }
  auto bytes = peer_escape::Unescape(s);
  if (!bytes || bytes->size() != m.cb) throw malformed();
  m.bytes = std::move(*bytes);
  return m;
}

bool PumpUntil(const std::function<bool()>& pred, DWORD ms) { return PumpWait(pred, ms, nullptr); }
