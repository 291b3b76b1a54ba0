#include "peer_link/connected_peers.h"

#include <algorithm>

namespace peer_link {

namespace {

// A window handle that the system gave to another process since the
// connect is no longer the peer's.
bool Gone(platform::Platform& system, const ConnectedPeer& peer) {
  return !system.WindowExists(peer.window) || system.WindowProcessId(peer.window) != peer.processId;
}

}  // namespace

bool ConnectedPeers::Add(platform::WindowHandle window, std::uint32_t processId) {
  const auto same = std::ranges::find(peers_, processId, &ConnectedPeer::processId);
  if (same != peers_.end()) {
    same->window = window;
    return true;
  }
  if (peers_.size() >= kMaxConnectedPeers) return false;
  peers_.push_back({window, processId});
  return true;
}

bool ConnectedPeers::Accepts(std::uint32_t processId) const {
  return peers_.size() < kMaxConnectedPeers ||
         std::ranges::find(peers_, processId, &ConnectedPeer::processId) != peers_.end();
}

bool ConnectedPeers::Remove(platform::WindowHandle window) {
  return std::erase_if(peers_, [&](const ConnectedPeer& p) { return p.window == window; }) != 0;
}

std::vector<ConnectedPeer> ConnectedPeers::RemoveGone(platform::Platform& system) {
  std::vector<ConnectedPeer> gone;
  std::erase_if(peers_, [&](const ConnectedPeer& p) {
    if (!Gone(system, p)) return false;
    gone.push_back(p);
    return true;
  });
  return gone;
}

PeerWindows ConnectedPeers::Targets() const {
  PeerWindows slots{};
  std::ranges::transform(peers_, slots.begin(), &ConnectedPeer::window);
  return slots;
}

}  // namespace peer_link
