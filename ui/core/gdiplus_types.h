// Opaque GDI+ flat-interface types, as the flat functions see them.
#pragma once
#include <cstdint>

namespace quillet {

using GpStatus = int;
struct GpGraphics;
struct GpImage;
struct GpBitmap;
struct GpFont;
struct GpFontFamily;
struct GpFontCollection;
struct GpBrush;
struct GpSolidFill;
struct GpLineGradient;
struct GpPen;
struct GpPath;
struct GpRegion;
struct GpStringFormat;
struct GpImageAttributes;
struct GpMatrix;
struct GpPathGradient;
using ARGB = uint32_t;

struct GpRectF {
  float X, Y, Width, Height;
};
struct GpPointF {
  float X, Y;
};
struct GpRect {
  int X, Y, Width, Height;
};
// What GdipBitmapLockBits hands out.
struct GpBitmapData {
  uint32_t Width, Height;
  int32_t Stride;
  int32_t PixelFormat;
  void* Scan0;
  uintptr_t Reserved;
};
constexpr unsigned kImageLockModeRead = 1;
constexpr unsigned kImageLockModeWrite = 2;
constexpr int kFlushIntentionSync = 1;  // GdipFlush returns once the drawing is done
constexpr int kPixelFormat24bppRGB = 0x21808;
constexpr int kPixelFormat32bppARGB = 0x26200A;
constexpr int kPixelFormat32bppPARGB = 0xE200B;

struct GdiplusStartupInputFlat {
  uint32_t GdiplusVersion;
  void* DebugEventCallback;
  int32_t SuppressBackgroundThread;
  int32_t SuppressExternalCodecs;
};

}  // namespace quillet
