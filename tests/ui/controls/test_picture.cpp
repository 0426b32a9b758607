// The picture: size modes, icons, animated GIF frame timing, zero delays,
// animate on and off, image replacement with a cross-fade.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/controls/probe_control.h"
#include "ui/controls/picture.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;

// Not layered: a repaint is a BitBlt, so frame timing is the picture's own.
class PictureTest : public HostFixture {
 protected:
  int WindowAlpha() const override { return kNoAlpha; }
};

bool IsRed(ARGB c) { return AlphaOf(c) > 200 && RedOf(c) > 200 && GreenOf(c) < 60 && BlueOf(c) < 60; }

TEST_F(PictureTest, SizeModesPlaceTheImage) {
  ByteSet red = ReadDataFile("red16.png");
  Picture stretch, natural, centred, source, part;
  stretch.Create(window_, 10, 10, 40, 40, red.get());
  natural.Create(window_, 60, 10, 40, 40, red.get(), {}, {}, {}, kSizeNatural);
  centred.Create(window_, 110, 10, 40, 40, red.get(), {}, {}, {}, kSizeCentred);
  source.Create(window_, 160, 10, 40, 40, red.get(), {}, {}, {}, kSizeSourceRect);  // empty source rectangle
  part.Create(window_, 210, 10, 40, 40, red.get(), {}, {}, {}, kSizeSourceRect, RECT{0, 0, 8, 8});
  EXPECT_TRUE(IsRed(PixelOf(stretch.BackBufferBitmap(), 35, 35)));
  EXPECT_TRUE(IsRed(PixelOf(natural.BackBufferBitmap(), 5, 5)));
  EXPECT_EQ(AlphaOf(PixelOf(natural.BackBufferBitmap(), 30, 30)), 0);
  EXPECT_TRUE(IsRed(PixelOf(centred.BackBufferBitmap(), 20, 20)));
  EXPECT_EQ(AlphaOf(PixelOf(centred.BackBufferBitmap(), 3, 3)), 0);
  EXPECT_TRUE(IsRed(PixelOf(source.BackBufferBitmap(), 5, 5)));
  EXPECT_EQ(AlphaOf(PixelOf(source.BackBufferBitmap(), 30, 30)), 0);
  EXPECT_TRUE(IsRed(PixelOf(part.BackBufferBitmap(), 35, 35)));
  EXPECT_EQ(stretch.FrameCount(), 1);
  EXPECT_THAT(stretch.FrameDelays(), ElementsAre(kDefaultFrameDelay));
  EXPECT_EQ(stretch.KindCode(), kKindPicture);
  EXPECT_TRUE(stretch.IsFocusable());
}

TEST_F(PictureTest, BackgroundColourFillsAndUndecodableBytesShowNothing) {
  ByteSet red = ReadDataFile("red16.png");
  Picture picture;
  picture.Create(window_, 10, 10, 40, 40, red.get(), {}, 0xFF00FF00u, {}, kSizeNatural);
  EXPECT_EQ(PixelOf(picture.BackBufferBitmap(), 30, 30), 0xFF00FF00u);
  picture.BackgroundColour(0xFF0000FFu);
  EXPECT_EQ(PixelOf(picture.BackBufferBitmap(), 30, 30), 0xFF0000FFu);
  ByteSet junk("junk", 4);
  Picture broken;
  broken.Create(window_, 60, 10, 40, 40, junk.get(), {}, 0xFF00FF00u);
  EXPECT_EQ(broken.Image(), nullptr);
  EXPECT_EQ(broken.CurrentFrame(), 0);
  EXPECT_EQ(AlphaOf(PixelOf(broken.BackBufferBitmap(), 20, 20)), 0);  // not painted at all
}

TEST_F(PictureTest, IconHandleBecomesAnArgbImage) {
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  ASSERT_NE(icon, nullptr);
  Picture picture;
  ASSERT_NE(picture.CreateFromHandle(window_, 10, 10, 32, 32, icon), kNoControl);
  ASSERT_NE(picture.Image(), nullptr);
  UINT width = 0;
  dll::GdipGetImageWidth(picture.Image(), &width);
  EXPECT_GT(width, 0u);
  EXPECT_THAT(picture.FrameDelays(), ElementsAre(kDefaultFrameDelay));
  int opaque = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) opaque += AlphaOf(PixelOf(picture.BackBufferBitmap(), x, y)) > 0;
  }
  EXPECT_GT(opaque, 50);
}

// Watches which frame the picture draws, for `ms` milliseconds; returns
// (frame index, how long it stayed) in order of appearance.
std::vector<std::pair<int, long long>> WatchFrames(Picture& picture, int ms) {
  std::vector<std::pair<int, long long>> shown;
  auto since = std::chrono::steady_clock::now();
  int current = picture.LastDrawnFrame();
  const auto end = since + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    PumpFor(1);
    if (picture.LastDrawnFrame() != current) {
      const auto now = std::chrono::steady_clock::now();
      shown.emplace_back(current, std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count());
      current = picture.LastDrawnFrame();
      since = now;
    }
  }
  return shown;
}

TEST_F(PictureTest, AnimatedGifShowsEachFrameForItsOwnDelay) {
  ByteSet gif = ReadDataFile("three_frames.gif");
  Picture picture;
  picture.Create(window_, 10, 10, 16, 16, gif.get(), true);
  ASSERT_EQ(picture.FrameCount(), 3);
  EXPECT_THAT(picture.FrameDelays(), ElementsAre(5, 10, 20));
  EXPECT_EQ(picture.LastDrawnFrame(), 0);
  const auto shown = WatchFrames(picture, 2000);
  ASSERT_GE(shown.size(), 4u);
  const long long expected[3] = {50, 100, 200};
  // The first entry started before watching; check full periods after it.
  for (size_t i = 1; i < shown.size(); ++i) {
    const int frame = shown[i].first;
    EXPECT_EQ(frame, static_cast<int>((shown[0].first + i) % 3));
    EXPECT_GE(shown[i].second, expected[frame] - 15) << "frame " << frame;
    EXPECT_LE(shown[i].second, expected[frame] + 300) << "frame " << frame;  // a loaded machine is late, never early
  }
}

TEST_F(PictureTest, ZeroDelaysBecomeTenHundredthsWhenFixed) {
  ByteSet gif = ReadDataFile("zero_delays.gif");
  Picture fixed, raw;
  fixed.Create(window_, 10, 10, 16, 16, gif.get(), true, {}, true);
  raw.Create(window_, 40, 10, 16, 16, gif.get(), false, {}, false);
  EXPECT_THAT(fixed.FrameDelays(), ElementsAre(10, 10, 10));
  EXPECT_THAT(raw.FrameDelays(), ElementsAre(0, 0, 0));
  const auto shown = WatchFrames(fixed, 1500);
  ASSERT_GE(shown.size(), 4u);
  for (size_t i = 1; i < shown.size(); ++i) {
    EXPECT_GE(shown[i].second, 85);
    EXPECT_LE(shown[i].second, 400);
  }
}

TEST_F(PictureTest, AnimateOffShowsTheFirstFrameAndTurningItOnRestarts) {
  ByteSet gif = ReadDataFile("three_frames.gif");
  Picture picture;
  picture.Create(window_, 10, 10, 16, 16, gif.get(), false);
  PumpFor(300);
  EXPECT_EQ(picture.LastDrawnFrame(), 0);
  picture.PaintNow();
  EXPECT_EQ(picture.LastDrawnFrame(), 0);
  picture.Animate(true);
  EXPECT_EQ(picture.LastDrawnFrame(), 0);  // restarted at frame 1
  PumpFor(120);
  EXPECT_NE(picture.LastDrawnFrame(), 0);
  picture.Animate(false);
  EXPECT_EQ(picture.LastDrawnFrame(), 0);
  const int drawn = picture.LastDrawnFrame();
  PumpFor(250);
  EXPECT_EQ(picture.LastDrawnFrame(), drawn);
}

TEST_F(PictureTest, ReplacingWithAnEffectCrossFadesAndHoldsTheAnimationUntilTheEnd) {
  ByteSet gif = ReadDataFile("three_frames.gif");
  ByteSet fixed_gif = ReadDataFile("zero_delays.gif");
  Picture picture;
  picture.Create(window_, 10, 10, 16, 16, gif.get(), true, {}, true);
  PumpFor(20);
  const auto start = std::chrono::steady_clock::now();
  picture.SetImage(fixed_gif.get(), 0);
  EXPECT_EQ(picture.ChangeEffect(), 0);
  EXPECT_EQ(picture.TransitionFrameCount(), kPictureChangeFrames);
  EXPECT_EQ(picture.TransitionPeriodMs(), kPictureChangePeriodMs);
  EXPECT_EQ(picture.LastDrawnFrame(), 0);
  bool moved_during_fade = false;
  while (picture.ChangeEffect() != kNoChangeEffect && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    PumpFor(2);
    if (picture.ChangeEffect() != kNoChangeEffect && picture.LastDrawnFrame() != 0) moved_during_fade = true;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(moved_during_fade);
  EXPECT_EQ(picture.ChangeEffect(), kNoChangeEffect);
  EXPECT_EQ(picture.TransitionFrameCount(), 0);
  EXPECT_GE(elapsed, std::chrono::milliseconds(5 * 60 - 20));
  EXPECT_GE(WatchFrames(picture, 1000).size(), 2u);  // playing again
  // Without an effect the replacement is plain.
  picture.SetImage(gif.get());
  EXPECT_EQ(picture.TransitionFrameCount(), 0);
  EXPECT_EQ(picture.SetImage().size(), gif.size());
}

}  // namespace
}  // namespace quillet::testing_support
