// The button: looks read back from its pixels, the pressed shift, layout
// codes, images, state changes from real mouse messages, hover cross-fades.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/screen_pixel.h"
#include "support/xdotool.h"
#include "tests/ui/controls/probe_control.h"
#include "ui/controls/button.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;

// A black base colour: the overlay gradient darkens the light face.
class ButtonTest : public HostFixture {
 protected:
  std::optional<int> BaseColour() const override { return 0x000000; }
  void SetUp() override {
    HostFixture::SetUp();
    host_.DragAnywhere(0);
  }
  // Hovers the 100 x 30 button at (20, 40) until its cross-fade ends, then posts
  // a press and a release that are handled together; answers the repaints before them.
  int PressAndReleaseTogetherOverTheHotButton(Button& button) {
    Mouse(WM_MOUSEMOVE, 30, 50);
    PumpFor(400);
    const int before = button.Repaints();
    PostMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(30, 50));
    PostMessageW(window_, WM_LBUTTONUP, 0, Point(30, 50));
    PumpFor(50);
    return before;
  }
};

int Luma(ARGB c) { return (RedOf(c) * 299 + GreenOf(c) * 587 + BlueOf(c) * 114) / 1000; }

struct LookSample {
  ARGB top, middle, bottom, bottom_line, corner;
};

LookSample Sample(Button& button, int look) {
  button.Paint(button.GetRef(), look);
  GpBitmap* b = button.BackBufferBitmap();
  return LookSample{PixelOf(b, 50, 3), PixelOf(b, 50, 15), PixelOf(b, 50, 26), PixelOf(b, 50, 29), PixelOf(b, 0, 0)};
}

TEST_F(ButtonTest, LooksDifferAsTheirTablesSay) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "");
  const LookSample normal = Sample(button, kLookNormal);
  const LookSample hot = Sample(button, kLookHot);
  const LookSample pressed = Sample(button, kLookPressed);
  const LookSample focused = Sample(button, kLookFocused);
  const LookSample fifth = Sample(button, kLookFifth);
  // Normal: the overlay goes from clear (alpha 0) at the top to 102 at the bottom.
  EXPECT_GT(Luma(normal.top), Luma(normal.bottom) + 30);
  // Hot: darker at the bottom (153) than normal.
  EXPECT_LT(Luma(hot.bottom), Luma(normal.bottom));
  // Pressed: the gradient runs the other way (153 at the top, 21 at the bottom).
  EXPECT_LT(Luma(pressed.top), Luma(pressed.bottom));
  EXPECT_LT(Luma(pressed.top), Luma(normal.top) - 30);
  // Focused: 51 at the top, so darker at the top than normal.
  EXPECT_LT(Luma(focused.top), Luma(normal.top));
  // The fifth look has a thin white face: far more transparent in the middle.
  EXPECT_LT(AlphaOf(fifth.middle), AlphaOf(normal.middle) - 60);
  // The bottom line's alpha: hot 30 > normal 25 > pressed 10.
  EXPECT_GT(AlphaOf(hot.bottom_line), AlphaOf(normal.bottom_line));
  EXPECT_GT(AlphaOf(normal.bottom_line), AlphaOf(pressed.bottom_line));
  EXPECT_NEAR(AlphaOf(normal.bottom_line), 25, 6);
  EXPECT_EQ(button.State(), kLookFifth);
}

TEST_F(ButtonTest, RoundedClipsTheCornersAndSquareDoesNot) {
  Button rounded, square;
  rounded.Create(window_, 20, 40, 100, 30, "", std::nullopt, {}, {}, {}, {}, {}, true);
  square.Create(window_, 20, 80, 100, 30, "", std::nullopt, {}, {}, {}, {}, {}, false);
  EXPECT_TRUE(rounded.Rounded());
  EXPECT_FALSE(square.Rounded());
  EXPECT_EQ(AlphaOf(PixelOf(rounded.BackBufferBitmap(), 0, 0)), 0);
  EXPECT_GT(AlphaOf(PixelOf(square.BackBufferBitmap(), 0, 0)), 40);  // outer frame, black at 80
  // Both draw the same face colours in the middle.
  EXPECT_EQ(PixelOf(rounded.BackBufferBitmap(), 50, 15), PixelOf(square.BackBufferBitmap(), 50, 15));
  // The default follows the host's background mode (7: rounded).
  Button by_host;
  by_host.Create(window_, 20, 120, 100, 30, "");
  EXPECT_TRUE(by_host.Rounded());
}

// Leftmost and topmost dark, opaque pixel of the caption.
POINT FirstInk(Button& button) {
  GpBitmap* b = button.BackBufferBitmap();
  POINT p = {1000, 1000};
  for (int y = 2; y < 28; ++y) {
    for (int x = 2; x < 98; ++x) {
      const ARGB c = PixelOf(b, x, y);
      if (AlphaOf(c) > 150 && Luma(c) < 60) {
        p.x = std::min<LONG>(p.x, x);
        p.y = std::min<LONG>(p.y, y);
      }
    }
  }
  return p;
}

TEST_F(ButtonTest, PressedLookShiftsTheCaptionByOnePixel) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "IH", 0xFF000000u);
  button.Paint(button.GetRef(), kLookNormal);
  const GpRectF normal_rect = button.LastCaptionRect();
  const POINT normal_ink = FirstInk(button);
  button.Paint(button.GetRef(), kLookPressed);
  EXPECT_FLOAT_EQ(button.LastCaptionRect().X, normal_rect.X + 1);
  EXPECT_FLOAT_EQ(button.LastCaptionRect().Y, normal_rect.Y + 1);
  const POINT pressed_ink = FirstInk(button);
  ASSERT_LT(normal_ink.x, 1000);
  EXPECT_EQ(pressed_ink.x, normal_ink.x + 1);
  EXPECT_EQ(pressed_ink.y, normal_ink.y + 1);
  // Without an image the caption is centred.
  EXPECT_NEAR(normal_rect.X + (normal_rect.Width - 2) / 2, 50, 1);
}

TEST(ButtonLayout, CodesPlaceImageAndCaption) {
  auto at = [](int code, int ox = 0, int oy = 0) { return PlaceButtonContent(code, 100, 40, 16, 16, 30, 14, ox, oy, 4); };
  auto expect = [](const GpRectF& r, float x, float y, float w, float h) {
    EXPECT_FLOAT_EQ(r.X, x);
    EXPECT_FLOAT_EQ(r.Y, y);
    EXPECT_FLOAT_EQ(r.Width, w);
    EXPECT_FLOAT_EQ(r.Height, h);
  };
  expect(at(0).image, 25, 12, 16, 16);
  expect(at(0).caption, 45, 13, 32, 16);
  expect(at(1).caption, 25, 13, 32, 16);
  expect(at(1).image, 61, 12, 16, 16);
  expect(at(2).image, 42, 3, 16, 16);
  expect(at(2).caption, 35, 23, 32, 16);
  expect(at(3).image, 42, 12, 16, 16);
  expect(at(3).caption, 35, 13, 32, 16);
  expect(at(4).image, 0, 12, 16, 16);
  expect(at(4).caption, 20, 13, 80, 16);
  expect(at(5).caption, 0, 13, 80, 16);
  expect(at(5).image, 84, 12, 16, 16);
  expect(at(6).image, 42, 0, 16, 16);
  expect(at(6).caption, 35, 20, 35, 16);
  expect(at(0, 3, 2).image, 28, 14, 16, 16);
  expect(at(4, 3, 2).caption, 23, 15, 77, 16);
  // No image, code 0: the caption is centred.
  const ButtonPlacement bare = PlaceButtonContent(0, 100, 40, 0, 0, 30, 14, 0, 0, 0);
  expect(bare.caption, 35, 13, 32, 16);
}

TEST_F(ButtonTest, ImageIsDrawnInItsRectangleAndBadBytesGiveNone) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "");
  ByteSet red = ReadDataFile("red16.png");
  ASSERT_FALSE(red.empty());
  button.Image(red.get());
  EXPECT_FLOAT_EQ(button.LastImageRect().Width, 16);
  EXPECT_FLOAT_EQ(button.LastImageRect().X, 42);
  const ARGB inside = PixelOf(button.BackBufferBitmap(), 50, 15);
  EXPECT_EQ(RedOf(inside), 255);
  EXPECT_LT(GreenOf(inside), 40);
  button.ImagePosition(kImageAtLeftEdge);
  EXPECT_FLOAT_EQ(button.LastImageRect().X, 0);
  ByteSet junk("not an image", 12);
  button.Image(junk.get());
  EXPECT_FLOAT_EQ(button.LastImageRect().Width, 0);
  EXPECT_EQ(button.Image().size(), 12u);
}

std::vector<UINT>* g_transitions = nullptr;
void RecordTransition(ControlRef, UINT message, WPARAM, LPARAM) { g_transitions->push_back(message); }
int g_clicks = 0;
void CountClick(ControlRef, UINT, WPARAM, LPARAM) { ++g_clicks; }

TEST_F(ButtonTest, RealMouseMessagesDriveTheLooksAndTheClick) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "获取");
  g_clicks = 0;
  button.SetEventHandler(DUIM_CLICK, &CountClick);
  Mouse(WM_MOUSEMOVE, 30, 50);
  EXPECT_EQ(button.State(), kLookHot);
  Mouse(WM_LBUTTONDOWN, 30, 50, MK_LBUTTON);
  EXPECT_EQ(button.State(), kLookPressed);  // focus (3) first, then the press
  Mouse(WM_LBUTTONUP, 30, 50);
  EXPECT_EQ(button.State(), kLookHot);
  EXPECT_EQ(g_clicks, 1);
  Mouse(WM_MOUSEMOVE, 300, 200);
  EXPECT_EQ(button.State(), kLookNormal);
  // Not focusable: press and release leave the look alone.
  button.Focusable(false);
  Mouse(WM_MOUSEMOVE, 30, 50);
  Mouse(WM_LBUTTONDOWN, 30, 50, MK_LBUTTON);
  EXPECT_EQ(button.State(), kLookHot);
  Mouse(WM_LBUTTONUP, 30, 50);
  EXPECT_EQ(button.State(), kLookHot);
}

Button* g_clicked_button = nullptr;
int g_repaints_at_click = -1;
void NoteRepaintsAtClick(ControlRef, UINT, WPARAM, LPARAM) { g_repaints_at_click = g_clicked_button->Repaints(); }

// Pixels of the 100 x 30 button's back buffer that differ from a fresh paint of the hot look.
size_t PixelsUnlikeAFreshHotLook(Button& button) {
  std::vector<ARGB> shown;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) shown.push_back(PixelOf(button.BackBufferBitmap(), x, y));
  button.Paint(button.GetRef(), kLookHot);
  size_t differing = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) differing += shown[y * 100 + x] != PixelOf(button.BackBufferBitmap(), x, y);
  return differing;
}

TEST_F(ButtonTest, APressAndReleaseHandledTogetherOverAHotButtonPaintNothing) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "获取");
  g_clicked_button = &button;
  button.SetEventHandler(DUIM_CLICK, &NoteRepaintsAtClick);
  const int before = PressAndReleaseTogetherOverTheHotButton(button);
  EXPECT_EQ(g_repaints_at_click, before) << "the click ran before any look was painted";
  EXPECT_EQ(button.Repaints(), before) << "focus, pressed and released looks end on the hot look already shown";
  EXPECT_EQ(button.State(), kLookHot);
  EXPECT_EQ(PixelsUnlikeAFreshHotLook(button), 0u) << "the look kept is the hot look";
  g_clicked_button = nullptr;
}

void RepaintOnThePress(ControlRef, UINT, WPARAM, LPARAM) { g_clicked_button->Text("取得"); }

TEST_F(ButtonTest, ALookPaintedDuringTheBatchDoesNotHideTheLastLook) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "获取");
  g_clicked_button = &button;
  button.SetEventHandler(WM_LBUTTONDOWN, &RepaintOnThePress);
  const int before = PressAndReleaseTogetherOverTheHotButton(button);
  // The caption change on the press painted the pressed look; the hot look must follow it.
  EXPECT_EQ(button.Repaints(), before + 2);
  EXPECT_EQ(button.State(), kLookHot);
  EXPECT_EQ(PixelsUnlikeAFreshHotLook(button), 0u) << "the new caption in the hot look";
  g_clicked_button = nullptr;
}

// The real mouse on a shown window at (50, 50); the button's centre is on screen at (120, 105).
class RealMouseButtonTest : public ButtonTest {
 protected:
  bool ShowForReal() const override { return true; }
  void SetUp() override {
    if (!HaveXdotool()) GTEST_SKIP() << "no xdotool";
    ASSERT_TRUE(RunXdotool(L"mousemove 700 600", 15000)) << "away from where the window opens";
    ButtonTest::SetUp();
    SetForegroundWindow(window_);
    button_.Create(window_, 20, 40, 100, 30, "获取");
    g_clicks = 0;
    button_.SetEventHandler(DUIM_CLICK, &CountClick);
    PumpFor(100);
  }
  void TearDown() override {
    button_.Destroy();
    ButtonTest::TearDown();
  }
  // Lets the hover cross-fade finish, then reads the button's face on screen.
  uint32_t SettledFace() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (button_.TransitionFrameCount() != 0 && std::chrono::steady_clock::now() < end) PumpFor(10);
    PumpFor(100);
    return ScreenPixel(kFaceX, kFaceY);
  }
  static int LumaOf(uint32_t rgb) { return Luma(0xFF000000u | rgb); }
  static constexpr int kFaceX = 50 + 20 + 50, kFaceY = 50 + 40 + 26;  // low on the face: the looks differ most
  Button button_;
};

int g_other_clicks = 0;
void CountOtherClick(ControlRef, UINT, WPARAM, LPARAM) { ++g_other_clicks; }

TEST_F(RealMouseButtonTest, PressSlidOffTheWindowAndReleasedOutsideDoesNotSwallowTheNextClicks) {
  Button other;  // centre on screen at (240, 105)
  other.Create(window_, 140, 40, 100, 30, "其他");
  g_other_clicks = 0;
  other.SetEventHandler(DUIM_CLICK, &CountOtherClick);
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 sleep 0.3 mousedown 1 sleep 0.3 mousemove 300 105 sleep 0.2 "
                         L"mousemove 700 600 sleep 0.8 mouseup 1 sleep 0.3",
                         15000));
  EXPECT_EQ(g_clicks, 0);
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_EQ(button_.State(), kLookNormal);
  ASSERT_TRUE(RunXdotool(L"mousemove 240 105 sleep 0.3 click 1 sleep 0.3 mousemove 120 105 sleep 0.3 click 1 sleep 0.3",
                         15000));
  EXPECT_EQ(g_other_clicks, 1);
  EXPECT_EQ(g_clicks, 1);
  EXPECT_EQ(button_.State(), kLookHot);
  EXPECT_EQ(other.State(), kLookNormal);
}

TEST_F(RealMouseButtonTest, HoverLookComesBackAfterTheWindowWasDeactivatedAndActivatedAgain) {
  const uint32_t normal = SettledFace();
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 sleep 0.3", 15000));
  const uint32_t hot = SettledFace();
  ASSERT_GT(std::abs(LumaOf(normal) - LumaOf(hot)), 8) << "the looks must tell apart on screen";
  // Another window takes the foreground while the mouse stays on the button.
  HWND other = CreateWindowExW(0, kToolkitClassName, L"other", WS_POPUP | WS_VISIBLE, 700, 600, 60, 40, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  PumpFor(100);
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(normal), 3) << "deactivation leaves the button";
  SetForegroundWindow(window_);
  PumpFor(100);
  ASSERT_TRUE(RunXdotool(L"mousemove 122 106 sleep 0.3", 15000));
  EXPECT_EQ(button_.State(), kLookHot);
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(hot), 3);
  DestroyWindow(other);
}

// A click handler that takes the foreground away and gives it back (as a
// modal window does): moving on over the button must show its hover look again.
HWND g_modal_owner = nullptr;
void ClickOpensAndClosesAModalWindow(ControlRef, UINT, WPARAM, LPARAM) {
  ++g_clicks;
  HWND modal = CreateWindowExW(0, kToolkitClassName, L"modal", WS_POPUP | WS_VISIBLE, 700, 600, 60, 40, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(modal);
  PumpFor(100);
  DestroyWindow(modal);
  SetForegroundWindow(g_modal_owner);
  PumpFor(100);
}

TEST_F(RealMouseButtonTest, HoverLookComesBackAfterAClickHandlerOpenedAModalWindow) {
  g_modal_owner = window_;
  button_.SetEventHandler(DUIM_CLICK, &ClickOpensAndClosesAModalWindow);
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 sleep 0.3", 15000));
  const uint32_t hot = SettledFace();
  ASSERT_TRUE(RunXdotool(L"click 1 sleep 0.5", 15000));
  ASSERT_EQ(g_clicks, 1);
  ASSERT_TRUE(RunXdotool(L"mousemove 122 106 sleep 0.3", 15000));
  EXPECT_EQ(host_.HoverControl(), button_.GetRef());
  EXPECT_EQ(button_.State(), kLookHot);
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(hot), 3);
}

// Coming back to the very spot the pointer left from brings no mouse move, so
// the press is the first message the window sees: it must enter the button and
// arm the leave tracking as a move would.
TEST_F(RealMouseButtonTest, AClickWithoutAMoveBeforeItStillLeavesAndEntersAfterwards) {
  const uint32_t normal = SettledFace();
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 sleep 0.3", 15000));
  const uint32_t hot = SettledFace();
  ASSERT_GT(std::abs(LumaOf(normal) - LumaOf(hot)), 8) << "the looks must tell apart on screen";
  ASSERT_TRUE(RunXdotool(L"mousemove 700 600 sleep 0.5", 15000));
  ASSERT_EQ(button_.State(), kLookNormal);
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 click 1 sleep 0.5", 15000));
  EXPECT_EQ(g_clicks, 1);
  ASSERT_TRUE(RunXdotool(L"mousemove 700 600 sleep 0.5", 15000));
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_EQ(button_.State(), kLookNormal) << "the pointer left the window";
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(normal), 3);
  ASSERT_TRUE(RunXdotool(L"mousemove 122 106 sleep 0.3", 15000));
  EXPECT_EQ(button_.State(), kLookHot);
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(hot), 3);
  ASSERT_TRUE(RunXdotool(L"mousemove 700 600 sleep 0.5", 15000));
  EXPECT_EQ(button_.State(), kLookNormal);
  EXPECT_NEAR(LumaOf(SettledFace()), LumaOf(normal), 3);
}

// The top edge of the dashed focus frame, on screen.
std::vector<uint32_t> FocusFrameRow() {
  constexpr int kLeft = 50 + 20 + 4, kRight = 50 + 20 + 96, kTop = 50 + 40 + 2;
  std::vector<uint32_t> row;
  for (int x = kLeft; x < kRight; ++x) row.push_back(ScreenPixel(x, kTop));
  return row;
}

TEST_F(RealMouseButtonTest, TabOnTheOnlyControlShowsItsFocusFrameAndSpaceClicksIt) {
  ASSERT_TRUE(RunXdotool(L"mousemove 120 105 sleep 0.3 click 1 sleep 0.3", 15000));
  ASSERT_EQ(g_clicks, 1);
  ASSERT_EQ(host_.FocusControl(), button_.GetRef());
  SettledFace();
  const std::vector<uint32_t> before = FocusFrameRow();
  ASSERT_TRUE(RunXdotool(L"key Tab sleep 0.3", 15000));
  EXPECT_EQ(host_.FocusControl(), button_.GetRef());
  EXPECT_EQ(host_.KeyboardFocusControl(), button_.GetRef()) << "Tab found only the control that has the focus";
  SettledFace();
  const std::vector<uint32_t> after = FocusFrameRow();
  int changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  EXPECT_GT(changed, static_cast<int>(before.size()) / 4) << "the dashed frame shows on screen";
  ASSERT_TRUE(RunXdotool(L"key space sleep 0.3", 15000));
  EXPECT_EQ(g_clicks, 2);
}

TEST_F(ButtonTest, EnterAndLeaveCrossFadeInFourFramesEach) {
  std::vector<UINT> transitions;
  g_transitions = &transitions;
  Button button;
  button.Create(window_, 20, 40, 100, 30, "获取");
  button.SetEventHandler(DUIM_TRANSITIONSTART, &RecordTransition);
  button.SetEventHandler(DUIM_TRANSITIONEND, &RecordTransition);
  const auto start = std::chrono::steady_clock::now();
  Mouse(WM_MOUSEMOVE, 30, 50);
  EXPECT_EQ(button.TransitionFrameCount(), kButtonHoverFrames);
  EXPECT_EQ(button.TransitionPeriodMs(), kButtonTransitionPeriodMs);
  PumpFor(50);
  Mouse(WM_MOUSEMOVE, 300, 200);  // leave within 100 ms: a second transition
  while (button.TransitionFrameCount() != 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    PumpFor(5);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_THAT(transitions, ElementsAre(DUIM_TRANSITIONSTART, DUIM_TRANSITIONSTART, DUIM_TRANSITIONEND));
  EXPECT_EQ(button.TransitionFrameCount(), 0);
  EXPECT_EQ(button.TransitionFrame(), 0);
  EXPECT_GE(elapsed, std::chrono::milliseconds(50 + 4 * 60 - 20));
  EXPECT_EQ(button.State(), kLookNormal);
}

TEST_F(ButtonTest, PropertySettersRepaintAtOnce) {
  Button button;
  button.Create(window_, 20, 40, 100, 30, "获取");
  int repaints = button.Repaints();
  button.TextColour(0xFFFF0000u);
  EXPECT_EQ(button.Repaints(), ++repaints);
  button.GlowColour(0x80FFFFFFu);
  EXPECT_EQ(button.Repaints(), ++repaints);
  button.TextEffect(4);
  EXPECT_EQ(button.Repaints(), ++repaints);
  button.OffsetX(3);
  button.OffsetY(2);
  button.Gap(5);
  button.AutoContrast(true);
  EXPECT_EQ(button.Repaints(), repaints + 4);
  EXPECT_EQ(button.OffsetX(), 3);
  EXPECT_EQ(button.Gap(), 5);
  EXPECT_TRUE(button.AutoContrast());
  GpFont* shared = Toolkit().default_font;
  EXPECT_EQ(button.Font(), shared);
  button.FontSize(16.0f);
  EXPECT_NE(button.Font(), shared);
  EXPECT_FLOAT_EQ(button.FontSize(), 16.0f);
  EXPECT_STREQ(button.Text().c_str(), "获取");
}

}  // namespace
}  // namespace quillet::testing_support
