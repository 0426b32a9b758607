// Pictures brought to another size by our own cubic interpolation: GDI+'s
// high-quality bicubic costs a hundred times as much on a window-sized picture,
// and only the part that lands in the window needs computing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/core/gdiplus_types.h"

namespace quillet {

// Premultiplied 32-bit ARGB pixels, rows top to bottom.
struct PixelPlane {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// The pixels [left, left + part_width) x [top, top + part_height) of `source`
// scaled to scaled_width x scaled_height: a Catmull-Rom cubic sampled at pixel
// centres, the source's edge pixels repeated outward. Empty for empty sizes.
PixelPlane ScalePart(const PixelPlane& source, int scaled_width, int scaled_height, int left, int top,
                     int part_width, int part_height);
// The same from pixels `row_pixels` apart from row to row.
PixelPlane ScalePart(const uint32_t* pixels, int row_pixels, int width, int height, int scaled_width,
                     int scaled_height, int left, int top, int part_width, int part_height);

// A picture's pixels, premultiplied, for as long as this lives. An opaque
// picture's are read in place (nothing to premultiply; GDI+ converts a
// picture slowly, and a copy costs its page faults); any other's are
// converted by GDI+. Empty when they cannot be read.
class PremultipliedPixels {
 public:
  explicit PremultipliedPixels(GpImage* picture);
  ~PremultipliedPixels();
  PremultipliedPixels(const PremultipliedPixels&) = delete;
  PremultipliedPixels& operator=(const PremultipliedPixels&) = delete;

  bool Empty() const { return data_.Scan0 == nullptr; }
  bool Opaque() const { return opaque_; }
  int Width() const { return static_cast<int>(data_.Width); }
  int Height() const { return static_cast<int>(data_.Height); }
  const uint32_t* Row(int y) const {
    return reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(data_.Scan0) +
                                             static_cast<ptrdiff_t>(y) * data_.Stride);
  }
  // Distance between rows in pixels.
  int RowPixels() const { return data_.Stride / static_cast<int>(sizeof(uint32_t)); }

 private:
  bool Lock(int format);
  void Unlock();

  GpBitmap* bitmap_;
  GpBitmapData data_ = {};
  bool opaque_ = false;
};

// The picture scaled to scaled_width x scaled_height and drawn with its
// top-left corner at (x, y), within the graphics' clip; only what falls in
// [0, width) x [0, height) is computed. Laid straight into `frame_dib` (the
// DIB the graphics draws on) when one is given. False when its pixels cannot
// be read.
bool DrawPictureScaled(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int scaled_width,
                       int scaled_height, int width, int height);

// An opaque picture at its own size, drawn the same way: its pixels are laid
// in as they are. False, with nothing drawn, when the picture is not opaque
// (GDI+ draws those faster than they can be converted) or cannot be read.
bool DrawOpaquePicture(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int width,
                       int height);

}  // namespace quillet
