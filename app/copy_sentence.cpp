#include "app/copy_sentence.h"

#include "runtime/program_dll_commands.h"
#include "ui/controls/label.h"
#include "ui/controls/menu_copy.h"
#include "ui/controls/popup_menu.h"
#include "ui/core/toolkit.h"

namespace quillet::app {
namespace {

constexpr LRESULT kHandled = 0;
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);

// Both live as long as the widget; only the UI thread reads them.
Label* g_sentence = nullptr;
PopupMenu* g_edit_menu = nullptr;

void OnSentenceRightButtonUp(ControlRef control, UINT, WPARAM, LPARAM) {
  if (g_sentence == nullptr || control != g_sentence->GetRef()) return;
  ShowCopyOnlyEditMenu(g_edit_menu, g_sentence->GetHostWindow());
}

bool ControlKeyDown() { return (dll::GetKeyState(VK_CONTROL) & kKeyDownBit) != 0; }

}  // namespace

void EnableSentenceCopy(Label* sentence, PopupMenu* edit_menu) {
  g_sentence = sentence;
  g_edit_menu = edit_menu;
  if (sentence != nullptr) sentence->SetEventHandler(WM_RBUTTONUP, OnSentenceRightButtonUp);
}

bool CopySentence(HWND owner) {
  if (g_sentence == nullptr || !g_sentence->IsCreated()) return false;
  // The label's own UTF-16: every character the service sent, GBK or not.
  const ByteSet sentence = g_sentence->TextW();
  if (sentence.empty()) return false;
  return CopyUnicodeToClipboard(owner, sentence.data(), sentence.size() / sizeof(wchar_t));
}

LRESULT SentenceCopyHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_sentence == nullptr) return kNotHandled;
  if (message == WM_KEYDOWN && wparam == static_cast<WPARAM>(kEditCopy) && ControlKeyDown()) {
    CopySentence(window);
    return kHandled;
  }
  // The menu names the control that was under the mouse when it opened.
  if (message == WM_COMMAND && LOWORD(wparam) == kEditCopy && static_cast<ControlRef>(lparam) == g_sentence->GetRef()) {
    CopySentence(window);
    return kHandled;
  }
  return kNotHandled;
}

}  // namespace quillet::app
