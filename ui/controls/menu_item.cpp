#include "ui/controls/menu_item.h"

#include <string>

#include "runtime/program_dll_commands.h"
#include "ui/controls/check_mark_image.h"
#include "ui/controls/control_messages.h"
#include "ui/controls/popup_menu.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr uint32_t kSeparatorColour = 0xCCC3B7;   // Win32 colour, opaque
constexpr int kOpaqueAlpha = 254;
constexpr ARGB kHighlightedTextColour = 0xF0FFFFFF;  // white at alpha 240
constexpr ARGB kArrowColour = 0x78000000;            // black at alpha 120
constexpr ARGB kHighlightedArrowColour = 0xE6FFFFFF; // white at alpha 230
// Alpha scales in percent: integer arithmetic gives the same alpha in every build.
constexpr uint32_t kFrameAlphaPercent = 82;
constexpr uint32_t kArrowOutlineAlphaPercent = 80;
constexpr uint32_t kPercent = 100;
constexpr float kTextLeft = 30.0f;
constexpr float kSubmenuArrowSpace = 12.0f;
constexpr GpRectF kIconRect = {2.0f, 1.0f, 20.0f, 20.0f};
constexpr int kTrimmingEllipsisCharacter = 3;
constexpr int kFillModeAlternate = 0;

ARGB ScaleAlpha(ARGB colour, uint32_t percent) {
  const uint32_t alpha = (colour >> 24) * percent / kPercent;
  return (colour & 0x00FFFFFF) | (alpha << 24);
}

void DrawArrow(GpGraphics* graphics, float width, float height, ARGB colour, const DpiScale& scale) {
  const float middle = height / 2.0f;
  const GpPointF points[3] = {{width - scale.Float(5.0f), middle - scale.Float(1.0f)},
                              {width - scale.Float(8.0f), middle - scale.Float(4.5f)},
                              {width - scale.Float(8.0f), middle + scale.Float(2.5f)}};
  OwnedSolidFill brush;
  if (dll::GdipCreateSolidFill(colour, Receive(brush)) == 0) {
    dll::GdipFillPolygon(graphics, AsBrush(brush), points, 3, kFillModeAlternate);
  }
  OwnedPen pen;
  if (dll::GdipCreatePen1(ScaleAlpha(colour, kArrowOutlineAlphaPercent), scale.Float(1.0f), kUnitWorld,
                          Receive(pen)) == 0) {
    dll::GdipDrawPolygon(graphics, pen.get(), points, 3);
  }
}

}  // namespace

ARGB DefaultMenuHighlight() { return ArgbFromColor(kMenuHighlightColour, kMenuHighlightAlpha, 1); }

int MenuAccelerator(const ByteSetBlock* utf16) {
  const size_t count = ByteSetLength(utf16) / sizeof(wchar_t);
  const unsigned char* bytes = ByteSetData(utf16);
  for (size_t i = 0; i + 1 < count; ++i) {
    const wchar_t c = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (c == L'&') return bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
  }
  return 0;
}

MenuItem::~MenuItem() { Destroy(); }

ControlRef MenuItem::Create(HWND menu_window, int x, int y, int width, int height, const MenuItemRecord& record,
                            std::optional<bool> visible) {
  if (IsCreated()) return GetRef();
  item_ = record;
  look_ = kMenuLookNormal;
  if (format_ == nullptr && dll::GdipCreateStringFormat(kFormatNoWrap, LANG_NEUTRAL, Receive(format_)) == 0) {
    dll::GdipSetStringFormatAlign(format_.get(), kAlignNear);
    dll::GdipSetStringFormatTrimming(format_.get(), kTrimmingEllipsisCharacter);
    dll::GdipSetStringFormatHotkeyPrefix(format_.get(), kHotkeyPrefixShow);
  }
  LoadIcon(ScaleOfParent(ControlParent(menu_window)));
  const GpRectF bounds = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                          static_cast<float>(height)};
  return Control::Create(ControlParent(menu_window), bounds, kKindMenuItem, visible.value_or(true), true,
                         std::nullopt, 0, 0, 0);
}

MenuItemRecord MenuItem::Item(std::optional<MenuItemRecord> record) {
  if (record) {
    item_ = *record;
    ReleaseIcon();
    LoadIcon(Scale());
    if (IsCreated()) Paint(GetRef(), look_);
  }
  return item_;
}

void MenuItem::LoadIcon(const DpiScale& scale) {
  ReleaseIcon();
  if (item_.state == kItemChecked) {
    icon_ = ImageFromBytes(scale.IsUnscaled() ? CheckMarkImage() : LargeCheckMarkImage(), false, false);
  } else if (!item_.image.empty()) {
    icon_ = ImageFromBytes(item_.image.get(), false, false);
  }
}

void MenuItem::ReleaseIcon() {
  if (icon_ != nullptr) DisposeImage(icon_);
  icon_ = nullptr;
}

HostWindow* MenuItem::MenuHost() const { return Host(); }

intptr_t MenuItem::ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)lparam;
  switch (message) {
    case WM_CREATE: {
      const int accelerator = MenuAccelerator(item_.text.get());
      if (accelerator != 0) {
        dll::SendMessageW(GetHostWindow(), DUIM_SETACCESSKEY, static_cast<WPARAM>(GetRef()), accelerator);
      }
      Paint(sender, kMenuLookNormal);
      break;
    }
    case WM_DESTROY:
      item_ = MenuItemRecord();
      format_.reset();
      font_.reset();
      ReleaseIcon();
      break;
    case WM_TIMER:
      if (static_cast<ControlRef>(wparam) != GetRef()) break;
      dll::KillTimer(GetHostWindow(), GetRef());
      OpenSubmenu(false);
      break;
    case DUIM_MOUSEENTER: {
      HostWindow* host = MenuHost();
      if (host != nullptr && host->FocusControl() != kNoControl) {
        const ControlRef focused = host->FocusControl();
        host->ClearFocusControl();
        quillet::DeliverEvent(focused, DUIM_MOUSELEAVE, 0, 0);
      }
      Paint(sender, kMenuLookHighlighted);
      // With a sibling's submenu open, the timer first closes it after the
      // shorter delay; its retry then opens ours no sooner than the long one.
      HWND window = GetHostWindow();
      HWND submenu = static_cast<HWND>(dll::GetPropW(window, kMenuSubProperty));
      const bool sibling_open = submenu != nullptr && dll::IsWindow(submenu) &&
                                reinterpret_cast<ControlRef>(dll::GetPropW(window, kMenuActiveItemProperty)) != GetRef();
      dll::SetTimer(window, GetRef(), sibling_open ? kSubmenuCloseDelayMs : kSubmenuOpenDelayMs, nullptr);
      break;
    }
    case DUIM_MOUSELEAVE:
      Paint(sender, kMenuLookNormal);
      break;
    case DUIM_CLICK:
      if (item_.type == kItemSubmenu) {
        clicked_ = true;
        OpenSubmenu(true);
        clicked_ = false;
      } else if (item_.type == kItemCommand) {
        Choose();
      }
      break;
    default:
      break;
  }
  return kNotHandled;
}

void MenuItem::OpenSubmenu(bool immediate) {
  HWND window = GetHostWindow();
  HostWindow* host = MenuHost();
  if (window == nullptr || host == nullptr) return;
  HWND submenu = static_cast<HWND>(dll::GetPropW(window, kMenuSubProperty));
  if (submenu != nullptr && dll::IsWindow(submenu)) {
    const ControlRef opener = reinterpret_cast<ControlRef>(dll::GetPropW(window, kMenuActiveItemProperty));
    POINT cursor = {0, 0};
    dll::GetCursorPos(&cursor);
    if (dll::WindowFromPoint(cursor) == submenu) {
      // The mouse went on into the submenu: its opener stays highlighted.
      if (opener != kNoControl) {
        host->SetFocusControl(opener, false);
        quillet::DeliverEvent(opener, DUIM_MOUSELEAVE, 0, 0);
      }
    } else if (ControlAtPoint(window) != opener) {
      dll::SetForegroundWindow(dll::GetParent(submenu));
      dll::RemovePropW(window, kMenuSubProperty);
      dll::PostMessageW(submenu, WM_CLOSE, 0, 0);
      if (immediate) {
        OpenSubmenu(false);
      } else {
        dll::SetTimer(window, GetRef(), kSubmenuCloseDelayMs, nullptr);
      }
    }
    return;
  }
  const bool hovered = host->HoverControl() == GetRef() || clicked_;
  if (!hovered || item_.type != kItemSubmenu || item_.command == 0) return;
  clicked_ = false;
  host->SetFocusControl(GetRef(), false);
  Paint(GetRef(), kMenuLookNormal);
  dll::SetPropW(window, kMenuActiveItemProperty, reinterpret_cast<HANDLE>(GetRef()));
  PopupMenu* submenu_object = reinterpret_cast<PopupMenu*>(item_.command);
  submenu_object->OpenFrom(window);
}

void MenuItem::Choose() {
  HWND window = GetHostWindow();
  const int notify = item_.notify;
  const intptr_t command = item_.command;
  dll::ShowWindow(window, SW_HIDE);
  HWND root = static_cast<HWND>(dll::GetPropW(window, kMenuRootProperty));
  HWND owner = root != nullptr ? dll::GetParent(root) : nullptr;
  const LPARAM event_control = root != nullptr ? reinterpret_cast<LPARAM>(dll::GetPropW(root, kMenuEventProperty)) : 0;
  if (owner != nullptr) dll::SetForegroundWindow(owner);
  if (root != nullptr) dll::PostMessageW(root, WM_CLOSE, 0, 0);
  if (notify == kNotifyOwner) {
    if (owner != nullptr) dll::SendMessageW(owner, WM_COMMAND, static_cast<WPARAM>(command), event_control);
  } else if (command != 0) {
    reinterpret_cast<MenuCommandRoutine>(command)();
  }
}

void MenuItem::Paint(ControlRef sender, int look) {
  (void)sender;
  PaintContext context;
  GpRectF area = {0, 0, 0, 0};
  if (!BeginControlPaint(&context, &area, false, true)) return;
  GpGraphics* graphics = context.graphics;
  const float width = area.Width;
  const float height = area.Height;
  const DpiScale& scale = Scale();
  const float one = scale.Float(1.0f);
  ++paints_;

  if (item_.type == kItemSeparator) {
    DrawLine(graphics, ArgbFromColor(kSeparatorColour, kOpaqueAlpha, 1), one, 0.0f, one, width - scale.Float(3.0f),
             one);
  } else {
    const bool is_submenu = item_.type == kItemSubmenu;
    int shown = look;
    if (is_submenu && Host() != nullptr && Host()->FocusControl() == GetRef()) shown = kMenuLookHighlighted;
    ARGB text_colour = item_.text_colour;
    if (shown == kMenuLookHighlighted) {
      text_colour = kHighlightedTextColour;
      FillSolidRect(graphics, area, item_.highlight_colour);
      DrawBorder(graphics, area, kBorderFlat, ScaleAlpha(item_.highlight_colour, kFrameAlphaPercent), one);
    }
    if (font_ == nullptr) font_.reset(DefaultFontAt(scale));
    GpFont* font = font_.get();
    if (font != nullptr) {
      float font_height = 0.0f;
      dll::GdipGetFontHeight(font, graphics, &font_height);
      const float top = static_cast<float>(static_cast<int>((height - font_height) / 2.0f + one));
      const float text_left = scale.Whole(kTextLeft);
      GpRectF text_rect = {text_left, top, width - text_left, height - top};
      if (is_submenu) text_rect.Width -= scale.Float(kSubmenuArrowSpace);
      const std::wstring text = WideString(item_.text.get());
      DrawControlText(graphics, text_rect, text.c_str(), font, text_colour, format_.get(), item_.text_effect,
                      item_.glow_colour, scale);
    }
    if (is_submenu) {
      DrawArrow(graphics, width, height, shown == kMenuLookHighlighted ? kHighlightedArrowColour : kArrowColour,
                scale);
    }
    if (icon_ != nullptr) {
      const GpRectF icon_rect = scale.Rect(kIconRect);
      ClipToRect(graphics, icon_rect, kClipReplace);
      // Larger sources are brought down smoothly, never a small one blown up.
      if (!scale.IsUnscaled()) dll::GdipSetInterpolationMode(graphics, kInterpolationHighQualityBicubic);
      DrawImageRect(graphics, icon_, icon_rect);
      if (!scale.IsUnscaled()) dll::GdipSetInterpolationMode(graphics, kInterpolationDefault);
      ResetClip(graphics);
    }
  }
  EndControlPaint(&context);
  look_ = look;
}


AccessibleDescription MenuItem::DescribeForAccessibility() const {
  AccessibleDescription description;
  if (item_.type == kItemSeparator) {
    description.role = ROLE_SYSTEM_SEPARATOR;
    description.takes_focus = false;
    return description;
  }
  const std::wstring text = WideString(item_.text.get());
  description.role = ROLE_SYSTEM_MENUITEM;
  description.name = AccessibleNameFromCaption(text);
  if (const wchar_t key = AccessKeyOfCaption(text)) description.keyboard_shortcut = std::wstring(1, key);
  if (item_.type == kItemSubmenu) {
    description.default_action = kAccessibleActionOpen;
    description.states |= STATE_SYSTEM_HASPOPUP;
  } else {
    description.default_action = kAccessibleActionExecute;
  }
  if (item_.state == kItemChecked) description.states |= STATE_SYSTEM_CHECKED;
  return description;
}

}  // namespace quillet
