#include "ui/core/picture_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/frame_blend.h"
#include "ui/core/gdi_owners.h"

namespace quillet {
namespace {

constexpr int kTaps = 4;  // a cubic reaches two source pixels either side
constexpr float kChannelMax = 255.0f;

// The four source positions and weights for one output position along an axis.
struct Taps {
  int at[kTaps];
  float weight[kTaps];
};

// Catmull-Rom: the cubic through neighbouring samples, a = -0.5.
float Cubic(float distance) {
  const float d = std::fabs(distance);
  if (d < 1.0f) return (1.5f * d - 2.5f) * d * d + 1.0f;
  if (d < 2.0f) return ((-0.5f * d + 2.5f) * d - 4.0f) * d + 2.0f;
  return 0.0f;
}

// Output pixels [first, first + count) of an axis scaled from `size` to `scaled`.
std::vector<Taps> TapsAlong(int size, int scaled, int first, int count) {
  std::vector<Taps> taps(static_cast<size_t>(count));
  const float step = static_cast<float>(size) / static_cast<float>(scaled);
  for (int i = 0; i < count; ++i) {
    const float centre = (static_cast<float>(first + i) + 0.5f) * step - 0.5f;
    const int base = static_cast<int>(std::floor(centre));
    float sum = 0.0f;
    for (int k = 0; k < kTaps; ++k) {
      const int at = base - 1 + k;
      taps[i].at[k] = std::clamp(at, 0, size - 1);
      taps[i].weight[k] = Cubic(centre - static_cast<float>(at));
      sum += taps[i].weight[k];
    }
    for (float& w : taps[i].weight) w /= sum;  // weights that add up to one keep flat areas flat
  }
  return taps;
}

// A pixel's blue, green, red and alpha, in that order, as four floats. The
// sums below run tap by tap in the same order whatever the vector width, so
// both builds give the same pixels.
__m128 ChannelsOf(uint32_t pixel) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(pixel));
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

uint8_t ToChannel(float value, float limit) { return static_cast<uint8_t>(std::clamp(value, 0.0f, limit) + 0.5f); }

}  // namespace

PixelPlane ScalePart(const PixelPlane& source, int scaled_width, int scaled_height, int left, int top,
                     int part_width, int part_height) {
  PixelPlane out;
  if (source.width <= 0 || source.height <= 0 || scaled_width <= 0 || scaled_height <= 0 || part_width <= 0 ||
      part_height <= 0 || source.pixels.size() != static_cast<size_t>(source.width) * source.height) {
    return out;
  }
  const std::vector<Taps> across = TapsAlong(source.width, scaled_width, left, part_width);
  const std::vector<Taps> down = TapsAlong(source.height, scaled_height, top, part_height);
  // Only the source rows the part's rows sample are stretched across.
  const int first_row = down.front().at[0], last_row = down.back().at[kTaps - 1];
  const int rows = last_row - first_row + 1;
  std::vector<float> stretched(static_cast<size_t>(rows) * part_width * 4);
  for (int r = 0; r < rows; ++r) {
    const uint32_t* row = &source.pixels[static_cast<size_t>(first_row + r) * source.width];
    float* into = &stretched[static_cast<size_t>(r) * part_width * 4];
    for (int x = 0; x < part_width; ++x) {
      __m128 channels = _mm_setzero_ps();
      for (int k = 0; k < kTaps; ++k) {
        channels = _mm_add_ps(channels, _mm_mul_ps(ChannelsOf(row[across[x].at[k]]), _mm_set1_ps(across[x].weight[k])));
      }
      _mm_storeu_ps(into + 4 * x, channels);
    }
  }
  out.width = part_width;
  out.height = part_height;
  out.pixels.resize(static_cast<size_t>(part_width) * part_height);
  for (int y = 0; y < part_height; ++y) {
    const float* lines[kTaps];
    for (int k = 0; k < kTaps; ++k) lines[k] = &stretched[static_cast<size_t>(down[y].at[k] - first_row) * part_width * 4];
    uint32_t* row = &out.pixels[static_cast<size_t>(y) * part_width];
    for (int x = 0; x < part_width; ++x) {
      __m128 sum = _mm_setzero_ps();
      for (int k = 0; k < kTaps; ++k) {
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(lines[k] + 4 * x), _mm_set1_ps(down[y].weight[k])));
      }
      float channels[4];
      _mm_storeu_ps(channels, sum);
      // The cubic overshoots at edges; premultiplied colour never exceeds its alpha.
      const uint8_t alpha = ToChannel(channels[3], kChannelMax);
      const float limit = static_cast<float>(alpha);
      row[x] = (static_cast<uint32_t>(alpha) << 24) | (static_cast<uint32_t>(ToChannel(channels[2], limit)) << 16) |
               (static_cast<uint32_t>(ToChannel(channels[1], limit)) << 8) | ToChannel(channels[0], limit);
    }
  }
  return out;
}

bool DrawPictureScaled(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int scaled_width,
                       int scaled_height, int width, int height) {
  const int left = std::max(0, -x), top = std::max(0, -y);
  const int right = std::min(scaled_width, width - x), bottom = std::min(scaled_height, height - y);
  if (right <= left || bottom <= top) return true;  // none of it lands in the window
  const int source_width = static_cast<int>(ImageWidth(picture)), source_height = static_cast<int>(ImageHeight(picture));
  if (source_width <= 0 || source_height <= 0) return false;
  PixelPlane source;
  source.width = source_width;
  source.height = source_height;
  source.pixels.resize(static_cast<size_t>(source_width) * source_height);
  // Read premultiplied: scaling straight colours would bleed the colour of clear pixels.
  GpBitmapData data = {};
  const GpRect whole = {0, 0, source_width, source_height};
  if (dll::GdipBitmapLockBits(reinterpret_cast<GpBitmap*>(picture), &whole, kImageLockModeRead,
                              kPixelFormat32bppPARGB, &data) != 0) {
    return false;
  }
  const auto* row = static_cast<const uint8_t*>(data.Scan0);
  for (int r = 0; r < source_height; ++r, row += data.Stride) {
    std::memcpy(&source.pixels[static_cast<size_t>(r) * source_width], row, sizeof(uint32_t) * source_width);
  }
  dll::GdipBitmapUnlockBits(reinterpret_cast<GpBitmap*>(picture), &data);
  PixelPlane part = ScalePart(source, scaled_width, scaled_height, left, top, right - left, bottom - top);
  if (part.pixels.empty()) return false;
  // Straight into the frame's pixels when they can be read.
  const GpRect dest = {x + left, y + top, part.width, part.height};
  if (frame_dib != nullptr && BlendPremultipliedOntoFrame(graphics, frame_dib, part.pixels.data(), dest)) return true;
  OwnedBitmap bitmap;
  if (dll::GdipCreateBitmapFromScan0(part.width, part.height, part.width * static_cast<int>(sizeof(uint32_t)),
                                     kPixelFormat32bppPARGB, reinterpret_cast<BYTE*>(part.pixels.data()),
                                     Receive(bitmap)) != 0) {
    return false;
  }
  return dll::GdipDrawImageRectI(graphics, AsImage(bitmap.get()), x + left, y + top, part.width, part.height) == 0;
}

}  // namespace quillet
