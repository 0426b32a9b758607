// Copying text out of a control through the toolkit's edit context menu.
#pragma once
#include <windows.h>

#include <cstddef>

namespace quillet {

class PopupMenu;

// Puts GBK `text` on the clipboard as Unicode text (CF_UNICODETEXT), owned
// by `owner`. False when the clipboard could not be opened or filled.
bool CopyTextToClipboard(HWND owner, const char* text);
// The same for `count` UTF-16 units (no terminator needed): text that may hold
// characters GBK cannot.
bool CopyUnicodeToClipboard(HWND owner, const void* units, size_t count);

// Shows the edit context menu at the cursor with only its copy command
// (id kEditCopy) enabled and every other command disabled; returns when the
// menu has closed. The choice reaches `owner` as WM_COMMAND.
void ShowCopyOnlyEditMenu(PopupMenu* edit_menu, HWND owner);

}  // namespace quillet
