// One row of a popup menu window: a separator line, or an item with icon
// column, text with accelerator underline, optional submenu arrow and a
// highlight. Opens submenus on hover after a delay and reports clicks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/value.h"
#include "ui/controls/control.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit.h"

namespace quillet {

class PopupMenu;

// Item states.
constexpr int kItemNormal = 0;
constexpr int kItemDisabled = -1;
constexpr int kItemChecked = 4;   // the built-in check mark instead of the image
constexpr int kItemHidden = 5;    // not shown, takes no space, keeps its index
// Item types.
constexpr int kItemCommand = 0;
constexpr int kItemSeparator = 1;
constexpr int kItemSubmenu = 2;
// notify: 1 = WM_COMMAND to the owner window, 0 = call the routine.
constexpr int kNotifyOwner = 1;
constexpr int kNotifyRoutine = 0;

constexpr ARGB kMenuTextColour = 0xD2000000;        // black at alpha 210
constexpr uint32_t kMenuHighlightColour = 0xC68630; // Win32 colour, shown at alpha 230
constexpr int kMenuHighlightAlpha = 230;

// Looks.
constexpr int kMenuLookNormal = 0;
constexpr int kMenuLookHighlighted = 1;

// Hover delays.
constexpr UINT kSubmenuOpenDelayMs = 500;
constexpr UINT kSubmenuCloseDelayMs = 300;

// One menu entry (ten fields).
struct MenuItemRecord {
  ByteSet text;                // UTF-16, no terminator; "&" marks the accelerator
  ByteSet image;               // encoded picture for the icon column; empty = none
  int state = kItemNormal;
  int type = kItemCommand;
  int notify = kNotifyOwner;
  intptr_t command = 0;        // id (kNotifyOwner), MenuCommandRoutine (kNotifyRoutine), PopupMenu* (submenu)
  ARGB text_colour = kMenuTextColour;
  int text_effect = 0;
  ARGB glow_colour = 0;        // 0 = automatic
  ARGB highlight_colour = 0;
};

// The default highlight: kMenuHighlightColour at kMenuHighlightAlpha.
ARGB DefaultMenuHighlight();

class MenuItem : public Control {
 public:
  MenuItem() = default;
  ~MenuItem() override;

  // Handles creation, hover (a submenu opens after a delay), its timer and clicks.
  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool HasClassProcedure() const override { return true; }
  // A menu item (or separator) whose default action chooses it.
  AccessibleDescription DescribeForAccessibility() const override;
  // A focusable control of kind kKindMenuItem in a menu window.
  virtual ControlRef Create(HWND menu_window, int x, int y, int width, int height, const MenuItemRecord& record,
                            std::optional<bool> visible = std::nullopt);
  // The item's record; a given one replaces it and its icon and repaints the item.
  virtual MenuItemRecord Item(std::optional<MenuItemRecord> record = std::nullopt);
  // Opens this item's submenu, or closes a sibling's (at once when immediate).
  virtual void OpenSubmenu(bool immediate);
  // Draws the item in a look (kMenuLookNormal or kMenuLookHighlighted).
  virtual void Paint(ControlRef sender, int look);

  int Look() const { return look_; }
  int Paints() const { return paints_; }

 private:
  void Choose();
  void LoadIcon(const DpiScale& scale);
  void ReleaseIcon();
  HostWindow* MenuHost() const;

  MenuItemRecord item_;
  int look_ = kMenuLookNormal;
  OwnedStringFormat format_;
  ControlFont font_;             // the default font at the menu's scale, made on first paint
  GpImage* icon_ = nullptr;      // the check mark or the record's picture
  bool clicked_ = false;         // a click counts as hovering until the submenu opened
  int paints_ = 0;
};

// The accelerator character of a UTF-16 caption (the one after the first "&"), or 0.
int MenuAccelerator(const ByteSetBlock* utf16);

}  // namespace quillet
