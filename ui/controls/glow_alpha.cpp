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

// The smallest rectangle [left, right) x [top, bottom) holding every non-zero
// pixel; empty (right <= left) when there is none. A line of text fills only a
// strip of its glow surface, and everything outside the letters' reach stays 0.
struct Extent {
  int left, top, right, bottom;
  bool empty() const { return right <= left; }
};

Extent NonZeroExtent(const std::vector<uint8_t>& plane, int width, int height) {
  Extent extent = {width, height, 0, 0};
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = &plane[static_cast<size_t>(y) * width];
    int first = 0;
    while (first < width && row[first] == 0) ++first;
    if (first == width) continue;
    int last = width - 1;
    while (row[last] == 0) --last;
    extent.left = std::min(extent.left, first);
    extent.right = std::max(extent.right, last + 1);
    extent.top = std::min(extent.top, y);
    extent.bottom = y + 1;
  }
  return extent;
}

// The small pixels whose spans along one axis meet [begin, end) of the full plane.
void SmallSpanRange(int begin, int end, int size, int small_size, int* first, int* last) {
  *first = 0;
  while (*first < small_size && SpanStart(*first + 1, size, small_size) <= begin) ++*first;
  *last = *first;
  while (*last + 1 < small_size && SpanStart(*last + 1, size, small_size) < end) ++*last;
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
  // Only pixels within reach of a letter can be lit.
  const Extent letters = NonZeroExtent(coverage, width, height);
  if (letters.empty()) return out;
  const int x_begin = std::max(0, letters.left - reach), x_end = std::min(width, letters.right + reach);
  const int y_begin = std::max(0, letters.top - reach), y_end = std::min(height, letters.bottom + reach);
  for (int y = y_begin; y < y_end; ++y) {
    const bool inner_row = y >= reach && y < height - reach;
    for (int x = x_begin; x < x_end; ++x) {
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

  // Small pixels away from every non-zero pixel average to 0, and so does
  // what is sampled only from them: both are left at 0 without the sums.
  const Extent lit = NonZeroExtent(alpha, width, height);
  if (lit.empty()) return std::vector<uint8_t>(alpha.size(), 0);
  int first_column = 0, last_column = 0, first_row = 0, last_row = 0;
  SmallSpanRange(lit.left, lit.right, width, small_width, &first_column, &last_column);
  SmallSpanRange(lit.top, lit.bottom, height, small_height, &first_row, &last_row);

  std::vector<float> small(static_cast<size_t>(small_width) * small_height, 0.0f);
  for (int j = first_row; j <= last_row; ++j) {
    const int y0 = SpanStart(j, height, small_height), y1 = SpanStart(j + 1, height, small_height);
    for (int i = first_column; i <= last_column; ++i) {
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
  int x_begin = width, x_end = 0;  // the columns that sample a lit small pixel
  for (int x = 0; x < width; ++x) {
    const float fx = SamplePosition(x, width, small_width);
    left[x] = static_cast<int>(fx);
    right[x] = std::min(left[x] + 1, small_width - 1);
    right_weight[x] = fx - left[x];
    if (right[x] >= first_column && left[x] <= last_column) {
      x_begin = std::min(x_begin, x);
      x_end = x + 1;
    }
  }
  // Bilinear sampling is separable: each lit small row is stretched across
  // once, and every full row blends the two stretched rows around it.
  std::vector<float> stretched(static_cast<size_t>(last_row - first_row + 1) * width, 0.0f);
  for (int j = first_row; j <= last_row; ++j) {
    const float* small_row = &small[static_cast<size_t>(j) * small_width];
    float* across = &stretched[static_cast<size_t>(j - first_row) * width];
    for (int x = x_begin; x < x_end; ++x) {
      across[x] = small_row[left[x]] + (small_row[right[x]] - small_row[left[x]]) * right_weight[x];
    }
  }
  const std::vector<float> dark_row(width, 0.0f);  // an unlit small row, stretched
  auto stretched_row = [&](int j) {
    return j < first_row || j > last_row ? dark_row.data() : &stretched[static_cast<size_t>(j - first_row) * width];
  };
  std::vector<uint8_t> out(alpha.size(), 0);
  for (int y = 0; y < height; ++y) {
    const float fy = SamplePosition(y, height, small_height);
    const int j0 = static_cast<int>(fy), j1 = std::min(j0 + 1, small_height - 1);
    if (j1 < first_row || j0 > last_row) continue;
    const float wy = fy - j0;
    const float* upper = stretched_row(j0);
    const float* lower = stretched_row(j1);
    uint8_t* row = &out[static_cast<size_t>(y) * width];
    for (int x = x_begin; x < x_end; ++x) row[x] = ToChannel(upper[x] + (lower[x] - upper[x]) * wy);
  }
  return out;
}

ARGB OverPixel(ARGB below, ARGB above) {
  const uint32_t above_alpha = above >> 24;
  if (above_alpha == 255) return above;
  if (above_alpha == 0) return below;
  // What still shows of the pixel below, then the weighted mean of both colours.
  const uint32_t below_alpha = (below >> 24) * (255 - above_alpha) / 255;
  if (below_alpha == 0) return above;
  const uint32_t alpha = below_alpha + above_alpha;
  auto channel = [&](int shift) {
    return (((below >> shift) & 0xFF) * below_alpha + ((above >> shift) & 0xFF) * above_alpha) / alpha;
  };
  return (alpha << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

void ComposeGlowAndLetters(const PlaneOnImage& place, const std::vector<uint8_t>& glow_alpha,
                           const std::vector<uint8_t>& coverage, ARGB glow_rgb, ARGB text_colour) {
  const uint32_t text_alpha = text_colour >> 24;
  const ARGB text_rgb = text_colour & 0x00FFFFFFu;
  glow_rgb &= 0x00FFFFFFu;
  for (int y = place.top; y < place.bottom; ++y) {
    auto* row = reinterpret_cast<ARGB*>(place.first_row + static_cast<ptrdiff_t>(y - place.top) * place.stride);
    const size_t plane_row = static_cast<size_t>(y) * place.plane_width;
    for (int x = place.left; x < place.right; ++x) {
      const uint8_t glow = glow_alpha[plane_row + x];
      const uint8_t letter = coverage[plane_row + x];
      if ((glow | letter) == 0) continue;  // most of the plane: nothing to lay
      ARGB& pixel = row[x - place.left];
      if (glow != 0) pixel = OverPixel(pixel, (static_cast<ARGB>(glow) << 24) | glow_rgb);
      const uint32_t alpha = (text_alpha * letter + 127) / 255;
      if (alpha != 0) pixel = OverPixel(pixel, (alpha << 24) | text_rgb);
    }
  }
}

}  // namespace quillet
