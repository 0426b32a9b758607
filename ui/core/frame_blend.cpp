#include "ui/core/frame_blend.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "ui/core/gdi_owners.h"

namespace quillet {

uint32_t SourceOverPixel(uint32_t source, uint32_t dest) {
  const uint32_t alpha = source >> 24;
  if (alpha == 0) return dest;
  const uint32_t keep = kPixelChannelMax - alpha;
  const uint32_t red = ScaleChannel((source >> 16) & 0xFF, alpha) + ScaleChannel((dest >> 16) & 0xFF, keep);
  const uint32_t green = ScaleChannel((source >> 8) & 0xFF, alpha) + ScaleChannel((dest >> 8) & 0xFF, keep);
  const uint32_t blue = ScaleChannel(source & 0xFF, alpha) + ScaleChannel(dest & 0xFF, keep);
  const uint32_t out_alpha = alpha + ScaleChannel(dest >> 24, keep);
  return (out_alpha << 24) | (red << 16) | (green << 8) | blue;
}

namespace {

// The graphics' clip as device rectangles; `whole` when it has none.
bool ClipRects(GpGraphics* graphics, const RECT& whole, std::vector<RECT>* rects) {
  OwnedRegion clip;
  if (dll::GdipCreateRegion(Receive(clip)) != 0) return false;
  // A separate statement: the owner holds the region only once the one above has ended.
  if (dll::GdipGetClip(graphics, clip.get()) != 0) return false;
  HRGN raw = nullptr;
  if (dll::GdipGetRegionHRgn(clip.get(), graphics, &raw) != 0) return false;
  OwnedGdiRegion region(raw);
  if (!region) {  // an infinite clip
    rects->assign(1, whole);
    return true;
  }
  return RegionRects(region.get(), rects);
}

}  // namespace

bool ReadDibBits(HBITMAP dib, DibBits* bits) {
  DIBSECTION section = {};
  if (dib == nullptr || dll::GetObjectW(dib, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBits == nullptr || section.dsBm.bmBitsPixel != 32) {
    return false;
  }
  bits->bits = static_cast<uint32_t*>(section.dsBm.bmBits);
  bits->width = section.dsBm.bmWidth;
  bits->height = std::abs(section.dsBm.bmHeight);
  bits->bottom_up = section.dsBmih.biHeight > 0;
  return true;
}

bool RegionRects(HRGN region, std::vector<RECT>* rects) {
  const DWORD size = dll::GetRegionData(region, 0, nullptr);
  if (size == 0) return false;
  std::vector<uint8_t> buffer(size);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  if (dll::GetRegionData(region, size, data) == 0) return false;
  const RECT* first = reinterpret_cast<const RECT*>(data->Buffer);
  rects->assign(first, first + data->rdh.nCount);
  return true;
}

namespace {

// Calls blend(row of dest, first column, end column, frame pixel at the first
// column) for each run of `dest` inside the clip and the frame.
template <typename BlendRun>
void ForEachRunInClip(const std::vector<RECT>& clip, const DibBits& frame, const GpRect& dest, BlendRun blend) {
  for (const RECT& r : clip) {
    const int left = std::max<int>({r.left, dest.X, 0});
    const int right = std::min<int>({r.right, dest.X + dest.Width, frame.width});
    const int top = std::max<int>({r.top, dest.Y, 0});
    const int bottom = std::min<int>({r.bottom, dest.Y + dest.Height, frame.height});
    for (int y = top; y < bottom && left < right; ++y) {
      uint32_t* to = frame.Row(y) + left;
      blend(y - dest.Y, left - dest.X, right - dest.X, to);
    }
  }
}

// The frame's pixels and the clip of the graphics drawing on it, with what
// GDI+ and GDI drew already in the pixels; false when either cannot be read.
bool FramePixelsAndClip(GpGraphics* graphics, HBITMAP frame_dib, DibBits* frame, std::vector<RECT>* clip) {
  if (!ReadDibBits(frame_dib, frame)) return false;
  if (!ClipRects(graphics, RECT{0, 0, frame->width, frame->height}, clip)) return false;
  dll::GdipFlush(graphics, kFlushIntentionSync);
  dll::GdiFlush();
  return true;
}

uint32_t PremultipliedOver(uint32_t source, uint32_t dest) {
  const uint32_t alpha = source >> 24;
  if (alpha == kPixelChannelMax) return source;
  const uint32_t keep = kPixelChannelMax - alpha;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    out |= (((source >> shift) & 0xFF) + ScaleChannel((dest >> shift) & 0xFF, keep)) << shift;
  }
  return out;
}

}  // namespace

bool BlendOntoFrame(GpGraphics* graphics, HBITMAP frame_dib, GpBitmap* source, const GpRect& dest, int source_x,
                    int source_y) {
  if (dest.Width <= 0 || dest.Height <= 0) return true;
  // Another format would be converted on the way; GDI+ does that its own way.
  int format = 0;
  if (dll::GdipGetImagePixelFormat(reinterpret_cast<GpImage*>(source), &format) != 0 ||
      format != kPixelFormat32bppARGB) {
    return false;
  }
  DibBits frame;
  if (!ReadDibBits(frame_dib, &frame)) return false;
  std::vector<RECT> clip;
  if (!ClipRects(graphics, RECT{0, 0, frame.width, frame.height}, &clip)) return false;

  const GpRect part = {source_x, source_y, dest.Width, dest.Height};
  GpBitmapData pixels = {};
  if (dll::GdipBitmapLockBits(source, &part, kImageLockModeRead, kPixelFormat32bppARGB, &pixels) != 0) return false;
  // What GDI drew on the frame must be in its pixels before they are read.
  dll::GdiFlush();
  ForEachRunInClip(clip, frame, dest, [&](int row, int first, int end, uint32_t* to) {
    const auto* from =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pixels.Scan0) + static_cast<ptrdiff_t>(row) * pixels.Stride);
    for (int x = first; x < end; ++x, ++to) *to = SourceOverPixel(from[x], *to);
  });
  dll::GdipBitmapUnlockBits(source, &pixels);
  return true;
}

bool BlendPremultipliedOntoFrame(GpGraphics* graphics, HBITMAP frame_dib, const uint32_t* pixels, int row_pixels,
                                 const GpRect& dest) {
  if (dest.Width <= 0 || dest.Height <= 0) return true;
  DibBits frame;
  std::vector<RECT> clip;
  if (!FramePixelsAndClip(graphics, frame_dib, &frame, &clip)) return false;
  ForEachRunInClip(clip, frame, dest, [&](int row, int first, int end, uint32_t* to) {
    const uint32_t* from = pixels + static_cast<ptrdiff_t>(row) * row_pixels;
    for (int x = first; x < end; ++x, ++to) *to = PremultipliedOver(from[x], *to);
  });
  return true;
}

bool FillClipOnFrame(GpGraphics* graphics, HBITMAP frame_dib, ARGB colour) {
  DibBits frame;
  std::vector<RECT> clip;
  if (!FramePixelsAndClip(graphics, frame_dib, &frame, &clip)) return false;
  const uint32_t pixel = SourceOverPixel(colour, 0);
  const GpRect whole = {0, 0, frame.width, frame.height};
  ForEachRunInClip(clip, frame, whole,
                   [&](int, int first, int end, uint32_t* to) { std::fill(to, to + (end - first), pixel); });
  return true;
}

}  // namespace quillet
