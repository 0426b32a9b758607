#include "ui/controls/text_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "ui/controls/control.h"
#include "ui/controls/glow_alpha.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr int kGlowMargin = 7;         // the glow bitmap is this much larger than the text
constexpr int kGlowOffset = 4;         // and drawn this much up and left
constexpr int kSampleCount = 9;
constexpr int kDarkSamplesNeeded = 5;  // more than four of nine
constexpr float kSampleFractions[3] = {0.2f, 0.5f, 0.8f};
// Positions of the five glow passes inside the glow bitmap; the last is the centre.
constexpr float kGlowPasses[5][2] = {{5, 4}, {3, 4}, {4, 3}, {4, 5}, {4, 4}};
constexpr int kGlowCentrePass = 4;
constexpr ARGB kOpaque = 0xFF000000u;
constexpr ARGB kRgbMask = 0x00FFFFFFu;
constexpr int kAlphaShift = 24;

void FillText(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font, GpStringFormat* format,
              ARGB colour) {
  OwnedSolidFill brush;
  if (dll::GdipCreateSolidFill(colour, Receive(brush)) != 0) return;
  dll::GdipDrawString(graphics, text, -1, font, &rect, format, AsBrush(brush));
}

}  // namespace

bool IsDarkColour(uint8_t red, uint8_t green, uint8_t blue) {
  return kLumaWeightRed * red + kLumaWeightGreen * green + kLumaWeightBlue * blue < kDarkLumaLimitThousandths;
}

bool IsDarkArgb(ARGB colour) {
  return IsDarkColour(static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                      static_cast<uint8_t>(colour));
}

bool BackgroundIsDark(HWND host_window, const GpRectF& bounds) {
  HostWindow* host = HostFromWindow(host_window);
  if (host == nullptr) return false;
  GpBitmap* image = host->BackgroundImage();
  if (image == nullptr) {
    const uint32_t base = static_cast<uint32_t>(host->BaseColour());
    return IsDarkColour(static_cast<uint8_t>(base), static_cast<uint8_t>(base >> 8), static_cast<uint8_t>(base >> 16));
  }
  int dark = 0;
  for (float fx : kSampleFractions) {
    for (float fy : kSampleFractions) {
      const int x = static_cast<int>(bounds.X + fx * bounds.Width);
      const int y = static_cast<int>(bounds.Y + fy * bounds.Height);
      ARGB pixel = 0;
      dll::GdipBitmapGetPixel(image, x, y, &pixel);
      if (IsDarkArgb(pixel)) ++dark;
    }
  }
  static_assert(kSampleCount == 9, "three by three samples");
  return dark >= kDarkSamplesNeeded;
}

ARGB AutoContrastColour(HWND host_window, const GpRectF& bounds, ARGB text_colour) {
  const uint32_t colour = BackgroundIsDark(host_window, bounds) ? kColourWhite : kColourBlack;
  return ArgbFromColor(colour, static_cast<int>(text_colour >> 24), 1);
}

namespace {

// Pixel blocks of glow surfaces that ended, kept for the next on this thread:
// a fresh block of this size costs its page faults again on every paint.
constexpr size_t kSpareGlowBlocks = 2;

std::vector<std::vector<ARGB>>& SpareGlowBlocks() {
  thread_local std::vector<std::vector<ARGB>> spare;
  return spare;
}

}  // namespace

GlowSurface::GlowSurface(int width, int height) : width_(width), height_(height) {
  if (width <= 0 || height <= 0) return;
  std::vector<std::vector<ARGB>>& spare = SpareGlowBlocks();
  if (!spare.empty()) {
    pixels_ = std::move(spare.back());
    spare.pop_back();
  }
  pixels_.assign(static_cast<size_t>(width) * height, 0);
  dll::GdipCreateBitmapFromScan0(width, height, width * static_cast<int>(sizeof(ARGB)), kPixelFormat32bppARGB,
                                 reinterpret_cast<BYTE*>(pixels_.data()), Receive(bitmap_));
}

GlowSurface::~GlowSurface() {
  bitmap_.reset();  // before the pixels it draws on go back
  std::vector<std::vector<ARGB>>& spare = SpareGlowBlocks();
  if (!pixels_.empty() && spare.size() < kSpareGlowBlocks) spare.push_back(std::move(pixels_));
}

namespace {

// The letters drawn once, opaque, into the surface at the centre pass; answers their coverage.
bool DrawLetterCoverage(GlowSurface* surface, const wchar_t* text, GpFont* font, GpStringFormat* format,
                        const GpRectF& rect, ARGB rgb, const DpiScale& dpi, std::vector<uint8_t>* coverage) {
  OwnedGraphics graphics;
  if (dll::GdipGetImageGraphicsContext(AsImage(surface->bitmap()), Receive(graphics)) != 0) return false;
  dll::GdipSetSmoothingMode(graphics.get(), kSmoothingAntiAlias);
  dll::GdipSetTextRenderingHint(graphics.get(), kTextHintAntiAliasGridFit);
  const GpRectF at = {static_cast<float>(dpi.Int(static_cast<int>(kGlowPasses[kGlowCentrePass][0]))),
                      static_cast<float>(dpi.Int(static_cast<int>(kGlowPasses[kGlowCentrePass][1]))), rect.Width,
                      rect.Height};
  FillText(graphics.get(), at, text, font, format, kOpaque | rgb);
  // Deleting the context flushes the drawing into the pixels read below.
  graphics.reset();
  const std::vector<ARGB>& pixels = surface->pixels();
  coverage->resize(pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) (*coverage)[i] = static_cast<uint8_t>(pixels[i] >> kAlphaShift);
  return true;
}

// Whole pixels apart at every scale, so the passes stay copies of one drawing.
std::vector<PixelOffset> PassOffsets(const DpiScale& dpi) {
  std::vector<PixelOffset> offsets;
  for (const auto& pass : kGlowPasses) {
    offsets.push_back({dpi.Int(static_cast<int>(pass[0] - kGlowPasses[kGlowCentrePass][0])),
                       dpi.Int(static_cast<int>(pass[1] - kGlowPasses[kGlowCentrePass][1]))});
  }
  return offsets;
}

void FillFromAlpha(GlowSurface* surface, const std::vector<uint8_t>& alpha, ARGB rgb) {
  std::vector<ARGB>& pixels = surface->pixels();
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = alpha[i] == 0 ? 0 : (static_cast<ARGB>(alpha[i]) << kAlphaShift) | rgb;
  }
}

// The passes differ only by whole pixels, so the letters are drawn once and the
// five passes are laid over each other from that coverage. Answers the glow's alpha.
bool GlowPassAlpha(GlowSurface* surface, const GpRectF& rect, const wchar_t* text, GpFont* font,
                   GpStringFormat* format, ARGB glow_colour, const DpiScale& dpi, std::vector<uint8_t>* alpha,
                   std::vector<uint8_t>* coverage) {
  if (surface->bitmap() == nullptr) return false;
  if (!DrawLetterCoverage(surface, text, font, format, rect, glow_colour & kRgbMask, dpi, coverage)) return false;
  *alpha = LayGlowPasses(*coverage, surface->width(), surface->height(), PassOffsets(dpi),
                         static_cast<int>(glow_colour >> kAlphaShift));
  return true;
}

// The glow surface of a text rectangle: the text and the margin, placed up and left by the offset.
struct GlowPlacement {
  int width, height, offset;
};

GlowPlacement GlowPlacementFor(const GpRectF& rect, const DpiScale& dpi) {
  return GlowPlacement{static_cast<int>(rect.Width) + dpi.Int(kGlowMargin),
                       static_cast<int>(rect.Height) + dpi.Int(kGlowMargin), dpi.Int(kGlowOffset)};
}

// The glow's alpha over `surface`, softened by `scale`, and the letters' coverage.
bool SoftGlowAlpha(GlowSurface* surface, const GpRectF& rect, const wchar_t* text, GpFont* font,
                   GpStringFormat* format, ARGB glow_colour, float scale, const DpiScale& dpi,
                   std::vector<uint8_t>* alpha, std::vector<uint8_t>* coverage) {
  if (!GlowPassAlpha(surface, rect, text, font, format, glow_colour, dpi, alpha, coverage)) return false;
  // The softening reaches as many physical pixels as the scale says logical ones do.
  const int width = surface->width(), height = surface->height();
  const float softening = dpi.Float(scale);
  const int small_width = static_cast<int>(width / softening);
  const int small_height = static_cast<int>(height / softening);
  if (small_width < width || small_height < height) {
    // Softened by shrinking and stretching back; done on the pixels, since GDI+ resampling
    // of a picture this size costs more than the rest of the label's painting.
    *alpha = SoftenAlpha(*alpha, width, height, small_width, small_height);
  }
  return true;
}

}  // namespace

bool DrawGlowPasses(GlowSurface* surface, const GpRectF& rect, const wchar_t* text, GpFont* font,
                    GpStringFormat* format, ARGB glow_colour, const DpiScale& dpi) {
  std::vector<uint8_t> alpha, coverage;
  if (!GlowPassAlpha(surface, rect, text, font, format, glow_colour, dpi, &alpha, &coverage)) return false;
  FillFromAlpha(surface, alpha, glow_colour & kRgbMask);
  return true;
}

void DrawTextGlow(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font,
                  GpStringFormat* format, ARGB glow_colour, float scale, const DpiScale& dpi) {
  const GlowPlacement place = GlowPlacementFor(rect, dpi);
  const int width = place.width, height = place.height;
  const float offset = static_cast<float>(place.offset);
  GlowSurface glow(width, height);
  std::vector<uint8_t> alpha, coverage;
  if (!SoftGlowAlpha(&glow, rect, text, font, format, glow_colour, scale, dpi, &alpha, &coverage)) return;
  FillFromAlpha(&glow, alpha, glow_colour & kRgbMask);
  dll::GdipDrawImageRectRect(graphics, reinterpret_cast<GpImage*>(glow.bitmap()), rect.X - offset,
                             rect.Y - offset, static_cast<float>(width), static_cast<float>(height), 0, 0,
                             static_cast<float>(width), static_cast<float>(height), kUnitPixel, nullptr, nullptr,
                             nullptr);
}

namespace {

// Pixels whose centres lie inside `r`, as [left, right) x [top, bottom).
RECT PixelCentresInside(const GpRectF& r) {
  auto first = [](float edge) { return static_cast<LONG>(std::ceil(edge - 0.5f)); };
  return RECT{first(r.X), first(r.Y), first(r.X + r.Width), first(r.Y + r.Height)};
}

// The glow and the letters laid straight into the target's pixels, the letters
// drawn once for both. False when the pixels cannot be had; nothing is drawn then.
bool ComposeTextGlow(GpGraphics* graphics, const TextTarget& target, const GpRectF& rect, const wchar_t* text,
                     GpFont* font, GpStringFormat* format, ARGB colour, ARGB glow_colour, float scale,
                     const DpiScale& dpi) {
  UINT image_width = 0, image_height = 0;
  if (target.bitmap == nullptr || dll::GdipGetImageWidth(AsImage(target.bitmap), &image_width) != 0 ||
      dll::GdipGetImageHeight(AsImage(target.bitmap), &image_height) != 0) {
    return false;
  }
  const GlowPlacement glow_place = GlowPlacementFor(rect, dpi);
  const int width = glow_place.width, height = glow_place.height;
  const int origin_x = static_cast<int>(rect.X) - glow_place.offset;
  const int origin_y = static_cast<int>(rect.Y) - glow_place.offset;
  // The part of the surface that lands inside the clip and the image.
  const RECT clip = PixelCentresInside(target.clip);
  const LONG left = std::max<LONG>({clip.left, origin_x, 0});
  const LONG top = std::max<LONG>({clip.top, origin_y, 0});
  const LONG right = std::min<LONG>({clip.right, origin_x + width, static_cast<LONG>(image_width)});
  const LONG bottom = std::min<LONG>({clip.bottom, origin_y + height, static_cast<LONG>(image_height)});
  if (right <= left || bottom <= top) return true;  // nothing of it shows

  GlowSurface glow(width, height);
  std::vector<uint8_t> alpha, coverage;
  if (!SoftGlowAlpha(&glow, rect, text, font, format, glow_colour, scale, dpi, &alpha, &coverage)) return false;

  // What the graphics drew before must be in the pixels read here.
  dll::GdipFlush(graphics, kFlushIntentionSync);
  const GpRect locked = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                         static_cast<int>(bottom - top)};
  GpBitmapData data = {};
  if (dll::GdipBitmapLockBits(target.bitmap, &locked, kImageLockModeRead | kImageLockModeWrite,
                              kPixelFormat32bppARGB, &data) != 0) {
    return false;
  }
  const PlaneOnImage place = {static_cast<uint8_t*>(data.Scan0),
                              data.Stride,
                              width,
                              static_cast<int>(left - origin_x),
                              static_cast<int>(top - origin_y),
                              static_cast<int>(right - origin_x),
                              static_cast<int>(bottom - origin_y)};
  ComposeGlowAndLetters(place, alpha, coverage, glow_colour, colour);
  dll::GdipBitmapUnlockBits(target.bitmap, &data);
  return true;
}

}  // namespace

void DrawControlText(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font, ARGB colour,
                     GpStringFormat* format, int effect, ARGB glow_colour, const DpiScale& scale,
                     const TextTarget* target) {
  if (graphics == nullptr || text == nullptr) return;
  if (glow_colour == 0) {
    glow_colour = IsDarkArgb(colour) ? ArgbFromColor(kColourWhite, kAutoGlowAlphaOnDark, 1)
                                     : ArgbFromColor(kColourBlack, kAutoGlowAlphaOnLight, 1);
  }
  const GpRectF snapped = {std::trunc(rect.X), std::trunc(rect.Y), std::trunc(rect.Width), std::trunc(rect.Height)};
  const bool glows = effect == kEffectGlow || effect == kEffectHalo;
  if (glows && target != nullptr &&
      ComposeTextGlow(graphics, *target, snapped, text, font, format, colour, glow_colour,
                      effect == kEffectGlow ? kGlowScaleSoft : kGlowScaleSharp, scale)) {
    return;
  }
  if (effect == kEffectGlow) {
    DrawTextGlow(graphics, snapped, text, font, format, glow_colour, kGlowScaleSoft, scale);
  } else if (effect == kEffectHalo) {
    DrawTextGlow(graphics, snapped, text, font, format, glow_colour, kGlowScaleSharp, scale);
  }
  FillText(graphics, snapped, text, font, format, colour);
}

ByteSet Utf16FromGbk(const char* text) {
  if (text == nullptr || *text == 0) return ByteSet();
  ByteSet wide = ToWide(text, kCodePageGbk);
  size_t length = wide.size();
  // Drop the terminator the conversion includes.
  while (length >= sizeof(wchar_t) && wide.data()[length - 1] == 0 && wide.data()[length - 2] == 0) {
    length -= sizeof(wchar_t);
  }
  return ByteSet(wide.data(), length);
}

Text GbkFromUtf16(const ByteSetBlock* utf16) {
  const size_t length = ByteSetLength(utf16);
  if (length < sizeof(wchar_t)) return Text();
  return FromWideChars(reinterpret_cast<const wchar_t*>(ByteSetData(utf16)),
                       static_cast<int>(length / sizeof(wchar_t)), kCodePageGbk);
}

std::wstring WideString(const ByteSetBlock* utf16) {
  const size_t length = ByteSetLength(utf16) / sizeof(wchar_t);
  std::wstring out(length, L'\0');
  if (length > 0) std::memcpy(&out[0], ByteSetData(utf16), length * sizeof(wchar_t));
  return out;
}

std::wstring DisplayString(const ByteSetBlock* utf16) {
  std::wstring text = WideString(utf16);
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != L'\n') {
      out += L'\n';  // a lone CR breaks the line too
    }
  }
  return out;
}

}  // namespace quillet
