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
constexpr uint32_t kOpaqueAlpha = 0xFF000000u;

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

// Source rows stretched across, kept for the output rows that sample them:
// four slots, as an output row samples four consecutive source rows (fewer at
// the edges), so a small buffer stays in the cache instead of a whole
// stretched picture that would have to be paged in.
class StretchedRows {
 public:
  StretchedRows(const uint32_t* pixels, int row_pixels, const std::vector<Taps>& across)
      : pixels_(pixels), row_pixels_(row_pixels), across_(across),
        floats_(static_cast<size_t>(kTaps) * across.size() * 4) {
    for (int& row : held_) row = -1;
  }

  const float* Row(int source_row) {
    const int slot = source_row % kTaps;
    float* into = &floats_[static_cast<size_t>(slot) * across_.size() * 4];
    if (held_[slot] == source_row) return into;
    held_[slot] = source_row;
    const uint32_t* row = pixels_ + static_cast<ptrdiff_t>(source_row) * row_pixels_;
    for (size_t x = 0; x < across_.size(); ++x) {
      __m128 channels = _mm_setzero_ps();
      for (int k = 0; k < kTaps; ++k) {
        channels = _mm_add_ps(channels, _mm_mul_ps(ChannelsOf(row[across_[x].at[k]]), _mm_set1_ps(across_[x].weight[k])));
      }
      _mm_storeu_ps(into + 4 * x, channels);
    }
    return into;
  }

 private:
  const uint32_t* pixels_;
  int row_pixels_;
  const std::vector<Taps>& across_;
  std::vector<float> floats_;
  int held_[kTaps];
};

}  // namespace

PixelPlane ScalePart(const uint32_t* pixels, int row_pixels, int width, int height, int scaled_width,
                     int scaled_height, int left, int top, int part_width, int part_height) {
  PixelPlane out;
  if (pixels == nullptr || width <= 0 || height <= 0 || std::abs(row_pixels) < width || scaled_width <= 0 ||
      scaled_height <= 0 || part_width <= 0 || part_height <= 0) {
    return out;
  }
  const std::vector<Taps> across = TapsAlong(width, scaled_width, left, part_width);
  const std::vector<Taps> down = TapsAlong(height, scaled_height, top, part_height);
  StretchedRows stretched(pixels, row_pixels, across);
  out.width = part_width;
  out.height = part_height;
  out.pixels.resize(static_cast<size_t>(part_width) * part_height);
  for (int y = 0; y < part_height; ++y) {
    const float* lines[kTaps];
    for (int k = 0; k < kTaps; ++k) lines[k] = stretched.Row(down[y].at[k]);
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

PixelPlane ScalePart(const PixelPlane& source, int scaled_width, int scaled_height, int left, int top,
                     int part_width, int part_height) {
  if (source.pixels.size() != static_cast<size_t>(source.width) * source.height) return PixelPlane();
  return ScalePart(source.pixels.data(), source.width, source.width, source.height, scaled_width, scaled_height, left,
                   top, part_width, part_height);
}

PremultipliedPixels::PremultipliedPixels(GpImage* picture) : bitmap_(reinterpret_cast<GpBitmap*>(picture)) {
  if (ImageWidth(picture) == 0 || ImageHeight(picture) == 0) return;
  if (Lock(kPixelFormat32bppARGB)) {
    uint32_t alphas = kOpaqueAlpha;
    for (int y = 0; y < Height(); ++y) {
      const uint32_t* row = Row(y);
      for (int x = 0; x < Width(); ++x) alphas &= row[x];
    }
    opaque_ = alphas == kOpaqueAlpha;
    if (opaque_) return;
    Unlock();
  }
  // Premultiplied: scaling straight colours would bleed the colour of clear pixels.
  Lock(kPixelFormat32bppPARGB);
}

PremultipliedPixels::~PremultipliedPixels() { Unlock(); }

bool PremultipliedPixels::Lock(int format) {
  const GpRect whole = {0, 0, static_cast<int>(ImageWidth(AsImage(bitmap_))),
                        static_cast<int>(ImageHeight(AsImage(bitmap_)))};
  if (dll::GdipBitmapLockBits(bitmap_, &whole, kImageLockModeRead, format, &data_) == 0) return true;
  data_ = {};
  return false;
}

void PremultipliedPixels::Unlock() {
  if (Empty()) return;
  dll::GdipBitmapUnlockBits(bitmap_, &data_);
  data_ = {};
}

namespace {

// The part [left, right) x [top, bottom) of a picture drawn at (x, y) that
// lands in a width x height window, in the picture's own (scaled) pixels.
struct PartInWindow {
  int left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
};

PartInWindow PartInWindowOf(int x, int y, int picture_width, int picture_height, int width, int height) {
  return PartInWindow{std::max(0, -x), std::max(0, -y), std::min(picture_width, width - x),
                      std::min(picture_height, height - y)};
}

// That part of the (scaled) picture drawn at (x, y): `pixels` of `row_pixels`
// to a row, the part's first at its start.
bool DrawPart(GpGraphics* graphics, HBITMAP frame_dib, const uint32_t* pixels, int row_pixels, int x, int y,
              const PartInWindow& p) {
  // Straight into the frame's pixels when they can be read.
  const GpRect dest = {x + p.left, y + p.top, p.right - p.left, p.bottom - p.top};
  if (frame_dib != nullptr && BlendPremultipliedOntoFrame(graphics, frame_dib, pixels, row_pixels, dest)) return true;
  OwnedBitmap bitmap;
  if (dll::GdipCreateBitmapFromScan0(dest.Width, dest.Height, row_pixels * static_cast<int>(sizeof(uint32_t)),
                                     kPixelFormat32bppPARGB, reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels)),
                                     Receive(bitmap)) != 0) {
    return false;
  }
  return dll::GdipDrawImageRectI(graphics, AsImage(bitmap.get()), dest.X, dest.Y, dest.Width, dest.Height) == 0;
}

}  // namespace

bool DrawPictureScaled(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int scaled_width,
                       int scaled_height, int width, int height) {
  const PartInWindow p = PartInWindowOf(x, y, scaled_width, scaled_height, width, height);
  if (p.Empty()) return true;  // none of it lands in the window
  const PremultipliedPixels read(picture);
  if (read.Empty()) return false;
  const PixelPlane part = ScalePart(read.Row(0), read.RowPixels(), read.Width(), read.Height(), scaled_width,
                                    scaled_height, p.left, p.top, p.right - p.left, p.bottom - p.top);
  if (part.pixels.empty()) return false;
  return DrawPart(graphics, frame_dib, part.pixels.data(), part.width, x, y, p);
}

bool DrawOpaquePicture(GpGraphics* graphics, HBITMAP frame_dib, GpImage* picture, int x, int y, int width,
                       int height) {
  const PremultipliedPixels read(picture);
  if (read.Empty() || !read.Opaque()) return false;
  const PartInWindow p = PartInWindowOf(x, y, read.Width(), read.Height(), width, height);
  if (p.Empty()) return true;  // none of it lands in the window
  return DrawPart(graphics, frame_dib, read.Row(p.top) + p.left, read.RowPixels(), x, y, p);
}

}  // namespace quillet
