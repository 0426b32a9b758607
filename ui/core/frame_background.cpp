#include "ui/core/frame_background.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/frame_blend.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/picture_scaling.h"
#include "ui/core/round_rect_stroke.h"
#include "ui/core/toolkit.h"

namespace quillet {

namespace {

constexpr int kFrameInset = 6;            // frame outline and clip inset
constexpr int kFrameDiameter = 4;         // clip corner diameter of the frame
constexpr int kWindowRegionDiameter = 5;  // corners of a non-layered window
constexpr int kPictureMargin = 5;
constexpr float kGlowSize = 6.0f;
constexpr float kGlowDepth = 100.0f;
constexpr uint32_t kOuterOutlineGrey = RGB(96, 96, 96);
constexpr int kOuterOutlineAlpha = 204;
constexpr int kInnerOutlineAlpha = 102;
constexpr float kOuterOutlineDiameter = 7.0f;
constexpr float kInnerOutlineDiameter = 6.0f;
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr int kShadowAlphas[4] = {45, 25, 10, 5};
constexpr float kShadowDiametersRound[4] = {10, 12, 15, 18};
constexpr float kShadowDiametersSquare[4] = {1, 4, 7, 11};

GpRectF WholeWindow(const FrameBackground& f) {
  return GpRectF{0, 0, static_cast<float>(f.width), static_cast<float>(f.height)};
}

// A skin: the picture is the whole window.
void DrawSkin(GpGraphics* g, const FrameBackground& f) {
  if (!f.picture) return;
  if (dll::IsRectEmpty(&f.nine_grid)) {
    DrawImageNatural(g, f.picture, WholeWindow(f), false);
  } else {
    DrawNineGrid(g, f.picture, WholeWindow(f), f.nine_grid, std::nullopt);
  }
}

// The frame's pixels take the window's alpha: each drawn pixel's colour, read
// as opaque, premultiplied by it. Pixels outside the frame (alpha 0) are left
// alone. Done on the pixels: drawing the frame again through GDI+ with an
// alpha matrix costs more than the rest of the background.
void ApplyWindowAlpha(HBITMAP dib, int window_alpha) {
  DibBits frame;
  if (!ReadDibBits(dib, &frame)) return;
  uint32_t* pixels = frame.bits;
  const size_t count = frame.Count();
  const uint32_t alpha = static_cast<uint32_t>(window_alpha);
  auto scaled = [alpha](uint32_t channel) { return ScaleChannel(channel, alpha); };
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = pixels[i];
    if ((p >> 24) == 0) continue;
    pixels[i] = (alpha << 24) | (scaled((p >> 16) & 0xFF) << 16) | (scaled((p >> 8) & 0xFF) << 8) | scaled(p & 0xFF);
  }
}

// What GDI+ and GDI drew must be in the pixels before they are written.
void FlushDrawing(GpGraphics* g) {
  dll::GdipFlush(g, kFlushIntentionSync);
  dll::GdiFlush();
}

// Every pixel of a 32-bit DIB transparent black; false when it cannot be written.
bool ClearPixels(HBITMAP dib) {
  DibBits frame;
  if (!ReadDibBits(dib, &frame)) return false;
  std::fill(frame.bits, frame.bits + frame.Count(), 0u);
  return true;
}

// The picture at its place and (scaled) size; scaled ones are resampled here,
// smoothly, and only where they land in the window. At its own size an opaque
// one is laid in as it is; GDI+ draws any other faster than its pixels can be
// converted.
void DrawPicture(GpGraphics* g, const FrameBackground& f, GpImage* image, float x, float y, float width,
                 float height) {
  const bool whole_pixels = x == std::floor(x) && y == std::floor(y);
  if (whole_pixels) {
    const int left = static_cast<int>(x), top = static_cast<int>(y);
    const bool drawn = f.scale.IsUnscaled()
                           ? DrawOpaquePicture(g, f.frame_dib, image, left, top, f.width, f.height)
                           : DrawPictureScaled(g, f.frame_dib, image, left, top, static_cast<int>(width),
                                               static_cast<int>(height), f.width, f.height);
    if (drawn) return;
  }
  dll::GdipDrawImageRect(g, image, x, y, width, height);
}

// By hand where the pixels can be written: GDI+ clears a clip pixel by pixel.
void ClearInsideFrame(GpGraphics* g, const FrameBackground& f, ARGB colour) {
  if (!FillClipOnFrame(g, f.frame_dib, colour)) dll::GdipGraphicsClear(g, colour);
}

// Inside the frame: the picture placed on the base colour, or the base colour alone.
void DrawFramedPicture(GpGraphics* g, const FrameBackground& f) {
  const uint32_t base = static_cast<uint32_t>(f.base_colour);
  GpImage* image = f.picture;
  if (!image) {
    ClearInsideFrame(g, f, ArgbFromColor(base, f.window_alpha == kNoAlpha ? 255 : f.window_alpha, 1));
    return;
  }
  ClearInsideFrame(g, f, ArgbFromColor(base, 255, 1));
  // The picture's pixels are logical ones: drawn at the scaled size, smoothly.
  const float pw = f.scale.Whole(static_cast<float>(ImageWidth(image)));
  const float ph = f.scale.Whole(static_cast<float>(ImageHeight(image)));
  const int margin_pixels = f.scale.Int(kPictureMargin);
  const float margin = static_cast<float>(margin_pixels);
  const float glow_size = f.scale.Float(kGlowSize);
  const float one = f.scale.Float(1.0f);
  if (!f.scale.IsUnscaled()) dll::GdipSetInterpolationMode(g, kInterpolationHighQualityBicubic);
  if (f.image_placement == kPlaceStretch) {
    DrawImageRect(g, image,
                  GpRectF{margin, margin, static_cast<float>(f.width - 2 * margin_pixels),
                          static_cast<float>(f.height - 2 * margin_pixels)});
  } else if (f.image_placement == kPlaceCentre) {
    const float x = std::floor((f.width - pw) / 2), y = std::floor((f.height - ph) / 2);
    DrawPicture(g, f, image, x, y, pw, ph);
    if (f.edge_glow) {
      GpRectF glow = {x - one, y - one, pw + one, ph + one};
      DrawEdgeGlow(g, &glow, base, glow_size, kGlowDepth, true, true, true, true);
    }
  } else {
    DrawPicture(g, f, image, margin, margin, pw, ph);
    if (f.edge_glow) {
      GpRectF glow = {0, 0, pw, ph};
      DrawEdgeGlow(g, &glow, base, glow_size, kGlowDepth, false, false, true, true);
    }
  }
  if (!f.scale.IsUnscaled()) dll::GdipSetInterpolationMode(g, kInterpolationDefault);
  if (f.window_alpha != kNoAlpha) {
    FlushDrawing(g);
    ApplyWindowAlpha(f.frame_dib, f.window_alpha);
  }
}

// Straight into the frame's pixels when they can be written; through GDI+ otherwise.
void StrokeRoundRect(GpGraphics* g, HBITMAP dib, const GpRectF& rect, float diameter, ARGB colour, float width,
                     const std::vector<RECT>* clip) {
  if (!StrokeRoundRectOnDib(dib, rect, diameter, colour, width, clip)) {
    DrawRoundRect(g, rect, diameter, colour, kDashSolid, width);
  }
}

void DrawOutlines(GpGraphics* g, const FrameBackground& f, bool rounded, const std::vector<RECT>* clip) {
  const float inset = static_cast<float>(f.scale.Int(kFrameInset));
  const float line = f.scale.Float(1.0f);
  const GpRectF outer = {inset, inset, f.width - 2 * inset, f.height - 2 * inset};
  const GpRectF inner = {outer.X + line, outer.Y + line, outer.Width - 2 * line, outer.Height - 2 * line};
  const ARGB outer_colour = ArgbFromColor(kOuterOutlineGrey, kOuterOutlineAlpha, 1);
  const ARGB inner_colour = ArgbFromColor(kWhite, kInnerOutlineAlpha, 1);
  if (rounded) {
    // Without the clip's rectangles the pixels cannot be clipped: GDI+ draws them.
    const HBITMAP dib = clip != nullptr ? f.frame_dib : nullptr;
    FlushDrawing(g);
    StrokeRoundRect(g, dib, outer, f.scale.Float(kOuterOutlineDiameter), outer_colour, line, clip);
    StrokeRoundRect(g, dib, inner, f.scale.Float(kInnerOutlineDiameter), inner_colour, line, clip);
  } else {
    DrawOutline(g, outer, outer_colour, kDashSolid, line);
    DrawOutline(g, inner, inner_colour, kDashSolid, line);
  }
}

// Four soft rings outside the frame.
void DrawDropShadow(GpGraphics* g, const FrameBackground& f, bool rounded) {
  const float* diameters = rounded ? kShadowDiametersRound : kShadowDiametersSquare;
  const uint32_t rgb = f.shadow_colour == -1 ? 0u : (static_cast<uint32_t>(f.shadow_colour) & 0xFFFFFFu);
  FlushDrawing(g);
  for (int i = 0; i < 4; ++i) {
    const float inset = f.scale.Float(static_cast<float>(kPictureMargin - i));
    const GpRectF r = {inset, inset, f.width - 2 * inset, f.height - 2 * inset};
    const ARGB colour = (static_cast<uint32_t>(kShadowAlphas[i]) << 24) | rgb;
    StrokeRoundRect(g, f.frame_dib, r, f.scale.Float(diameters[i]), colour, f.scale.Float(1.0f), nullptr);
  }
}

}  // namespace

void PaintFrameBackground(GpGraphics* g, const FrameBackground& f) {
  const bool framed = f.background_mode != kBackgroundSkin;
  const bool rounded = f.background_mode != kBackgroundSquare;
  // The whole frame is painted anew. Zeroed by hand: GDI+ clears pixel by pixel.
  ResetClip(g);
  FlushDrawing(g);
  if (!ClearPixels(f.frame_dib)) dll::GdipGraphicsClear(g, 0);
  OwnedRegion frame_clip;
  std::vector<RECT> frame_clip_rects;
  bool clip_rects_read = false;
  if (framed) {
    const int inset = f.scale.Int(kFrameInset), diameter = rounded ? f.scale.Int(kFrameDiameter) : 0;
    const OwnedGdiRegion frame_region(RoundRectRegion(f.width, f.height, inset, diameter));
    frame_clip.reset(GdiRegionToGdiplus(frame_region.get()));
    if (frame_clip) ClipToRegion(g, frame_clip.get(), kClipReplace);
    clip_rects_read = frame_region && RegionRects(frame_region.get(), &frame_clip_rects);
    DrawFramedPicture(g, f);
  } else {
    DrawSkin(g, f);
  }

  if (f.on_painted) f.on_painted(f.window, g, f.width, f.height);
  if (!framed) return;

  DrawOutlines(g, f, rounded, clip_rects_read ? &frame_clip_rects : nullptr);
  ResetClip(g);
  if (f.window_alpha == kNoAlpha) {
    ApplyWindowRegion(f.window, f.width, f.height, f.scale.Int(kFrameInset),
                      rounded ? f.scale.Int(kWindowRegionDiameter) : 0);
  } else if (f.frame_flags & kFrameShadow) {
    DrawDropShadow(g, f, rounded);
  }
}

int AverageColour(GpBitmap* bitmap) {
  // Premultiplied, as a device bitmap of the picture holds its colours.
  const PremultipliedPixels read(AsImage(bitmap));
  if (read.Empty()) return 0;
  uint64_t red = 0, green = 0, blue = 0;
  for (int y = 0; y < read.Height(); ++y) {
    const uint32_t* row = read.Row(y);
    for (int x = 0; x < read.Width(); ++x) {
      const uint32_t p = row[x];
      blue += p & 0xFF;
      green += (p >> 8) & 0xFF;
      red += (p >> 16) & 0xFF;
    }
  }
  const uint64_t count = static_cast<uint64_t>(read.Width()) * static_cast<uint64_t>(read.Height());
  return static_cast<int>(RGB(red / count, green / count, blue / count));
}

}  // namespace quillet
