// Owning types for the system handles and window classes the plug-in and its
// tools use: each knows its own empty value and its own release call, and
// none of their operations throws once the object exists.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <system_error>
#include <utility>

// The image of the module that holds the code referring to it: the plug-in's
// DLL inside the plug-in, the executable in a program. The name is the
// linker's.
extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace platform {

// The module that holds this code, known when it is linked.
inline HMODULE CurrentModule() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

template <class T, T (*Empty)() noexcept, void (*Release)(T) noexcept>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(T value) noexcept : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Empty(); }
  // Releases what is held and holds value instead.
  void reset(T value = Empty()) noexcept {
    const T old = std::exchange(value_, value);
    if (old != Empty()) Release(old);
  }
  // Gives up ownership without releasing: the caller owns the handle now.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, Empty()); }

 private:
  T value_ = Empty();
};

namespace detail {
inline HANDLE InvalidHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline HANDLE NoHandle() noexcept { return nullptr; }
inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline HWND NoWindow() noexcept { return nullptr; }
// The window's link to its object is cut first, so that no message sent
// while it is destroyed reaches an object that is going away. A window of
// another thread cannot be destroyed from here: it is handed to the
// system's default procedure, which outlives this module, and closed by a
// posted WM_CLOSE, which that procedure answers by destroying the window on
// its own thread when the thread next runs its messages.
inline void DestroyLinkedWindow(HWND w) noexcept {
  ::SetWindowLongPtrA(w, GWLP_USERDATA, 0);
  if (::DestroyWindow(w)) return;
  ::SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
  ::PostMessageA(w, WM_CLOSE, 0, 0);
}
}  // namespace detail

// A Toolhelp snapshot: empty at INVALID_HANDLE_VALUE, released by CloseHandle.
using UniqueSnapshot = UniqueHandle<HANDLE, detail::InvalidHandle, detail::CloseKernelHandle>;
// A file opened to read its identity: empty at INVALID_HANDLE_VALUE, released
// by CloseHandle.
using UniqueFile = UniqueHandle<HANDLE, detail::InvalidHandle, detail::CloseKernelHandle>;
// A kernel object that the system names by a null handle when there is none
// (a mutex, a process): released by CloseHandle.
using UniqueKernelObject = UniqueHandle<HANDLE, detail::NoHandle, detail::CloseKernelHandle>;
// A window created here: empty at null; released by clearing its
// GWLP_USERDATA, then DestroyWindow.
using UniqueWindow = UniqueHandle<HWND, detail::NoWindow, detail::DestroyLinkedWindow>;

// A window class registered under the module that holds its procedure and
// unregistered when the object goes. Declare it before the windows of the
// class, so that they are destroyed first.
class WindowClass {
 public:
  // Throws when the system refuses the class, also when this module has a
  // class of that name with another procedure. One with the same procedure
  // is taken over: a window that outlived its owner (a window of another
  // thread cannot be destroyed) keeps its class registered.
  WindowClass(const char* name, WNDPROC procedure) {
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = procedure;
    cls.hInstance = module_;
    cls.lpszClassName = name;
    atom_ = ::RegisterClassExA(&cls);
    if (atom_ != 0) return;
    const DWORD error = ::GetLastError();
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (error == ERROR_CLASS_ALREADY_EXISTS) {
      const ATOM found = static_cast<ATOM>(::GetClassInfoExA(module_, name, &existing));
      if (found != 0 && existing.lpfnWndProc == procedure) {
        atom_ = found;
        return;
      }
    }
    throw std::system_error(static_cast<int>(error), std::system_category(), name);
  }
  ~WindowClass() { ::UnregisterClassA(Name(), module_); }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;

  // The class as CreateWindowEx takes it: its atom.
  LPCSTR Name() const noexcept { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(atom_)); }
  HMODULE Module() const noexcept { return module_; }

 private:
  HMODULE module_ = CurrentModule();
  ATOM atom_ = 0;
};

// A window class that several windows hold at once: registered for the
// first of them and unregistered when the last one lets it go, so a module
// that has no window left has no class left either.
class SharedWindowClass {
 public:
  SharedWindowClass(std::string name, WNDPROC procedure) : name_(std::move(name)), procedure_(procedure) {}

  // Throws as WindowClass does when the class must be registered and cannot.
  std::shared_ptr<const WindowClass> Acquire() {
    std::shared_ptr<const WindowClass> held = current_.lock();
    if (!held) {
      held = std::make_shared<const WindowClass>(name_.c_str(), procedure_);
      current_ = held;
    }
    return held;
  }

 private:
  std::string name_;
  WNDPROC procedure_;
  std::weak_ptr<const WindowClass> current_;
};

}  // namespace platform
