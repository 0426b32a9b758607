#include "app/edit_menu.h"

#include "app/widget.h"
#include "ui/controls/menu_item.h"
#include "ui/controls/popup_menu.h"
#include "ui/core/toolkit.h"

namespace quillet::app {

void FillEditMenu() {
  if (EditMenu == nullptr) return;
  // Every command goes in; a right click on the sentence shows the menu with
  // only the copy command enabled.
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

}  // namespace quillet::app
