// Lets the user copy the sentence: a right click on it opens the edit menu
// with only "复制(&C)" enabled, and Ctrl+C while the widget is active copies
// it too. The sentence goes to the clipboard as Unicode text.
#pragma once
#include <windows.h>

namespace quillet {
class Label;
class PopupMenu;
}  // namespace quillet

namespace quillet::app {

// Remembers the sentence label and the edit menu and registers the label's
// right-button handler. Call once, after the label is created.
void EnableSentenceCopy(Label* sentence, PopupMenu* edit_menu);

// Message hook of the widget's host window: Ctrl+C, and the edit menu's copy
// command (WM_COMMAND kEditCopy for the sentence label), copy the sentence.
// Answers -1 for everything else.
LRESULT SentenceCopyHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Copies the remembered label's text; false when there is none or the
// clipboard refused it.
bool CopySentence(HWND owner);

}  // namespace quillet::app
