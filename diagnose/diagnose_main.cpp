// VidudUDE-Diagnose.exe: prints why the link between the viewer and Quabo
// may not work on this desk, and changes nothing. Exit status 0: no problem
// found; 1: a problem found; 2: the diagnosis itself failed.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "diagnose/diagnosis.h"
#include "diagnose/win32_diagnose_system.h"

namespace {

// The report is UTF-8: a console gets it as UTF-16, so that the umlauts show
// whatever its code page; a file or a pipe gets the UTF-8 bytes.
void Print(const std::string& text) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode)) {
    std::wstring wide(text.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                             static_cast<int>(wide.size()));
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(length), &written, nullptr);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace

int main() {
  try {
    diagnose::Win32DiagnoseSystem system;
    const auto report = diagnose::Diagnose(system);
    Print("VidudUDE-Diagnose: Verbindung BIM Vision <-> Quabo (ändert nichts)\n\n" + report.text);
    return diagnose::ExitStatus(report);
  } catch (const std::exception& e) {
    Print(std::string("Die Diagnose ist gescheitert: ") + e.what() + "\n");
    return 2;
  }
}
