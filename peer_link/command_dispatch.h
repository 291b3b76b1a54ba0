// The dispatch that reads one incoming message and calls the action its code
// names; the codes and replies are in peer_link/wire.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "peer_link/wire.h"
#include "platform/platform.h"

namespace peer_link {

// What the commands do. The controller carries them out; the dispatch only
// decides which one runs and what the peer is answered.
class CommandActions {
 public:
  // The link becomes active and peer joins the targets; false when the
  // link is full, and nothing changed.
  virtual bool Connect(platform::WindowHandle peer) = 0;
  // The link becomes inactive, every peer is forgotten, the viewer is closed.
  virtual void Disconnect() = 0;
  // That window alone leaves the targets; the viewer stays open.
  virtual void Leave(platform::WindowHandle peer) = 0;
  // False when the viewer did not load the file.
  virtual bool LoadModel(std::string_view path) = 0;
  // Takes the text over: it may be as long as a sender likes.
  virtual void Select(std::string guids) = 0;
  virtual void RestoreView(const std::string& viewState) = 0;
  virtual void EnableLinesButton(bool enabled) = 0;
  // Sends the open model's path as after a load; false when there was none
  // to send, and nothing went out.
  virtual bool SendModelPathAgain() = 0;
  // Sends the viewer's selection as after a change; false when none went
  // out.
  virtual bool SendSelectionAgain() = 0;

 protected:
  ~CommandActions() = default;
};

// Sets result to the reply first, then runs the command's action to its end.
// A failing action leaves the reply that was set before it ran and the
// failure goes on to the caller.
void DispatchCommand(CommandActions& actions, platform::WindowHandle sender, const platform::CopyDataRecord* record,
                     std::intptr_t& result);

}  // namespace peer_link
