#include "tools/viewer_sim/ribbon_window.h"

// GDI+ needs the COM property types that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <gdiplus.h>

#include <array>
#include <memory>
#include <optional>

namespace viewer_sim {
namespace {

using namespace Gdiplus;

constexpr wchar_t kClassName[] = L"ViewerSim.Ribbon";

// Layout of the client area.
constexpr int kTabsHeight = 28;
constexpr int kPanelTop = kTabsHeight;
constexpr int kPanelHeight = 124;
constexpr int kGroupLabelHeight = 18;
constexpr int kCellLeft = 10;
constexpr int kCellTop = kPanelTop + 6;
constexpr int kCellWidth = 92;
constexpr int kCellHeight = kPanelHeight - kGroupLabelHeight - 12;
constexpr int kCellGap = 4;
constexpr int kImageSize = 32;
constexpr int kHintsTop = kPanelTop + kPanelHeight + 12;
constexpr int kHintMargin = 10;
constexpr int kHintPadding = 7;

const Color kWindowBack(255, 240, 242, 245);
const Color kPanelTopColor(255, 253, 253, 253);
const Color kPanelBottomColor(255, 233, 237, 242);
const Color kBorder(255, 198, 204, 212);
const Color kText(255, 38, 38, 38);
const Color kGreyText(255, 150, 150, 150);
const Color kAccent(255, 43, 87, 154);

class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &ps_)) {}
  ~PaintScope() { EndPaint(window_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// The first of the usual interface faces that the system has; a Wine
// without its own fonts offers Liberation or DejaVu.
std::unique_ptr<FontFamily> UiFontFamily() {
  for (const wchar_t* name : {L"Segoe UI", L"Tahoma", L"Arial", L"Liberation Sans", L"DejaVu Sans"}) {
    auto family = std::make_unique<FontFamily>(name);
    if (family->GetLastStatus() == Ok) return family;
  }
  return std::unique_ptr<FontFamily>(FontFamily::GenericSansSerif()->Clone());
}

std::optional<CLSID> PngEncoder() {
  UINT count = 0;
  UINT bytes = 0;
  if (GetImageEncodersSize(&count, &bytes) != Ok || bytes == 0) return std::nullopt;
  std::vector<unsigned char> buffer(bytes);
  auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
  if (GetImageEncoders(count, bytes, codecs) != Ok) return std::nullopt;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring_view(codecs[i].MimeType) == L"image/png") return codecs[i].Clsid;
  }
  return std::nullopt;
}

// Greyscale at reduced opacity: how a ribbon draws the image of a disabled
// button.
void SetGreyed(ImageAttributes& attributes) {
  constexpr REAL r = 0.30f, g = 0.59f, b = 0.11f;
  ColorMatrix matrix = {
      {{r, r, r, 0, 0}, {g, g, g, 0, 0}, {b, b, b, 0, 0}, {0, 0, 0, 0.45f, 0}, {0.12f, 0.12f, 0.12f, 0, 1}}};
  attributes.SetColorMatrix(&matrix);
}

void CenteredText(Graphics& g, const wchar_t* text, const Font& font, const Color& color, const RectF& box,
                  StringAlignment vertical = StringAlignmentNear) {
  StringFormat format;
  format.SetAlignment(StringAlignmentCenter);
  format.SetLineAlignment(vertical);
  const SolidBrush brush(color);
  g.DrawString(text, -1, &font, box, &format, &brush);
}

void PaintTabs(Graphics& g, const FontFamily& family) {
  const Font font(&family, 11.0f, FontStyleRegular, UnitPixel);
  const SolidBrush back(Color(255, 255, 255, 255));
  g.FillRectangle(&back, 0, 0, RibbonWindow::kWidth, kTabsHeight);
  const SolidBrush file(kAccent);
  g.FillRectangle(&file, 0, 0, 58, kTabsHeight);
  CenteredText(g, L"Datei", font, Color(255, 255, 255, 255), RectF(0, 0, 58, kTabsHeight), StringAlignmentCenter);
  const std::array<const wchar_t*, 4> tabs = {L"Start", L"Ansicht", L"Werkzeuge", L"Plugins"};
  REAL x = 66;
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    const REAL width = 74;
    const bool selected = i + 1 == tabs.size();
    if (selected) {
      const SolidBrush tab(kPanelTopColor);
      g.FillRectangle(&tab, RectF(x, 4, width, kTabsHeight - 3));
      const Pen border(kBorder);
      g.DrawLine(&border, PointF(x, 4), PointF(x, kTabsHeight));
      g.DrawLine(&border, PointF(x, 4), PointF(x + width, 4));
      g.DrawLine(&border, PointF(x + width, 4), PointF(x + width, kTabsHeight));
    }
    CenteredText(g, tabs[i], font, selected ? kAccent : kText, RectF(x, 5, width, kTabsHeight - 5),
                 StringAlignmentCenter);
    x += width + 2;
  }
}

}  // namespace

GdiplusSession::GdiplusSession() {
  const GdiplusStartupInput input;
  if (GdiplusStartup(&token_, &input, nullptr) != Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
  if (token_) GdiplusShutdown(token_);
}

RibbonWindow::RibbonWindow(std::wstring groupTitle) : groupTitle_(std::move(groupTitle)) {
  if (gdiplus_.Started()) family_ = UiFontFamily();
  static const struct Registration {
    Registration() {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = &RibbonWindow::Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.lpszClassName = kClassName;
      RegisterClassExW(&wc);
    }
  } registration;
  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_.reset(CreateWindowExW(0, kClassName, L"BIM Vision \u2013 Simulator", style, 40, 40, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), this));
}

RibbonWindow::~RibbonWindow() = default;

void RibbonWindow::Show(std::vector<Button> buttons) {
  buttons_ = std::move(buttons);
  if (!window_) return;
  ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
  InvalidateRect(window_.get(), nullptr, FALSE);
  UpdateWindow(window_.get());
}

RECT RibbonWindow::ButtonRect(std::size_t i) {
  const int left = kCellLeft + static_cast<int>(i) * (kCellWidth + kCellGap);
  return RECT{left, kCellTop, left + kCellWidth, kCellTop + kCellHeight};
}

bool RibbonWindow::SavePng(const std::wstring& path) const {
  if (!family_) return false;
  const auto encoder = PngEncoder();
  if (!encoder) return false;
  Bitmap bitmap(kWidth, kHeight, PixelFormat24bppRGB);
  {
    Graphics g(&bitmap);
    Paint(g);
  }
  return bitmap.Save(path.c_str(), &*encoder, nullptr) == Ok;
}

LRESULT CALLBACK RibbonWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    const auto* self = reinterpret_cast<const RibbonWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_PAINT) {
      self->OnPaint();
      return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  } catch (...) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RibbonWindow::OnPaint() const {
  const PaintScope paint(window_.get());
  if (!family_) return;
  // Drawn off screen first, then copied in one go: no flicker.
  Bitmap back(kWidth, kHeight, PixelFormat32bppPARGB);
  {
    Graphics g(&back);
    Paint(g);
  }
  Graphics screen(paint.Dc());
  screen.DrawImage(&back, 0, 0, kWidth, kHeight);
}

void RibbonWindow::Paint(Graphics& g) const {
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  g.SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);
  g.SetInterpolationMode(InterpolationModeHighQualityBicubic);
  g.Clear(kWindowBack);
  PaintTabs(g, *family_);

  const LinearGradientBrush panel(Rect(0, kPanelTop, kWidth, kPanelHeight), kPanelTopColor, kPanelBottomColor,
                                  LinearGradientModeVertical);
  g.FillRectangle(&panel, 0, kPanelTop, kWidth, kPanelHeight);
  const Pen border(kBorder);
  g.DrawLine(&border, 0, kPanelTop, kWidth, kPanelTop);
  g.DrawLine(&border, 0, kPanelTop + kPanelHeight - 1, kWidth, kPanelTop + kPanelHeight - 1);

  for (std::size_t i = 0; i < buttons_.size(); ++i) PaintButton(g, buttons_[i], ButtonRect(i));

  // The group: its title under the buttons and a separator to its right.
  const int groupRight = ButtonRect(buttons_.empty() ? 0 : buttons_.size() - 1).right + kCellLeft / 2;
  const Font label(family_.get(), 11.0f, FontStyleRegular, UnitPixel);
  CenteredText(g, groupTitle_.c_str(), label, Color(255, 102, 102, 102),
               RectF(0, static_cast<REAL>(kPanelTop + kPanelHeight - kGroupLabelHeight - 2),
                     static_cast<REAL>(groupRight), static_cast<REAL>(kGroupLabelHeight)),
               StringAlignmentCenter);
  g.DrawLine(&border, groupRight, kPanelTop + 6, groupRight, kPanelTop + kPanelHeight - 6);

  int top = kHintsTop;
  for (const auto& button : buttons_) top = PaintHint(g, button, top) + 8;
}

void RibbonWindow::PaintButton(Graphics& g, const Button& button, const RECT& cell) const {
  const REAL left = static_cast<REAL>(cell.left);
  const REAL width = static_cast<REAL>(cell.right - cell.left);
  const int imageLeft = cell.left + (cell.right - cell.left - kImageSize) / 2;
  const int imageTop = cell.top + 6;
  const Rect imageBox(imageLeft, imageTop, kImageSize, kImageSize);

  Bitmap image(button.image.c_str());
  if (!button.image.empty() && image.GetLastStatus() == Ok) {
    ImageAttributes attributes;
    if (!button.enabled) SetGreyed(attributes);
    g.DrawImage(&image, imageBox, 0, 0, static_cast<INT>(image.GetWidth()), static_cast<INT>(image.GetHeight()),
                UnitPixel, &attributes);
  } else {
    // No image: the frame of a missing one, as the viewer leaves it.
    const Pen missing(Color(255, 200, 60, 60), 1.5f);
    g.DrawRectangle(&missing, imageBox);
    g.DrawLine(&missing, imageBox.X, imageBox.Y, imageBox.X + kImageSize, imageBox.Y + kImageSize);
  }

  const Font font(family_.get(), 11.0f, FontStyleRegular, UnitPixel);
  CenteredText(g, button.text.c_str(), font, button.enabled ? kText : kGreyText,
               RectF(left + 2, static_cast<REAL>(imageTop + kImageSize + 6), width - 4,
                     static_cast<REAL>(cell.bottom - imageTop - kImageSize - 6)));
}

int RibbonWindow::PaintHint(Graphics& g, const Button& button, int top) const {
  const Font title(family_.get(), 11.0f, FontStyleBold, UnitPixel);
  const Font body(family_.get(), 11.0f, FontStyleRegular, UnitPixel);
  const REAL left = kHintMargin;
  const REAL width = static_cast<REAL>(kWidth - 2 * kHintMargin);
  const REAL textWidth = width - 2 * kHintPadding;
  StringFormat format;
  RectF titleBounds;
  RectF bodyBounds;
  g.MeasureString(button.text.c_str(), -1, &title, RectF(0, 0, textWidth, 1000), &format, &titleBounds);
  g.MeasureString(button.hint.c_str(), -1, &body, RectF(0, 0, textWidth, 1000), &format, &bodyBounds);
  const REAL height = kHintPadding + titleBounds.Height + 3 + bodyBounds.Height + kHintPadding;

  const RectF box(left, static_cast<REAL>(top), width, height);
  const LinearGradientBrush back(box, Color(255, 255, 255, 255), Color(255, 228, 229, 240), LinearGradientModeVertical);
  g.FillRectangle(&back, box);
  const Pen frame(Color(255, 118, 118, 118));
  g.DrawRectangle(&frame, box);

  const SolidBrush text(kText);
  g.DrawString(button.text.c_str(), -1, &title, RectF(left + kHintPadding, top + kHintPadding, textWidth, 1000),
               &format, &text);
  g.DrawString(button.hint.c_str(), -1, &body,
               RectF(left + kHintPadding, top + kHintPadding + titleBounds.Height + 3, textWidth, 1000), &format,
               &text);
  return top + static_cast<int>(height + 0.5f);
}

}  // namespace viewer_sim
