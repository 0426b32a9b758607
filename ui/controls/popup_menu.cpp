#include "ui/controls/popup_menu.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "runtime/program_dll_commands.h"
#include "ui/controls/control_messages.h"
#include "ui/controls/popup_hook.h"
#include "ui/controls/text_drawing.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

// Default background painter.
constexpr float kPanelInset = 6.0f;
constexpr float kPanelCorner = 4.0f;
constexpr int kPanelAlpha = 234;
constexpr float kShadowCorners[] = {4.0f, 7.0f, 10.0f, 13.0f};
constexpr int kShadowAlphas[] = {125, 35, 15, 5};
constexpr float kIconColumnLeft = 8.0f;
constexpr float kIconColumnWidth = 24.0f;
constexpr float kIconColumnCorner = 3.0f;
constexpr uint32_t kIconColumnColour = 0xECE4D1;  // Win32 colour
constexpr int kOpaqueAlpha = 254;
constexpr uint32_t kColourWhiteRgb = 0xFFFFFF;
constexpr uint32_t kColourBlackRgb = 0x000000;
constexpr ARGB kTransparent = 0;

void FillRoundRect(GpGraphics* graphics, const GpRectF& rect, float corner, ARGB colour) {
  if (const OwnedPath path{RoundRectPath(rect, corner)}) FillSolidPath(graphics, path.get(), colour);
}

int ClampedMenuWidth(int width) {
  if (width > 0 && width < kMenuMinimumWidth) return kMenuMinimumWidth;
  return width;
}

}  // namespace

// ---- Shared routines ---------------------------------------------------------

HWND CreateToolkitWindow(HWND owner, const wchar_t* title, std::optional<int> x, std::optional<int> y,
                         std::optional<int> width, std::optional<int> height, const wchar_t* class_name,
                         std::optional<DWORD> style, DWORD extended_style, bool show) {
  const RECT work = WorkArea();  // left, top, width, height
  const int w = width.value_or(kToolkitWindowDefaultWidth);
  const int h = height.value_or(kToolkitWindowDefaultHeight);
  const int left = x ? *x : work.left + (work.right - w) / 2;
  const int top = y ? *y : work.top + (work.bottom - h) / 2;
  HWND window = dll::CreateWindowExW(extended_style, class_name != nullptr ? class_name : kToolkitClassName,
                                     title != nullptr ? title : L"", style.value_or(kToolkitWindowDefaultStyle), left,
                                     top, w, h, owner, nullptr, dll::GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  const LPARAM icon = reinterpret_cast<LPARAM>(Toolkit().default_icon);
  dll::SendMessageW(window, WM_SETICON, ICON_SMALL, icon);
  dll::SendMessageW(window, WM_SETICON, ICON_BIG, icon);
  if (show) {
    dll::ShowWindow(window, SW_SHOWNORMAL);
    dll::UpdateWindow(window);
  }
  return window;
}

ControlRef ControlAtPoint(HWND window, std::optional<POINT> screen_point) {
  HostWindow* host = HostFromWindow(window);
  if (host == nullptr) return kNoControl;
  POINT point = {0, 0};
  if (screen_point) {
    point = *screen_point;
  } else {
    dll::GetCursorPos(&point);
  }
  RECT rect = {0, 0, 0, 0};
  if (!dll::GetWindowRect(window, &rect)) return kNoControl;
  return HitTest(host->LastControl(), static_cast<float>(point.x - rect.left), static_cast<float>(point.y - rect.top));
}

void DefaultMenuBackground(HWND window, GpGraphics* graphics, int width, int height) {
  const HostWindow* host = HostFromWindow(window);
  const DpiScale scale = host != nullptr ? host->Scale() : DpiScale();
  const float one = scale.Float(1.0f);
  dll::GdipGraphicsClear(graphics, kTransparent);
  const float inset = scale.Whole(kPanelInset);
  GpRectF panel = {inset, inset, width - 2 * inset, height - 2 * inset};
  FillRoundRect(graphics, panel, scale.Float(kPanelCorner), ArgbFromColor(kColourWhiteRgb, kPanelAlpha, 1));
  for (size_t i = 0; i < std::size(kShadowCorners); ++i) {
    DrawRoundRect(graphics, panel, scale.Float(kShadowCorners[i]), ArgbFromColor(kColourBlackRgb, kShadowAlphas[i], 1),
                  kDashSolid, one);
    panel = {panel.X - one, panel.Y - one, panel.Width + 2 * one, panel.Height + 2 * one};
  }
  const float column_left = scale.Whole(kIconColumnLeft);
  const GpRectF column = {column_left, column_left, scale.Whole(kIconColumnWidth), height - 2 * column_left};
  const ARGB column_colour = ArgbFromColor(kIconColumnColour, kOpaqueAlpha, 1);
  FillRoundRect(graphics, column, scale.Float(kIconColumnCorner), column_colour);
  DrawRoundRect(graphics, column, scale.Float(kIconColumnCorner), column_colour, kDashSolid, one);
}

// ---- PopupMenu ---------------------------------------------------------------

PopupMenu::~PopupMenu() { Clear(); }

std::unique_ptr<PopupMenu> PopupMenu::Copy() const {
  auto copy = std::make_unique<PopupMenu>();
  copy->items_ = items_;
  copy->width_ = width_;
  copy->on_open_ = on_open_;
  copy->background_painter_ = background_painter_;
  return copy;
}

void PopupMenu::OpenFrom(HWND parent_menu_window) { Show(parent_menu_window, false, 0, 0); }

void PopupMenu::Popup(HWND owner, int x, int y) { Show(owner, true, x, y); }

void PopupMenu::AddItem(const char* text, const ByteSetBlock* image, int state, int type, int notify,
                        intptr_t command, std::optional<ARGB> text_colour, int text_effect, ARGB glow_colour,
                        std::optional<ARGB> highlight_colour) {
  MenuItemRecord record;
  record.text = Utf16FromGbk(text);
  record.image = ByteSet(ByteSetData(image), ByteSetLength(image));
  record.state = state;
  record.type = type;
  record.notify = notify;
  record.command = command;
  record.text_colour = text_colour.value_or(kMenuTextColour);
  record.text_effect = text_effect;
  record.glow_colour = glow_colour;
  record.highlight_colour = highlight_colour.value_or(DefaultMenuHighlight());
  items_.push_back(std::move(record));
}

bool PopupMenu::RemoveItem(int index) {
  if (!IsValidIndex(index)) return false;
  items_.erase(items_.begin() + (index - 1));
  return true;
}

void PopupMenu::Clear() { items_.clear(); }

int PopupMenu::ItemState(int index, std::optional<int> state) {
  if (!IsValidIndex(index)) return 0;
  if (state) items_[index - 1].state = *state;
  return items_[index - 1].state;
}

Text PopupMenu::ItemText(int index, std::optional<const char*> text) {
  if (!IsValidIndex(index)) return Text();
  if (text) items_[index - 1].text = Utf16FromGbk(*text);
  return GbkFromUtf16(items_[index - 1].text.get());
}

ByteSet PopupMenu::ItemTextW(int index, std::optional<const ByteSetBlock*> text) {
  if (!IsValidIndex(index)) return ByteSet();
  if (text) items_[index - 1].text = ByteSet(ByteSetData(*text), ByteSetLength(*text));
  return items_[index - 1].text;
}

ByteSet PopupMenu::ItemImage(int index, std::optional<const ByteSetBlock*> image) {
  if (!IsValidIndex(index)) return ByteSet();
  if (image) items_[index - 1].image = ByteSet(ByteSetData(*image), ByteSetLength(*image));
  return items_[index - 1].image;
}

bool PopupMenu::IsValidIndex(int index) const { return index >= 1 && index <= ItemCount(); }

void PopupMenu::SetWidth(int width) { width_ = width; }

void PopupMenu::SetOnOpen(MenuOpenRoutine routine) { on_open_ = routine; }

void PopupMenu::SetBackgroundPainter(BackgroundPaintedHandler painter) { background_painter_ = painter; }

const MenuItemRecord* PopupMenu::Record(int index) const {
  return IsValidIndex(index) ? &items_[index - 1] : nullptr;
}

MenuItem* PopupMenu::ItemControl(int index) const {
  if (index < 1 || index > static_cast<int>(controls_.size())) return nullptr;
  MenuItem* item = controls_[index - 1].get();
  return item != nullptr && item->IsCreated() ? item : nullptr;
}

SIZE PopupMenu::MeasureWindow(bool* has_submenu, const DpiScale& scale) const {
  int width = scale.Int(ClampedMenuWidth(width_));
  const bool automatic = width_ <= 0;
  int height = 0;
  bool submenu = false;
  const OwnedWindowDc screen = automatic ? GetWindowDc(nullptr) : OwnedWindowDc();
  for (const MenuItemRecord& record : items_) {
    if (record.state == kItemHidden) continue;
    if (record.type == kItemSeparator) {
      height += scale.Int(kMenuSeparatorHeight);
      continue;
    }
    height += scale.Int(kMenuItemHeight);
    if (screen != nullptr) {
      const std::wstring text = WideString(record.text.get());
      SIZE extent = {0, 0};
      if (dll::GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &extent)) {
        width = std::max(width, static_cast<int>(extent.cx) + scale.Int(kMenuTextPadding));
      }
    }
    if (record.type == kItemSubmenu) submenu = true;
  }
  height += scale.Int(kMenuVerticalPadding);
  if (submenu) width += scale.Int(kMenuSubmenuArrowWidth);
  // A menu of separators alone still gets the narrowest width.
  width = std::max(width, scale.Int(kMenuMinimumWidth));
  if (has_submenu != nullptr) *has_submenu = submenu;
  return SIZE{width, height};
}

POINT PopupMenu::PlaceRoot(int x, int y, SIZE size, const RECT& work) const {
  POINT at = {x, y};
  if (x == 0 && y == 0) dll::GetCursorPos(&at);
  // work holds left, top, width, height.
  if (at.x + size.cx - kMenuEdgeSlack > work.right) at.x -= size.cx;
  if (at.y + size.cy > work.bottom) at.y = at.y - size.cy + kMenuEdgeSlack;
  return at;
}

POINT PopupMenu::PlaceSubmenu(HWND parent, SIZE size, const RECT& work, bool* opens_left) const {
  RECT parent_rect = {0, 0, 0, 0};
  dll::GetWindowRect(parent, &parent_rect);
  float opener_top = 0.0f;
  float opener_height = 0.0f;
  HostWindow* parent_host = HostFromWindow(parent);
  if (parent_host != nullptr && parent_host->FocusControl() != kNoControl) {
    const GpRectF& bounds = ControlFromRef(parent_host->FocusControl())->BoundsRect();
    opener_top = bounds.Y;
    opener_height = bounds.Height;
  }
  POINT at = {parent_rect.right - kSubmenuOverlap,
              parent_rect.top + static_cast<int>(opener_top) - kSubmenuRaise};
  *opens_left = false;
  if (at.x + size.cx - kMenuEdgeSlack > work.right) {
    at.x = parent_rect.left - size.cx + kSubmenuOverlap;
    *opens_left = true;
  }
  if (at.y + size.cy > work.bottom) {
    at.y = parent_rect.top + static_cast<int>(opener_top + opener_height) - size.cy + kSubmenuRaise;
  }
  return at;
}

void PopupMenu::CreateItemControls(int width, const DpiScale& scale) {
  controls_.clear();
  int y = scale.Int(kMenuItemsTop);
  const int separator_height = scale.Int(kMenuSeparatorHeight), item_height = scale.Int(kMenuItemHeight);
  const int item_left = scale.Int(kMenuItemLeft);
  for (const MenuItemRecord& record : items_) {
    controls_.push_back(std::make_unique<MenuItem>());
    MenuItem& item = *controls_.back();
    if (record.state == kItemHidden) continue;
    if (record.type == kItemSeparator) {
      item.Create(window_, scale.Int(kMenuSeparatorLeft), y, width - scale.Int(kMenuSeparatorTrim), separator_height,
                  record);
      y += separator_height;
    } else {
      item.Create(window_, item_left, y, width - 2 * item_left, item_height, record);
      y += item_height;
      if (record.state == kItemDisabled) item.Disabled(true);
    }
  }
}

void PopupMenu::RunModalLoop(HWND window) {
  MSG message = {};
  while (dll::IsWindow(window)) {
    const BOOL got = dll::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // Leave the quit request for the loop that owns it.
      dll::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    dll::TranslateMessage(&message);
    dll::DispatchMessageW(&message);
  }
}

void PopupMenu::Show(HWND owner_or_parent, bool is_root, int x, int y) {
  if (window_ != nullptr && dll::IsWindow(window_)) return;  // already shown
  const RECT work = WorkArea();
  // The menu opens at its owner's scale (the screen's without a toolkit owner).
  const HostWindow* owner_host = HostFromWindow(owner_or_parent);
  const DpiScale scale = owner_host != nullptr ? owner_host->Scale() : DpiScale::ForScreen();
  const SIZE size = MeasureWindow(nullptr, scale);
  bool opens_left = false;
  const POINT at = is_root ? PlaceRoot(x, y, size, work) : PlaceSubmenu(owner_or_parent, size, work, &opens_left);

  HWND window = CreateToolkitWindow(owner_or_parent, kMenuWindowTitle, at.x, at.y, size.cx, size.cy, nullptr,
                                    WS_POPUP, kMenuExtendedStyle, false);
  if (window == nullptr) return;
  dll::SetPropW(window, kPopupFlagsProperty, reinterpret_cast<HANDLE>(static_cast<intptr_t>(kPopupMenuWindow)));
  if (is_root) {
    dll::SetPropW(window, kMenuRootProperty, window);
    if (owner_or_parent != nullptr) {
      const ControlRef under_mouse = ControlAtPoint(owner_or_parent);
      dll::SetPropW(window, kMenuEventProperty, reinterpret_cast<HANDLE>(under_mouse));
      if (HostFromWindow(owner_or_parent) != nullptr) {
        dll::SendMessageW(owner_or_parent, DUIM_SETFOCUS, 0, static_cast<LPARAM>(under_mouse));
      }
    }
  } else {
    dll::SetPropW(window, kMenuRootProperty, dll::GetPropW(owner_or_parent, kMenuRootProperty));
    dll::SetPropW(owner_or_parent, kMenuSubProperty, window);
  }

  // The painter and the hook go in before Attach so the first composition
  // already has the panel under the items.
  auto host = std::make_unique<HostWindow>();
  host->OnBackgroundPainted(background_painter_ != nullptr ? background_painter_ : DefaultMenuBackground);
  host->OnMessageHook(PopupMessageHook);
  AttachOptions options;
  options.window = window;
  options.base_colour = static_cast<int>(kColourWhiteRgb);
  options.frame_flags = 0;
  options.alpha = kMenuWindowAlpha;
  options.background_mode = kBackgroundSkin;
  options.animate_first_show = 0;
  options.resizable = 0;
  options.drag_anywhere = 0;
  host->Attach(options);
  // The window's caption is the toolkit's class of menu, not a name to read out.
  host->SetAccessibleIdentity(ROLE_SYSTEM_MENUPOPUP, std::wstring());
  RemoveStyle(window, kMenuRemovedStyle, false);

  window_ = window;
  CreateItemControls(size.cx, scale);
  if (on_open_ != nullptr) on_open_(window, is_root);

  if (is_root) {
    host->Show(0);
  } else {
    host->SetCloseAnimation(opens_left ? kAnimationWipeRight : kAnimationWipeLeft);
    host->Show(opens_left ? kAnimationWipeLeft : kAnimationWipeRight, kSubmenuShowMs);
  }
  dll::SetForegroundWindow(window);
  dll::NotifyWinEvent(EVENT_SYSTEM_MENUPOPUPSTART, window, OBJID_CLIENT, CHILDID_SELF);

  RunModalLoop(window);

  if (dll::IsWindow(window)) dll::DestroyWindow(window);
  controls_.clear();
  host.reset();
  window_ = nullptr;
}

}  // namespace quillet
