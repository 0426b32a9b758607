#include "ui/controls/text_drawing.h"

#include <cmath>
#include <cstring>

#include "runtime/program_dll_commands.h"
#include "ui/controls/control.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr int kGlowMargin = 7;         // the glow bitmap is this much larger than the text
constexpr int kGlowOffset = 4;         // and drawn this much up and left
constexpr int kCompositingHighQuality = 3;
constexpr int kInterpolationHighQualityBilinear = 6;
constexpr int kSampleCount = 9;
constexpr int kDarkSamplesNeeded = 5;  // more than four of nine
constexpr float kSampleFractions[3] = {0.2f, 0.5f, 0.8f};
// Positions of the five glow passes inside the glow bitmap.
constexpr float kGlowPasses[5][2] = {{5, 4}, {3, 4}, {4, 3}, {4, 5}, {4, 4}};

class ScopedImage {
 public:
  explicit ScopedImage(GpBitmap* bitmap) : bitmap_(bitmap) {}
  ~ScopedImage() {
    if (graphics_ != nullptr) dll::GdipDeleteGraphics(graphics_);
    if (bitmap_ != nullptr) dll::GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap_));
  }
  ScopedImage(const ScopedImage&) = delete;
  ScopedImage& operator=(const ScopedImage&) = delete;
  GpBitmap* bitmap() const { return bitmap_; }
  GpImage* image() const { return reinterpret_cast<GpImage*>(bitmap_); }
  GpGraphics* graphics() {
    if (graphics_ == nullptr && bitmap_ != nullptr) dll::GdipGetImageGraphicsContext(image(), &graphics_);
    return graphics_;
  }

 private:
  GpBitmap* bitmap_;
  GpGraphics* graphics_ = nullptr;
};

GpBitmap* NewArgbBitmap(int width, int height) {
  GpBitmap* bitmap = nullptr;
  if (width <= 0 || height <= 0) return nullptr;
  if (dll::GdipCreateBitmapFromScan0(width, height, 0, kPixelFormat32bppARGB, nullptr, &bitmap) != 0) return nullptr;
  return bitmap;
}

void FillText(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font, GpStringFormat* format,
              ARGB colour) {
  GpSolidFill* brush = nullptr;
  if (dll::GdipCreateSolidFill(colour, &brush) != 0) return;
  dll::GdipDrawString(graphics, text, -1, font, &rect, format, reinterpret_cast<GpBrush*>(brush));
  dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
}

}  // namespace

bool IsDarkColour(uint8_t red, uint8_t green, uint8_t blue) {
  return 0.299 * red + 0.587 * green + 0.114 * blue < kDarkLumaLimit;
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

void DrawTextGlow(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font,
                  GpStringFormat* format, ARGB glow_colour, float scale) {
  const int width = static_cast<int>(rect.Width) + kGlowMargin;
  const int height = static_cast<int>(rect.Height) + kGlowMargin;
  ScopedImage first(NewArgbBitmap(width, height));
  if (first.graphics() == nullptr) return;
  dll::GdipSetSmoothingMode(first.graphics(), kSmoothingAntiAlias);
  dll::GdipSetTextRenderingHint(first.graphics(), kTextHintAntiAliasGridFit);
  for (const auto& pass : kGlowPasses) {
    const GpRectF at = {pass[0], pass[1], rect.Width, rect.Height};
    FillText(first.graphics(), at, text, font, format, glow_colour);
  }
  const int small_width = static_cast<int>(width / scale);
  const int small_height = static_cast<int>(height / scale);
  ScopedImage second(NewArgbBitmap(small_width, small_height));
  if (second.graphics() == nullptr) return;
  dll::GdipSetSmoothingMode(second.graphics(), kSmoothingAntiAlias);
  dll::GdipSetCompositingQuality(second.graphics(), kCompositingHighQuality);
  dll::GdipSetInterpolationMode(second.graphics(), kInterpolationHighQualityBilinear);
  dll::GdipDrawImageRect(second.graphics(), first.image(), 0, 0, static_cast<float>(small_width),
                         static_cast<float>(small_height));
  dll::GdipDrawImageRectRect(graphics, second.image(), rect.X - kGlowOffset, rect.Y - kGlowOffset,
                             static_cast<float>(width), static_cast<float>(height), 0, 0,
                             static_cast<float>(small_width), static_cast<float>(small_height), kUnitPixel,
                             nullptr, nullptr, nullptr);
}

void DrawControlText(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font, ARGB colour,
                     GpStringFormat* format, int effect, ARGB glow_colour) {
  if (graphics == nullptr || text == nullptr) return;
  if (glow_colour == 0) {
    glow_colour = IsDarkArgb(colour) ? ArgbFromColor(kColourWhite, kAutoGlowAlphaOnDark, 1)
                                     : ArgbFromColor(kColourBlack, kAutoGlowAlphaOnLight, 1);
  }
  const GpRectF snapped = {std::trunc(rect.X), std::trunc(rect.Y), std::trunc(rect.Width), std::trunc(rect.Height)};
  if (effect == kEffectGlow) {
    DrawTextGlow(graphics, snapped, text, font, format, glow_colour, kGlowScaleSoft);
  } else if (effect == kEffectHalo) {
    DrawTextGlow(graphics, snapped, text, font, format, glow_colour, kGlowScaleSharp);
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

}  // namespace quillet
