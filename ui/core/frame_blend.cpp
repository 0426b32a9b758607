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

bool BlendOntoFrame(GpGraphics* graphics, HBITMAP frame_dib, GpBitmap* source, const GpRect& dest, int source_x,
                    int source_y) {
  if (dest.Width <= 0 || dest.Height <= 0) return true;
  // Another format would be converted on the way; GDI+ does that its own way.
  int format = 0;
  if (dll::GdipGetImagePixelFormat(reinterpret_cast<GpImage*>(source), &format) != 0 ||
      format != kPixelFormat32bppARGB) {
    return false;
  }
  DIBSECTION section = {};
  if (frame_dib == nullptr || dll::GetObjectW(frame_dib, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBits == nullptr || section.dsBm.bmBitsPixel != 32) {
    return false;
  }
  const int frame_width = section.dsBm.bmWidth, frame_height = std::abs(section.dsBm.bmHeight);
  const bool bottom_up = section.dsBmih.biHeight > 0;
  std::vector<RECT> clip;
  if (!ClipRects(graphics, RECT{0, 0, frame_width, frame_height}, &clip)) return false;

  const GpRect part = {source_x, source_y, dest.Width, dest.Height};
  GpBitmapData pixels = {};
  if (dll::GdipBitmapLockBits(source, &part, kImageLockModeRead, kPixelFormat32bppARGB, &pixels) != 0) return false;
  // What GDI drew on the frame must be in its pixels before they are read.
  dll::GdiFlush();
  auto* frame = static_cast<uint32_t*>(section.dsBm.bmBits);
  for (const RECT& r : clip) {
    const int left = std::max<int>({r.left, dest.X, 0});
    const int right = std::min<int>({r.right, dest.X + dest.Width, frame_width});
    const int top = std::max<int>({r.top, dest.Y, 0});
    const int bottom = std::min<int>({r.bottom, dest.Y + dest.Height, frame_height});
    for (int y = top; y < bottom; ++y) {
      const auto* from = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(pixels.Scan0) +
                                                           static_cast<ptrdiff_t>(y - dest.Y) * pixels.Stride) +
                         (left - dest.X);
      uint32_t* to = frame + static_cast<size_t>(bottom_up ? frame_height - 1 - y : y) * frame_width + left;
      for (int x = left; x < right; ++x, ++from, ++to) *to = SourceOverPixel(*from, *to);
    }
  }
  dll::GdipBitmapUnlockBits(source, &pixels);
  return true;
}

}  // namespace quillet
