// Copying the sentence: right click on it and choose "复制(&C)", or Ctrl+C.
#include <string>

#include "support/clipboard.h"

#include "app/copy_sentence.h"
#include "ui/controls/menu_test_support.h"

namespace quillet::menu_tests {
namespace {

using testing_support::ClipboardText;
using testing_support::EmptyTheClipboard;

void SetControlKey(bool down) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

class SentenceCopy : public MenuFixture {
 protected:
  void SetUp() override {
    MenuFixture::SetUp();
    const ToolkitState& toolkit = Toolkit();
    for (int i = 0; i < toolkit.edit_menu_count; ++i) {
      const EditMenuEntry& entry = toolkit.edit_menu[i];
      if (entry.caption == nullptr) {
        edit_.AddItem("", nullptr, kItemNormal, kItemSeparator);
      } else {
        edit_.AddItem(entry.caption, nullptr, kItemNormal, kItemCommand, kNotifyOwner, entry.command);
      }
    }
    edit_.SetOnOpen(RecordOpen);
    label_.Text("落霞与孤鹜齐飞");
    // The two lines BuildMainWindow carries.
    app::EnableSentenceCopy(&label_, &edit_);
    host_.OnMessageHook(app::SentenceCopyHook);
    EmptyTheClipboard();
  }
  void TearDown() override {
    SetControlKey(false);
    app::EnableSentenceCopy(nullptr, nullptr);
    MenuFixture::TearDown();
  }

  // Right click at a client point of the owner, then run the menu's script.
  void RightClickAndRun(int x, int y, std::vector<Script::Step> steps, int pump_ms) {
    script_.Start(std::move(steps), [this] { return edit_.Window() != nullptr && IsWindowVisible(edit_.Window()); });
    SetCursorPos(kOwnerLeft + x, kOwnerTop + y);
    PostMessageW(owner_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(owner_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    PostMessageW(owner_, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    PumpFor(pump_ms);
    script_.Stop();
  }

  PopupMenu edit_;
};

TEST_F(SentenceCopy, RightClickOpensTheEditMenuWithOnlyCopyAndCopyingPutsTheSentenceOnTheClipboard) {
  bool disabled[6] = {};
  RECT menu_rect = {};
  RightClickAndRun(kLabelLeft + 30, kLabelTop + 10,
                   {{50,
                     [&] {
                       for (int i : {1, 2, 3, 5}) disabled[i] = edit_.ItemControl(i)->IsDisabled();
                       GetWindowRect(edit_.Window(), &menu_rect);
                     }},
                    {100,
                     [&] {
                       const POINT c = ItemCentre(edit_.ItemControl(2));
                       ClickMouse(edit_.Window(), c.x, c.y);
                     }},
                    {4000, [&] { PostMessageW(edit_.Window(), WM_CLOSE, 0, 0); }}},
                   4500);
  ASSERT_EQ(Opened().size(), 1u) << "the right click opened the edit menu";
  EXPECT_EQ(menu_rect.left, kOwnerLeft + kLabelLeft + 30) << "at the cursor";
  EXPECT_EQ(menu_rect.top, kOwnerTop + kLabelTop + 10);
  EXPECT_TRUE(disabled[1]);
  EXPECT_FALSE(disabled[2]);
  EXPECT_TRUE(disabled[3]);
  EXPECT_TRUE(disabled[5]);
  EXPECT_FALSE(IsWindow(Opened()[0].window));
  EXPECT_EQ(ClipboardText(), L"落霞与孤鹜齐飞");
}

TEST_F(SentenceCopy, ClosingTheMenuWithoutChoosingCopiesNothing) {
  RightClickAndRun(kLabelLeft + 30, kLabelTop + 10,
                   {{50, [&] { PostMessageW(edit_.Window(), WM_KEYDOWN, VK_ESCAPE, 0); }}}, 3000);
  ASSERT_EQ(Opened().size(), 1u);
  EXPECT_EQ(ClipboardText(), L"<none>");
}

TEST_F(SentenceCopy, RightClickOutsideTheSentenceOpensNothing) {
  RightClickAndRun(300, 200, {}, 300);
  EXPECT_TRUE(Opened().empty());
}

TEST_F(SentenceCopy, CtrlCCopiesTheSentenceAndCAloneDoesNot) {
  SetControlKey(false);
  SendMessageW(owner_, WM_KEYDOWN, 'C', 0);
  EXPECT_EQ(ClipboardText(), L"<none>");
  SetControlKey(true);
  SendMessageW(owner_, WM_KEYDOWN, 'V', 0);
  EXPECT_EQ(ClipboardText(), L"<none>");
  SendMessageW(owner_, WM_KEYDOWN, 'C', 0);
  EXPECT_EQ(ClipboardText(), L"落霞与孤鹜齐飞");
  label_.Text("新的一句");
  SendMessageW(owner_, WM_KEYDOWN, 'C', 0);
  EXPECT_EQ(ClipboardText(), L"新的一句") << "always the sentence shown now";
  // Characters GBK cannot hold reach the clipboard as they were shown.
  const std::wstring outside_gbk = L"\u266A晚安\u30FB好梦\u22EF\u00A0\U0001F319";
  label_.TextW(ByteSet(outside_gbk.data(), outside_gbk.size() * sizeof(wchar_t)).get());
  SendMessageW(owner_, WM_KEYDOWN, 'C', 0);
  EXPECT_EQ(ClipboardText(), outside_gbk);
}

TEST_F(SentenceCopy, ACopyCommandForAnotherControlIsNotTheSentences) {
  SendMessageW(owner_, WM_COMMAND, kEditCopy, 0);
  EXPECT_EQ(ClipboardText(), L"<none>");
  SendMessageW(owner_, WM_COMMAND, kEditCopy, static_cast<LPARAM>(label_.GetRef()));
  EXPECT_EQ(ClipboardText(), L"落霞与孤鹜齐飞");
}

}  // namespace
}  // namespace quillet::menu_tests
