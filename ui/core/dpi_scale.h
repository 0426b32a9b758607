// Logical pixels (the figures the toolkit and the program are written in,
// 96 per inch) to the window's physical pixels. Every scaled figure goes
// through this type.
#pragma once
#include <windows.h>

#include "ui/core/gdiplus_types.h"

namespace quillet {

constexpr int kLogicalDpi = 96;
// WM_DPICHANGED (not in every SDK's headers).
constexpr UINT kDpiChangedMessage = 0x02E0;

class DpiScale {
 public:
  constexpr DpiScale() = default;
  // Anything below 1 dot per inch is not a real answer: logical pixels then.
  explicit constexpr DpiScale(int dpi) : dpi_(dpi > 0 ? dpi : kLogicalDpi) {}

  // The window's DPI (GetDpiForWindow where the system has it, else the
  // screen DC's LOGPIXELSX).
  static DpiScale ForWindow(HWND window);
  // The screen DC's LOGPIXELSX: for what is made before any window is.
  static DpiScale ForScreen();

  int Dpi() const { return dpi_; }
  bool IsUnscaled() const { return dpi_ == kLogicalDpi; }
  float Factor() const { return static_cast<float>(dpi_) / static_cast<float>(kLogicalDpi); }

  // Rounded half away from zero, in integers (no floating-point rounding differences).
  int Int(int logical) const;
  // Exact: for widths of lines, font sizes, radii.
  float Float(float logical) const;
  // Rounded to whole pixels: for positions and sizes that must stay on the pixel grid.
  float Whole(float logical) const;
  // Edges scaled and rounded to whole pixels, so adjacent rectangles stay adjacent.
  GpRectF Rect(const GpRectF& logical) const;
  RECT Rect(const RECT& logical) const;
  POINT Point(POINT logical) const;
  SIZE Size(SIZE logical) const;
  // Physical pixels back to logical ones (rounded).
  int ToLogical(int physical) const;

  bool operator==(const DpiScale& other) const { return dpi_ == other.dpi_; }
  bool operator!=(const DpiScale& other) const { return dpi_ != other.dpi_; }

 private:
  int dpi_ = kLogicalDpi;
};

// A window laid out in logical pixels (position and size) moved and sized
// to its physical ones at `scale`; nothing happens unscaled.
void PlaceWindowAtScale(HWND window, const DpiScale& scale);

}  // namespace quillet
