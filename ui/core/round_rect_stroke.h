// A thin anti-aliased round-rectangle outline laid straight into a 32-bit
// premultiplied DIB: the frame's outlines and shadow rings. Through GDI+ each
// ring is a path widened and filled, which costs more than the rest of the
// frame's background together.
#pragma once
#include <windows.h>

#include <vector>

#include "ui/core/gdiplus_types.h"

namespace quillet {

// The outline GDI+ strokes for RoundRectPath(rect, diameter) with a pen of
// `width`: centred on the round rectangle from (X, Y) to (X + Width - 1,
// Y + Height - 1), corners of radius diameter / 2, pixel centres on whole
// coordinates. `colour` is straight ARGB, its alpha scaled by each pixel's
// coverage and laid over the pixels; only inside `clip` when one is given.
// False, with nothing drawn, when the DIB cannot be written or the shape is
// one the pixels do not take (no room for the corners).
bool StrokeRoundRectOnDib(HBITMAP dib, const GpRectF& rect, float diameter, ARGB colour, float width,
                          const std::vector<RECT>* clip);

}  // namespace quillet
