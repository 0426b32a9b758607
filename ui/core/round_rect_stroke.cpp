#include "ui/core/round_rect_stroke.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "runtime/program_dll_commands.h"
#include "ui/core/frame_blend.h"

namespace quillet {

namespace {

constexpr int kCornerSamples = 8;  // per axis, for pixels the corner arcs cross
constexpr int kCornerSampleCount = kCornerSamples * kCornerSamples;
constexpr float kHalfPixel = 0.5f;

// The round rectangle's outline as a distance: negative inside, zero on it.
struct RoundRectShape {
  float centre_x, centre_y;
  float straight_half_x, straight_half_y;  // half the straight part of each side
  float radius;

  float Distance(float x, float y) const {
    const float qx = std::fabs(x - centre_x) - straight_half_x;
    const float qy = std::fabs(y - centre_y) - straight_half_y;
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
  }
};

// Length of [a0, a1] inside [b0, b1].
float Overlap(float a0, float a1, float b0, float b1) { return std::max(0.0f, std::min(a1, b1) - std::max(a0, b0)); }

uint32_t CoverageByte(float coverage) {
  return static_cast<uint32_t>(std::min(coverage, 1.0f) * kPixelChannelMax + kHalfPixel);
}

bool InsideClip(const std::vector<RECT>* clip, int x, int y) {
  if (clip == nullptr) return true;
  return std::any_of(clip->begin(), clip->end(),
                     [&](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; });
}

}  // namespace

bool StrokeRoundRectOnDib(HBITMAP dib, const GpRectF& rect, float diameter, ARGB colour, float width,
                          const std::vector<RECT>* clip) {
  const float left = rect.X, top = rect.Y, right = rect.X + rect.Width - 1, bottom = rect.Y + rect.Height - 1;
  const float radius = diameter / 2, half_width = width / 2;
  if (!(width > 0) || !(diameter >= 0) || right - left < diameter || bottom - top < diameter) return false;
  DibBits pixels;
  if (!ReadDibBits(dib, &pixels)) return false;

  const RoundRectShape shape = {(left + right) / 2, (top + bottom) / 2, (right - left) / 2 - radius,
                                (bottom - top) / 2 - radius, radius};
  const uint32_t alpha = colour >> 24, rgb = colour & 0xFFFFFFu;
  auto lay = [&](int x, int y, uint32_t coverage) {
    if (x < 0 || y < 0 || x >= pixels.width || y >= pixels.height || !InsideClip(clip, x, y)) return;
    const uint32_t scaled_alpha = ScaleChannel(alpha, coverage);
    if (scaled_alpha == 0) return;
    uint32_t& pixel = pixels.Row(y)[x];
    pixel = SourceOverPixel((scaled_alpha << 24) | rgb, pixel);
  };
  // Corner pixels: the share of samples that fall within half the pen of the outline.
  auto corner_coverage = [&](int x, int y) {
    int inside = 0;
    for (int sy = 0; sy < kCornerSamples; ++sy) {
      const float py = static_cast<float>(y) - kHalfPixel + (static_cast<float>(sy) + kHalfPixel) / kCornerSamples;
      for (int sx = 0; sx < kCornerSamples; ++sx) {
        const float px = static_cast<float>(x) - kHalfPixel + (static_cast<float>(sx) + kHalfPixel) / kCornerSamples;
        if (std::fabs(shape.Distance(px, py)) <= half_width) ++inside;
      }
    }
    return static_cast<uint32_t>((inside * kPixelChannelMax + kCornerSampleCount / 2) / kCornerSampleCount);
  };

  // Pixel centres whose pixel touches the stroke at all.
  const int first_x = static_cast<int>(std::floor(left - half_width + kHalfPixel));
  const int last_x = static_cast<int>(std::ceil(right + half_width - kHalfPixel));
  const int first_y = static_cast<int>(std::floor(top - half_width + kHalfPixel));
  const int last_y = static_cast<int>(std::ceil(bottom + half_width - kHalfPixel));
  // Where the sides run straight: pixels wholly between the corner arcs and
  // clear of the other sides' pen. Everything else is sampled.
  const float straight_left = std::max(left + radius, left + half_width);
  const float straight_right = std::min(right - radius, right - half_width);
  const float straight_top = std::max(top + radius, top + half_width);
  const float straight_bottom = std::min(bottom - radius, bottom - half_width);
  auto in_straight_columns = [&](int x) {
    return static_cast<float>(x) - kHalfPixel >= straight_left && static_cast<float>(x) + kHalfPixel <= straight_right;
  };
  // The pixel columns the left and right sides' pen touches.
  const int left_side_end = static_cast<int>(std::ceil(left + half_width - kHalfPixel));
  const int right_side_start = std::max(left_side_end + 1, static_cast<int>(std::floor(right - half_width + kHalfPixel)));

  for (int y = first_y; y <= last_y; ++y) {
    const float y0 = static_cast<float>(y) - kHalfPixel, y1 = static_cast<float>(y) + kHalfPixel;
    if (y0 >= straight_top && y1 <= straight_bottom) {
      // Between the corners only the left and right sides cross this row.
      auto side = [&](int x) {
        const float x0 = static_cast<float>(x) - kHalfPixel, x1 = static_cast<float>(x) + kHalfPixel;
        const float covered = Overlap(left - half_width, left + half_width, x0, x1) +
                              Overlap(right - half_width, right + half_width, x0, x1);
        if (covered > 0) lay(x, y, CoverageByte(covered));
      };
      for (int x = first_x; x <= left_side_end; ++x) side(x);
      for (int x = right_side_start; x <= last_x; ++x) side(x);
      continue;
    }
    const float covered_rows = Overlap(top - half_width, top + half_width, y0, y1) +
                               Overlap(bottom - half_width, bottom + half_width, y0, y1);
    for (int x = first_x; x <= last_x; ++x) {
      if (in_straight_columns(x)) {
        if (covered_rows > 0) lay(x, y, CoverageByte(covered_rows));
      } else {
        lay(x, y, corner_coverage(x, y));
      }
    }
  }
  return true;
}

}  // namespace quillet
