#include "ui/core/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/program_dll_commands.h"
#include "ui/core/decode_ahead.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit.h"

namespace quillet {

namespace {

constexpr unsigned char kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr UINT kGlobalMoveableZeroed = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr int kColorAdjustTypeBitmap = 1;
constexpr int kColorMatrixFlagsDefault = 0;
constexpr int kWrapModeTileFlipXY = 3;
constexpr int kFillModeAlternate = 0;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kOpaqueAlpha = 255;
constexpr int kSunkenShadeAlpha = 160;
constexpr int kRaisedShadeAlpha = 168;
constexpr int kHighlightAlpha = 245;
constexpr int kDashedDefaultAlpha = 120;
constexpr uint32_t kFlatDefaultGrey = RGB(100, 100, 100);

// Alpha-scaling colour matrix: identity with alpha / 255 in the alpha row.
void AlphaMatrix(int alpha, float matrix[25]) {
  for (int i = 0; i < 25; ++i) matrix[i] = 0.0f;
  matrix[0] = matrix[6] = matrix[12] = matrix[24] = 1.0f;
  matrix[18] = static_cast<float>(alpha) / 255.0f;
}

OwnedImageAttributes AlphaAttributes(int alpha) {
  OwnedImageAttributes attributes;
  if (dll::GdipCreateImageAttributes(Receive(attributes)) != 0) return nullptr;
  float matrix[25];
  AlphaMatrix(alpha, matrix);
  dll::GdipSetImageAttributesColorMatrix(attributes.get(), kColorAdjustTypeBitmap, TRUE, matrix, nullptr,
                                         kColorMatrixFlagsDefault);
  return attributes;
}

OwnedPen MakePen(ARGB colour, float width, int dash_style) {
  OwnedPen pen;
  if (dll::GdipCreatePen1(colour, width, kUnitWorld, Receive(pen)) != 0) return nullptr;
  if (dash_style != kDashSolid) dll::GdipSetPenDashStyle(pen.get(), dash_style);
  return pen;
}

OwnedSolidFill MakeSolidFill(ARGB colour) {
  OwnedSolidFill brush;
  if (dll::GdipCreateSolidFill(colour, Receive(brush)) != 0) return nullptr;
  return brush;
}

}  // namespace

void DrawLine(GpGraphics* graphics, ARGB colour, float width, float x1, float y1, float x2, float y2) {
  if (OwnedPen pen = MakePen(colour, width, kDashSolid)) dll::GdipDrawLine(graphics, pen.get(), x1, y1, x2, y2);
}

void DrawOutline(GpGraphics* graphics, const GpRectF& r, ARGB colour, int dash_style, float width) {
  if (OwnedPen pen = MakePen(colour, width, dash_style)) {
    dll::GdipDrawRectangle(graphics, pen.get(), r.X, r.Y, r.Width - 1, r.Height - 1);
  }
}

void FillSolidRect(GpGraphics* graphics, const GpRectF& rect, ARGB colour) {
  if (OwnedSolidFill brush = MakeSolidFill(colour)) {
    dll::GdipFillRectangle(graphics, AsBrush(brush), rect.X, rect.Y, rect.Width, rect.Height);
  }
}

void FillSolidPath(GpGraphics* graphics, GpPath* path, ARGB colour) {
  if (OwnedSolidFill brush = MakeSolidFill(colour)) dll::GdipFillPath(graphics, AsBrush(brush), path);
}

namespace {

GpImage* LoadImageFromBytes(const ByteSetBlock* data, bool add_png_signature, bool keep_stream,
                            HGLOBAL* global_memory, IStream** stream_out) {
  size_t length = ByteSetLength(data);
  if (length == 0) return nullptr;
  size_t total = length + (add_png_signature ? sizeof(kPngSignature) : 0);
  HGLOBAL memory = dll::GlobalAlloc(kGlobalMoveableZeroed, total);
  if (!memory) return nullptr;
  unsigned char* bytes = static_cast<unsigned char*>(dll::GlobalLock(memory));
  if (!bytes) {
    dll::GlobalFree(memory);
    return nullptr;
  }
  size_t at = 0;
  if (add_png_signature) {
    std::memcpy(bytes, kPngSignature, sizeof(kPngSignature));
    at = sizeof(kPngSignature);
  }
  std::memcpy(bytes + at, ByteSetData(data), length);
  dll::GlobalUnlock(memory);

  IStream* stream = nullptr;
  if (dll::CreateStreamOnHGlobal(memory, FALSE, &stream) != S_OK || !stream) {
    dll::GlobalFree(memory);
    return nullptr;
  }
  GpImage* image = nullptr;
  if (dll::GdipLoadImageFromStream(stream, &image) != 0) image = nullptr;
  if (image && keep_stream) {
    if (global_memory) *global_memory = memory;
    if (stream_out) *stream_out = stream;
    return image;
  }
  GpImage* copy = nullptr;
  if (image) {
    OwnedImage loaded(image);
    UINT width = ImageWidth(image), height = ImageHeight(image);
    OwnedBitmap bitmap;
    const bool made = dll::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                                     kPixelFormatArgb32, nullptr, Receive(bitmap)) == 0;
    OwnedGraphics graphics;
    if (made && dll::GdipGetImageGraphicsContext(AsImage(bitmap.get()), Receive(graphics)) == 0) {
      dll::GdipDrawImageRect(graphics.get(), image, 0, 0, static_cast<float>(width), static_cast<float>(height));
      graphics.reset();  // flushes the drawing into the bitmap
      copy = AsImage(bitmap.release());  // the caller owns the copy
    }
  }
  stream->Release();
  dll::GlobalFree(memory);
  return copy;
}

}  // namespace

GpImage* DecodeImageBytes(const ByteSetBlock* data, bool add_png_signature) {
  return LoadImageFromBytes(data, add_png_signature, false, nullptr, nullptr);
}

GpImage* ImageFromBytes(const ByteSetBlock* data, bool add_png_signature, bool keep_stream, HGLOBAL* global_memory,
                        IStream** stream_out) {
  GpImage* ready = nullptr;
  if (!keep_stream && TakeDecodedAhead(data, add_png_signature, &ready) && ready != nullptr) return ready;
  return LoadImageFromBytes(data, add_png_signature, keep_stream, global_memory, stream_out);
}

GpImage* ImageFromBytes(const void* data, size_t length, bool add_png_signature) {
  ByteSet bytes(data, length);
  return ImageFromBytes(bytes.get(), add_png_signature, false);
}

uint32_t ImageWidth(GpImage* image) {
  UINT width = 0;
  if (image) dll::GdipGetImageWidth(image, &width);
  return width;
}

uint32_t ImageHeight(GpImage* image) {
  UINT height = 0;
  if (image) dll::GdipGetImageHeight(image, &height);
  return height;
}

void DisposeImage(GpImage* image) { OwnedImage owned(image); }

void ClipToRegion(GpGraphics* graphics, GpRegion* region, int mode) {
  dll::GdipSetClipRegion(graphics, region, mode);
}

void ClipToRect(GpGraphics* graphics, const GpRectF& rect, int mode) {
  dll::GdipSetClipRect(graphics, rect.X, rect.Y, rect.Width, rect.Height, mode);
}

void ResetClip(GpGraphics* graphics) { dll::GdipResetClip(graphics); }

GpRectF VisibleClipBounds(GpGraphics* graphics) {
  GpRectF bounds = {0, 0, 0, 0};
  dll::GdipGetVisibleClipBounds(graphics, &bounds);
  return bounds;
}

GpRectF UnionOfRects(const GpRectF& a, const GpRectF& b) {
  const float left = std::min(a.X, b.X), top = std::min(a.Y, b.Y);
  const float right = std::max(a.X + a.Width, b.X + b.Width), bottom = std::max(a.Y + a.Height, b.Y + b.Height);
  return GpRectF{left, top, right - left, bottom - top};
}

void DrawImageRect(GpGraphics* graphics, GpImage* image, const GpRectF& rect) {
  dll::GdipDrawImageRect(graphics, image, rect.X, rect.Y, rect.Width, rect.Height);
}

void DrawImageNatural(GpGraphics* graphics, GpImage* image, const GpRectF& rect, bool centred) {
  float width = static_cast<float>(ImageWidth(image));
  float height = static_cast<float>(ImageHeight(image));
  float x = rect.X, y = rect.Y;
  if (centred) {
    x = rect.X - (width - rect.Width) / 2;
    y = rect.Y - (height - rect.Height) / 2;
  }
  dll::GdipDrawImageRect(graphics, image, std::round(x), std::round(y), width, height);
}

void DrawImageAlpha(GpGraphics* graphics, GpImage* image, const GpRectF& dest, int alpha, float source_x,
                    float source_y) {
  OwnedImageAttributes attributes;
  // An identity colour matrix changes nothing but sends every pixel through the slow path.
  if (alpha != kOpaqueAlpha) {
    attributes = AlphaAttributes(alpha);
    if (!attributes) return;
  }
  dll::GdipDrawImageRectRect(graphics, image, dest.X, dest.Y, dest.Width, dest.Height, source_x, source_y,
                             dest.Width, dest.Height, kUnitPixel, attributes.get(), nullptr, nullptr);
}

GpPath* RoundRectPath(const GpRectF& rect, float d, int fill_mode) {
  GpPath* path = nullptr;
  if (dll::GdipCreatePath(fill_mode, &path) != 0) return nullptr;
  float right = rect.X + rect.Width - d - 1;
  float bottom = rect.Y + rect.Height - d - 1;
  dll::GdipAddPathArc(path, rect.X, rect.Y, d, d, 180, 90);
  dll::GdipAddPathArc(path, right, rect.Y, d, d, 270, 90);
  dll::GdipAddPathArc(path, right, bottom, d, d, 0, 90);
  dll::GdipAddPathArc(path, rect.X, bottom, d, d, 90, 90);
  dll::GdipClosePathFigure(path);
  return path;
}

void DrawRoundRect(GpGraphics* graphics, const GpRectF& rect, float diameter, ARGB colour, int dash_style,
                   float width) {
  OwnedPath path(RoundRectPath(rect, diameter, kFillModeAlternate));
  if (!path) return;
  if (OwnedPen pen = MakePen(colour, width, dash_style)) dll::GdipDrawPath(graphics, pen.get(), path.get());
}

void FillGradientRect(GpGraphics* graphics, const GpRectF& rect, ARGB colour1, ARGB colour2, int mode) {
  OwnedLineGradient brush;
  if (dll::GdipCreateLineBrushFromRect(&rect, colour1, colour2, mode, kWrapModeTileFlipXY, Receive(brush)) != 0) {
    return;
  }
  dll::GdipFillRectangle(graphics, AsBrush(brush), rect.X, rect.Y, rect.Width - 1, rect.Height - 1);
}

void DrawEdgeGlow(GpGraphics* graphics, GpRectF* rect, uint32_t colour, float size, float depth, bool top,
                  bool left, bool bottom, bool right) {
  rect->X += size;
  rect->Y += size;
  const float x = rect->X, y = rect->Y, w = rect->Width, h = rect->Height;
  const float th = w > depth ? depth : w / 2;
  const float tv = h > depth ? depth : h / 2;
  const ARGB solid = ArgbFromColor(colour, 255, 1);
  const ARGB clear = ArgbFromColor(colour, 0, 1);
  if (top) FillGradientRect(graphics, GpRectF{x - size, y - size, w, tv}, solid, clear, kGradientVertical);
  if (left) FillGradientRect(graphics, GpRectF{x - size, y - size, th, h}, solid, clear, kGradientHorizontal);
  if (bottom) FillGradientRect(graphics, GpRectF{x, y + h - tv, w, tv + 1}, clear, solid, kGradientVertical);
  if (right) FillGradientRect(graphics, GpRectF{x + w - th, y, th + 1, h}, clear, solid, kGradientHorizontal);
}

void DrawBorder(GpGraphics* graphics, const GpRectF& r, int64_t style, std::optional<ARGB> colour, float width) {
  const float x = r.X, y = r.Y, right = r.X + r.Width - 1, bottom = r.Y + r.Height - 1;
  switch (style) {
    case kBorderNone:
      return;
    case kBorderSunken: {
      ARGB shade = ArgbFromColor(kBlack, kSunkenShadeAlpha, 1);
      ARGB light = ArgbFromColor(kWhite, kHighlightAlpha, 1);
      DrawLine(graphics, shade, width, x, y, right, y);
      DrawLine(graphics, shade, width, x, y, x, bottom);
      DrawLine(graphics, light, width / 2, x, bottom, right, bottom);
      DrawLine(graphics, light, width / 2, right, y, right, bottom);
      return;
    }
    case kBorderRaised: {
      ARGB light = ArgbFromColor(kWhite, kHighlightAlpha, 1);
      ARGB shade = ArgbFromColor(kBlack, kRaisedShadeAlpha, 1);
      DrawLine(graphics, light, width / 2, x, y, r.X + r.Width - 2, y);
      DrawLine(graphics, light, width / 2, x, y, x, r.Y + r.Height - 2);
      DrawLine(graphics, shade, width, x, bottom, right, bottom);
      DrawLine(graphics, shade, width, right, y, right, r.Y + r.Height - 2);
      return;
    }
    case kBorderFlat:
      DrawOutline(graphics, r, colour ? *colour : ArgbFromColor(kFlatDefaultGrey, 255, 1), kDashSolid, width);
      return;
    case kBorderDashed:
      DrawOutline(graphics, r, colour ? *colour : ArgbFromColor(kBlack, kDashedDefaultAlpha, 1), kDashDash, width);
      return;
    default:
      DrawOutline(graphics, r, static_cast<ARGB>(style), kDashSolid, width);
      return;
  }
}

void DrawNineGrid(GpGraphics* graphics, GpImage* image, const GpRectF& dest, const RECT& centre,
                  std::optional<int> alpha) {
  if (!graphics || !image) return;
  const float cx = static_cast<float>(centre.left), cy = static_cast<float>(centre.top);
  const float cw = static_cast<float>(centre.right - centre.left);
  const float ch = static_cast<float>(centre.bottom - centre.top);
  const float iw = static_cast<float>(ImageWidth(image)), ih = static_cast<float>(ImageHeight(image));
  const float l = cx, t = cy, r = iw - cx - cw, b = ih - cy - ch;
  const float dx = dest.X, dy = dest.Y, dw = dest.Width, dh = dest.Height;
  const float inner_w = dw - l - r, inner_h = dh - t - b;
  OwnedImageAttributes attributes = alpha ? AlphaAttributes(*alpha) : nullptr;
  struct Part {
    GpRectF to, from;
  };
  const Part parts[9] = {
      {{dx, dy, l, t}, {0, 0, l, t}},
      {{dx + l, dy, inner_w, t}, {cx, 0, cw, t}},
      {{dx + dw - r, dy, r, t}, {iw - r, 0, r, t}},
      {{dx, dy + t, l, inner_h}, {0, cy, l, ch}},
      {{dx + l, dy + t, inner_w, inner_h}, {cx, cy, cw, ch}},
      {{dx + dw - r, dy + t, r, inner_h}, {iw - r, cy, r, ch}},
      {{dx, dy + dh - b, l, b}, {0, ih - b, l, b}},
      {{dx + l, dy + dh - b, inner_w, b}, {cx, ih - b, cw, b}},
      {{dx + dw - r, dy + dh - b, r, b}, {iw - r, ih - b, r, b}},
  };
  for (const Part& p : parts) {
    dll::GdipDrawImageRectRect(graphics, image, p.to.X, p.to.Y, p.to.Width, p.to.Height, p.from.X, p.from.Y,
                               p.from.Width, p.from.Height, kUnitPixel, attributes.get(), nullptr, nullptr);
  }
}

HRGN RoundRectRegion(int width, int height, int inset, int diameter) {
  return dll::CreateRoundRectRgn(inset, inset, width - inset + 1, height - inset + 1, diameter, diameter);
}

GpRegion* GdiRegionToGdiplus(HRGN region) {
  GpRegion* result = nullptr;
  if (dll::GdipCreateRegionHrgn(region, &result) != 0) return nullptr;
  return result;
}

void ApplyWindowRegion(HWND window, int width, int height, int inset, int diameter) {
  if (dll::IsZoomed(window)) inset -= 1;
  OwnedGdiRegion region(
      dll::CreateRoundRectRgn(inset, inset, width - inset + 1, height - inset + 1, diameter, diameter));
  // The system owns a region it accepted.
  if (dll::SetWindowRgn(window, region.get(), TRUE)) region.release();
}

}  // namespace quillet
