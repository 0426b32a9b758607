// A popup menu: a list of item records shown in a popup host window of its
// own, with menu items as its controls. Showing runs a modal loop until the
// menu window is gone; submenus are further PopupMenu objects opened from an
// item, and every window of one chain knows its root.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/value.h"
#include "ui/controls/menu_item.h"
#include "ui/core/gdiplus_types.h"
#include "ui/core/host_window.h"

namespace quillet {

// Menu window geometry.
constexpr int kMenuMinimumWidth = 50;
constexpr int kMenuItemHeight = 22;
constexpr int kMenuSeparatorHeight = 3;
constexpr int kMenuVerticalPadding = 16;     // 8 above the first item, 8 below the last
constexpr int kMenuTextPadding = 50;         // automatic width: text width + this
constexpr int kMenuSubmenuArrowWidth = 15;   // extra automatic width when any item has a submenu
constexpr int kMenuEdgeSlack = 5;            // overlap allowed past the work area's right edge
constexpr int kMenuItemsTop = 8;
constexpr int kMenuItemLeft = 8;
constexpr int kMenuSeparatorLeft = 33;
constexpr int kMenuSeparatorTrim = 40;       // a separator is this much narrower than the menu
constexpr int kSubmenuOverlap = 10;          // a submenu overlaps its parent horizontally
constexpr int kSubmenuRaise = 7;             // and starts above its opener
constexpr int kMenuWindowAlpha = 240;
constexpr int kSubmenuShowMs = 100;
constexpr int kMenuRemovedStyle = 0x804B0;
constexpr DWORD kMenuExtendedStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr wchar_t kMenuWindowTitle[] = L"Kv_DirectUI_Menu";

// Animation styles of a submenu (opening rightwards / leftwards).
constexpr int kAnimationWipeRight = 3;
constexpr int kAnimationWipeLeft = 4;

// Routines a menu calls.
using MenuCommandRoutine = void (*)();                        // a chosen item with kNotifyRoutine
using MenuOpenRoutine = void (*)(HWND menu_window, bool is_root);

// Defaults of CreateToolkitWindow.
constexpr int kToolkitWindowDefaultWidth = 380;
constexpr int kToolkitWindowDefaultHeight = 250;
constexpr DWORD kToolkitWindowDefaultStyle =
    WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_SYSMENU;

// Creates a toolkit window (class Kv_DirectUI unless given) owned by `owner`,
// with the toolkit's icons; x and y default to centred in the work area.
HWND CreateToolkitWindow(HWND owner, const wchar_t* title, std::optional<int> x = std::nullopt,
                         std::optional<int> y = std::nullopt, std::optional<int> width = std::nullopt,
                         std::optional<int> height = std::nullopt, const wchar_t* class_name = nullptr,
                         std::optional<DWORD> style = std::nullopt, DWORD extended_style = 0, bool show = false);

// The control of `window` under a screen point (default: the cursor), or 0.
ControlRef ControlAtPoint(HWND window, std::optional<POINT> screen_point = std::nullopt);

// The painter used when a menu has none: a white rounded panel with a soft
// shadow and the icon column.
void DefaultMenuBackground(HWND window, GpGraphics* graphics, int width, int height);

class PopupMenu {
 public:
  PopupMenu() = default;
  // Frees the item records.
  virtual ~PopupMenu();
  // A menu with copies of the records and the same settings.
  virtual std::unique_ptr<PopupMenu> Copy() const;
  // Shows the menu as a submenu of a menu window; returns when it closed.
  virtual void OpenFrom(HWND parent_menu_window);
  // Shows the menu as a root at the screen point; (0, 0) = the cursor.
  virtual void Popup(HWND owner, int x = 0, int y = 0);
  // Appends a record; `text` is GBK, `command` as MenuItemRecord::command.
  virtual void AddItem(const char* text, const ByteSetBlock* image = nullptr, int state = kItemNormal,
                       int type = kItemCommand, int notify = kNotifyOwner, intptr_t command = 0,
                       std::optional<ARGB> text_colour = std::nullopt, int text_effect = 0, ARGB glow_colour = 0,
                       std::optional<ARGB> highlight_colour = std::nullopt);
  // Removes the record at a 1-based index; false for an invalid one.
  virtual bool RemoveItem(int index);
  // Removes every record.
  virtual void Clear();
  // A record's state, text, UTF-16 text and image by 1-based index, set when
  // given; 0 or an empty value for an invalid index.
  virtual int ItemState(int index, std::optional<int> state = std::nullopt);
  virtual Text ItemText(int index, std::optional<const char*> text = std::nullopt);
  virtual ByteSet ItemTextW(int index, std::optional<const ByteSetBlock*> text = std::nullopt);
  virtual ByteSet ItemImage(int index, std::optional<const ByteSetBlock*> image = std::nullopt);
  // Whether a 1-based index names a record.
  virtual bool IsValidIndex(int index) const;
  // The menu window's width: 0 = automatic; 1..49 become 50 when shown.
  virtual void SetWidth(int width);
  // The menu itself.
  virtual PopupMenu& Self() { return *this; }
  // The routine called with (menu window, is root) just before the menu shows.
  virtual void SetOnOpen(MenuOpenRoutine routine);
  // Replaces the default background painter (null = default).
  virtual void SetBackgroundPainter(BackgroundPaintedHandler painter);

  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // ---- Read-outs ----
  int ItemCount() const { return static_cast<int>(items_.size()); }
  const MenuItemRecord* Record(int index) const;
  // While shown: the menu window and the item control of a record (null when
  // the record is hidden or the menu is closed).
  HWND Window() const { return window_; }
  MenuItem* ItemControl(int index) const;
  // Size the menu window takes for the current records (before positioning).
  SIZE MeasureWindow(bool* has_submenu = nullptr, const DpiScale& scale = DpiScale()) const;

 private:
  void Show(HWND owner_or_parent, bool is_root, int x, int y);
  POINT PlaceRoot(int x, int y, SIZE size, const RECT& work) const;
  POINT PlaceSubmenu(HWND parent, SIZE size, const RECT& work, bool* opens_left) const;
  void CreateItemControls(int width, const DpiScale& scale);
  static void RunModalLoop(HWND window);

  std::vector<MenuItemRecord> items_;
  int width_ = 0;
  MenuOpenRoutine on_open_ = nullptr;
  BackgroundPaintedHandler background_painter_ = nullptr;

  // While shown.
  HWND window_ = nullptr;
  std::vector<std::unique_ptr<MenuItem>> controls_;  // one per record; hidden ones stay uncreated
};

}  // namespace quillet
