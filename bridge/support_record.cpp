#include "bridge/support_record.h"

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "bridge/guid_lines.h"
#include "host_api/viewer_binding.h"
#include "peer_link/peer_message.h"

namespace bridge {

namespace {

// Programs remembered by process id; a desk runs few peers.
constexpr std::size_t kProgramsKept = 32;

std::string Hex(std::uintptr_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::string ExceptionCode(std::uint32_t code) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kOff:
      return "off";
    case LogLevel::kNormal:
      return "normal";
    case LogLevel::kVerbose:
      return "verbose";
  }
  return "normal";
}

std::string Prefix(const platform::LocalTime& t, std::uint32_t pid) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond, static_cast<unsigned long>(pid));
  return text;
}

// The bytes a record declares, up to its first NUL.
std::string_view RecordText(const platform::CopyDataRecord* record) {
  if (record == nullptr || record->data == nullptr) return {};
  const std::string_view bytes(static_cast<const char*>(record->data), record->size);
  return bytes.substr(0, bytes.find('\0'));
}

}  // namespace

LogLevel ChooseLogLevel(std::optional<std::uint32_t> policy, std::optional<std::uint32_t> user) {
  const std::optional<std::uint32_t> value = policy ? policy : user;
  if (!value) return LogLevel::kNormal;
  if (*value == 0) return LogLevel::kOff;
  return *value == 1 ? LogLevel::kNormal : LogLevel::kVerbose;
}

std::string PayloadExcerpt(std::string_view bytes) {
  std::string text;
  const std::string_view shown = bytes.substr(0, kPayloadExcerptBytes);
  for (const char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  if (bytes.size() > shown.size()) text += "...";
  return text;
}

SupportRecord::~SupportRecord() {
  if (started_) system_.SetSendObserver(nullptr);
}

void SupportRecord::Start() noexcept {
  try {
    processId_ = system_.CurrentProcessId();
    level_ = ChooseLogLevel(system_.LogLevelSetting(true), system_.LogLevelSetting(false));
    system_.SetSendObserver(this);
    started_ = true;
    if (level_ == LogLevel::kOff) return;
    const platform::StartFacts facts = system_.DescribeStart();
    Write("start: VidudUDE.DLL " + facts.pluginVersion + " at " + facts.pluginPath + "; viewer " + facts.viewerPath +
          " " + facts.viewerVersion + "; ANSI code page " + std::to_string(facts.ansiCodePage) + "; log level " +
          LevelName(level_));
  } catch (...) {
    ++lost_;
  }
}

void SupportRecord::StartFailed() noexcept {
  try {
    const std::string words = "start failed, the plug-in stays inactive: " + CurrentFailure();
    Write(words);
    TellSystem(platform::SystemEvent::kStartFailed, words);
  } catch (...) {
    ++lost_;
  }
}

void SupportRecord::Stop() noexcept {
  Note([] { return std::string("stop"); });
}

void SupportRecord::Connected(platform::WindowHandle peer, bool taken) noexcept {
  Note([&] {
    std::string words = "connect from " + Peer(peer, system_.WindowProcessId(peer));
    if (!taken) words += ": not a peer's window, so messages still go to the peers found by discovery";
    return words;
  });
}

void SupportRecord::ConnectRefused(platform::WindowHandle peer, std::uint32_t peerProcess) noexcept {
  Note([&] { return "connect from " + Peer(peer, peerProcess) + " refused: five programs are connected already"; });
}

void SupportRecord::Left(platform::WindowHandle peer, bool connected) noexcept {
  Note([&] {
    return Peer(peer, system_.WindowProcessId(peer)) +
           (connected ? " left the link" : " asked to leave but was not connected");
  });
}

void SupportRecord::Disconnected(const std::vector<peer_link::ConnectedPeer>& peers) noexcept {
  Note([&] {
    std::string words = "disconnect: the link ends";
    for (std::size_t i = 0; i < peers.size(); ++i) {
      words += (i == 0 ? " for " : ", ") + Peer(peers[i].window, peers[i].processId);
    }
    return words + "; the viewer is asked to close";
  });
}

// A peer that goes in the same tick as the last one neither ends the link
// nor leaves others connected.
void SupportRecord::PeerGone(platform::WindowHandle peer, std::uint32_t peerProcess, bool linkEnds,
                             bool othersStay) noexcept {
  Note([&] {
    const std::string words = "the connected peer " + Peer(peer, peerProcess) + " has gone";
    if (linkEnds) return "link ended: " + words;
    return othersStay ? words + "; the others stay connected" : words;
  });
}

void SupportRecord::Sent(const platform::SendReport& report) noexcept {
  Note([&] {
    std::string words = "sent " + std::to_string(report.record.code) + " to " +
                        Peer(report.target, report.targetProcess) + ", " + std::to_string(report.record.size) +
                        " bytes: ";
    switch (report.end) {
      case platform::SendEnd::kAnswered:
        words += "reply " + std::to_string(report.reply);
        break;
      case platform::SendEnd::kTimedOut:
        words += "timed out after " + std::to_string(report.waitedMs) + " ms";
        break;
      case platform::SendEnd::kHung:
        words += "not sent: the peer is hung";
        break;
      case platform::SendEnd::kWindowGone:
        words += "window gone";
        break;
      case platform::SendEnd::kRefused:
        words += "not sent: not a peer's window";
        break;
    }
    if (level_ == LogLevel::kVerbose) {
      words += "; payload \"" + system_.Utf8FromAnsi(PayloadExcerpt(RecordText(&report.record))) + "\"";
    }
    return words;
  });
}

void SupportRecord::CommandHandled(const HandledCommand& command) noexcept {
  Note([&] {
    const std::uint64_t code = command.record ? command.record->code : 0;
    std::string words = "command " + std::to_string(code) + " from " +
                        Peer(command.sender, system_.WindowProcessId(command.sender)) + ": reply " +
                        std::to_string(command.reply) + " after " + std::to_string(command.tookMs) + " ms";
    const std::string_view text = RecordText(command.record);
    if (code == peer_link::kCommandLoadModel) {
      words += "; path \"" + system_.Utf8FromAnsi(PayloadExcerpt(peer_link::TrimBlanks(text))) + "\"";
    } else if (code == peer_link::kCommandSelect) {
      std::size_t guids = 0;
      ForEachLine(text == peer_link::kNoGuids ? std::string_view() : text, [&](std::string_view) { ++guids; });
      words += "; " + std::to_string(guids) + " GUIDs";
      if (command.found) words += ", " + std::to_string(*command.found) + " found";
    }
    if (level_ == LogLevel::kVerbose && command.record != nullptr) {
      words += "; payload \"" + system_.Utf8FromAnsi(PayloadExcerpt(text)) + "\"";
    }
    return words;
  });
}

void SupportRecord::Fault(std::string_view operation) noexcept {
  try {
    const std::string words = "fault contained in " + std::string(operation) + ": " + CurrentFailure();
    Write(words);
    TellSystem(platform::SystemEvent::kFaultContained, words);
  } catch (...) {
    ++lost_;
  }
}

std::string SupportRecord::Peer(platform::WindowHandle window, std::uint32_t pid) {
  return ProgramName(pid) + " pid " + std::to_string(pid) + " (window " + Hex(window) + ")";
}

std::string SupportRecord::ProgramName(std::uint32_t pid) {
  if (pid == 0) return "unknown program";
  const auto known = programs_.find(pid);
  if (known != programs_.end()) return known->second;
  std::string name = system_.ProcessName(pid);
  if (name.empty()) return "unknown program";
  if (programs_.size() >= kProgramsKept) programs_.clear();
  programs_.emplace(pid, name);
  return name;
}

std::string SupportRecord::CurrentFailure() {
  try {
    throw;
  } catch (const platform::ContainedFault& fault) {
    return "exception " + ExceptionCode(fault.Code()) + " at " + system_.LastFaultPlace();
  } catch (const host_api::ViewerFault& fault) {
    return "exception " + ExceptionCode(fault.Code()) + " in a viewer function, at " + system_.LastFaultPlace();
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown failure";
  }
}

// The count of lost lines goes with the next line in one write.
void SupportRecord::Write(std::string_view words) {
  if (level_ == LogLevel::kOff) return;
  const std::string prefix = Prefix(system_.Now(), processId_);
  std::string text;
  if (lost_ > 0) text = prefix + std::to_string(lost_) + " earlier lines could not be written\r\n";
  text += prefix + std::string(words) + "\r\n";
  if (WriteLines(text)) {
    lost_ = 0;
  } else {
    ++lost_;
  }
}

// Under the lock, so that no other process appends or starts the log afresh
// between the size read here and the write. A log that cannot start afresh
// takes no more lines: the bound comes first.
bool SupportRecord::WriteLines(const std::string& text) {
  if (!file_) file_ = system_.OpenSupportLog();
  if (!file_) return false;
  const std::unique_ptr<platform::SupportLogLock> lock = system_.LockSupportLog();
  if (!lock) return false;
  const std::optional<std::uint64_t> size = file_->Size();
  if (!size) return false;
  if (*size + text.size() > kSupportLogLimit && (!system_.StartSupportLogAfresh() || !file_->Size())) return false;
  if (file_->Append(text)) return true;
  // Opened again for the next line: the disk may have room then.
  file_.reset();
  return false;
}

void SupportRecord::TellSystem(platform::SystemEvent event, const std::string& words) {
  const std::uint32_t now = system_.TickMs();
  const auto last = lastSystemEvent_.find(event);
  if (last != lastSystemEvent_.end() && now - last->second < kSystemEventIntervalMs) return;
  lastSystemEvent_[event] = now;
  system_.ReportSystemEvent(event, words);
}

}  // namespace bridge
