// Owning types for the system handles the plug-in uses: each knows its own
// empty value and its own release call.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <class T, T (*Empty)(), void (*Release)(T)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, Empty())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, Empty());
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Empty(); }
  void reset() {
    if (value_ != Empty()) Release(std::exchange(value_, Empty()));
  }

 private:
  T value_ = Empty();
};

namespace detail {
inline HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline HWND NoWindow() { return nullptr; }
inline void DestroyOwnedWindow(HWND w) { ::DestroyWindow(w); }
}  // namespace detail

// A Toolhelp snapshot: empty at INVALID_HANDLE_VALUE, released by CloseHandle.
using UniqueSnapshot = UniqueHandle<HANDLE, detail::InvalidHandle, detail::CloseKernelHandle>;
// A file opened to read its identity: empty at INVALID_HANDLE_VALUE, released
// by CloseHandle.
using UniqueFile = UniqueHandle<HANDLE, detail::InvalidHandle, detail::CloseKernelHandle>;
// A window the plug-in created: empty at null, released by DestroyWindow.
using UniqueWindow = UniqueHandle<HWND, detail::NoWindow, detail::DestroyOwnedWindow>;

}  // namespace platform
