// The arithmetic of the glow behind text, on alpha planes (one byte a pixel,
// rows top to bottom): laying the letters several times a pixel apart, and
// softening the result by shrinking and stretching it back.
#pragma once
#include <cstdint>
#include <vector>

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

}  // namespace quillet
