// The host window's MSAA object with the real control classes: the tree a
// screen reader reads, the WinEvents the controls raise, default actions,
// the edit-menu popup, and the object outliving its window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "support/accessible_reading.h"
#include "tests/ui/controls/host_fixture.h"
#include "ui/controls/button.h"
#include "ui/controls/label.h"
#include "ui/controls/popup_menu.h"
#include "ui/controls/title_bar_button.h"
#include "ui/core/host_accessible.h"

namespace quillet::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

std::wstring Name(IAccessible* object, LONG id) {
  BSTR text = nullptr;
  object->get_accName(Child(id), &text);
  return TakeBstr(text);
}

std::wstring TextOf(IAccessible* object, LONG id, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
  BSTR text = nullptr;
  (object->*get)(Child(id), &text);
  return TakeBstr(text);
}

LONG IntOf(IAccessible* object, LONG id, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
  VARIANT out;
  VariantInit(&out);
  if ((object->*get)(Child(id), &out) != S_OK || out.vt != VT_I4) return -1;
  return out.lVal;
}
LONG Role(IAccessible* object, LONG id) { return IntOf(object, id, &IAccessible::get_accRole); }
LONG State(IAccessible* object, LONG id) { return IntOf(object, id, &IAccessible::get_accState); }

std::vector<std::pair<LONG, std::wstring>> Tree(IAccessible* object) {
  long count = 0;
  object->get_accChildCount(&count);
  std::vector<std::pair<LONG, std::wstring>> tree;
  for (LONG id = 1; id <= count; ++id) tree.emplace_back(Role(object, id), Name(object, id));
  return tree;
}

IAccessible* ObjectOf(HWND window) {
  IAccessible* object = nullptr;
  AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                             reinterpret_cast<void**>(&object));
  return object;
}

struct Event {
  DWORD event;
  HWND window;
  LONG object;
  LONG child;
  bool operator==(const Event& o) const {
    return event == o.event && window == o.window && object == o.object && child == o.child;
  }
};
std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << "{0x" << std::hex << e.event << std::dec << ", obj " << e.object << ", child " << e.child << "}";
}
std::vector<Event> g_events;
DWORD g_event_thread = 0;
bool g_events_off_thread = false;

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD thread, DWORD) {
  if (object != OBJID_CLIENT) return;  // the system's own (caret, cursor, window)
  if (thread != g_event_thread) g_events_off_thread = true;
  g_events.push_back(Event{event, window, object, child});
}

int g_clicks = 0;
void CountClick(ControlRef, UINT, WPARAM, LPARAM) { ++g_clicks; }

class AccessibilityTest : public HostFixture {
 protected:
  int FrameFlags() const override { return kFrameFromStyle | kFrameMinimize | kFrameClose; }

  void SetUp() override {
    OleInitialize(nullptr);
    HostFixture::SetUp();
    host_.DragAnywhere(0);
    LabelOptions text;
    text.multi_line = true;
    text.font_size = 20.0f;  // the widget's sentence
    label_.Create(window_, 8, 88, 376, 88, "你好", text);
    button_.Create(window_, 248, 168, 112, 40, "获取(&G)");
    g_clicks = 0;
    button_.SetEventHandler(DUIM_CLICK, CountClick);
    object_ = ObjectOf(window_);
    ASSERT_NE(object_, nullptr);
    g_events.clear();
    g_events_off_thread = false;
    g_event_thread = GetCurrentThreadId();
    hook_ = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, RecordEvent, GetCurrentProcessId(), 0,
                            WINEVENT_OUTOFCONTEXT);
  }

  void TearDown() override {
    if (hook_ != nullptr) UnhookWinEvent(hook_);
    if (object_ != nullptr) object_->Release();
    label_.Destroy();
    button_.Destroy();
    HostFixture::TearDown();
    OleUninitialize();
  }

  bool ShowForReal() const override { return true; }  // focus needs a window on screen
  DWORD WindowStyle() const override { return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; }  // as the widget's

  // Events raised so far, once the hook's deliveries are through.
  std::vector<Event> Events() {
    PumpFor(50);
    return g_events;
  }
  // Only those of one kind.
  std::vector<Event> Events(DWORD kind) {
    std::vector<Event> of_kind;
    for (const Event& e : Events()) {
      if (e.event == kind) of_kind.push_back(e);
    }
    return of_kind;
  }
  Event On(DWORD event, LONG child) const { return Event{event, window_, OBJID_CLIENT, child}; }

  static constexpr LONG kIconId = 1, kTitleId = 2, kCloseId = 3, kMinimizeId = 4, kLabelId = 5, kButtonId = 6;

  Label label_;
  Button button_;
  IAccessible* object_ = nullptr;
  HWINEVENTHOOK hook_ = nullptr;
};

TEST_F(AccessibilityTest, TheTreeFollowsTheListWithRolesNamesActionsAndScreenLocations) {
  EXPECT_EQ(Role(object_, CHILDID_SELF), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(Name(object_, CHILDID_SELF), L"Quillet");
  EXPECT_THAT(Tree(object_), ElementsAre(Pair(ROLE_SYSTEM_GRAPHIC, L""), Pair(ROLE_SYSTEM_STATICTEXT, L"Quillet"),
                                         Pair(ROLE_SYSTEM_PUSHBUTTON, L"关闭"), Pair(ROLE_SYSTEM_PUSHBUTTON, L"最小化"),
                                         Pair(ROLE_SYSTEM_STATICTEXT, L"你好"), Pair(ROLE_SYSTEM_PUSHBUTTON, L"获取")));
  EXPECT_EQ(TextOf(object_, kButtonId, &IAccessible::get_accDefaultAction), L"按下");
  EXPECT_EQ(TextOf(object_, kButtonId, &IAccessible::get_accKeyboardShortcut), L"Alt+G");
  EXPECT_EQ(TextOf(object_, kCloseId, &IAccessible::get_accDefaultAction), L"按下");
  EXPECT_EQ(TextOf(object_, kLabelId, &IAccessible::get_accDefaultAction), L"");
  EXPECT_EQ(State(object_, kButtonId) & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE), STATE_SYSTEM_FOCUSABLE);
  EXPECT_EQ(State(object_, kCloseId) & STATE_SYSTEM_FOCUSABLE, 0);
  EXPECT_EQ(State(object_, kLabelId) & STATE_SYSTEM_READONLY, STATE_SYSTEM_READONLY);

  // Screen coordinates: the client's origin plus the control rectangle.
  POINT origin = {0, 0};
  ClientToScreen(window_, &origin);
  long x = 0, y = 0, w = 0, h = 0;
  ASSERT_EQ(object_->accLocation(&x, &y, &w, &h, Child(kButtonId)), S_OK);
  EXPECT_THAT((std::vector<long>{x, y, w, h}), ElementsAre(origin.x + 248, origin.y + 168, 112, 40));

  // The whole text, however much of it the label can draw; emoji and "%" as they are.
  const wchar_t whole[] = L"人生就像一场旅行，不必在乎目的地，在乎的是沿途的风景以及看风景的心情，100% 🌙 "
                          L"让心灵去旅行吧，走过的路都算数，每一步都有它的意义，走过的路都算数，每一步都有它的意义";
  const ByteSet wide(whole, sizeof(whole) - sizeof(wchar_t));
  label_.TextW(wide.get());
  ASSERT_NE(label_.ShownText(), std::wstring(whole));  // cut with "…"
  EXPECT_EQ(Name(object_, kLabelId), whole);

  // A hidden control is no child; the ones after it move up.
  button_.Visible(false);
  EXPECT_EQ(Tree(object_).size(), 5u);
  VARIANT end;
  VariantInit(&end);
  EXPECT_EQ(object_->accNavigate(NAVDIR_NEXT, Child(kLabelId), &end), S_FALSE);
  EXPECT_EQ(Role(object_, kButtonId), -1);
  button_.Visible(true);
  EXPECT_EQ(object_->accNavigate(NAVDIR_NEXT, Child(kLabelId), &end), S_OK);
  EXPECT_EQ(end.lVal, kButtonId);
  EXPECT_EQ(object_->accNavigate(NAVDIR_RIGHT, Child(kIconId), &end), S_OK);
  EXPECT_EQ(end.lVal, kTitleId);
  EXPECT_EQ(object_->accNavigate(NAVDIR_FIRSTCHILD, Child(kButtonId), &end), E_INVALIDARG);

  EXPECT_EQ(object_->accHitTest(origin.x + 250, origin.y + 170, &end), S_OK);
  EXPECT_EQ(end.lVal, kButtonId);
  EXPECT_EQ(object_->accHitTest(origin.x + 200, origin.y + 60, &end), S_OK);
  EXPECT_EQ(end.lVal, CHILDID_SELF);
  EXPECT_EQ(object_->accHitTest(origin.x - 5, origin.y + 60, &end), S_FALSE);
  EXPECT_EQ(object_->get_accName(Child(kButtonId + 1), nullptr), E_POINTER);
  BSTR none = nullptr;
  EXPECT_EQ(object_->get_accName(Child(kButtonId + 1), &none), E_INVALIDARG);
}

TEST_F(AccessibilityTest, TextFocusPressAndVisibilityRaiseTheirEventsOnTheWindowsThread) {
  label_.Text("新的一句");
  EXPECT_THAT(Events(EVENT_OBJECT_NAMECHANGE), ElementsAre(On(EVENT_OBJECT_NAMECHANGE, kLabelId)));
  label_.Text("新的一句");  // the same text: nothing changes, nothing is raised
  EXPECT_THAT(Events(EVENT_OBJECT_NAMECHANGE), ElementsAre(On(EVENT_OBJECT_NAMECHANGE, kLabelId)));

  g_events.clear();
  button_.Visible(false);
  button_.Visible(true);
  std::vector<Event> shown_and_hidden = Events(EVENT_OBJECT_HIDE);
  for (const Event& e : Events(EVENT_OBJECT_SHOW)) shown_and_hidden.push_back(e);
  EXPECT_THAT(shown_and_hidden, ElementsAre(On(EVENT_OBJECT_HIDE, kButtonId), On(EVENT_OBJECT_SHOW, kButtonId)));

  g_events.clear();
  SendMessageW(window_, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_THAT(Events(EVENT_OBJECT_FOCUS), ElementsAre(On(EVENT_OBJECT_FOCUS, kButtonId)));
  EXPECT_EQ(host_.FocusControl(), button_.GetRef());

  g_events.clear();
  Mouse(WM_MOUSEMOVE, 300, 188);
  Mouse(WM_LBUTTONDOWN, 300, 188, MK_LBUTTON);
  EXPECT_EQ(State(object_, kButtonId) & STATE_SYSTEM_PRESSED, STATE_SYSTEM_PRESSED);
  Mouse(WM_LBUTTONUP, 300, 188);
  EXPECT_EQ(State(object_, kButtonId) & STATE_SYSTEM_PRESSED, 0);
  EXPECT_THAT(Events(EVENT_OBJECT_STATECHANGE),
              ElementsAre(On(EVENT_OBJECT_STATECHANGE, kButtonId), On(EVENT_OBJECT_STATECHANGE, kButtonId)));
  EXPECT_EQ(g_clicks, 1);

  // A press the window loses before the release is a release too.
  g_events.clear();
  Mouse(WM_LBUTTONDOWN, 300, 188, MK_LBUTTON);
  SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_THAT(Events(EVENT_OBJECT_STATECHANGE),
              ElementsAre(On(EVENT_OBJECT_STATECHANGE, kButtonId), On(EVENT_OBJECT_STATECHANGE, kButtonId)));
  EXPECT_FALSE(g_events_off_thread);
}

TEST_F(AccessibilityTest, DefaultActionsArePostedClicksAndSelectTakesTheFocus) {
  ASSERT_EQ(object_->accDoDefaultAction(Child(kButtonId)), S_OK);
  EXPECT_EQ(g_clicks, 0);  // the call answers before the click runs
  PumpFor(20);
  EXPECT_EQ(g_clicks, 1);

  button_.Disabled(true);
  EXPECT_EQ(object_->accDoDefaultAction(Child(kButtonId)), E_FAIL);
  EXPECT_EQ(State(object_, kButtonId) & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_FOCUSABLE), STATE_SYSTEM_UNAVAILABLE);
  button_.Disabled(false);
  // Disabled between the call and its click: the click is dropped.
  ASSERT_EQ(object_->accDoDefaultAction(Child(kButtonId)), S_OK);
  button_.Disabled(true);
  PumpFor(20);
  EXPECT_EQ(g_clicks, 1);
  button_.Disabled(false);
  EXPECT_EQ(object_->accDoDefaultAction(Child(kLabelId)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_->accDoDefaultAction(Child(CHILDID_SELF)), DISP_E_MEMBERNOTFOUND);

  EXPECT_EQ(object_->accSelect(SELFLAG_TAKEFOCUS, Child(kLabelId)), S_FALSE);
  EXPECT_EQ(object_->accSelect(SELFLAG_TAKEFOCUS, Child(kCloseId)), S_FALSE);
  ASSERT_EQ(object_->accSelect(SELFLAG_TAKEFOCUS, Child(kButtonId)), S_OK);
  EXPECT_EQ(host_.FocusControl(), button_.GetRef());
  VARIANT focus;
  VariantInit(&focus);
  ASSERT_EQ(object_->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.vt, VT_I4);
  EXPECT_EQ(focus.lVal, kButtonId);
  EXPECT_EQ(State(object_, kButtonId) & STATE_SYSTEM_FOCUSED, STATE_SYSTEM_FOCUSED);
}

TEST_F(AccessibilityTest, AClickPostedForAControlDestroyedMeanwhileIsDropped) {
  ASSERT_EQ(object_->accDoDefaultAction(Child(kButtonId)), S_OK);
  button_.Destroy();
  PumpFor(20);
  EXPECT_EQ(g_clicks, 0);
}

TEST(AccessibleCaption, MarkersAndAcceleratorTextAreLeftOut) {
  EXPECT_EQ(AccessibleNameFromCaption(L"复制(&C)"), L"复制");
  EXPECT_EQ(AccessibleNameFromCaption(L"&Open"), L"Open");
  EXPECT_EQ(AccessibleNameFromCaption(L"A && B"), L"A & B");
  EXPECT_EQ(AccessibleNameFromCaption(L"保存(&S)\tCtrl+S"), L"保存");
  EXPECT_EQ(AccessibleNameFromCaption(L"半(&开"), L"半(开");
  EXPECT_EQ(AccessibleNameFromCaption(L"末尾&"), L"末尾");
  EXPECT_EQ(AccessKeyOfCaption(L"复制(&c)"), L'C');
  EXPECT_EQ(AccessKeyOfCaption(L"A && B"), 0);
  EXPECT_EQ(AccessKeyOfCaption(L"&&&x"), L'X');
  EXPECT_EQ(AccessKeyOfCaption(L"末尾&"), 0);
}

// ---- The popup menu ----

IAccessible* g_menu_object = nullptr;
HWND g_menu_window = nullptr;
void CALLBACK ReadMenuThenClose(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND menu = FindWindowW(kToolkitClassName, kMenuWindowTitle);
  g_menu_window = menu;
  if (menu != nullptr) g_menu_object = ObjectOf(menu);
  if (menu != nullptr) PostMessageW(menu, WM_CLOSE, 0, 0);
}

TEST_F(AccessibilityTest, TheEditMenuIsAMenuPopupWithItsItemsAndStartAndEndEvents) {
  PopupMenu menu;
  menu.AddItem("剪切(&T)", nullptr, kItemDisabled);
  menu.AddItem("复制(&C)\tCtrl+C");
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  menu.AddItem("全部选择(&A)", nullptr, kItemChecked);
  g_menu_object = nullptr;
  g_menu_window = nullptr;
  // The timer takes the menu's object from inside its modal loop.
  SetTimer(nullptr, 0, 100, ReadMenuThenClose);
  menu.Popup(window_, 100, 100);
  ASSERT_NE(g_menu_object, nullptr);
  // Read after the loop: the object was taken while the menu lived; it is cut off now.
  long count = 0;
  EXPECT_EQ(g_menu_object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  g_menu_object->Release();
  const std::vector<Event> events = Events();
  EXPECT_THAT(events, ::testing::Contains(Event{EVENT_SYSTEM_MENUPOPUPSTART, g_menu_window, OBJID_CLIENT, CHILDID_SELF}));
  EXPECT_THAT(events, ::testing::Contains(Event{EVENT_SYSTEM_MENUPOPUPEND, g_menu_window, OBJID_CLIENT, CHILDID_SELF}));
}

// The same menu read while it is open.
std::vector<std::pair<LONG, std::wstring>> g_menu_tree;
LONG g_menu_role = 0, g_cut_state = 0, g_separator_state = 0, g_select_all_state = 0;
std::wstring g_copy_action, g_copy_shortcut;
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND menu = FindWindowW(kToolkitClassName, kMenuWindowTitle);
  if (menu == nullptr) return;
  if (IAccessible* object = ObjectOf(menu)) {
    g_menu_role = Role(object, CHILDID_SELF);
    g_menu_tree = Tree(object);
    g_cut_state = State(object, 1);
    g_separator_state = State(object, 3);
    g_select_all_state = State(object, 4);
    g_copy_action = TextOf(object, 2, &IAccessible::get_accDefaultAction);
    g_copy_shortcut = TextOf(object, 2, &IAccessible::get_accKeyboardShortcut);
    object->Release();
  }
  PostMessageW(menu, WM_CLOSE, 0, 0);
}

TEST_F(AccessibilityTest, MenuItemsAreNamedWithoutMarkersAndDisabledOnesAreUnavailable) {
  PopupMenu menu;
  menu.AddItem("剪切(&T)", nullptr, kItemDisabled);
  menu.AddItem("复制(&C)\tCtrl+C");
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  menu.AddItem("全部选择(&A)", nullptr, kItemChecked);
  g_menu_tree.clear();
  SetTimer(nullptr, 0, 100, ReadOpenMenu);
  menu.Popup(window_, 100, 100);
  EXPECT_EQ(g_menu_role, ROLE_SYSTEM_MENUPOPUP);
  EXPECT_THAT(g_menu_tree, ElementsAre(Pair(ROLE_SYSTEM_MENUITEM, L"剪切"), Pair(ROLE_SYSTEM_MENUITEM, L"复制"),
                                       Pair(ROLE_SYSTEM_SEPARATOR, L""), Pair(ROLE_SYSTEM_MENUITEM, L"全部选择")));
  EXPECT_EQ(g_cut_state & STATE_SYSTEM_UNAVAILABLE, STATE_SYSTEM_UNAVAILABLE);
  EXPECT_EQ(g_separator_state & STATE_SYSTEM_FOCUSABLE, 0);
  EXPECT_EQ(g_select_all_state & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_CHECKED), STATE_SYSTEM_CHECKED);
  EXPECT_EQ(g_copy_action, L"执行");
  EXPECT_EQ(g_copy_shortcut, L"C");
}

// ---- Lifetime ----

TEST(AccessibleLifetime, AnObjectHeldPastItsWindowAnswersNotConnectedAndNoneLeakOverAHundredHosts) {
  StartToolkitOnce();
  OleInitialize(nullptr);
  const int live_before = LiveHostAccessibleObjects();
  constexpr int kCycles = 100;
  int not_connected = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    HWND window = CreateWindowExW(0, kToolkitClassName, L"Quillet", WS_OVERLAPPEDWINDOW, 50, 50, 380, 250, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    auto host = std::make_unique<HostWindow>();
    AttachOptions options;
    options.window = window;
    options.frame_flags = kFrameFromStyle | kFrameClose;
    options.alpha = 190;
    options.animate_first_show = 0;
    ASSERT_TRUE(host->Attach(options));
    Label label;
    label.Create(window, 8, 88, 200, 40, "你好");
    IAccessible* object = ObjectOf(window);
    ASSERT_NE(object, nullptr);
    long count = 0;
    ASSERT_EQ(object->get_accChildCount(&count), S_OK);
    // Every other cycle the client lets go first; otherwise it holds on past the window.
    if (cycle % 2 == 0) object->Release();
    DestroyWindow(window);
    label.Destroy();
    host.reset();
    if (cycle % 2 != 0) {
      VARIANT hit;
      VariantInit(&hit);
      const bool cut_off = object->get_accChildCount(&count) == CO_E_OBJNOTCONNECTED &&
                           Name(object, 1).empty() && object->accHitTest(100, 150, &hit) == CO_E_OBJNOTCONNECTED &&
                           object->accDoDefaultAction(Child(1)) == CO_E_OBJNOTCONNECTED;
      if (cut_off) ++not_connected;
      object->Release();
    }
    PumpFor(0);
  }
  EXPECT_EQ(not_connected, kCycles / 2);
  EXPECT_EQ(LiveHostAccessibleObjects(), live_before);
  OleUninitialize();
}

}  // namespace
}  // namespace quillet::testing_support
