// The host's frame controls made by the control library: icon, title and
// system buttons; the buttons' commands, strip cells and hover cross-fades.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/controls/probe_control.h"
#include "ui/controls/label.h"
#include "ui/controls/picture.h"
#include "ui/controls/title_bar_button.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;

struct Command {
  UINT message;
  WPARAM wparam;
  bool operator==(const Command& o) const { return message == o.message && wparam == o.wparam; }
};
std::ostream& operator<<(std::ostream& out, const Command& c) { return out << c.message << "/" << std::hex << c.wparam; }

std::vector<Command>* g_commands = nullptr;
LRESULT SwallowCommands(HWND, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_CLOSE || message == WM_SYSCOMMAND) {
    if (g_commands != nullptr) g_commands->push_back(Command{message, wparam});
    return 0;
  }
  return kNotHandled;
}

class TitleBarTest : public HostFixture {
 protected:
  int FrameFlags() const override { return kFrameFromStyle | kFrameMinimize | kFrameClose; }
  void SetUp() override {
    HostFixture::SetUp();
    host_.DragAnywhere(0);
    g_commands = &commands_;
    host_.OnMessageHook(&SwallowCommands);
  }
  void TearDown() override {
    host_.OnMessageHook(nullptr);
    g_commands = nullptr;
    HostFixture::TearDown();
  }
  TitleBarButton* ButtonOfType(int type) {
    for (HostedControl* c : host_.SystemButtons()) {
      auto* b = static_cast<TitleBarButton*>(c);
      if (b->Type() == type) return b;
    }
    return nullptr;
  }
  void ClickOn(Control* c) {
    const GpRectF& b = c->BoundsRect();
    Click(static_cast<int>(b.X + b.Width / 2), static_cast<int>(b.Y + b.Height / 2));
    Mouse(WM_MOUSEMOVE, 190, 200);
    PumpFor(5);
  }
  std::vector<Command> commands_;
};

TEST_F(TitleBarTest, AttachMakesIconTitleAndSystemButtonsFromTheControlClasses) {
  ASSERT_NE(host_.IconControl(), nullptr);
  ASSERT_NE(host_.TitleControl(), nullptr);
  EXPECT_EQ(host_.IconControl()->KindCode(), kKindPicture);
  auto* title = static_cast<Label*>(host_.TitleControl());
  EXPECT_EQ(title->KindCode(), kKindLabel);
  EXPECT_STREQ(title->Text().c_str(), "Quillet");
  EXPECT_EQ(title->TextColour(), 0xFAFFFFFFu);  // white at alpha 250
  ASSERT_EQ(host_.SystemButtons().size(), 3u);
  TitleBarButton* close = ButtonOfType(kFrameClose);
  ASSERT_NE(close, nullptr);
  ASSERT_NE(ButtonOfType(kFrameMaximize), nullptr);
  ASSERT_NE(ButtonOfType(kFrameMinimize), nullptr);
  EXPECT_EQ(close->KindCode(), kKindTitleBarButton);
  EXPECT_FALSE(close->IsFocusable());
  EXPECT_EQ(close->BoundsRect().Width, 39);
  EXPECT_EQ(close->BoundsRect().X + close->BoundsRect().Width, 380 - 6);
  EXPECT_EQ(close->LastCellX(), 0);
  EXPECT_EQ(ButtonOfType(kFrameMinimize)->LastCellX(), 294);
  EXPECT_EQ(ButtonOfType(kFrameMaximize)->LastCellX(), 120);
  // The title follows the window text.
  SetWindowTextW(window_, L"新标题");
  EXPECT_STREQ(title->Text().c_str(), "新标题");
}

TEST_F(TitleBarTest, CloseMaximiseAndMinimisePostTheirCommands) {
  ClickOn(ButtonOfType(kFrameClose));
  ClickOn(ButtonOfType(kFrameMaximize));
  ClickOn(ButtonOfType(kFrameMinimize));
  EXPECT_THAT(commands_, ElementsAre(Command{WM_CLOSE, 0}, Command{WM_SYSCOMMAND, SC_MAXIMIZE},
                                     Command{WM_SYSCOMMAND, SC_MINIMIZE}));
}

TEST_F(TitleBarTest, MaximiseOnAZoomedWindowRestoresAndTheGlyphFollowsTheMove) {
  TitleBarButton* maximize = ButtonOfType(kFrameMaximize);
  SetWindowLongW(window_, GWL_STYLE, GetWindowLongW(window_, GWL_STYLE) | WS_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(window_));
  ClickOn(maximize);
  EXPECT_THAT(commands_, ElementsAre(Command{WM_SYSCOMMAND, SC_RESTORE}));
  // The host moves the button: the restore cell is painted.
  maximize->Move(maximize->BoundsRect().X - 1, std::nullopt, std::nullopt, std::nullopt);
  EXPECT_EQ(maximize->LastCellX(), 207);
  SetWindowLongW(window_, GWL_STYLE, GetWindowLongW(window_, GWL_STYLE) & ~WS_MAXIMIZE);
}

TEST_F(TitleBarTest, DisabledCloseButtonPostsNothingAndIconicWindowIsNotMinimisedAgain) {
  ButtonOfType(kFrameClose)->Disabled(true);
  PumpFor(5);
  ButtonOfType(kFrameClose)->SendEvent(DUIM_CLICK, 0, 0);
  SetWindowLongW(window_, GWL_STYLE, GetWindowLongW(window_, GWL_STYLE) | WS_MINIMIZE);
  ButtonOfType(kFrameMinimize)->SendEvent(DUIM_CLICK, 0, 0);
  SetWindowLongW(window_, GWL_STYLE, GetWindowLongW(window_, GWL_STYLE) & ~WS_MINIMIZE);
  PumpFor(5);
  EXPECT_TRUE(commands_.empty());
}

TEST_F(TitleBarTest, PressAndReleasePickTheCellsAndARepeatedReleaseDoesNotRepaint) {
  TitleBarButton* close = ButtonOfType(kFrameClose);
  const GpRectF& b = close->BoundsRect();
  const int x = static_cast<int>(b.X + 5), y = static_cast<int>(b.Y + 5);
  Mouse(WM_MOUSEMOVE, x, y);
  EXPECT_EQ(close->LastCellX(), 40);
  Mouse(WM_LBUTTONDOWN, x, y, MK_LBUTTON);
  EXPECT_EQ(close->LastCellX(), 80);
  EXPECT_EQ(host_.FocusControl(), kNoControl);  // takes the press, never the focus
  Mouse(WM_LBUTTONUP, x, y);
  EXPECT_EQ(close->Look(), kTitleLookHot);
  const int repaints = close->Repaints();
  close->SendEvent(WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(close->Repaints(), repaints);
}

TEST_F(TitleBarTest, HoverCrossFadesInThreeFramesAndLeaveInFour) {
  TitleBarButton* minimize = ButtonOfType(kFrameMinimize);
  const GpRectF& b = minimize->BoundsRect();
  auto run_transition = [&](int x, int y) {
    const auto start = std::chrono::steady_clock::now();
    Mouse(WM_MOUSEMOVE, x, y);
    const int frames = minimize->TransitionFrameCount();
    int ticks = 0, last = 0;
    while (minimize->TransitionFrameCount() != 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
      PumpFor(2);
      if (minimize->TransitionFrameIndex() != last) {
        last = minimize->TransitionFrameIndex();
        if (last != 0) ++ticks;
      }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return std::make_tuple(frames, ms.count());
  };
  const auto [enter_frames, enter_ms] = run_transition(static_cast<int>(b.X + 5), static_cast<int>(b.Y + 5));
  EXPECT_EQ(enter_frames, kTitleButtonEnterFrames);
  EXPECT_GE(enter_ms, 3 * 60 - 20);
  EXPECT_EQ(minimize->LastCellX(), 323);
  const auto [leave_frames, leave_ms] = run_transition(190, 200);
  EXPECT_EQ(leave_frames, kTitleButtonLeaveFrames);
  EXPECT_GE(leave_ms, 4 * 60 - 20);
  EXPECT_EQ(minimize->LastCellX(), 294);
  // Idle again afterwards: no frame count left that the host would take for a running fade.
  EXPECT_EQ(minimize->TransitionFrameCount(), 0);
}

TEST_F(TitleBarTest, TitleBarControlsTakeNoFocusFromTabOrPress) {
  std::vector<RecordedEvent> log;
  ProbeControl only(&log);
  const ControlRef ref = only.Make(window_, 20, 100, 40, 20);
  for (int i = 0; i < 4; ++i) {
    SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(host_.FocusControl(), ref) << "Tab " << i;
  }
  EXPECT_FALSE(host_.IconControl()->IsFocusable());
  const GpRectF& icon = host_.IconControl()->BoundsRect();
  Click(static_cast<int>(icon.X + icon.Width / 2), static_cast<int>(icon.Y + icon.Height / 2));
  EXPECT_EQ(host_.FocusControl(), ref) << "a press on the icon leaves the focus where it is";
  log.clear();
  SendMessageW(window_, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_THAT(log, ::testing::Contains(RecordedEvent{ref, DUIM_CLICK, 0, 0}));
}

TEST(StripCells, EveryTypeAndLookHasItsColumn) {
  EXPECT_EQ(StripCellX(kFrameClose, 0, false), 0);
  EXPECT_EQ(StripCellX(kFrameClose, 1, false), 40);
  EXPECT_EQ(StripCellX(kFrameClose, 2, false), 80);
  EXPECT_EQ(StripCellX(kFrameMaximize, 1, false), 149);
  EXPECT_EQ(StripCellX(kFrameMaximize, 2, true), 265);
  EXPECT_EQ(StripCellX(kFrameMinimize, 2, false), 352);
  EXPECT_EQ(StripCellX(kFrameMenu, 0, false), 381);
  EXPECT_EQ(StripCellX(kFrameSkin, 1, false), 497);
  EXPECT_EQ(StripCellX(kFrameFeedback, 2, false), 613);
  EXPECT_EQ(StripCellX(kFrameSettings, 1, false), 671);
  EXPECT_EQ(StripCellX(kFrameSettings, 3, false), 642);   // focused look: normal column
  EXPECT_EQ(StripCellX(kFrameSettings, -1, false), 642);
  EXPECT_EQ(StripCellX(512, 0, false), -1);
  EXPECT_EQ(StripCellWidth(kFrameClose), 39);
  EXPECT_EQ(StripCellWidth(kFrameMinimize), 28);
}

}  // namespace
}  // namespace quillet::testing_support
