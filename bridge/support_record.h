// The support record: one line per event of the link in the user's support
// log, so that support can see afterwards what happened on a desk, and the
// plug-in's failures in the system's event log as well, where IT looks.
//
// The record only watches: every method contains its own failures, shows
// nothing, waits no longer than the log's lock allows, and changes nothing
// that the plug-in does. A line that cannot be written is counted, and the
// next line that can says how many were lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "peer_link/connected_peers.h"
#include "platform/platform.h"

namespace bridge {

enum class LogLevel : std::uint32_t { kOff = 0, kNormal = 1, kVerbose = 2 };

// The machine's policy wins over the user's value; with neither the level is
// normal, and any value above 2 counts as verbose.
LogLevel ChooseLogLevel(std::optional<std::uint32_t> policy, std::optional<std::uint32_t> user);

// Each file of the log stays below this size; the older file takes the log's
// content when the next line would pass it.
inline constexpr std::uint64_t kSupportLogLimit = std::uint64_t{1024} * 1024;
// What the verbose level shows of each payload.
inline constexpr std::size_t kPayloadExcerptBytes = 256;
// At most one entry of each kind in the system's event log in this time.
inline constexpr std::uint32_t kSystemEventIntervalMs = 60 * 1000;

// One command of a peer, once handled.
struct HandledCommand {
  platform::WindowHandle sender;
  const platform::CopyDataRecord* record;
  std::intptr_t reply;
  std::uint32_t tookMs;
  // For a selection: how many of its GUIDs named an element.
  std::optional<std::size_t> found;
};

class SupportRecord final : public platform::SendObserver {
 public:
  explicit SupportRecord(platform::Platform& system) : system_(system) {}
  ~SupportRecord();
  SupportRecord(const SupportRecord&) = delete;
  SupportRecord& operator=(const SupportRecord&) = delete;

  // Reads the level, watches the platform's sends from now on and writes
  // the start line.
  void Start() noexcept;
  // Inside the handler of the failure that ended the start.
  void StartFailed() noexcept;
  void Stop() noexcept;

  // taken: the window joined the connected peers.
  void Connected(platform::WindowHandle peer, bool taken) noexcept;
  // Five programs are connected already.
  void ConnectRefused(platform::WindowHandle peer, std::uint32_t peerProcess) noexcept;
  // connected: the window was one of the connected peers.
  void Left(platform::WindowHandle peer, bool connected) noexcept;
  void Disconnected(const std::vector<peer_link::ConnectedPeer>& peers) noexcept;
  // A connected peer's window has gone; linkEnds: it was the last one;
  // othersStay: peers that have not gone are still connected.
  void PeerGone(platform::WindowHandle peer, std::uint32_t peerProcess, bool linkEnds, bool othersStay) noexcept;
  void Sent(const platform::SendReport& report) noexcept override;
  void CommandHandled(const HandledCommand& command) noexcept;
  // Inside the handler of a failure that the operation contained.
  void Fault(std::string_view operation) noexcept;

  LogLevel Level() const { return level_; }

 private:
  // One event's line, its words made only when the level writes them; a
  // failure on the way counts as a lost line.
  template <typename Words>
  void Note(const Words& words) noexcept {
    try {
      if (level_ != LogLevel::kOff) Write(words());
    } catch (...) {
      ++lost_;
    }
  }
  // "QUABO.EXE pid 4711 (window 0x1f0a2)".
  std::string Peer(platform::WindowHandle window, std::uint32_t pid);
  std::string ProgramName(std::uint32_t pid);
  // The failure being handled, in words.
  std::string CurrentFailure();
  void Write(std::string_view words);
  bool WriteLines(const std::string& text);
  void TellSystem(platform::SystemEvent event, const std::string& words);

  platform::Platform& system_;
  LogLevel level_ = LogLevel::kOff;
  bool started_ = false;
  std::uint32_t processId_ = 0;
  std::unique_ptr<platform::SupportLogFile> file_;
  std::uint64_t lost_ = 0;
  std::map<std::uint32_t, std::string> programs_;
  std::map<platform::SystemEvent, std::uint32_t> lastSystemEvent_;
};

// The first bytes of a payload as a line may show them: control bytes
// escaped (CR as \r, LF as \n, others as \xNN), paths left readable; ANSI
// letters are left to the caller.
std::string PayloadExcerpt(std::string_view bytes);

}  // namespace bridge
