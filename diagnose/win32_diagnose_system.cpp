#include "diagnose/win32_diagnose_system.h"

#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <iterator>
#include <string_view>

#include "diagnose/diagnosis.h"
#include "platform/platform.h"
#include "platform/win32_handles.h"

namespace diagnose {
namespace {

HANDLE NoHandle() noexcept { return nullptr; }
void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
// A process, token or file mapping: empty at null, released by CloseHandle.
using UniqueKernelHandle = platform::UniqueHandle<HANDLE, NoHandle, CloseKernelHandle>;

void* NoView() noexcept { return nullptr; }
void Unmap(void* view) noexcept { ::UnmapViewOfFile(view); }
using UniqueView = platform::UniqueHandle<void*, NoView, Unmap>;

// The report and every text of DiagnoseSystem are UTF-8, so that a path
// outside the ANSI code page still names its file and prints as it is.
std::string Utf8(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  std::string utf8(
      static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, size, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8;
}

std::string Utf8(const wchar_t* text) { return Utf8(text, std::wcslen(text)); }

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

UniqueKernelHandle OpenForQuery(std::uint32_t pid) {
  return UniqueKernelHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

// The bytes of a mapped file, read with every offset checked against its size.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const platform::UniqueFile file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0 || size.HighPart != 0) return;
    const UniqueKernelHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return;
    view_.reset(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (view_) size_ = size.LowPart;
  }

  template <class T>
  const T* At(std::uint32_t offset) const {
    if (!view_ || offset > size_ || size_ - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(static_cast<const char*>(view_.get()) + offset);
  }
  // The NUL-terminated text at offset; empty when it runs past the end.
  std::string_view Text(std::uint32_t offset) const {
    if (!view_ || offset >= size_) return {};
    const char* text = static_cast<const char*>(view_.get()) + offset;
    const std::size_t length = strnlen(text, size_ - offset);
    return length == size_ - offset ? std::string_view() : std::string_view(text, length);
  }

 private:
  UniqueView view_;
  std::uint32_t size_ = 0;
};

// The file offset of a relative virtual address, through the section table.
std::optional<std::uint32_t> FileOffset(const MappedFile& file, std::uint32_t sectionsAt, unsigned sections,
                                        std::uint32_t rva) {
  for (unsigned i = 0; i < sections; ++i) {
    const auto* section = file.At<IMAGE_SECTION_HEADER>(sectionsAt + i * sizeof(IMAGE_SECTION_HEADER));
    if (!section) return std::nullopt;
    const std::uint32_t size = std::max<std::uint32_t>(section->Misc.VirtualSize, section->SizeOfRawData);
    if (rva >= section->VirtualAddress && rva - section->VirtualAddress < size) {
      return rva - section->VirtualAddress + section->PointerToRawData;
    }
  }
  return std::nullopt;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM found) noexcept {
  Window entry;
  entry.handle = reinterpret_cast<WindowHandle>(window);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  entry.pid = pid;
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  try {
    entry.className = Utf8(name, length > 0 ? static_cast<std::size_t>(length) : 0);
    reinterpret_cast<std::vector<Window>*>(found)->push_back(std::move(entry));
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

HKEY NoKey() noexcept { return nullptr; }
void CloseKey(HKEY key) noexcept { ::RegCloseKey(key); }
using UniqueKey = platform::UniqueHandle<HKEY, NoKey, CloseKey>;

// The bytes of a value of one of two types under HKEY_LOCAL_MACHINE, in the
// 32-bit view (the package's, and the one a 32-bit program sees anyway).
std::optional<std::string> MachineValue(const std::string& key, const std::string& name,
                                        std::initializer_list<DWORD> types) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &raw) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const UniqueKey opened(raw);
  const std::wstring wideName = Wide(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(opened.get(), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      std::find(types.begin(), types.end(), type) == types.end()) {
    return std::nullopt;
  }
  // Room for a terminating NUL that the value may lack.
  std::string data(size + sizeof(wchar_t), '\0');
  if (::RegQueryValueExW(opened.get(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(type == REG_DWORD ? size : size + sizeof(wchar_t));
  return data;
}

// SMTO_BLOCK alone: SMTO_ABORTIFHUNG would give up at once on a thread that
// has not read messages for five seconds, and so call a viewer hung that is
// only busy loading a large model.
SendResult Send(WindowHandle window, UINT message, LPARAM lParam, unsigned timeoutMs) {
  DWORD_PTR reply = 0;
  ::SetLastError(ERROR_SUCCESS);
  if (::SendMessageTimeoutW(reinterpret_cast<HWND>(window), message, 0, lParam, SMTO_BLOCK, timeoutMs, &reply)) {
    return {SendResult::Outcome::kAnswered, static_cast<std::uint32_t>(reply)};
  }
  const DWORD error = ::GetLastError();
  // Some systems leave the error unset on a timeout.
  if (error == ERROR_TIMEOUT || error == ERROR_SUCCESS) return {SendResult::Outcome::kTimedOut, error};
  if (error == ERROR_ACCESS_DENIED) return {SendResult::Outcome::kRefused, error};
  return {SendResult::Outcome::kFailed, error};
}

}  // namespace

std::string Win32DiagnoseSystem::ProgramFilesFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  return ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE) ? Utf8(path) : std::string();
}

bool Win32DiagnoseSystem::FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string Win32DiagnoseSystem::FileVersion(const std::string& path) {
  const std::wstring file = Wide(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return {};
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, data.data()) ||
      !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
    return {};
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS));
}

std::vector<Process> Win32DiagnoseSystem::Processes() {
  std::vector<Process> processes;
  const platform::UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return processes;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    processes.push_back({entry.th32ProcessID, Utf8(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH))});
  }
  return processes;
}

std::string Win32DiagnoseSystem::ProgramPath(std::uint32_t pid) {
  const auto process = OpenForQuery(pid);
  wchar_t path[MAX_PATH * 4] = {};
  DWORD size = static_cast<DWORD>(std::size(path));
  if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
  return Utf8(path, size);
}

std::vector<std::string> Win32DiagnoseSystem::ExportedNames(const std::string& programPath) {
  std::vector<std::string> names;
  const MappedFile file(programPath);
  const auto* dos = file.At<IMAGE_DOS_HEADER>(0);
  if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return names;
  const auto ntAt = static_cast<std::uint32_t>(dos->e_lfanew);
  const auto* nt = file.At<IMAGE_NT_HEADERS32>(ntAt);
  // Viewers are 32-bit programs: a 64-bit one is none.
  if (!nt || nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT) {
    return names;
  }
  const std::uint32_t sectionsAt =
      ntAt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
  const unsigned sections = nt->FileHeader.NumberOfSections;
  const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto exportsAt = FileOffset(file, sectionsAt, sections, directory.VirtualAddress);
  const auto* exports = exportsAt ? file.At<IMAGE_EXPORT_DIRECTORY>(*exportsAt) : nullptr;
  const auto namesAt = exports ? FileOffset(file, sectionsAt, sections, exports->AddressOfNames) : std::nullopt;
  if (!namesAt) return names;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    const auto* nameRva = file.At<DWORD>(*namesAt + i * sizeof(DWORD));
    const auto nameAt = nameRva ? FileOffset(file, sectionsAt, sections, *nameRva) : std::nullopt;
    if (!nameAt) break;
    names.emplace_back(file.Text(*nameAt));
  }
  return names;
}

std::optional<std::vector<std::string>> Win32DiagnoseSystem::LoadedModules(std::uint32_t pid) {
  platform::UniqueSnapshot snapshot;
  // A process that is just loading a module makes the snapshot fail for a moment.
  for (int attempt = 0; attempt < 5 && !snapshot; ++attempt) {
    snapshot.reset(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
    if (!snapshot && ::GetLastError() != ERROR_BAD_LENGTH) break;
  }
  if (!snapshot) return std::nullopt;
  std::vector<std::string> modules;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more; more = ::Module32NextW(snapshot.get(), &entry)) {
    modules.push_back(Utf8(entry.szExePath, wcsnlen(entry.szExePath, MAX_PATH)));
  }
  return modules;
}

std::optional<std::uint32_t> Win32DiagnoseSystem::IntegrityLevel(std::uint32_t pid) {
  const auto process = OpenForQuery(pid);
  HANDLE rawToken = nullptr;
  if (!process || !::OpenProcessToken(process.get(), TOKEN_QUERY, &rawToken)) return std::nullopt;
  const UniqueKernelHandle token(rawToken);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) return std::nullopt;
  std::string buffer(size, '\0');
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) return std::nullopt;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
  const PSID sid = label->Label.Sid;
  if (!sid || !::IsValidSid(sid) || *::GetSidSubAuthorityCount(sid) == 0) return std::nullopt;
  return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1U);
}

std::vector<Window> Win32DiagnoseSystem::TopLevelWindows() {
  std::vector<Window> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

SendResult Win32DiagnoseSystem::SendCommand(WindowHandle window, std::uint32_t code, unsigned timeoutMs) {
  char text[] = "";
  COPYDATASTRUCT data{};
  data.dwData = code;
  data.cbData = sizeof text;
  data.lpData = text;
  return Send(window, WM_COPYDATA, reinterpret_cast<LPARAM>(&data), timeoutMs);
}

// The plug-in notes its connected peers in properties numbered from 1; the
// first one missing ends the list.
std::vector<WindowHandle> Win32DiagnoseSystem::ConnectedPeers(WindowHandle pluginWindow) {
  std::vector<WindowHandle> peers;
  for (std::size_t i = 1; i <= platform::kNotedPeers; ++i) {
    const std::string name = platform::kConnectedPeerProperty + std::to_string(i);
    const auto peer = reinterpret_cast<WindowHandle>(::GetPropA(reinterpret_cast<HWND>(pluginWindow), name.c_str()));
    if (peer == 0) break;
    peers.push_back(peer);
  }
  return peers;
}

SendResult Win32DiagnoseSystem::Ping(WindowHandle window, unsigned timeoutMs) {
  return Send(window, WM_NULL, 0, timeoutMs);
}

std::optional<std::string> Win32DiagnoseSystem::MachineText(const std::string& key, const std::string& name) {
  const auto data = MachineValue(key, name, {REG_SZ, REG_EXPAND_SZ});
  if (!data) return std::nullopt;
  std::wstring text(data->size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
  return Utf8(text.c_str());
}

std::optional<std::uint32_t> Win32DiagnoseSystem::MachineNumber(const std::string& key, const std::string& name) {
  const auto data = MachineValue(key, name, {REG_DWORD, REG_DWORD});
  if (!data || data->size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, data->data(), sizeof value);
  return value;
}

std::string Win32DiagnoseSystem::LocalAppDataFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  return ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE) ? Utf8(path) : std::string();
}

std::optional<std::string> Win32DiagnoseSystem::ReadFile(const std::string& path) {
  const platform::UniqueFile file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  std::string text;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

std::string Win32DiagnoseSystem::LocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  return text;
}

std::string Win32DiagnoseSystem::ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  return ::GetComputerNameW(name, &size) ? Utf8(name, size) : std::string("unbekannt");
}

std::string Win32DiagnoseSystem::UserName() {
  wchar_t name[256 + 1] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  return ::GetUserNameW(name, &size) ? Utf8(name) : std::string("unbekannt");
}

unsigned Win32DiagnoseSystem::AnsiCodePage() { return ::GetACP(); }

}  // namespace diagnose
