// Images from byte sets and the drawing primitives every window and control
// paints with. All work on a GDI+ graphics; every GDI+ object a primitive
// makes is deleted before it returns.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/value.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

constexpr float kFloatTolerance = 1e-7f;
constexpr int kSurfaceSmoothingMode = 4;      // SmoothingModeAntiAlias
constexpr int kSurfaceTextHint = 3;           // TextRenderingHintAntiAliasGridFit
constexpr int kPixelFormatArgb32 = 0x26200A;  // PixelFormat32bppARGB
constexpr int kInterpolationDefault = 0;
constexpr int kInterpolationHighQualityBicubic = 7;  // for bringing larger sources down
constexpr int kUnitWorld = 0;
constexpr int kUnitPixel = 2;
constexpr int kGradientHorizontal = 0;
constexpr int kGradientVertical = 1;
constexpr int kClipReplace = 0;
constexpr int kClipIntersect = 1;
constexpr int kDashSolid = 0;
constexpr int kDashDash = 1;

// Border styles.
constexpr int kBorderNone = 0;
constexpr int kBorderSunken = 1;
constexpr int kBorderRaised = 2;
constexpr int kBorderFlat = 3;
constexpr int kBorderDashed = 4;

// Loads an image; without keep_stream an independent 32bpp ARGB copy is
// returned and nothing else stays allocated.
GpImage* ImageFromBytes(const ByteSetBlock* data, bool add_png_signature, bool keep_stream,
                        HGLOBAL* global_memory = nullptr, IStream** stream = nullptr);
GpImage* ImageFromBytes(const void* data, size_t length, bool add_png_signature);
// The independent copy, always decoded here and now.
GpImage* DecodeImageBytes(const ByteSetBlock* data, bool add_png_signature);
uint32_t ImageWidth(GpImage* image);
uint32_t ImageHeight(GpImage* image);
void DisposeImage(GpImage* image);

// Clipping.
void ClipToRegion(GpGraphics* graphics, GpRegion* region, int mode);
void ClipToRect(GpGraphics* graphics, const GpRectF& rect, int mode);
void ResetClip(GpGraphics* graphics);
GpRectF VisibleClipBounds(GpGraphics* graphics);
// The smallest rectangle holding both.
GpRectF UnionOfRects(const GpRectF& a, const GpRectF& b);

// Images.
void DrawImageRect(GpGraphics* graphics, GpImage* image, const GpRectF& rect);
void DrawImageNatural(GpGraphics* graphics, GpImage* image, const GpRectF& rect, bool centred);
// Draws the image unscaled into `dest` with its alpha scaled by alpha / 255; the part of
// the image shown starts at (source_x, source_y).
void DrawImageAlpha(GpGraphics* graphics, GpImage* image, const GpRectF& dest, int alpha, float source_x = 0,
                    float source_y = 0);
void DrawNineGrid(GpGraphics* graphics, GpImage* image, const GpRectF& dest, const RECT& centre,
                  std::optional<int> alpha);

// Lines, outlines and solid fills.
void DrawLine(GpGraphics* graphics, ARGB colour, float width, float x1, float y1, float x2, float y2);
// The rectangle's outline inside its right and bottom edges.
void DrawOutline(GpGraphics* graphics, const GpRectF& rect, ARGB colour, int dash_style = kDashSolid,
                 float width = 1.0f);
void FillSolidRect(GpGraphics* graphics, const GpRectF& rect, ARGB colour);
void FillSolidPath(GpGraphics* graphics, GpPath* path, ARGB colour);

// Shapes.
GpPath* RoundRectPath(const GpRectF& rect, float diameter, int fill_mode = 0);
void DrawRoundRect(GpGraphics* graphics, const GpRectF& rect, float diameter, ARGB colour, int dash_style,
                   float width = 1.0f);
void FillGradientRect(GpGraphics* graphics, const GpRectF& rect, ARGB colour1, ARGB colour2,
                      int mode = kGradientVertical);
void DrawEdgeGlow(GpGraphics* graphics, GpRectF* rect, uint32_t colour, float size, float depth, bool top,
                  bool left, bool bottom, bool right);
void DrawBorder(GpGraphics* graphics, const GpRectF& rect, int64_t style, std::optional<ARGB> colour,
                float width = 1.0f);

// Regions.
HRGN RoundRectRegion(int width, int height, int inset, int diameter = 0);
GpRegion* GdiRegionToGdiplus(HRGN region);
void ApplyWindowRegion(HWND window, int width, int height, int inset, int diameter = 0);

}  // namespace quillet
