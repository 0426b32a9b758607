// Text drawing shared by the label and the button: the optional glow or halo
// behind the letters, automatic black-or-white text, UTF-16 helpers.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "runtime/value.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

// Text effects.
constexpr int kEffectNone = 0;
constexpr int kEffectGlow = 3;   // soft glow
constexpr int kEffectHalo = 4;   // sharp halo
constexpr float kGlowScaleSoft = 3.0f;
constexpr float kGlowScaleSharp = 1.0f;

constexpr uint32_t kColourWhite = 0xFFFFFF;
constexpr uint32_t kColourBlack = 0x000000;
constexpr int kAutoGlowAlphaOnDark = 85;    // white glow behind dark text
constexpr int kAutoGlowAlphaOnLight = 75;   // black glow behind light text

// Luma weights in thousandths, so the darkness test is exact integer arithmetic:
// dark when 0.299 R + 0.587 G + 0.114 B < 192.
constexpr int kLumaWeightRed = 299, kLumaWeightGreen = 587, kLumaWeightBlue = 114;
constexpr int kDarkLumaLimitThousandths = 192000;
bool IsDarkColour(uint8_t red, uint8_t green, uint8_t blue);
bool IsDarkArgb(ARGB colour);

// Whether the host background behind `bounds` (host client coordinates) is dark:
// nine samples of the background image, or the base colour without one.
bool BackgroundIsDark(HWND host_window, const GpRectF& bounds);
// White or black with the alpha of `text_colour`, chosen against the background.
ARGB AutoContrastColour(HWND host_window, const GpRectF& bounds, ARGB text_colour);

// The 32-bit ARGB bitmap a graphics draws on untransformed, and its clip:
// with it, a glow and its letters are laid into the pixels from one drawing
// of the letters instead of drawing them twice and the glow as an image.
struct TextTarget {
  GpBitmap* bitmap;
  GpRectF clip;
};

// Draws `text` with an optional glow (kEffectGlow) or halo (kEffectHalo); glow colour 0 = automatic.
// The glow's reach and softness are logical pixels, scaled by `scale`.
void DrawControlText(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font, ARGB colour,
                     GpStringFormat* format, int effect, ARGB glow_colour, const DpiScale& scale = DpiScale(),
                     const TextTarget* target = nullptr);
// A 32-bit ARGB bitmap over pixels this object owns, readable while GDI+ draws into it.
class GlowSurface {
 public:
  GlowSurface(int width, int height);
  ~GlowSurface();
  GlowSurface(const GlowSurface&) = delete;
  GlowSurface& operator=(const GlowSurface&) = delete;
  GpBitmap* bitmap() const { return bitmap_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  std::vector<ARGB>& pixels() { return pixels_; }

 private:
  int width_, height_;
  std::vector<ARGB> pixels_;
  OwnedBitmap bitmap_;
};

// The glow before blurring: the letters in `glow_colour` laid five times, a pixel apart,
// into `surface` (cleared, at least the text rectangle plus the glow margin).
bool DrawGlowPasses(GlowSurface* surface, const GpRectF& rect, const wchar_t* text, GpFont* font,
                    GpStringFormat* format, ARGB glow_colour, const DpiScale& dpi = DpiScale());
void DrawTextGlow(GpGraphics* graphics, const GpRectF& rect, const wchar_t* text, GpFont* font,
                  GpStringFormat* format, ARGB glow_colour, float scale, const DpiScale& dpi = DpiScale());

// GBK Text <-> UTF-16 Byte set without terminator.
ByteSet Utf16FromGbk(const char* text);
Text GbkFromUtf16(const ByteSetBlock* utf16);
// Zero-terminated copy of UTF-16 bytes, for the wide-character functions.
std::wstring WideString(const ByteSetBlock* utf16);
// The same as drawn and measured: every line break (CR LF, CR or LF) is one
// LF, since a renderer may draw a CR as a missing-glyph box.
std::wstring DisplayString(const ByteSetBlock* utf16);

}  // namespace quillet
