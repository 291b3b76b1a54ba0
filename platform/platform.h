// The narrow interface through which the plug-in's logic reaches the
// operating system. One Windows implementation (win32_platform.cpp); tests
// use a fake of the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A window handle as the logic sees it; 0 means no window.
using WindowHandle = std::uintptr_t;

// What SendMessage takes as "every top-level window": never a peer. The
// system broadcasts a send to (HWND)-1 just the same.
inline constexpr WindowHandle kBroadcastWindow = 0xFFFF;
inline constexpr WindowHandle kEveryWindow = static_cast<WindowHandle>(-1);

inline constexpr std::uint32_t kWmClose = 16;
inline constexpr std::uint32_t kWmCopyData = 74;
inline constexpr std::uint32_t kWmTimer = 0x113;
// The shell's number of the Program Files folder.
inline constexpr int kCsidlProgramFiles = 0x26;
// The hidden window's properties that hold the connected peers' windows, in
// connect order: the name followed by 1 to kNotedPeers.
inline constexpr char kConnectedPeerProperty[] = "VidudUDE.ConnectedPeer";
inline constexpr std::size_t kNotedPeers = 5;

// The layout of the system's COPYDATASTRUCT, so that the logic can read and
// fill one without the system headers.
struct CopyDataRecord {
  std::uintptr_t code;
  std::uint32_t size;
  const void* data;
};

// Receives every message of a window created by CreateMessageWindow.
class WindowProcedure {
 public:
  // The window's handle, told with its first message, before any message
  // reaches WndProc: also those that arrive inside the window's creation.
  virtual void WindowCreated(WindowHandle window) noexcept = 0;
  virtual std::intptr_t WndProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

 protected:
  ~WindowProcedure() = default;
};

// Owns a window; destroying the object destroys the window.
class OwnedWindow {
 public:
  virtual ~OwnedWindow() = default;
  virtual WindowHandle Handle() const = 0;
};

// Owns a window's timer; destroying the object stops it.
class OwnedTimer {
 public:
  virtual ~OwnedTimer() = default;
};

// A structured exception of the system (an access violation, a stack
// overflow, a foreign runtime's exception) that ended work run by
// Platform::RunContained.
class ContainedFault : public std::runtime_error {
 public:
  explicit ContainedFault(std::uint32_t code) : std::runtime_error("structured exception contained"), code_(code) {}
  std::uint32_t Code() const { return code_; }

 private:
  std::uint32_t code_;
};

// How one send of SendCopyData ended.
enum class SendEnd {
  kAnswered,
  // The peer did not reply within the send's limit.
  kTimedOut,
  // Not waited for: the system counts the peer's thread as hung.
  kHung,
  // The window had gone before or during the send.
  kWindowGone,
  // Never a target: every window at once, or a window of this process.
  kRefused,
};

struct SendReport {
  WindowHandle target;
  // The process that owns the target, 0 when unknown.
  std::uint32_t targetProcess;
  const CopyDataRecord& record;
  std::uint32_t reply;
  SendEnd end;
  // How long the send waited, in ms.
  std::uint32_t waitedMs;
};

// Told of every send of SendCopyData once it has ended.
class SendObserver {
 public:
  virtual void Sent(const SendReport& report) noexcept = 0;

 protected:
  ~SendObserver() = default;
};

// The local wall-clock time.
struct LocalTime {
  std::uint16_t year, month, day, hour, minute, second, millisecond;
};

// What a support record says of the process at its start; UTF-8 texts,
// empty when unknown.
struct StartFacts {
  std::string pluginPath;
  std::string pluginVersion;
  std::string viewerPath;
  std::string viewerVersion;
  std::uint32_t ansiCodePage = 0;
};

// The support log, open for appending; closing the object closes the file.
class SupportLogFile {
 public:
  virtual ~SupportLogFile() = default;
  // One write at the file's end as the last Size found it, which the
  // caller keeps true with the log's lock. False when nothing was written.
  virtual bool Append(std::string_view bytes) = 0;
  // The file's size now; nullopt when unknown.
  virtual std::optional<std::uint64_t> Size() = 0;
};

// Held while it lives: the one right, among all processes of the user, to
// write to the support log or start it afresh.
class SupportLogLock {
 public:
  virtual ~SupportLogLock() = default;
};

// The two kinds of entries the plug-in writes to the system's event log.
enum class SystemEvent : std::uint32_t {
  kStartFailed = 1,
  kFaultContained = 2,
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Calls visit for each running process in snapshot order. False when no
  // snapshot could be taken.
  virtual bool WalkProcesses(const std::function<void(std::uint32_t pid, std::string_view exeFile)>& visit) = 0;
  // Calls visit for each top-level window until it answers false.
  virtual void EnumTopLevelWindows(const std::function<bool(WindowHandle)>& visit) = 0;
  // False once the window has been destroyed.
  virtual bool WindowExists(WindowHandle window) = 0;
  // The id of the process that owns the window, 0 when unknown.
  virtual std::uint32_t WindowProcessId(WindowHandle window) = 0;
  // The id of the process this code runs in: the viewer's.
  virtual std::uint32_t CurrentProcessId() = 0;
  // The window's class name as the system copies it into a buffer of
  // bufferChars characters: at most bufferChars - 1 of them.
  virtual std::string WindowClassName(WindowHandle window, std::size_t bufferChars) = 0;

  // Sends WM_COPYDATA and waits, bounded, for the reply. Messages sent to
  // this thread's windows are handled while it waits. A window that has gone
  // or does not answer in time gives 0; after such a timeout the window is
  // not waited for again while its thread stays hung, until it answers.
  // Every top-level window at once, the sender itself, or any other window
  // of this process is never a target, whoever chose it: such a send gives
  // 0 and delivers nothing, for the plug-in would receive its own message
  // as a command. The owner is asked because the system also takes other
  // spellings of a handle (its low word alone) for the same window.
  // Every send, refused or made, is told to the send observer.
  std::uint32_t SendCopyData(WindowHandle target, WindowHandle sender, const CopyDataRecord& record) {
    if (target == kBroadcastWindow || target == kEveryWindow || target == sender) {
      Report({target, 0, record, 0, SendEnd::kRefused, 0});
      return 0;
    }
    const std::uint32_t owner = WindowProcessId(target);
    if (owner != 0 && owner == CurrentProcessId()) {
      Report({target, owner, record, 0, SendEnd::kRefused, 0});
      return 0;
    }
    // A send nested in this one's wait keeps its own report.
    const Delivery outer = delivery_;
    delivery_ = {SendEnd::kAnswered, 0};
    const std::uint32_t reply = DeliverCopyData(target, sender, record);
    const Delivery mine = delivery_;
    delivery_ = outer;
    Report({target, owner, record, reply, mine.end, mine.waitedMs});
    return reply;
  }
  void SetSendObserver(SendObserver* observer) { sendObserver_ = observer; }
  virtual void PostClose(WindowHandle window) = 0;
  // Notes on the hidden window, as its properties kConnectedPeerProperty1
  // to 5, the windows of the connected peers (0 ends the list), so that the
  // support diagnosis can name them from outside; nothing of the plug-in
  // reads them. A platform without windows of its own keeps no note.
  virtual void NoteConnectedPeers(WindowHandle window, std::span<const WindowHandle> peers) noexcept {
    static_cast<void>(window);
    static_cast<void>(peers);
  }

  // A hidden top-level tool window whose messages all reach procedure.
  virtual std::unique_ptr<OwnedWindow> CreateMessageWindow(WindowProcedure& procedure) = 0;
  virtual std::intptr_t DefaultWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam) = 0;
  // The window of this thread gets kWmTimer with wParam id about every
  // intervalMs from its thread's message loop, until the object goes. A
  // second timer of the same window and id replaces the first, and stopping
  // either stops both.
  virtual std::unique_ptr<OwnedTimer> StartTimer(WindowHandle window, std::uintptr_t id, std::uint32_t intervalMs) = 0;

  // Every message box of the plug-in goes through here: modal to the
  // thread, no owner, OK.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;

  // Runs work inside an exception frame of the plug-in's own, so that a
  // structured exception raised in the plug-in's code or in a system
  // function it calls, and handled by nothing inside, stops at this frame
  // and not in the viewer's: the frames above are cut off without their
  // destructors, the thread's x87 control word, MXCSR and stack guard are
  // set as before, and ContainedFault is thrown here. A C++ exception passes unchanged.
  virtual void RunContained(const std::function<void()>& work) = 0;
  // Keeps the plug-in's library mapped until the process ends, whatever the
  // viewer frees: for plug-in code that is still running when the viewer
  // may free the library.
  virtual void KeepLoaded() = 0;

  // The shell's special folder, empty when the shell cannot report it.
  virtual std::string SpecialFolderPath(int csidl) = 0;

  // Conversions between the system's ANSI code page and UTF-16. A letter
  // that the code page lacks becomes its default character, never a
  // look-alike.
  virtual std::wstring ToWide(std::string_view ansi) = 0;
  virtual std::string FromWide(const wchar_t* wide) = 0;
  // A file's path in the ANSI code page: as it is when every letter
  // converts, else its short form when that converts and names the same
  // file, else with the default character, so that it names no file.
  virtual std::string PathFromWide(const wchar_t* path) = 0;

  // The support record's needs. None of them fails towards its caller: a
  // record that cannot be written changes nothing else.
  virtual LocalTime Now() = 0;
  // A millisecond count that only goes up (it wraps after 49 days).
  virtual std::uint32_t TickMs() = 0;
  virtual StartFacts DescribeStart() = 0;
  // The place of the last structured exception contained on this thread,
  // as "module+0xoffset".
  virtual std::string LastFaultPlace() = 0;
  // The executable file name of a process, without its folder, in UTF-8.
  virtual std::string ProcessName(std::uint32_t pid) = 0;
  // An ANSI text in UTF-8, as the record is written.
  virtual std::string Utf8FromAnsi(std::string_view ansi) = 0;
  // The log level set by policy (machinePolicy) or by the user; nullopt
  // when that value is not set.
  virtual std::optional<std::uint32_t> LogLevelSetting(bool machinePolicy) = 0;
  // The user's support log, its folder made when missing; null when it
  // cannot be opened.
  virtual std::unique_ptr<SupportLogFile> OpenSupportLog() = 0;
  // Waits a bounded while for the lock; null when it did not come.
  virtual std::unique_ptr<SupportLogLock> LockSupportLog() = 0;
  // Under the lock: the log's content becomes the older log, replacing
  // that, and the log starts empty. False when that could not be done.
  virtual bool StartSupportLogAfresh() = 0;
  // One entry in the system's event log, with the text as its only insert.
  virtual void ReportSystemEvent(SystemEvent event, std::string_view utf8Text) = 0;

 protected:
  // SendCopyData's delivery, once the target has passed its check. A
  // delivery that did not end with an answer says how in SetDeliveryEnd.
  virtual std::uint32_t DeliverCopyData(WindowHandle target, WindowHandle sender, const CopyDataRecord& record) = 0;
  void SetDeliveryEnd(SendEnd end, std::uint32_t waitedMs) { delivery_ = {end, waitedMs}; }

 private:
  void Report(const SendReport& report) {
    if (sendObserver_ != nullptr) sendObserver_->Sent(report);
  }

  struct Delivery {
    SendEnd end;
    std::uint32_t waitedMs;
  };
  Delivery delivery_{SendEnd::kAnswered, 0};
  SendObserver* sendObserver_ = nullptr;
};

}  // namespace platform
