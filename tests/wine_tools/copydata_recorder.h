// A hidden top-level window on the test thread that records every
// WM_COPYDATA it receives, answers a fixed value, and can send WM_COPYDATA
// itself: the stand-in for either end of the link in the peer tool tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct Delivery {
  ULONG_PTR code;
  DWORD cb;
  std::string bytes;
  bool nullData;
  HWND from;
  bool duringOwnSend;  // arrived while this window's own send was waiting
};

class CopyDataRecorder {
 public:
  CopyDataRecorder(std::string className, LRESULT reply) : className_(std::move(className)), reply_(reply) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CopyDataRecorder::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className_.c_str();
    RegisterClassExA(&wc);  // fails harmlessly when another recorder registered it
    window_.reset(CreateWindowExA(WS_EX_TOOLWINDOW, className_.c_str(), "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), this));
  }
  ~CopyDataRecorder() {
    window_.reset();
    UnregisterClassA(className_.c_str(), GetModuleHandleA(nullptr));
  }
  CopyDataRecorder(const CopyDataRecorder&) = delete;
  CopyDataRecorder& operator=(const CopyDataRecorder&) = delete;

  HWND Handle() const { return window_.get(); }
  const std::vector<Delivery>& Deliveries() const { return deliveries_; }

  // SendMessageTimeout to another window; false when it failed or timed out.
  bool SendTo(HWND to, ULONG_PTR code, const void* data, DWORD cb, DWORD_PTR& result, UINT timeoutMs = 20000) {
    COPYDATASTRUCT cds{code, cb, const_cast<void*>(data)};
    sending_ = true;
    const LRESULT ok = SendMessageTimeoutA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(Handle()),
                                           reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, timeoutMs, &result);
    sending_ = false;
    return ok != 0;
  }
  DWORD_PTR SendText(HWND to, ULONG_PTR code, const std::string& bytes) {
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendTo(to, code, bytes.data(), static_cast<DWORD>(bytes.size()), result));
    return result;
  }

 private:
  struct WindowDeleter {
    using pointer = HWND;
    void operator()(HWND w) const { DestroyWindow(w); }
  };

  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    try {
      if (msg == WM_NCCREATE) {
        SetWindowLongPtrA(w, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
      }
      auto* self = reinterpret_cast<CopyDataRecorder*>(GetWindowLongPtrA(w, GWLP_USERDATA));
      if (self && msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        std::string bytes;
        if (cds->lpData) bytes.assign(static_cast<const char*>(cds->lpData), cds->cbData);
        self->deliveries_.push_back(
            {cds->dwData, cds->cbData, bytes, cds->lpData == nullptr, reinterpret_cast<HWND>(wp), self->sending_});
        return self->reply_;
      }
    } catch (...) {
      return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
  }

  std::string className_;
  std::unique_ptr<HWND, WindowDeleter> window_;
  LRESULT reply_;
  bool sending_ = false;
  std::vector<Delivery> deliveries_;
};
