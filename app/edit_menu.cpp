#include "app/edit_menu.h"

#include <new>

#include "app/widget.h"
#include "runtime/heap.h"
#include "ui/controls/menu_item.h"
#include "ui/controls/popup_menu.h"
#include "ui/core/toolkit.h"

namespace quillet::app {

void CreateEditMenu() { EditMenu = new (RtAllocZeroed(sizeof(PopupMenu))) PopupMenu(); }

void FillEditMenu() {
  if (EditMenu == nullptr) return;
  // Nothing in the program opens this menu; it is there for edit controls.
  const ToolkitState& toolkit = Toolkit();
  for (int i = 0; i < toolkit.edit_menu_count; ++i) {
    const EditMenuEntry& entry = toolkit.edit_menu[i];
    if (entry.caption == nullptr) {
      EditMenu->AddItem("", nullptr, kItemNormal, kItemSeparator);
    } else {
      EditMenu->AddItem(entry.caption, nullptr, kItemNormal, kItemCommand, kNotifyOwner, entry.command);
    }
  }
}

void ReleaseEditMenu() {
  PopupMenu* menu = EditMenu;
  EditMenu = nullptr;
  if (menu == nullptr) return;
  menu->~PopupMenu();
  RtFree(menu);
}

}  // namespace quillet::app
