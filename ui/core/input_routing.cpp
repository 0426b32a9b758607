// The host window's input side: the window procedure reached through the
// thunk, mouse routing, border resizing and keyboard focus.
#include <algorithm>
#include <cctype>

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

namespace {

constexpr int kResizeEdgeTop = 8;     // rows at the top that resize
constexpr int kResizeEdgeLeft = 8;    // columns at the left that resize
constexpr int kResizeCorner = 10;     // corner reach and bottom/right edge width
constexpr int kCaptionDoubleClickHeight = 30;
constexpr int kTrackSizeOverhang = 7;  // a maximised frame hangs over the work area
constexpr int kMinTrackBase = 36;
constexpr int kMinTrackCloseExtra = 11;
constexpr int kMinTrackPerButton = 28;
constexpr int kMinTrackWidthBare = 21;
constexpr int kMinTrackHeight = 38;
constexpr int kMinTrackHeightBare = 20;
constexpr int kSystemButtonFlagMask =
    kFrameClose | kFrameMaximize | kFrameMinimize | kFrameMenu | kFrameSkin | kFrameFeedback | kFrameSettings;

int PointX(LPARAM lparam) { return static_cast<short>(LOWORD(lparam)); }
int PointY(LPARAM lparam) { return static_cast<short>(HIWORD(lparam)); }

// System cursor ids come as MAKEINTRESOURCE pointers in the ANSI headers.
WORD CursorId(const char* resource) { return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(resource)); }

int CountBits(int value) {
  int count = 0;
  for (; value; value &= value - 1) ++count;
  return count;
}

bool IsInputMessage(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         message == WM_MOUSELEAVE;
}

// Input or posted messages queued behind the one being handled. Read before
// the handler runs, so the batch's own posted flush does not count.
bool MoreInputWaiting() {
  return HIWORD(dll::GetQueueStatus(QS_MOUSE | QS_KEY | QS_POSTMESSAGE)) != 0;
}

}  // namespace

int ResizeZone(LPARAM lparam, int width, int height, const DpiScale& scale) {
  const int x = PointX(lparam), y = PointY(lparam);
  const int edge_top = scale.Int(kResizeEdgeTop), edge_left = scale.Int(kResizeEdgeLeft);
  const int corner = scale.Int(kResizeCorner);
  int zone = 0;
  WORD cursor = 0;
  if (y < edge_top && x < corner) {
    zone = WMSZ_TOPLEFT, cursor = CursorId(IDC_SIZENWSE);
  } else if (y < edge_top && width - x < corner) {
    zone = WMSZ_TOPRIGHT, cursor = CursorId(IDC_SIZENESW);
  } else if (y < edge_top) {
    zone = WMSZ_TOP, cursor = CursorId(IDC_SIZENS);
  } else if (height - y < corner && x < corner) {
    zone = WMSZ_BOTTOMLEFT, cursor = CursorId(IDC_SIZENESW);
  } else if (height - y < corner && width - x < corner) {
    zone = WMSZ_BOTTOMRIGHT, cursor = CursorId(IDC_SIZENWSE);
  } else if (height - y < corner) {
    zone = WMSZ_BOTTOM, cursor = CursorId(IDC_SIZENS);
  } else if (x < edge_left) {
    zone = WMSZ_LEFT, cursor = CursorId(IDC_SIZEWE);
  } else if (width - x < corner) {
    zone = WMSZ_RIGHT, cursor = CursorId(IDC_SIZEWE);
  }
  if (zone) dll::SetCursor(dll::LoadCursorW(nullptr, MAKEINTRESOURCEW(cursor)));
  return zone;
}

LRESULT CALLBACK HostWindow::ThunkTarget(HostWindow* self, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!IsInputMessage(message)) return self->WindowProc(message, wparam, lparam);
  const bool more_input_waiting = MoreInputWaiting();
  RedrawBatch batch(self, more_input_waiting);
  return self->WindowProc(message, wparam, lparam);
}

LRESULT HostWindow::PassOn(UINT message, WPARAM wparam, LPARAM lparam) {
  // No waiting for a running flush: flushes run on this thread, so a message
  // arriving during one is nested inside it and waiting would never end.
  return dll::CallWindowProcW(previous_proc_, window_, message, wparam, lparam);
}

bool HostWindow::IsOwnControl(ControlRef control) const {
  if (control == kNoControl) return false;
  // Depth-first over the tree; the timer ids of other code never match.
  std::vector<ControlRef> pending;
  for (ControlRef ref = controls_.First(); ref; ref = ControlFromRef(ref)->NextSiblingRef()) pending.push_back(ref);
  while (!pending.empty()) {
    ControlRef ref = pending.back();
    pending.pop_back();
    if (ref == control) return true;
    for (ControlRef c = ControlFromRef(ref)->FirstChildRef(); c; c = ControlFromRef(c)->NextSiblingRef()) {
      pending.push_back(c);
    }
  }
  return false;
}

bool HostWindow::IsOwnBoundsRecord(const GpRectF* record) const {
  if (record == nullptr) return false;
  std::vector<ControlRef> pending;
  for (ControlRef ref = controls_.First(); ref; ref = ControlFromRef(ref)->NextSiblingRef()) pending.push_back(ref);
  while (!pending.empty()) {
    const HostedControl* control = ControlFromRef(pending.back());
    pending.pop_back();
    if (&control->BoundsRect() == record || &control->PaintedPartRect() == record) return true;
    for (ControlRef c = control->FirstChildRef(); c; c = ControlFromRef(c)->NextSiblingRef()) pending.push_back(c);
  }
  return false;
}

bool HostWindow::IsTitleBarControl(ControlRef control) const {
  if (control == kNoControl) return false;
  if (control == RefOf(icon_control_.get()) || control == RefOf(title_control_.get())) return true;
  return std::find(system_button_view_.begin(), system_button_view_.end(), ControlFromRef(control)) !=
         system_button_view_.end();
}

void HostWindow::EndPress() {
  // Cleared before the release: ReleaseCapture sends WM_CAPTURECHANGED at once.
  const bool captured = captured_ != 0;
  const ControlRef pressed = pressed_control_;
  captured_ = 0;
  pressed_control_ = kNoControl;
  if (captured) dll::ReleaseCapture();
  if (captured && pressed) NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, pressed);
}

void HostWindow::CallControlHandler(ControlEventHandler handler, ControlRef control, WPARAM wparam, LPARAM lparam) {
  if (!handler) return;
  int kind = control ? ControlFromRef(control)->KindCode() : 0;
  handler(window_, control, wparam, lparam, kind);
}

void HostWindow::ClickControl(ControlRef control, WPARAM click_wparam, LPARAM click_lparam, WPARAM wparam,
                              LPARAM lparam) {
  // Taken before the control's own handler runs: it may move the focus, change
  // the accelerator list or destroy the control.
  const int kind = ControlFromRef(control)->KindCode();
  ControlFromRef(control)->DeliverEvent(DUIM_CLICK, static_cast<intptr_t>(click_wparam), click_lparam);
  if (on_click_) on_click_(window_, control, wparam, lparam, kind);
}

LRESULT HostWindow::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kHostFlushRedrawsMessage) {
    redraw_queue_.OnPostedFlush();
    return 0;
  }
  if (message == kHostCreateTooltipMessage) {
    EnsureTooltipWindow();
    return 0;
  }
  if (message == kHostAccessibleClickMessage) {
    RedrawBatch batch(this);
    ClickFromAccessibility(static_cast<ControlRef>(wparam));
    return 0;
  }
  if (on_message_hook_) {
    LRESULT hooked = on_message_hook_(window_, message, wparam, lparam);
    if (hooked != -1) return hooked;
  }
  switch (message) {
    case WM_DESTROY: {
      HWND window = window_;
      WNDPROC previous = previous_proc_;
      Detach(window);
      return dll::CallWindowProcW(previous, window, message, wparam, lparam);
    }
    case WM_WINDOWPOSCHANGING: {
      const WINDOWPOS* position = reinterpret_cast<const WINDOWPOS*>(lparam);
      if (position && (position->flags & SWP_SHOWWINDOW)) PresentBeforeShow();
      return PassOn(message, wparam, lparam);
    }
    case WM_SIZE:
      OnSize(window_, wparam);
      return PassOn(message, wparam, lparam);
    case kDpiChangedMessage:
      // The new DPI comes with the message; the window's own answer may lag behind it.
      if (lparam != 0) ChangeDpi(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        if (pressed_control_) {
          // A press the deactivation cut short gets its focus look back once,
          // unless the focus went elsewhere in the meantime.
          if (pressed_control_ == focus_control_) {
            ControlFromRef(pressed_control_)->DeliverEvent(DUIM_SETFOCUS, wparam, lparam);
          }
          if (!captured_) pressed_control_ = kNoControl;
        }
      } else {
        // The mouse may stay where it is, so coming back must enter the control again.
        if (hover_control_) {
          ControlRef hover = hover_control_;
          hover_control_ = kNoControl;
          ControlFromRef(hover)->DeliverEvent(DUIM_MOUSELEAVE, 0, lparam);
          CallControlHandler(on_mouse_leave_, hover, 0, 0);
        }
        if (captured_) {
          captured_ = 0;  // the press stays remembered for the focus look on coming back
          if (pressed_control_) ControlFromRef(pressed_control_)->DeliverEvent(DUIM_KILLFOCUS, 0, lparam);
          dll::ReleaseCapture();
          if (pressed_control_) NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, pressed_control_);
        }
      }
      return PassOn(message, wparam, lparam);
    case WM_SETTEXT: {
      LRESULT result = dll::CallWindowProcW(previous_proc_, window_, message, wparam, lparam);
      const FrameControlFactory& factory = CurrentFrameControlFactory();
      if ((frame_flags_ & kFrameTitle) && result == TRUE && title_control_ && factory.set_title_text_w) {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(lparam);
        size_t chars = text ? wcslen(text) + 1 : 1;
        static const wchar_t kEmpty[1] = {0};
        ByteSet bytes(text ? text : kEmpty, chars * sizeof(wchar_t));
        factory.set_title_text_w(title_control_.get(), bytes.get());
      }
      return result;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      dll::BeginPaint(window_, &paint);
      const RECT& r = paint.rcPaint;
      dll::BitBlt(window_dc_.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, frame_.dc, r.left, r.top,
                  SRCCOPY);
      dll::EndPaint(window_, &paint);
      return PassOn(message, wparam, lparam);
    }
    case WM_CLOSE:
      RunCloseAnimation();
      if (!window_) return 0;  // destroyed while the animation let messages run
      dll::ShowWindow(window_, SW_HIDE);
      // Layered only for the animation: shown again, the window is presented
      // with BitBlt, which a layered window would never show.
      if (window_alpha_ == kNoAlpha) RemoveStyle(window_, WS_EX_LAYERED, true);
      // What the animation kept from being redrawn goes into the frame now, for
      // a window that is only hidden and shown again later.
      RedrawSkipped();
      return PassOn(message, wparam, lparam);
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wparam) != window_) return PassOn(message, wparam, lparam);
      {
        HCURSOR cursor = hover_control_ ? ControlFromRef(hover_control_)->CursorHandle() : nullptr;
        dll::SetCursor(cursor ? cursor : cursor_);
      }
      return TRUE;
    case WM_GETMINMAXINFO: {
      MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lparam);
      RECT work = WorkArea();
      const int overhang = scale_.Int(kTrackSizeOverhang);
      info->ptMaxSize = POINT{work.right + 2 * overhang, work.bottom + 2 * overhang};
      info->ptMaxPosition = POINT{work.left - overhang, work.top - overhang};
      if (frame_flags_ != 0) {
        info->ptMinTrackSize.x =
            scale_.Int(kMinTrackPerButton * CountBits(frame_flags_ & kSystemButtonFlagMask) +
                       ((frame_flags_ & kFrameClose) ? kMinTrackCloseExtra : 0) + kMinTrackBase);
        info->ptMinTrackSize.y = scale_.Int(kMinTrackHeight);
      } else {
        info->ptMinTrackSize = scale_.Point(POINT{kMinTrackWidthBare, kMinTrackHeightBare});
      }
      return 0;
    }
    case WM_STYLECHANGED:
      RemoveStyle(window_, WS_DLGFRAME | WS_BORDER, false);
      return PassOn(message, wparam, lparam);
    case WM_NCCALCSIZE:
      if (wparam == TRUE) return 1;
      return PassOn(message, wparam, lparam);
    case WM_NCACTIVATE:
      return 1;
    case WM_TIMER:
      if (IsOwnControl(static_cast<ControlRef>(wparam))) {
        ControlFromRef(static_cast<ControlRef>(wparam))->DeliverEvent(WM_TIMER, wparam, lparam);
      }
      return PassOn(message, wparam, lparam);
    case WM_SYSCHAR:
      if (OnAccessKey(wparam, lparam)) return 0;
      return PassOn(message, wparam, lparam);
    case WM_KEYDOWN:
      OnKeyDown(wparam, lparam);
      return PassOn(message, wparam, lparam);
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_IME_COMPOSITION:
    case WM_COMMAND:
    case WM_MOUSEWHEEL:
      if (focus_control_) ControlFromRef(focus_control_)->DeliverEvent(message, wparam, lparam);
      return PassOn(message, wparam, lparam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      // A press can be the first message after the pointer came back: a window
      // that appears under a resting pointer, or a pointer put back on the spot
      // it left from, gets no move first. Its leave must be seen all the same.
      if (!tracking_mouse_leave_) tracking_mouse_leave_ = TrackMouseLeave(window_, TME_LEAVE) ? 1 : 0;
      OnMouse(message, wparam, lparam);
      return PassOn(message, wparam, lparam);
    case WM_LBUTTONDBLCLK:
      dll::SendMessageW(window_, WM_LBUTTONDOWN, DUIM_DBLCLICKMARK, lparam);
      return 0;
    case WM_MOUSELEAVE: {
      tracking_mouse_leave_ = 0;
      // A press that slid off the window ends here: its release goes to another
      // window, and a stale press would swallow the next click.
      const ControlRef pressed = captured_ ? pressed_control_ : kNoControl;
      if (captured_) {
        EndPress();
      } else if (dll::GetCapture() == window_) {
        dll::ReleaseCapture();  // only our own: another window's capture is not ours to end
      }
      const ControlRef hover = hover_control_;
      if (hover) {
        hover_control_ = kNoControl;
        ControlFromRef(hover)->DeliverEvent(DUIM_MOUSELEAVE, wparam, lparam);
        CallControlHandler(on_mouse_leave_, hover, 0, 0);
      }
      if (pressed && pressed != hover && IsOwnControl(pressed)) {
        ControlFromRef(pressed)->DeliverEvent(DUIM_MOUSELEAVE, wparam, lparam);
      }
      return PassOn(message, wparam, lparam);
    }
    case WM_CAPTURECHANGED:
      // Another window took the capture (or a cancel-mode released it): the
      // press is over, and the control goes back to its normal look.
      if (captured_ && reinterpret_cast<HWND>(lparam) != window_) {
        const ControlRef pressed = pressed_control_;
        captured_ = 0;
        pressed_control_ = kNoControl;
        if (pressed) {
          if (hover_control_ == pressed) hover_control_ = kNoControl;
          ControlFromRef(pressed)->DeliverEvent(DUIM_MOUSELEAVE, 0, 0);
          NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, pressed);
        }
      }
      return PassOn(message, wparam, lparam);
    case WM_GETOBJECT:
      return AnswerGetObject(wparam, lparam);
    case WM_SETFOCUS: {
      // The system announces the window; the control inside it comes next.
      const LRESULT result = PassOn(message, wparam, lparam);
      if (focus_control_) NotifyAccessibleEvent(EVENT_OBJECT_FOCUS, focus_control_);
      return result;
    }
    case DUIM_SETFOCUS:
      if (IsOwnControl(static_cast<ControlRef>(lparam))) SetFocusControl(static_cast<ControlRef>(lparam), false);
      return PassOn(message, wparam, lparam);
    case DUIM_SETACCESSKEY:
      return SetAccessKey(static_cast<ControlRef>(wparam), static_cast<int>(lparam));
    case DUIM_PRESENT:
      PresentFrame();
      return PassOn(message, wparam, lparam);
    case DUIM_INVALIDATE:
      // A posted request can outlive its control: the rectangle is read only
      // while it is still the bounds (or painted-part) record of a control of ours.
      if (IsOwnBoundsRecord(reinterpret_cast<const GpRectF*>(lparam))) {
        QueueRedraw(*reinterpret_cast<const GpRectF*>(lparam), static_cast<int>(wparam));
      }
      if (wparam == 1) return 0;
      return PassOn(message, wparam, lparam);
    case DUIM_MOVED: {
      ControlRef ref = static_cast<ControlRef>(wparam);
      if (!IsOwnControl(ref)) return 1;  // nothing of ours to redraw; the sender stops retrying
      HostedControl* control = ControlFromRef(ref);
      control->DeliverEvent(DUIM_MOVED, 0, 0);
      // Children move with their parent without a message of their own.
      if (IsOwnControl(tool_control_)) MoveToolToItsControl();
      if (lparam != 1) return 1;
      if (busy_) {
        // Another thread retries until we are idle; on our own thread the
        // areas are remembered and recomposed when the host is idle again.
        if (dll::InSendMessage()) return 0;
      }
      RedrawRect(control->PreviousBoundsRect(), true);
      RedrawRect(control->BoundsRect(), true);
      return 1;
    }
    case DUIM_EVENT: {
      PackedMessage* packet = reinterpret_cast<PackedMessage*>(lparam);
      ControlRef ref = static_cast<ControlRef>(wparam);
      LRESULT result = 0;
      if (packet && IsOwnControl(ref)) {
        result = ControlFromRef(ref)->DeliverEvent(static_cast<UINT>(packet->message), packet->wparam, packet->lparam);
      }
      FreeScratch(packet);
      return result;
    }
    default:
      return PassOn(message, wparam, lparam);
  }
}

LRESULT HostWindow::SendPacked(ControlRef control, UINT message, intptr_t wparam, intptr_t lparam) {
  PackedMessage* packet = PackMessage(message, wparam, lparam);
  if (!packet) return 0;
  return dll::SendMessageW(window_, DUIM_EVENT, static_cast<WPARAM>(control), reinterpret_cast<LPARAM>(packet));
}

void HostWindow::StartWindowMove() { dll::SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0); }

void HostWindow::PostMaximizeToggle() {
  dll::PostMessageW(window_, WM_SYSCOMMAND, dll::IsZoomed(window_) ? SC_RESTORE : SC_MAXIMIZE, 0);
}

bool HostWindow::OnResizeBorder(UINT message, LPARAM lparam) {
  if (!resizable_ || captured_ || (message != WM_MOUSEMOVE && message != WM_LBUTTONDOWN) || dll::IsZoomed(window_)) {
    return false;
  }
  int zone = ResizeZone(lparam, width_, height_, scale_);
  if (zone == 0) return false;
  if (hover_control_) {
    ControlFromRef(hover_control_)->DeliverEvent(DUIM_MOUSELEAVE, 0, 0);
    hover_control_ = kNoControl;
  }
  if (message == WM_LBUTTONDOWN) dll::SendMessageW(window_, WM_SYSCOMMAND, SC_SIZE | zone, 0);
  return true;
}

void HostWindow::MoveFocus(ControlRef control, WPARAM wparam) {
  ControlRef old = focus_control_;
  focus_control_ = control;
  keyboard_focus_control_ = kNoControl;
  if (old) {
    ControlFromRef(old)->DeliverEvent(DUIM_KILLFOCUS, wparam, static_cast<intptr_t>(control));
    CallControlHandler(on_lost_focus_, old, wparam, 0);
  }
  ControlFromRef(control)->DeliverEvent(DUIM_SETFOCUS, wparam, static_cast<intptr_t>(old));
  if (focus_control_ == control) NotifyAccessibleEvent(EVENT_OBJECT_FOCUS, control);
  CallControlHandler(on_got_focus_, control, wparam, 0);
}

void HostWindow::OnMouse(UINT message, WPARAM wparam, LPARAM lparam) {
  if (busy_ && captured_ && message == WM_LBUTTONUP) {
    // Input waits out a busy host, but the capture must not outlive the button.
    const ControlRef pressed = pressed_control_;
    EndPress();
    if (pressed) ControlFromRef(pressed)->DeliverEvent(message, static_cast<intptr_t>(pressed), lparam);
    return;
  }
  if (busy_ || !window_ || OnResizeBorder(message, lparam)) return;
  const float x = static_cast<float>(PointX(lparam));
  const float y = static_cast<float>(static_cast<int32_t>(lparam) >> 16);

  if (captured_) {
    ControlRef pressed = pressed_control_;
    if (pressed) ControlFromRef(pressed)->DeliverEvent(message, static_cast<intptr_t>(pressed), lparam);
    if (message != WM_LBUTTONUP) return;
    // The press ends and the hover is settled before any handler runs: a
    // handler may open a modal loop, deactivate the window or destroy the
    // control, and what that changes must not be written back afterwards.
    const ControlRef under = HitTest(controls_.Last(), x, y);
    EndPress();
    hover_control_ = under;
    CallControlHandler(on_button_up_, kNoControl, wparam, lparam);
    if (!pressed || !IsOwnControl(pressed)) return;
    HostedControl* pressed_control = ControlFromRef(pressed);
    if (under == pressed) {
      ClickControl(pressed, static_cast<WPARAM>(pressed), lparam, wparam, lparam);
    } else if (pressed_control->IsVisible()) {
      pressed_control->DeliverEvent(DUIM_MOUSELEAVE, wparam, static_cast<intptr_t>(under));
      CallControlHandler(on_mouse_leave_, pressed, wparam, lparam);
      if (under && hover_control_ == under) {
        ControlFromRef(under)->DeliverEvent(DUIM_MOUSEENTER, wparam, static_cast<intptr_t>(pressed));
        CallControlHandler(on_mouse_enter_, under, wparam, lparam);
        if (hover_control_ == under) UpdateTooltip(under, std::nullopt);
      }
    }
    return;
  }

  ControlRef under = HitTest(controls_.Last(), x, y);
  const ControlRef previous_hover = hover_control_;
  // Settled before the handlers below run, for the same reason as above.
  hover_control_ = under;
  if (previous_hover && previous_hover != under && ControlFromRef(previous_hover)->IsVisible()) {
    ControlFromRef(previous_hover)->DeliverEvent(DUIM_MOUSELEAVE, wparam, static_cast<intptr_t>(under));
    CallControlHandler(on_mouse_leave_, previous_hover, wparam, lparam);
  }

  // Any message, not only a move, can be the first one over a control.
  if (under && under != previous_hover) {
    ControlFromRef(under)->DeliverEvent(DUIM_MOUSEENTER, wparam, static_cast<intptr_t>(previous_hover));
    CallControlHandler(on_mouse_enter_, under, wparam, lparam);
    if (hover_control_ == under) UpdateTooltip(under, std::nullopt);
    if (!IsOwnControl(under)) under = kNoControl;  // the enter handler destroyed it
  }

  switch (message) {
    case WM_LBUTTONDOWN: {
      const bool double_click = wparam == DUIM_DBLCLICKMARK;
      FocusWindow(window_);
      const bool has_maximize = (frame_flags_ & kFrameMaximize) != 0;
      if (under) {
        HostedControl* control = ControlFromRef(under);
        bool takes = control->DeliverEvent(DUIM_CANPRESS, 0, 0) != kNotHandled || control->IsFocusable();
        if (takes) {
          captured_ = 1;
          pressed_control_ = under;
          dll::SetCapture(window_);
          NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, under);
          CallControlHandler(on_button_down_, under, wparam, lparam);
          // The handler may have ended the press (a modal loop, the control destroyed).
          if (!captured_ || pressed_control_ != under) return;
          if (control->IsFocusable() && focus_control_ != under) MoveFocus(under, wparam);
          if (double_click) CallControlHandler(on_double_click_, under, wparam, lparam);
          if (!captured_ || pressed_control_ != under) return;
        } else if (double_click && (frame_flags_ & kFrameTitle) && has_maximize && title_control_ &&
                   under == RefOf(title_control_.get())) {
          PostMaximizeToggle();
          StartWindowMove();
        }
        if (!captured_ && drag_anywhere_) StartWindowMove();
      } else if (double_click) {
        if (y < scale_.Int(kCaptionDoubleClickHeight) && has_maximize) {
          PostMaximizeToggle();
          StartWindowMove();
        }
      } else if (drag_anywhere_) {
        StartWindowMove();
      }
      break;
    }
    case WM_RBUTTONDOWN:
      CallControlHandler(on_right_button_down_, under, wparam, lparam);
      break;
    case WM_RBUTTONUP:
      CallControlHandler(on_right_button_up_, under, wparam, lparam);
      break;
    default:
      break;
  }
  // A handler above may have destroyed the control.
  if (under && IsOwnControl(under)) ControlFromRef(under)->DeliverEvent(message, wparam, lparam);
}

void HostWindow::SetFocusControl(ControlRef control, bool by_keyboard) {
  if (!control) return;
  HostedControl* c = ControlFromRef(control);
  if (c->IsDisabled() || !c->IsVisible() || !c->IsFocusable() || c->KindCode() == kKindTitleBarButton ||
      control == focus_control_) {
    return;
  }
  ControlRef old = focus_control_;
  focus_control_ = control;
  keyboard_focus_control_ = kNoControl;
  if (old) SendPacked(old, DUIM_KILLFOCUS, 0, static_cast<intptr_t>(control));
  if (by_keyboard) keyboard_focus_control_ = control;
  SendPacked(control, DUIM_SETFOCUS, 0, static_cast<intptr_t>(old));
  if (focus_control_ == control) NotifyAccessibleEvent(EVENT_OBJECT_FOCUS, control);
}

void HostWindow::OnKeyDown(WPARAM virtual_key, LPARAM lparam) {
  if (focus_control_ &&
      ControlFromRef(focus_control_)->DeliverEvent(WM_KEYDOWN, virtual_key, lparam) != kNotHandled) {
    return;
  }
  if (virtual_key == VK_TAB) {
    ControlRef start = focus_control_ ? focus_control_ : controls_.First();
    if (!start) return;
    while (ControlFromRef(start)->ParentRef()) start = ControlFromRef(start)->ParentRef();
    int count = 0;
    for (ControlRef r = controls_.First(); r; r = ControlFromRef(r)->NextSiblingRef()) ++count;
    ControlRef candidate = start;
    for (int i = 0; i < count; ++i) {
      candidate = ControlFromRef(candidate)->NextSiblingRef();
      if (!candidate) candidate = controls_.First();
      HostedControl* c = ControlFromRef(candidate);
      if (c->IsVisible() && c->IsFocusable() && !c->IsDisabled() && c->KindCode() != kKindTitleBarButton &&
          !IsTitleBarControl(candidate)) {
        if (candidate != focus_control_) {
          SetFocusControl(candidate, true);
        } else if (keyboard_focus_control_ != candidate) {
          // Nothing else to move to: the user still has to see where the
          // focus is, so the control gets the keyboard-focus look.
          keyboard_focus_control_ = candidate;
          c->DeliverEvent(WM_PAINT, 0, 0);
        }
        return;
      }
    }
    return;
  }
  if ((virtual_key == VK_RETURN || virtual_key == VK_SPACE) && focus_control_) {
    const ControlRef focused = focus_control_;
    HostedControl* c = ControlFromRef(focused);
    if (c->IsVisible() && !c->IsDisabled()) ClickControl(focused, 0, 0, 0, 0);
  }
}

bool HostWindow::OnAccessKey(WPARAM character, LPARAM lparam) {
  if (focus_control_) ControlFromRef(focus_control_)->DeliverEvent(WM_SYSCHAR, character, lparam);
  auto fold = [](int c) { return (c >= 0 && c < 128) ? std::tolower(c) : c; };
  for (const AccessKeyEntry& entry : access_keys_) {
    if (fold(entry.character) != fold(static_cast<int>(character))) continue;
    // A copy: the click may replace or remove entries, or grow the list.
    const ControlRef control = entry.control;
    HostedControl* c = ControlFromRef(control);
    if (!c->IsVisible() || c->IsDisabled()) continue;
    ClickControl(control, 0, 0, character, lparam);
    return true;
  }
  return false;
}

int HostWindow::SetAccessKey(ControlRef control, int character) {
  for (auto it = access_keys_.begin(); it != access_keys_.end(); ++it) {
    if (it->control != control) continue;
    if (character == 0) {
      access_keys_.erase(it);
    } else {
      it->character = character;
    }
    return 1;
  }
  if (character != 0 && IsOwnControl(control)) access_keys_.push_back(AccessKeyEntry{control, character});
  return 1;
}

}  // namespace quillet
