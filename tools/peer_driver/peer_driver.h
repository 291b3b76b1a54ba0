#pragma once
// Drives peer_sim.exe from a test: starts it under a chosen executable name,
// writes its stdin commands and collects its stdout lines. Every wait pumps
// the calling thread's messages, because windows that the peer talks to
// (a test window, the plug-in's hidden window) live on that thread.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How long a wait for something a peer will do may take: generous enough
// for Wine on a machine whose cores are all busy. Only a wait for something
// that never comes lasts this long.
inline constexpr DWORD kPeerWaitMs = 120000;

class PeerProcess {
 public:
  // Copies peerSimExe (a Windows path, or a Unix path that Wine reaches as
  // Z:) to <a fresh temp dir>/<exeName>, so that the process's image name is
  // exeName, starts it with args and waits up to kPeerWaitMs for its ready line
  // (not with waitReady false: another program, such as the viewer simulator's
  // console, driven by Write and WaitLine alone). Throws std::runtime_error on
  // failure.
  PeerProcess(const std::string& peerSimExe, const std::string& exeName, const std::vector<std::string>& args = {},
              bool waitReady = true);
  // Sends quit, waits a bounded while, then terminates; removes the copy.
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  HWND Window() const;
  DWORD Pid() const;
  // Full path of the copied executable.
  std::string ExePath() const;

  // Writes one command line and waits for its "ack <word>" line. Returns the
  // lines that arrived after the command was written and before the ack;
  // lines the peer printed just before (e.g. "recv" of a message this thread
  // sent) may still be in the pipe and come back here too. Throws
  // std::runtime_error when peer_sim answers "error <line>" or nothing comes
  // in time, std::invalid_argument for an empty line or one with a line break.
  std::vector<std::string> Command(const std::string& line, DWORD timeoutMs = kPeerWaitMs);

  // The earliest line starting with prefix that no earlier WaitLine call
  // returned (lines that came before this call count), waiting for one if
  // needed; std::nullopt on timeout or when the peer's output has ended.
  std::optional<std::string> WaitLine(const std::string& prefix, DWORD timeoutMs = kPeerWaitMs);

  std::vector<std::string> Received() const;  // every "recv ..." line so far, in order
  std::vector<std::string> Lines() const;     // every line so far

  // Writes one line to the peer's stdin without waiting for an answer (the
  // interactive console prints no acks; wait for its log with WaitLine).
  void Write(const std::string& line);
  // Closes the peer's stdin (it then exits on its own).
  void CloseInput();
  // Pumps messages until the process has exited; false on timeout.
  bool WaitForExit(DWORD timeoutMs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A "recv ..." line taken apart.
struct ReceivedMessage {
  uint32_t code;
  uint32_t cb;
  std::string bytes;   // unescaped; empty when the data pointer was null
  uintptr_t from = 0;  // the sender's wParam
  bool nullData = false;
};
// Throws std::invalid_argument on a line that is not a well-formed recv line.
ReceivedMessage ParseRecv(const std::string& recvLine);

// Pumps the calling thread's messages for at most ms milliseconds, or until
// pred() is true; returns pred()'s last value.
bool PumpUntil(const std::function<bool()>& pred, DWORD ms);
