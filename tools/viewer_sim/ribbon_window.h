// The viewer's ribbon as the estimator sees the plug-in's part of it, in a
// real window: one large button per plug-in button (its 32x32 image over its
// caption, greyed while disabled) in a group of the "Plugins" tab, and under
// the ribbon each button's hint as its tooltip shows it. The same paint
// routine draws the window and the PNG snapshots of it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tools/viewer_sim/viewer_sim.h"
#include "tools/viewer_sim/win_host.h"

namespace Gdiplus {
class FontFamily;
class Graphics;
}  // namespace Gdiplus

namespace viewer_sim {

// GDI+ started for the lifetime of the object.
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Started() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

class RibbonWindow {
 public:
  // Client size of the window and of every snapshot.
  static constexpr int kWidth = 560;
  static constexpr int kHeight = 300;

  explicit RibbonWindow(std::wstring groupTitle);
  ~RibbonWindow();
  RibbonWindow(const RibbonWindow&) = delete;
  RibbonWindow& operator=(const RibbonWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  // Shows these buttons (in creation order) and repaints.
  void Show(std::vector<Button> buttons);
  // The cell of the i-th button (image and caption), client coordinates.
  static RECT ButtonRect(std::size_t i);
  // Paints the client area into a bitmap and saves it as PNG.
  bool SavePng(const std::wstring& path) const;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void OnPaint() const;
  void Paint(Gdiplus::Graphics& g) const;
  void PaintButton(Gdiplus::Graphics& g, const Button& button, const RECT& cell) const;
  int PaintHint(Gdiplus::Graphics& g, const Button& button, int top) const;

  GdiplusSession gdiplus_;
  std::unique_ptr<Gdiplus::FontFamily> family_;
  std::wstring groupTitle_;
  std::vector<Button> buttons_;
  UniqueWindow window_;
};

}  // namespace viewer_sim
