#include "ui/controls/glow_alpha.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quillet {
namespace {

constexpr float kChannelMax = 255.0f;

uint8_t ToChannel(float value) { return static_cast<uint8_t>(std::clamp(value, 0.0f, kChannelMax) + 0.5f); }

// Where the source pixels [begin, end) of small pixel `index` lie along one axis.
int SpanStart(int index, int size, int small_size) {
  return static_cast<int>(static_cast<int64_t>(index) * size / small_size);
}

// The small-plane sample position for a full-size pixel centre, clamped inside.
float SamplePosition(int pixel, int size, int small_size) {
  const float at = (pixel + 0.5f) * small_size / size - 0.5f;
  return std::clamp(at, 0.0f, static_cast<float>(small_size - 1));
}

}  // namespace

std::vector<uint8_t> LayGlowPasses(const std::vector<uint8_t>& coverage, int width, int height,
                                   const std::vector<PixelOffset>& offsets, int glow_alpha) {
  std::vector<uint8_t> out(coverage.size(), 0);
  if (width <= 0 || height <= 0 || coverage.size() != static_cast<size_t>(width) * height) return out;
  const float strength = std::clamp(glow_alpha, 0, 255) / kChannelMax;
  // What one layer lets through, by coverage.
  float lets_through[256];
  for (int c = 0; c < 256; ++c) lets_through[c] = 1.0f - strength * c / kChannelMax;
  int reach = 0;  // how far any offset reaches; pixels nearer the edge need bounds checks
  for (const PixelOffset& offset : offsets) reach = std::max({reach, std::abs(offset.dx), std::abs(offset.dy)});
  for (int y = 0; y < height; ++y) {
    const bool inner_row = y >= reach && y < height - reach;
    for (int x = 0; x < width; ++x) {
      float through = 1.0f;
      if (inner_row && x >= reach && x < width - reach) {
        const uint8_t* at = &coverage[static_cast<size_t>(y) * width + x];
        // Most of the surface is far from any letter: no layer covers it and
        // it stays clear (a layer of coverage 0 lets everything through).
        bool covered = false;
        for (const PixelOffset& offset : offsets) covered = covered || at[-offset.dy * width - offset.dx] != 0;
        if (!covered) continue;
        for (const PixelOffset& offset : offsets) through *= lets_through[at[-offset.dy * width - offset.dx]];
      } else {
        for (const PixelOffset& offset : offsets) {
          const int sx = x - offset.dx, sy = y - offset.dy;
          if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
          through *= lets_through[coverage[static_cast<size_t>(sy) * width + sx]];
        }
      }
      out[static_cast<size_t>(y) * width + x] = ToChannel((1.0f - through) * kChannelMax);
    }
  }
  return out;
}

std::vector<uint8_t> SoftenAlpha(const std::vector<uint8_t>& alpha, int width, int height, int small_width,
                                 int small_height) {
  if (width <= 0 || height <= 0 || alpha.size() != static_cast<size_t>(width) * height) return alpha;
  if (small_width <= 0 || small_height <= 0) return std::vector<uint8_t>(alpha.size(), 0);
  small_width = std::min(small_width, width);
  small_height = std::min(small_height, height);

  std::vector<float> small(static_cast<size_t>(small_width) * small_height);
  for (int j = 0; j < small_height; ++j) {
    const int y0 = SpanStart(j, height, small_height), y1 = SpanStart(j + 1, height, small_height);
    for (int i = 0; i < small_width; ++i) {
      const int x0 = SpanStart(i, width, small_width), x1 = SpanStart(i + 1, width, small_width);
      int sum = 0;
      for (int y = y0; y < y1; ++y) {
        const uint8_t* row = &alpha[static_cast<size_t>(y) * width];
        for (int x = x0; x < x1; ++x) sum += row[x];
      }
      small[static_cast<size_t>(j) * small_width + i] = static_cast<float>(sum) / ((x1 - x0) * (y1 - y0));
    }
  }

  // The horizontal sampling is the same on every row.
  std::vector<int> left(width), right(width);
  std::vector<float> right_weight(width);
  for (int x = 0; x < width; ++x) {
    const float fx = SamplePosition(x, width, small_width);
    left[x] = static_cast<int>(fx);
    right[x] = std::min(left[x] + 1, small_width - 1);
    right_weight[x] = fx - left[x];
  }
  std::vector<uint8_t> out(alpha.size());
  for (int y = 0; y < height; ++y) {
    const float fy = SamplePosition(y, height, small_height);
    const int j0 = static_cast<int>(fy), j1 = std::min(j0 + 1, small_height - 1);
    const float wy = fy - j0;
    const float* upper = &small[static_cast<size_t>(j0) * small_width];
    const float* lower = &small[static_cast<size_t>(j1) * small_width];
    uint8_t* row = &out[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x) {
      const float wx = right_weight[x];
      const float top = upper[left[x]] + (upper[right[x]] - upper[left[x]]) * wx;
      const float bottom = lower[left[x]] + (lower[right[x]] - lower[left[x]]) * wx;
      row[x] = ToChannel(top + (bottom - top) * wy);
    }
  }
  return out;
}

}  // namespace quillet
