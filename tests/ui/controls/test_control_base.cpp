// The control base: creation, the sibling lists, moves, properties, handler
// table, events through the host, destroy and transitions.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "tests/ui/controls/probe_control.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;

class ControlBaseTest : public HostFixture {};

std::vector<ControlRef> TopLevel(const HostWindow& host) {
  std::vector<ControlRef> out;
  for (ControlRef c = host.FirstControl(); c != kNoControl; c = AsControl(c)->NextSiblingRef()) out.push_back(c);
  return out;
}

std::vector<ControlRef> Children(const Control& parent) {
  std::vector<ControlRef> out;
  for (ControlRef c = parent.FirstChildRef(); c != kNoControl; c = AsControl(c)->NextSiblingRef()) out.push_back(c);
  return out;
}

TEST_F(ControlBaseTest, CreateSetsDefaultsLinksAtTheTailAndIsIdempotent) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log), b(&log);
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  const ControlRef rb = b.Make(window_, 70, 10, 50, 20, false);
  ASSERT_EQ(ra, RefOf(&a));
  EXPECT_EQ(a.GetHostWindow(), window_);
  EXPECT_EQ(a.GetParentControl(), kNoControl);
  EXPECT_TRUE(a.IsVisible());
  EXPECT_TRUE(a.Focusable());
  EXPECT_FALSE(b.Focusable());
  EXPECT_EQ(a.Alpha(), 255);
  EXPECT_STREQ(a.TooltipText(), "");
  EXPECT_TRUE(a.RedrawEnabled());
  EXPECT_EQ(a.Host(), &host_);
  EXPECT_EQ(a.KindCode(), kKindButton);
  ASSERT_NE(a.BackBufferBitmap(), nullptr);
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rb));
  EXPECT_EQ(a.paints, 1);  // WM_CREATE then WM_PAINT at creation

  GpBitmap* buffer = a.BackBufferBitmap();
  EXPECT_EQ(a.Make(window_, 99, 99, 9, 9), ra);
  EXPECT_EQ(a.BackBufferBitmap(), buffer);
  EXPECT_EQ(a.BoundsRect().X, 10);
  EXPECT_EQ(a.paints, 1);
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rb));
}

TEST_F(ControlBaseTest, CreateOnAWindowWithoutHostFailsAndCanBeRetried) {
  HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ProbeControl a;
  EXPECT_EQ(a.Make(plain, 0, 0, 10, 10), kNoControl);
  EXPECT_FALSE(a.IsCreated());
  EXPECT_EQ(host_.FirstControl(), kNoControl);
  EXPECT_NE(a.Make(window_, 0, 0, 10, 10), kNoControl);
  DestroyWindow(plain);
}

TEST_F(ControlBaseTest, ChildControlsShareTheHostAndNestInTheirParent) {
  ProbeControl parent, child1, child2, grandchild;
  const ControlRef rp = parent.Make(window_, 20, 20, 200, 100);
  const ControlRef r1 = child1.Make(rp, 30, 30, 50, 50);
  const ControlRef r2 = child2.Make(rp, 100, 30, 50, 50);
  const ControlRef rg = grandchild.Make(r1, 35, 35, 10, 10);
  EXPECT_EQ(child1.GetHostWindow(), window_);
  EXPECT_EQ(child1.GetParentControl(), rp);
  EXPECT_THAT(TopLevel(host_), ElementsAre(rp));
  EXPECT_THAT(Children(parent), ElementsAre(r1, r2));
  EXPECT_THAT(Children(child1), ElementsAre(rg));
  // Hit testing finds the deepest control, the last sibling first.
  EXPECT_EQ(HitTest(host_.LastControl(), 36, 36), rg);
  EXPECT_EQ(HitTest(host_.LastControl(), 31, 31), r1);
  EXPECT_EQ(HitTest(host_.LastControl(), 25, 25), rp);
  EXPECT_EQ(HitTest(host_.LastControl(), 5, 5), kNoControl);
  grandchild.Disabled(true);
  EXPECT_EQ(HitTest(host_.LastControl(), 36, 36), r1);
  child1.Visible(false);
  EXPECT_EQ(HitTest(host_.LastControl(), 36, 36), rp);
}

TEST_F(ControlBaseTest, MovingAParentShiftsEveryDescendant) {
  ProbeControl parent, child, grandchild;
  const ControlRef rp = parent.Make(window_, 20, 20, 200, 100);
  const ControlRef rc = child.Make(rp, 30, 30, 50, 50);
  grandchild.Make(rc, 35, 36, 10, 10);
  parent.Move(30.0f, 25.0f, std::nullopt, std::nullopt);
  EXPECT_EQ(child.BoundsRect().X, 40);
  EXPECT_EQ(child.BoundsRect().Y, 35);
  EXPECT_EQ(grandchild.BoundsRect().X, 45);
  EXPECT_EQ(grandchild.BoundsRect().Y, 41);
  EXPECT_EQ(parent.PreviousBoundsRect().X, 20);
}

TEST_F(ControlBaseTest, MoveRebuildsTheBackBufferOnlyOnARealSizeChange) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  a.Make(window_, 10, 10, 50, 20);
  log.clear();
  GpBitmap* buffer = a.BackBufferBitmap();
  const int paints = a.paints;

  a.Move(10.00000001f, 10.0f, 50.0f, 20.0f);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(a.paints, paints);
  EXPECT_EQ(a.PreviousBoundsRect().X, 0);  // nothing recorded either

  a.Move(40.0f, 50.0f, std::nullopt, std::nullopt);
  EXPECT_EQ(a.BackBufferBitmap(), buffer);
  EXPECT_EQ(a.paints, paints);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{RefOf(&a), DUIM_MOVED, 0, 0}));

  log.clear();
  a.Move(std::nullopt, std::nullopt, 60.0f, std::nullopt);
  EXPECT_EQ(a.paints, paints + 1);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{RefOf(&a), DUIM_SIZED, 60, 20},
                               RecordedEvent{RefOf(&a), DUIM_MOVED, 0, 0}));
  UINT width = 0;
  dll::GdipGetImageWidth(reinterpret_cast<GpImage*>(a.BackBufferBitmap()), &width);
  EXPECT_EQ(width, 60u);
  EXPECT_EQ(a.Width(), 60);
  EXPECT_EQ(a.Left(), 40);
}

TEST_F(ControlBaseTest, CoordinateSettersMoveOnlyThatCoordinate) {
  ProbeControl a;
  a.Make(window_, 10, 10, 50, 20);
  EXPECT_EQ(a.Left(15), 15);
  EXPECT_EQ(a.Top(16), 16);
  EXPECT_EQ(a.Width(17), 17);
  EXPECT_EQ(a.Height(18), 18);
  const GpRectF b = a.Bounds();
  EXPECT_EQ(b.X, 15);
  EXPECT_EQ(b.Y, 16);
  EXPECT_EQ(b.Width, 17);
  EXPECT_EQ(b.Height, 18);
  const GpRectF moved = a.Bounds(GpRectF{1, 2, 3, 4});
  EXPECT_EQ(moved.X, 1);
  EXPECT_EQ(moved.Height, 4);
}

TEST_F(ControlBaseTest, VisibleSendsShownOrHiddenOnlyOnAChange) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  log.clear();
  EXPECT_TRUE(a.Visible(true));
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(a.Visible(false));
  EXPECT_FALSE(a.Visible(false));
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_HIDDEN, 0, 0}));
  a.Visible(true);
  EXPECT_EQ(log.back(), (RecordedEvent{ra, DUIM_SHOWN, 0, 0}));
}

TEST_F(ControlBaseTest, DisablingTheFocusedControlClearsTheFocusAndPostsKillFocusThenLeave) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  host_.SetFocusControl(ra, true);
  ASSERT_EQ(host_.FocusControl(), ra);
  EXPECT_TRUE(a.HasFocus());
  log.clear();
  a.Disabled(true);
  EXPECT_EQ(host_.FocusControl(), kNoControl);
  EXPECT_EQ(host_.KeyboardFocusControl(), kNoControl) << "its dashed focus frame goes too";
  EXPECT_TRUE(log.empty());  // posted, not sent
  PumpFor(10);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_KILLFOCUS, 0, 0}, RecordedEvent{ra, DUIM_MOUSELEAVE, 0, 0}));
  log.clear();
  a.Disabled(false);
  PumpFor(10);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_MOUSELEAVE, 0, 0}));
}

TEST_F(ControlBaseTest, HasFocusFollowsTheQueryAnswerBeforeTheHost) {
  ProbeControl a;
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  EXPECT_FALSE(a.HasFocus());
  a.query_focus = 1;
  EXPECT_TRUE(a.HasFocus());
  host_.SetFocusControl(ra, false);
  a.query_focus = 0;
  EXPECT_FALSE(a.HasFocus());
  a.query_focus = kNotHandled;
  EXPECT_TRUE(a.HasFocus());
}

TEST_F(ControlBaseTest, PropertiesStoreAndAnswer) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  log.clear();
  EXPECT_EQ(a.Alpha(300), 300);  // no range check
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_ALPHACHANGED, 0, 300}));
  EXPECT_EQ(a.Cursor(32649, false), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
  HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  EXPECT_EQ(a.Cursor(reinterpret_cast<intptr_t>(arrow), true), arrow);
  EXPECT_STREQ(a.Tag("标签").c_str(), "标签");
  EXPECT_STREQ(a.Tag().c_str(), "标签");
  EXPECT_STREQ(a.Tooltip("提示", false).c_str(), "提示");
  EXPECT_STREQ(a.TooltipText(), "提示");
  EXPECT_EQ(a.SetTransition(4, 30), 4);
  EXPECT_EQ(a.TransitionPeriod(), 30);
  EXPECT_EQ(a.TransitionEffect(2), 2);
  EXPECT_EQ(&a.Self(), &a);
  EXPECT_EQ(a.GetRef(), ra);
  a.SuspendRedraw();
  EXPECT_FALSE(a.RedrawEnabled());
  a.ResumeRedraw();
  EXPECT_TRUE(a.RedrawEnabled());
}

// ---- Handler table and delivery ----

std::vector<std::vector<uintptr_t>>* g_calls = nullptr;
void TopHandler(ControlRef control, UINT message, WPARAM wparam, LPARAM lparam) {
  g_calls->push_back({1, control, message, wparam, static_cast<uintptr_t>(lparam)});
}
void OtherHandler(ControlRef control, UINT message, WPARAM wparam, LPARAM lparam) {
  g_calls->push_back({2, control, message, wparam, static_cast<uintptr_t>(lparam)});
}
void ChildHandler(ControlRef parent, ControlRef control, UINT message, WPARAM, LPARAM) {
  g_calls->push_back({3, parent, control, message});
}

// The host's single tooltip tool: how many there are, and the text and rectangle of the one.
struct ToolState {
  LRESULT count;
  std::string text;
  RECT rect;
};
ToolState Tool(HWND tooltip) {
  ToolState state = {SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), "", RECT{}};
  if (state.count == 0) return state;
  char text[80] = {};
  TTTOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V2_SIZE;
  info.lpszText = text;
  SendMessageA(tooltip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&info));
  state.text = text;
  state.rect = info.rect;
  return state;
}

TEST_F(ControlBaseTest, TooltipFollowsTheHoveredControlAndApplyingChangesItAtOnce) {
  std::vector<RecordedEvent> log;
  ProbeControl first(&log), second(&log), silent(&log);
  first.Make(window_, 10, 10, 60, 30);
  second.Make(window_, 100, 10, 60, 30);
  silent.Make(window_, 200, 10, 60, 30);
  first.Tooltip("first tip");
  second.Tooltip("second tip");
  const HWND tooltip = host_.TooltipWindow();
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(Tool(tooltip).count, 0) << "storing a tooltip without applying it shows nothing";

  Mouse(WM_MOUSEMOVE, 20, 20);
  ToolState now = Tool(tooltip);
  EXPECT_EQ(now.count, 1);
  EXPECT_EQ(now.text, "first tip");
  EXPECT_EQ(now.rect.left, 10);
  EXPECT_EQ(now.rect.right, 70);
  EXPECT_EQ(now.rect.bottom, 40);

  Mouse(WM_MOUSEMOVE, 110, 20);
  now = Tool(tooltip);
  EXPECT_EQ(now.text, "second tip");
  EXPECT_EQ(now.rect.left, 100);

  Mouse(WM_MOUSEMOVE, 210, 20);
  EXPECT_EQ(Tool(tooltip).count, 0) << "a control without a tooltip takes the tool away";

  second.Tooltip("changed", true);
  now = Tool(tooltip);
  EXPECT_EQ(now.count, 1);
  EXPECT_EQ(now.text, "changed");
  EXPECT_EQ(now.rect.left, 100);
  second.Tooltip("", true);
  EXPECT_EQ(Tool(tooltip).count, 0);
}

TEST_F(ControlBaseTest, HandlerTableGrowsByOneAndReplacesInPlace) {
  std::vector<std::vector<uintptr_t>> calls;
  g_calls = &calls;
  ProbeControl a;
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  a.SetEventHandler(DUIM_CLICK, &TopHandler);
  a.SetEventHandler(WM_KEYDOWN, &TopHandler);
  EXPECT_EQ(a.HandlerCount(), 2);
  a.SetEventHandler(DUIM_CLICK, &OtherHandler);
  EXPECT_EQ(a.HandlerCount(), 2);
  a.answer = 42;
  EXPECT_EQ(a.SendEvent(DUIM_CLICK, 7, 8), 42);  // the class procedure's result, even with a handler
  EXPECT_EQ(a.SendEvent(WM_CHAR, 1, 2), 42);     // no handler for it
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<uintptr_t>{2, ra, DUIM_CLICK, 7, 8}));
  // A null handler still matches and ends the walk.
  a.SetEventHandler(DUIM_CLICK, static_cast<EventHandler>(nullptr));
  a.SendEvent(DUIM_CLICK, 0, 0);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(ControlBaseTest, DoubleClickHandlerMatchesOnlyTheMarkedButtonDown) {
  std::vector<std::vector<uintptr_t>> calls;
  g_calls = &calls;
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  a.Make(window_, 10, 10, 50, 20);
  a.SetEventHandler(WM_LBUTTONDBLCLK, &TopHandler);
  a.SendEvent(WM_LBUTTONDBLCLK, 0, 0);
  a.SendEvent(WM_LBUTTONDOWN, 0, 0);
  EXPECT_TRUE(calls.empty());
  a.SendEvent(WM_LBUTTONDOWN, DUIM_DBLCLICKMARK, 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0][2], static_cast<uintptr_t>(WM_LBUTTONDOWN));
  // A real double click on the window: the class procedure sees the marked button-down too.
  calls.clear();
  log.clear();
  Mouse(WM_LBUTTONDBLCLK, 20, 15);
  EXPECT_EQ(calls.size(), 1u);
  ASSERT_FALSE(Only(log, WM_LBUTTONDOWN).empty());
  EXPECT_EQ(Only(log, WM_LBUTTONDOWN)[0].wparam, DUIM_DBLCLICKMARK);
  Mouse(WM_LBUTTONUP, 20, 15);
  calls.clear();
  Click(20, 15);
  EXPECT_TRUE(calls.empty());
}

TEST_F(ControlBaseTest, ChildHandlerGetsTheParentFirst) {
  std::vector<std::vector<uintptr_t>> calls;
  g_calls = &calls;
  ProbeControl parent, child;
  const ControlRef rp = parent.Make(window_, 10, 10, 100, 50);
  const ControlRef rc = child.Make(rp, 20, 20, 20, 20);
  child.SetEventHandler(DUIM_CLICK, &ChildHandler);
  Click(25, 25);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<uintptr_t>{3, rp, rc, DUIM_CLICK}));
}

TEST_F(ControlBaseTest, PostEventIsDeliveredLaterAndSendEventOnANeverCreatedControlIsHarmless) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log), never;
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  log.clear();
  EXPECT_TRUE(a.PostEvent(WM_USER + 5, 1, 2));
  EXPECT_TRUE(log.empty());
  PumpFor(10);
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, WM_USER + 5, 1, 2}));
  EXPECT_EQ(never.SendEvent(WM_USER, 0, 0), 0);
  EXPECT_FALSE(never.PostEvent(WM_USER, 0, 0));
  never.Destroy();  // nothing happens
  never.Invalidate();
}

// The packets of the DUIM_EVENT messages queued for a window, left queued.
std::vector<void*> QueuedPackets(HWND window) {
  std::vector<MSG> taken;
  MSG message;
  while (PeekMessageW(&message, window, DUIM_EVENT, DUIM_EVENT, PM_REMOVE)) taken.push_back(message);
  std::vector<void*> packets;
  for (const MSG& m : taken) {
    PostMessageW(window, m.message, m.wParam, m.lParam);
    packets.push_back(reinterpret_cast<void*>(m.lParam));
  }
  return packets;
}

bool StillCommitted(void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  return VirtualQuery(address, &info, sizeof(info)) == sizeof(info) && info.State == MEM_COMMIT;
}

TEST_F(ControlBaseTest, PostedEventsStillQueuedWhenTheHostGoesAreFreed) {
  constexpr int kWindows = 100;
  constexpr int kPostsPerWindow = 2;
  int queued = 0, left_behind = 0;
  for (int i = 0; i < kWindows; ++i) {
    HWND window = CreateWindowExW(0, kToolkitClassName, L"posted", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    HostWindow host;
    AttachOptions options;
    options.window = window;
    options.frame_flags = 0;
    options.alpha = 190;
    ASSERT_TRUE(host.Attach(options));
    ProbeControl control;
    control.Make(window, 10, 10, 40, 20);
    for (int post = 0; post < kPostsPerWindow; ++post) ASSERT_TRUE(control.PostEvent(WM_USER + post, 0, 0));
    const std::vector<void*> packets = QueuedPackets(window);
    queued += static_cast<int>(packets.size());
    // Half the hosts are detached first, the others go with their window.
    if (i % 2 == 0) host.Detach(window);
    DestroyWindow(window);
    for (void* packet : packets) left_behind += StillCommitted(packet) ? 1 : 0;
  }
  EXPECT_EQ(queued, kWindows * kPostsPerWindow);
  EXPECT_EQ(left_behind, 0) << "scratch pages of packets that were never delivered";
}

// A worker's Invalidate is still queued when the main thread destroys and frees
// the control: the host must not read a rectangle out of the freed object.
TEST_F(ControlBaseTest, AnInvalidatePostedForAControlFreedBeforeItIsHandledRedrawsNothing) {
  constexpr int kSentinelX = 300, kSentinelY = 200, kSentinelSize = 10;
  alignas(ProbeControl) unsigned char storage[sizeof(ProbeControl)];
  auto* control = new (storage) ProbeControl();
  control->Make(window_, 10, 10, 40, 20);
  PumpFor(10);
  const size_t bounds_offset =
      reinterpret_cast<const unsigned char*>(&control->BoundsRect()) - static_cast<unsigned char*>(storage);
  std::thread worker([control] { control->Invalidate(); });
  worker.join();
  control->~ProbeControl();
  // What the freed memory holds by the time the request is handled: here, a
  // rectangle over a spot of the frame that no control covers.
  const GpRectF stale = {kSentinelX - 5.0f, kSentinelY - 5.0f, 20.0f, 20.0f};
  std::memcpy(storage + bounds_offset, &stale, sizeof(stale));
  PatBlt(host_.FrameDC(), kSentinelX, kSentinelY, kSentinelSize, kSentinelSize, WHITENESS);
  ASSERT_EQ(GetPixel(host_.FrameDC(), kSentinelX + 1, kSentinelY + 1), RGB(255, 255, 255));
  PumpFor(20);
  EXPECT_EQ(GetPixel(host_.FrameDC(), kSentinelX + 1, kSentinelY + 1), RGB(255, 255, 255))
      << "the host redrew a rectangle read from the freed control";
}

// ---- Z-order, unlink, destroy ----

TEST_F(ControlBaseTest, ZOrderPutsAControlAtEitherEndOfItsList) {
  ProbeControl a, b, c;
  const ControlRef ra = a.Make(window_, 0, 0, 10, 10);
  a.SetZOrder(2);
  EXPECT_EQ(host_.FirstControl(), ra);
  EXPECT_EQ(host_.LastControl(), ra);
  const ControlRef rb = b.Make(window_, 0, 0, 10, 10);
  const ControlRef rc = c.Make(window_, 0, 0, 10, 10);
  c.SetZOrder(2);
  EXPECT_THAT(TopLevel(host_), ElementsAre(rc, ra, rb));
  c.SetZOrder(1);
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rb, rc));
  b.Unlink();
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rc));
  b.Unlink();  // not listed: only its own links are cleared
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rc));
  b.SetParentControl(ra);
  EXPECT_THAT(Children(a), ElementsAre(rb));
  b.SetParentControl(window_);
  EXPECT_TRUE(Children(a).empty());
  EXPECT_THAT(TopLevel(host_), ElementsAre(ra, rc, rb));
}

TEST_F(ControlBaseTest, DestroyTakesTheSubtreeAndEveryHostReference) {
  std::vector<RecordedEvent> log;
  ProbeControl parent(&log), child(&log), grandchild(&log), other;
  const ControlRef rp = parent.Make(window_, 10, 10, 200, 100);
  const ControlRef rc = child.Make(rp, 20, 20, 100, 50);
  const ControlRef rg = grandchild.Make(rc, 30, 30, 20, 20);
  const ControlRef ro = other.Make(window_, 250, 10, 50, 50);
  Mouse(WM_MOUSEMOVE, 35, 35);
  Mouse(WM_LBUTTONDOWN, 35, 35, MK_LBUTTON);  // press, focus and hover: the grandchild
  host_.SetFocusControl(ro, false);
  host_.SetFocusControl(rg, true);  // now the keyboard-focus control as well
  ASSERT_EQ(host_.PressedControl(), rg);
  ASSERT_EQ(host_.HoverControl(), rg);
  ASSERT_EQ(host_.FocusControl(), rg);
  ASSERT_EQ(host_.KeyboardFocusControl(), rg);
  ASSERT_TRUE(host_.IsCaptured());
  child.SetEventHandler(DUIM_CLICK, &TopHandler);
  log.clear();
  parent.Destroy();
  EXPECT_FALSE(parent.IsCreated());
  EXPECT_FALSE(child.IsCreated());
  EXPECT_FALSE(grandchild.IsCreated());
  EXPECT_EQ(parent.destroys + child.destroys + grandchild.destroys, 3);
  EXPECT_EQ(child.HandlerCount(), 0);
  EXPECT_EQ(host_.PressedControl(), kNoControl);
  EXPECT_FALSE(host_.IsCaptured());
  EXPECT_EQ(host_.HoverControl(), kNoControl);
  EXPECT_EQ(host_.FocusControl(), kNoControl);
  EXPECT_EQ(host_.KeyboardFocusControl(), kNoControl);
  EXPECT_THAT(TopLevel(host_), ElementsAre(ro));
  EXPECT_EQ(child.BackBufferBitmap(), nullptr);
  // Deepest first, the class procedure alone sees WM_DESTROY.
  EXPECT_THAT(Only(log, WM_DESTROY), ElementsAre(RecordedEvent{rg, WM_DESTROY, 0, 0},
                                                  RecordedEvent{rc, WM_DESTROY, 0, 0},
                                                  RecordedEvent{rp, WM_DESTROY, 0, 0}));
  ReleaseCapture();
  // Created again through the same object.
  EXPECT_EQ(parent.Make(window_, 10, 10, 20, 20), rp);
}

// A control destroyed while a fade keeps the host busy must not stay drawn
// once the fade ends.
TEST_F(ControlBaseTest, AControlDestroyedDuringAFadeIsGoneWhenItEnds) {
  ProbeControl doomed;
  doomed.Make(window_, 20, 20, 40, 30);
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(doomed.BackBufferBitmap()), &g);
  dll::GdipGraphicsClear(g, 0xFFFF0000u);
  dll::GdipDeleteGraphics(g);
  SendMessageW(window_, DUIM_INVALIDATE, kRedrawNow, reinterpret_cast<LPARAM>(&doomed.BoundsRect()));
  auto red_at_control = [&] { return GetRValue(GetPixel(host_.FrameSurface().dc, 40, 35)); };
  ASSERT_GT(red_at_control(), 200);
  host_.SetBackground(nullptr, false, static_cast<int>(RGB(0, 0, 0)), true, kPresentCrossFade);
  ASSERT_TRUE(host_.IsBusy());
  doomed.Destroy();
  const DWORD start = GetTickCount();
  while (host_.IsBusy() && GetTickCount() - start < 3000) PumpFor(10);
  ASSERT_FALSE(host_.IsBusy());
  EXPECT_LT(red_at_control(), 40) << "recomposed without the destroyed control";
}

// ---- Painting and transitions ----

TEST_F(ControlBaseTest, PaintWithoutTransitionInvalidatesSynchronouslyAndStartsNoTimer) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  a.paint_for_real = true;
  a.Make(window_, 10, 10, 50, 20);
  log.clear();
  a.PaintNow();
  EXPECT_TRUE(Only(log, DUIM_TRANSITIONSTART).empty());
  EXPECT_EQ(a.TransitionSnapshot(), nullptr);
  EXPECT_EQ(a.TransitionFrame(), 0);
  PumpFor(50);
  EXPECT_TRUE(Only(log, DUIM_TRANSITIONEND).empty());
}

TEST_F(ControlBaseTest, TransitionRunsItsFramesOnTheTimerAndEnds) {
  std::vector<RecordedEvent> log;
  ProbeControl a(&log);
  a.paint_for_real = true;
  const ControlRef ra = a.Make(window_, 10, 10, 50, 20);
  PumpFor(20);
  a.SetTransition(3, 20);
  log.clear();
  const auto start = std::chrono::steady_clock::now();
  a.PaintNow();
  EXPECT_THAT(log, ElementsAre(RecordedEvent{ra, DUIM_TRANSITIONSTART, 0, 0}));
  EXPECT_NE(a.TransitionSnapshot(), nullptr);
  EXPECT_EQ(a.TransitionFrame(), 0);
  while (Only(log, DUIM_TRANSITIONEND).empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    PumpFor(5);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Only(log, DUIM_TRANSITIONEND).size(), 1u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(55));  // three ticks of 20 ms
  EXPECT_EQ(a.TransitionFrame(), 0);
  EXPECT_EQ(a.TransitionSnapshot(), nullptr);
  log.clear();
  PumpFor(60);
  EXPECT_TRUE(log.empty());  // the timer is gone
}

}  // namespace
}  // namespace quillet::testing_support
