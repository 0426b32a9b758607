// Cross-fade, open and close animations of a host window, and the default
// look of a control in the middle of a transition.
#include <algorithm>
#include <cmath>

#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "ui/core/animation.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {

namespace {

constexpr UINT kFadeIntervalMs = 50;
constexpr int kFadeStepAlpha = 51;
constexpr int kOpenSteps = 10;
constexpr int kOpenAlphaStep = 25;
constexpr int kCloseFadeSteps = 15;
constexpr int kCloseSwellSteps = 20;
constexpr int kCloseAlphaStep = 17;
constexpr int kSwellAlphaStep = 12;
constexpr int kWipeFalloff = 100;  // columns (rows) fading out at the vanishing edge
constexpr int kWipeWaitMs = 8;
constexpr int kFadeWaitMs = 10;
constexpr int kBlurInset = 6;
constexpr int kBlurDiameter = 6;
constexpr int kRegionInset = 6;
constexpr int kRegionDiameter = 5;

AnimationTrace g_trace;

void DefaultWait(int milliseconds) {
  Delay(milliseconds);
  DoEvents();
}
AnimationWait g_wait = DefaultWait;

void Wait(int milliseconds) {
  if (g_trace.on_wait) g_trace.on_wait(milliseconds);
  g_wait(milliseconds);
}

void Push(HWND window, HDC dc, int width, int height, int step_alpha) {
  SIZE size = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  dll::UpdateLayeredWindow(window, nullptr, nullptr, &size, dc, &source, 0, &blend, ULW_ALPHA);
  if (g_trace.on_push) g_trace.on_push(window, step_alpha);
}

void Blend(HDC target, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh, int alpha,
           bool traced = true) {
  if (traced && g_trace.on_blend) g_trace.on_blend(alpha);
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(std::clamp(alpha, 0, 255)), 0};
  dll::GdiAlphaBlend(target, x, y, w, h, source, sx, sy, sw, sh, blend);
}

// Copies the part of the frame that survives a wipe, one column (or row) at a
// time, fading towards the vanishing edge.
void WipeStep(HDC target, HDC frame, int width, int height, int remaining, bool horizontal, bool keep_start,
              int alpha, int falloff) {
  const int extent = horizontal ? width : height;
  const int offset = keep_start ? 0 : extent - remaining;
  for (int i = 0; i < remaining; ++i) {
    int distance = keep_start ? remaining - 1 - i : i;  // from the vanishing edge
    int a = distance < falloff ? alpha * distance / falloff : alpha;
    int at = offset + i;
    if (horizontal) {
      Blend(target, at, 0, 1, height, frame, at, 0, 1, height, a, false);
    } else {
      Blend(target, 0, at, width, 1, frame, 0, at, width, 1, a, false);
    }
  }
}

}  // namespace

AnimationTrace SetAnimationTrace(const AnimationTrace& trace) {
  AnimationTrace previous = g_trace;
  g_trace = trace;
  return previous;
}

AnimationWait SetAnimationWait(AnimationWait wait) {
  AnimationWait previous = g_wait;
  g_wait = wait ? wait : DefaultWait;
  return previous;
}

int OpenAnimationSteps(int type) { return type == 0 ? 0 : kOpenSteps; }

int CloseAnimationSteps(int type) {
  switch (type) {
    case 0: return 0;
    case 2: return kCloseSwellSteps;
    default: return kCloseFadeSteps;
  }
}

void HostWindow::StartCrossFade() {
  whole_frame_shown_ = false;  // the window shows animation frames from here
  busy_ = 1;
  fade_alpha_ = 0;
  dll::SetTimer(window_, reinterpret_cast<UINT_PTR>(self_), kFadeIntervalMs, &HostWindow::FadeTimerProc);
}

void HostWindow::StopCrossFade() {
  // The timer's id is this object, which may be freed once the fade is over.
  dll::KillTimer(window_, reinterpret_cast<UINT_PTR>(self_));
  ReleaseBackBuffer(window_, &fade_);
}

// An animation that starts while a fade runs ends the fade first: its ticks
// would push their own frames between the animation's.
void HostWindow::EndCrossFade() {
  if (!fade_.dc) return;
  StopCrossFade();
  busy_ = 0;
}

void CALLBACK HostWindow::FadeTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) {
  HostWindow* self = reinterpret_cast<HostWindow*>(id);
  self->FadeStep(window, message, id, time);
}

// Runs only with the fade buffer: SetBackground starts no fade without one.
void HostWindow::FadeStep(HWND, UINT, UINT_PTR, DWORD) {
  if (!window_ || !fade_.dc) return;
  Push(window_, fade_.dc, width_, height_, fade_alpha_);
  fade_alpha_ = std::min(fade_alpha_ + kFadeStepAlpha, 255);
  Blend(fade_.dc, 0, 0, width_, height_, frame_.dc, 0, 0, width_, height_, fade_alpha_);
  if (fade_alpha_ < 255) return;
  StopCrossFade();
  busy_ = 0;
  // Controls moved or redrawn during the fade were left at their old state.
  RedrawSkipped();
  PresentFrame();
}

void HostWindow::RunOpenAnimation(int type, int duration_ms) {
  whole_frame_shown_ = false;  // the window shows animation frames from here
  EndCrossFade();
  const int w = width_, h = height_;
  if (window_alpha_ == kNoAlpha) {
    AddStyle(window_, WS_EX_LAYERED, true);
    ApplyWindowRegion(window_, w, h, scale_.Int(kRegionInset), scale_.Int(kRegionDiameter));
  }
  BusyScope busy(this);
  ScopedSurface temp(window_dc_.get(), w, h);
  HDC dc = temp.get().dc;
  GpGraphics* g = temp.get().graphics;
  dll::GdipGraphicsClear(g, 0);
  Push(window_, dc, w, h, -1);
  dll::ShowWindow(window_, SW_SHOWNORMAL);
  if (blur_behind_) EnableBlur(0, 0, 0, 0, 0, false);
  const int wait = duration_ms / kOpenSteps;
  for (int i = 1; i <= kOpenSteps; ++i) {
    dll::GdipGraphicsClear(g, 0);
    int alpha = 0;
    if (type == 1) {
      alpha = kOpenAlphaStep * (i - 1);
      Blend(dc, 0, 0, w, h, frame_.dc, 0, 0, w, h, alpha);
    } else if (type == 7) {
      alpha = kOpenAlphaStep * i;
      int dx = (kOpenSteps - i) * w / 100, dy = (kOpenSteps - i) * h / 100;
      Blend(dc, dx, dy, w - 2 * dx, h - 2 * dy, frame_.dc, 0, 0, w, h, alpha);
    } else {
      // Strips: the window is built up in ten bands; types 3 and 4 in
      // columns (from the left, from the right), the others in rows.
      alpha = std::min(255, kOpenAlphaStep * i + 5);
      if (type == 3 || type == 4) {
        int shown = w * i / kOpenSteps;
        int x = type == 3 ? 0 : w - shown;
        Blend(dc, x, 0, shown, h, frame_.dc, x, 0, shown, h, alpha);
      } else {
        int shown = h * i / kOpenSteps;
        int y = type == 6 ? h - shown : 0;
        Blend(dc, 0, y, w, shown, frame_.dc, 0, y, w, shown, alpha);
      }
    }
    Push(window_, dc, w, h, alpha);
    Wait(wait);
  }
  dll::GdipGraphicsClear(g, 0);
  Push(window_, dc, w, h, -1);
  const int blur_inset = scale_.Int(kBlurInset);
  if (blur_behind_) {
    EnableBlur(blur_inset, blur_inset, w - blur_inset + 1, h - blur_inset + 1, scale_.Int(kBlurDiameter), true);
  }
  // A window presented with BitBlt cannot stay layered, or it would show nothing.
  if (window_alpha_ == kNoAlpha) RemoveStyle(window_, WS_EX_LAYERED, true);
}

void HostWindow::RunCloseAnimation() {
  whole_frame_shown_ = false;  // the window shows animation frames from here
  const int type = close_animation_;
  if (type == 0 || !window_ || !frame_.dc) return;
  EndCrossFade();
  RECT rect = {};
  dll::GetWindowRect(window_, &rect);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  ScopedSurface temp(window_dc_.get(), w, h);
  HDC dc = temp.get().dc;
  GpGraphics* g = temp.get().graphics;
  dll::GdipGraphicsClear(g, 0);
  Blend(dc, 0, 0, w, h, frame_.dc, 0, 0, w, h, 255);
  if (window_alpha_ == kNoAlpha) AddStyle(window_, WS_EX_LAYERED, true);
  Push(window_, dc, w, h, -1);
  BusyScope busy(this);
  if (blur_behind_) EnableBlur(0, 0, 0, 0, 0, false);

  const int steps = CloseAnimationSteps(type);
  for (int i = 1; i <= steps; ++i) {
    dll::GdipGraphicsClear(g, 0);
    int alpha = 255 - kCloseAlphaStep * i;
    int wait = kWipeWaitMs;
    if (type == 1) {
      Blend(dc, 0, 0, w, h, frame_.dc, 0, 0, w, h, alpha);
      wait = kFadeWaitMs;
    } else if (type == 2) {
      alpha = 255 - kSwellAlphaStep * i;
      double grow = 1.5 * i <= 5.0 ? 1.5 * i : 5.0 - 2.0 * (i - 3);
      int gw = static_cast<int>(std::lround(w + grow)), gh = static_cast<int>(std::lround(h + grow));
      Blend(dc, (w - gw) / 2, (h - gh) / 2, gw, gh, frame_.dc, 0, 0, w, h, alpha);
      wait = std::max(16 - i, 10);
    } else if (type == 7) {
      double scale = 1.0 - 0.1 * i / steps;
      int zw = static_cast<int>(std::lround(w * scale)), zh = static_cast<int>(std::lround(h * scale));
      Blend(dc, (w - zw) / 2, (h - zh) / 2, zw, zh, frame_.dc, 0, 0, w, h, alpha);
      wait = std::max(13 - i, 1);
    } else {
      const bool horizontal = type == 3 || type == 4;
      const bool keep_start = type == 3 || type == 5 || (type != 4 && type != 6 && !horizontal);
      int remaining = horizontal ? w - i * (w / steps) : h - i * (h / steps);
      WipeStep(dc, frame_.dc, w, h, remaining, horizontal, keep_start, alpha, scale_.Int(kWipeFalloff));
      if (blur_behind_) {
        int left = horizontal ? (keep_start ? 0 : w - remaining) : 0;
        int top = horizontal ? 0 : (keep_start ? 0 : h - remaining);
        int right = horizontal ? left + remaining : w;
        int bottom = horizontal ? h : top + remaining;
        const int inset = scale_.Int(kBlurInset);
        EnableBlur(left + inset, top + inset, right - inset + 1, bottom - inset + 1, scale_.Int(kBlurDiameter), true);
      }
    }
    Push(window_, dc, w, h, alpha);
    Wait(wait);
  }
  dll::GdipGraphicsClear(g, 0);
  Push(window_, dc, w, h, -1);
}

void HostWindow::ComposeTransition(HostedControl* control, const TransitionDrawRecord& r) {
  const int frames = std::max(1, control->TransitionFrameCount());
  const int n = control->TransitionFrameIndex();
  const int effect = control->TransitionEffectCode();
  GpImage* snapshot = r.snapshot;
  GpImage* bitmap = reinterpret_cast<GpImage*>(r.bitmap);
  GpGraphics* g = r.frame_graphics;
  if (effect >= 1 && effect <= 4) {
    const bool vertical = effect <= 2;
    const float step = std::round((vertical ? r.height : r.width) / frames) * n;
    const float sign = (effect == 1 || effect == 3) ? 1.0f : -1.0f;
    GpRectF old_place = {r.x, r.y, r.width, r.height};
    GpRectF new_place = old_place;
    if (vertical) {
      old_place.Y += sign * step;
      new_place.Y = old_place.Y - sign * r.height;
    } else {
      old_place.X += sign * step;
      new_place.X = old_place.X - sign * r.width;
    }
    if (snapshot) DrawImageNatural(g, snapshot, old_place, true);
    if (bitmap) DrawImageNatural(g, bitmap, new_place, true);
    return;
  }
  // Cross-fade through the scratch surface.
  const int alpha = control->AlphaValue();
  GpRectF clip = VisibleClipBounds(g);
  RECT area = {static_cast<LONG>(std::floor(clip.X)), static_cast<LONG>(std::floor(clip.Y)),
               static_cast<LONG>(std::ceil(clip.X + clip.Width)), static_cast<LONG>(std::ceil(clip.Y + clip.Height))};
  const int aw = area.right - area.left, ah = area.bottom - area.top;
  GpRectF place = {r.x, r.y, r.width, r.height};
  if (r.scratch_dc) dll::BitBlt(r.scratch_dc, area.left, area.top, aw, ah, r.frame_dc, area.left, area.top, SRCCOPY);
  if (snapshot) DrawImageAlpha(g, snapshot, place, alpha);
  if (bitmap && r.scratch_graphics) DrawImageAlpha(r.scratch_graphics, bitmap, place, alpha);
  if (r.scratch_dc) {
    Blend(r.frame_dc, area.left, area.top, aw, ah, r.scratch_dc, area.left, area.top, aw, ah, alpha * n / frames);
  }
}

}  // namespace quillet
