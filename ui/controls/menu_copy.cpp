#include "ui/controls/menu_copy.h"

#include <cstring>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "ui/controls/popup_menu.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

// Another program may hold the clipboard for a moment.
constexpr int kOpenClipboardAttempts = 10;
constexpr DWORD kOpenClipboardRetryMs = 10;

bool OpenClipboardFor(HWND owner) {
  for (int attempt = 0; attempt < kOpenClipboardAttempts; ++attempt) {
    if (dll::OpenClipboard(owner)) return true;
    dll::Sleep(kOpenClipboardRetryMs);
  }
  return false;
}

}  // namespace

bool CopyTextToClipboard(HWND owner, const char* text) {
  const ByteSet wide = ToWide(text, kCodePageGbk);  // terminator included
  if (wide.size() < sizeof(wchar_t)) return false;
  return CopyUnicodeToClipboard(owner, wide.data(), wide.size() / sizeof(wchar_t) - 1);
}

bool CopyUnicodeToClipboard(HWND owner, const void* units, size_t count) {
  const size_t bytes = count * sizeof(wchar_t);
  HGLOBAL memory = dll::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes + sizeof(wchar_t));
  if (memory == nullptr) return false;
  void* target = dll::GlobalLock(memory);
  if (target == nullptr) {
    dll::GlobalFree(memory);
    return false;
  }
  if (bytes > 0) std::memcpy(target, units, bytes);  // the zeroed tail is the terminator
  dll::GlobalUnlock(memory);
  if (!OpenClipboardFor(owner)) {
    dll::GlobalFree(memory);
    return false;
  }
  bool stored = false;
  if (dll::EmptyClipboard()) {
    // Once stored, the memory belongs to the clipboard.
    stored = dll::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  }
  dll::CloseClipboard();
  if (!stored) dll::GlobalFree(memory);
  return stored;
}

void ShowCopyOnlyEditMenu(PopupMenu* edit_menu, HWND owner) {
  if (edit_menu == nullptr) return;
  // The shared menu keeps its own states once this use of it is over.
  std::vector<int> saved;
  for (int index = 1; index <= edit_menu->ItemCount(); ++index) {
    const MenuItemRecord* record = edit_menu->Record(index);
    saved.push_back(record->state);
    if (record->type != kItemCommand) continue;
    edit_menu->ItemState(index, record->command == kEditCopy ? kItemNormal : kItemDisabled);
  }
  edit_menu->Popup(owner, 0, 0);
  for (int index = 1; index <= edit_menu->ItemCount() && index <= static_cast<int>(saved.size()); ++index) {
    edit_menu->ItemState(index, saved[index - 1]);
  }
}

}  // namespace quillet
