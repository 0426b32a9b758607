// The label: creation, measuring, vertical alignment, repaint rules, animated
// text changes, glow, auto contrast, fonts, and text changes from many threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/ui/controls/probe_control.h"
#include "ui/controls/label.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"
#include "ui/core/drawing.h"

namespace quillet::testing_support {
namespace {

class LabelTest : public HostFixture {};

constexpr int kTrimmingEllipsisCharacter = 3;  // GDI+ StringTrimmingEllipsisCharacter

// Pixels of a bitmap whose alpha is not zero.
int OpaquePixels(GpBitmap* bitmap, int width, int height) {
  int count = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) count += AlphaOf(PixelOf(bitmap, x, y)) != 0;
  }
  return count;
}

TEST_F(LabelTest, CreateKeepsTheDefaultsAndIsNotFocusable) {
  Label label;
  const ControlRef ref = label.Create(window_, 20, 40, 200, 40, "你好");
  ASSERT_NE(ref, kNoControl);
  EXPECT_EQ(label.KindCode(), kKindLabel);
  EXPECT_FALSE(label.IsFocusable());
  EXPECT_EQ(label.TextColour(), 0xD2000000u);
  EXPECT_EQ(label.VerticalAlign(), kVerticalCentre);
  EXPECT_EQ(label.GradientMode(), 0);
  EXPECT_EQ(label.Font(), Toolkit().default_font);
  EXPECT_STREQ(label.Text().c_str(), "你好");
  EXPECT_EQ(label.Alignment(), kAlignNear);
  EXPECT_EQ(label.FormatFlags(), kFormatNoWrap);
  EXPECT_EQ(label.Create(window_, 0, 0, 1, 1, "x"), ref);  // already created
  EXPECT_STREQ(label.Text().c_str(), "你好");
}

TEST_F(LabelTest, MeasuredSizeFollowsTheText) {
  Label one, two, none;
  one.Create(window_, 10, 10, 300, 30, "Quillet");
  two.Create(window_, 10, 50, 300, 30, "QuilletQuillet");
  none.Create(window_, 10, 90, 300, 30, "");
  EXPECT_GT(one.MeasuredWidth(), 20);
  EXPECT_NEAR(two.MeasuredWidth(), 2 * one.MeasuredWidth(), 4);
  EXPECT_GE(one.MeasuredHeight(), 12);
  EXPECT_LE(one.MeasuredHeight(), 20);
  EXPECT_EQ(none.MeasuredWidth(), 0);
  // A new text is measured when the size is read, not left at the old one's.
  none.Text("QuilletQuillet");
  EXPECT_EQ(none.MeasuredWidth(), two.MeasuredWidth());
  none.Text("");
  EXPECT_EQ(none.MeasuredWidth(), 0);
  // A narrower single line is measured in its new bounds, not left at the old ones'.
  LabelOptions trimmed;
  trimmed.trimming = kTrimmingEllipsisCharacter;
  Label resized, narrow;
  resized.Create(window_, 10, 130, 300, 30, "QuilletQuilletQuillet", trimmed);
  narrow.Create(window_, 10, 170, 60, 30, "QuilletQuilletQuillet", trimmed);
  const int wide_width = resized.MeasuredWidth();
  ASSERT_LT(narrow.MeasuredWidth(), wide_width);
  resized.Move(std::nullopt, std::nullopt, 60.0f, std::nullopt, true);
  EXPECT_EQ(resized.MeasuredWidth(), narrow.MeasuredWidth());
  // A bigger font measures taller.
  one.FontSize(24.0f);
  EXPECT_FLOAT_EQ(one.FontSize(), 24.0f);
  EXPECT_GE(one.MeasuredHeight(), 24);
}

TEST_F(LabelTest, VerticalAlignmentPlacesTheTextRectangle) {
  Label label;
  label.Create(window_, 10, 10, 200, 40, "Quillet");
  const int measured = label.MeasuredHeight();
  ASSERT_GT(measured, 0);
  label.VerticalAlign(kVerticalBottom);
  EXPECT_FLOAT_EQ(label.LastTextRect().Y, 2 + 40 - 4 - measured - 2);
  EXPECT_FLOAT_EQ(label.LastTextRect().Height, measured);
  EXPECT_FLOAT_EQ(label.LastTextRect().X, 2);
  EXPECT_FLOAT_EQ(label.LastTextRect().Width, 196);
  label.VerticalAlign(kVerticalTop);
  EXPECT_FLOAT_EQ(label.LastTextRect().Y, 4);
  label.VerticalAlign(kVerticalCentre);
  EXPECT_FLOAT_EQ(label.LastTextRect().Y, 2 + (36 - measured) / 2.0f);
  // Multi-line: the text area grows by the font height + 3.
  label.MultiLine(true);
  EXPECT_EQ(label.FormatFlags(), kMultiLineFormatFlags);
  EXPECT_GT(label.LastTextRect().Height, 36 + 3);
}

TEST_F(LabelTest, BottomAlignedGlyphsLandInTheLowerHalf) {
  Label label;
  LabelOptions black;
  black.text_colour = 0xFF000000u;
  black.gradient_mode = kGradientNone;
  label.Create(window_, 10, 10, 100, 60, "Wg", black);
  label.VerticalAlign(kVerticalBottom);
  GpBitmap* buffer = label.BackBufferBitmap();
  int top_half = 0, bottom_half = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 100; ++x) (y < 30 ? top_half : bottom_half) += AlphaOf(PixelOf(buffer, x, y)) != 0;
  }
  EXPECT_EQ(top_half, 0);
  EXPECT_GT(bottom_half, 10);
}

TEST_F(LabelTest, SameTextDoesNotRepaintButAnEffectAlwaysAnimates) {
  std::vector<RecordedEvent> log;
  Label label;
  const ControlRef ref = label.Create(window_, 10, 10, 200, 30, "甲");
  const int repaints = label.Repaints();
  EXPECT_STREQ(label.Text("甲").c_str(), "甲");
  EXPECT_EQ(label.Repaints(), repaints);
  EXPECT_STREQ(label.Text("乙").c_str(), "乙");
  EXPECT_EQ(label.Repaints(), repaints + 1);
  EXPECT_EQ(label.TransitionFrameCount(), 0);

  // The same text with an effect: a transition of 5 frames, 60 ms apart.
  const auto start = std::chrono::steady_clock::now();
  label.Text("乙", 3);
  EXPECT_EQ(label.Repaints(), repaints + 2);
  EXPECT_EQ(label.TransitionFrameCount(), kDefaultChangeFrames);
  EXPECT_EQ(label.TransitionPeriodMs(), kDefaultChangePeriodMs);
  EXPECT_EQ(label.TransitionEffectCode(), 3);
  EXPECT_NE(label.TransitionSnapshot(), nullptr);
  while (label.TransitionFrameCount() != 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    PumpFor(5);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(label.TransitionFrameCount(), 0);
  EXPECT_EQ(label.TransitionPeriodMs(), 0);
  EXPECT_GE(elapsed, std::chrono::milliseconds(5 * 60 - 20));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
  // After the end a plain change is plain again.
  label.Text("丙");
  EXPECT_EQ(label.TransitionFrameCount(), 0);
  (void)ref;
  (void)log;
}

TEST_F(LabelTest, EmptyTextPaintsOnlyFrameAndBackground) {
  Label empty;
  LabelOptions no_gradient;
  no_gradient.gradient_mode = kGradientNone;
  empty.Create(window_, 10, 10, 60, 30, "", no_gradient);
  EXPECT_EQ(OpaquePixels(empty.BackBufferBitmap(), 60, 30), 0);
  empty.Frame(kBorderFlat);
  GpBitmap* buffer = empty.BackBufferBitmap();
  EXPECT_NE(AlphaOf(PixelOf(buffer, 0, 0)), 0);
  EXPECT_NE(AlphaOf(PixelOf(buffer, 59, 29)), 0);
  EXPECT_EQ(AlphaOf(PixelOf(buffer, 30, 15)), 0);
  // A gradient fills the area but its last column and row.
  empty.Frame(0);
  empty.GradientColour1(0xFF336699u);
  empty.GradientColour2(0xFF336699u);
  empty.GradientMode(1);
  EXPECT_EQ(PixelOf(buffer, 30, 15), 0xFF336699u);
}

TEST_F(LabelTest, EveryKindOfLineBreakDrawsAsALineBreak) {
  // Sentences arrive with CR LF; a CR must not show as a box or add a line.
  constexpr int kWidth = 120, kHeight = 60;
  Label lf, crlf, cr;
  LabelOptions lines;
  lines.text_colour = 0xFF000000u;
  lines.multi_line = true;
  lf.Create(window_, 10, 10, kWidth, kHeight, "\xBC\xD7\n\xD2\xD2", lines);
  crlf.Create(window_, 10, 80, kWidth, kHeight, "\xBC\xD7\r\n\xD2\xD2", lines);
  cr.Create(window_, 10, 150, kWidth, kHeight, "\xBC\xD7\r\xD2\xD2", lines);
  EXPECT_EQ(crlf.MeasuredHeight(), lf.MeasuredHeight());
  EXPECT_EQ(cr.MeasuredHeight(), lf.MeasuredHeight());
  int differing_crlf = 0, differing_cr = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const ARGB want = PixelOf(lf.BackBufferBitmap(), x, y);
      differing_crlf += PixelOf(crlf.BackBufferBitmap(), x, y) != want;
      differing_cr += PixelOf(cr.BackBufferBitmap(), x, y) != want;
    }
  }
  EXPECT_EQ(differing_crlf, 0);
  EXPECT_EQ(differing_cr, 0);
  EXPECT_STREQ(crlf.Text().c_str(), "\xBC\xD7\r\n\xD2\xD2") << "the text itself keeps its CR LF";
}

// Frame pixels inside a rectangle that differ from the background buffer.
int FramePixelsOffBackground(const HostWindow& host, const RECT& r) {
  DIBSECTION frame = {}, background = {};
  if (GetObjectW(host.FrameSurface().dib, sizeof frame, &frame) != sizeof frame ||
      GetObjectW(host.BackgroundBuffer().dib, sizeof background, &background) != sizeof background) {
    return -1;
  }
  GdiFlush();
  const auto* f = static_cast<const uint32_t*>(frame.dsBm.bmBits);
  const auto* b = static_cast<const uint32_t*>(background.dsBm.bmBits);
  const int width = frame.dsBm.bmWidth, height = std::abs(frame.dsBm.bmHeight);
  int differing = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    const size_t row = static_cast<size_t>(frame.dsBmih.biHeight > 0 ? height - 1 - y : y) * width;
    for (int x = r.left; x < r.right; ++x) differing += f[row + x] != b[row + x];
  }
  return differing;
}

TEST_F(LabelTest, TheFrameLosesTheOldTextWhereTheNewOneIsClear) {
  // Only the part of the label where either text shows is recomposed: the
  // old one's tail, the new one's glow and a paint that was never shown must
  // all be inside it.
  Label label;
  LabelOptions glowing;
  glowing.text_colour = 0xFF000000u;
  glowing.text_effect = kEffectGlow;
  label.Create(window_, 10, 10, 200, 30, "WWWWWWWWWWWW", glowing);
  const RECT tail = {10 + 60, 10, 10 + 200, 10 + 30};
  ASSERT_GT(FramePixelsOffBackground(host_, tail), 50) << "the long text is in the frame";
  label.Text("W");
  EXPECT_EQ(FramePixelsOffBackground(host_, tail), 0);
  const RECT head = {10, 10, 10 + 40, 10 + 30};
  EXPECT_GT(FramePixelsOffBackground(host_, head), 0);

  // Painted while redraw is suspended: not on screen, so the next shown paint
  // must clear what the frame still holds from before.
  label.Text("WWWWWWWWWWWW");
  label.SuspendRedraw();
  label.Text("W");
  label.ResumeRedraw();
  label.Text("WW");
  EXPECT_EQ(FramePixelsOffBackground(host_, tail), 0);
}

TEST_F(LabelTest, ShorterTextLeavesNothingOfTheLongerOne) {
  // The default gradient runs between two invisible colours: nothing but the letters is drawn.
  Label label;
  LabelOptions black;
  black.text_colour = 0xFF000000u;
  label.Create(window_, 10, 10, 200, 30, "WWWWWWWWWWWW", black);
  GpBitmap* buffer = label.BackBufferBitmap();
  auto opaque_right_of = [&](int left) {
    int count = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = left; x < 200; ++x) count += AlphaOf(PixelOf(buffer, x, y)) != 0;
    }
    return count;
  };
  ASSERT_GT(opaque_right_of(60), 50);
  label.Text("i");
  EXPECT_EQ(opaque_right_of(30), 0) << "the old letters were cleared";
  label.GradientColour1(0x80FF0000u);
  label.GradientMode(1);
  EXPECT_NE(AlphaOf(PixelOf(buffer, 150, 15)), 0) << "a visible gradient is drawn";
  label.GradientColour1(0);
  EXPECT_EQ(AlphaOf(PixelOf(buffer, 150, 15)), 0);
}

// The sentence label's shape: 20-pixel text, multi-line, 88 pixels high, about
// three lines; a longer text shows three whole lines, the last ending in "…".
class LongTextLabelTest : public LabelTest {
 protected:
  void SetUp() override {
    LabelTest::SetUp();
    LabelOptions sentence;
    sentence.text_colour = 0xFF000000u;
    sentence.multi_line = true;
    sentence.font_size = 20.0f;
    label_.Create(window_, 8, 88, 364, 88, "你好", sentence);
  }
  void TearDown() override {
    label_.Destroy();
    LabelTest::TearDown();
  }
  // Opaque pixels in the rows where a fourth line would start, above the bottom inset.
  int InkBelowTheThirdLine() { return OpaquePixelsInRows(label_.BackBufferBitmap(), 364, 79, 86); }
  static int OpaquePixelsInRows(GpBitmap* bitmap, int width, int top, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < width; ++x) count += AlphaOf(PixelOf(bitmap, x, y)) > 40;
    }
    return count;
  }
  Label label_;
};

const char kLongSentence[] =
    "这是一个很长的句子，用来检查标签在四行以上时是否只显示完整的行并且在最后一行的末尾加上省略号，看看会发生什么事情呢朋友们";

TEST_F(LongTextLabelTest, ALongTextShowsWholeLinesEndingInAnEllipsisAndTheTipHoldsItAll) {
  label_.Text(kLongSentence);
  const std::wstring whole = WideString(Utf16FromGbk(kLongSentence).get());
  const std::wstring& shown = label_.ShownText();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown.back(), L'\u2026');
  EXPECT_LT(shown.size(), whole.size());
  EXPECT_EQ(whole.compare(0, shown.size() - 1, shown, 0, shown.size() - 1), 0) << "the shown part is the start";
  EXPECT_EQ(InkBelowTheThirdLine(), 0) << "no part of a fourth line";
  EXPECT_GT(OpaquePixelsInRows(label_.BackBufferBitmap(), 364, 52, 72), 200) << "the third line is there";
  EXPECT_STREQ(label_.Tooltip().c_str(), kLongSentence);
  EXPECT_STREQ(label_.Text().c_str(), kLongSentence) << "the label keeps the whole text";
  // A text that fits shows as it is, and the tip made for the long one goes.
  label_.Text("短句");
  EXPECT_EQ(label_.ShownText(), L"短句");
  EXPECT_STREQ(label_.Tooltip().c_str(), "");
  // The wide-text path trims the same way.
  const ByteSet wide = Utf16FromGbk(kLongSentence);
  label_.TextW(wide.get());
  EXPECT_EQ(label_.ShownText(), shown);
  EXPECT_STREQ(label_.Tooltip().c_str(), kLongSentence);
}

TEST_F(LongTextLabelTest, TheTipOfATrimmedTextIsShownWhileTheMouseIsOnTheLabel) {
  Mouse(WM_MOUSEMOVE, 100, 120);
  ASSERT_EQ(host_.HoverControl(), label_.GetRef());
  label_.Text(kLongSentence);
  EXPECT_EQ(SendMessageW(host_.TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 1) << "applied at once for the hovered label";
  label_.Text("短句");
  EXPECT_EQ(SendMessageW(host_.TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 0);
  // A tip the application set is left alone when the text fits.
  label_.Tooltip("说明", true);
  label_.Text("另一句");
  EXPECT_STREQ(label_.Tooltip().c_str(), "说明");
  // The tip of a cut Unicode text shows the characters GBK has not (♪, emoji) as they are.
  std::wstring unicode = L"\u266A\U0001F319";
  unicode += WideString(Utf16FromGbk(kLongSentence).get());
  const ByteSet utf16(unicode.c_str(), (unicode.size() + 1) * sizeof(wchar_t));
  label_.TextW(utf16.get());
  ASSERT_EQ(SendMessageW(host_.TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 1);
  std::wstring tip(unicode.size() + 16, L'\0');
  TTTOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = window_;
  tool.lpszText = tip.data();
  SendMessageW(host_.TooltipWindow(), TTM_GETTEXTW, tip.size(), reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(std::wstring(tip.c_str()), unicode);
  // A second text that differs only in such characters replaces the tip too.
  unicode[0] = L'\u22EF';
  const ByteSet other(unicode.c_str(), (unicode.size() + 1) * sizeof(wchar_t));
  label_.TextW(other.get());
  std::fill(tip.begin(), tip.end(), L'\0');
  SendMessageW(host_.TooltipWindow(), TTM_GETTEXTW, tip.size(), reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(std::wstring(tip.c_str()), unicode);
}

TEST_F(LabelTest, GlowAndHaloDrawAroundTheLetters) {
  Label plain, glow, halo;
  LabelOptions options;
  options.text_colour = 0xFF000000u;
  options.gradient_mode = kGradientNone;
  plain.Create(window_, 10, 10, 120, 40, "Glow", options);
  options.text_effect = kEffectGlow;
  glow.Create(window_, 10, 60, 120, 40, "Glow", options);
  options.text_effect = kEffectHalo;
  halo.Create(window_, 10, 110, 120, 40, "Glow", options);
  const int plain_pixels = OpaquePixels(plain.BackBufferBitmap(), 120, 40);
  const int glow_pixels = OpaquePixels(glow.BackBufferBitmap(), 120, 40);
  const int halo_pixels = OpaquePixels(halo.BackBufferBitmap(), 120, 40);
  EXPECT_GT(plain_pixels, 20);
  EXPECT_GT(glow_pixels, plain_pixels * 3 / 2);
  EXPECT_GT(halo_pixels, plain_pixels);
  // The automatic glow behind dark text is white: some pixel is light and translucent.
  bool light = false;
  for (int y = 0; y < 40 && !light; ++y) {
    for (int x = 0; x < 120 && !light; ++x) {
      const ARGB p = PixelOf(glow.BackBufferBitmap(), x, y);
      light = AlphaOf(p) > 0 && AlphaOf(p) < 200 && RedOf(p) > 200 && GreenOf(p) > 200 && BlueOf(p) > 200;
    }
  }
  EXPECT_TRUE(light);
  EXPECT_EQ(glow.TextEffect(), kEffectGlow);
}

TEST_F(LabelTest, FontNameStyleAndSizeMakeNewFontsAndKeepTheDefault) {
  Label label;
  label.Create(window_, 10, 10, 200, 30, "字");
  GpFont* shared = label.Font();
  ASSERT_EQ(shared, Toolkit().default_font);
  label.FontStyle(1);
  EXPECT_EQ(label.FontStyle(), 1);
  EXPECT_NE(label.Font(), shared);
  EXPECT_FLOAT_EQ(label.FontSize(), 12.0f);
  label.Destroy();
  EXPECT_EQ(Toolkit().default_font, shared);
  // The shared default font survived the label's destruction.
  Label again;
  again.Create(window_, 10, 10, 200, 30, "字");
  EXPECT_GT(again.MeasuredWidth(), 0);
}

// ---- Auto contrast ----

class DarkBaseLabelTest : public HostFixture {
  std::optional<int> BaseColour() const override { return 0x000000; }
};
class LightBaseLabelTest : public HostFixture {
  std::optional<int> BaseColour() const override { return 0xF0F0F0; }
};
class BlackPictureLabelTest : public HostFixture {
  const char* PictureFile() const override { return "black.png"; }
};
class WhitePictureLabelTest : public HostFixture {
  const char* PictureFile() const override { return "white.png"; }
};

template <typename Fixture>
ARGB AutoContrastOf(HWND window) {
  Label label;
  LabelOptions options;
  options.text_colour = 0xC8123456u;
  options.auto_contrast = true;
  label.Create(window, 20, 40, 200, 30, "对比", options);
  return label.LastTextColour();
}

TEST_F(DarkBaseLabelTest, DarkBaseColourGivesWhiteText) {
  EXPECT_EQ(AutoContrastOf<DarkBaseLabelTest>(window_), 0xC8FFFFFFu);
}
TEST_F(LightBaseLabelTest, LightBaseColourGivesBlackText) {
  EXPECT_EQ(AutoContrastOf<LightBaseLabelTest>(window_), 0xC8000000u);
}
TEST_F(BlackPictureLabelTest, BlackBackgroundImageGivesWhiteText) {
  ASSERT_NE(host_.BackgroundImage(), nullptr);
  EXPECT_EQ(AutoContrastOf<BlackPictureLabelTest>(window_), 0xC8FFFFFFu);
}
TEST_F(WhitePictureLabelTest, WhiteBackgroundImageGivesBlackText) {
  ASSERT_NE(host_.BackgroundImage(), nullptr);
  EXPECT_EQ(AutoContrastOf<WhitePictureLabelTest>(window_), 0xC8000000u);
}

TEST(TextColours, DarknessUsesLumaBelow192) {
  EXPECT_TRUE(IsDarkColour(0, 0, 0));
  EXPECT_FALSE(IsDarkColour(255, 255, 255));
  EXPECT_TRUE(IsDarkColour(191, 191, 191));
  EXPECT_FALSE(IsDarkColour(192, 192, 192));
  EXPECT_TRUE(IsDarkArgb(0xFF0000FFu));   // pure blue: luma 29
  EXPECT_FALSE(IsDarkArgb(0x00FFFF00u));  // yellow: luma 226, alpha ignored
}

// ---- Text from other threads ----

// Not layered: each repaint is a BitBlt, so the run measures the label, not the presentation.
class LabelThreadTest : public HostFixture {
 protected:
  int WindowAlpha() const override { return kNoAlpha; }
};

TEST_F(LabelThreadTest, TextChangesFromEightThreadsWhileTheUiThreadRepaints) {
  constexpr int kThreads = 8;
  constexpr int kChangesPerThread = 500;
  Label label;
  LabelOptions options;
  options.auto_contrast = true;
  label.Create(window_, 10, 10, 300, 40, "开始", options);
  std::atomic<int> finished{0};
  std::atomic<int> mismatches{0};
  std::atomic<int> ui_repaints{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      const int repaints_at_start = ui_repaints.load();
      for (int i = 0; i < kChangesPerThread; ++i) {
        // Halfway, hold until the UI thread has repainted twice, so repaints surely fall
        // between this thread's changes however the scheduler runs the pump.
        if (i == kChangesPerThread / 2) {
          while (ui_repaints.load() < repaints_at_start + 2) std::this_thread::yield();
        }
        const std::string text = "线程" + std::to_string(t) + "-" + std::to_string(i);
        Text answer = label.Text(text.c_str());
        // The change and the read-back happen together on the UI thread.
        if (text != answer.c_str()) mismatches.fetch_add(1);
      }
      finished.fetch_add(1);
    });
  }
  while (finished.load() < kThreads) {
    PumpFor(0);
    label.PaintNow();
    SendMessageW(window_, DUIM_INVALIDATE, kRedrawNow, reinterpret_cast<LPARAM>(&label.BoundsRect()));
    label.SendEvent(DUIM_BACKDROPCHANGED, 0, 0);  // auto contrast repaints too
    ui_repaints.fetch_add(1);
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_STREQ(label.Text("结束").c_str(), "结束");
  std::atomic<bool> read{false};
  std::string seen;
  std::thread last([&] {
    seen = label.Text().c_str();
    read = true;
  });
  while (!read.load()) PumpFor(1);
  last.join();
  EXPECT_EQ(seen, "结束");
  EXPECT_GT(label.MeasuredWidth(), 0);
}

// ---- Text format ----

class TextFormatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
};

TEST_F(TextFormatTest, ReadingLeavesTheFormatAndOwnershipDecidesDeletion) {
  GpStringFormat* kept = nullptr;
  {
    TextFormat format;
    ASSERT_TRUE(format.CreateFormat(kFormatNoWrap, std::nullopt, false));
    EXPECT_FALSE(format.owns());
    EXPECT_EQ(format.FormatAlignment(kAlignCenter), kAlignCenter);
    EXPECT_EQ(format.FormatAlignment(), kAlignCenter);
    EXPECT_EQ(format.FormatAlignment(), kAlignCenter);
    EXPECT_EQ(format.FormatTrimming(kTrimmingNone), kTrimmingNone);
    EXPECT_EQ(format.HotkeyPrefix(kHotkeyPrefixShow), kHotkeyPrefixShow);
    EXPECT_EQ(format.HotkeyPrefix(), kHotkeyPrefixShow);
    EXPECT_EQ(format.FormatFlagsOf(), kFormatNoWrap);
    EXPECT_EQ(format.FormatFlagsOf(kMultiLineFormatFlags), kMultiLineFormatFlags);
    kept = format.Handle();
    TextFormat copy = format;
    EXPECT_EQ(copy.Handle(), kept);
  }
  // Still alive: reading works.
  int alignment = -1;
  EXPECT_EQ(dll::GdipGetStringFormatAlign(kept, &alignment), 0);
  EXPECT_EQ(alignment, kAlignCenter);
  dll::GdipDeleteStringFormat(kept);

  TextFormat owning;
  ASSERT_TRUE(owning.CreateFormat(0));
  EXPECT_TRUE(owning.owns());
  owning.DeleteFormat();
  EXPECT_EQ(owning.Handle(), nullptr);
  owning.DeleteFormat();  // nothing left to delete
}

// The process heap that holds a GDI+ object, or null when none answers for it.
HANDLE HeapHolding(const void* object) {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (HeapValidate(heaps[i], 0, object)) return heaps[i];
  }
  return nullptr;
}

TEST_F(TextFormatTest, CopiesShareTheFormatAndOnlyTheOriginalDeletesIt) {
  TextFormat original;
  ASSERT_TRUE(original.CreateFormat(kFormatNoWrap));
  GpStringFormat* shared = original.Handle();
  HANDLE heap = HeapHolding(shared);
  if (heap == nullptr) GTEST_SKIP() << "GDI+ objects are not heap blocks here";
  {
    TextFormat copy = original;
    EXPECT_EQ(copy.Handle(), shared);
    EXPECT_FALSE(copy.owns());
  }
  EXPECT_TRUE(HeapValidate(heap, 0, shared)) << "releasing the copy deleted the original's format";
  EXPECT_EQ(original.FormatAlignment(kAlignFar), kAlignFar);
  EXPECT_EQ(original.FormatAlignment(), kAlignFar);
  {
    TextFormat assigned;
    ASSERT_TRUE(assigned.CreateFormat(0));
    GpStringFormat* replaced = assigned.Handle();
    assigned = original;
    EXPECT_EQ(assigned.Handle(), shared);
    EXPECT_FALSE(assigned.owns());
    EXPECT_FALSE(HeapValidate(heap, 0, replaced)) << "the format it owned before is deleted";
    assigned = assigned;  // assigning itself keeps the shared format
    EXPECT_EQ(assigned.Handle(), shared);
  }
  EXPECT_TRUE(HeapValidate(heap, 0, shared));
  EXPECT_TRUE(HeapValidate(heap, 0, nullptr)) << "the whole heap is sound";
  original.DeleteFormat();
  EXPECT_FALSE(HeapValidate(heap, 0, shared));
}

}  // namespace
}  // namespace quillet::testing_support
