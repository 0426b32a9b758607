// What the display shows at a point, read back through a 1 x 1 copy.
#pragma once
#include <windows.h>

#include <cstdint>

namespace quillet::testing_support {

// Screen pixel (what Xvfb shows) as 0x00RRGGBB.
inline uint32_t ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 1, 1);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, 1, 1, screen, x, y, SRCCOPY);
  COLORREF c = GetPixel(memory, 0, 0);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

}  // namespace quillet::testing_support
