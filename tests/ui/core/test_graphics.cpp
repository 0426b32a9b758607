// The graphics layer: colours, text conversion, fonts, images, back buffers,
// style bits, drawing primitives read back pixel by pixel.
#include <gmock/gmock.h>

#include <cmath>
#include <cstring>

#include "core_test_support.h"
#include "ui/core/decode_ahead.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/frame_background.h"
#include "ui/core/frame_blend.h"
#include "ui/core/picture_scaling.h"
#include "ui/core/round_rect_stroke.h"
#include "support/error_box_capture.h"
#include "support/gbk_text.h"
#include "runtime/runtime_error.h"

namespace quillet::core_tests {
namespace {

using testing_support::Utf8ToGbk;

class GraphicsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
  void SetUp() override {
    CreateSurface(nullptr, nullptr, kW, kH, &surface_);
    dll::GdipGraphicsClear(surface_.graphics, 0);
  }
  void TearDown() override { ReleaseSurface(nullptr, &surface_); }
  uint32_t At(int x, int y) { return DibPixel(surface_.dib, x, y); }

  static constexpr int kW = 200, kH = 160;
  BackBuffer surface_;
};

TEST(ArgbFromColorTest, OpaqueBecomes254AndChannelsSwap) {
  EXPECT_EQ(ArgbFromColor(255, 255, 1), 0xFEFF0000u);
  EXPECT_EQ(ArgbFromColor(255, 200, 0), 0xFEFF0000u);
  EXPECT_EQ(ArgbFromColor(0x00336699, 128, 1), 0x80996633u);
  EXPECT_EQ(ArgbFromColor(0x00FFFFFF, 0, 1), 0x00FFFFFFu);
  EXPECT_EQ(ArgbFromColor(0x00010203, 0x1FF, 1), 0xFF030201u);  // only the low 8 bits of alpha
}

// Windows left of or above the primary display have negative coordinates:
// they must round like positive ones, or a window there shifts by a pixel.
TEST(DpiScaleTest, RoundsHalvesAwayFromZeroOnBothSidesOfTheOrigin) {
  const DpiScale at120(120), at144(144);
  EXPECT_EQ(at144.Int(50), 75);
  EXPECT_EQ(at144.Int(-50), -75);
  EXPECT_EQ(at120.Int(2), 3);    // 2.5
  EXPECT_EQ(at120.Int(-2), -3);  // -2.5
  EXPECT_EQ(at120.Int(1), 1);    // 1.25
  EXPECT_EQ(at120.Int(-1), -1);
  EXPECT_EQ(at144.ToLogical(75), 50);
  EXPECT_EQ(at144.ToLogical(-75), -50);
  EXPECT_FLOAT_EQ(at144.Float(13.0f), 19.5f) << "font sizes keep their fraction";
  EXPECT_FLOAT_EQ(at144.Whole(7.0f), 11.0f);
}

TEST(DpiScaleTest, RectanglesKeepTouchingNeighboursAndStayOnWholePixels) {
  const DpiScale at120(120);
  // Two controls side by side: 10..27 and 27..40. Scaling position and width
  // separately would leave a gap or an overlap at 27 * 1.25 = 33.75.
  const GpRectF left = at120.Rect(GpRectF{10, 0, 17, 10});
  const GpRectF right = at120.Rect(GpRectF{27, 0, 13, 10});
  EXPECT_FLOAT_EQ(left.X + left.Width, right.X);
  EXPECT_FLOAT_EQ(left.X, std::trunc(left.X));
  EXPECT_FLOAT_EQ(left.Width, std::trunc(left.Width));
  const RECT window = DpiScale(144).Rect(RECT{50, 50, 430, 300});
  EXPECT_EQ(window.left, 75);
  EXPECT_EQ(window.right - window.left, 570);
  EXPECT_EQ(window.bottom - window.top, 375);
}

TEST(DpiScaleTest, ANonsenseDpiMeansLogicalPixels) {
  EXPECT_TRUE(DpiScale(0).IsUnscaled());
  EXPECT_TRUE(DpiScale(-144).IsUnscaled());
  EXPECT_EQ(DpiScale(0).Int(380), 380);
}

TEST_F(GraphicsTest, TheScaleOfAWindowIsTheDisplaysDpi) {
  // The test prefix runs at 96 DPI; a prefix at another DPI answers that.
  HDC screen = GetDC(nullptr);
  const int screen_dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(DpiScale::ForScreen().Dpi(), screen_dpi);
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(DpiScale::ForWindow(window).Dpi(), screen_dpi);
  DestroyWindow(window);
  EXPECT_EQ(DpiScale::ForWindow(nullptr).Dpi(), screen_dpi) << "no window: the screen's";
}

TEST_F(GraphicsTest, WideConversionRoundTripsGbk) {
  std::string gbk = Utf8ToGbk(u8"获取一句话");
  ByteSet wide = ToWide(gbk.c_str());
  ASSERT_EQ(wide.size(), 6u * 2);  // five characters and the terminator
  EXPECT_EQ(std::wstring(WideData(wide)), L"获取一句话");
  Text back = FromWide(wide.get());
  EXPECT_EQ(std::string(back.c_str()), gbk);
  EXPECT_EQ(ToWide("").size(), 2u);
  EXPECT_TRUE(FromWide(nullptr).empty());
  // Code page 65001 is honoured when given.
  ByteSet utf8 = ToWide(u8"é", CP_UTF8);
  EXPECT_EQ(std::wstring(WideData(utf8)), L"é");
}

TEST_F(GraphicsTest, FontsFallBackToTheDefaultFamily) {
  ASSERT_NE(Toolkit().default_font, nullptr);
  Text family = FontFamilyName(Toolkit().default_font);
  EXPECT_FALSE(family.empty());
  GpFont* fallback = CreateFontByName("No Such Face 123", 14.0f, 1);
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(std::string(FontFamilyName(fallback).c_str()), std::string(family.c_str()));
  dll::GdipDeleteFont(fallback);
  // The caption face is "Tahoma" replaced, or a face GDI+ can make, else 宋体.
  for (int kind = 1; kind <= 3; ++kind) {
    Text face = SystemFontFace(kind);
    EXPECT_FALSE(face.empty());
    EXPECT_NE(std::string(face.c_str()), "Tahoma");
    GpFont* font = CreateFontByName(face.c_str(), 12.0f, 0);
    EXPECT_NE(font, nullptr);
    if (font) dll::GdipDeleteFont(font);
  }
}

// A system without the faces the toolkit asks for (a Wine prefix without the
// 宋体 replacement, whose caption face GDI+ cannot make either).
constexpr GpStatus kFontFamilyNotFound = 14;
GpStatus NoFamilyByName(const wchar_t*, GpFontFamily** family) {
  *family = nullptr;
  return kFontFamilyNotFound;
}
GpStatus NoGenericFamily(GpFontFamily** family) {
  *family = nullptr;
  return kFontFamilyNotFound;
}
// Wine's GDI+ has no generic sans-serif family (none of its faces is
// installed), and what its default GUI font maps to depends on the prefix:
// fonts the test makes stand in for both.
GpFontFamily* g_stand_in_generic = nullptr;
GpStatus StandInGenericFamily(GpFontFamily** family) {
  *family = g_stand_in_generic;
  return 0;
}
HFONT g_stand_in_gui_font = nullptr;
HFONT StandInGuiFont() { return g_stand_in_gui_font; }

class FamilySourceOverride {
 public:
  explicit FamilySourceOverride(const FontFamilySource& source) : previous_(SetFontFamilySource(source)) {}
  ~FamilySourceOverride() { SetFontFamilySource(previous_); }

 private:
  FontFamilySource previous_;
};

std::string FamilyOf(GpFont* font) { return std::string(FontFamilyName(font).c_str()); }

TEST_F(GraphicsTest, FontsWithoutTheNamedFacesStillDrawText) {
  const char kStandInFace[] = "DejaVu Sans";
  OwnedFontFamily stand_in;
  dll::GdipCreateFontFamilyFromName(L"DejaVu Sans", nullptr, Receive(stand_in));
  ASSERT_TRUE(stand_in);
  g_stand_in_generic = stand_in.get();
  const char kGuiFace[] = "WenQuanYi Micro Hei";
  LOGFONTW gui_logfont = {};
  gui_logfont.lfHeight = -11;
  wcscpy(gui_logfont.lfFaceName, L"WenQuanYi Micro Hei");
  HFONT gui_font = CreateFontIndirectW(&gui_logfont);
  ASSERT_NE(gui_font, nullptr);
  g_stand_in_gui_font = gui_font;

  const std::wstring caption = L"Quillet 你好 获取";
  OwnedSolidFill white;
  dll::GdipCreateSolidFill(0xFFFFFFFF, Receive(white));
  const GpRectF area = {0, 0, static_cast<float>(kW), static_cast<float>(kH)};
  auto drawn_pixels = [&](GpFont* font) {
    dll::GdipGraphicsClear(surface_.graphics, 0);
    dll::GdipDrawString(surface_.graphics, caption.c_str(), -1, font, &area, nullptr,
                        reinterpret_cast<GpBrush*>(white.get()));
    dll::GdipFlush(surface_.graphics, 1);
    const std::vector<uint32_t> pixels = DibPixels(surface_.dib);
    return std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0; });
  };

  {
    FamilySourceOverride no_faces({NoFamilyByName, StandInGenericFamily, StandInGuiFont});
    OwnedFont font(DefaultFont());
    ASSERT_TRUE(font);
    EXPECT_EQ(FamilyOf(font.get()), kStandInFace);
    EXPECT_GT(drawn_pixels(font.get()), 0);
    // Without a default font, a face that does not exist still yields a font.
    GpFont* const default_font = Toolkit().default_font;
    Toolkit().default_font = nullptr;
    OwnedFont named(CreateFontByName("宋体", 14.0f, 1));
    // The last-resort family does not make a face count as one GDI+ can make.
    unsigned char block[340] = {};
    std::memcpy(block + 52, "MS Shell Dlg", 12);
    const std::string caption_face(FaceFromNonClientMetrics(block, 2).c_str());
    Toolkit().default_font = default_font;
    EXPECT_EQ(caption_face, Utf8ToGbk(u8"宋体"));
    ASSERT_TRUE(named);
    EXPECT_EQ(FamilyOf(named.get()), kStandInFace);
    EXPECT_GT(drawn_pixels(named.get()), 0);
  }
  {
    // No generic family either: the default GUI font's family.
    FamilySourceOverride no_generic({NoFamilyByName, NoGenericFamily, StandInGuiFont});
    OwnedFont font(DefaultFont());
    ASSERT_TRUE(font);
    EXPECT_EQ(FamilyOf(font.get()), kGuiFace);
    EXPECT_GT(drawn_pixels(font.get()), 0);
  }
  {
    // Nothing at all: no font rather than a broken one.
    g_stand_in_gui_font = nullptr;
    FamilySourceOverride nothing({NoFamilyByName, NoGenericFamily, StandInGuiFont});
    GpFont* const default_font = Toolkit().default_font;
    Toolkit().default_font = nullptr;
    OwnedFont named(CreateFontByName("Arial", 12.0f, 0));
    Toolkit().default_font = default_font;
    EXPECT_FALSE(named);
  }
  DeleteObject(gui_font);
  // The generic family is borrowed: the toolkit deleted none of it.
  wchar_t name[32] = {};
  EXPECT_EQ(dll::GdipGetFamilyName(stand_in.get(), name, LANG_NEUTRAL), 0);
  EXPECT_EQ(std::wstring(name), L"DejaVu Sans");
  g_stand_in_generic = nullptr;
}

TEST_F(GraphicsTest, FaceIsReadFromTheMetricsBlockAtItsOffset) {
  unsigned char block[340] = {};
  std::memcpy(block + 188, "Arial", 5);
  std::memcpy(block + 52, "Tahoma", 6);
  std::memset(block + 308, 'M', 32);  // 32 bytes, no terminator
  EXPECT_EQ(std::string(FaceFromNonClientMetrics(block, 1).c_str()), "Arial");
  EXPECT_EQ(std::string(FaceFromNonClientMetrics(block, 2).c_str()), Utf8ToGbk(u8"宋体"));
  // At most 32 bytes are read; GDI+ falls back to the default family for it.
  EXPECT_EQ(std::string(FaceFromNonClientMetrics(block, 3).c_str()), std::string(32, 'M'));
}

TEST(SystemFontFaceDeathTest, KindOutsideOneToThreeIsAnIndexError) {
  testing_support::InstallStderrErrorBox();
  EXPECT_EXIT(
      {
        StartToolkitOnce();
        testing_support::InstallStderrErrorBox();
        SystemFontFace(4);
      },
      ::testing::ExitedWithCode(-1), testing_support::ErrorBoxFragmentPattern(RuntimeErrorMessage(kErrorIndexOutOfRange)));
}

TEST_F(GraphicsTest, ImagesLoadAsIndependentCopies) {
  EXPECT_EQ(ImageFromBytes(nullptr, true, false), nullptr);
  GpImage* strip = ImageFromBytes(SystemButtonStrip(), true, false);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(ImageWidth(strip), 729u);
  EXPECT_EQ(ImageHeight(strip), 20u);
  int format = 0;
  GdipExtra<GpStatus(WINAPI*)(GpImage*, int*)>("GdipGetImagePixelFormat")(strip, &format);
  EXPECT_EQ(format, kPixelFormatArgb32);
  // The separating column is transparent; hover of close is red, hover of maximise blue.
  ARGB pixel = 0;
  dll::GdipBitmapGetPixel(reinterpret_cast<GpBitmap*>(strip), 39, 10, &pixel);
  EXPECT_EQ(pixel >> 24, 0u);
  dll::GdipBitmapGetPixel(reinterpret_cast<GpBitmap*>(strip), 41, 1, &pixel);
  EXPECT_GT((pixel >> 16) & 0xFF, 0xC0u);
  EXPECT_LT(pixel & 0xFF, 0x40u);
  dll::GdipBitmapGetPixel(reinterpret_cast<GpBitmap*>(strip), 150, 1, &pixel);
  EXPECT_GT(pixel & 0xFF, 0xC0u);
  DisposeImage(strip);
  // Without the signature put back the stripped bytes do not decode.
  EXPECT_EQ(ImageFromBytes(SystemButtonStrip(), false, false), nullptr);
}

TEST_F(GraphicsTest, PicturesDecodedAheadAreTakenOnceByTheSameBytes) {
  // The start-up strip may still be ahead in this process: take it first.
  SystemButtonStripFor(DpiScale());
  const int before = DecodingsAhead();
  DecodeAhead(SystemButtonStrip(), true);
  DecodeAhead(SystemButtonStrip(), true);  // the same bytes again: one decoding
  EXPECT_EQ(DecodingsAhead(), before + 1);
  // Another flag or a kept stream is another request: decoded here.
  EXPECT_EQ(ImageFromBytes(SystemButtonStrip(), false, false), nullptr);
  EXPECT_EQ(DecodingsAhead(), before + 1);
  // Equal bytes in another block are the same picture.
  const ByteSet copy(ByteSetData(SystemButtonStrip()), ByteSetLength(SystemButtonStrip()));
  GpImage* taken = ImageFromBytes(copy.get(), true, false);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(DecodingsAhead(), before);
  EXPECT_EQ(ImageWidth(taken), 729u);
  EXPECT_EQ(ImageHeight(taken), 20u);
  GpImage* again = ImageFromBytes(copy.get(), true, false);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, taken) << "taken once; the next call decodes its own copy";
  DisposeImage(again);
  DisposeImage(taken);
  // Bytes that do not decode ahead: the call decodes them itself, and nothing is left waiting.
  const unsigned char junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const ByteSet bad(junk, sizeof junk);
  DecodeAhead(bad.get(), false);
  DecodeAhead(nullptr, false);
  EXPECT_EQ(DecodingsAhead(), before + 1);
  EXPECT_EQ(ImageFromBytes(bad.get(), false, false), nullptr);
  EXPECT_EQ(DecodingsAhead(), before);
}

constexpr int kLargeStripDpi = 144;

TEST_F(GraphicsTest, FinishingDecodingsAheadWaitsAndDropsWhatNobodyTook) {
  SystemButtonStripFor(DpiScale());
  SystemButtonStripFor(DpiScale(kLargeStripDpi));
  const int before = DecodingsAhead();
  // Queued behind each other on the one worker, and never taken.
  DecodeAhead(SystemButtonStrip(), true);
  DecodeAhead(LargeSystemButtonStrip(), true);
  EXPECT_EQ(DecodingsAhead(), before + 2);
  FinishDecodingsAhead();
  EXPECT_EQ(DecodingsAhead(), 0);
  // Later calls decode for themselves, and decoding ahead starts a new worker.
  GpImage* strip = ImageFromBytes(SystemButtonStrip(), true, false);
  ASSERT_NE(strip, nullptr);
  DisposeImage(strip);
  DecodeAhead(LargeSystemButtonStrip(), true);
  GpImage* large = ImageFromBytes(LargeSystemButtonStrip(), true, false);
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(DecodingsAhead(), 0);
  EXPECT_EQ(ImageWidth(large), 2 * 729u);
  DisposeImage(large);
}

TEST_F(GraphicsTest, UndecodableBytesLeaveNoMemoryBehind) {
  std::string junk(4 << 20, 'x');
  ByteSet bytes(junk.data(), junk.size());
  EXPECT_EQ(ImageFromBytes(bytes.get(), false, false), nullptr);
  SIZE_T before = PrivateBytes();
  for (int i = 0; i < 25; ++i) EXPECT_EQ(ImageFromBytes(bytes.get(), true, false), nullptr);
  SIZE_T after = PrivateBytes();
  EXPECT_LT(after, before + (16u << 20)) << "25 x 4 MB of global memory would show here";
}

TEST_F(GraphicsTest, KeptStreamBelongsToTheCaller) {
  HGLOBAL memory = nullptr;
  IStream* stream = nullptr;
  GpImage* image = ImageFromBytes(SystemButtonStrip(), true, true, &memory, &stream);
  ASSERT_NE(image, nullptr);
  ASSERT_NE(memory, nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ImageWidth(image), 729u);
  DisposeImage(image);
  stream->Release();
  EXPECT_EQ(GlobalFree(memory), nullptr);
}

TEST_F(GraphicsTest, BackBufferIsABottomUp32BitDibWithA44ByteHeader) {
  DIBSECTION section = {};
  ASSERT_EQ(GetObjectW(surface_.dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
  EXPECT_EQ(section.dsBm.bmWidth, kW);
  EXPECT_EQ(section.dsBm.bmHeight, kH);
  EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
  EXPECT_GT(section.dsBmih.biHeight, 0);
  EXPECT_EQ(section.dsBmih.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(GetCurrentObject(surface_.dc, OBJ_BITMAP), surface_.dib);
  int mode = 0;
  GdipExtra<GpStatus(WINAPI*)(GpGraphics*, int*)>("GdipGetSmoothingMode")(surface_.graphics, &mode);
  EXPECT_EQ(mode, 4);
  // Re-creating releases the old handles: the GDI object count stays put.
  DWORD objects = GdiObjects();
  for (int i = 0; i < 50; ++i) CreateSurface(nullptr, nullptr, 64 + i, 32, &surface_);
  EXPECT_EQ(GdiObjects(), objects);
}

TEST_F(GraphicsTest, ScratchSurfaceOnlyGrows) {
  EnsureScratchSurface(200, 400);
  EnsureScratchSurface(300, 100);
  SIZE size = BackBufferSize(Toolkit().scratch);
  EXPECT_EQ(size.cx, 300);
  EXPECT_EQ(size.cy, 400);
  HBITMAP dib = Toolkit().scratch.dib;
  EnsureScratchSurface(250, 399);
  EXPECT_EQ(Toolkit().scratch.dib, dib) << "no re-creation without growth";
}

TEST_F(GraphicsTest, DrawImageAlphaScalesAlpha) {
  GpBitmap* red = SolidBitmap(10, 10, 0xFFFF0000);
  DrawImageAlpha(surface_.graphics, reinterpret_cast<GpImage*>(red), GpRectF{20, 20, 10, 10}, 128);
  uint32_t p = At(25, 25);
  EXPECT_NEAR(A(p), 128, 2);
  EXPECT_NEAR(R(p), 128, 2);  // premultiplied
  EXPECT_EQ(A(At(31, 25)), 0);
  dll::GdipDisposeImage(reinterpret_cast<GpImage*>(red));
}

// The frame's composition by hand must give exactly what GDI+ gives: random
// translucent pixels onto a random premultiplied frame, through a rounded clip,
// from a part of the bitmap that does not start at its corner.
TEST_F(GraphicsTest, BlendingOntoTheFrameByHandMatchesGdiplus) {
  DIBSECTION section = {};
  ASSERT_EQ(GetObjectW(surface_.dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
  auto* frame = static_cast<uint32_t*>(section.dsBm.bmBits);
  uint32_t seed = 12345;
  auto random_byte = [&] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFF;
  };
  for (int i = 0; i < kW * kH; ++i) {
    const uint32_t a = i % 5 == 0 ? 255 : i % 7 == 0 ? 0 : random_byte();
    auto channel = [&] { return random_byte() % (a + 1); };  // premultiplied: never above alpha
    frame[i] = (a << 24) | (channel() << 16) | (channel() << 8) | channel();
  }
  const std::vector<uint32_t> before(frame, frame + kW * kH);
  constexpr int kSourceW = 80, kSourceH = 70;
  GpBitmap* source = nullptr;
  ASSERT_EQ(dll::GdipCreateBitmapFromScan0(kSourceW, kSourceH, 0, kPixelFormat32bppARGB, nullptr, &source), 0);
  const GpRect whole = {0, 0, kSourceW, kSourceH};
  GpBitmapData pixels = {};
  ASSERT_EQ(dll::GdipBitmapLockBits(source, &whole, kImageLockModeWrite, kPixelFormat32bppARGB, &pixels), 0);
  for (int y = 0; y < kSourceH; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels.Scan0) + y * pixels.Stride);
    for (int x = 0; x < kSourceW; ++x) {
      const uint32_t a = random_byte() < 40 ? 0 : random_byte() < 40 ? 255 : random_byte();
      row[x] = (a << 24) | (random_byte() << 16) | (random_byte() << 8) | random_byte();
    }
  }
  dll::GdipBitmapUnlockBits(source, &pixels);
  OwnedGdiRegion rounded(CreateRoundRectRgn(20, 15, 110, 90, 12, 12));
  OwnedRegion clip(GdiRegionToGdiplus(rounded.get()));
  ClipToRegion(surface_.graphics, clip.get(), kClipReplace);
  const GpRect dest = {20, 15, 60, 55};
  DrawImageAlpha(surface_.graphics, reinterpret_cast<GpImage*>(source),
                 GpRectF{20, 15, 60, 55}, 255, 10, 5);
  GdiFlush();
  const std::vector<uint32_t> by_gdiplus(frame, frame + kW * kH);
  std::copy(before.begin(), before.end(), frame);
  ASSERT_TRUE(BlendOntoFrame(surface_.graphics, surface_.dib, source, dest, 10, 5));
  ResetClip(surface_.graphics);
  size_t differing = 0, changed = 0;
  for (int i = 0; i < kW * kH; ++i) {
    differing += frame[i] != by_gdiplus[i];
    changed += frame[i] != before[i];
  }
  EXPECT_EQ(differing, 0u);
  EXPECT_GT(changed, 2000u) << "the blend reached the clipped part";
  EXPECT_EQ(frame[(kH - 1 - 15) * kW + 20], before[(kH - 1 - 15) * kW + 20]) << "the cut corner is left alone";
  dll::GdipDisposeImage(reinterpret_cast<GpImage*>(source));
}

TEST_F(GraphicsTest, ClearingTheClipByHandWritesWhatGdiplusClearWrites) {
  DIBSECTION section = {};
  ASSERT_EQ(GetObjectW(surface_.dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
  auto* frame = static_cast<uint32_t*>(section.dsBm.bmBits);
  for (int i = 0; i < kW * kH; ++i) frame[i] = i % 3 == 0 ? 0 : 0x80402010u;
  const std::vector<uint32_t> before(frame, frame + kW * kH);
  OwnedGdiRegion rounded(CreateRoundRectRgn(6, 6, 150, 120, 4, 4));
  OwnedRegion clip(GdiRegionToGdiplus(rounded.get()));
  // The frame's base colour as the host gives it (alpha 254), an opaque and a translucent one.
  for (const ARGB colour : {ArgbFromColor(RGB(200, 117, 3), 255, 1), ARGB{0xFF336699u}, ARGB{0x80C0FF01u}}) {
    std::copy(before.begin(), before.end(), frame);
    ClipToRegion(surface_.graphics, clip.get(), kClipReplace);
    dll::GdipGraphicsClear(surface_.graphics, colour);
    dll::GdipFlush(surface_.graphics, kFlushIntentionSync);
    GdiFlush();
    const std::vector<uint32_t> by_gdiplus(frame, frame + kW * kH);
    std::copy(before.begin(), before.end(), frame);
    ASSERT_TRUE(FillClipOnFrame(surface_.graphics, surface_.dib, colour));
    ResetClip(surface_.graphics);
    size_t differing = 0;
    for (int i = 0; i < kW * kH; ++i) differing += frame[i] != by_gdiplus[i];
    EXPECT_EQ(differing, 0u) << std::hex << colour;
    EXPECT_EQ(At(0, 0), before[(kH - 1) * kW]) << "outside the clip is left alone";
    EXPECT_NE(At(60, 60), before[(kH - 1 - 60) * kW + 60]);
  }
}

// ---- Scaling pictures ----

PixelPlane PlaneOf(int width, int height, uint32_t (*pixel)(int x, int y)) {
  PixelPlane plane;
  plane.width = width;
  plane.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) plane.pixels.push_back(pixel(x, y));
  return plane;
}

TEST(PictureScalingTest, FlatStaysFlatAndAPartIsThatPartOfTheWhole) {
  const PixelPlane flat = PlaneOf(7, 5, [](int, int) { return 0xFF336699u; });
  const PixelPlane big = ScalePart(flat, 11, 8, 0, 0, 11, 8);
  ASSERT_EQ(big.pixels.size(), 88u);
  for (uint32_t p : big.pixels) EXPECT_EQ(p, 0xFF336699u);
  const PixelPlane ramp = PlaneOf(20, 12, [](int x, int y) { return 0xFF000000u | (x * 12u) << 16 | (y * 20u); });
  const PixelPlane whole = ScalePart(ramp, 30, 18, 0, 0, 30, 18);
  const PixelPlane part = ScalePart(ramp, 30, 18, 7, 5, 9, 6);
  ASSERT_EQ(part.width, 9);
  ASSERT_EQ(part.height, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(part.pixels[y * 9 + x], whole.pixels[(y + 5) * 30 + x + 7]) << x << "," << y;
  // A ramp stays a ramp from end to end.
  for (int x = 1; x < 30; ++x) EXPECT_GE((whole.pixels[x] >> 16) & 0xFF, (whole.pixels[x - 1] >> 16) & 0xFF) << x;
  EXPECT_LE((whole.pixels[0] >> 16) & 0xFF, 6u);
  EXPECT_GE((whole.pixels[29] >> 16) & 0xFF, 222u);
  EXPECT_TRUE(ScalePart(ramp, 0, 18, 0, 0, 1, 1).pixels.empty());
  EXPECT_TRUE(ScalePart(ramp, 30, 18, 0, 0, 0, 4).pixels.empty());
}

TEST(PictureScalingTest, AHardEdgeNeverGivesColourAboveItsAlpha) {
  // Opaque white beside clear: the cubic overshoots there.
  const PixelPlane edge = PlaneOf(8, 2, [](int x, int) { return x < 4 ? 0xFFFFFFFFu : 0u; });
  const PixelPlane scaled = ScalePart(edge, 12, 3, 0, 0, 12, 3);
  for (uint32_t p : scaled.pixels) {
    const uint32_t alpha = p >> 24;
    EXPECT_LE((p >> 16) & 0xFF, alpha);
    EXPECT_LE(p & 0xFF, alpha);
  }
  EXPECT_EQ(scaled.pixels[0], 0xFFFFFFFFu);
  EXPECT_EQ(scaled.pixels[11], 0u);
}

// An opaque picture whose every pixel differs from its neighbours.
OwnedBitmap GradientPicture(int width, int height) {
  OwnedBitmap picture;
  if (dll::GdipCreateBitmapFromScan0(width, height, 0, kPixelFormat32bppARGB, nullptr, Receive(picture)) != 0) {
    return picture;
  }
  const GpRect whole = {0, 0, width, height};
  GpBitmapData pixels = {};
  if (dll::GdipBitmapLockBits(picture.get(), &whole, kImageLockModeWrite, kPixelFormat32bppARGB, &pixels) != 0) {
    return OwnedBitmap();
  }
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels.Scan0) + y * pixels.Stride);
    for (int x = 0; x < width; ++x) row[x] = 0xFF000000u | (x * 4u) << 16 | (y * 6u) << 8 | 0x40u;
  }
  dll::GdipBitmapUnlockBits(picture.get(), &pixels);
  return picture;
}

TEST_F(GraphicsTest, APictureAtItsOwnSizeLandsInThePixelsAsGdiplusDrawsIt) {
  OwnedBitmap picture = GradientPicture(60, 40);
  ASSERT_TRUE(picture);
  ClipToRect(surface_.graphics, GpRectF{0, 0, 40, 30}, kClipReplace);
  dll::GdipDrawImageRectI(surface_.graphics, AsImage(picture.get()), -10, 5, 60, 40);
  dll::GdipFlush(surface_.graphics, kFlushIntentionSync);
  GdiFlush();
  const std::vector<uint32_t> by_gdiplus = DibPixels(surface_.dib);
  dll::GdipGraphicsClear(surface_.graphics, 0);
  ASSERT_TRUE(DrawPictureScaled(surface_.graphics, surface_.dib, AsImage(picture.get()), -10, 5, 60, 40, kW, kH));
  ResetClip(surface_.graphics);
  EXPECT_EQ(DibPixels(surface_.dib), by_gdiplus);
  EXPECT_EQ(At(0, 5), 0xFF000000u | (10 * 4u) << 16 | 0x40u) << "the picture's column 10 at the left edge";

  // Laid in as it is, also where it runs past the window's right and bottom edges.
  for (const GpRect place : {GpRect{-10, 5, 60, 40}, GpRect{150, 140, 60, 40}}) {
    dll::GdipGraphicsClear(surface_.graphics, 0);
    ClipToRect(surface_.graphics, GpRectF{0, 0, 180, 155}, kClipReplace);
    dll::GdipDrawImageRectI(surface_.graphics, AsImage(picture.get()), place.X, place.Y, 60, 40);
    dll::GdipFlush(surface_.graphics, kFlushIntentionSync);
    GdiFlush();
    const std::vector<uint32_t> drawn = DibPixels(surface_.dib);
    dll::GdipGraphicsClear(surface_.graphics, 0);
    ASSERT_TRUE(DrawOpaquePicture(surface_.graphics, surface_.dib, AsImage(picture.get()), place.X, place.Y, kW, kH));
    ResetClip(surface_.graphics);
    EXPECT_EQ(DibPixels(surface_.dib), drawn) << place.X;
  }
  // One pixel not opaque: nothing is drawn and GDI+ is left to draw it.
  {
    GpBitmapData pixels = {};
    const GpRect corner = {59, 39, 1, 1};
    ASSERT_EQ(dll::GdipBitmapLockBits(picture.get(), &corner, kImageLockModeWrite, kPixelFormat32bppARGB, &pixels), 0);
    *static_cast<uint32_t*>(pixels.Scan0) = 0x80FFFFFFu;
    dll::GdipBitmapUnlockBits(picture.get(), &pixels);
  }
  dll::GdipGraphicsClear(surface_.graphics, 0);
  EXPECT_FALSE(DrawOpaquePicture(surface_.graphics, surface_.dib, AsImage(picture.get()), 0, 0, kW, kH));
  EXPECT_EQ(At(5, 5), 0u);
  const PremultipliedPixels read(AsImage(picture.get()));
  ASSERT_FALSE(read.Empty());
  EXPECT_FALSE(read.Opaque());
  ASSERT_EQ(read.Width(), 60);
  ASSERT_EQ(read.Height(), 40);
  EXPECT_EQ(read.Row(39)[59], 0x80808080u) << "converted to premultiplied";
  EXPECT_EQ(read.Row(0)[0], 0xFF000040u);
}

TEST_F(GraphicsTest, APictureScaledByHandLandsWhereGdiplusDrawsItAndOnlyInTheWindow) {
  constexpr int kSourceW = 60, kSourceH = 40;
  OwnedBitmap picture = GradientPicture(kSourceW, kSourceH);
  ASSERT_TRUE(picture);
  // Half of it hangs off the left edge of a 120-wide window.
  constexpr int kX = -45, kY = 10, kScaledW = 90, kScaledH = 60, kWindowW = 120;
  ASSERT_TRUE(DrawPictureScaled(surface_.graphics, nullptr, AsImage(picture.get()), kX, kY, kScaledW, kScaledH,
                                kWindowW, kH));
  GdiFlush();
  const std::vector<uint32_t> by_hand = DibPixels(surface_.dib);
  // Laid straight into the pixels, and from the same picture without alpha
  // (as a JPEG decodes): the same pixels.
  OwnedBitmap opaque;
  using CloneArea = GpStatus(WINAPI*)(INT, INT, INT, INT, INT, GpBitmap*, GpBitmap**);
  ASSERT_EQ(GdipExtra<CloneArea>("GdipCloneBitmapAreaI")(0, 0, kSourceW, kSourceH, kPixelFormat24bppRGB, picture.get(),
                                                          Receive(opaque)),
            0);
  for (GpBitmap* source : {picture.get(), opaque.get()}) {
    dll::GdipGraphicsClear(surface_.graphics, 0);
    ASSERT_TRUE(DrawPictureScaled(surface_.graphics, surface_.dib, AsImage(source), kX, kY, kScaledW, kScaledH,
                                  kWindowW, kH));
    EXPECT_EQ(DibPixels(surface_.dib), by_hand) << (source == opaque.get() ? "opaque" : "with alpha");
  }
  // Into the pixels too, only inside the graphics' clip.
  dll::GdipGraphicsClear(surface_.graphics, 0);
  ClipToRect(surface_.graphics, GpRectF{0, 0, 20, static_cast<float>(kH)}, kClipReplace);
  ASSERT_TRUE(DrawPictureScaled(surface_.graphics, surface_.dib, AsImage(opaque.get()), kX, kY, kScaledW, kScaledH,
                                kWindowW, kH));
  ResetClip(surface_.graphics);
  EXPECT_EQ(At(19, 40), by_hand[40 * kW + 19]);
  EXPECT_EQ(At(20, 40), 0u);
  dll::GdipGraphicsClear(surface_.graphics, 0);
  dll::GdipSetInterpolationMode(surface_.graphics, kInterpolationHighQualityBicubic);
  dll::GdipDrawImageRect(surface_.graphics, AsImage(picture.get()), kX, kY, kScaledW, kScaledH);
  dll::GdipSetInterpolationMode(surface_.graphics, kInterpolationDefault);
  GdiFlush();
  const std::vector<uint32_t> by_gdiplus = DibPixels(surface_.dib);
  int compared = 0, far_off = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t a = by_hand[y * kW + x], b = by_gdiplus[y * kW + x];
      const bool inside = x < kX + kScaledW && y >= kY && y < kY + kScaledH;
      if (!inside || x >= kWindowW) {
        EXPECT_EQ(a, 0u) << x << "," << y << " lies outside the picture or the window";
        continue;
      }
      // The picture's border rows differ in how each treats the edge.
      if (x == 0 || x == kX + kScaledW - 1 || y == kY || y == kY + kScaledH - 1) continue;
      ++compared;
      for (int shift : {0, 8, 16, 24}) far_off += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 6;
    }
  }
  EXPECT_GT(compared, 2000);
  EXPECT_EQ(far_off, 0);
}

TEST_F(GraphicsTest, RoundRectOutlineStaysInsideItsRectangle) {
  DrawRoundRect(surface_.graphics, GpRectF{10, 10, 100, 50}, 8, 0xFFFFFFFF, kDashSolid, 1.0f);
  EXPECT_GT(A(At(50, 10)), 100);   // top edge
  EXPECT_GT(A(At(10, 30)), 100);   // left edge
  EXPECT_GT(A(At(109, 30)), 100);  // right edge at x + width - 1
  EXPECT_GT(A(At(50, 59)), 100);   // bottom edge at y + height - 1
  EXPECT_EQ(A(At(50, 61)), 0);
  EXPECT_EQ(A(At(50, 30)), 0);     // stroked, not filled
  EXPECT_LT(A(At(10, 10)), 60);    // the corner is cut
}

TEST_F(GraphicsTest, AverageColourReadsOpaqueAndTranslucentPicturesAlike) {
  // The same pixels, one picture without alpha (as a JPEG decodes) and one with it.
  constexpr int kPw = 7, kPh = 5;  // odd widths: rows of a 24-bit picture are padded
  const int stride = (kPw * 3 + 3) / 4 * 4;
  std::vector<uint8_t> rgb(static_cast<size_t>(stride) * kPh, 0);
  std::vector<uint32_t> argb(static_cast<size_t>(kPw) * kPh);
  for (int y = 0; y < kPh; ++y) {
    for (int x = 0; x < kPw; ++x) {
      const uint8_t b = static_cast<uint8_t>(10 * x), g = static_cast<uint8_t>(40 * y), r = static_cast<uint8_t>(200);
      uint8_t* p = &rgb[static_cast<size_t>(y) * stride + x * 3];
      p[0] = b, p[1] = g, p[2] = r;
      argb[static_cast<size_t>(y) * kPw + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  OwnedBitmap opaque, translucent;
  ASSERT_EQ(dll::GdipCreateBitmapFromScan0(kPw, kPh, stride, kPixelFormat24bppRGB, rgb.data(), Receive(opaque)), 0);
  ASSERT_EQ(dll::GdipCreateBitmapFromScan0(kPw, kPh, kPw * 4, kPixelFormat32bppARGB,
                                           reinterpret_cast<BYTE*>(argb.data()), Receive(translucent)),
            0);
  const int expected = static_cast<int>(RGB(200, 80, 30));
  EXPECT_EQ(AverageColour(opaque.get()), expected);
  EXPECT_EQ(AverageColour(translucent.get()), expected);
}

TEST_F(GraphicsTest, RoundRectStrokeOnPixelsLiesWhereGdiplusStrokesTheOutline) {
  const GpRectF rect = {10, 10, 100, 50};
  ASSERT_TRUE(StrokeRoundRectOnDib(surface_.dib, rect, 8, 0xFFFFFFFF, 1.0f, nullptr));
  const std::vector<uint32_t> by_hand = DibPixels(surface_.dib);
  auto hand = [&](int x, int y) { return A(by_hand[y * kW + x]); };
  // Straight sides on whole pixels are crisp, the right and bottom ones at x + width - 1.
  for (int x : {10, 109}) {
    EXPECT_EQ(hand(x, 30), 255) << x;
    EXPECT_EQ(hand(x - 1, 30), 0) << x;
    EXPECT_EQ(hand(x + 1, 30), 0) << x;
  }
  for (int y : {10, 59}) {
    EXPECT_EQ(hand(50, y), 255) << y;
    EXPECT_EQ(hand(50, y - 1), 0) << y;
    EXPECT_EQ(hand(50, y + 1), 0) << y;
  }
  EXPECT_EQ(hand(50, 30), 0) << "stroked, not filled";
  EXPECT_LT(hand(10, 10), 60) << "the corner is cut";
  // The four corners mirror each other.
  for (int dy = 0; dy < 8; ++dy) {
    for (int dx = 0; dx < 8; ++dx) {
      const int corner = hand(10 + dx, 10 + dy);
      EXPECT_EQ(hand(109 - dx, 10 + dy), corner) << dx << "," << dy;
      EXPECT_EQ(hand(10 + dx, 59 - dy), corner) << dx << "," << dy;
      EXPECT_EQ(hand(109 - dx, 59 - dy), corner) << dx << "," << dy;
    }
  }
  // About as much ink as GDI+ lays for the same outline: the same shape.
  dll::GdipGraphicsClear(surface_.graphics, 0);
  DrawRoundRect(surface_.graphics, rect, 8, 0xFFFFFFFF, kDashSolid, 1.0f);
  dll::GdipFlush(surface_.graphics, kFlushIntentionSync);
  GdiFlush();
  const std::vector<uint32_t> by_gdiplus = DibPixels(surface_.dib);
  long ink_by_hand = 0, ink_by_gdiplus = 0;
  for (size_t i = 0; i < by_hand.size(); ++i) {
    ink_by_hand += A(by_hand[i]);
    ink_by_gdiplus += A(by_gdiplus[i]);
  }
  EXPECT_NEAR(static_cast<double>(ink_by_hand), static_cast<double>(ink_by_gdiplus), ink_by_gdiplus * 0.05);
}

TEST_F(GraphicsTest, RoundRectStrokeOnPixelsSharesPixelsAtScaledWidthsAndKeepsToTheClip) {
  // A pen of 1.5 centred on 7.5 covers three quarters of pixels 7 and 8.
  const std::vector<RECT> left_half = {RECT{0, 0, 60, kH}};
  ASSERT_TRUE(StrokeRoundRectOnDib(surface_.dib, GpRectF{7.5f, 7.5f, 100, 80}, 15, 0xC8000000, 1.5f, &left_half));
  EXPECT_EQ(A(At(7, 50)), 150);
  EXPECT_EQ(A(At(8, 50)), 150);
  EXPECT_EQ(A(At(6, 50)), 0);
  EXPECT_EQ(A(At(9, 50)), 0);
  EXPECT_EQ(A(At(50, 7)), 150) << "the top side, inside the clip";
  EXPECT_EQ(A(At(70, 7)), 0) << "the top side, outside the clip";
  EXPECT_EQ(A(At(106, 50)), 0) << "the right side, outside the clip";
  // Laid over what is there, as GDI+ lays a translucent pen.
  const uint32_t below = 0xFF204060;
  const std::vector<RECT> one_pixel = {RECT{140, 100, 141, 101}};
  dll::GdipGraphicsClear(surface_.graphics, below);
  GdiFlush();
  ASSERT_TRUE(StrokeRoundRectOnDib(surface_.dib, GpRectF{140, 60, 50, 60}, 4, 0x80FFFFFF, 1.0f, &one_pixel));
  EXPECT_EQ(At(140, 100), SourceOverPixel(0x80FFFFFF, below));
  EXPECT_EQ(At(141, 100), below);
  // Shapes the pixels do not take are left to GDI+.
  EXPECT_FALSE(StrokeRoundRectOnDib(surface_.dib, GpRectF{10, 10, 6, 40}, 8, 0xFFFFFFFF, 1.0f, nullptr));
  EXPECT_FALSE(StrokeRoundRectOnDib(surface_.dib, GpRectF{10, 10, 60, 40}, 8, 0xFFFFFFFF, 0.0f, nullptr));
  EXPECT_FALSE(StrokeRoundRectOnDib(nullptr, GpRectF{10, 10, 60, 40}, 8, 0xFFFFFFFF, 1.0f, nullptr));
  EXPECT_EQ(At(12, 30), below) << "nothing drawn by the refused calls";
}

TEST_F(GraphicsTest, RoundRectStrokeOnPixelsOfABottomUpBufferLandsTopSideUp) {
  BITMAPINFO info = TopDownInfo(kW, kH);
  info.bmiHeader.biHeight = kH;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(dib, nullptr);
  std::memset(bits, 0, static_cast<size_t>(kW) * kH * 4);
  // Half of it off the buffer's left and bottom edges.
  ASSERT_TRUE(StrokeRoundRectOnDib(dib, GpRectF{-20, 10, 100, kH}, 8, 0xFFFFFFFF, 1.0f, nullptr));
  EXPECT_EQ(A(DibPixel(dib, 40, 10)), 255);
  EXPECT_EQ(A(DibPixel(dib, 40, kH - 10)), 0);
  EXPECT_EQ(A(DibPixel(dib, 79, 100)), 255);
  DeleteObject(dib);
}

TEST_F(GraphicsTest, EdgeGlowFadesTowardsTheInsideAndMovesTheRectangle) {
  GpRectF rect = {0, 0, 120, 60};
  DrawEdgeGlow(surface_.graphics, &rect, RGB(0, 0, 255), 6, 100, false, false, true, true);
  EXPECT_FLOAT_EQ(rect.X, 6);
  EXPECT_FLOAT_EQ(rect.Y, 6);
  // Width 120 > depth 100, so the right strip is 100 thick: (26, 6, 101, 60).
  // Bottom strip (6, 36, 120, 31): transparent at its top, solid blue at its bottom.
  EXPECT_LT(A(At(15, 37)), 20);
  EXPECT_GT(A(At(15, 64)), 200);
  EXPECT_GT(B(At(15, 64)), 200);
  // Right strip: transparent on its left, solid on its right.
  EXPECT_LT(A(At(27, 20)), 20);
  EXPECT_GT(A(At(124, 20)), 200);
  // Nothing above or left of the moved rectangle.
  EXPECT_EQ(A(At(15, 3)), 0);
  EXPECT_EQ(A(At(3, 50)), 0);
}

TEST_F(GraphicsTest, BorderStylesDrawInsideTheRectangle) {
  const GpRectF r = {10, 10, 50, 40};
  DWORD objects = GdiObjects();
  DrawBorder(surface_.graphics, r, kBorderNone, std::nullopt);
  for (int y = 0; y < kH; y += 3)
    for (int x = 0; x < kW; x += 3) ASSERT_EQ(At(x, y), 0u) << x << "," << y;

  DrawBorder(surface_.graphics, r, kBorderSunken, std::nullopt);
  EXPECT_NEAR(A(At(30, 10)), 160, 8);  // dark top
  EXPECT_EQ(R(At(30, 10)), 0);
  EXPECT_GT(R(At(30, 49)), 100);       // light bottom at y + height - 1
  dll::GdipGraphicsClear(surface_.graphics, 0);

  DrawBorder(surface_.graphics, r, kBorderFlat, std::nullopt);
  EXPECT_NEAR(R(At(30, 10)), 100, 3);
  EXPECT_GT(A(At(59, 30)), 200);       // right edge at x + width - 1
  dll::GdipGraphicsClear(surface_.graphics, 0);

  DrawBorder(surface_.graphics, r, 0xFF00FF00, std::nullopt);  // a colour as the style
  EXPECT_GT(G(At(10, 30)), 200);
  EXPECT_EQ(R(At(10, 30)), 0);
  EXPECT_EQ(GdiObjects(), objects);
}

TEST_F(GraphicsTest, NineGridKeepsCornersAndStretchesTheCentre) {
  // 30 x 30 picture: 10-pixel red frame around a green centre.
  GpBitmap* picture = SolidBitmap(30, 30, 0xFFFF0000);
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(picture), &g);
  GpSolidFill* brush = nullptr;
  GdipExtra<GpStatus(WINAPI*)(ARGB, GpSolidFill**)>("GdipCreateSolidFill")(0xFF00FF00, &brush);
  dll::GdipFillRectangle(g, reinterpret_cast<GpBrush*>(brush), 10, 10, 10, 10);
  dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
  dll::GdipDeleteGraphics(g);
  DrawNineGrid(surface_.graphics, reinterpret_cast<GpImage*>(picture), GpRectF{0, 0, 150, 100}, RECT{10, 10, 20, 20},
               std::nullopt);
  EXPECT_GT(R(At(5, 5)), 200);      // corner
  EXPECT_GT(R(At(145, 95)), 200);   // far corner
  EXPECT_GT(G(At(75, 50)), 200);    // stretched centre
  EXPECT_GT(G(At(12, 12)), 200);    // the centre starts right at the margin
  EXPECT_GT(R(At(75, 4)), 200);     // top edge stays 10 px high
  DrawNineGrid(nullptr, reinterpret_cast<GpImage*>(picture), GpRectF{0, 0, 1, 1}, RECT{}, 10);  // no graphics: nothing
  dll::GdipDisposeImage(reinterpret_cast<GpImage*>(picture));
}

TEST_F(GraphicsTest, RegionsAndClipping) {
  HRGN region = RoundRectRegion(100, 80, 6, 4);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 6);
  EXPECT_EQ(box.top, 6);
  EXPECT_EQ(box.right, 94);  // round-rect regions leave out their right and bottom edge
  EXPECT_EQ(box.bottom, 74);
  GpRegion* clip = GdiRegionToGdiplus(region);
  ASSERT_NE(clip, nullptr);
  DeleteObject(region);
  ClipToRegion(surface_.graphics, clip, kClipReplace);
  ClipToRect(surface_.graphics, GpRectF{0, 0, 50, 50}, kClipIntersect);
  GpRectF bounds = VisibleClipBounds(surface_.graphics);
  EXPECT_FLOAT_EQ(bounds.X, 6);
  EXPECT_FLOAT_EQ(bounds.Width, 44);
  dll::GdipGraphicsClear(surface_.graphics, 0xFFFFFFFF);
  EXPECT_EQ(A(At(3, 20)), 0);
  EXPECT_EQ(A(At(20, 20)), 255);
  EXPECT_EQ(A(At(60, 20)), 0);
  ResetClip(surface_.graphics);
  dll::GdipDeleteRegion(clip);
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int g_style_changes = 0;
WNDPROC g_class_proc = nullptr;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_STYLECHANGING) ++g_style_changes;
  return CallWindowProcW(g_class_proc, window, message, wparam, lparam);
}

TEST_F(GraphicsTest, StyleBitsAreWrittenOnlyWhenTheyChange) {
  HWND window = MakeWindow(0, 0, 200, 100, WS_POPUP | WS_MINIMIZEBOX);
  g_class_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)CountingProc));
  g_style_changes = 0;
  AddStyle(window, WS_MINIMIZEBOX | WS_MAXIMIZEBOX, false);  // partly set already: unchanged
  EXPECT_EQ(g_style_changes, 0);
  EXPECT_FALSE(HasStyle(window, WS_MAXIMIZEBOX, false));
  RemoveStyle(window, WS_THICKFRAME | WS_BORDER, false);  // none set: no write
  EXPECT_EQ(g_style_changes, 0);
  AddStyle(window, WS_EX_LAYERED, true);
  EXPECT_TRUE(HasStyle(window, WS_EX_LAYERED, true));
  RemoveStyle(window, WS_MINIMIZEBOX | WS_THICKFRAME, false);
  EXPECT_FALSE(HasStyle(window, WS_MINIMIZEBOX, false));
  EXPECT_EQ(g_style_changes, 2);
  DestroyWindow(window);
}

TEST_F(GraphicsTest, WindowRegionOfAMaximisedWindowIsInsetOneLess) {
  HWND window = MakeWindow(0, 0, 300, 200, WS_OVERLAPPEDWINDOW);
  ApplyWindowRegion(window, 300, 200, 6, 5);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 6);
  EXPECT_EQ(box.right, 294);
  ShowWindow(window, SW_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(window));
  ApplyWindowRegion(window, 300, 200, 6, 5);
  GetWindowRgn(window, region);
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.right, 295);
  DeleteObject(region);
  DestroyWindow(window);
}

TEST_F(GraphicsTest, WindowHelpers) {
  RECT work = WorkArea();
  EXPECT_GT(work.right, 0);  // width
  EXPECT_GT(work.bottom, 0);  // height
  HWND window = MakeWindow(10, 10, 200, 100, WS_OVERLAPPEDWINDOW, L"标题 title");
  EXPECT_EQ(std::string(WindowTitle(window).c_str()), Utf8ToGbk(u8"标题 title"));
  EXPECT_EQ(WindowIcon(window, true), reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON)));
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  EXPECT_EQ(WindowIcon(window, false), icon);
  ShowWindow(window, SW_SHOW);
  HWND other = MakeWindow(300, 10, 100, 100);
  ShowWindow(other, SW_SHOW);
  SetFocus(other);
  FocusWindow(window);
  EXPECT_EQ(GetFocus(), window);
  EXPECT_TRUE(TrackMouseLeave(window));
  DestroyWindow(other);
  DestroyWindow(window);
}

TEST_F(GraphicsTest, ToolkitClassAndStartupState) {
  WNDCLASSEXW wc = {sizeof(wc)};
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kToolkitClassName, &wc));
  EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  EXPECT_EQ(Toolkit().default_cursor, LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  EXPECT_EQ(Toolkit().os_major_version, static_cast<int>(LOBYTE(LOWORD(GetVersion()))));
  ASSERT_NE(SystemButtonStripFor(DpiScale()), nullptr);
  ASSERT_EQ(Toolkit().edit_menu_count, 5);
  EXPECT_EQ(std::string(Toolkit().edit_menu[0].caption), Utf8ToGbk(u8"剪切(&T)"));
  EXPECT_EQ(Toolkit().edit_menu[0].command, 88);
  EXPECT_EQ(Toolkit().edit_menu[1].command, 67);
  EXPECT_EQ(Toolkit().edit_menu[2].command, 86);
  EXPECT_EQ(Toolkit().edit_menu[3].caption, nullptr);
  EXPECT_EQ(std::string(Toolkit().edit_menu[4].caption), Utf8ToGbk(u8"全部选择(&A)"));
  EXPECT_EQ(Toolkit().edit_menu[4].command, 65);
  // A second registration of the same class yields no atom.
  EXPECT_FALSE(RegisterToolkitClass());
  void* scratch = AllocScratch(64);
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(scratch, &info, sizeof(info));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
  FreeScratch(scratch);
}

}  // namespace
}  // namespace quillet::core_tests
