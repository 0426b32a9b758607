// The background a host window composes its controls on: the picture or the
// base colour inside the frame, the frame's outlines and its drop shadow.
#pragma once
#include <windows.h>

#include "ui/core/dpi_scale.h"
#include "ui/core/gdiplus_types.h"
#include "ui/core/host_window.h"

namespace quillet {

// The host's settings the background is drawn from.
struct FrameBackground {
  HWND window = nullptr;
  int width = 0;
  int height = 0;
  int background_mode = kBackgroundDefault;
  int image_placement = kPlaceTopLeft;
  int window_alpha = kNoAlpha;
  int frame_flags = 0;
  int shadow_colour = -1;  // RGB in the low 24 bits, -1 = black
  bool edge_glow = true;
  RECT nine_grid = {0, 0, 0, 0};
  int base_colour = 0;  // Win32 colour
  GpImage* picture = nullptr;
  HBITMAP frame_dib = nullptr;  // the DIB under the graphics, read back to apply the window alpha
  BackgroundPaintedHandler on_painted = nullptr;  // called before the outlines are drawn
  DpiScale scale;  // the frame's figures are logical pixels
};

// Clears the graphics and draws the whole background; a framed window
// presented with BitBlt gets its rounded window region. Leaves no clip.
void PaintFrameBackground(GpGraphics* graphics, const FrameBackground& frame);

// Average colour of a bitmap as a Win32 colour, read through a 32-bit DIB copy.
int AverageColour(GpBitmap* bitmap);

}  // namespace quillet
