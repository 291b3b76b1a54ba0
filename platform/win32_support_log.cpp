// The support record's part of the Windows platform: the log file in the
// user's local application data, shared by every viewer of the user, the
// level from the registry, the facts of the start, and the event log.
// Every path goes through the wide API, so that a user name outside the ANSI
// code page changes nothing.
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/foreign_call_guard.h"
#include "platform/win32_platform.h"

namespace platform {

namespace {

std::string Utf8(const wchar_t* wide, int length = -1) {
  if (wide == nullptr || length == 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), bytes, nullptr, nullptr);
  if (length < 0) text.resize(static_cast<std::size_t>(bytes - 1));
  return text;
}

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD copied = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (copied == 0) return {};
    if (copied < path.size()) {
      path.resize(copied);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The file version of a loaded module's version resource, read in place:
// the version library is no DLL every system loads for the plug-in.
std::string ModuleVersion(HMODULE module) {
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  if (resource == nullptr) return "without version";
  const HGLOBAL loaded = LoadResource(module, resource);
  const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = SizeofResource(module, resource);
  if (bytes == nullptr) return "without version";
  for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, bytes + at, sizeof info);
    if (info.dwSignature != VS_FFI_SIGNATURE) continue;
    char text[48];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(info.dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(info.dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(info.dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(info.dwFileVersionLS)));
    return text;
  }
  return "without version";
}

std::wstring SupportLogFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
  return std::wstring(folder) + L"\\" + kSupportLogFolder;
}

std::wstring SupportLogPath(const wchar_t* file) {
  const std::wstring folder = SupportLogFolder();
  return folder.empty() ? std::wstring() : folder + L"\\" + file;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Written through the handle's own file position, moved to the file's end
// only when another process has written since: under Wine an append-only
// handle, or a write at a given offset, costs several times a plain write.
// The caller holds the log's lock from Size to Append.
class Win32SupportLogFile final : public SupportLogFile {
 public:
  explicit Win32SupportLogFile(UniqueFile file) : file_(std::move(file)) {}
  bool Append(std::string_view bytes) override {
    const std::optional<std::uint64_t> end = std::exchange(end_, std::nullopt);
    if (!end) return false;
    if (position_ != end) {
      LARGE_INTEGER at{};
      at.QuadPart = static_cast<LONGLONG>(*end);
      position_.reset();
      if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return false;
    }
    DWORD written = 0;
    const bool whole = WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    // A part written leaves the position unknown.
    position_ = whole ? std::optional(*end + written) : std::nullopt;
    return whole;
  }
  std::optional<std::uint64_t> Size() override {
    LARGE_INTEGER size{};
    end_ = GetFileSizeEx(file_.get(), &size) ? std::optional(static_cast<std::uint64_t>(size.QuadPart)) : std::nullopt;
    return end_;
  }

 private:
  UniqueFile file_;
  // The file's end as Size read it, for the Append that follows.
  std::optional<std::uint64_t> end_;
  // Where the handle's position is, when known.
  std::optional<std::uint64_t> position_;
};

// The lock word holds the id of the process that holds the lock, 0 when
// none does.
class Win32SupportLogLock final : public SupportLogLock {
 public:
  explicit Win32SupportLogLock(volatile LONG* word) : word_(word) {}
  ~Win32SupportLogLock() override {
    if (word_ != nullptr) InterlockedCompareExchange(word_, 0, static_cast<LONG>(GetCurrentProcessId()));
  }
  Win32SupportLogLock(const Win32SupportLogLock&) = delete;
  Win32SupportLogLock& operator=(const Win32SupportLogLock&) = delete;

 private:
  volatile LONG* word_;
};

bool ProcessEnded(DWORD pid) {
  const UniqueKernelObject process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
  return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

void UnmapLockWord(volatile LONG* word) { UnmapViewOfFile(const_cast<LONG*>(word)); }

// The lock word is open to every process of the user, elevated or not: an
// elevated process's default security names only the administrators and
// the system, so that a lock word made by an elevated viewer would keep the
// user's other viewers out, and they would write without the lock.
class OpenToTheUser {
 public:
  OpenToTheUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    const UniqueKernelObject owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size)) return;
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    acl_.resize((aclSize + sizeof(DWORD) - 1) / sizeof(DWORD));
    ACL* const acl = reinterpret_cast<ACL*>(acl_.data());
    if (InitializeAcl(acl, aclSize, ACL_REVISION) && AddAccessAllowedAce(acl, ACL_REVISION, SECTION_ALL_ACCESS, sid) &&
        InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) {
      attributes_ = {sizeof attributes_, &descriptor_, FALSE};
      ready_ = true;
    }
  }
  OpenToTheUser(const OpenToTheUser&) = delete;
  OpenToTheUser& operator=(const OpenToTheUser&) = delete;
  // Null, the process's default security, when the user is not known.
  SECURITY_ATTRIBUTES* Attributes() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<DWORD> user_;
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

}  // namespace

LocalTime Win32Platform::Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::uint32_t Win32Platform::TickMs() { return GetTickCount(); }

StartFacts Win32Platform::DescribeStart() {
  StartFacts facts;
  facts.pluginPath = Utf8(ModulePath(CurrentModule()).c_str());
  facts.pluginVersion = ModuleVersion(CurrentModule());
  facts.viewerPath = Utf8(ModulePath(GetModuleHandleW(nullptr)).c_str());
  facts.viewerVersion = ModuleVersion(GetModuleHandleW(nullptr));
  facts.ansiCodePage = GetACP();
  return facts;
}

std::string Win32Platform::LastFaultPlace() {
  const std::uintptr_t address = LastGuardedFaultAddress();
  HMODULE module = nullptr;
  char text[32];
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(address), &module)) {
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(address));
    return text;
  }
  std::snprintf(text, sizeof text, "+0x%lx",
                static_cast<unsigned long>(address - reinterpret_cast<std::uintptr_t>(module)));
  return Utf8(FileNameOf(ModulePath(module)).c_str()) + text;
}

std::string Win32Platform::ProcessName(std::uint32_t pid) {
  const UniqueKernelObject process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &length)) return {};
  return Utf8(FileNameOf(std::wstring(path, length)).c_str());
}

// Converted here, not through ToWide: the record must not take part in what
// the plug-in's own conversions do.
std::string Win32Platform::Utf8FromAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return Utf8(wide.data(), length);
}

std::optional<std::uint32_t> Win32Platform::LogLevelSetting(bool machinePolicy) {
  HKEY key = nullptr;
  const HKEY root = machinePolicy ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const wchar_t* const path = machinePolicy ? L"Software\\Policies\\VidudUDE" : L"Software\\VidudUDE";
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG read = RegQueryValueExW(key, L"LogLevel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
  return value;
}

std::unique_ptr<SupportLogFile> Win32Platform::OpenSupportLog() {
  const std::wstring folder = SupportLogFolder();
  if (folder.empty()) return nullptr;
  CreateDirectoryW(folder.c_str(), nullptr);
  UniqueFile file(CreateFileW((folder + L"\\" + kSupportLogFile).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                              kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32SupportLogFile>(std::move(file));
}

// Taken for every line: two processes that wrote at the same end would write
// over each other's line. A kernel mutex would cost two trips to Wine's
// server per line, a word of shared memory costs none while nobody else
// holds it. Named in the user's session: the viewers of one user on one
// desk. Without the shared word (another user of the session made it, whose
// log is another file) the process only excludes itself.
std::unique_ptr<SupportLogLock> Win32Platform::LockSupportLog() {
  if (!supportLogLockMapped_) {
    supportLogLockMapped_ = true;
    OpenToTheUser security;
    supportLogMapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                                sizeof(LONG), L"Local\\VidudUDE.SupportLog"));
    void* view =
        supportLogMapping_ ? MapViewOfFile(supportLogMapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr;
    if (view != nullptr) supportLogLock_ = {static_cast<volatile LONG*>(view), UnmapLockWord};
    // A section of that name made by another program may have its page
    // reserved only, which would fault at the first touch: such a word is
    // not used.
    MEMORY_BASIC_INFORMATION page{};
    if (view != nullptr && (VirtualQuery(view, &page, sizeof page) != sizeof page || page.State != MEM_COMMIT ||
                            (page.Protect & PAGE_READWRITE) == 0)) {
      supportLogLock_.reset();
    }
  }
  volatile LONG* const word = supportLogLock_.get();
  if (word == nullptr) return std::make_unique<Win32SupportLogLock>(nullptr);
  const auto self = static_cast<LONG>(GetCurrentProcessId());
  const DWORD began = GetTickCount();
  for (int attempt = 0;; ++attempt) {
    const LONG holder = InterlockedCompareExchange(word, self, 0);
    if (holder == 0) return std::make_unique<Win32SupportLogLock>(word);
    if (GetTickCount() - began >= kSupportLogLockWaitMs) {
      // A viewer that ended while it held the lock leaves it to the next.
      if (ProcessEnded(static_cast<DWORD>(holder)) && InterlockedCompareExchange(word, self, holder) == holder) {
        return std::make_unique<Win32SupportLogLock>(word);
      }
      return nullptr;
    }
    Sleep(attempt < 16 ? 0 : 1);
  }
}

// The content is copied and the log truncated in place, not renamed: the
// other viewers keep their log open, and would go on appending to the
// renamed file, which also could not be replaced the next time while one
// of them holds it.
bool Win32Platform::StartSupportLogAfresh() {
  const std::wstring current = SupportLogPath(kSupportLogFile);
  if (current.empty()) return false;
  const UniqueFile log(
      CreateFileW(current.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!log || !GetFileSizeEx(log.get(), &size) || size.QuadPart > LONGLONG{16} * 1024 * 1024) return false;
  std::vector<char> content(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!content.empty() && (!ReadFile(log.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr) ||
                           read != content.size())) {
    return false;
  }
  {
    const UniqueFile older(CreateFileW(SupportLogPath(kOlderSupportLogFile).c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!older || !WriteFile(older.get(), content.data(), read, &written, nullptr) || written != read) return false;
  }
  LARGE_INTEGER start{};
  return SetFilePointerEx(log.get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(log.get());
}

void Win32Platform::ReportSystemEvent(SystemEvent event, std::string_view utf8Text) {
  const HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
  if (source == nullptr) return;
  const std::wstring text = WideFromUtf8(utf8Text);
  const wchar_t* inserts[] = {text.c_str()};
  const WORD type = event == SystemEvent::kStartFailed ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
  ReportEventW(source, type, 0, static_cast<DWORD>(event), nullptr, 1, 0, inserts, nullptr);
  DeregisterEventSource(source);
}

}  // namespace platform
