// Composing a control's back buffer onto the host's frame by hand: the same
// source-over arithmetic GDI+ applies, without the temporary bitmap and
// device-context blend each GDI+ call onto the frame's device context costs.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/core/gdiplus_types.h"

namespace quillet {

constexpr uint32_t kPixelChannelMax = 255;
constexpr uint32_t kPixelChannelHalf = 127;  // rounds a scaled channel to nearest

// A colour channel times scale / 255, rounded to nearest: how GDI+
// premultiplies a channel by its alpha and weights what lies under it.
inline uint32_t ScaleChannel(uint32_t channel, uint32_t scale) {
  return (channel * scale + kPixelChannelHalf) / kPixelChannelMax;
}

// A straight-alpha ARGB pixel laid over a premultiplied one, GDI+'s way.
uint32_t SourceOverPixel(uint32_t source, uint32_t dest);

// The pixels of a 32-bit DIB section, to write by hand.
struct DibBits {
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  bool bottom_up = false;
  uint32_t* Row(int y) const {
    return bits + static_cast<size_t>(bottom_up ? height - 1 - y : y) * static_cast<size_t>(width);
  }
  size_t Count() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};
// False when `dib` is not a 32-bit DIB section whose pixels can be reached.
bool ReadDibBits(HBITMAP dib, DibBits* bits);

// The rectangles of a GDI region; false when it cannot be read.
bool RegionRects(HRGN region, std::vector<RECT>* rects);

// Blends the part of a 32-bit ARGB bitmap that starts at (source_x,
// source_y) onto the frame's 32-bit premultiplied DIB at `dest` (whole
// pixels), inside the clip of `graphics`, which draws on that DIB. Each
// channel is premultiplied and the destination weighted by 255 - alpha, both
// rounded to nearest. False when something could not be read; nothing is
// drawn then.
bool BlendOntoFrame(GpGraphics* graphics, HBITMAP frame_dib, GpBitmap* source, const GpRect& dest, int source_x,
                    int source_y);

// Lays premultiplied pixels, `row_pixels` apart from row to row, over the
// frame's DIB at `dest` inside the clip of `graphics`; false when the frame or
// the clip cannot be read (nothing is drawn then).
bool BlendPremultipliedOntoFrame(GpGraphics* graphics, HBITMAP frame_dib, const uint32_t* pixels, int row_pixels,
                                 const GpRect& dest);

// Fills the clip of `graphics` on the frame's DIB with `colour` as GDI+'s
// clear writes it (premultiplied, replacing what was there); false when the
// frame or the clip cannot be read (nothing is written then).
bool FillClipOnFrame(GpGraphics* graphics, HBITMAP frame_dib, ARGB colour);

}  // namespace quillet
