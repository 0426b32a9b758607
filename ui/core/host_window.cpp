#include "ui/core/host_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/thunk.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

namespace {

constexpr int kFrameInset = 6;            // frame outline and clip inset
constexpr int kFrameDiameter = 4;         // clip corner diameter of the frame
constexpr int kControlClipInset = 7;
constexpr int kControlClipDiameter = 3;
constexpr int kWindowRegionDiameter = 5;  // corners of a non-layered window
constexpr int kPictureMargin = 5;
constexpr float kGlowSize = 6.0f;
constexpr float kGlowDepth = 100.0f;
constexpr uint32_t kOuterOutlineGrey = RGB(96, 96, 96);
constexpr int kOuterOutlineAlpha = 204;
constexpr int kInnerOutlineAlpha = 102;
constexpr float kOuterOutlineDiameter = 7.0f;
constexpr float kInnerOutlineDiameter = 6.0f;
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr int kTitleAlpha = 250;
constexpr int kShadowAlphas[4] = {45, 25, 10, 5};
constexpr float kShadowDiametersRound[4] = {10, 12, 15, 18};
constexpr float kShadowDiametersSquare[4] = {1, 4, 7, 11};
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

PresentObserver g_present_observer = nullptr;

struct DwmBlurRecord {
  DWORD flags;
  BOOL enable;
  HRGN region;
  BOOL transition_on_maximized;
};
constexpr DWORD kDwmBbEnable = 0x1;
constexpr DWORD kDwmBbBlurRegion = 0x2;

bool Overlaps(const GpRectF& a, const GpRectF& b) {
  return a.X < b.X + b.Width - kFloatTolerance && b.X < a.X + a.Width - kFloatTolerance &&
         a.Y < b.Y + b.Height - kFloatTolerance && b.Y < a.Y + a.Height - kFloatTolerance;
}

bool IsWholePixels(const GpRectF& r) {
  return r.X == std::trunc(r.X) && r.Y == std::trunc(r.Y) && r.Width == std::trunc(r.Width) &&
         r.Height == std::trunc(r.Height);
}

GpRectF IntersectionOf(const GpRectF& a, const GpRectF& b) {
  const float left = std::max(a.X, b.X), top = std::max(a.Y, b.Y);
  const float right = std::min(a.X + a.Width, b.X + b.Width), bottom = std::min(a.Y + a.Height, b.Y + b.Height);
  return GpRectF{left, top, std::max(0.0f, right - left), std::max(0.0f, bottom - top)};
}

RECT PixelRect(const GpRectF& r) {
  LONG left = static_cast<LONG>(std::floor(r.X)), top = static_cast<LONG>(std::floor(r.Y));
  LONG right = static_cast<LONG>(std::ceil(r.X + r.Width)), bottom = static_cast<LONG>(std::ceil(r.Y + r.Height));
  return RECT{left, top, right, bottom};
}

// Average colour of a bitmap as a Win32 colour, read through a 32-bit DIB copy.
int AverageColour(GpBitmap* bitmap) {
  UINT width = ImageWidth(reinterpret_cast<GpImage*>(bitmap));
  UINT height = ImageHeight(reinterpret_cast<GpImage*>(bitmap));
  if (width == 0 || height == 0) return 0;
  OwnedGdiBitmap hbitmap;
  if (dll::GdipCreateHBITMAPFromBitmap(bitmap, Receive(hbitmap), 0) != 0) return 0;
  if (!hbitmap) return 0;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  int lines = dll::GetDIBits(GetWindowDc(nullptr).get(), hbitmap.get(), 0, height, pixels.data(), &info,
                             DIB_RGB_COLORS);
  if (lines <= 0) return 0;
  uint64_t red = 0, green = 0, blue = 0;
  for (uint32_t p : pixels) {
    blue += p & 0xFF;
    green += (p >> 8) & 0xFF;
    red += (p >> 16) & 0xFF;
  }
  uint64_t count = pixels.size();
  return static_cast<int>(RGB(red / count, green / count, blue / count));
}

}  // namespace

PresentObserver SetPresentObserver(PresentObserver observer) {
  PresentObserver previous = g_present_observer;
  g_present_observer = observer;
  return previous;
}

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
    icon_control_ =
        factory.create_icon(window_, GpRectF{kIconPos, kIconPos, kIconSize, kIconSize}, WindowIcon(window_, false));
  }
  if ((frame_flags_ & kFrameTitle) && factory.create_title) {
    Text title = WindowTitle(window_);
    float left = (frame_flags_ & kFrameIcon) ? kTitleLeftWithIcon : kTitleLeftWithoutIcon;
    // Its final width comes from LayoutTitleBar; start with the same value.
    int right = width_ - kTitleBarRightMargin - ((frame_flags_ & kFrameClose) ? kCloseExtra : 0);
    for (int flag : kSystemButtonFlags) {
      if (frame_flags_ & flag) right -= static_cast<int>(kButtonWidth);
    }
    float title_width = static_cast<float>(right) - left;
    title_control_ = factory.create_title(window_, GpRectF{left, kTitleTop, title_width > 1 ? title_width : 1,
                                                           kTitleHeight},
                                          title.c_str(), ArgbFromColor(kWhite, kTitleAlpha, 1));
  }
  // Leftwards one after another, as LayoutTitleBar will place them.
  float x = static_cast<float>(width_ - kTitleBarRightMargin - ((frame_flags_ & kFrameClose) ? kCloseExtra : 0));
  for (int flag : kSystemButtonFlags) {
    if (!(frame_flags_ & flag) || !factory.create_system_button) continue;
    float button_width = flag == kFrameClose ? kCloseWidth : kButtonWidth;
    x -= kButtonWidth;
    std::unique_ptr<HostedControl> button =
        factory.create_system_button(window_, flag, GpRectF{x, kButtonTop, button_width, kButtonHeight});
    if (!button) continue;
    system_button_view_.push_back(button.get());
    system_buttons_.push_back(std::move(button));
  }
}

void HostWindow::RegisterTooltipTool() {
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  dll::InitCommonControlsEx(&controls);
  tooltip_ = dll::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                  nullptr, nullptr, nullptr, nullptr);
  if (tooltip_) {
    dll::SetWindowPos(tooltip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  tool_ = {};
  tool_.cbSize = TTTOOLINFOW_V2_SIZE;
  tool_.uFlags = TTF_SUBCLASS;
  tool_.hwnd = window_;
  tool_.uId = 0;
  if (tooltip_) dll::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kTooltipMaxWidth);
}

void HostWindow::UpdateTooltip(ControlRef control, std::optional<const char*> tip) {
  if (!tooltip_) return;
  dll::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
  tool_control_ = kNoControl;
  if (control == kNoControl) return;
  HostedControl* c = ControlFromRef(control);
  const char* text = tip ? *tip : c->TooltipText();
  if (!text || !*text) return;
  // The tip is converted from GBK here: the ANSI messages would read it in the
  // system's code page, which garbles Chinese on a Windows of another language.
  tool_text_ = ToWide(text, kCodePageGbk);
  tool_.lpszText = reinterpret_cast<LPWSTR>(tool_text_.data());
  dll::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
  tool_control_ = control;
  const GpRectF& b = c->BoundsRect();
  tool_.rect = RECT{static_cast<LONG>(b.X), static_cast<LONG>(b.Y), static_cast<LONG>(b.X + b.Width),
                    static_cast<LONG>(b.Y + b.Height)};
  dll::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool_));
  dll::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool_));
}

int HostWindow::DragAnywhere(std::optional<int> value) {
  if (value) drag_anywhere_ = *value;
  return drag_anywhere_;
}

int HostWindow::BackgroundMode(std::optional<int> value) {
  if (value) background_mode_ = *value;
  return background_mode_;
}

void HostWindow::DrawDropShadow() {
  const float* diameters = background_mode_ != kBackgroundSquare ? kShadowDiametersRound : kShadowDiametersSquare;
  uint32_t rgb = shadow_colour_ == -1 ? 0u : (static_cast<uint32_t>(shadow_colour_) & 0xFFFFFFu);
  for (int i = 0; i < 4; ++i) {
    float inset = static_cast<float>(kPictureMargin - i);
    GpRectF r = {inset, inset, width_ - 2 * inset, height_ - 2 * inset};
    ARGB colour = (static_cast<uint32_t>(kShadowAlphas[i]) << 24) | rgb;
    DrawRoundRect(frame_.graphics, r, diameters[i], colour, kDashSolid, 1.0f);
  }
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
    dll::GdipGraphicsClear(g, 0);
    GpImage* image = reinterpret_cast<GpImage*>(background_image_);

    OwnedRegion frame_clip;
    if (!framed) {
      if (image) {
        if (dll::IsRectEmpty(&nine_grid_)) {
          DrawImageNatural(g, image, GpRectF{0, 0, static_cast<float>(width_), static_cast<float>(height_)}, false);
        } else {
          DrawNineGrid(g, image, GpRectF{0, 0, static_cast<float>(width_), static_cast<float>(height_)}, nine_grid_,
                       std::nullopt);
        }
      }
    } else {
      frame_clip.reset(GdiRegionToGdiplus(
          OwnedGdiRegion(RoundRectRegion(width_, height_, kFrameInset, rounded ? kFrameDiameter : 0)).get()));
      if (frame_clip) ClipToRegion(g, frame_clip.get(), kClipReplace);
      if (image) {
        dll::GdipGraphicsClear(g, ArgbFromColor(static_cast<uint32_t>(base_colour_), 255, 1));
        float pw = static_cast<float>(ImageWidth(image)), ph = static_cast<float>(ImageHeight(image));
        if (image_placement_ == kPlaceStretch) {
          DrawImageRect(g, image,
                        GpRectF{static_cast<float>(kPictureMargin), static_cast<float>(kPictureMargin),
                                static_cast<float>(width_ - 2 * kPictureMargin),
                                static_cast<float>(height_ - 2 * kPictureMargin)});
        } else if (image_placement_ == kPlaceCentre) {
          float x = std::floor((width_ - pw) / 2), y = std::floor((height_ - ph) / 2);
          dll::GdipDrawImageRect(g, image, x, y, pw, ph);
          if (edge_glow_) {
            GpRectF glow = {x - 1, y - 1, pw + 1, ph + 1};
            DrawEdgeGlow(g, &glow, static_cast<uint32_t>(base_colour_), kGlowSize, kGlowDepth, true, true, true, true);
          }
        } else {
          dll::GdipDrawImageRect(g, image, static_cast<float>(kPictureMargin), static_cast<float>(kPictureMargin), pw,
                                 ph);
          if (edge_glow_) {
            GpRectF glow = {0, 0, pw, ph};
            DrawEdgeGlow(g, &glow, static_cast<uint32_t>(base_colour_), kGlowSize, kGlowDepth, false, false, true,
                         true);
          }
        }
        if (window_alpha_ != kNoAlpha) {
          OwnedBitmap composed;
          const bool made = dll::GdipCreateBitmapFromHBITMAP(frame_.dib, nullptr, Receive(composed)) == 0;
          if (made && composed) {
            dll::GdipGraphicsClear(g, 0);
            DrawImageAlpha(g, AsImage(composed.get()),
                           GpRectF{0, 0, static_cast<float>(width_), static_cast<float>(height_)}, window_alpha_);
          }
        }
      } else {
        int alpha = window_alpha_ == kNoAlpha ? 255 : window_alpha_;
        dll::GdipGraphicsClear(g, ArgbFromColor(static_cast<uint32_t>(base_colour_), alpha, 1));
      }
    }

    if (on_background_painted_) on_background_painted_(window_, g, width_, height_);

    if (framed) {
      GpRectF outer = {static_cast<float>(kFrameInset), static_cast<float>(kFrameInset),
                       static_cast<float>(width_ - 2 * kFrameInset), static_cast<float>(height_ - 2 * kFrameInset)};
      GpRectF inner = {outer.X + 1, outer.Y + 1, outer.Width - 2, outer.Height - 2};
      ARGB outer_colour = ArgbFromColor(kOuterOutlineGrey, kOuterOutlineAlpha, 1);
      ARGB inner_colour = ArgbFromColor(kWhite, kInnerOutlineAlpha, 1);
      if (rounded) {
        DrawRoundRect(g, outer, kOuterOutlineDiameter, outer_colour, kDashSolid, 1.0f);
        DrawRoundRect(g, inner, kInnerOutlineDiameter, inner_colour, kDashSolid, 1.0f);
      } else {
        DrawBorder(g, outer, outer_colour, std::nullopt, 1.0f);
        DrawBorder(g, inner, inner_colour, std::nullopt, 1.0f);
      }
      ResetClip(g);
      frame_clip.reset();
      if (window_alpha_ == kNoAlpha) {
        ApplyWindowRegion(window_, width_, height_, kFrameInset, rounded ? kWindowRegionDiameter : 0);
      } else if (frame_flags_ & kFrameShadow) {
        DrawDropShadow();
      }
    }

    dll::BitBlt(background_.dc, 0, 0, width_, height_, frame_.dc, 0, 0, SRCCOPY);

    control_clip_.reset();
    if (framed) {
      control_clip_.reset(GdiRegionToGdiplus(
          OwnedGdiRegion(RoundRectRegion(width_, height_, kControlClipInset, rounded ? kControlClipDiameter : 0))
              .get()));
      if (control_clip_) ClipToRegion(g, control_clip_.get(), kClipReplace);
    }

    redraw_queue_.Bind(window_, self_, g);
    LayoutTitleBar();
    PaintControls(first_control_, !keep_control_caches, nullptr);
    skipped_while_busy_.reset();  // every control was just composed where it is now
    if (framed) ResetClip(g);
  }

  if (blur_behind_ && window_alpha_ != kNoAlpha) {
    EnableBlur(kBlurInset, kBlurInset, width_ - kBlurInset + 1, height_ - kBlurInset + 1, kBlurDiameter, true);
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

void HostWindow::ComposeControl(HostedControl* control, const GpRectF* dirty) {
  GpGraphics* g = frame_.graphics;
  const GpRectF& bounds = control->BoundsRect();
  int alpha = control->AlphaValue();
  bool disabled = control->IsDisabled();
  if (disabled && control->DeliverEvent(DUIM_DISABLEDLOOK, 0, 1) == kNotHandled) alpha /= 2;
  bool in_transition = dirty && !disabled && control->TransitionPeriodMs() != 0 &&
                       control->TransitionFrameIndex() != control->TransitionFrameCount();
  if (!in_transition) {
    GpImage* bitmap = reinterpret_cast<GpImage*>(control->BackBufferBitmap());
    if (!bitmap) return;
    GpRectF part = bounds;
    // Only the part under the redrawn rectangle; GDI+ would prepare the whole image
    // before clipping it away.
    if (dirty && IsWholePixels(bounds) && IsWholePixels(*dirty)) part = IntersectionOf(bounds, *dirty);
    if (part.Width <= 0 || part.Height <= 0) return;
    DrawImageAlpha(g, bitmap, part, alpha, part.X - bounds.X, part.Y - bounds.Y);
    return;
  }
  BackBuffer& scratch = Toolkit().scratch;
  GpRectF clip = VisibleClipBounds(g);
  TransitionDrawRecord record = {frame_.dc,
                                 g,
                                 scratch.dc,
                                 scratch.graphics,
                                 control->BackBufferBitmap(),
                                 control->TransitionSnapshot(),
                                 bounds.X,
                                 bounds.Y,
                                 bounds.Width,
                                 bounds.Height,
                                 clip.X,
                                 clip.Y};
  if (control->DeliverEvent(DUIM_CUSTOMDRAW, 0, reinterpret_cast<intptr_t>(&record)) < 1) {
    ComposeTransition(control, record);
  }
}

void HostWindow::PaintControls(ControlRef first, bool backdrop_changed, const GpRectF* dirty) {
  GpGraphics* g = frame_.graphics;
  for (ControlRef ref = first; ref != kNoControl;) {
    HostedControl* control = ControlFromRef(ref);
    ControlRef next = control->NextSiblingRef();
    if (control->IsVisible() && (!dirty || Overlaps(control->BoundsRect(), *dirty))) {
      if (backdrop_changed) control->DeliverEvent(DUIM_BACKDROPCHANGED, 0, 0);
      ComposeControl(control, dirty);
      if (control->FirstChildRef() != kNoControl) {
        GpRectF previous = VisibleClipBounds(g);
        ClipToRect(g, control->BoundsRect(), kClipIntersect);
        PaintControls(control->FirstChildRef(), backdrop_changed, dirty);
        ClipToRect(g, previous, kClipReplace);
      }
    }
    ref = next;
  }
}

void HostWindow::RedrawRect(const GpRectF& rect, bool present) {
  if (!window_ || !frame_.graphics) return;
  if (busy_) {
    skipped_while_busy_ = skipped_while_busy_ ? UnionOfRects(*skipped_while_busy_, rect) : rect;
    return;
  }
  GpGraphics* g = frame_.graphics;
  if (control_clip_) ClipToRegion(g, control_clip_.get(), kClipReplace);
  ClipToRect(g, rect, kClipIntersect);
  RECT r = PixelRect(rect);
  dll::BitBlt(frame_.dc, r.left, r.top, r.right - r.left, r.bottom - r.top, background_.dc, r.left, r.top, SRCCOPY);
  PaintControls(first_control_, false, &rect);
  ResetClip(g);
  if (!present) return;
  if (window_alpha_ == kNoAlpha) {
    dll::BitBlt(window_dc_.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, frame_.dc, r.left, r.top, SRCCOPY);
    if (g_present_observer) g_present_observer(window_, false);
  } else {
    PresentFrame();
  }
}

BOOL HostWindow::BlitToWindow(const RECT& r) {
  BOOL ok = dll::BitBlt(window_dc_.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, frame_.dc, r.left, r.top,
                        SRCCOPY);
  if (g_present_observer) g_present_observer(window_, false);
  return ok;
}

BOOL HostWindow::PushLayered(const RECT* dirty) {
  SIZE size = {width_, height_};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  BOOL ok = FALSE;
  if (dirty) {
    // The window keeps the rest of the last frame; copying just the change is what
    // makes a small redraw cheaper than a whole one.
    UPDATELAYEREDWINDOWINFO info = {};
    info.cbSize = sizeof(info);
    info.psize = &size;
    info.hdcSrc = frame_.dc;
    info.pptSrc = &source;
    info.pblend = &blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = dirty;
    ok = dll::UpdateLayeredWindowIndirect(window_, &info);
  }
  if (!ok) {
    ok = dll::UpdateLayeredWindow(window_, nullptr, nullptr, &size, frame_.dc, &source, 0, &blend, ULW_ALPHA);
    whole_frame_shown_ = ok != FALSE;
  }
  if (g_present_observer) g_present_observer(window_, true);
  return ok;
}

void HostWindow::PresentFrame() { PresentRect(std::nullopt); }

void HostWindow::PresentDirty(const GpRectF& dirty) {
  if (busy_ || !window_ || !frame_.dc) return;
  if (window_alpha_ != kNoAlpha && !whole_frame_shown_) {
    PushLayered(nullptr);
    return;
  }
  RECT r = PixelRect(dirty);
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, width_);
  r.bottom = std::min<LONG>(r.bottom, height_);
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (window_alpha_ == kNoAlpha) {
    BlitToWindow(r);
  } else {
    PushLayered(&r);
  }
}

int HostWindow::PresentRect(std::optional<GpRectF> rect) {
  if (busy_ || !window_ || !frame_.dc) return 0;
  if (window_alpha_ != kNoAlpha) return PushLayered(nullptr);
  return BlitToWindow(rect ? PixelRect(*rect) : RECT{0, 0, width_, height_});
}

void HostWindow::LayoutTitleBar() {
  if (frame_flags_ == 0) return;
  int x = width_ - kTitleBarRightMargin;
  if (frame_flags_ & kFrameClose) x -= kCloseExtra;
  for (HostedControl* button : system_button_view_) {
    x -= static_cast<int>(kButtonWidth);
    const GpRectF& b = button->BoundsRect();
    button->MoveTo(static_cast<float>(x), kButtonTop, b.Width, b.Height);
  }
  if ((frame_flags_ & kFrameTitle) && title_control_) {
    float x0 = (frame_flags_ & kFrameIcon) ? kTitleLeftWithIcon : kTitleLeftWithoutIcon;
    title_control_->MoveTo(x0, kTitleTop, static_cast<float>(x) - x0, kTitleHeight);
  }
}

void HostWindow::RedrawSkipped() {
  if (busy_ || !skipped_while_busy_) return;
  const GpRectF skipped = *skipped_while_busy_;
  skipped_while_busy_.reset();
  RedrawRect(skipped, false);
}

void HostWindow::SetShadowColour(int colour) { shadow_colour_ = colour; }

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
  SetBackground(nullptr, false, kNoColour, false, kPresentNow, true);
}

void HostWindow::Show(int animation_type, int duration_ms) {
  if (!window_) return;
  DoEvents();
  if (animation_type == 0) {
    if (blur_behind_) {
      EnableBlur(kBlurInset, kBlurInset, width_ - kBlurInset + 1, height_ - kBlurInset + 1, kBlurDiameter, true);
    }
    dll::ShowWindow(window_, SW_SHOWNORMAL);
    // A layered window shows nothing until its first push.
    if (window_alpha_ != kNoAlpha) PresentFrame();
    return;
  }
  RunOpenAnimation(animation_type, duration_ms);
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
  dll::SetWindowProcedure(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_proc_));
  redraw_queue_.Clear();
  for (ControlRef ref = first_control_; ref != kNoControl;) {
    HostedControl* control = ControlFromRef(ref);
    ControlRef next = control->NextSiblingRef();
    control->DestroyControl();
    ref = next;
  }
  // Redraw requests posted by the controls just destroyed name freed bounds.
  MSG stale;
  while (dll::PeekMessageW(&stale, window, DUIM_INVALIDATE, DUIM_INVALIDATE, PM_REMOVE)) {
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
  first_control_ = last_control_ = kNoControl;
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
