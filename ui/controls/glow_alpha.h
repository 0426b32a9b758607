// The arithmetic of the glow behind text, on alpha planes (one byte a pixel,
// rows top to bottom): laying the letters several times a pixel apart, and
// softening the result by shrinking and stretching it back.
#pragma once
#include <cstdint>
#include <vector>

#include "ui/core/gdiplus_types.h"

namespace quillet {

struct PixelOffset {
  int dx, dy;
};

// `coverage` (the letters drawn once, 0..255) laid once at each offset in the
// glow's alpha (0..255), each layer over the others: what shows through a pixel
// is the product of what each layer lets through.
std::vector<uint8_t> LayGlowPasses(const std::vector<uint8_t>& coverage, int width, int height,
                                   const std::vector<PixelOffset>& offsets, int glow_alpha);

// Shrinks the plane to small_width x small_height, each small pixel the mean of the
// pixels it covers, then stretches it back with bilinear sampling at pixel centres.
std::vector<uint8_t> SoftenAlpha(const std::vector<uint8_t>& alpha, int width, int height, int small_width,
                                 int small_height);

// Source-over of a non-premultiplied colour onto a non-premultiplied pixel.
ARGB OverPixel(ARGB below, ARGB above);

// Where two planes of `plane_width` columns go on a 32-bit ARGB image: the
// image pixel under plane column `left`, row `top` is at `first_row` + left
// pixels; only columns [left, right) and rows [top, bottom) are written.
struct PlaneOnImage {
  uint8_t* first_row;
  int stride;  // bytes from one image row to the next
  int plane_width;
  int left, top, right, bottom;
};

// The glow (alpha plane, in `glow_rgb`) and then the letters (coverage plane,
// in `text_colour`, its alpha scaled by the coverage) laid over the image.
void ComposeGlowAndLetters(const PlaneOnImage& place, const std::vector<uint8_t>& glow_alpha,
                           const std::vector<uint8_t>& coverage, ARGB glow_rgb, ARGB text_colour);

}  // namespace quillet
