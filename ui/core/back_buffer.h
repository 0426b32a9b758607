// Back buffers: a memory DC over a bottom-up 32-bit DIB, optionally with a
// GDI+ graphics on top (a "surface"). The four handles change together.
#pragma once
#include <windows.h>

#include "ui/core/gdiplus_types.h"

namespace quillet {

struct BackBuffer {
  HDC dc = nullptr;             // memory DC
  HBITMAP dib = nullptr;        // 32-bit DIB selected into dc
  HGDIOBJ previous = nullptr;   // what SelectObject returned; selected back before deleting
  GpGraphics* graphics = nullptr;  // only for surfaces drawn with GDI+
};

// Releases what the buffer held, then makes a memory DC (of windowDC, or of
// the screen when null) with a width x height DIB selected into it.
void CreateBackBuffer(HWND window, HDC window_dc, int width, int height, BackBuffer* buffer);
// Selects the previous bitmap back, deletes the DIB and the memory DC.
void ReleaseBackBuffer(HWND window, BackBuffer* buffer);
// Deletes the old graphics, re-makes the buffer, puts an anti-aliased GDI+ graphics on it.
void CreateSurface(HWND window, HDC window_dc, int width, int height, BackBuffer* buffer);
// Graphics first, then the buffer.
void ReleaseSurface(HWND window, BackBuffer* buffer);
// Width and height of the buffer's DIB (0, 0 when none).
SIZE BackBufferSize(const BackBuffer& buffer);

// Owns a surface for one scope.
class ScopedSurface {
 public:
  ScopedSurface(HDC window_dc, int width, int height) { CreateSurface(nullptr, window_dc, width, height, &buffer_); }
  ~ScopedSurface() { ReleaseSurface(nullptr, &buffer_); }
  ScopedSurface(const ScopedSurface&) = delete;
  ScopedSurface& operator=(const ScopedSurface&) = delete;
  BackBuffer& get() { return buffer_; }

 private:
  BackBuffer buffer_;
};

}  // namespace quillet
