// The peer's side of the send benchmark: one top-level window of the peer
// class that reads every WM_COPYDATA it gets and answers 1. Started under
// the peer's executable name, so that the plug-in's discovery finds it.
#include <windows.h>

namespace {

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    // Every byte is read, as a peer that parses the text reads it; the sum
    // only keeps the loop from being dropped.
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto* bytes = static_cast<const unsigned char*>(record->lpData);
    unsigned sum = 0;
    for (DWORD i = 0; bytes != nullptr && i < record->cbData; ++i) sum += bytes[i];
    return sum == 0xFFFFFFFFu ? 2 : 1;
  }
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main() {
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = ReceiverProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "TMainForm";
  if (!RegisterClassExA(&cls)) return 1;
  if (!CreateWindowExA(0, cls.lpszClassName, "bench peer", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, cls.hInstance,
                       nullptr)) {
    return 1;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
