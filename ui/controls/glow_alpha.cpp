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
  for (int x = 0; x < width; ++x) {
    const float fx = SamplePosition(x, width, small_width);
    left[x] = static_cast<int>(fx);
    right[x] = std::min(left[x] + 1, small_width - 1);
    right_weight[x] = fx - left[x];
  }
  std::vector<uint8_t> out(alpha.size(), 0);
  for (int y = 0; y < height; ++y) {
    const float fy = SamplePosition(y, height, small_height);
    const int j0 = static_cast<int>(fy), j1 = std::min(j0 + 1, small_height - 1);
    if (j1 < first_row || j0 > last_row) continue;
    const float wy = fy - j0;
    const float* upper = &small[static_cast<size_t>(j0) * small_width];
    const float* lower = &small[static_cast<size_t>(j1) * small_width];
    uint8_t* row = &out[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x) {
      if (right[x] < first_column || left[x] > last_column) continue;
      const float wx = right_weight[x];
      const float top = upper[left[x]] + (upper[right[x]] - upper[left[x]]) * wx;
      const float bottom = lower[left[x]] + (lower[right[x]] - lower[left[x]]) * wx;
      row[x] = ToChannel(top + (bottom - top) * wy);
    }
  }
  return out;
}

}  // namespace quillet
