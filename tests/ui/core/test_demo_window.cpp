// A demo host window as the widget uses it: a background picture, frame flags
// 1024 | 16 | 4, alpha 190. It checks the composed frame; with
// QUILLET_DEMO_OUT set it also writes the frame composited over a checkerboard
// to that PNG, and with QUILLET_DEMO_HOLD_MS it stays on screen that long so a
// screenshot can be taken (scripts/ui-demo.sh does both).
#include <cstdlib>
#include <string>

#include "core_test_support.h"

namespace quillet::core_tests {
namespace {

using GdipSaveToFile = GpStatus(WINAPI*)(GpImage*, const wchar_t*, const CLSID*, const void*);
using GdipSaveToStream = GpStatus(WINAPI*)(GpImage*, IStream*, const CLSID*, const void*);
using GdipFromHicon = GpStatus(WINAPI*)(HICON, GpBitmap**);
using GdipDrawStringFn = GpStatus(WINAPI*)(GpGraphics*, const wchar_t*, INT, const GpFont*, const GpRectF*,
                                           const GpStringFormat*, const GpBrush*);
using GdipCreateSolidFillFn = GpStatus(WINAPI*)(ARGB, GpSolidFill**);
using GdipFillEllipseFn = GpStatus(WINAPI*)(GpGraphics*, GpBrush*, float, float, float, float);

const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

std::string EncodePng(GpImage* image) {
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  GdipExtra<GdipSaveToStream>("GdipSaveImageToStream")(image, stream, &kPngEncoder, nullptr);
  HGLOBAL memory = nullptr;
  GetHGlobalFromStream(stream, &memory);
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::string bytes(static_cast<const char*>(GlobalLock(memory)), static_cast<size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);
  stream->Release();
  return bytes;
}

// The background: a sky-to-dusk gradient with a few soft discs.
std::string DemoPicture(int width, int height) {
  GpBitmap* bitmap = SolidBitmap(width, height, 0xFF000000);
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(bitmap), &g);
  dll::GdipSetSmoothingMode(g, kSurfaceSmoothingMode);
  FillGradientRect(g, GpRectF{0, 0, static_cast<float>(width + 1), static_cast<float>(height + 1)}, 0xFF3A7BD5,
                   0xFF6A3093, kGradientVertical);
  const struct {
    float x, y, r;
    ARGB c;
  } discs[] = {{60, 50, 40, 0x40FFFFFF}, {250, 120, 70, 0x30FFD27F}, {330, 40, 25, 0x50FFFFFF}};
  for (const auto& d : discs) {
    GpSolidFill* brush = nullptr;
    GdipExtra<GdipCreateSolidFillFn>("GdipCreateSolidFill")(d.c, &brush);
    GdipExtra<GdipFillEllipseFn>("GdipFillEllipse")(g, reinterpret_cast<GpBrush*>(brush), d.x - d.r, d.y - d.r,
                                                    2 * d.r, 2 * d.r);
    dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
  }
  dll::GdipDeleteGraphics(g);
  std::string png = EncodePng(reinterpret_cast<GpImage*>(bitmap));
  dll::GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap));
  return png;
}

// Frame controls for the demo, drawn with the toolkit's own assets: the
// button strip's normal cells, the window icon, the title in the default font.
class DemoControl : public ProbeControl {
 public:
  DemoControl(HostWindow* host, GpRectF bounds, int kind) : ProbeControl(host, bounds, 0, nullptr, kind) {}
  GpGraphics* Canvas() {
    GpGraphics* g = nullptr;
    dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(BackBufferBitmap()), &g);
    dll::GdipSetSmoothingMode(g, kSurfaceSmoothingMode);
    dll::GdipSetTextRenderingHint(g, kSurfaceTextHint);
    return g;
  }
};

std::unique_ptr<HostedControl> DemoIcon(HWND window, const GpRectF& bounds, HICON icon) {
  auto c = std::make_unique<DemoControl>(HostFromWindow(window), bounds, kKindPicture);
  GpBitmap* picture = nullptr;
  if (icon && GdipExtra<GdipFromHicon>("GdipCreateBitmapFromHICON")(icon, &picture) == 0) {
    GpGraphics* g = c->Canvas();
    DrawImageRect(g, reinterpret_cast<GpImage*>(picture), GpRectF{0, 0, bounds.Width, bounds.Height});
    dll::GdipDeleteGraphics(g);
    dll::GdipDisposeImage(reinterpret_cast<GpImage*>(picture));
  }
  return c;
}

std::unique_ptr<HostedControl> DemoTitle(HWND window, const GpRectF& bounds, const char* title, ARGB colour) {
  GpRectF b = {bounds.X, bounds.Y, 300, bounds.Height};
  auto c = std::make_unique<DemoControl>(HostFromWindow(window), b, kKindLabel);
  c->focusable = false;
  GpGraphics* g = c->Canvas();
  GpSolidFill* brush = nullptr;
  GdipExtra<GdipCreateSolidFillFn>("GdipCreateSolidFill")(colour, &brush);
  ByteSet wide = ToWide(title);
  GpRectF layout = {0, 3, b.Width, b.Height};
  GdipExtra<GdipDrawStringFn>("GdipDrawString")(g, WideData(wide), -1, Toolkit().default_font, &layout, nullptr,
                                                reinterpret_cast<GpBrush*>(brush));
  dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
  dll::GdipDeleteGraphics(g);
  return c;
}

std::unique_ptr<HostedControl> DemoButton(HWND window, int type, const GpRectF& bounds) {
  auto c = std::make_unique<DemoControl>(HostFromWindow(window), bounds, kKindTitleBarButton);
  c->focusable = false;
  const int cell_x = type == kFrameClose ? 0 : type == kFrameMaximize ? 120 : type == kFrameMinimize ? 294 : 381;
  const float cell_w = type == kFrameClose ? 39.0f : 28.0f;
  GpGraphics* g = c->Canvas();
  dll::GdipDrawImageRectRect(g, reinterpret_cast<GpImage*>(SystemButtonStripFor(DpiScale())), 0, 0, cell_w, 19,
                             static_cast<float>(cell_x), 0, cell_w, 19, kUnitPixel, nullptr, nullptr, nullptr);
  dll::GdipDeleteGraphics(g);
  return c;
}

TEST(DemoWindow, FramedTranslucentWindowWithShadow) {
  StartToolkitOnce();
  SetFrameControlFactory(FrameControlFactory{&DemoIcon, &DemoTitle, &DemoButton, nullptr});
  constexpr int kW = 380, kH = 250;
  HWND window = MakeWindow(120, 100, kW, kH, WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX, L"Quillet 演示");
  // The test exe carries no resources: the program icon comes from its file.
  ByteSet icon_path = ToWide(QUILLET_SOURCE_DIR "/assets/quillet.ico");
  HICON icon = static_cast<HICON>(LoadImageW(nullptr, WideData(icon_path), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  std::string png = DemoPicture(370, 240);
  ByteSet picture(png.data(), png.size());
  HostWindow host;
  AttachOptions o;
  o.window = window;
  o.picture = picture.get();
  o.picture_given = true;
  o.frame_flags = kFrameFromStyle | kFrameMinimize | kFrameClose;
  o.alpha = 190;
  o.image_placement = kPlaceTopLeft;
  o.background_mode = kBackgroundDefault;
  o.animate_first_show = 1;
  o.resizable = 0;
  ASSERT_TRUE(host.Attach(o));
  host.Show(1);
  PumpFor(200);
  EXPECT_EQ(host.SystemButtons().size(), 2u);
  const HBITMAP frame = host.FrameSurface().dib;
  EXPECT_NEAR(A(DibPixel(frame, 100, 150)), 190, 3) << "the picture at the window alpha";
  EXPECT_NEAR(A(DibPixel(frame, 5, 120)), 45, 3) << "innermost shadow ring";
  EXPECT_EQ(A(DibPixel(frame, 0, 0)), 0);

  if (const char* out = std::getenv("QUILLET_DEMO_OUT")) {
    // Composite over a checkerboard so the translucency shows in the picture.
    constexpr int kMargin = 20;
    const int bw = kW + 2 * kMargin, bh = kH + 2 * kMargin;
    BackBuffer board;
    CreateSurface(nullptr, nullptr, bw, bh, &board);
    dll::GdipGraphicsClear(board.graphics, 0xFFFFFFFF);
    GpSolidFill* grey = nullptr;
    GdipExtra<GdipCreateSolidFillFn>("GdipCreateSolidFill")(0xFFCCCCCC, &grey);
    for (int y = 0; y < bh; y += 16)
      for (int x = (y / 16 % 2) * 16; x < bw; x += 32)
        dll::GdipFillRectangle(board.graphics, reinterpret_cast<GpBrush*>(grey), static_cast<float>(x),
                               static_cast<float>(y), 17, 17);
    dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(grey));
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(board.dc, kMargin, kMargin, kW, kH, host.FrameDC(), 0, 0, kW, kH, blend);
    GpBitmap* shot = nullptr;
    dll::GdipCreateBitmapFromHBITMAP(board.dib, nullptr, &shot);
    ByteSet path = ToWide(out);
    EXPECT_EQ(GdipExtra<GdipSaveToFile>("GdipSaveImageToFile")(reinterpret_cast<GpImage*>(shot), WideData(path),
                                                                &kPngEncoder, nullptr),
              0);
    dll::GdipDisposeImage(reinterpret_cast<GpImage*>(shot));
    ReleaseSurface(nullptr, &board);
  }
  if (const char* hold = std::getenv("QUILLET_DEMO_HOLD_MS")) PumpFor(std::atoi(hold));
  DestroyWindow(window);
  if (icon) DestroyIcon(icon);
  SetFrameControlFactory(FrameControlFactory{});
}

}  // namespace
}  // namespace quillet::core_tests
