// The thunk and the window procedure, driven with real SendMessage/PostMessage:
// message table, mouse routing, border zones, keyboard focus, packed messages.
#include <gmock/gmock.h>

#include "core_test_support.h"
#include "ui/core/thunk.h"

namespace quillet::core_tests {
namespace {

TEST(ThunkTest, I686BytesAreExact) {
  uint8_t bytes[kThunkSizeI686];
  FillThunkI686(bytes, 0x11223344u, 0xAABBCCDDu);
  const uint8_t expected[kThunkSizeI686] = {0xE8, 0x04, 0x00, 0x00, 0x00, 0xDD, 0xCC, 0xBB, 0xAA, 0x59,
                                             0xC7, 0x44, 0x24, 0x04, 0x44, 0x33, 0x22, 0x11, 0xFF, 0x21};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof(expected)));
}

TEST(ThunkTest, X64BytesAreExact) {
  uint8_t bytes[kThunkSizeX64];
  FillThunkX64(bytes, 0x0102030405060708ull, 0x1112131415161718ull);
  const uint8_t expected[kThunkSizeX64] = {0x48, 0xB9, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x48,
                                            0xB8, 0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11, 0xFF, 0xE0};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof(expected)));
}

void* g_seen_first = nullptr;
LRESULT CALLBACK Target(void* first, UINT message, WPARAM wparam, LPARAM lparam) {
  g_seen_first = first;
  return static_cast<LRESULT>(message + wparam + lparam);
}

TEST(ThunkTest, CallingTheThunkDeliversTheObjectInsteadOfTheWindow) {
  StartToolkitOnce();
  int object = 0;
  void* thunk = BuildThunk(&object, reinterpret_cast<void*>(&Target));
  ASSERT_NE(thunk, nullptr);
  WNDPROC proc = reinterpret_cast<WNDPROC>(thunk);
  EXPECT_EQ(proc(reinterpret_cast<HWND>(0x1234), 100, 20, 3), 123);
  EXPECT_EQ(g_seen_first, &object);
  // Through the system, as a window procedure.
  HWND window = MakeWindow(0, 0, 100, 100);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk));
  g_seen_first = nullptr;
  EXPECT_EQ(SendMessageW(window, WM_USER, 1, 2), WM_USER + 3);
  EXPECT_EQ(g_seen_first, &object);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
  DestroyWindow(window);
  FreeThunk(thunk);
}

struct HandlerCall {
  const char* which;
  ControlRef control;
  WPARAM wparam;
  LPARAM lparam;
  int kind;
};
std::vector<HandlerCall> g_calls;
#define RECORDER(name) \
  [](HWND, ControlRef c, WPARAM w, LPARAM l, int kind) { g_calls.push_back(HandlerCall{name, c, w, l, kind}); }


class InputRoutingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartToolkitOnce();
    ProbeFactory::Install();
  }
  void SetUp() override {
    g_calls.clear();
    window_ = MakeWindow(100, 100, 400, 300, WS_OVERLAPPEDWINDOW);
    AttachOptions o;
    o.window = window_;
    o.frame_flags = FrameFlags();
    o.alpha = 190;
    o.animate_first_show = 0;
    o.resizable = Resizable();
    ASSERT_TRUE(host_.Attach(o));
    host_.OnButtonDown(RECORDER("down"));
    host_.OnButtonUp(RECORDER("up"));
    host_.OnClick(RECORDER("click"));
    host_.OnDoubleClick(RECORDER("double"));
    host_.OnMouseEnter(RECORDER("enter"));
    host_.OnMouseLeave(RECORDER("leave"));
    host_.OnGotFocus(RECORDER("got"));
    host_.OnLostFocus(RECORDER("lost"));
    host_.OnRightButtonDown(RECORDER("rdown"));
    host_.OnRightButtonUp(RECORDER("rup"));
  }
  void TearDown() override {
    DestroyWindow(window_);
    controls_.clear();
  }
  virtual int FrameFlags() const { return 0; }
  virtual int Resizable() const { return 0; }
  ProbeControl* Add(GpRectF bounds) {
    controls_.push_back(std::make_unique<ProbeControl>(&host_, bounds, 0xFFFF0000u, &log_));
    return controls_.back().get();
  }
  std::vector<UINT> MessagesOf(ProbeControl* c) {
    std::vector<UINT> out;
    for (const Delivery& d : log_)
      if (d.control == RefOf(c)) out.push_back(d.message);
    return out;
  }
  const Delivery* Find(ProbeControl* c, UINT message) {
    for (const Delivery& d : log_)
      if (d.control == RefOf(c) && d.message == message) return &d;
    return nullptr;
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> out;
    for (const HandlerCall& c : g_calls) out.push_back(c.which);
    return out;
  }

  HWND window_ = nullptr;
  HostWindow host_;
  std::vector<Delivery> log_;
  std::vector<std::unique_ptr<ProbeControl>> controls_;
};

TEST_F(InputRoutingTest, PressAndReleaseOnAControlIsAClick) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  EXPECT_TRUE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), RefOf(a));
  EXPECT_EQ(host_.FocusControl(), RefOf(a));
  EXPECT_EQ(GetCapture(), window_);
  SendMessageW(window_, WM_MOUSEMOVE, MK_LBUTTON, Point(300, 200));  // outside, still captured
  const Delivery* move = Find(a, WM_MOUSEMOVE);
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(move->wparam, static_cast<intptr_t>(RefOf(a))) << "wParam becomes the pressed control";
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(70, 60));
  EXPECT_FALSE(host_.IsCaptured());
  const Delivery* click = Find(a, DUIM_CLICK);
  ASSERT_NE(click, nullptr);
  EXPECT_EQ(click->wparam, static_cast<intptr_t>(RefOf(a)));
  EXPECT_EQ(click->lparam, Point(70, 60));
  EXPECT_THAT(Calls(), ::testing::ElementsAre("down", "got", "up", "click"));
  EXPECT_EQ(g_calls[2].control, kNoControl);
  EXPECT_EQ(g_calls[3].kind, kKindButton);
  EXPECT_EQ(host_.HoverControl(), RefOf(a));
}

TEST_F(InputRoutingTest, ReleasingOutsideGivesLeaveAndEnterButNoClick) {
  ProbeControl* a = Add({50, 50, 60, 30});
  ProbeControl* b = Add({200, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(210, 60));
  EXPECT_EQ(Find(a, DUIM_CLICK), nullptr);
  const Delivery* leave = Find(a, DUIM_MOUSELEAVE);
  ASSERT_NE(leave, nullptr);
  EXPECT_EQ(leave->lparam, static_cast<intptr_t>(RefOf(b)));
  const Delivery* enter = Find(b, DUIM_MOUSEENTER);
  ASSERT_NE(enter, nullptr);
  EXPECT_EQ(enter->lparam, static_cast<intptr_t>(RefOf(a)));
  EXPECT_EQ(host_.HoverControl(), RefOf(b));
  EXPECT_FALSE(host_.IsCaptured());
}

TEST_F(InputRoutingTest, HoverMovesBetweenControlsAndOverlapsGoToTheLastOne) {
  ProbeControl* a = Add({50, 50, 100, 50});
  ProbeControl* b = Add({100, 60, 100, 50});  // later in the list: on top
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  EXPECT_EQ(host_.HoverControl(), RefOf(a));
  EXPECT_THAT(MessagesOf(a), ::testing::ElementsAre(DUIM_MOUSEENTER, WM_MOUSEMOVE));
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(120, 70));  // overlap
  EXPECT_EQ(host_.HoverControl(), RefOf(b));
  EXPECT_EQ(Find(a, DUIM_MOUSELEAVE)->lparam, static_cast<intptr_t>(RefOf(b)));
  EXPECT_EQ(Find(b, DUIM_MOUSEENTER)->lparam, static_cast<intptr_t>(RefOf(a)));
  b->disabled = true;  // disabled controls are not hit
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(120, 70));
  EXPECT_EQ(host_.HoverControl(), RefOf(a));
  SendMessageW(window_, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_EQ(Calls().back(), "leave");
}

TEST_F(InputRoutingTest, ChildrenAreHitBeforeTheirParent) {
  ProbeControl* parent = Add({50, 50, 200, 100});
  ProbeControl* child = Add({60, 60, 20, 20});
  child->AdoptInto(parent);
  EXPECT_EQ(HitTest(host_.LastControl(), 65, 65), RefOf(child));
  EXPECT_EQ(HitTest(host_.LastControl(), 150, 100), RefOf(parent));
  EXPECT_EQ(HitTest(host_.LastControl(), 250, 100), kNoControl) << "right edge is outside";
  EXPECT_EQ(HitTest(host_.LastControl(), 50, 50), RefOf(parent)) << "left/top edge is inside";
}

TEST_F(InputRoutingTest, DoubleClickIsAMarkedButtonDown) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(60, 60));
  const Delivery* down = Find(a, WM_LBUTTONDOWN);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->wparam, static_cast<intptr_t>(DUIM_DBLCLICKMARK));
  EXPECT_EQ(Find(a, WM_LBUTTONDBLCLK), nullptr);
  EXPECT_THAT(Calls(), ::testing::Contains("double"));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
}

// Sees what reaches the procedure the host replaced.
std::vector<std::pair<UINT, WPARAM>> g_previous_saw;
LRESULT CALLBACK Previous(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  g_previous_saw.push_back({m, wp});
  return DefWindowProcW(w, m, wp, lp);
}

TEST(InputRoutingPreviousTest, DoubleClickNeverReachesThePreviousProcedure) {
  StartToolkitOnce();
  HWND window = MakeWindow(0, 0, 300, 200, WS_POPUP);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Previous));
  HostWindow host;
  AttachOptions o;
  o.window = window;
  o.frame_flags = 0;
  o.alpha = 190;
  o.drag_anywhere = 0;
  ASSERT_TRUE(host.Attach(o));
  g_previous_saw.clear();
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(100, 100));
  bool saw_dblclk = false, saw_marked_down = false;
  for (auto& [m, wp] : g_previous_saw) {
    saw_dblclk |= m == WM_LBUTTONDBLCLK;
    saw_marked_down |= m == WM_LBUTTONDOWN && wp == DUIM_DBLCLICKMARK;
  }
  EXPECT_FALSE(saw_dblclk);
  EXPECT_TRUE(saw_marked_down);
  // Unknown messages pass on unchanged; the result comes back.
  g_previous_saw.clear();
  SendMessageW(window, WM_USER + 7, 42, 0);
  ASSERT_EQ(g_previous_saw.size(), 1u);
  EXPECT_EQ(g_previous_saw[0].second, 42u);
  DestroyWindow(window);
  EXPECT_EQ(host.Window(), nullptr);
}

TEST_F(InputRoutingTest, AControlThatDoesNotTakeThePressLeavesNoCapture) {
  ProbeControl* a = Add({50, 50, 60, 30});
  a->focusable = false;  // and DUIM_CANPRESS answers -1
  host_.DragAnywhere(0);
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_NE(Find(a, DUIM_CANPRESS), nullptr);
  EXPECT_NE(Find(a, WM_LBUTTONDOWN), nullptr) << "the raw message still reaches it";
  a->can_press = 0;  // answers: takes the press although not focusable
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  EXPECT_TRUE(host_.IsCaptured());
  EXPECT_EQ(host_.FocusControl(), kNoControl) << "not focusable: no focus";
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
}

TEST_F(InputRoutingTest, MinMaxInfoWithCloseMaximiseMinimise) {
  host_.Detach(window_);
  AttachOptions o;
  o.window = window_;
  o.frame_flags = kFrameClose | kFrameMaximize | kFrameMinimize;
  o.alpha = 190;
  ASSERT_TRUE(host_.Attach(o));
  MINMAXINFO info = {};
  EXPECT_EQ(SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 131);
  EXPECT_EQ(info.ptMinTrackSize.y, 38);
  RECT work = WorkArea();
  EXPECT_EQ(info.ptMaxSize.x, work.right + 14);
  EXPECT_EQ(info.ptMaxPosition.y, work.top - 7);
}

TEST_F(InputRoutingTest, SetTextReachesTheTitleAsUtf16) {
  host_.Detach(window_);
  AttachOptions o;
  o.window = window_;
  o.frame_flags = kFrameTitle;
  o.alpha = 190;
  ASSERT_TRUE(host_.Attach(o));
  ASSERT_NE(host_.TitleControl(), nullptr);
  ProbeFactory::Titles().clear();
  EXPECT_TRUE(SetWindowTextW(window_, L"新标题"));
  ASSERT_EQ(ProbeFactory::Titles().size(), 1u);
  const std::wstring expected(L"新标题", 4);  // with its terminator
  EXPECT_EQ(ProbeFactory::Titles()[0],
            std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * sizeof(wchar_t)));
  wchar_t text[16] = {};
  GetWindowTextW(window_, text, 16);
  EXPECT_STREQ(text, L"新标题") << "the previous procedure stored it first";
}

TEST_F(InputRoutingTest, NonClientMessages) {
  RECT rects[3] = {{1, 2, 3, 4}};
  NCCALCSIZE_PARAMS params = {};
  params.rgrc[0] = rects[0];
  EXPECT_EQ(SendMessageW(window_, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params)), 1);
  EXPECT_EQ(params.rgrc[0].right, 3) << "rectangles untouched";
  EXPECT_EQ(SendMessageW(window_, WM_NCACTIVATE, FALSE, 0), 1);
  SetWindowLongW(window_, GWL_STYLE, GetWindowLongW(window_, GWL_STYLE) | WS_BORDER | WS_DLGFRAME);
  EXPECT_FALSE(GetWindowLongW(window_, GWL_STYLE) & (WS_BORDER | WS_DLGFRAME)) << "WM_STYLECHANGED strips them";
}

TEST_F(InputRoutingTest, SetCursorUsesTheHoverControlsCursor) {
  HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
  ProbeControl* a = Add({50, 50, 60, 30});
  a->cursor = hand;
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  EXPECT_EQ(SendMessageW(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_), HTCLIENT), TRUE);
  EXPECT_EQ(GetCursor(), hand);
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(300, 200));
  SendMessageW(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_), HTCLIENT);
  EXPECT_EQ(GetCursor(), host_.WindowCursor());
}

TEST_F(InputRoutingTest, PackedEventsAreDeliveredAndFreed) {
  ProbeControl* a = Add({50, 50, 60, 30});
  a->key_answer = 77;
  PackedMessage* packet = PackMessage(WM_KEYDOWN, 9, 8);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(SendMessageW(window_, DUIM_EVENT, RefOf(a), reinterpret_cast<LPARAM>(packet)), 77);
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(packet, &info, sizeof(info));
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
  const Delivery* d = Find(a, WM_KEYDOWN);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->wparam, 9);
  EXPECT_EQ(d->lparam, 8);
  packet = PackMessage(WM_KEYDOWN, 9, 8);
  EXPECT_EQ(SendMessageW(window_, DUIM_EVENT, 0, reinterpret_cast<LPARAM>(packet)), 0);
  VirtualQuery(packet, &info, sizeof(info));
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "a packet for no control is freed too";
}

TEST_F(InputRoutingTest, MovedInvalidateTimerAndAccessKeyMessages) {
  ProbeControl* a = Add({50, 50, 60, 30});
  EXPECT_EQ(SendMessageW(window_, DUIM_MOVED, RefOf(a), 0), 1);
  EXPECT_EQ(SendMessageW(window_, DUIM_MOVED, RefOf(a), 1), 1);
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(), [](const Delivery& d) { return d.message == DUIM_MOVED; }), 2);
  GpRectF dirty = {0, 0, 10, 10};
  EXPECT_EQ(SendMessageW(window_, DUIM_INVALIDATE, 1, reinterpret_cast<LPARAM>(&dirty)), 0);
  SendMessageW(window_, WM_TIMER, RefOf(a), 5);
  EXPECT_NE(Find(a, WM_TIMER), nullptr);
  SendMessageW(window_, WM_TIMER, 1, 0);  // not a control of ours: ignored, no crash
  EXPECT_EQ(SendMessageW(window_, DUIM_SETACCESSKEY, RefOf(a), 'K'), 1);
  ASSERT_EQ(host_.AccessKeys().size(), 1u);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, 'k', 0), 0) << "found, case folded";
  EXPECT_NE(Find(a, DUIM_CLICK), nullptr);
  EXPECT_EQ(Calls().back(), "click");
  a->visible = false;
  log_.clear();
  SendMessageW(window_, WM_SYSCHAR, 'K', 0);
  EXPECT_EQ(Find(a, DUIM_CLICK), nullptr) << "hidden controls take no accelerator";
  host_.SetAccessKey(RefOf(a), 'J');
  EXPECT_EQ(host_.AccessKeys()[0].character, 'J');
  host_.SetAccessKey(RefOf(a), 0);
  EXPECT_TRUE(host_.AccessKeys().empty());
}

TEST_F(InputRoutingTest, TabMovesTheFocusSkippingHiddenAndTitleBarButtons) {
  ProbeControl* a = Add({10, 40, 20, 20});
  ProbeControl* b = Add({40, 40, 20, 20});
  ProbeControl* c = Add({70, 40, 20, 20});
  host_.SetFocusControl(RefOf(c), false);
  log_.clear();
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(a)) << "after the last comes the first";
  EXPECT_EQ(host_.KeyboardFocusControl(), RefOf(a));
  EXPECT_EQ(Find(c, DUIM_KILLFOCUS)->lparam, static_cast<intptr_t>(RefOf(a)));
  EXPECT_EQ(Find(a, DUIM_SETFOCUS)->lparam, static_cast<intptr_t>(RefOf(c)));
  host_.SetFocusControl(RefOf(c), false);
  EXPECT_EQ(host_.KeyboardFocusControl(), kNoControl);
  a->visible = false;
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(b));
  a->visible = b->visible = c->visible = false;
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(b)) << "nothing focusable: unchanged";
  // A focus control that answers the key keeps it.
  b->visible = true;
  b->key_answer = 1;
  a->visible = true;
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(b));
}

TEST_F(InputRoutingTest, EnterAndSpaceClickTheFocusControl) {
  ProbeControl* a = Add({10, 40, 20, 20});
  host_.SetFocusControl(RefOf(a), true);
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(window_, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(), [](const Delivery& d) { return d.message == DUIM_CLICK; }), 2);
  a->disabled = true;
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(std::count_if(log_.begin(), log_.end(), [](const Delivery& d) { return d.message == DUIM_CLICK; }), 2);
  SendMessageW(window_, WM_CHAR, 'x', 0);
  EXPECT_NE(Find(a, WM_CHAR), nullptr) << "keys go to the focus control";
}

TEST_F(InputRoutingTest, SetFocusRulesAndTheHostMessage) {
  ProbeControl* a = Add({10, 40, 20, 20});
  controls_.push_back(std::make_unique<ProbeControl>(&host_, GpRectF{40, 40, 20, 20}, 0, &log_, kKindTitleBarButton));
  ProbeControl* button = controls_.back().get();
  host_.SetFocusControl(RefOf(button), false);
  EXPECT_EQ(host_.FocusControl(), kNoControl) << "title-bar buttons never take the focus";
  a->disabled = true;
  host_.SetFocusControl(RefOf(a), false);
  EXPECT_EQ(host_.FocusControl(), kNoControl);
  a->disabled = false;
  SendMessageW(window_, DUIM_SETFOCUS, 0, RefOf(a));
  EXPECT_EQ(host_.FocusControl(), RefOf(a));
  EXPECT_EQ(Find(a, DUIM_SETFOCUS)->lparam, 0);
}

TEST_F(InputRoutingTest, ActivationEndsTheCapture) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  ASSERT_TRUE(host_.IsCaptured());
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_NE(Find(a, DUIM_KILLFOCUS), nullptr);
  EXPECT_NE(Find(a, DUIM_MOUSELEAVE), nullptr);
}

TEST_F(InputRoutingTest, LeavingTheWindowWhilePressedEndsThePressSoTheNextClickCounts) {
  ProbeControl* a = Add({50, 50, 60, 30});
  ProbeControl* b = Add({200, 50, 60, 30});
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  ASSERT_TRUE(host_.IsCaptured());
  SendMessageW(window_, WM_MOUSELEAVE, 0, 0);  // slid off; the release happens elsewhere
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_EQ(Find(a, DUIM_CLICK), nullptr);
  EXPECT_NE(GetCapture(), window_);
  log_.clear();
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(210, 60));
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(210, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(210, 60));
  EXPECT_THAT(MessagesOf(b), ::testing::ElementsAre(DUIM_MOUSEENTER, WM_MOUSEMOVE, DUIM_CANPRESS, DUIM_SETFOCUS,
                                                    WM_LBUTTONDOWN, WM_LBUTTONUP, DUIM_CLICK));
  EXPECT_THAT(MessagesOf(a), ::testing::ElementsAre(DUIM_KILLFOCUS)) << "only the focus moving away";
}

TEST_F(InputRoutingTest, DeactivationEndsTheHoverSoComingBackEntersAgain) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_EQ(Calls().back(), "leave");
  SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(61, 60));
  EXPECT_THAT(MessagesOf(a), ::testing::ElementsAre(DUIM_MOUSEENTER, WM_MOUSEMOVE, DUIM_MOUSELEAVE, DUIM_MOUSEENTER,
                                                    WM_MOUSEMOVE));
  EXPECT_EQ(host_.HoverControl(), RefOf(a));
}

TEST_F(InputRoutingTest, APressCutShortByDeactivationGetsItsFocusLookBackOnce) {
  ProbeControl* a = Add({50, 50, 60, 30});
  ProbeControl* b = Add({200, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
  auto focus_looks = [&] {
    const std::vector<UINT> seen = MessagesOf(a);
    return std::count(seen.begin(), seen.end(), static_cast<UINT>(DUIM_SETFOCUS));
  };
  EXPECT_EQ(focus_looks(), 2) << "from the press, then from the return";
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  host_.SetFocusControl(RefOf(b), true);
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(focus_looks(), 2) << "a no longer has the focus";
  // The focus moves away while the window is inactive: coming back gives the
  // pressed control no focus look.
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  ASSERT_EQ(host_.FocusControl(), RefOf(a));
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  host_.SetFocusControl(RefOf(b), true);
  const auto looks_before = focus_looks();
  SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(focus_looks(), looks_before);
  EXPECT_EQ(host_.PressedControl(), kNoControl);
}

TEST_F(InputRoutingTest, AReleaseWhileTheHostIsBusyStillEndsThePress) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(0, 0, 0)), true, kPresentCrossFade);
  ASSERT_TRUE(host_.IsBusy());
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_NE(GetCapture(), window_);
  EXPECT_NE(Find(a, WM_LBUTTONUP), nullptr) << "the control takes its released look";
  EXPECT_EQ(Find(a, DUIM_CLICK), nullptr) << "busy: no click";
}

TEST_F(InputRoutingTest, DestroyingThePressedControlReleasesTheCapture) {
  ProbeControl* a = Add({50, 50, 60, 30});
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  ASSERT_EQ(GetCapture(), window_);
  a->DestroyControl();
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_NE(GetCapture(), window_);
}

// What a handler does to the routing state (a modal loop deactivating the
// window, the control destroyed) must not be undone when it returns.
HWND g_handler_window = nullptr;
ProbeControl* g_destroy_in_handler = nullptr;
void DeactivateInHandler(HWND, ControlRef, WPARAM, LPARAM, int) {
  SendMessageW(g_handler_window, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageW(g_handler_window, WM_ACTIVATE, WA_ACTIVE, 0);
}
void DestroyInHandler(HWND, ControlRef, WPARAM, LPARAM, int) {
  if (g_destroy_in_handler) g_destroy_in_handler->DestroyControl();
}

TEST_F(InputRoutingTest, WhatAHandlerDoesToTheRoutingIsNotWrittenBack) {
  ProbeControl* a = Add({50, 50, 60, 30});
  g_handler_window = window_;
  // A click handler that deactivates and reactivates (as a modal window does):
  // coming back over the control must enter it again.
  host_.OnClick(DeactivateInHandler);
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
  EXPECT_EQ(host_.HoverControl(), kNoControl) << "the deactivation ended the hover";
  log_.clear();
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(61, 60));
  EXPECT_THAT(MessagesOf(a), ::testing::ElementsAre(DUIM_MOUSEENTER, WM_MOUSEMOVE));
  // The same for a right-button handler (the edit menu's modal loop runs there).
  host_.OnRightButtonUp(DeactivateInHandler);
  SendMessageW(window_, WM_RBUTTONUP, 0, Point(61, 60));
  EXPECT_EQ(host_.HoverControl(), kNoControl);

  // A click handler that destroys its control leaves no reference to it.
  ProbeControl* b = Add({200, 50, 60, 30});
  g_destroy_in_handler = b;
  host_.OnClick(DestroyInHandler);
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(210, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(210, 60));
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_EQ(host_.FocusControl(), kNoControl);

  // A button-down handler that destroys its control: no press, no capture, and
  // the destroyed control gets nothing more.
  ProbeControl* c = Add({50, 150, 60, 30});
  g_destroy_in_handler = c;
  host_.OnClick(nullptr);
  host_.OnButtonDown(DestroyInHandler);
  log_.clear();
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 160));
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_NE(GetCapture(), window_);
  EXPECT_EQ(Find(c, WM_LBUTTONDOWN), nullptr);
  EXPECT_EQ(Find(c, DUIM_SETFOCUS), nullptr);
  g_destroy_in_handler = nullptr;
}

// Redraws asked for while an input message is handled reach the screen in
// one push at its end, after every handler has run.
int g_pushes = 0;
int g_pushes_seen_by_handler = -1;
bool g_pumped_push = false;
HWND g_batch_window = nullptr;
void CountPush(HWND, bool) { ++g_pushes; }
void TwoRedrawsInHandler(HWND, ControlRef, WPARAM, LPARAM, int) {
  const GpRectF first = {50, 50, 20, 20}, second = {150, 150, 20, 20};
  SendMessageW(g_batch_window, DUIM_INVALIDATE, kRedrawAppend, reinterpret_cast<LPARAM>(&first));
  SendMessageW(g_batch_window, DUIM_INVALIDATE, kRedrawAppend, reinterpret_cast<LPARAM>(&second));
  g_pushes_seen_by_handler = g_pushes;
}
// A handler that runs its own message loop (as a menu does) after asking for a redraw.
void RedrawThenModalLoop(HWND window, ControlRef control, WPARAM wparam, LPARAM lparam, int kind) {
  TwoRedrawsInHandler(window, control, wparam, lparam, kind);
  for (int i = 0; i < 20 && g_pushes == g_pushes_seen_by_handler; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  g_pumped_push = g_pushes > g_pushes_seen_by_handler;
}

TEST_F(InputRoutingTest, AnInputMessagePresentsItsRedrawsOnceAfterItsHandlers) {
  ProbeControl* a = Add({50, 50, 60, 30});
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  PumpFor(50);
  g_batch_window = window_;
  const PresentObserver previous = SetPresentObserver(CountPush);
  host_.OnButtonDown(TwoRedrawsInHandler);
  g_pushes = 0;
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  EXPECT_EQ(g_pushes_seen_by_handler, 0) << "nothing is pushed while the handler runs";
  EXPECT_EQ(g_pushes, 1) << "one push, done by the time the message returns";
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));

  // A press and its release queued together: one push for both, after the click.
  host_.OnButtonDown(nullptr);
  host_.OnClick(TwoRedrawsInHandler);
  PumpFor(20);
  g_pushes = 0;
  g_pushes_seen_by_handler = -1;
  PostMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  PostMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
  PumpFor(50);
  EXPECT_NE(Find(a, DUIM_CLICK), nullptr);
  EXPECT_EQ(g_pushes_seen_by_handler, 0) << "the click handler ran before anything was pushed";
  EXPECT_EQ(g_pushes, 1);

  // A handler's own message loop presents what it asked for.
  host_.OnClick(RedrawThenModalLoop);
  g_pumped_push = false;
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(60, 60));
  EXPECT_TRUE(g_pumped_push) << "the redraw reached the screen inside the handler's loop";
  host_.OnClick(RECORDER("click"));
  SetPresentObserver(previous);
}

TEST_F(InputRoutingTest, AnotherWindowTakingTheCaptureEndsThePress) {
  ProbeControl* a = Add({50, 50, 60, 30});
  ProbeControl* b = Add({200, 50, 60, 30});
  HWND other = MakeWindow(0, 0, 50, 50, WS_POPUP);
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(60, 60));
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 60));
  ASSERT_TRUE(host_.IsCaptured());
  SetCapture(other);
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_EQ(MessagesOf(a).back(), static_cast<UINT>(DUIM_MOUSELEAVE)) << "back to its normal look";
  ReleaseCapture();
  // The next press and release elsewhere is a click.
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(210, 60));
  SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(210, 60));
  SendMessageW(window_, WM_LBUTTONUP, 0, Point(210, 60));
  EXPECT_NE(Find(b, DUIM_CLICK), nullptr);
  // A mouse leave does not end a capture that belongs to another window.
  SetCapture(other);
  SendMessageW(window_, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(GetCapture(), other);
  ReleaseCapture();
  DestroyWindow(other);
}

// A control of another host: messages naming it must not reach it through ours.
TEST_F(InputRoutingTest, ControlsOfAnotherHostAreNotDeliveredTo) {
  HWND other_window = MakeWindow(0, 0, 200, 100, WS_POPUP);
  HostWindow other;
  AttachOptions o;
  o.window = other_window;
  o.frame_flags = 0;
  o.alpha = 190;
  ASSERT_TRUE(other.Attach(o));
  {
    ProbeControl foreign(&other, GpRectF{10, 10, 20, 20}, 0xFF00FF00u, &log_);
    SendMessageW(window_, DUIM_SETFOCUS, 0, RefOf(&foreign));
    EXPECT_EQ(host_.FocusControl(), kNoControl);
    PackedMessage* packet = PackMessage(WM_KEYDOWN, 9, 8);
    EXPECT_EQ(SendMessageW(window_, DUIM_EVENT, RefOf(&foreign), reinterpret_cast<LPARAM>(packet)), 0);
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(packet, &info, sizeof(info));
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "freed all the same";
    EXPECT_EQ(SendMessageW(window_, DUIM_MOVED, RefOf(&foreign), 1), 1);
    EXPECT_TRUE(MessagesOf(&foreign).empty());
    SendMessageW(window_, DUIM_SETACCESSKEY, RefOf(&foreign), 'K');
    EXPECT_TRUE(host_.AccessKeys().empty()) << "no accelerator entry for it";
  }
  DestroyWindow(other_window);
}

TEST_F(InputRoutingTest, MessageHookComesFirst) {
  host_.OnMessageHook([](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_GETMINMAXINFO) return 555;
    return -1;
  });
  MINMAXINFO info = {};
  EXPECT_EQ(SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 555);
  EXPECT_EQ(info.ptMinTrackSize.x, 0);
  host_.OnMessageHook(nullptr);
}

class FramedInputRoutingTest : public InputRoutingTest {
 protected:
  int FrameFlags() const override { return kFrameIcon | kFrameTitle | kFrameClose; }
};

TEST_F(FramedInputRoutingTest, TabNeverStopsOnTheTitleBar) {
  ASSERT_NE(host_.IconControl(), nullptr);
  ASSERT_TRUE(host_.IconControl()->IsFocusable()) << "the probe icon takes the focus if Tab offers it";
  ProbeControl* a = Add({50, 50, 60, 30});
  ProbeControl* b = Add({150, 50, 60, 30});
  host_.SetFocusControl(RefOf(b), false);
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(a)) << "wrapped past the icon and the title";
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(host_.FocusControl(), RefOf(b));
}

class ResizableWindowTest : public InputRoutingTest {
 protected:
  int Resizable() const override { return 1; }
};

TEST(ResizeZoneTest, ZonesAndCursors) {
  StartToolkitOnce();
  EXPECT_EQ(ResizeZone(Point(9, 3), 400, 300), WMSZ_TOPLEFT);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32642)));
  EXPECT_EQ(ResizeZone(Point(395, 3), 400, 300), WMSZ_TOPRIGHT);
  EXPECT_EQ(ResizeZone(Point(200, 7), 400, 300), WMSZ_TOP);
  EXPECT_EQ(ResizeZone(Point(200, 8), 400, 300), 0);
  EXPECT_EQ(ResizeZone(Point(5, 295), 400, 300), WMSZ_BOTTOMLEFT);
  EXPECT_EQ(ResizeZone(Point(391, 291), 400, 300), WMSZ_BOTTOMRIGHT);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32642)));
  EXPECT_EQ(ResizeZone(Point(200, 291), 400, 300), WMSZ_BOTTOM);
  EXPECT_EQ(ResizeZone(Point(7, 100), 400, 300), WMSZ_LEFT);
  EXPECT_EQ(ResizeZone(Point(9, 20), 400, 300), 0);
  EXPECT_EQ(ResizeZone(Point(391, 100), 400, 300), WMSZ_RIGHT);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32644)));
  EXPECT_EQ(ResizeZone(Point(390, 100), 400, 300), 0);
}

// At 150 % the borders are 12 and 15 pixels deep: at 96 DPI's 8 and 10 they
// would be too thin to catch with the mouse.
TEST(ResizeZoneTest, BordersGrowWithTheDisplayScale) {
  StartToolkitOnce();
  const DpiScale at144(144);
  EXPECT_EQ(ResizeZone(Point(300, 11), 600, 450, at144), WMSZ_TOP);
  EXPECT_EQ(ResizeZone(Point(300, 12), 600, 450, at144), 0);
  EXPECT_EQ(ResizeZone(Point(14, 3), 600, 450, at144), WMSZ_TOPLEFT);
  EXPECT_EQ(ResizeZone(Point(11, 200), 600, 450, at144), WMSZ_LEFT);
  EXPECT_EQ(ResizeZone(Point(586, 200), 600, 450, at144), WMSZ_RIGHT);
  EXPECT_EQ(ResizeZone(Point(585, 200), 600, 450, at144), 0);
  EXPECT_EQ(ResizeZone(Point(586, 436), 600, 450, at144), WMSZ_BOTTOMRIGHT);
}

TEST_F(ResizableWindowTest, BorderZoneTakesTheMouseFromControls) {
  ProbeControl* edge = Add({0, 50, 30, 30});
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(20, 60));
  EXPECT_EQ(host_.HoverControl(), RefOf(edge));
  log_.clear();
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(3, 60));  // left border zone
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  const Delivery* leave = Find(edge, DUIM_MOUSELEAVE);
  ASSERT_NE(leave, nullptr);
  EXPECT_EQ(leave->wparam, 0);
  EXPECT_EQ(Find(edge, WM_MOUSEMOVE), nullptr) << "handled as a border, not routed";
  ShowWindow(window_, SW_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(window_));
  SendMessageW(window_, WM_MOUSEMOVE, 0, Point(3, 60));
  EXPECT_EQ(host_.HoverControl(), RefOf(edge)) << "maximised: no border zones";
}

}  // namespace
}  // namespace quillet::core_tests
