// The host window's composition and presentation: controls composed over
// the background buffer into the frame, partial redraws, and pushing the
// frame to the window (UpdateLayeredWindow, or BitBlt without alpha).
#include <algorithm>
#include <cmath>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/frame_blend.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

namespace {

PresentObserver g_present_observer = nullptr;

constexpr int kUnscaledAlpha = 255;  // the control's own alpha, not scaled

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

}  // namespace

PresentObserver SetPresentObserver(PresentObserver observer) {
  PresentObserver previous = g_present_observer;
  g_present_observer = observer;
  return previous;
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
    if (alpha == kUnscaledAlpha && IsWholePixels(part) && IsWholePixels(bounds)) {
      const GpRect dest = {static_cast<int>(part.X), static_cast<int>(part.Y), static_cast<int>(part.Width),
                           static_cast<int>(part.Height)};
      if (BlendOntoFrame(g, frame_.dib, reinterpret_cast<GpBitmap*>(bitmap), dest,
                         static_cast<int>(part.X - bounds.X), static_cast<int>(part.Y - bounds.Y))) {
        return;
      }
    }
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
  PaintControls(controls_.First(), false, &rect);
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

bool HostWindow::HoldPresentWhileHidden() {
  if (window_alpha_ == kNoAlpha || dll::IsWindowVisible(window_)) return false;
  whole_frame_shown_ = false;
  return true;
}

void HostWindow::PresentBeforeShow() {
  if (busy_ || !window_ || !frame_.dc || window_alpha_ == kNoAlpha || whole_frame_shown_) return;
  PushLayered(nullptr);
}

void HostWindow::PresentDirty(const GpRectF& dirty) {
  if (busy_ || !window_ || !frame_.dc || HoldPresentWhileHidden()) return;
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
  if (HoldPresentWhileHidden()) return TRUE;  // pushed as the window is shown
  if (window_alpha_ != kNoAlpha) return PushLayered(nullptr);
  return BlitToWindow(rect ? PixelRect(*rect) : RECT{0, 0, width_, height_});
}

void HostWindow::RedrawSkipped() {
  if (busy_ || !skipped_while_busy_) return;
  const GpRectF skipped = *skipped_while_busy_;
  skipped_while_busy_.reset();
  RedrawRect(skipped, false);
}

}  // namespace quillet
