// A hidden top-level window on the test thread that records every
// WM_COPYDATA it receives, answers a fixed value, and can send WM_COPYDATA
// itself: the stand-in for either end of the link in the peer tool tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_handles.h"

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
  CopyDataRecorder(const std::string& className, LRESULT reply)
      : class_(SharedClass(className)),
        window_(CreateWindowExA(WS_EX_TOOLWINDOW, class_->Name(), "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                class_->Module(), this)),
        reply_(reply) {}
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
  // Recorders of one class name share the class; it goes with the last.
  static std::shared_ptr<const platform::WindowClass> SharedClass(const std::string& name) {
    static std::map<std::string, platform::SharedWindowClass> classes;
    return classes.try_emplace(name, name, &CopyDataRecorder::Proc).first->second.Acquire();
  }

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

  std::shared_ptr<const platform::WindowClass> class_;
  platform::UniqueWindow window_;
  LRESULT reply_;
  bool sending_ = false;
  std::vector<Delivery> deliveries_;
};
