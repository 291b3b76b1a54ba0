#include "tools/viewer_sim/send_watch.h"

#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace viewer_sim {
namespace {

std::atomic<SendObserver*> gObserver{nullptr};

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

struct Outcome {
  bool answered;
  LRESULT reply;
};

// Reports around one send; a report that fails must not disturb the send.
template <typename Send>
Outcome Watched(HWND target, UINT message, WPARAM wParam, LPARAM lParam, bool ifHung, Send send) noexcept {
  SendObserver* observer = message == WM_COPYDATA ? gObserver.load() : nullptr;
  if (observer) {
    try {
      observer->Sending(target, wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    } catch (...) {
      // The send goes out unreported.
    }
  }
  const auto start = std::chrono::steady_clock::now();
  SetLastError(0);
  const Outcome outcome = send();
  const DWORD error = outcome.answered ? 0 : GetLastError();
  if (observer) {
    try {
      observer->Sent(target, outcome.answered, outcome.reply, error, MillisecondsSince(start), ifHung);
    } catch (...) {
      // As above.
    }
  }
  SetLastError(error);
  return outcome;
}

LRESULT WINAPI WatchedSendMessageTimeoutA(HWND target, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                          UINT timeout, PDWORD_PTR reply) noexcept {
  const Outcome outcome = Watched(target, message, wParam, lParam, (flags & SMTO_ABORTIFHUNG) != 0, [&] {
    DWORD_PTR answer = 0;
    const bool answered = SendMessageTimeoutA(target, message, wParam, lParam, flags, timeout, &answer) != 0;
    return Outcome{answered, static_cast<LRESULT>(answer)};
  });
  if (reply) *reply = static_cast<DWORD_PTR>(outcome.reply);
  return outcome.answered ? TRUE : FALSE;
}

// SendMessageA tells a failure only by 0 and the thread's last error.
LRESULT WINAPI WatchedSendMessageA(HWND target, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const Outcome outcome = Watched(target, message, wParam, lParam, false, [&] {
    const LRESULT result = SendMessageA(target, message, wParam, lParam);
    return Outcome{result != 0 || GetLastError() == 0, result};
  });
  return outcome.reply;
}

HANDLE WINAPI WatchedSnapshot(DWORD flags, DWORD processId) noexcept {
  if (SendObserver* observer = gObserver.load()) {
    try {
      observer->PeerSearch();
    } catch (...) {
    }
  }
  return CreateToolhelp32Snapshot(flags, processId);
}

// Points every slot of module's import table that imports `function` from
// `dll` at replacement. Slots are found by the import's name, or by the
// address they hold when the table keeps no names.
int Patch(HMODULE module, const char* dll, const char* function, const void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return 0;
  const HMODULE exporter = GetModuleHandleA(dll);
  const auto address = exporter ? reinterpret_cast<ULONG_PTR>(GetProcAddress(exporter, function)) : 0;
  int patched = 0;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
       ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slot) {
      bool match = false;
      if (entry->OriginalFirstThunk && !IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        match = std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
      } else {
        match = address != 0 && slot->u1.Function == address;
      }
      DWORD protection = 0;
      if (!match || !VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection)) {
        continue;
      }
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      ++patched;
    }
  }
  return patched;
}

}  // namespace

int WatchSends(HMODULE module, SendObserver* observer) {
  gObserver = observer;
  if (!module) return 0;
  return Patch(module, "user32.dll", "SendMessageTimeoutA",
               reinterpret_cast<const void*>(&WatchedSendMessageTimeoutA)) +
         Patch(module, "user32.dll", "SendMessageA", reinterpret_cast<const void*>(&WatchedSendMessageA)) +
         Patch(module, "kernel32.dll", "CreateToolhelp32Snapshot", reinterpret_cast<const void*>(&WatchedSnapshot));
}

}  // namespace viewer_sim
