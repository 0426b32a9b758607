// Popup menu input: hover and click on submenu items, closing a sibling's
// submenu, Escape, deactivation of the chain, and choosing an item.
#include <vector>

#include "menu_test_support.h"

namespace quillet::menu_tests {
namespace {

constexpr int kFirst = 11, kThird = 12, kSubFirst = 21, kSubSecond = 22;

// A hide under a window-manager-less X server can take up to 2 s in Wine;
// a menu counts as closed once it is hidden or gone.
bool Closed(HWND window) { return !IsWindow(window) || !IsWindowVisible(window); }

HWND OpenSubmenuWindow() {
  for (const OpenedMenu& m : Opened()) {
    if (!m.is_root && IsWindow(m.window)) return m.window;
  }
  return nullptr;
}
const OpenedMenu* FirstSubmenu() {
  for (const OpenedMenu& m : Opened()) {
    if (!m.is_root) return &m;
  }
  return nullptr;
}

class PopupMenuInput : public MenuFixture {
 protected:
  void SetUp() override {
    MenuFixture::SetUp();
    sub_.AddItem("丙(&X)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, kSubFirst);
    sub_.AddItem("丁", nullptr, kItemNormal, kItemCommand, kNotifyOwner, kSubSecond);
    sub_.SetOnOpen(RecordOpen);
    menu_.SetWidth(120);
    menu_.AddItem("甲(&A)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, kFirst);
    menu_.AddItem("子菜单(&S)", nullptr, kItemNormal, kItemSubmenu, kNotifyOwner, reinterpret_cast<intptr_t>(&sub_));
    menu_.AddItem("乙(&B)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, kThird);
    menu_.SetOnOpen(RecordOpen);
  }

  void MoveToItem(PopupMenu& menu, int index) {
    const POINT c = ItemCentre(menu.ItemControl(index));
    MoveMouse(menu.Window(), c.x, c.y);
  }
  void ClickItem(PopupMenu& menu, int index) {
    const POINT c = ItemCentre(menu.ItemControl(index));
    ClickMouse(menu.Window(), c.x, c.y);
  }
  // Steps every 10 ms in [from, to) that note when `window()` first counts as closed.
  static void AddClosePolling(std::vector<Script::Step>& steps, int from, int to, std::function<HWND()> window,
                              double* closed_at) {
    for (int t = from; t < to; t += 10) {
      steps.push_back({t, [window, closed_at] {
                         HWND w = window();
                         if (*closed_at == 0 && w != nullptr && Closed(w)) *closed_at = NowMs();
                       }});
    }
  }

  PopupMenu menu_;
  PopupMenu sub_;
};

TEST_F(PopupMenuInput, HoverShorterThan500msOpensNothingAndLongerOpensTheSubmenu) {
  bool opened_early = true, opened_after_leaving = true, opened_late = false;
  double hover_at = 0;
  PopupWithScript(
      menu_, 200, 120,
      {{50, [&] { MoveToItem(menu_, 2); }},
       {400, [&] { opened_early = FirstSubmenu() != nullptr; }},
       {420, [&] { MoveToItem(menu_, 1); }},
       {1100, [&] { opened_after_leaving = FirstSubmenu() != nullptr; }},
       {1150,
        [&] {
          hover_at = NowMs();
          MoveToItem(menu_, 2);
        }},
       {2000, [&] { opened_late = OpenSubmenuWindow() != nullptr; }},
       {2050, [&] { PostMessageW(menu_.Window(), WM_CLOSE, 0, 0); }}},
      6000);
  EXPECT_FALSE(opened_early);
  EXPECT_FALSE(opened_after_leaving);
  EXPECT_TRUE(opened_late);
  const OpenedMenu* sub = FirstSubmenu();
  ASSERT_NE(sub, nullptr);
  EXPECT_GE(sub->at_ms - hover_at, 480.0);
  EXPECT_LE(sub->at_ms - hover_at, 900.0);
  EXPECT_FALSE(limit_hit_) << "closed by WM_CLOSE to the root";
  EXPECT_FALSE(IsWindow(sub->window)) << "closing the root closes its submenu";
}

TEST_F(PopupMenuInput, ClickOpensTheSubmenuAtOnceBesideItsOpenerAndASiblingClosesItWithin300ms) {
  double clicked_at = 0, left_at = 0, closed_at = 0, decided_at = 0;
  RECT parent = {}, child = {};
  ControlRef focus = 0, act = 0, opener = 0;
  HWND sub_prop = nullptr, sub_root = nullptr, root = nullptr;
  bool root_alive_after = false;
  std::vector<Script::Step> steps = {
      {50,
       [&] {
         clicked_at = NowMs();
         ClickItem(menu_, 2);
       }},
      {250,
       [&] {
         root = menu_.Window();
         GetWindowRect(root, &parent);
         HWND sub = OpenSubmenuWindow();
         if (sub != nullptr) GetWindowRect(sub, &child);
         opener = menu_.ItemControl(2)->GetRef();
         focus = HostFromWindow(root)->FocusControl();
         act = reinterpret_cast<ControlRef>(GetPropW(root, kMenuActiveItemProperty));
         sub_prop = static_cast<HWND>(GetPropW(root, kMenuSubProperty));
         if (sub != nullptr) sub_root = static_cast<HWND>(GetPropW(sub, kMenuRootProperty));
       }},
      {700,
       [&] {
         left_at = NowMs();
         MoveToItem(menu_, 3);
       }},
      {3000, [&] { root_alive_after = IsWindow(root) && IsWindowVisible(root); }},
      {3050, [&] { PostMessageW(root, WM_CLOSE, 0, 0); }}};
  // The chain forgets the submenu when the close is decided; the window then
  // runs its close animation and is hidden.
  for (int t = 705; t < 2990; t += 5) {
    steps.push_back({t, [&] {
                       if (decided_at == 0 && root != nullptr && GetPropW(root, kMenuSubProperty) == nullptr) decided_at = NowMs();
                     }});
  }
  AddClosePolling(steps, 705, 2990, [] { return FirstSubmenu() ? FirstSubmenu()->window : nullptr; }, &closed_at);
  PopupWithScript(menu_, 200, 120, std::move(steps), 8000);

  const OpenedMenu* sub = FirstSubmenu();
  ASSERT_NE(sub, nullptr);
  EXPECT_LT(sub->at_ms - clicked_at, 200.0) << "a click opens without the hover delay";
  EXPECT_EQ(child.left, parent.right - 10);
  EXPECT_EQ(child.top, parent.top + 30 - 7) << "opener top 30, raised by 7";
  EXPECT_EQ(child.right - child.left, sub_.MeasureWindow().cx);
  EXPECT_EQ(focus, opener) << "the opener keeps the focus, so it stays highlighted";
  EXPECT_EQ(act, opener);
  EXPECT_EQ(sub_prop, sub->window);
  EXPECT_EQ(sub_root, root);
  ASSERT_GT(decided_at, 0.0) << "the sibling closed the submenu";
  EXPECT_GE(decided_at - left_at, 280.0) << "not at once";
  EXPECT_LE(decided_at - left_at, 450.0) << "after the 300 ms close delay, well before the 500 ms hover delay";
  EXPECT_GT(closed_at, decided_at);
  EXPECT_LE(closed_at - decided_at, 2500.0);
  EXPECT_TRUE(root_alive_after) << "only the submenu closes";
}

TEST_F(PopupMenuInput, EscapeClosesTheSubmenuFirstAndThenTheRoot) {
  double sub_closed_at = 0;
  bool root_alive = false;
  HWND root = nullptr;
  std::vector<Script::Step> steps = {
      {50, [&] { ClickItem(menu_, 2); }},
      {250,
       [&] {
         root = menu_.Window();
         HWND sub = OpenSubmenuWindow();
         if (sub != nullptr) PostMessageW(sub, WM_KEYDOWN, VK_ESCAPE, 0);
       }},
      {2700, [&] { root_alive = IsWindow(root) && IsWindowVisible(root); }},
      {2750, [&] { PostMessageW(root, WM_KEYDOWN, VK_ESCAPE, 0); }}};
  AddClosePolling(steps, 260, 2690, [] { return FirstSubmenu() ? FirstSubmenu()->window : nullptr; },
                  &sub_closed_at);
  PopupWithScript(menu_, 200, 120, std::move(steps), 9000);
  ASSERT_NE(FirstSubmenu(), nullptr);
  EXPECT_GT(sub_closed_at, 0.0);
  EXPECT_TRUE(root_alive) << "Escape in the submenu leaves the root open";
  EXPECT_FALSE(limit_hit_) << "Escape in the root closed it";
  EXPECT_FALSE(IsWindow(root));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PopupMenuInput, ActivatingAnotherWindowClosesTheWholeChain) {
  HWND other = nullptr;
  HWND sub_seen = nullptr;
  PopupWithScript(
      menu_, 200, 120,
      {{50, [&] { ClickItem(menu_, 2); }},
       {250,
        [&] {
          sub_seen = OpenSubmenuWindow();
          other = CreateWindowExW(0, kToolkitClassName, L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400, 200,
                                  100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
          SetForegroundWindow(other);
        }}},
      8000);
  EXPECT_NE(sub_seen, nullptr);
  EXPECT_FALSE(limit_hit_) << "deactivation closed the chain";
  ASSERT_NE(FirstSubmenu(), nullptr);
  EXPECT_FALSE(IsWindow(FirstSubmenu()->window));
  EXPECT_FALSE(IsWindow(Opened()[0].window));
  if (other != nullptr) DestroyWindow(other);
}

TEST_F(PopupMenuInput, ChoosingACommandSendsWMCommandWithItsIdAndTheControlUnderTheMouse) {
  CursorOnLabel();
  ControlRef event = 0;
  PopupWithScript(
      menu_, 300, 300,
      {{60, [&] { event = reinterpret_cast<ControlRef>(GetPropW(menu_.Window(), kMenuEventProperty)); }},
       {80, [&] { ClickItem(menu_, 1); }}},
      6000);
  EXPECT_EQ(event, label_.GetRef()) << "the owner's control under the cursor at opening";
  EXPECT_FALSE(limit_hit_);
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0].wparam, static_cast<WPARAM>(kFirst));
  EXPECT_EQ(Commands()[0].lparam, static_cast<LPARAM>(label_.GetRef()));
  EXPECT_FALSE(IsWindow(Opened()[0].window));
}

TEST_F(PopupMenuInput, ChoosingInASubmenuReportsToTheRootsOwnerAndClosesTheChain) {
  CursorOnLabel();
  PopupWithScript(menu_, 300, 300,
                                      {{60, [&] { ClickItem(menu_, 2); }},
                                       {700, [&] { ClickItem(sub_, 2); }}},
                                      8000);
  EXPECT_FALSE(limit_hit_);
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0].wparam, static_cast<WPARAM>(kSubSecond));
  EXPECT_EQ(Commands()[0].lparam, static_cast<LPARAM>(label_.GetRef()));
  ASSERT_NE(FirstSubmenu(), nullptr);
  EXPECT_FALSE(IsWindow(FirstSubmenu()->window));
  EXPECT_FALSE(IsWindow(Opened()[0].window));
}

int g_routine_calls = 0;
void CountRoutine() { ++g_routine_calls; }

TEST_F(PopupMenuInput, AnAcceleratorKeyChoosesARoutineItem) {
  g_routine_calls = 0;
  PopupMenu menu;
  menu.AddItem("其他(&O)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, 5);
  menu.AddItem("运行(&R)", nullptr, kItemNormal, kItemCommand, kNotifyRoutine, reinterpret_cast<intptr_t>(&CountRoutine));
  menu.SetOnOpen(RecordOpen);
  PopupWithScript(menu, 200, 120, {{60, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, 'R', 0); }}}, 6000);
  EXPECT_FALSE(limit_hit_);
  EXPECT_EQ(g_routine_calls, 1);
  EXPECT_TRUE(Commands().empty()) << "a routine item sends no WM_COMMAND";
}

TEST_F(PopupMenuInput, ADisabledItemIsNeverHighlightedNorChosen) {
  PopupMenu menu;
  menu.AddItem("启用", nullptr, kItemNormal, kItemCommand, kNotifyOwner, 1);
  menu.AddItem("禁用(&D)", nullptr, kItemDisabled, kItemCommand, kNotifyOwner, 2);
  menu.SetOnOpen(RecordOpen);
  int paints_before = -1, paints_after = -1, look = -1;
  PopupWithScript(
      menu, 200, 120,
      {{60,
        [&] {
          paints_before = menu.ItemControl(2)->Paints();
          MoveToItem(menu, 2);
        }},
       {120, [&] { ClickItem(menu, 2); }},
       {150, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, 'D', 0); }},
       {700,
        [&] {
          paints_after = menu.ItemControl(2)->Paints();
          look = menu.ItemControl(2)->Look();
        }},
       {720, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, VK_ESCAPE, 0); }}},
      6000);
  EXPECT_EQ(paints_after, paints_before);
  EXPECT_EQ(look, kMenuLookNormal);
  EXPECT_TRUE(Commands().empty());
  EXPECT_FALSE(limit_hit_);
}

TEST_F(PopupMenuInput, AMenuWhoseOwnerHasNoHostStillOpens) {
  HWND plain = CreateWindowExW(0, kToolkitClassName, L"plain", WS_POPUP | WS_VISIBLE, 500, 300, 100, 100, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(plain, nullptr);
  SetCursorPos(520, 320);
  PopupMenu menu;
  menu.AddItem("甲");
  menu.SetOnOpen(RecordOpen);
  HANDLE event = reinterpret_cast<HANDLE>(1);
  HWND owner_seen = nullptr;
  script_.Start({{60,
                  [&] {
                    event = GetPropW(menu.Window(), kMenuEventProperty);
                    owner_seen = GetWindow(menu.Window(), GW_OWNER);
                  }},
                 {80, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, VK_ESCAPE, 0); }}},
                [&menu] { return menu.Window() != nullptr && IsWindowVisible(menu.Window()); });
  menu.Popup(plain, 0, 0);
  script_.Stop();
  EXPECT_EQ(event, nullptr);
  EXPECT_EQ(owner_seen, plain);
  ASSERT_EQ(Opened().size(), 1u);
  EXPECT_FALSE(IsWindow(Opened()[0].window));
  DestroyWindow(plain);
}

}  // namespace
}  // namespace quillet::menu_tests
