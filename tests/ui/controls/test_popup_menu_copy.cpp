// Copying text to the clipboard and the copy-only edit menu.
#include <string>

#include "support/clipboard.h"

#include "menu_test_support.h"
#include "ui/controls/menu_copy.h"

namespace quillet::menu_tests {
namespace {

using testing_support::ClipboardText;
using testing_support::EmptyTheClipboard;

// The toolkit's edit context menu as start-up fills it.
void FillEditMenu(PopupMenu& menu) {
  const ToolkitState& toolkit = Toolkit();
  for (int i = 0; i < toolkit.edit_menu_count; ++i) {
    const EditMenuEntry& entry = toolkit.edit_menu[i];
    if (entry.caption == nullptr) {
      menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
    } else {
      menu.AddItem(entry.caption, nullptr, kItemNormal, kItemCommand, kNotifyOwner, entry.command);
    }
  }
}

class MenuCopy : public MenuFixture {};

TEST_F(MenuCopy, CopyTextPutsExactlyTheTextOnTheClipboardAsUnicode) {
  EmptyTheClipboard();
  EXPECT_TRUE(CopyTextToClipboard(owner_, "你好，世界！"));
  EXPECT_EQ(ClipboardText(), L"你好，世界！");
  EXPECT_TRUE(CopyTextToClipboard(owner_, "second"));
  EXPECT_EQ(ClipboardText(), L"second") << "a new copy replaces the old one";
  EXPECT_TRUE(CopyTextToClipboard(owner_, ""));
  EXPECT_EQ(ClipboardText(), L"");
}

TEST_F(MenuCopy, CopyFailsWhileAnotherWindowHoldsTheClipboard) {
  HWND other = CreateWindowExW(0, kToolkitClassName, L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(OpenClipboard(other));
  EmptyClipboard();
  const bool copied = CopyTextToClipboard(owner_, "不应出现");
  CloseClipboard();
  EXPECT_FALSE(copied);
  EXPECT_EQ(ClipboardText(), L"<none>");
  DestroyWindow(other);
}

TEST_F(MenuCopy, CopyOnlyEditMenuEnablesOnlyCopyAndReportsIt) {
  PopupMenu edit;
  FillEditMenu(edit);
  ASSERT_EQ(edit.ItemCount(), 5);
  edit.SetOnOpen(RecordOpen);
  CursorOnLabel();
  bool disabled[6] = {};
  bool still_open_after_other_keys = false;
  script_.Start(
      {{50,
        [&] {
          for (int i : {1, 2, 3, 5}) disabled[i] = edit.ItemControl(i)->IsDisabled();
          // Cut, paste and select-all answer nothing while disabled.
          for (WPARAM key : {'T', 'P', 'A'}) PostMessageW(edit.Window(), WM_KEYDOWN, key, 0);
        }},
       {200,
        [&] {
          still_open_after_other_keys = IsWindowVisible(edit.Window()) != FALSE;
          PostMessageW(edit.Window(), WM_KEYDOWN, 'C', 0);
        }},
       {5000, [&] { PostMessageW(edit.Window(), WM_CLOSE, 0, 0); }}},
      [&edit] { return edit.Window() != nullptr && IsWindowVisible(edit.Window()); });
  const double start = NowMs();
  ShowCopyOnlyEditMenu(&edit, owner_);
  const double took = NowMs() - start;
  script_.Stop();
  EXPECT_TRUE(disabled[1]);
  EXPECT_FALSE(disabled[2]);
  EXPECT_TRUE(disabled[3]);
  EXPECT_TRUE(disabled[5]);
  EXPECT_TRUE(still_open_after_other_keys);
  EXPECT_LT(took, 4000) << "closed by choosing copy";
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0].wparam, static_cast<WPARAM>(kEditCopy));
  EXPECT_EQ(Commands()[0].lparam, static_cast<LPARAM>(label_.GetRef()));
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(edit.ItemState(i), kItemNormal) << "states restored, item " << i;
}

}  // namespace
}  // namespace quillet::menu_tests
