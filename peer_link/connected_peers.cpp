#include "peer_link/connected_peers.h"

#include <algorithm>

namespace peer_link {

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

bool ConnectedPeers::Gone(platform::Platform& system, const ConnectedPeer& peer) {
  return !system.WindowExists(peer.window) || system.WindowProcessId(peer.window) != peer.processId;
}

bool ConnectedPeers::RemoveGone(platform::Platform& system) {
  return std::erase_if(peers_, [&](const ConnectedPeer& p) { return Gone(system, p); }) != 0;
}

bool ConnectedPeers::Contains(platform::WindowHandle window) const {
  return std::ranges::find(peers_, window, &ConnectedPeer::window) != peers_.end();
}

PeerWindows ConnectedPeers::Targets() const {
  PeerWindows slots{};
  std::ranges::transform(peers_, slots.begin(), &ConnectedPeer::window);
  return slots;
}

}  // namespace peer_link
