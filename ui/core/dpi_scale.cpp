#include "ui/core/dpi_scale.h"

#include <cmath>

#include "runtime/program_dll_commands.h"
#include "ui/core/gdi_owners.h"

namespace quillet {

namespace {

// a * b / c rounded half away from zero; 64-bit so large figures cannot overflow.
int MulDivRounded(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : -((-product + half) / c));
}

// Systems before Windows 10 1607 have no GetDpiForWindow: look before binding,
// since binding a missing export is fatal.
bool HasGetDpiForWindow() {
  HMODULE user32 = dll::GetModuleHandleW(L"user32.dll");
  return user32 != nullptr && dll::GetProcAddress(user32, "GetDpiForWindow") != nullptr;
}

}  // namespace

DpiScale DpiScale::ForWindow(HWND window) {
  if (window != nullptr && HasGetDpiForWindow()) {
    const UINT dpi = dll::GetDpiForWindow(window);
    if (dpi != 0) return DpiScale(static_cast<int>(dpi));
  }
  return ForScreen();
}

DpiScale DpiScale::ForScreen() {
  HDC screen = dll::GetDC(nullptr);
  if (screen == nullptr) return DpiScale();
  const int dpi = dll::GetDeviceCaps(screen, LOGPIXELSX);
  dll::ReleaseDC(nullptr, screen);
  return DpiScale(dpi);
}

int DpiScale::Int(int logical) const { return MulDivRounded(logical, dpi_, kLogicalDpi); }

float DpiScale::Float(float logical) const {
  if (IsUnscaled()) return logical;
  return logical * static_cast<float>(dpi_) / static_cast<float>(kLogicalDpi);
}

float DpiScale::Whole(float logical) const {
  if (IsUnscaled()) return logical;
  return static_cast<float>(std::lround(Float(logical)));
}

GpRectF DpiScale::Rect(const GpRectF& logical) const {
  if (IsUnscaled()) return logical;
  const float left = Whole(logical.X), top = Whole(logical.Y);
  return GpRectF{left, top, Whole(logical.X + logical.Width) - left, Whole(logical.Y + logical.Height) - top};
}

RECT DpiScale::Rect(const RECT& logical) const {
  return RECT{Int(logical.left), Int(logical.top), Int(logical.right), Int(logical.bottom)};
}

POINT DpiScale::Point(POINT logical) const { return POINT{Int(logical.x), Int(logical.y)}; }

SIZE DpiScale::Size(SIZE logical) const { return SIZE{Int(logical.cx), Int(logical.cy)}; }

int DpiScale::ToLogical(int physical) const { return MulDivRounded(physical, kLogicalDpi, dpi_); }

void PlaceWindowAtScale(HWND window, const DpiScale& scale) {
  RECT logical = {};
  if (window == nullptr || scale.IsUnscaled() || !dll::GetWindowRect(window, &logical)) return;
  const RECT physical = scale.Rect(logical);
  dll::SetWindowPos(window, nullptr, physical.left, physical.top, physical.right - physical.left,
                    physical.bottom - physical.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace quillet
