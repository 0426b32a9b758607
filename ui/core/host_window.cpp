#include "ui/core/host_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/frame_background.h"
#include "ui/core/thunk.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

namespace {

constexpr int kControlClipInset = 7;
constexpr int kControlClipDiameter = 3;
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr int kTitleAlpha = 250;
constexpr float kIconPos = 11.0f;
constexpr float kIconSize = 16.0f;
constexpr float kButtonTop = 7.0f;
constexpr float kButtonHeight = 19.0f;
constexpr float kCloseWidth = 39.0f;
constexpr float kButtonWidth = 28.0f;
constexpr int kTitleBarRightMargin = 5;
constexpr int kCloseExtra = 12;
constexpr float kTitleLeftWithIcon = 28.0f;
constexpr float kTitleLeftWithoutIcon = 11.0f;
constexpr float kTitleTop = 10.0f;
constexpr float kTitleHeight = 20.0f;
constexpr int kBlurInset = 6;
constexpr int kBlurDiameter = 6;
constexpr int kOsVersionWithBlur = 6;
constexpr LPARAM kTooltipMaxWidth = 1024;
constexpr int kSystemButtonFlags[7] = {kFrameClose,  kFrameMaximize, kFrameMinimize, kFrameMenu,
                                       kFrameSkin,   kFrameFeedback, kFrameSettings};

struct DwmBlurRecord {
  DWORD flags;
  BOOL enable;
  HRGN region;
  BOOL transition_on_maximized;
};
constexpr DWORD kDwmBbEnable = 0x1;
constexpr DWORD kDwmBbBlurRegion = 0x2;

}  // namespace

bool BlurApplies(int os_major_version, int background_mode, int window_alpha) {
  return os_major_version == kOsVersionWithBlur && background_mode != kBackgroundSkin && window_alpha != kNoAlpha;
}

HostWindow* HostFromWindow(HWND window) {
  if (!window) return nullptr;
  return static_cast<HostWindow*>(dll::GetPropW(window, kHostProperty));
}

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
  if (previous_proc_) Detach(window_);
}

std::unique_ptr<HostWindow> HostWindow::Copy() const {
  auto copy = std::make_unique<HostWindow>();
  copy->background_mode_ = background_mode_;
  copy->window_alpha_ = window_alpha_;
  copy->image_placement_ = image_placement_;
  copy->shadow_colour_ = shadow_colour_;
  copy->resizable_ = resizable_;
  copy->drag_anywhere_ = drag_anywhere_;
  copy->edge_glow_ = edge_glow_;
  copy->close_animation_ = close_animation_;
  copy->blur_behind_ = blur_behind_;
  copy->animate_first_show_ = animate_first_show_;
  copy->cursor_ = cursor_;
  copy->nine_grid_ = nine_grid_;
  copy->base_colour_ = base_colour_;
  copy->on_background_painted_ = on_background_painted_;
  copy->on_message_hook_ = on_message_hook_;
  copy->on_size_changed_ = on_size_changed_;
  copy->on_button_down_ = on_button_down_;
  copy->on_button_up_ = on_button_up_;
  copy->on_click_ = on_click_;
  copy->on_double_click_ = on_double_click_;
  copy->on_right_button_down_ = on_right_button_down_;
  copy->on_right_button_up_ = on_right_button_up_;
  copy->on_mouse_leave_ = on_mouse_leave_;
  copy->on_mouse_enter_ = on_mouse_enter_;
  copy->on_got_focus_ = on_got_focus_;
  copy->on_lost_focus_ = on_lost_focus_;
  return copy;
}

GpBitmap* HostWindow::BackgroundImage() const { return background_image_; }

void HostWindow::QueueRedraw(const GpRectF& rect, int kind) { redraw_queue_.Add(rect, kind); }

bool HostWindow::DeferControlPaint(ControlRef control) {
  if (!window_ || !redraw_queue_.InBatch() || !IsOwnControl(control)) return false;
  if (dll::GetWindowThreadProcessId(window_, nullptr) != dll::GetCurrentThreadId()) return false;
  if (std::find(deferred_paints_.begin(), deferred_paints_.end(), control) == deferred_paints_.end()) {
    deferred_paints_.push_back(control);
  }
  redraw_queue_.EnsureFlushPosted();
  return true;
}

void HostWindow::CancelDeferredPaint(ControlRef control) {
  deferred_paints_.erase(std::remove(deferred_paints_.begin(), deferred_paints_.end(), control),
                         deferred_paints_.end());
}

void HostWindow::PaintDeferredControls() {
  std::vector<ControlRef> controls;
  controls.swap(deferred_paints_);
  for (ControlRef control : controls) {
    // One destroyed in the meantime is no longer ours.
    if (IsOwnControl(control)) ControlFromRef(control)->DeliverEvent(WM_PAINT, static_cast<intptr_t>(control), 0);
  }
}

bool HostWindow::Attach(const AttachOptions& o) {
  HWND window = o.window;
  if (!window || !dll::IsWindow(window) || window == window_) return false;
  if (previous_proc_) Detach(window_);

  window_alpha_ = o.alpha.value_or(kNoAlpha);
  image_placement_ = o.image_placement.value_or(kPlaceTopLeft);
  background_mode_ = o.background_mode.value_or(kBackgroundDefault);
  int animate_first_show = o.animate_first_show.value_or(1);
  int drag_anywhere = o.drag_anywhere.value_or(1);
  edge_glow_ = o.edge_glow.value_or(1);
  resizable_ = o.resizable ? *o.resizable : (HasStyle(window, WS_THICKFRAME, false) ? 1 : 0);
  blur_behind_ = (o.blur_behind && o.alpha) ? *o.blur_behind : 0;
  if (!o.blur_behind && Toolkit().os_major_version == kOsVersionWithBlur) blur_behind_ = 1;
  nine_grid_ = o.nine_grid_centre;
  background_source_ = o.background_source ? *o.background_source : nullptr;

  int flags = o.frame_flags.value_or(0);
  if (!(o.frame_flags && *o.frame_flags == 0)) AddStyle(window, WS_SYSMENU, false);
  if (!o.frame_flags || (flags & kFrameFromStyle)) {
    flags |= kFrameIcon | kFrameTitle | kFrameClose;
    if (HasStyle(window, WS_MAXIMIZEBOX, false)) flags |= kFrameMaximize;
    if (HasStyle(window, WS_MINIMIZEBOX, false)) flags |= kFrameMinimize;
  }
  frame_flags_ = (flags & ~kFrameFromStyle) | kFrameShadow;

  AddStyle(window, WS_POPUP, false);
  window_ = window;
  self_ = this;
  dll::SetPropW(window, kHostProperty, static_cast<HANDLE>(self_));
  cursor_ = Toolkit().default_cursor;

  RemoveStyle(window, WS_THICKFRAME | WS_DLGFRAME | WS_BORDER, false);
  if (!(frame_flags_ & kFrameMinimize)) RemoveStyle(window, WS_MINIMIZEBOX, false);
  if (!(frame_flags_ & kFrameMaximize)) RemoveStyle(window, WS_MAXIMIZEBOX, false);
  DragAnywhere(drag_anywhere);

  scale_ = DpiScale::ForWindow(window);
  RECT rect = {};
  dll::GetWindowRect(window, &rect);
  width_ = rect.right - rect.left;
  height_ = rect.bottom - rect.top;
  window_dc_ = GetWindowDc(window);
  CreateSurface(window, window_dc_.get(), width_, height_, &frame_);
  CreateBackBuffer(window, window_dc_.get(), width_, height_, &background_);
  EnsureScratchSurface(width_, height_);

  if (window_alpha_ != kNoAlpha) AddStyle(window, WS_EX_LAYERED, true);

  redraw_queue_.Bind(window, self_, frame_.graphics);
  thunk_ = BuildThunk(self_, reinterpret_cast<void*>(&HostWindow::ThunkTarget));
  previous_proc_ = reinterpret_cast<WNDPROC>(
      dll::SetWindowProcedure(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk_)));

  animate_first_show_ = 0;
  if (frame_flags_ != 0) {
    BusyScope busy(this);
    CreateFrameControls();
  }
  SetBackground(o.picture, o.picture_given, o.base_colour.value_or(kNoColour), o.base_colour.has_value(),
                kPresentNone);
  if (window_alpha_ != kNoAlpha && !(frame_flags_ != 0 && animate_first_show)) PresentFrame();
  animate_first_show_ = animate_first_show;

  RegisterTooltipTool();
  if (resizable_) AddStyle(window, WS_THICKFRAME, false);
  // The frame styles are gone, but the system keeps the old non-client area
  // until it is asked again; without this, client coordinates stay offset by
  // the old caption and border and clicks land beside the controls.
  dll::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                    SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void HostWindow::CreateFrameControls() {
  const FrameControlFactory& factory = CurrentFrameControlFactory();
  if ((frame_flags_ & kFrameIcon) && factory.create_icon) {
    // Scaled up, the small icon would be blown up: the big one is brought down instead.
    icon_control_ = factory.create_icon(window_, scale_.Rect(GpRectF{kIconPos, kIconPos, kIconSize, kIconSize}),
                                        WindowIcon(window_, !scale_.IsUnscaled()));
  }
  if ((frame_flags_ & kFrameTitle) && factory.create_title) {
    Text title = WindowTitle(window_);
    float left = scale_.Whole((frame_flags_ & kFrameIcon) ? kTitleLeftWithIcon : kTitleLeftWithoutIcon);
    // Its final width comes from LayoutTitleBar; start with the same value.
    int right = width_ - scale_.Int(kTitleBarRightMargin);
    if (frame_flags_ & kFrameClose) right -= scale_.Int(kCloseExtra);
    for (int flag : kSystemButtonFlags) {
      if (frame_flags_ & flag) right -= scale_.Int(static_cast<int>(kButtonWidth));
    }
    float title_width = static_cast<float>(right) - left;
    const GpRectF title_rect = {left, scale_.Whole(kTitleTop), title_width > 1 ? title_width : 1,
                                scale_.Whole(kTitleHeight)};
    title_control_ = factory.create_title(window_, title_rect, title.c_str(), ArgbFromColor(kWhite, kTitleAlpha, 1));
  }
  // Leftwards one after another, as LayoutTitleBar will place them.
  float x = static_cast<float>(width_ - scale_.Int(kTitleBarRightMargin) -
                               ((frame_flags_ & kFrameClose) ? scale_.Int(kCloseExtra) : 0));
  for (int flag : kSystemButtonFlags) {
    if (!(frame_flags_ & flag) || !factory.create_system_button) continue;
    float button_width = scale_.Whole(flag == kFrameClose ? kCloseWidth : kButtonWidth);
    x -= static_cast<float>(scale_.Int(static_cast<int>(kButtonWidth)));
    std::unique_ptr<HostedControl> button = factory.create_system_button(
        window_, flag, GpRectF{x, scale_.Whole(kButtonTop), button_width, scale_.Whole(kButtonHeight)});
    if (!button) continue;
    system_button_view_.push_back(button.get());
    system_buttons_.push_back(std::move(button));
  }
}

void HostWindow::RegisterTooltipTool() {
  tool_ = {};
  tool_.cbSize = TTTOOLINFOW_V2_SIZE;
  tool_.uFlags = TTF_SUBCLASS;
  tool_.hwnd = window_;
  tool_.uId = 0;
  // The tip window changes nothing on the first frame, and loading the common
  // controls costs more than the rest of the window's start-up: it is made
  // once the window is up, or earlier when something asks for it.
  dll::PostMessageW(window_, kHostCreateTooltipMessage, 0, 0);
}

HWND HostWindow::TooltipWindow() {
  EnsureTooltipWindow();
  return tooltip_;
}

void HostWindow::EnsureTooltipWindow() {
  if (tooltip_ || !window_) return;
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  dll::InitCommonControlsEx(&controls);
  tooltip_ = dll::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                  nullptr, nullptr, nullptr, nullptr);
  if (!tooltip_) return;
  dll::SetWindowPos(tooltip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  dll::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kTooltipMaxWidth);
}

void HostWindow::UpdateTooltip(ControlRef control, std::optional<const char*> tip) {
  EnsureTooltipWindow();
  if (!tooltip_) return;
  dll::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
  tool_control_ = kNoControl;
  if (control == kNoControl) return;
  HostedControl* c = ControlFromRef(control);
  const wchar_t* wide = tip ? nullptr : c->TooltipTextW();
  if (wide && *wide) {
    tool_text_ = ByteSet(wide, (wcslen(wide) + 1) * sizeof(wchar_t));
  } else {
    const char* text = tip ? *tip : c->TooltipText();
    if (!text || !*text) return;
    // The tip is converted from GBK here: the ANSI messages would read it in the
    // system's code page, which garbles Chinese on a Windows of another language.
    tool_text_ = ToWide(text, kCodePageGbk);
  }
  tool_.lpszText = reinterpret_cast<LPWSTR>(tool_text_.data());
  dll::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
  tool_control_ = control;
  MoveToolToItsControl();
  dll::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool_));
}

void HostWindow::MoveToolToItsControl() {
  if (!tooltip_ || tool_control_ == kNoControl) return;
  const GpRectF& b = ControlFromRef(tool_control_)->BoundsRect();
  const RECT rect = {static_cast<LONG>(b.X), static_cast<LONG>(b.Y), static_cast<LONG>(b.X + b.Width),
                     static_cast<LONG>(b.Y + b.Height)};
  const RECT& now = tool_.rect;
  if (rect.left == now.left && rect.top == now.top && rect.right == now.right && rect.bottom == now.bottom) return;
  tool_.rect = rect;
  dll::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool_));
}

int HostWindow::DragAnywhere(std::optional<int> value) {
  if (value) drag_anywhere_ = *value;
  return drag_anywhere_;
}

int HostWindow::BackgroundMode(std::optional<int> value) {
  if (value) background_mode_ = *value;
  return background_mode_;
}

int HostWindow::SetBackground(const ByteSetBlock* picture, bool picture_given, int base_colour, bool colour_given,
                              int present_mode, bool keep_control_caches) {
  if (!window_) return 1;
  {
    BusyScope busy(this);
    // A fade still running would push its old frame over this one.
    if (fade_.dc) StopCrossFade();
    whole_frame_shown_ = false;
    GpGraphics* g = frame_.graphics;
    const bool framed = background_mode_ != kBackgroundSkin;
    const bool rounded = background_mode_ != kBackgroundSquare;

    HostWindow* source = nullptr;
    if (background_source_ && dll::IsWindow(background_source_)) source = HostFromWindow(background_source_);
    if (source && source != this) {
      background_image_ = source->background_image_;
      base_colour_ = source->base_colour_;
    } else {
      if (background_source_) {
        background_source_ = nullptr;  // gone or not a host: use our own picture from now on
        background_image_ = nullptr;
      }
      if (picture_given) {
        own_background_.reset(reinterpret_cast<GpBitmap*>(ImageFromBytes(picture, false, false)));
        background_image_ = own_background_.get();
        if (background_image_) base_colour_ = AverageColour(background_image_);
      }
    }
    if (colour_given && base_colour != kNoColour) base_colour_ = base_colour;

    if (present_mode == kPresentCrossFade && window_alpha_ != kNoAlpha) {
      CreateBackBuffer(window_, window_dc_.get(), width_, height_, &fade_);
      dll::BitBlt(fade_.dc, 0, 0, width_, height_, frame_.dc, 0, 0, SRCCOPY);
    }
    FrameBackground frame;
    frame.window = window_;
    frame.width = width_;
    frame.height = height_;
    frame.background_mode = background_mode_;
    frame.image_placement = image_placement_;
    frame.window_alpha = window_alpha_;
    frame.frame_flags = frame_flags_;
    frame.shadow_colour = shadow_colour_;
    frame.edge_glow = edge_glow_ != 0;
    frame.nine_grid = nine_grid_;
    frame.base_colour = base_colour_;
    frame.picture = AsImage(background_image_);
    frame.frame_dib = frame_.dib;
    frame.on_painted = on_background_painted_;
    frame.scale = scale_;
    PaintFrameBackground(g, frame);

    dll::BitBlt(background_.dc, 0, 0, width_, height_, frame_.dc, 0, 0, SRCCOPY);

    control_clip_.reset();
    if (framed) {
      const int inset = scale_.Int(kControlClipInset), diameter = rounded ? scale_.Int(kControlClipDiameter) : 0;
      control_clip_.reset(GdiRegionToGdiplus(OwnedGdiRegion(RoundRectRegion(width_, height_, inset, diameter)).get()));
      if (control_clip_) ClipToRegion(g, control_clip_.get(), kClipReplace);
    }

    redraw_queue_.Bind(window_, self_, g);
    LayoutTitleBar();
    PaintControls(controls_.First(), !keep_control_caches, nullptr);
    skipped_while_busy_.reset();  // every control was just composed where it is now
    if (framed) ResetClip(g);
  }

  if (blur_behind_ && window_alpha_ != kNoAlpha) {
    EnableBlur(scale_.Int(kBlurInset), scale_.Int(kBlurInset), width_ - scale_.Int(kBlurInset) + 1,
               height_ - scale_.Int(kBlurInset) + 1, scale_.Int(kBlurDiameter), true);
  }
  if (present_mode == kPresentNow) {
    PresentFrame();
  } else if (present_mode == kPresentCrossFade) {
    // The fade blends away from the previous frame kept in its buffer; a window
    // presented with BitBlt has none and shows the new frame at once.
    if (fade_.dc) {
      StartCrossFade();
    } else {
      PresentFrame();
    }
  }
  return 1;
}

void HostWindow::LayoutTitleBar() {
  if (frame_flags_ == 0) return;
  int x = width_ - scale_.Int(kTitleBarRightMargin);
  if (frame_flags_ & kFrameClose) x -= scale_.Int(kCloseExtra);
  for (HostedControl* button : system_button_view_) {
    x -= scale_.Int(static_cast<int>(kButtonWidth));
    const GpRectF& b = button->BoundsRect();
    button->MoveTo(static_cast<float>(x), scale_.Whole(kButtonTop), b.Width, b.Height);
  }
  if ((frame_flags_ & kFrameTitle) && title_control_) {
    float x0 = scale_.Whole((frame_flags_ & kFrameIcon) ? kTitleLeftWithIcon : kTitleLeftWithoutIcon);
    title_control_->MoveTo(x0, scale_.Whole(kTitleTop), static_cast<float>(x) - x0, scale_.Whole(kTitleHeight));
  }
}

void HostWindow::SetShadowColour(int colour) { shadow_colour_ = colour; }

void HostWindow::ChangeDpi(int dpi, const RECT& suggested) {
  if (!window_) return;
  const DpiScale old_scale = scale_;
  {
    BusyScope busy(this);
    scale_ = DpiScale(dpi);
    if (fade_.dc) StopCrossFade();
    // The title bar is made again at the new scale: its figures, the title's
    // font and the icon's source all depend on it.
    if (frame_flags_ != 0 && scale_ != old_scale) {
      icon_control_.reset();
      title_control_.reset();
      system_button_view_.clear();
      system_buttons_.clear();
      CreateFrameControls();
    }
    if (on_dpi_changed_) on_dpi_changed_(window_, old_scale, scale_);
  }
  // The surfaces follow the new size; the frame is painted and pushed once, below.
  resizing_for_dpi_ = true;
  dll::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                    suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  resizing_for_dpi_ = false;
  if (tooltip_ && tool_control_ != kNoControl) UpdateTooltip(tool_control_, std::nullopt);
  SetBackground(nullptr, false, kNoColour, false, kPresentNow, false);
}

void HostWindow::OnSize(HWND window, WPARAM size_kind) {
  if (size_kind == SIZE_MINIMIZED || !window_) return;
  RECT rect = {};
  dll::GetWindowRect(window, &rect);
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w == width_ && h == height_) return;
  width_ = w;
  height_ = h;
  if (on_size_changed_) on_size_changed_(window_, w, h);
  CreateSurface(window_, window_dc_.get(), w, h, &frame_);
  CreateBackBuffer(window_, window_dc_.get(), w, h, &background_);
  EnsureScratchSurface(w, h);
  if (resizing_for_dpi_) return;  // ChangeDpi paints and presents the whole frame itself
  SetBackground(nullptr, false, kNoColour, false, kPresentNow, true);
}

void HostWindow::Show(int animation_type, int duration_ms) {
  if (!window_) return;
  DoEvents();
  // The messages just run may have destroyed the window; its handle is gone
  // then, and a null one would address the whole desktop.
  if (!window_) return;
  RedrawSkipped();
  if (animation_type == 0) {
    if (blur_behind_) {
      EnableBlur(scale_.Int(kBlurInset), scale_.Int(kBlurInset), width_ - scale_.Int(kBlurInset) + 1,
               height_ - scale_.Int(kBlurInset) + 1, scale_.Int(kBlurDiameter), true);
    }
    dll::ShowWindow(window_, SW_SHOWNORMAL);
    // A layered window shows nothing until its first push; one that was
    // hidden got its frame as it appeared.
    if (window_alpha_ != kNoAlpha && !whole_frame_shown_) PresentFrame();
    return;
  }
  RunOpenAnimation(animation_type, duration_ms);
  if (!window_) return;  // destroyed while the animation let messages run
  RedrawSkipped();
  PresentFrame();
  dll::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void HostWindow::SetCloseAnimation(int type) { close_animation_ = type; }

void HostWindow::SetWindowCursor(intptr_t cursor_or_id, bool is_handle) {
  cursor_ = is_handle ? reinterpret_cast<HCURSOR>(cursor_or_id)
                      : dll::LoadCursorW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(cursor_or_id)));
}

bool HostWindow::EnableBlur(int left, int top, int right, int bottom, int diameter, bool enable) {
  if (!BlurApplies(Toolkit().os_major_version, background_mode_, window_alpha_)) return false;
  BOOL composition = FALSE;
  if (dll::DwmIsCompositionEnabled(&composition) != S_OK || !composition) return false;
  OwnedGdiRegion region(enable ? dll::CreateRoundRectRgn(left, top, right, bottom, diameter, diameter)
                                : dll::CreateRectRgn(0, 0, 0, 0));
  DwmBlurRecord record = {kDwmBbEnable | kDwmBbBlurRegion, TRUE, region.get(), FALSE};
  dll::DwmEnableBlurBehindWindow(window_, &record);
  return true;
}

void HostWindow::OnBackgroundPainted(BackgroundPaintedHandler h) { on_background_painted_ = h; }
void HostWindow::OnMessageHook(MessageHookHandler h) { on_message_hook_ = h; }
void HostWindow::OnSizeChanged(SizeChangedHandler h) { on_size_changed_ = h; }
void HostWindow::OnButtonDown(ControlEventHandler h) { on_button_down_ = h; }
void HostWindow::OnButtonUp(ControlEventHandler h) { on_button_up_ = h; }
void HostWindow::OnClick(ControlEventHandler h) { on_click_ = h; }
void HostWindow::OnDoubleClick(ControlEventHandler h) { on_double_click_ = h; }
void HostWindow::OnRightButtonDown(ControlEventHandler h) { on_right_button_down_ = h; }
void HostWindow::OnRightButtonUp(ControlEventHandler h) { on_right_button_up_ = h; }
void HostWindow::OnMouseLeave(ControlEventHandler h) { on_mouse_leave_ = h; }
void HostWindow::OnMouseEnter(ControlEventHandler h) { on_mouse_enter_ = h; }
void HostWindow::OnGotFocus(ControlEventHandler h) { on_got_focus_ = h; }
void HostWindow::OnLostFocus(ControlEventHandler h) { on_lost_focus_ = h; }

void HostWindow::ForgetControl(ControlRef control) {
  if (control == kNoControl) return;
  if (pressed_control_ == control) EndPress();
  if (tool_control_ == control) UpdateTooltip(kNoControl, std::nullopt);
  if (focus_control_ == control) focus_control_ = kNoControl;
  if (hover_control_ == control) hover_control_ = kNoControl;
  if (keyboard_focus_control_ == control) keyboard_focus_control_ = kNoControl;
  for (auto it = access_keys_.begin(); it != access_keys_.end(); ++it) {
    if (it->control == control) {
      access_keys_.erase(it);
      break;
    }
  }
}

void HostWindow::Detach(HWND) {
  if (!previous_proc_) return;
  HWND window = window_;
  BusyScope busy(this);
  // First: a client still holding the object must not reach what goes next.
  DisconnectAccessible();
  dll::SetWindowProcedure(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_proc_));
  redraw_queue_.Clear();
  deferred_paints_.clear();
  for (ControlRef ref = controls_.First(); ref != kNoControl;) {
    HostedControl* control = ControlFromRef(ref);
    ControlRef next = control->NextSiblingRef();
    control->DestroyControl();
    ref = next;
  }
  // Redraw requests posted by the controls just destroyed name freed bounds.
  MSG stale;
  while (dll::PeekMessageW(&stale, window, DUIM_INVALIDATE, DUIM_INVALIDATE, PM_REMOVE)) {
  }
  // Posted events belong to the host, which will never handle them now; the
  // window's queue drops them unread when it goes.
  while (dll::PeekMessageW(&stale, window, DUIM_EVENT, DUIM_EVENT, PM_REMOVE)) {
    FreeScratch(reinterpret_cast<void*>(stale.lParam));
  }
  control_clip_.reset();
  own_background_.reset();
  background_image_ = nullptr;
  if (tooltip_) {
    dll::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
    dll::DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    tool_control_ = kNoControl;
  }
  if (captured_ || tracking_mouse_leave_) {
    captured_ = 0;
    tracking_mouse_leave_ = 0;
    dll::ReleaseCapture();
  }
  pressed_control_ = focus_control_ = hover_control_ = keyboard_focus_control_ = kNoControl;
  controls_.Clear();
  frame_flags_ = 0;
  StopCrossFade();
  skipped_while_busy_.reset();
  ReleaseSurface(window, &frame_);
  ReleaseBackBuffer(window, &background_);
  window_dc_.reset();
  access_keys_.clear();
  icon_control_.reset();
  title_control_.reset();
  system_button_view_.clear();
  system_buttons_.clear();
  dll::RemovePropW(window, kHostProperty);
  FreeThunk(thunk_);
  thunk_ = nullptr;
  previous_proc_ = nullptr;
  window_ = nullptr;
  background_source_ = nullptr;
}

}  // namespace quillet
