// Animations through the trace seam: step counts, constant alphas and waits
// of the cross-fade, open and close animations; default transition looks.
#include <gmock/gmock.h>

#include "core_test_support.h"
#include "ui/core/animation.h"

namespace quillet::core_tests {
namespace {

using ::testing::ElementsAreArray;

std::vector<int> g_pushes, g_waits, g_blends;
int g_presented = 0;

class AnimationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
  void SetUp() override {
    g_pushes.clear();
    g_waits.clear();
    g_blends.clear();
    g_presented = 0;
    AnimationTrace trace;
    trace.on_push = [](HWND, int alpha) { g_pushes.push_back(alpha); };
    trace.on_wait = [](int ms) { g_waits.push_back(ms); };
    trace.on_blend = [](int alpha) { g_blends.push_back(alpha); };
    SetAnimationTrace(trace);
    SetPresentObserver([](HWND, bool) { ++g_presented; });
    window_ = MakeWindow(100, 100, 300, 200, WS_POPUP);
  }
  void TearDown() override {
    SetAnimationTrace(AnimationTrace{});
    SetAnimationWait(nullptr);
    SetPresentObserver(nullptr);
    controls_.clear();
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  void Attach(int alpha = 190, int animate_first_show = 1) {
    AttachOptions o;
    o.window = window_;
    o.frame_flags = 0;
    o.alpha = alpha;
    o.base_colour = static_cast<int>(RGB(0, 255, 0));
    o.animate_first_show = animate_first_show;
    ASSERT_TRUE(host_.Attach(o));
  }
  // Pushes of the steps, without the set-up and final ones (-1).
  std::vector<int> StepPushes() {
    std::vector<int> out;
    for (int a : g_pushes)
      if (a != -1) out.push_back(a);
    return out;
  }
  uint32_t Frame(int x, int y) { return DibPixel(host_.FrameSurface().dib, x, y); }

  HWND window_ = nullptr;
  HostWindow host_;
  std::vector<Delivery> log_;
  std::vector<std::unique_ptr<ProbeControl>> controls_;
};

TEST_F(AnimationTest, CrossFadeTakesFiveTicks) {
  Attach(190, 0);
  ShowWindow(window_, SW_SHOWNOACTIVATE);  // a hidden window holds its presents
  g_presented = 0;
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(255, 0, 0)), true, kPresentCrossFade);
  EXPECT_TRUE(host_.IsBusy());
  const auto start = std::chrono::steady_clock::now();
  while (host_.IsBusy() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) PumpFor(10);
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_FALSE(host_.IsBusy());
  EXPECT_THAT(g_blends, ElementsAreArray({51, 102, 153, 204, 255}));
  EXPECT_THAT(g_pushes, ElementsAreArray({0, 51, 102, 153, 204})) << "the fade buffer before each blend";
  EXPECT_GE(elapsed.count(), 5 * 50 - 30);
  EXPECT_EQ(g_presented, 1) << "the frame itself at the end";
  EXPECT_EQ(host_.FrameSurface().dc != nullptr, true);
  PumpFor(200);
  EXPECT_EQ(g_blends.size(), 5u) << "the timer was killed";
}

// The fade timer's id is the host object: no timer may be left once the host lets go.
TEST_F(AnimationTest, NoFadeWithoutItsBufferAndNoFadeTimerAfterDetach) {
  HWND window = MakeWindow(100, 100, 200, 150, WS_POPUP);
  for (int alpha : {kNoAlpha, 190}) {
    SCOPED_TRACE(alpha);
    auto host = std::make_unique<HostWindow>();
    AttachOptions o;
    o.window = window;
    o.frame_flags = 0;
    o.alpha = alpha;
    o.animate_first_show = 0;
    ASSERT_TRUE(host->Attach(o));
    g_presented = 0;
    host->SetBackground(nullptr, false, static_cast<int>(RGB(255, 0, 0)), true, kPresentCrossFade);
    const bool fades = host->FadeSurface().dc != nullptr;
    EXPECT_EQ(fades, alpha != kNoAlpha);
    EXPECT_EQ(host->IsBusy(), fades) << "busy exactly while a fade runs";
    if (!fades) {
      EXPECT_EQ(g_presented, 1) << "without a fade the new frame is presented at once";
    }
    const UINT_PTR fade_timer = reinterpret_cast<UINT_PTR>(host.get());
    host.reset();  // detaches mid-fade; the window lives on
    EXPECT_FALSE(KillTimer(window, fade_timer));
  }
  DestroyWindow(window);
}

TEST_F(AnimationTest, ABackgroundChangeDuringAFadeEndsTheFade) {
  Attach(190, 0);
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(255, 0, 0)), true, kPresentCrossFade);
  ASSERT_TRUE(host_.IsBusy());
  g_presented = 0;
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(0, 0, 255)), true, kPresentNow);
  EXPECT_FALSE(host_.IsBusy());
  EXPECT_EQ(host_.FadeSurface().dc, nullptr);
  EXPECT_FALSE(KillTimer(window_, reinterpret_cast<UINT_PTR>(&host_))) << "no fade tick left to push the old frame";
  EXPECT_EQ(g_presented, 1);
}

// What is skipped while a fade keeps the host busy is recomposed when it ends.
TEST_F(AnimationTest, ControlsMovedOrRedrawnDuringAFadeShowTheirNewStateAfterIt) {
  Attach(190, 0);
  controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{20, 20, 40, 30}, 0xFFFF0000u, &log_));
  controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{20, 100, 40, 30}, 0xFFFF0000u, &log_));
  ProbeControl* moved = controls_[0].get();
  ProbeControl* recoloured = controls_[1].get();
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(0, 0, 0)), true, kPresentCrossFade);
  ASSERT_TRUE(host_.IsBusy());
  moved->MoveTo(200, 20, 40, 30);
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(recoloured->BackBufferBitmap()), &g);
  dll::GdipGraphicsClear(g, 0xFF0000FFu);
  dll::GdipDeleteGraphics(g);
  SendMessageW(window_, DUIM_INVALIDATE, kRedrawAppend, reinterpret_cast<LPARAM>(&recoloured->BoundsRect()));
  const auto start = std::chrono::steady_clock::now();
  while (host_.IsBusy() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) PumpFor(10);
  ASSERT_FALSE(host_.IsBusy());
  EXPECT_LT(R(Frame(40, 35)), 40) << "nothing left at the old place";
  EXPECT_GT(R(Frame(220, 35)), 240) << "drawn at the new place";
  EXPECT_GT(B(Frame(40, 115)), 240) << "the new look";
  EXPECT_EQ(R(Frame(40, 115)), 0);
}

TEST_F(AnimationTest, CloseFadePushesFifteenFallingAlphas) {
  Attach(190, 0);
  host_.SetCloseAnimation(1);
  SendMessageW(window_, WM_CLOSE, 0, 0);
  std::vector<int> expected;
  for (int i = 1; i <= 15; ++i) expected.push_back(255 - 17 * i);
  EXPECT_THAT(StepPushes(), ElementsAreArray(expected));
  EXPECT_EQ(g_pushes.front(), -1);
  EXPECT_EQ(g_pushes.back(), -1) << "ends with a fully transparent push";
  EXPECT_THAT(g_waits, ElementsAreArray(std::vector<int>(15, 10)));
  EXPECT_FALSE(IsWindow(window_)) << "WM_CLOSE went on to the previous procedure";
}

// An open or close animation that starts while a fade runs ends the fade:
// no fade tick may push its frame between the animation's steps.
TEST_F(AnimationTest, AnAnimationStartedDuringAFadeEndsTheFade) {
  Attach(190, 0);
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(255, 0, 0)), true, kPresentCrossFade);
  ASSERT_TRUE(host_.IsBusy());
  SetAnimationWait([](int) { PumpFor(40); });  // fade ticks would be due during each step
  host_.SetCloseAnimation(1);
  g_pushes.clear();
  SendMessageW(window_, WM_CLOSE, 0, 0);
  std::vector<int> expected;
  for (int i = 1; i <= 15; ++i) expected.push_back(255 - 17 * i);
  EXPECT_THAT(StepPushes(), ElementsAreArray(expected)) << "the close steps and nothing else";
  EXPECT_FALSE(KillTimer(window_, reinterpret_cast<UINT_PTR>(&host_))) << "no fade timer left";
}

TEST_F(AnimationTest, CloseAnimationKinds) {
  struct Case {
    int type;
    size_t steps;
    int first_alpha;
    int first_wait, last_wait;
  };
  const Case cases[] = {{2, 20, 243, 15, 10}, {3, 15, 238, 8, 8}, {4, 15, 238, 8, 8},
                        {5, 15, 238, 8, 8},   {6, 15, 238, 8, 8}, {7, 15, 238, 12, 1},
                        {9, 15, 238, 8, 8},   {0, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetUp();
    Attach(190, 0);
    host_.SetCloseAnimation(c.type);
    SendMessageW(window_, WM_CLOSE, 0, 0);
    std::vector<int> steps = StepPushes();
    ASSERT_EQ(steps.size(), c.steps);
    if (c.steps == 0) {
      EXPECT_TRUE(g_pushes.empty());
      continue;
    }
    EXPECT_EQ(steps.front(), c.first_alpha);
    EXPECT_EQ(g_waits.front(), c.first_wait);
    EXPECT_EQ(g_waits.back(), c.last_wait);
  }
}

TEST_F(AnimationTest, OpenFadeThenTheRealFrame) {
  Attach(190, 1);
  EXPECT_EQ(g_presented, 0) << "animate first show: attach presents nothing";
  host_.Show(1);
  std::vector<int> expected;
  for (int i = 1; i <= 10; ++i) expected.push_back(25 * (i - 1));
  EXPECT_THAT(StepPushes(), ElementsAreArray(expected));
  EXPECT_THAT(g_waits, ElementsAreArray(std::vector<int>(10, 20)));
  EXPECT_EQ(g_presented, 1) << "the real frame after the animation";
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_FALSE(host_.IsBusy());
}

ProbeControl* g_moved_while_opening = nullptr;

TEST_F(AnimationTest, AControlMovedDuringTheOpenAnimationIsShownAtItsNewPlace) {
  Attach(190, 1);
  controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{20, 20, 40, 30}, 0xFFFF0000u, &log_));
  g_moved_while_opening = controls_[0].get();
  SetAnimationWait([](int) {
    if (g_moved_while_opening->BoundsRect().X < 200) g_moved_while_opening->MoveTo(200, 20, 40, 30);
  });
  host_.Show(1, 10);
  EXPECT_LT(R(Frame(40, 35)), 40) << "nothing left at the old place";
  EXPECT_GT(R(Frame(220, 35)), 240) << "drawn at the new place";
}

TEST_F(AnimationTest, OpenGrowAndStrips) {
  Attach(190, 1);
  host_.Show(7, 100);
  std::vector<int> expected;
  for (int i = 1; i <= 10; ++i) expected.push_back(25 * i);
  EXPECT_THAT(StepPushes(), ElementsAreArray(expected));
  EXPECT_THAT(g_waits, ElementsAreArray(std::vector<int>(10, 10)));
  for (int type : {2, 3, 4, 5, 6, 11}) {
    g_pushes.clear();
    host_.Show(type, 50);
    EXPECT_EQ(StepPushes().size(), 10u) << type;
  }
}

TEST_F(AnimationTest, OpenOnAWindowWithoutAlphaEndsNotLayered) {
  Attach(kNoAlpha, 1);
  host_.Show(1, 10);
  EXPECT_EQ(StepPushes().size(), 10u);
  EXPECT_FALSE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_LAYERED);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(window_, region), ERROR);
  DeleteObject(region);
}

// A window whose own procedure only hides it on close, to show it again later.
LRESULT CALLBACK KeptOnClose(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(AnimationTest, AWindowWithoutAlphaShownAgainAfterItsCloseAnimationShowsItsFrame) {
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeptOnClose));
  Attach(kNoAlpha, 0);
  host_.Show(0);
  host_.SetCloseAnimation(1);
  SendMessageW(window_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(IsWindow(window_));
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_EQ(StepPushes().size(), 15u);
  EXPECT_FALSE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_LAYERED) << "the animation's layering is undone";
  host_.Show(0);
  PumpFor(100);
  const uint32_t centre = ScreenPixel(100 + 150, 100 + 100);
  EXPECT_GT(G(centre), 200) << "the green frame, not a blank layered window";
  EXPECT_LT(R(centre), 60);
}

// Redraws skipped while the close animation keeps the host busy are in the
// frame when the window is shown again.
ProbeControl* g_recoloured_while_closing = nullptr;
HWND g_closing_window = nullptr;
void RecolourOnce(int) {
  GpBitmap* bitmap = g_recoloured_while_closing->BackBufferBitmap();
  ARGB pixel = 0;
  dll::GdipBitmapGetPixel(bitmap, 0, 0, &pixel);
  if (pixel == 0xFF0000FFu) return;
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(bitmap), &g);
  dll::GdipGraphicsClear(g, 0xFF0000FFu);
  dll::GdipDeleteGraphics(g);
  SendMessageW(g_closing_window, DUIM_INVALIDATE, kRedrawAppend,
               reinterpret_cast<LPARAM>(&g_recoloured_while_closing->BoundsRect()));
}

TEST_F(AnimationTest, ARedrawSkippedDuringTheCloseAnimationIsShownByTheNextShow) {
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeptOnClose));
  Attach(190, 0);
  controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{20, 100, 40, 30}, 0xFFFF0000u, &log_));
  g_recoloured_while_closing = controls_[0].get();
  g_closing_window = window_;
  host_.Show(0);
  host_.SetCloseAnimation(1);
  SetAnimationWait(&RecolourOnce);
  SendMessageW(window_, WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindowVisible(window_));
  SetAnimationWait(nullptr);
  host_.Show(0);
  EXPECT_GT(B(Frame(40, 115)), 150) << "the new look";
  EXPECT_LT(R(Frame(40, 115)), 40);
}

// The window is destroyed while its open animation lets messages run: Show
// must not go on with the handle Detach cleared.
int g_other_paints = 0;
LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) ++g_other_paints;
  return DefWindowProcW(window, message, wparam, lparam);
}
void DestroyTheClosingWindow(int) {
  if (IsWindow(g_closing_window)) DestroyWindow(g_closing_window);
}

TEST_F(AnimationTest, AWindowDestroyedDuringItsOpenAnimationRepaintsNoOtherWindow) {
  HWND other = MakeWindow(500, 100, 120, 80, WS_POPUP | WS_VISIBLE);
  SetWindowLongPtrW(other, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPaints));
  PumpFor(50);
  ValidateRect(other, nullptr);
  g_other_paints = 0;
  Attach(190, 1);
  g_closing_window = window_;
  SetAnimationWait(&DestroyTheClosingWindow);
  host_.Show(1, 10);
  EXPECT_FALSE(IsWindow(window_));
  PumpFor(50);
  EXPECT_EQ(g_other_paints, 0) << "nothing asked another window to repaint";
  DestroyWindow(other);
}

TEST_F(AnimationTest, ShowWithoutAnimationShowsAndPresents) {
  Attach(190, 1);
  host_.Show(0);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_TRUE(g_pushes.empty());
  EXPECT_EQ(g_presented, 1);
}

class TransitionTest : public AnimationTest {
 protected:
  // Old look blue (the snapshot), new look red (the bitmap), mid-transition.
  ProbeControl* InTransition(int effect, int frame, int frames) {
    Attach(255, 0);
    controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{50, 50, 40, 40}, 0xFFFF0000u, &log_));
    ProbeControl* c = controls_.back().get();
    snapshot_.reset(reinterpret_cast<GpImage*>(SolidBitmap(40, 40, 0xFF0000FFu)));
    c->snapshot = snapshot_.get();
    c->transition_period = 30;
    c->transition_frames = frames;
    c->transition_frame = frame;
    c->transition_effect = effect;
    host_.QueueRedraw(c->BoundsRect(), kRedrawAppend);
    return c;
  }
  struct ImageDeleter {
    void operator()(GpImage* i) const { dll::GdipDisposeImage(i); }
  };
  std::unique_ptr<GpImage, ImageDeleter> snapshot_;
};

TEST_F(TransitionTest, SlideDownMovesTheOldLookDown) {
  InTransition(1, 2, 4);  // step 10 px per frame: old at y 70, new at y 30
  EXPECT_GT(R(Frame(70, 60)), 240);
  EXPECT_GT(B(Frame(70, 80)), 240);
}

TEST_F(TransitionTest, SlideUpLeftRight) {
  InTransition(2, 1, 4);  // old at y 40, new at y 80
  EXPECT_GT(B(Frame(70, 60)), 240);
  EXPECT_GT(R(Frame(70, 85)), 240);
  host_.Detach(window_);
  InTransition(3, 3, 4);  // old at x 80, new at x 40
  EXPECT_GT(R(Frame(70, 70)), 240);
  EXPECT_GT(B(Frame(85, 70)), 240);
  host_.Detach(window_);
  InTransition(4, 3, 4);  // old at x 20, new at x 60
  EXPECT_GT(B(Frame(55, 70)), 240);
  EXPECT_GT(R(Frame(70, 70)), 240);
}

TEST_F(TransitionTest, CrossFadeMixesOldAndNew) {
  ProbeControl* c = InTransition(0, 2, 4);
  uint32_t mid = Frame(70, 70);
  EXPECT_NEAR(R(mid), 128, 12);
  EXPECT_NEAR(B(mid), 127, 12);
  const Delivery* custom = nullptr;
  for (const Delivery& d : log_)
    if (d.message == DUIM_CUSTOMDRAW) custom = &d;
  ASSERT_NE(custom, nullptr) << "the control was asked first";
  // At the last frame the new look is drawn from the bitmap at full alpha.
  c->transition_frame = 4;
  host_.QueueRedraw(c->BoundsRect(), kRedrawAppend);
  EXPECT_GT(R(Frame(70, 70)), 250);
  EXPECT_EQ(B(Frame(70, 70)), 0);
}

}  // namespace
}  // namespace quillet::core_tests
