#include "ui/controls/control.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {


// Zeroes a rectangle of a 32-bit bitmap by writing its pixels: much cheaper than a
// clipped GdipGraphicsClear. False when the rectangle is not whole pixels inside the
// bitmap or the bitmap cannot be locked; the caller then clears with GDI+.
bool ClearToTransparent(GpBitmap* bitmap, const GpRectF& area) {
  if (bitmap == nullptr) return false;
  const GpRect rect = {static_cast<int>(area.X), static_cast<int>(area.Y), static_cast<int>(area.Width),
                       static_cast<int>(area.Height)};
  if (rect.X != area.X || rect.Y != area.Y || rect.Width != area.Width || rect.Height != area.Height) return false;
  UINT width = 0, height = 0;
  if (dll::GdipGetImageWidth(reinterpret_cast<GpImage*>(bitmap), &width) != 0 ||
      dll::GdipGetImageHeight(reinterpret_cast<GpImage*>(bitmap), &height) != 0) {
    return false;
  }
  if (rect.X < 0 || rect.Y < 0 || rect.Width <= 0 || rect.Height <= 0 ||
      static_cast<UINT>(rect.X + rect.Width) > width || static_cast<UINT>(rect.Y + rect.Height) > height) {
    return false;
  }
  GpBitmapData data = {};
  if (dll::GdipBitmapLockBits(bitmap, &rect, kImageLockModeWrite, kPixelFormat32bppARGB, &data) != 0) return false;
  auto* row = static_cast<uint8_t*>(data.Scan0);
  for (int y = 0; y < rect.Height; ++y, row += data.Stride) std::memset(row, 0, rect.Width * sizeof(ARGB));
  dll::GdipBitmapUnlockBits(bitmap, &data);
  return true;
}

// The smallest rectangle of a 32-bit bitmap holding every pixel that is not
// fully transparent (width 0 when there is none); none when it cannot be read.
std::optional<GpRect> InkExtent(GpBitmap* bitmap) {
  if (bitmap == nullptr) return std::nullopt;
  UINT width = 0, height = 0;
  if (dll::GdipGetImageWidth(reinterpret_cast<GpImage*>(bitmap), &width) != 0 ||
      dll::GdipGetImageHeight(reinterpret_cast<GpImage*>(bitmap), &height) != 0 || width == 0 || height == 0) {
    return std::nullopt;
  }
  const GpRect whole = {0, 0, static_cast<int>(width), static_cast<int>(height)};
  GpBitmapData data = {};
  if (dll::GdipBitmapLockBits(bitmap, &whole, kImageLockModeRead, kPixelFormat32bppARGB, &data) != 0) {
    return std::nullopt;
  }
  int left = whole.Width, right = 0, top = whole.Height, bottom = 0;
  const auto* row = static_cast<const uint8_t*>(data.Scan0);
  for (int y = 0; y < whole.Height; ++y, row += data.Stride) {
    const auto* pixels = reinterpret_cast<const ARGB*>(row);
    int first = 0;
    while (first < whole.Width && (pixels[first] >> 24) == 0) ++first;
    if (first == whole.Width) continue;
    int last = whole.Width - 1;
    while ((pixels[last] >> 24) == 0) --last;
    left = std::min(left, first);
    right = std::max(right, last + 1);
    top = std::min(top, y);
    bottom = y + 1;
  }
  dll::GdipBitmapUnlockBits(bitmap, &data);
  if (right <= left) return GpRect{0, 0, 0, 0};
  return GpRect{left, top, right - left, bottom - top};
}

GpRect UnionOfPixelRects(const GpRect& a, const GpRect& b) {
  if (a.Width <= 0 || a.Height <= 0) return b;
  if (b.Width <= 0 || b.Height <= 0) return a;
  const int left = std::min(a.X, b.X), top = std::min(a.Y, b.Y);
  const int right = std::max(a.X + a.Width, b.X + b.Width), bottom = std::max(a.Y + a.Height, b.Y + b.Height);
  return GpRect{left, top, right - left, bottom - top};
}

constexpr int kZOrderBottom = 2;
constexpr DWORD kMoveRetryMs = 1;

bool Near(float a, float b) { return std::fabs(a - b) <= kFloatTolerance; }

}  // namespace

bool OnWindowThread(HWND window) {
  if (window == nullptr || !dll::IsWindow(window)) return true;
  return dll::GetWindowThreadProcessId(window, nullptr) == dll::GetCurrentThreadId();
}

intptr_t DeliverEvent(ControlRef control, UINT message, WPARAM wparam, LPARAM lparam) {
  if (control == kNoControl) return 0;
  return AsControl(control)->DeliverEvent(message, static_cast<intptr_t>(wparam), static_cast<intptr_t>(lparam));
}

Control::~Control() { Destroy(); }

// ---- Creation and the tree ----------------------------------------------------

ControlRef Control::Create(ControlParent parent, const GpRectF& bounds, int kind, bool visible,
                           std::optional<bool> focusable, std::optional<int> cursor_id, int transition_period,
                           int transition_frames, int transition_effect) {
  const ControlRef me = RefOf(this);
  if (self_ == me) return me;
  if (self_ != kNoControl) Unlink();
  self_ = me;

  host_window_ = reinterpret_cast<HWND>(parent.value);
  bounds_ = bounds;
  focusable_ = focusable.value_or(true);
  cursor_ = cursor_id ? dll::LoadCursorW(nullptr, MAKEINTRESOURCEW(*cursor_id)) : nullptr;
  tooltip_.Reset();
  parent_ = kNoControl;
  alpha_ = kDefaultAlpha;
  kind_ = kind;
  visible_ = visible;
  transition_period_ = transition_period;
  transition_frames_ = transition_frames;
  transition_effect_ = transition_effect;
  disabled_ = false;
  redraw_enabled_ = true;
  children_.Clear();
  siblings_ = SiblingLinks();
  transition_frame_ = 0;

  const bool parent_is_window = parent.value != 0 && dll::IsWindow(reinterpret_cast<HWND>(parent.value));
  host_ = parent_is_window ? HostFromWindow(reinterpret_cast<HWND>(parent.value)) : nullptr;
  if (host_ != nullptr) {
    host_->Controls().Append(self_, &Control::LinksOf);
  } else {
    // A window without a host, or no parent at all, cannot hold a control.
    Control* owner = (parent_is_window || parent.value == 0) ? nullptr : AsControl(parent.value);
    if (owner == nullptr || !owner->IsCreated()) {
      self_ = kNoControl;
      return kNoControl;
    }
    host_window_ = owner->host_window_;
    host_ = owner->host_;
    if (host_ == nullptr || host_ != HostFromWindow(host_window_)) {
      // Nothing is linked; the control stays not created so it can be retried.
      self_ = kNoControl;
      return kNoControl;
    }
    SetParentControl(parent);
  }

  MakeBackBuffer();
  SendEvent(WM_CREATE, reinterpret_cast<WPARAM>(back_buffer_.get()), reinterpret_cast<LPARAM>(graphics_.get()));
  SendEvent(WM_PAINT, reinterpret_cast<WPARAM>(back_buffer_.get()), reinterpret_cast<LPARAM>(graphics_.get()));
  return self_;
}

SiblingLinks& Control::LinksOf(ControlRef control) { return AsControl(control)->siblings_; }

ControlList* Control::SiblingList() {
  if (parent_ != kNoControl) return &AsControl(parent_)->children_;
  return host_ != nullptr ? &host_->Controls() : nullptr;
}

void Control::SetParentControl(ControlParent parent) {
  const bool top_level = parent.value == 0 || parent.value == reinterpret_cast<uintptr_t>(host_window_);
  const ControlRef wanted = top_level ? kNoControl : parent.value;
  if (wanted == parent_) return;
  Unlink();
  parent_ = wanted;
  if (ControlList* list = SiblingList()) list->Append(self_, &Control::LinksOf);
  Invalidate();
}

void Control::Unlink() {
  ControlList* list = SiblingList();
  // A top-level control may not be in its host's list (a failed Create).
  if (list == nullptr || (parent_ == kNoControl && !list->Contains(self_, &Control::LinksOf))) {
    siblings_ = SiblingLinks();
    return;
  }
  list->Remove(self_, &Control::LinksOf);
}

void Control::SetZOrder(std::optional<int> position, std::optional<bool> redraw) {
  Unlink();
  if (ControlList* list = SiblingList()) {
    if (position.value_or(0) == kZOrderBottom) {
      list->Prepend(self_, &Control::LinksOf);
    } else {
      list->Append(self_, &Control::LinksOf);
    }
  }
  if (redraw.value_or(true)) Invalidate();
}

void Control::Destroy() {
  if (self_ == kNoControl || host_ == nullptr) return;
  visible_ = false;
  // The area is repainted before the bounds are cleared: a posted request
  // would only find the zeroed (or freed) record by the time it is handled.
  // A busy host remembers the area and recomposes it when it is idle again.
  if (dll::IsWindow(host_window_)) {
    dll::SendMessageW(host_window_, DUIM_INVALIDATE, kRedrawNow, reinterpret_cast<LPARAM>(&bounds_));
  }
  for (ControlRef child = children_.First(); child != kNoControl;) {
    Control* c = AsControl(child);
    const ControlRef next = c->siblings_.next;
    for (ControlRef grandchild = c->children_.First(); grandchild != kNoControl;) {
      Control* g = AsControl(grandchild);
      const ControlRef after = g->siblings_.next;
      g->Destroy();
      grandchild = after;
    }
    c->Destroy();
    child = next;
  }
  if (HasClassProcedure()) ClassProcedure(self_, WM_DESTROY, 0, 0);
  dll::KillTimer(host_window_, self_ + 1);
  host_->ForgetControl(self_);
  Unlink();
  tooltip_.Reset();
  tag_.Reset();
  ReleaseBackBuffer();
  DisposeSnapshot();
  RtFree(handlers_);
  handlers_ = nullptr;
  ResetFields();
}

void Control::ResetFields() {
  host_window_ = nullptr;
  self_ = kNoControl;
  parent_ = kNoControl;
  visible_ = false;
  disabled_ = false;
  focusable_ = false;
  redraw_enabled_ = false;
  cursor_ = nullptr;
  bounds_ = GpRectF{0, 0, 0, 0};
  kind_ = 0;
  children_.Clear();
  siblings_ = SiblingLinks();
  transition_frame_ = 0;
  host_ = nullptr;
  alpha_ = 0;
  transition_period_ = 0;
  previous_bounds_ = GpRectF{0, 0, 0, 0};
  transition_frames_ = 0;
  transition_effect_ = 0;
}

// ---- Back buffer ------------------------------------------------------------

void Control::MakeBackBuffer() {
  const int width = static_cast<int>(bounds_.Width);
  const int height = static_cast<int>(bounds_.Height);
  ReleaseBackBuffer();
  if (width <= 0 || height <= 0) return;
  if (dll::GdipCreateBitmapFromScan0(width, height, 0, kPixelFormat32bppARGB, nullptr, Receive(back_buffer_)) != 0) {
    return;
  }
  dll::GdipGetImageGraphicsContext(AsImage(back_buffer_.get()), Receive(graphics_));
  if (graphics_ != nullptr) {
    dll::GdipSetSmoothingMode(graphics_.get(), kSmoothingAntiAlias);
    dll::GdipSetTextRenderingHint(graphics_.get(), kTextHintAntiAliasGridFit);
  }
}

const DpiScale& Control::Scale() const {
  static const DpiScale kUnscaled;
  return host_ != nullptr ? host_->Scale() : kUnscaled;
}

DpiScale Control::ScaleOfParent(ControlParent parent) {
  if (parent.value == 0) return DpiScale();
  HWND window = reinterpret_cast<HWND>(parent.value);
  if (dll::IsWindow(window)) {
    const HostWindow* host = HostFromWindow(window);
    return host != nullptr ? host->Scale() : DpiScale();
  }
  const Control* owner = AsControl(parent.value);
  return owner != nullptr && owner->IsCreated() ? owner->Scale() : DpiScale();
}

void Control::ReleaseBackBuffer() {
  graphics_.reset();  // before the bitmap it draws on
  back_buffer_.reset();
  shown_ink_.reset();
}

// Most of a control's area is often clear in both its old and its new look
// (a line of text in a wide label): only where either shows pixels can the
// frame change, so only that part is recomposed and presented.
void Control::InvalidatePaintedPart() {
  const std::optional<GpRect> ink = InkExtent(back_buffer_.get());
  const bool whole_pixels = bounds_.X == std::trunc(bounds_.X) && bounds_.Y == std::trunc(bounds_.Y);
  GpRectF& part = painted_part_;
  part = bounds_;
  if (ink && shown_ink_ && whole_pixels) {
    const GpRect changed = UnionOfPixelRects(*shown_ink_, *ink);
    if (changed.Width > 0 && changed.Height > 0) {
      part = GpRectF{bounds_.X + changed.X, bounds_.Y + changed.Y, static_cast<float>(changed.Width),
                     static_cast<float>(changed.Height)};
    }
  }
  shown_ink_ = ink;
  dll::SendMessageW(host_window_, DUIM_INVALIDATE, kRedrawAppend, reinterpret_cast<LPARAM>(&part));
}

void Control::DisposeSnapshot() {
  transition_snapshot_.reset();
}

// ---- Properties -----------------------------------------------------------------

GpRectF Control::Bounds(std::optional<GpRectF> bounds) {
  if (bounds) Move(bounds->X, bounds->Y, bounds->Width, bounds->Height, true);
  return bounds_;
}

bool Control::Visible(std::optional<bool> visible) {
  if (visible && *visible != visible_) {
    visible_ = *visible;
    SendEvent(visible_ ? DUIM_SHOWN : DUIM_HIDDEN, 0, 0);
    Invalidate();
    if (host_ != nullptr) host_->NotifyAccessibleEvent(visible_ ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, self_);
  }
  return visible_;
}

bool Control::Disabled(std::optional<bool> disabled) {
  if (disabled && *disabled != disabled_) {
    disabled_ = *disabled;
    if (HasFocus()) {
      if (host_ != nullptr) host_->ClearFocusControl();
      PostEvent(DUIM_KILLFOCUS, 0, 0);
    }
    PostEvent(DUIM_MOUSELEAVE, 0, 0);
    Invalidate();
  }
  return disabled_;
}

bool Control::Focusable(std::optional<bool> focusable) {
  if (focusable) focusable_ = *focusable;
  return focusable_;
}

bool Control::HasFocus() {
  const intptr_t answer = SendEvent(DUIM_QUERYFOCUS, 0, 0);
  if (answer == 1) return true;
  if (answer != kNotHandled) return false;
  return host_ != nullptr && self_ != kNoControl && host_->FocusControl() == self_;
}

intptr_t Control::PaintNow() { return SendEvent(WM_PAINT, 0, 0); }

void Control::Invalidate() {
  if (host_window_ == nullptr) return;
  dll::PostMessageW(host_window_, DUIM_INVALIDATE, kRedrawNow, reinterpret_cast<LPARAM>(&bounds_));
}

void Control::Move(std::optional<float> x, std::optional<float> y, std::optional<float> width,
                   std::optional<float> height, std::optional<bool> redraw) {
  const float nx = x ? *x : std::trunc(bounds_.X);
  const float ny = y ? *y : std::trunc(bounds_.Y);
  const float nw = width ? *width : std::trunc(bounds_.Width);
  const float nh = height ? *height : std::trunc(bounds_.Height);
  if (Near(nx, bounds_.X) && Near(ny, bounds_.Y) && Near(nw, bounds_.Width) && Near(nh, bounds_.Height)) return;

  previous_bounds_ = bounds_;
  const GpRectF old = bounds_;
  bounds_ = GpRectF{nx, ny, nw, nh};
  const float dx = std::trunc(nx - old.X);
  const float dy = std::trunc(ny - old.Y);
  if (dx != 0 || dy != 0) ShiftDescendants(dx, dy);

  if (!Near(nw, old.Width) || !Near(nh, old.Height)) {
    ReleaseBackBuffer();
    MakeBackBuffer();
    SendEvent(DUIM_SIZED, static_cast<WPARAM>(static_cast<int>(nw)), static_cast<LPARAM>(static_cast<int>(nh)));
    SendEvent(WM_PAINT, static_cast<WPARAM>(static_cast<int>(nw)), static_cast<LPARAM>(static_cast<int>(nh)));
  }

  if (self_ == kNoControl || host_window_ == nullptr) return;
  const LPARAM show = (redraw.value_or(true) && visible_) ? 1 : 0;
  // The host answers 0 while it is busy. Only another thread can wait for that
  // to end: on the host's own thread nothing changes while we spin, and the
  // full repaint that keeps the host busy composes the control at its new place.
  const bool same_thread = OnWindowThread(host_window_);
  for (;;) {
    if (!dll::IsWindow(host_window_)) break;
    if (dll::SendMessageW(host_window_, DUIM_MOVED, self_, show) == 1) break;
    if (same_thread) break;
    dll::Sleep(kMoveRetryMs);
  }
}

void Control::ShiftDescendants(float dx, float dy) {
  for (ControlRef child = children_.First(); child != kNoControl;) {
    Control* c = AsControl(child);
    c->bounds_.X += dx;
    c->bounds_.Y += dy;
    c->ShiftDescendants(dx, dy);
    child = c->siblings_.next;
  }
}

Text Control::Tooltip(std::optional<const char*> text, bool apply) {
  if (text) {
    tooltip_ = Text::Copy(*text);
    if (apply) ApplyTooltip(tooltip_.c_str());
  }
  return tooltip_;
}

void Control::ApplyTooltip(const char* text) {
  if (host_ != nullptr) host_->UpdateTooltip(self_, text != nullptr ? text : kEmptyText);
}

int Control::Alpha(std::optional<int> alpha, std::optional<bool> redraw) {
  if (alpha) {
    alpha_ = *alpha;
    SendEvent(DUIM_ALPHACHANGED, 0, alpha_);
    if (redraw.value_or(true)) Invalidate();
  }
  return alpha_;
}

int Control::SetTransition(std::optional<int> frames, std::optional<int> period) {
  if (frames) transition_frames_ = *frames;
  if (period) transition_period_ = *period;
  return transition_frames_;
}

int Control::TransitionPeriod(std::optional<int> period) {
  if (period) transition_period_ = *period;
  return transition_period_;
}

int Control::TransitionEffect(std::optional<int> effect) {
  if (effect) transition_effect_ = *effect;
  return transition_effect_;
}

HCURSOR Control::Cursor(std::optional<intptr_t> value, bool is_handle) {
  if (value) {
    cursor_ = is_handle ? reinterpret_cast<HCURSOR>(*value)
                        : dll::LoadCursorW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(*value)));
  }
  return cursor_;
}

Text Control::Tag(std::optional<const char*> tag) {
  if (tag) tag_ = Text::Copy(*tag);
  return tag_;
}

int Control::Left(std::optional<int> value) {
  if (value && !Near(static_cast<float>(*value), bounds_.X)) Move(static_cast<float>(*value), {}, {}, {}, true);
  return static_cast<int>(bounds_.X);
}

int Control::Top(std::optional<int> value) {
  if (value && !Near(static_cast<float>(*value), bounds_.Y)) Move({}, static_cast<float>(*value), {}, {}, true);
  return static_cast<int>(bounds_.Y);
}

int Control::Width(std::optional<int> value) {
  if (value && !Near(static_cast<float>(*value), bounds_.Width)) {
    Move({}, {}, static_cast<float>(*value), {}, true);
  }
  return static_cast<int>(bounds_.Width);
}

int Control::Height(std::optional<int> value) {
  if (value && !Near(static_cast<float>(*value), bounds_.Height)) {
    Move({}, {}, {}, static_cast<float>(*value), true);
  }
  return static_cast<int>(bounds_.Height);
}

// ---- Events -----------------------------------------------------------------------

intptr_t Control::SendEvent(UINT message, WPARAM wparam, LPARAM lparam) {
  // The packet belongs to the host once it is sent; a message that reaches no
  // window would leave it behind, so it is not sent at all.
  if (host_window_ == nullptr || !dll::IsWindow(host_window_)) return 0;
  PackedMessage* packet = PackMessage(message, static_cast<intptr_t>(wparam), static_cast<intptr_t>(lparam));
  if (packet == nullptr) return 0;
  return static_cast<intptr_t>(
      dll::SendMessageW(host_window_, DUIM_EVENT, self_, reinterpret_cast<LPARAM>(packet)));
}

BOOL Control::PostEvent(UINT message, WPARAM wparam, LPARAM lparam) {
  if (host_window_ == nullptr) return FALSE;
  PackedMessage* packet = PackMessage(message, static_cast<intptr_t>(wparam), static_cast<intptr_t>(lparam));
  if (packet == nullptr) return FALSE;
  const BOOL posted = dll::PostMessageW(host_window_, DUIM_EVENT, self_, reinterpret_cast<LPARAM>(packet));
  if (!posted) FreeScratch(packet);
  return posted;
}

void Control::SetEventHandler(UINT message, EventHandler handler) {
  StoreHandler(message, reinterpret_cast<void*>(handler), false);
}

void Control::SetEventHandler(UINT message, ChildEventHandler handler) {
  StoreHandler(message, reinterpret_cast<void*>(handler), true);
}

void Control::StoreHandler(UINT message, void* handler, bool takes_parent) {
  const int count = handlers_ != nullptr ? handlers_->count : 0;
  for (int i = 0; i < count; ++i) {
    if (handlers_->entries[i].message == static_cast<int32_t>(message)) {
      handlers_->entries[i].handler = handler;
      handlers_->entries[i].takes_parent = takes_parent ? 1 : 0;
      return;
    }
  }
  const size_t bytes = offsetof(HandlerTable, entries) + sizeof(HandlerEntry) * static_cast<size_t>(count + 1);
  auto* grown = static_cast<HandlerTable*>(RtAlloc(bytes));
  grown->count = count + 1;
  if (count > 0) std::memcpy(grown->entries, handlers_->entries, sizeof(HandlerEntry) * static_cast<size_t>(count));
  grown->entries[count] = HandlerEntry{static_cast<int32_t>(message), takes_parent ? 1 : 0, handler};
  HandlerTable* old = handlers_;
  handlers_ = grown;
  RtFree(old);
}

int Control::HandlerCount() const { return handlers_ != nullptr ? handlers_->count : 0; }

intptr_t Control::ClassProcedure(ControlRef, UINT, WPARAM, LPARAM) { return 0; }

intptr_t Control::DeliverEvent(UINT message, intptr_t wparam, intptr_t lparam) {
  if (!HasClassProcedure()) return 0;
  const intptr_t result = ClassProcedure(self_, message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
  const int count = handlers_ != nullptr ? handlers_->count : 0;
  for (int i = 0; i < count; ++i) {
    const HandlerEntry entry = handlers_->entries[i];
    const bool match = entry.message == WM_LBUTTONDBLCLK
                           ? (message == WM_LBUTTONDOWN && static_cast<WPARAM>(wparam) == DUIM_DBLCLICKMARK)
                           : entry.message == static_cast<int32_t>(message);
    if (!match) continue;
    CallHandler(entry, message, wparam, lparam);
    break;
  }
  return result;
}

void Control::CallHandler(const HandlerEntry& entry, UINT message, intptr_t wparam, intptr_t lparam) {
  if (entry.handler == nullptr) return;
  if (entry.takes_parent) {
    reinterpret_cast<ChildEventHandler>(entry.handler)(parent_, self_, message, static_cast<WPARAM>(wparam),
                                                       static_cast<LPARAM>(lparam));
  } else {
    reinterpret_cast<EventHandler>(entry.handler)(self_, message, static_cast<WPARAM>(wparam),
                                                  static_cast<LPARAM>(lparam));
  }
}

// ---- Painting and transitions ---------------------------------------------------------

bool Control::BeginControlPaint(PaintContext* context, GpRectF* area, bool keep_position, bool for_real) {
  if (!keep_position) *area = GpRectF{0, 0, bounds_.Width, bounds_.Height};
  if (host_window_ == nullptr || host_ == nullptr) return false;
  context->host_window = host_window_;
  context->graphics = graphics_.get();
  context->area = *area;
  context->redraw = for_real ? 1 : 0;
  context->surfaces[0] = host_;
  context->surfaces[1] = host_->WindowDC();
  context->surfaces[2] = host_->FrameDC();
  context->surfaces[3] = host_->FrameGraphics();
  context->surfaces[4] = back_buffer_.get();
  context->surfaces[5] = nullptr;
  if (for_real) {
    DisposeSnapshot();
    if (transition_frames_ != 0 && transition_period_ != 0 && !host_->IsBusy()) {
      dll::KillTimer(host_window_, self_ + 1);
      transition_frame_ = transition_frames_;
      TakeTransitionSnapshot();
    }
    if (graphics_ != nullptr && !ClearToTransparent(back_buffer_.get(), *area)) {
      dll::GdipSetClipRect(graphics_.get(), area->X, area->Y, area->Width, area->Height, 0);
      dll::GdipGraphicsClear(graphics_.get(), 0);
      dll::GdipResetClip(graphics_.get());
    }
  }
  OnBeginPaint(*context);
  return true;
}

void Control::TakeTransitionSnapshot() {
  // The control's current look goes into the frame first, then the pixels
  // under it are copied out of the frame DIB.
  host_->RedrawRect(bounds_, false);
  DIBSECTION section = {};
  const HBITMAP dib = host_->FrameSurface().dib;
  if (dib == nullptr || dll::GetObjectW(dib, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBits == nullptr) {
    return;
  }
  const int frame_width = section.dsBm.bmWidth;
  const int frame_height = section.dsBm.bmHeight;
  const int stride = section.dsBm.bmWidthBytes;
  // Bottom-up DIB: the first scan line is the last row in memory.
  BYTE* top_row = static_cast<BYTE*>(section.dsBm.bmBits) + static_cast<ptrdiff_t>(frame_height - 1) * stride;
  OwnedBitmap frame;
  if (dll::GdipCreateBitmapFromScan0(frame_width, frame_height, -stride, kPixelFormat32bppPARGB, top_row,
                                     Receive(frame)) != 0) {
    return;
  }
  float x = std::trunc(bounds_.X), y = std::trunc(bounds_.Y);
  float w = std::trunc(bounds_.Width), h = std::trunc(bounds_.Height);
  if (x < 0) { w += x; x = 0; }
  if (y < 0) { h += y; y = 0; }
  if (x + w > frame_width) w = static_cast<float>(frame_width) - x;
  if (y + h > frame_height) h = static_cast<float>(frame_height) - y;
  GpBitmap* snapshot = nullptr;
  if (w >= 1 && h >= 1 && dll::GdipCloneBitmapArea(x, y, w, h, kPixelFormat32bppARGB, frame.get(), &snapshot) == 0) {
    transition_snapshot_.reset(AsImage(snapshot));
  }
}

void Control::EndControlPaint(PaintContext* context) {
  OnEndPaint(*context);
  if (!context->redraw) return;
  if (!redraw_enabled_ || !visible_) {
    shown_ink_.reset();  // this look is not on screen yet
    return;
  }
  if (transition_snapshot_ == nullptr) {
    InvalidatePaintedPart();
    return;
  }
  shown_ink_.reset();
  transition_frame_ = 0;
  DeliverEvent(DUIM_TRANSITIONSTART, 0, 0);
  dll::SetTimer(host_window_, self_ + 1, static_cast<UINT>(transition_period_), &Control::TransitionTick);
}

void CALLBACK Control::TransitionTick(HWND, UINT, UINT_PTR timer_id, DWORD) {
  Control* control = AsControl(static_cast<ControlRef>(timer_id - 1));
  if (control != nullptr) control->OnTransitionTick();
}

void Control::OnTransitionTick() {
  transition_frame_ += 1;
  dll::SendMessageW(host_window_, DUIM_INVALIDATE, kRedrawNow, reinterpret_cast<LPARAM>(&bounds_));
  if (transition_frame_ >= transition_frames_) {
    dll::KillTimer(host_window_, self_ + 1);
    DisposeSnapshot();
    transition_frame_ = 0;
    DeliverEvent(DUIM_TRANSITIONEND, 0, 0);
  }
}

}  // namespace quillet
