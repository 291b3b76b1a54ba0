// The peers that connected: one window per process, at most five processes,
// kept in the order they connected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "peer_link/peer_discovery.h"
#include "platform/platform.h"

namespace peer_link {

// As many processes as a send has target slots.
inline constexpr std::size_t kMaxConnectedPeers = kPeerSlots;

struct ConnectedPeer {
  platform::WindowHandle window;
  // The process that owned the window when it connected.
  std::uint32_t processId;
};

class ConnectedPeers {
 public:
  // A process that is connected already keeps its place and takes the new
  // window; another is added last, unless five are connected: then nothing
  // changes and the answer is false.
  bool Add(platform::WindowHandle window, std::uint32_t processId);
  // Whether Add would take a window of that process.
  bool Accepts(std::uint32_t processId) const;
  // False when the window was not connected.
  bool Remove(platform::WindowHandle window);
  // Removes every peer whose window has gone or belongs to another process
  // now, and returns them.
  std::vector<ConnectedPeer> RemoveGone(platform::Platform& system);
  void Clear() { peers_.clear(); }

  bool Empty() const { return peers_.empty(); }
  // The windows in connect order, in the first slots.
  PeerWindows Targets() const;
  const std::vector<ConnectedPeer>& All() const { return peers_; }

 private:
  std::vector<ConnectedPeer> peers_;
};

}  // namespace peer_link
