// Events as controls see them when real mouse and keyboard messages reach the
// host window: enter/leave/press/click sequences, overlapping controls, Tab
// order, accelerators, timers, and the popup windows' message hook.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/controls/probe_control.h"
#include "ui/controls/button.h"
#include "ui/controls/control_messages.h"
#include "ui/controls/popup_hook.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;

class EventDispatchTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    host_.DragAnywhere(0);  // a press on nothing must not start a window move loop
  }
};

constexpr int kMove = WM_MOUSEMOVE;

TEST_F(EventDispatchTest, HoverFromOneControlToAnotherGivesLeaveThenEnter) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log), b(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 50, 30);
  const ControlRef rb = b.Make(window_, 100, 40, 50, 30);
  log.clear();
  Mouse(kMove, 20, 50);
  Mouse(kMove, 21, 50);
  Mouse(kMove, 110, 50);
  Mouse(kMove, 200, 200);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_MOUSEENTER, 0, 0}, RecordedEvent{ra, WM_MOUSEMOVE, 0, Point(20, 50)},
                               RecordedEvent{ra, WM_MOUSEMOVE, 0, Point(21, 50)},
                               RecordedEvent{ra, DUIM_MOUSELEAVE, 0, static_cast<LPARAM>(rb)},
                               RecordedEvent{rb, DUIM_MOUSEENTER, 0, static_cast<LPARAM>(ra)},
                               RecordedEvent{rb, WM_MOUSEMOVE, 0, Point(110, 50)},
                               RecordedEvent{rb, DUIM_MOUSELEAVE, 0, 0}));
  EXPECT_EQ(host_.HoverControl(), kNoControl);
}

TEST_F(EventDispatchTest, PressAndReleaseOnTheSameControlClicks) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 50, 30);
  Mouse(kMove, 20, 50);
  log.clear();
  Mouse(WM_LBUTTONDOWN, 20, 50, MK_LBUTTON);
  Mouse(kMove, 22, 52, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 22, 52);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_SETFOCUS, MK_LBUTTON, 0},
                               RecordedEvent{ra, WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 50)},
                               RecordedEvent{ra, WM_MOUSEMOVE, ra, Point(22, 52)},
                               RecordedEvent{ra, WM_LBUTTONUP, ra, Point(22, 52)},
                               RecordedEvent{ra, DUIM_CLICK, ra, Point(22, 52)}));
  EXPECT_EQ(host_.FocusControl(), ra);
  EXPECT_FALSE(host_.IsCaptured());
}

TEST_F(EventDispatchTest, PressOnOneControlAndReleaseOnAnotherGivesNoClick) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log), b(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 50, 30);
  const ControlRef rb = b.Make(window_, 100, 40, 50, 30);
  Mouse(kMove, 20, 50);
  Mouse(WM_LBUTTONDOWN, 20, 50, MK_LBUTTON);
  log.clear();
  Mouse(kMove, 110, 50, MK_LBUTTON);  // captured: still A's
  Mouse(WM_LBUTTONUP, 110, 50);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, WM_MOUSEMOVE, ra, Point(110, 50)},
                               RecordedEvent{ra, WM_LBUTTONUP, ra, Point(110, 50)},
                               RecordedEvent{ra, DUIM_MOUSELEAVE, 0, static_cast<LPARAM>(rb)},
                               RecordedEvent{rb, DUIM_MOUSEENTER, 0, static_cast<LPARAM>(ra)}));
  EXPECT_TRUE(Only(log, DUIM_CLICK).empty());
  EXPECT_EQ(host_.HoverControl(), rb);
  EXPECT_EQ(host_.PressedControl(), kNoControl);
}

TEST_F(EventDispatchTest, FocusMovesBetweenControlsOnPress) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log), b(&log), fixed(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 50, 30);
  const ControlRef rb = b.Make(window_, 100, 40, 50, 30);
  const ControlRef rf = fixed.Make(window_, 200, 40, 50, 30, false);
  Click(20, 50);
  log.clear();
  Click(110, 50);
  EXPECT_THAT(Only(log, DUIM_KILLFOCUS), ElementsAre(RecordedEvent{ra, DUIM_KILLFOCUS, MK_LBUTTON, static_cast<LPARAM>(rb)}));
  EXPECT_THAT(Only(log, DUIM_SETFOCUS), ElementsAre(RecordedEvent{rb, DUIM_SETFOCUS, MK_LBUTTON, static_cast<LPARAM>(ra)}));
  // Not focusable and not answering the press question: no press, no focus change.
  log.clear();
  Click(210, 50);
  EXPECT_EQ(host_.FocusControl(), rb);
  EXPECT_TRUE(Only(log, DUIM_CLICK).empty());
  EXPECT_FALSE(Only(log, WM_LBUTTONDOWN).empty());  // the raw message still arrives
  // Answering the press question makes it take the press without focus.
  fixed.can_press = 0;
  log.clear();
  Click(210, 50);
  EXPECT_THAT(Only(log, DUIM_CLICK), ElementsAre(RecordedEvent{rf, DUIM_CLICK, rf, Point(210, 50)}));
  EXPECT_EQ(host_.FocusControl(), rb);
}

TEST_F(EventDispatchTest, OverlappingControlsTheLaterOneTakesThePress) {
  std::vector<RecordedEvent> log;
  ProbeControl under(&log), over(&log);
  under.Make(window_, 10, 40, 100, 50);
  const ControlRef ro = over.Make(window_, 50, 60, 100, 50);
  log.clear();
  Click(60, 70);
  EXPECT_THAT(Only(log, DUIM_CLICK), ElementsAre(RecordedEvent{ro, DUIM_CLICK, ro, Point(60, 70)}));
  over.SetZOrder(2);  // now below
  log.clear();
  Click(60, 70);
  ASSERT_EQ(Only(log, DUIM_CLICK).size(), 1u);
  EXPECT_EQ(Only(log, DUIM_CLICK)[0].control, RefOf(&under));
}

TEST_F(EventDispatchTest, TabSkipsHiddenAndUnfocusableControlsAndWraps) {
  ProbeControl a, b, c, d;
  const ControlRef ra = a.Make(window_, 10, 40, 30, 30);
  const ControlRef rb = b.Make(window_, 50, 40, 30, 30);
  const ControlRef rc = c.Make(window_, 90, 40, 30, 30);
  d.Make(window_, 130, 40, 30, 30, false);
  host_.SetFocusControl(rc, false);
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), ra);
  EXPECT_EQ(host_.KeyboardFocusControl(), ra);
  host_.SetFocusControl(rc, false);
  a.Visible(false);
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), rb);
  // Everything hidden or not focusable: the focus stays.
  b.Visible(false);
  c.Visible(false);
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), rb);
}

TEST_F(EventDispatchTest, EnterAndSpaceClickTheFocusedControlUnlessItAnswersTheKey) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 30, 30);
  host_.SetFocusControl(ra, false);
  log.clear();
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(window_, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_THAT(Only(log, DUIM_CLICK), ElementsAre(RecordedEvent{ra, DUIM_CLICK, 0, 0}, RecordedEvent{ra, DUIM_CLICK, 0, 0}));
  a.answer = 0;  // consumes every key
  log.clear();
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(Only(log, DUIM_CLICK).empty());
  EXPECT_EQ(Only(log, WM_KEYDOWN).size(), 1u);
}

std::vector<ControlRef>* g_clicked = nullptr;
void RecordClick(ControlRef control, UINT, WPARAM, LPARAM) { g_clicked->push_back(control); }

TEST_F(EventDispatchTest, AcceleratorFromTheCaptionClicksTheButtonIgnoringCase) {
  std::vector<ControlRef> clicked;
  g_clicked = &clicked;
  Button fetch, other;
  const ControlRef rf = fetch.Create(window_, 10, 40, 80, 30, "获取(&G)");
  other.Create(window_, 100, 40, 80, 30, "其他");
  fetch.SetEventHandler(DUIM_CLICK, &RecordClick);
  ASSERT_EQ(host_.AccessKeys().size(), 1u);
  EXPECT_EQ(host_.AccessKeys()[0].control, rf);
  EXPECT_EQ(host_.AccessKeys()[0].character, 'G');
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'g', 0), 0);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'G', 0), 0);
  EXPECT_THAT(clicked, ElementsAre(rf, rf));
  SendMessageW(window_, WM_SYSCHAR, 'x', 0);
  EXPECT_EQ(clicked.size(), 2u);
  // Hidden or disabled: no click.
  fetch.Disabled(true);
  SendMessageW(window_, WM_SYSCHAR, 'g', 0);
  EXPECT_EQ(clicked.size(), 2u);
  fetch.Disabled(false);
  // A caption without "&" removes the entry; the same caption again changes nothing.
  fetch.Text("获取");
  EXPECT_TRUE(host_.AccessKeys().empty());
  fetch.Text("&Fetch");
  ASSERT_EQ(host_.AccessKeys().size(), 1u);
  EXPECT_EQ(host_.AccessKeys()[0].character, 'F');
  const int repaints = fetch.Repaints();
  fetch.Text("&Fetch");
  EXPECT_EQ(fetch.Repaints(), repaints);
  // Destroying the button drops its entry.
  fetch.Destroy();
  EXPECT_TRUE(host_.AccessKeys().empty());
}

// What the host's click handler was told: control and kind.
std::vector<std::pair<ControlRef, int>>* g_host_clicks = nullptr;
void RecordHostClick(HWND, ControlRef control, WPARAM, LPARAM, int kind) { g_host_clicks->emplace_back(control, kind); }
HostWindow* g_dispatch_host = nullptr;
ControlRef g_focus_target = kNoControl;
void FocusElsewhere(ControlRef, UINT, WPARAM, LPARAM) { g_dispatch_host->SetFocusControl(g_focus_target, false); }
void DestroyClicked(ControlRef control, UINT, WPARAM, LPARAM) { AsControl(control)->Destroy(); }
void DropOwnAccelerator(ControlRef control, UINT, WPARAM, LPARAM) { static_cast<Button*>(AsControl(control))->Text("甲"); }
// Registers enough accelerators that the list is stored anew.
std::vector<std::unique_ptr<Button>>* g_more_buttons = nullptr;
HWND g_dispatch_window = nullptr;
void AddManyAccelerators(ControlRef, UINT, WPARAM, LPARAM) {
  for (char key = 'D'; key <= 'Z'; ++key) {
    const char caption[3] = {'&', key, '\0'};
    g_more_buttons->push_back(std::make_unique<Button>());
    g_more_buttons->back()->Create(g_dispatch_window, 10, 100, 20, 20, caption);
  }
}

TEST_F(EventDispatchTest, EnterAndSpaceReportTheActivatedControlWhateverItsHandlerDid) {
  std::vector<std::pair<ControlRef, int>> clicks;
  g_host_clicks = &clicks;
  g_dispatch_host = &host_;
  host_.OnClick(&RecordHostClick);
  Button a, b;
  const ControlRef ra = a.Create(window_, 10, 40, 80, 30, "甲");
  const ControlRef rb = b.Create(window_, 100, 40, 80, 30, "乙");
  g_focus_target = rb;
  a.SetEventHandler(DUIM_CLICK, &FocusElsewhere);
  b.SetEventHandler(DUIM_CLICK, &DestroyClicked);
  host_.SetFocusControl(ra, true);
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_EQ(host_.FocusControl(), rb) << "the handler moved the focus";
  SendMessageW(window_, WM_KEYDOWN, VK_SPACE, 0);
  ASSERT_EQ(host_.FocusControl(), kNoControl) << "the handler destroyed the control";
  EXPECT_THAT(clicks, ElementsAre(std::make_pair(ra, kKindButton), std::make_pair(rb, kKindButton)));
  host_.OnClick(nullptr);
}

TEST_F(EventDispatchTest, AnAcceleratorReportsItsOwnButtonWhateverItsHandlerDoesToTheList) {
  std::vector<std::pair<ControlRef, int>> clicks;
  g_host_clicks = &clicks;
  std::vector<std::unique_ptr<Button>> more;
  g_more_buttons = &more;
  g_dispatch_window = window_;
  host_.OnClick(&RecordHostClick);
  Button a, b, c;
  const ControlRef ra = a.Create(window_, 10, 40, 50, 30, "&A");
  const ControlRef rb = b.Create(window_, 70, 40, 50, 30, "&B");
  const ControlRef rc = c.Create(window_, 130, 40, 50, 30, "&C");
  a.SetEventHandler(DUIM_CLICK, &DropOwnAccelerator);  // its entry leaves the list
  b.SetEventHandler(DUIM_CLICK, &DestroyClicked);
  c.SetEventHandler(DUIM_CLICK, &AddManyAccelerators);
  ASSERT_EQ(host_.AccessKeys().size(), 3u);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'a', 0), 0);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'b', 0), 0);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'c', 0), 0);
  EXPECT_THAT(clicks, ElementsAre(std::make_pair(ra, kKindButton), std::make_pair(rb, kKindButton),
                                  std::make_pair(rc, kKindButton)));
  EXPECT_EQ(host_.AccessKeys().size(), 1u + ('Z' - 'D' + 1));
  host_.OnClick(nullptr);
  more.clear();
}

TEST_F(EventDispatchTest, AcceleratorOfAGbkCaptionIsTheFirstByteAfterTheAmpersand) {
  EXPECT_EQ(AcceleratorOf("获取(&G)"), 'G');
  EXPECT_EQ(AcceleratorOf("获取"), 0);
  EXPECT_EQ(AcceleratorOf("&"), 0);
  EXPECT_EQ(AcceleratorOf("a&b&c"), 'b');
  EXPECT_EQ(AcceleratorOf("&获取"), static_cast<unsigned char>("获"[0]));
  EXPECT_EQ(AcceleratorOf(nullptr), 0);
}

TEST_F(EventDispatchTest, TimerWithAControlRefAsIdReachesThatControl) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 40, 30, 30);
  log.clear();
  SetTimer(window_, ra, 10, nullptr);
  const auto start = std::chrono::steady_clock::now();
  while (Only(log, WM_TIMER).empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) PumpFor(5);
  KillTimer(window_, ra);
  const auto ticks = Only(log, WM_TIMER);
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks[0].wparam, ra);
}

// ---- The popup windows' hook ----

class PopupHookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }
  HWND MakePopup(int flags) {
    HWND w = CreateWindowExW(0, kToolkitClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetPropW(w, kPopupFlagsProperty, reinterpret_cast<HANDLE>(static_cast<intptr_t>(flags)));
    return w;
  }
  static bool HasClosePosted(HWND w) {
    MSG msg;
    bool found = false;
    while (PeekMessageW(&msg, w, WM_CLOSE, WM_CLOSE, PM_REMOVE)) found = true;
    return found;
  }
};

TEST_F(PopupHookTest, DeactivationClosesAPlainPopupAndTheMenuChainUnlessTheChainStaysActive) {
  HWND plain = MakePopup(kPopupPlain);
  EXPECT_EQ(PopupMessageHook(plain, WM_ACTIVATE, WA_INACTIVE, 0), kNotHandled);
  EXPECT_TRUE(HasClosePosted(plain));
  EXPECT_EQ(PopupMessageHook(plain, WM_ACTIVATE, WA_ACTIVE, 0), kNotHandled);
  EXPECT_FALSE(HasClosePosted(plain));

  HWND root = MakePopup(kPopupMenuWindow);
  HWND sub = MakePopup(kPopupMenuWindow);
  SetPropW(root, kMenuRootProperty, root);
  SetPropW(sub, kMenuRootProperty, root);
  PopupMessageHook(sub, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(root));
  EXPECT_FALSE(HasClosePosted(root));  // activation stays in the chain
  PopupMessageHook(sub, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(plain));
  EXPECT_TRUE(HasClosePosted(root));
  EXPECT_FALSE(HasClosePosted(sub));
  // A message-box window is not closed by deactivation.
  HWND box = MakePopup(kPopupMessageBox);
  PopupMessageHook(box, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(HasClosePosted(box));
  for (HWND w : {plain, root, sub, box}) DestroyWindow(w);
}

TEST_F(PopupHookTest, EscapeClosesAnyPopupAndDestroyRemovesTheProperties) {
  HWND box = MakePopup(kPopupMessageBox);
  SetPropW(box, kMessageBoxProperty, box);
  PopupMessageHook(box, WM_KEYDOWN, 'A', 0);
  EXPECT_FALSE(HasClosePosted(box));
  PopupMessageHook(box, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(HasClosePosted(box));
  PopupMessageHook(box, WM_DESTROY, 0, 0);
  EXPECT_EQ(GetPropW(box, kMessageBoxProperty), nullptr);
  EXPECT_EQ(GetPropW(box, kPopupFlagsProperty), nullptr);

  HWND menu = MakePopup(kPopupMenuWindow);
  for (const wchar_t* name : {kMenuRootProperty, kMenuSubProperty, kMenuActiveItemProperty, kMenuEventProperty}) {
    SetPropW(menu, name, menu);
  }
  PopupMessageHook(menu, WM_DESTROY, 0, 0);
  for (const wchar_t* name : {kMenuRootProperty, kMenuSubProperty, kMenuActiveItemProperty, kMenuEventProperty,
                              kPopupFlagsProperty}) {
    EXPECT_EQ(GetPropW(menu, name), nullptr);
  }
  DestroyWindow(box);
  DestroyWindow(menu);
}

}  // namespace
}  // namespace quillet::testing_support
