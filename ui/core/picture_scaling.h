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

// The picture scaled to scaled_width x scaled_height and drawn with its
// top-left corner at (x, y), within the graphics' clip; only what falls in
// [0, width) x [0, height) is computed. Laid straight into `frame_dib` (the
// DIB the graphics draws on) when one is given. False when its pixels cannot
// be read.
bool DrawPictureScaled(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int scaled_width,
                       int scaled_height, int width, int height);

}  // namespace quillet
