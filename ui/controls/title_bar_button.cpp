#include "ui/controls/title_bar_button.h"

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

// Normal, hot and pressed columns per glyph, in strip order.
struct StripGlyph {
  int type;
  int columns[3];
};
constexpr StripGlyph kStripGlyphs[] = {
    {kFrameClose, {0, 40, 80}},        {kFrameMinimize, {294, 323, 352}}, {kFrameMenu, {381, 410, 439}},
    {kFrameSkin, {468, 497, 526}},     {kFrameFeedback, {555, 584, 613}}, {kFrameSettings, {642, 671, 700}},
};
constexpr int kMaximizeColumns[3] = {120, 149, 178};
constexpr int kRestoreColumns[3] = {207, 236, 265};


int Column(int look) {
  if (look == kTitleLookHot) return 1;
  if (look == kTitleLookPressed) return 2;
  return 0;  // normal, and every other look
}

}  // namespace

int StripCellX(int type, int look, bool zoomed) {
  const int column = Column(look);
  if (type == kFrameMaximize) return zoomed ? kRestoreColumns[column] : kMaximizeColumns[column];
  for (const StripGlyph& glyph : kStripGlyphs) {
    if (glyph.type == type) return glyph.columns[column];
  }
  return -1;
}

float StripCellWidth(int type) { return type == kFrameClose ? kStripCloseCellWidth : kStripCellWidth; }

TitleBarButton::~TitleBarButton() { Destroy(); }

ControlRef TitleBarButton::Create(HWND host_window, int x, int y, int width, int height, int type,
                                  std::optional<bool> visible) {
  if (IsCreated()) return GetRef();
  type_ = type;
  look_ = kTitleLookNormal;
  const GpRectF bounds = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                          static_cast<float>(height)};
  const ControlRef ref = Control::Create(host_window, bounds, kKindTitleBarButton, visible.value_or(true), false,
                                         std::nullopt, kTitleButtonPeriodMs, 0, 0);
  if (ref == kNoControl) type_ = 0;
  return ref;
}

intptr_t TitleBarButton::ClassProcedure(ControlRef sender, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_DESTROY:
      type_ = 0;
      look_ = kTitleLookNormal;
      break;
    case WM_PAINT:
      Paint(sender, kTitleLookNormal, true, 0);
      break;
    case WM_LBUTTONDOWN:
      Paint(sender, kTitleLookPressed, false, 0);
      break;
    case WM_LBUTTONUP:
      Paint(sender, kTitleLookHot, false, 0);
      break;
    case DUIM_MOUSEENTER:
      Paint(sender, kTitleLookHot, false, kTitleButtonEnterFrames);
      break;
    case DUIM_MOUSELEAVE:
      Paint(sender, kTitleLookNormal, false, kTitleButtonLeaveFrames);
      break;
    case DUIM_CANPRESS:
      return 0;
    case DUIM_MOVED:
      if (type_ == kFrameMaximize) Paint(sender, kTitleLookNormal, true, 0);
      break;
    case DUIM_TRANSITIONEND:
      // Idle again: later repaints of the host must not treat the button as
      // being in the middle of a cross-fade.
      SetTransition(0);
      break;
    case DUIM_CLICK: {
      if (IsDisabled()) break;
      HWND window = GetHostWindow();
      if (type_ == kFrameClose) {
        dll::PostMessageW(window, WM_CLOSE, 0, 0);
      } else if (type_ == kFrameMaximize) {
        dll::PostMessageW(window, WM_SYSCOMMAND, dll::IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE, 0);
      } else if (type_ == kFrameMinimize) {
        if (!dll::IsIconic(window)) dll::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      }
      break;
    }
    default:
      break;
  }
  return kNotHandled;
}

void TitleBarButton::Paint(ControlRef, int look, bool force, int frames) {
  if (look == look_ && !force) return;
  SetTransition(frames);
  PaintContext context;
  GpRectF area;
  if (!BeginControlPaint(&context, &area, false, true)) return;
  ++repaints_;
  const DpiScale& scale = Scale();
  GpBitmap* strip = SystemButtonStripFor(scale);
  const bool large = strip != nullptr && strip == Toolkit().large_system_button_strip;
  const float source_scale = large ? static_cast<float>(kLargeStripScale) : 1.0f;
  const int cell_x = StripCellX(type_, look, dll::IsZoomed(GetHostWindow()) != 0);
  last_cell_x_ = cell_x;
  if (Graphics() != nullptr && strip != nullptr && cell_x >= 0) {
    if (!scale.IsUnscaled()) dll::GdipSetInterpolationMode(Graphics(), kInterpolationHighQualityBicubic);
    dll::GdipDrawImageRectRect(Graphics(), reinterpret_cast<GpImage*>(strip), area.X, area.Y, area.Width,
                               area.Height, static_cast<float>(cell_x) * source_scale, kStripCellTop * source_scale,
                               StripCellWidth(type_) * source_scale, kStripCellHeight * source_scale, kUnitPixel,
                               nullptr, nullptr, nullptr);
    if (!scale.IsUnscaled()) dll::GdipSetInterpolationMode(Graphics(), kInterpolationDefault);
  }
  EndControlPaint(&context);
  look_ = look;
}


AccessibleDescription TitleBarButton::DescribeForAccessibility() const {
  AccessibleDescription description;
  description.role = ROLE_SYSTEM_PUSHBUTTON;
  description.default_action = kAccessibleActionPress;
  switch (type_) {
    case kFrameClose:
      description.name = L"关闭";
      break;
    case kFrameMaximize:
      description.name = dll::IsZoomed(GetHostWindow()) ? L"还原" : L"最大化";
      break;
    case kFrameMinimize:
      description.name = L"最小化";
      break;
    case kFrameMenu:
      description.name = L"菜单";
      break;
    case kFrameSkin:
      description.name = L"皮肤";
      break;
    case kFrameFeedback:
      description.name = L"反馈";
      break;
    case kFrameSettings:
      description.name = L"设置";
      break;
    default:
      break;
  }
  if (look_ == kTitleLookPressed) description.states |= STATE_SYSTEM_PRESSED;
  return description;
}

}  // namespace quillet
