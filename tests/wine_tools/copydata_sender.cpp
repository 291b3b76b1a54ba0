// copydata_sender HWND CODE SIZE BYTE [nul]: sends one WM_COPYDATA of SIZE
// bytes, all BYTE (hex), optionally followed by a NUL, to the window, and
// prints the reply. For payloads too large for peer_sim's text commands.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  try {
    if (argc < 5) {
      std::fprintf(stderr, "usage: copydata_sender HWND CODE SIZE BYTE [nul]\n");
      return 2;
    }
    const auto window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[1], nullptr, 16)));
    const auto code = static_cast<ULONG_PTR>(std::strtoull(argv[2], nullptr, 10));
    const auto size = static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10));
    const auto fill = static_cast<char>(std::strtoul(argv[4], nullptr, 16));
    const bool nul = argc > 5 && std::strcmp(argv[5], "nul") == 0;
    std::vector<char> payload(size, fill);
    if (nul) payload.push_back('\0');
    COPYDATASTRUCT data{code, static_cast<DWORD>(payload.size()), payload.data()};
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 60000, &reply)) {
      std::printf("failed %lu\n", GetLastError());
      return 1;
    }
    std::printf("reply %lu\n", static_cast<unsigned long>(reply));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "copydata_sender: %s\n", e.what());
    return 1;
  }
}
