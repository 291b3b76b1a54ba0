// VidudUDE-Diagnose.exe: prints why the link between the viewer and Quabo
// may not work on this desk, or with --install-check whether the
// installation is whole, and changes nothing. Exit status 0: no problem
// found; 1: a problem found; 2: the diagnosis itself failed, or the command
// line is wrong.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "diagnose/diagnosis.h"
#include "diagnose/options.h"
#include "diagnose/win32_diagnose_system.h"
#include "platform/win32_handles.h"

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                           static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return wide;
}

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

// The report is UTF-8: a console gets it as UTF-16, so that the umlauts show
// whatever its code page; a file or a pipe gets the UTF-8 bytes.
void Print(const std::string& text) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring wide = Wide(text);
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
}

// The arguments as UTF-8, from the wide command line: a report file may lie
// in a folder whose name the ANSI code page cannot spell.
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> result;
  for (int i = 1; arguments && i < count; ++i) result.push_back(Utf8(arguments[i]));
  ::LocalFree(arguments);
  return result;
}

// With Windows line ends, for whatever editor support opens it in.
bool WriteReport(const std::string& path, const std::string& report) {
  std::string text;
  for (const char c : report) {
    if (c == '\n') text += '\r';
    text += c;
  }
  const platform::UniqueFile file(
      ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

}  // namespace

int main() {
  try {
    const auto options = diagnose::ParseOptions(Arguments());
    if (!options.error.empty()) {
      Print("VidudUDE-Diagnose: " + options.error + "\n\n" + diagnose::kUsage);
      return 2;
    }
    if (options.help) {
      Print(diagnose::kUsage);
      return 0;
    }
    diagnose::Win32DiagnoseSystem system;
    const auto report = options.installCheck ? diagnose::CheckInstallation(system) : diagnose::Diagnose(system);
    Print(report.text);
    if (!options.reportFile.empty()) {
      if (!WriteReport(options.reportFile, report.text)) {
        Print("Der Bericht ließ sich nicht schreiben: " + options.reportFile + "\n");
        return 2;
      }
      Print("Bericht geschrieben: " + options.reportFile + "\n");
    }
    return diagnose::ExitStatus(report);
  } catch (const std::exception& e) {
    Print(std::string("Die Diagnose ist gescheitert: ") + e.what() + "\n");
    return 2;
  }
}
