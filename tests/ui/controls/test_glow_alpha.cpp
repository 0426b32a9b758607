// The glow behind text: the five passes laid a pixel apart, the softening,
// and the one-draw passes against the letters drawn five times with GDI+.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tests/ui/controls/host_fixture.h"
#include "ui/core/drawing.h"
#include "ui/controls/glow_alpha.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"

namespace quillet {
namespace {

using testing_support::AlphaOf;
using testing_support::BlueOf;
using testing_support::GreenOf;
using testing_support::RedOf;
using testing_support::PixelOf;
using testing_support::StartToolkitOnce;

const std::vector<PixelOffset> kPlus = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {0, 0}};

std::vector<uint8_t> Plane(int width, int height, std::initializer_list<std::pair<int, int>> lit, uint8_t value) {
  std::vector<uint8_t> plane(static_cast<size_t>(width) * height, 0);
  for (const auto& [x, y] : lit) plane[static_cast<size_t>(y) * width + x] = value;
  return plane;
}

uint8_t At(const std::vector<uint8_t>& plane, int width, int x, int y) {
  return plane[static_cast<size_t>(y) * width + x];
}

// ---- Laying the passes ----

TEST(GlowPasses, OneLetterPixelLightsItselfAndItsFourNeighbours) {
  const auto out = LayGlowPasses(Plane(5, 5, {{2, 2}}, 255), 5, 5, kPlus, 255);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool lit = std::abs(x - 2) + std::abs(y - 2) <= 1;
      EXPECT_EQ(At(out, 5, x, y), lit ? 255 : 0) << x << "," << y;
    }
  }
}

TEST(GlowPasses, OverlappingLayersLetThroughTheProductOfWhatEachLetsThrough) {
  // Two letter pixels side by side: between them two layers of half strength meet.
  const auto out = LayGlowPasses(Plane(4, 1, {{1, 0}, {2, 0}}, 255), 4, 1, kPlus, 128);
  // 1 - (1 - 128/255)^2, rounded.
  EXPECT_EQ(At(out, 4, 1, 0), 192);
  EXPECT_EQ(At(out, 4, 2, 0), 192);
  EXPECT_EQ(At(out, 4, 0, 0), 128) << "one layer reaches the outer pixels";
  EXPECT_EQ(At(out, 4, 3, 0), 128);
  // Half coverage at full strength: the same arithmetic with coverage as the strength.
  const auto half = LayGlowPasses(Plane(1, 1, {{0, 0}}, 128), 1, 1, kPlus, 255);
  EXPECT_EQ(half[0], 128);
}

TEST(GlowPasses, EdgesOddSizesAndBadInput) {
  // A letter pixel in the corner: the layers that would fall outside are dropped.
  const auto corner = LayGlowPasses(Plane(3, 3, {{0, 0}}, 255), 3, 3, kPlus, 255);
  EXPECT_EQ(At(corner, 3, 0, 0), 255);
  EXPECT_EQ(At(corner, 3, 1, 0), 255);
  EXPECT_EQ(At(corner, 3, 0, 1), 255);
  EXPECT_EQ(At(corner, 3, 1, 1), 0);
  EXPECT_EQ(At(corner, 3, 2, 2), 0);
  // Strength above 255 counts as 255; a plane of the wrong size gives an empty glow.
  EXPECT_EQ(LayGlowPasses(Plane(1, 1, {{0, 0}}, 255), 1, 1, kPlus, 999)[0], 255);
  const auto wrong = LayGlowPasses(std::vector<uint8_t>(5, 255), 3, 3, kPlus, 255);
  EXPECT_TRUE(std::all_of(wrong.begin(), wrong.end(), [](uint8_t a) { return a == 0; }));
  EXPECT_TRUE(LayGlowPasses({}, 0, 0, kPlus, 255).empty());
}

TEST(GlowPasses, LettersAtOppositeCornersOfAWidePlaneBothGlow) {
  // Only the letters' surroundings are worked on: both ends must be reached.
  const auto out = LayGlowPasses(Plane(40, 7, {{0, 6}, {39, 0}}, 255), 40, 7, kPlus, 255);
  EXPECT_EQ(At(out, 40, 0, 6), 255);
  EXPECT_EQ(At(out, 40, 1, 6), 255);
  EXPECT_EQ(At(out, 40, 0, 5), 255);
  EXPECT_EQ(At(out, 40, 39, 0), 255);
  EXPECT_EQ(At(out, 40, 38, 0), 255);
  EXPECT_EQ(At(out, 40, 39, 1), 255);
  EXPECT_EQ(At(out, 40, 20, 3), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), 255), 6);
}

// ---- Softening ----

TEST(SoftenAlpha, EvenPlanesStayEven) {
  const std::vector<uint8_t> even(30 * 12, 200);
  EXPECT_EQ(SoftenAlpha(even, 30, 12, 10, 4), even);
  const std::vector<uint8_t> empty(30 * 12, 0);
  EXPECT_EQ(SoftenAlpha(empty, 30, 12, 10, 4), empty);
}

TEST(SoftenAlpha, ADotSpreadsDimmerAndStaysNearby) {
  const auto out = SoftenAlpha(Plane(9, 9, {{4, 4}}, 255), 9, 9, 3, 3);
  // The dot's block averages to 255 / 9; stretching back never brightens it.
  EXPECT_EQ(At(out, 9, 4, 4), 28);
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 28);
  EXPECT_GT(At(out, 9, 2, 4), 0) << "the glow reaches past the dot";
  EXPECT_EQ(At(out, 9, 0, 0), 0) << "the far corner stays clear";
  // Symmetric about the dot.
  EXPECT_EQ(At(out, 9, 2, 4), At(out, 9, 6, 4));
  EXPECT_EQ(At(out, 9, 4, 2), At(out, 9, 4, 6));
}

TEST(SoftenAlpha, AFarDotChangesNothingAroundAnother) {
  // A wide plane whose spans do not divide evenly: the glow round one dot is
  // the same whether or not another lies at the far corner.
  constexpr int kWidth = 61, kHeight = 31, kSmallWidth = 20, kSmallHeight = 10;
  const auto one = SoftenAlpha(Plane(kWidth, kHeight, {{3, 3}}, 255), kWidth, kHeight, kSmallWidth, kSmallHeight);
  const auto two = SoftenAlpha(Plane(kWidth, kHeight, {{3, 3}, {58, 28}}, 255), kWidth, kHeight, kSmallWidth,
                               kSmallHeight);
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) EXPECT_EQ(At(two, kWidth, x, y), At(one, kWidth, x, y)) << x << "," << y;
  }
  EXPECT_GT(At(one, kWidth, 6, 3), 0) << "the glow reaches past the dot";
  EXPECT_EQ(At(one, kWidth, 30, 15), 0);
  // The far dot glows as much as the near one.
  EXPECT_GT(At(two, kWidth, 58, 28), 0);
  EXPECT_GT(At(two, kWidth, 57, 28), 0);
}

TEST(SoftenAlpha, NoShrinkKeepsThePlaneAndBadSizesAreSafe) {
  const auto dot = Plane(4, 3, {{1, 1}}, 255);
  EXPECT_EQ(SoftenAlpha(dot, 4, 3, 4, 3), dot);
  EXPECT_EQ(SoftenAlpha(dot, 4, 3, 8, 6), dot) << "asked to grow: kept";
  const auto gone = SoftenAlpha(dot, 4, 3, 0, 3);
  EXPECT_TRUE(std::all_of(gone.begin(), gone.end(), [](uint8_t a) { return a == 0; }));
  EXPECT_EQ(SoftenAlpha(std::vector<uint8_t>(5, 9), 4, 3, 2, 1), std::vector<uint8_t>(5, 9));
}

// ---- Against GDI+ ----

// ---- Laying a colour over a pixel ----

TEST(OverPixel, OpaqueCoversClearKeepsAndTheRestBlendsByAlpha) {
  EXPECT_EQ(OverPixel(0xFF102030u, 0xFFA0B0C0u), 0xFFA0B0C0u) << "opaque above covers";
  EXPECT_EQ(OverPixel(0x80102030u, 0x00A0B0C0u), 0x80102030u) << "clear above keeps the pixel";
  EXPECT_EQ(OverPixel(0x00102030u, 0x40A0B0C0u), 0x40A0B0C0u) << "over a clear pixel: the colour itself";
  // Half black over opaque white: opaque, half way between.
  const ARGB grey = OverPixel(0xFFFFFFFFu, 0x80000000u);
  EXPECT_EQ(AlphaOf(grey), 255);
  EXPECT_NEAR(RedOf(grey), 127, 1);
  EXPECT_EQ(RedOf(grey), GreenOf(grey));
  // Translucent over translucent: more opaque than either, the colour weighted by what shows.
  const ARGB both = OverPixel(0x80FF0000u, 0x800000FFu);
  EXPECT_NEAR(AlphaOf(both), 128 + 127 * 128 / 255, 1);
  EXPECT_GT(BlueOf(both), RedOf(both)) << "the upper colour weighs more";
}

TEST(OverPixel, GlowThenLettersLandOnlyInsideThePlacedPart) {
  // A 4 x 3 image, a 3 x 2 part of a 4-wide plane placed at plane (1, 1).
  std::vector<ARGB> image(4 * 3, 0xFF000000u);
  std::vector<uint8_t> glow(4 * 3, 0), letters(4 * 3, 0);
  glow[1 * 4 + 1] = 255;      // inside the part: glow only
  letters[1 * 4 + 2] = 255;   // inside: a whole letter pixel
  letters[2 * 4 + 3] = 128;   // inside: half a letter pixel
  glow[0] = letters[0] = 255;  // outside the part
  const PlaneOnImage place = {reinterpret_cast<uint8_t*>(image.data()), 4 * static_cast<int>(sizeof(ARGB)), 4, 1, 1,
                              4, 3};
  ComposeGlowAndLetters(place, glow, letters, 0xFFFFFFu, 0xFF00FF00u);
  EXPECT_EQ(image[0], 0xFFFFFFFFu) << "plane (1, 1) lands on the part's first image pixel: white glow";
  EXPECT_EQ(image[1], 0xFF00FF00u) << "a whole letter pixel takes the text colour";
  EXPECT_EQ(GreenOf(image[4 + 2]), 128) << "half coverage: half the text colour";
  size_t untouched = 0;
  for (ARGB p : image) untouched += p == 0xFF000000u;
  EXPECT_EQ(untouched, image.size() - 3) << "nothing outside the part, nothing where the planes are clear";
}

class GlowDrawingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
};

TEST_F(GlowDrawingTest, OneDrawMatchesTheLettersDrawnFiveTimes) {
  constexpr int kWidth = 160, kHeight = 50;
  constexpr ARGB kGlow = 0xC8FFFFFFu;
  const GpRectF rect = {0, 0, kWidth - 7, kHeight - 7};
  const wchar_t* text = L"Glow 你好";
  TextFormat format;
  ASSERT_TRUE(format.CreateFormat(0, std::nullopt, false));
  GpFont* font = Toolkit().default_font;

  GlowSurface one_draw(kWidth, kHeight);
  ASSERT_TRUE(DrawGlowPasses(&one_draw, rect, text, font, format.Handle(), kGlow));

  // The reference: the letters drawn in the glow colour at each pass position.
  GlowSurface five_draws(kWidth, kHeight);
  GpGraphics* graphics = nullptr;
  ASSERT_EQ(dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(five_draws.bitmap()), &graphics), 0);
  dll::GdipSetSmoothingMode(graphics, kSmoothingAntiAlias);
  dll::GdipSetTextRenderingHint(graphics, kTextHintAntiAliasGridFit);
  GpSolidFill* brush = nullptr;
  dll::GdipCreateSolidFill(kGlow, &brush);
  for (const auto& [x, y] : {std::pair{5.0f, 4.0f}, {3.0f, 4.0f}, {4.0f, 3.0f}, {4.0f, 5.0f}, {4.0f, 4.0f}}) {
    const GpRectF at = {x, y, rect.Width, rect.Height};
    dll::GdipDrawString(graphics, text, -1, font, &at, format.Handle(), reinterpret_cast<GpBrush*>(brush));
  }
  dll::GdipDeleteBrush(reinterpret_cast<GpBrush*>(brush));
  dll::GdipDeleteGraphics(graphics);

  int lit = 0, far_off = 0;
  for (size_t i = 0; i < one_draw.pixels().size(); ++i) {
    const int a = AlphaOf(one_draw.pixels()[i]), b = AlphaOf(five_draws.pixels()[i]);
    lit += a > 0;
    // Rounding of the layered alpha may differ by a step or two.
    far_off += std::abs(a - b) > 3;
    if (a > 0) {
      EXPECT_EQ(one_draw.pixels()[i] & 0xFFFFFFu, 0xFFFFFFu) << "glow colour at " << i;
    }
  }
  EXPECT_GT(lit, 200);
  EXPECT_EQ(far_off, 0);
}

// A translucent ground with GDI+'s drawing quality, as a control's back buffer.
struct TextCanvas {
  OwnedBitmap bitmap;
  OwnedGraphics graphics;
  TextCanvas(int width, int height) {
    dll::GdipCreateBitmapFromScan0(width, height, 0, kPixelFormat32bppARGB, nullptr, Receive(bitmap));
    dll::GdipGetImageGraphicsContext(AsImage(bitmap.get()), Receive(graphics));
    dll::GdipSetSmoothingMode(graphics.get(), kSmoothingAntiAlias);
    dll::GdipSetTextRenderingHint(graphics.get(), kTextHintAntiAliasGridFit);
    dll::GdipGraphicsClear(graphics.get(), kGround);
  }
  static constexpr ARGB kGround = 0x80336699u;
};

TEST_F(GlowDrawingTest, GlowAndLettersLaidIntoThePixelsMatchTheGdiplusDrawingInsideTheClip) {
  constexpr int kWidth = 200, kHeight = 60;
  const wchar_t* text = L"Glow 你好 gy";
  TextFormat format;
  ASSERT_TRUE(format.CreateFormat(0, std::nullopt, false));
  GpFont* font = Toolkit().default_font;
  // The clip cuts through the letters on the left and at the bottom.
  const GpRectF clip = {14, 6, 150, 24};
  const GpRectF rect = {10, 8, 170, 40};
  for (const int dpi : {96, 144}) {
    for (const int effect : {kEffectGlow, kEffectHalo}) {
      TextCanvas laid(kWidth, kHeight), drawn(kWidth, kHeight);
      const TextTarget target = {laid.bitmap.get(), clip};
      ClipToRect(laid.graphics.get(), clip, kClipReplace);
      DrawControlText(laid.graphics.get(), rect, text, font, 0xC8FF0000u, format.Handle(), effect, 0,
                      DpiScale(dpi), &target);
      ClipToRect(drawn.graphics.get(), clip, kClipReplace);
      DrawControlText(drawn.graphics.get(), rect, text, font, 0xC8FF0000u, format.Handle(), effect, 0,
                      DpiScale(dpi));
      laid.graphics.reset();
      drawn.graphics.reset();
      int changed = 0, far_off = 0, outside = 0;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const ARGB a = PixelOf(laid.bitmap.get(), x, y), b = PixelOf(drawn.bitmap.get(), x, y);
          const bool inside = x >= clip.X && x < clip.X + clip.Width && y >= clip.Y && y < clip.Y + clip.Height;
          if (!inside) {
            outside += a != TextCanvas::kGround;
            continue;
          }
          changed += a != TextCanvas::kGround;
          far_off += std::abs(AlphaOf(a) - AlphaOf(b)) > 3 || std::abs(RedOf(a) - RedOf(b)) > 4 ||
                     std::abs(GreenOf(a) - GreenOf(b)) > 4 || std::abs(BlueOf(a) - BlueOf(b)) > 4;
        }
      }
      EXPECT_GT(changed, 400) << dpi << " dpi, effect " << effect;
      EXPECT_EQ(outside, 0) << dpi << " dpi, effect " << effect << ": nothing outside the clip";
      // Glyph edges may round a step apart; misplaced letters or glow differ by far more.
      EXPECT_LE(far_off, changed / 50) << dpi << " dpi, effect " << effect;
    }
  }
}

}  // namespace
}  // namespace quillet
