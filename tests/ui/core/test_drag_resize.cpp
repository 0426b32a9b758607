// The real mouse (xdotool on the X display Wine draws to): dragging a
// borderless host window anywhere and resizing it from its border.
#include <string>

#include "core_test_support.h"
#include "support/xdotool.h"

namespace quillet::core_tests {
namespace {

using testing_support::RunXdotool;

// Screen place of the window: away from where other test exes put theirs, as
// they may run at the same time on the same display.
constexpr int kLeft = 600, kTop = 450;

// xdotool command text with the screen point (kLeft + x, kTop + y).
std::wstring At(int x, int y) { return testing_support::ScreenAt(kLeft + x, kTop + y); }

class DragResizeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
  void SetUp() override {
    if (!testing_support::HaveXdotool()) GTEST_SKIP() << "no xdotool";
    window_ = MakeWindow(kLeft, kTop, 300, 200, WS_OVERLAPPEDWINDOW);
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
  }
  void AttachAndShow(int resizable) {
    AttachOptions o;
    o.window = window_;
    o.frame_flags = 0;
    o.alpha = 190;
    o.base_colour = static_cast<int>(RGB(30, 60, 120));
    o.resizable = resizable;
    ASSERT_TRUE(host_.Attach(o));
    host_.Show(0);
    SetForegroundWindow(window_);
    PumpFor(300);
  }
  RECT Rect() {
    RECT r;
    GetWindowRect(window_, &r);
    return r;
  }

  HWND window_ = nullptr;
  HostWindow host_;
};

TEST_F(DragResizeTest, PressOnAnEmptySpotDragsTheWindow) {
  AttachAndShow(0);
  RECT before = Rect();
  ASSERT_TRUE(RunXdotool(L"mousemove " + At(150, 100) + L" sleep 0.3 mousedown 1 sleep 0.3 mousemove " + At(180, 120) +
                             L" sleep 0.2 mousemove " + At(220, 150) + L" sleep 0.2 mousemove " + At(250, 160) +
                             L" sleep 0.3 mouseup 1",
                         15000));
  RECT after = Rect();
  EXPECT_EQ(after.left - before.left, 100);
  EXPECT_EQ(after.top - before.top, 60);
  EXPECT_EQ(after.right - after.left, 300) << "moved, not resized";
  EXPECT_FALSE(host_.IsCaptured());
}

TEST_F(DragResizeTest, BottomRightBorderResizesTheWindowAndTheFrame) {
  AttachAndShow(1);
  RECT before = Rect();
  // (293, 193) is 7 pixels inside the bottom-right corner: in the corner zone
  // and on the frame (the fainter shadow rings further out let clicks through).
  ASSERT_TRUE(RunXdotool(L"mousemove " + At(293, 193) + L" sleep 0.3 mousemove " + At(294, 194) +
                             L" sleep 0.2 mousedown 1 sleep 0.3 mousemove " + At(320, 220) + L" sleep 0.2 mousemove " +
                             At(344, 234) + L" sleep 0.3 mouseup 1",
                         15000));
  RECT after = Rect();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, 350);
  EXPECT_EQ(after.bottom - after.top, 240);
  SIZE frame = BackBufferSize(host_.FrameSurface());
  EXPECT_EQ(frame.cx, 350);
  EXPECT_EQ(frame.cy, 240);
  EXPECT_EQ(host_.Size().cx, 350);
}

}  // namespace
}  // namespace quillet::core_tests
