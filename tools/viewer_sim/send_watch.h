// Watching what a loaded plug-in sends, from the host's side: its import
// table is pointed at functions of ours that report each WM_COPYDATA and
// each process snapshot (a search for peers), then call the system's own.
// The plug-in's code stays as it is.
#pragma once

#include <windows.h>

namespace viewer_sim {

class SendObserver {
 public:
  // The plug-in takes a process snapshot: it searches for peer processes.
  virtual void PeerSearch() = 0;
  virtual void Sending(HWND target, WPARAM wParam, const COPYDATASTRUCT* data) = 0;
  // answered: the target's reply arrived (reply); otherwise error is the
  // system's reason (a timeout, a window that has gone). ifHung: the send
  // gave up at once on a thread that the system counts as hung.
  virtual void Sent(HWND target, bool answered, LRESULT reply, DWORD error, long long waitedMs, bool ifHung) = 0;

 protected:
  ~SendObserver() = default;
};

// Hooks module's imports of SendMessageTimeoutA, SendMessageA and
// CreateToolhelp32Snapshot and reports to observer (one for the process;
// nullptr stops the reports). The patch goes away with the module. Returns
// the number of import slots patched.
int WatchSends(HMODULE module, SendObserver* observer);

}  // namespace viewer_sim
