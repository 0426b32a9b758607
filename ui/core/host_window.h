// The host window: turns a top-level window into a borderless, layered,
// GDI+-composed toolkit window that owns and routes input to its controls.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/value.h"
#include "ui/core/back_buffer.h"
#include "ui/core/control_list.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/gdiplus_types.h"
#include "ui/core/host_accessible.h"
#include "ui/core/hosted_control.h"
#include "ui/core/redraw_queue.h"

namespace quillet {

// Frame flags.
constexpr int kFrameIcon = 1;
constexpr int kFrameTitle = 2;
constexpr int kFrameClose = 4;
constexpr int kFrameMaximize = 8;
constexpr int kFrameMinimize = 16;
constexpr int kFrameMenu = 32;
constexpr int kFrameSkin = 64;
constexpr int kFrameFeedback = 128;
constexpr int kFrameSettings = 256;
constexpr int kFrameShadow = 512;       // always set by Attach
constexpr int kFrameFromStyle = 1024;   // input only: derive 1|2|4|8|16 from the window style

// Background modes and image placements.
constexpr int kBackgroundSkin = 1;      // the picture is the whole window
constexpr int kBackgroundSquare = 0;    // framed, square corners
constexpr int kBackgroundDefault = 7;   // framed, rounded
constexpr int kPlaceTopLeft = 0;
constexpr int kPlaceStretch = 1;
constexpr int kPlaceCentre = 2;
constexpr int kNoAlpha = -1;            // window alpha: not layered, BitBlt presentation
constexpr int kNoColour = -1;

// Present modes of SetBackground.
constexpr int kPresentNow = 0;
constexpr int kPresentCrossFade = 1;
constexpr int kPresentNone = -1;

// Application event handlers; the window handle comes first.
using BackgroundPaintedHandler = void (*)(HWND window, GpGraphics* graphics, int width, int height);
using MessageHookHandler = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);  // -1 = go on
using SizeChangedHandler = void (*)(HWND window, int width, int height);
using ControlEventHandler = void (*)(HWND window, ControlRef control, WPARAM wparam, LPARAM lparam, int kind);

// Arguments of Attach; an empty optional is "not given".
struct AttachOptions {
  HWND window = nullptr;
  const ByteSetBlock* picture = nullptr;  // background picture bytes (PNG/JPEG/...)
  bool picture_given = false;
  std::optional<int> base_colour;         // Win32 colour, or -1
  std::optional<int> frame_flags;
  std::optional<int> alpha;               // 0..255 or -1
  std::optional<int> image_placement;
  std::optional<int> background_mode;
  std::optional<int> animate_first_show;
  std::optional<int> resizable;
  std::optional<int> drag_anywhere;
  std::optional<int> edge_glow;
  std::optional<int> blur_behind;
  RECT nine_grid_centre = {0, 0, 0, 0};   // empty = no nine-grid
  std::optional<HWND> background_source;
};

// One registered accelerator character.
struct AccessKeyEntry {
  ControlRef control;
  int character;
};

// Messages a host posts to itself: flush a redraw batch; make the tip window
// once the window is up.
constexpr UINT kHostFlushRedrawsMessage = 0x2819;
constexpr UINT kHostCreateTooltipMessage = 0x281A;
// Posted by the accessible object: wParam names the control to click.
constexpr UINT kHostAccessibleClickMessage = 0x281B;

class HostWindow {
 public:
  HostWindow();
  // Detaches first when attached.
  virtual ~HostWindow();
  // A detached object with the same settings and handlers.
  virtual std::unique_ptr<HostWindow> Copy() const;
  // The window procedure, reached through the thunk.
  virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);
  // Hands a rectangle to the redraw queue (kRedrawAppend/Now/First).
  virtual void QueueRedraw(const GpRectF& rect, int kind);
  // Re-registers the tooltip tool for a control; nullopt = its own tip.
  virtual void UpdateTooltip(ControlRef control, std::optional<const char*> tip);
  // One cross-fade step (timer procedure; the id is the host).
  virtual void FadeStep(HWND window, UINT message, UINT_PTR id, DWORD time);
  // WM_SYSCHAR; true when an accelerator clicked a control.
  virtual bool OnAccessKey(WPARAM character, LPARAM lparam);
  // WM_KEYDOWN defaults (Tab, Enter, Space).
  virtual void OnKeyDown(WPARAM virtual_key, LPARAM lparam);
  // Undoes Attach: the window gets its procedure back, the controls are destroyed.
  virtual void Detach(HWND window);
  // Re-creates the surfaces after a real size change.
  virtual void OnSize(HWND window, WPARAM size_kind);
  // Adds/replaces the control's accelerator; 0 removes it. Returns 1.
  virtual int SetAccessKey(ControlRef control, int character);
  // Routes a mouse message to the control under it, the pressed one or the window move.
  virtual void OnMouse(UINT message, WPARAM wparam, LPARAM lparam);
  // Border resizing; true when the message was handled.
  virtual bool OnResizeBorder(UINT message, LPARAM lparam);
  // Binds the object to a window and takes over its procedure.
  virtual bool Attach(const AttachOptions& options);
  // Drag-anywhere flag (set when given) -> current value.
  virtual int DragAnywhere(std::optional<int> value);
  // Background mode (set when given) -> current value.
  virtual int BackgroundMode(std::optional<int> value);
  // Sets the background and repaints everything. Returns 1.
  virtual int SetBackground(const ByteSetBlock* picture, bool picture_given, int base_colour, bool colour_given,
                            int present_mode, bool keep_control_caches = false);
  // Places the system buttons and the title.
  virtual void LayoutTitleBar();
  // Drop-shadow colour (ARGB; only its RGB is used, -1 = black).
  virtual void SetShadowColour(int colour);
  // Moves the keyboard focus to a control.
  virtual void SetFocusControl(ControlRef control, bool by_keyboard);
  // Presents a rectangle of the frame (the whole window when none).
  virtual int PresentRect(std::optional<GpRectF> rect);
  // Shows the window, with an open animation when type != 0.
  virtual void Show(int animation_type, int duration_ms = 200);
  // Close animation type 0..7.
  virtual void SetCloseAnimation(int type);
  // The window's default cursor (a handle, or a system cursor id).
  virtual void SetWindowCursor(intptr_t cursor_or_id, bool is_handle);
  // Application event handlers (see the handler types above).
  virtual void OnBackgroundPainted(BackgroundPaintedHandler handler);
  virtual void OnMessageHook(MessageHookHandler handler);
  virtual void OnSizeChanged(SizeChangedHandler handler);
  virtual void OnButtonDown(ControlEventHandler handler);
  virtual void OnButtonUp(ControlEventHandler handler);
  virtual void OnClick(ControlEventHandler handler);
  virtual void OnDoubleClick(ControlEventHandler handler);
  virtual void OnRightButtonDown(ControlEventHandler handler);
  virtual void OnRightButtonUp(ControlEventHandler handler);
  virtual void OnMouseLeave(ControlEventHandler handler);
  virtual void OnMouseEnter(ControlEventHandler handler);
  virtual void OnGotFocus(ControlEventHandler handler);
  virtual void OnLostFocus(ControlEventHandler handler);

  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // ---- For the control library ----
  HWND Window() const { return window_; }
  bool IsBusy() const { return busy_ != 0; }
  HDC WindowDC() const { return window_dc_.get(); }
  HDC FrameDC() const { return frame_.dc; }
  GpGraphics* FrameGraphics() const { return frame_.graphics; }
  GpBitmap* BackgroundImage() const;
  int BackgroundModeValue() const { return background_mode_; }
  int WindowAlpha() const { return window_alpha_; }
  int FrameFlags() const { return frame_flags_; }
  SIZE Size() const { return SIZE{width_, height_}; }
  // Logical pixels to this window's physical ones; sizes and positions the
  // host and its controls keep are physical.
  const DpiScale& Scale() const { return scale_; }
  // The window moved to a display of another DPI (WM_DPICHANGED): takes the
  // suggested rectangle, has every control rescale itself and presents once.
  void ChangeDpi(int dpi, const RECT& suggested);
  // Rescale hooks: called by ChangeDpi after the host's own figures are
  // rescaled, before the frame is painted again (the application re-lays out).
  using DpiChangedHandler = void (*)(HWND window, const DpiScale& old_scale, const DpiScale& new_scale);
  void OnDpiChanged(DpiChangedHandler handler) { on_dpi_changed_ = handler; }

  // The top-level controls, first drawn first; the control library inserts and removes them.
  ControlList& Controls() { return controls_; }
  ControlRef FirstControl() const { return controls_.First(); }
  ControlRef LastControl() const { return controls_.Last(); }

  ControlRef FocusControl() const { return focus_control_; }
  ControlRef HoverControl() const { return hover_control_; }
  ControlRef PressedControl() const { return pressed_control_; }
  ControlRef KeyboardFocusControl() const { return keyboard_focus_control_; }
  bool IsCaptured() const { return captured_ != 0; }
  // Clears the focus (the keyboard focus with it) without notifying anyone
  // (Disabled does that itself).
  void ClearFocusControl() { focus_control_ = keyboard_focus_control_ = kNoControl; }
  // Set hover and focus without notifying anyone; menu items track them themselves.
  void SetHoverControlSilently(ControlRef c) { hover_control_ = c; }
  void SetFocusControlSilently(ControlRef c) { focus_control_ = c; }
  // Drops every reference to a control being destroyed: pressed (and the
  // capture flag), focus, hover, keyboard focus, its accelerator entry.
  void ForgetControl(ControlRef control);

  // ---- Accessibility ----
  // What the window's client object is: ROLE_SYSTEM_CLIENT named after the
  // caption unless set (a menu window is a menu popup).
  void SetAccessibleIdentity(long role, std::optional<std::wstring> name);
  long AccessibleRole() const { return accessible_role_; }
  std::wstring AccessibleName() const;
  // Raises a WinEvent for a control of this window (0: the client itself).
  void NotifyAccessibleEvent(DWORD event, ControlRef control);
  // The default action of a control, carried out later on the window's
  // thread as a click from the keyboard would be.
  void PostAccessibleClick(ControlRef control);
  bool OwnsControl(ControlRef control) const { return IsOwnControl(control); }

  // Partial redraw of a rectangle of the frame from the background buffer and
  // the overlapping controls; presents it when asked. Skipped while busy.
  void RedrawRect(const GpRectF& rect, bool present);
  // Pushes the whole frame (UpdateLayeredWindow, or BitBlt for alpha -1).
  void PresentFrame();
  // Pushes only the part of the frame that changed; the whole frame while the
  // window may show something else elsewhere (nothing pushed yet, an animation).
  void PresentDirty(const GpRectF& dirty);
  // The window no longer shows the last whole frame outside what is redrawn next.
  void ForgetPresentedFrame() { whole_frame_shown_ = false; }

  // Read-only views for tests and diagnostics.
  const std::vector<HostedControl*>& SystemButtons() const { return system_button_view_; }
  HostedControl* IconControl() const { return icon_control_.get(); }
  HostedControl* TitleControl() const { return title_control_.get(); }
  // Made on first use, or once the window is up.
  HWND TooltipWindow();
  const std::vector<AccessKeyEntry>& AccessKeys() const { return access_keys_; }
  bool BlurBehind() const { return blur_behind_ != 0; }
  bool Resizable() const { return resizable_ != 0; }
  int CloseAnimationType() const { return close_animation_; }
  int BaseColour() const { return base_colour_; }
  const BackBuffer& FrameSurface() const { return frame_; }
  const BackBuffer& BackgroundBuffer() const { return background_; }
  const BackBuffer& FadeSurface() const { return fade_; }
  void* Thunk() const { return thunk_; }
  WNDPROC PreviousProcedure() const { return previous_proc_; }
  HCURSOR WindowCursor() const { return cursor_; }

  // Inside a redraw batch on the window's thread: the control is painted
  // (WM_PAINT) when the batch is flushed, and true is answered. Otherwise
  // false, and the caller paints at once.
  bool DeferControlPaint(ControlRef control);
  bool HasDeferredPaints() const { return !deferred_paints_.empty(); }
  void PaintDeferredControls();
  // The control's deferred paint is no longer wanted: its look on screen is current.
  void CancelDeferredPaint(ControlRef control);

  // Redraws appended while the scope lives reach the screen together when it
  // ends (or by a posted flush when more input is waiting).
  class RedrawBatch {
   public:
    explicit RedrawBatch(HostWindow* host, bool more_input_waiting = false)
        : host_(host), more_input_waiting_(more_input_waiting) {
      host_->redraw_queue_.BeginBatch();
    }
    ~RedrawBatch() { host_->redraw_queue_.EndBatch(more_input_waiting_); }
    RedrawBatch(const RedrawBatch&) = delete;
    RedrawBatch& operator=(const RedrawBatch&) = delete;

   private:
    HostWindow* host_;
    bool more_input_waiting_;
  };

 private:
  friend class RedrawQueue;

  // Thunk target: receives the host instead of the window handle.
  static LRESULT CALLBACK ThunkTarget(HostWindow* self, UINT message, WPARAM wparam, LPARAM lparam);
  static void CALLBACK FadeTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

  // Marks the host busy for a scope: partial redraws are remembered, presents
  // and mouse input wait. Leaving clears the flag; it is not a count.
  class BusyScope {
   public:
    explicit BusyScope(HostWindow* host) : host_(host) { host_->busy_ = 1; }
    ~BusyScope() { host_->busy_ = 0; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    HostWindow* host_;
  };

  LRESULT PassOn(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT AnswerGetObject(WPARAM wparam, LPARAM lparam);
  void ClickFromAccessibility(ControlRef control);
  void DisconnectAccessible();
  void PaintControls(ControlRef first, bool backdrop_changed, const GpRectF* dirty);
  void ComposeControl(HostedControl* control, const GpRectF* dirty);
  // Copies a rectangle of the frame onto a window presented with BitBlt.
  BOOL BlitToWindow(const RECT& r);
  // Pushes the frame to a layered window: only `dirty` when given and the system allows it.
  BOOL PushLayered(const RECT* dirty);
  void CreateFrameControls();
  void RegisterTooltipTool();
  // The tool's rectangle follows its control (moved itself, or with its parent).
  void MoveToolToItsControl();
  // A layered window that is hidden shows none of its pushes: they are held
  // (true) and the whole frame goes once, just before the window appears.
  bool HoldPresentWhileHidden();
  void PresentBeforeShow();
  void EnsureTooltipWindow();
  bool EnableBlur(int left, int top, int right, int bottom, int diameter, bool enable);
  void DeliverAndNotify(HostedControl* control, UINT message, WPARAM wparam, LPARAM lparam);
  void CallControlHandler(ControlEventHandler handler, ControlRef control, WPARAM wparam, LPARAM lparam);
  // DUIM_CLICK (click_wparam, click_lparam) to the control, then the click
  // handler (wparam, lparam) for that same control, whatever the first did.
  void ClickControl(ControlRef control, WPARAM click_wparam, LPARAM click_lparam, WPARAM wparam, LPARAM lparam);
  void StartCrossFade();
  // Kills the fade timer and drops the fade buffer; busy is the caller's.
  void StopCrossFade();
  void EndCrossFade();
  void RunOpenAnimation(int type, int duration_ms);
  void RunCloseAnimation();
  void ComposeTransition(HostedControl* control, const TransitionDrawRecord& record);
  bool IsOwnControl(ControlRef control) const;
  // Whether the address is the bounds or painted-part record of one of our controls.
  bool IsOwnBoundsRecord(const GpRectF* record) const;
  // The icon, title and system buttons the host made for its frame.
  bool IsTitleBarControl(ControlRef control) const;
  // Ends a press without a click: no capture, no pressed control.
  void EndPress();
  // Recomposes what was skipped while busy, once nothing keeps the host busy.
  void RedrawSkipped();
  void MoveFocus(ControlRef control, WPARAM wparam);
  void StartWindowMove();
  LRESULT SendPacked(ControlRef control, UINT message, intptr_t wparam, intptr_t lparam);
  void PostMaximizeToggle();

  HWND window_ = nullptr;
  HostWindow* self_ = nullptr;
  WNDPROC previous_proc_ = nullptr;
  void* thunk_ = nullptr;
  ControlRef focus_control_ = kNoControl;
  ControlRef hover_control_ = kNoControl;
  ControlRef pressed_control_ = kNoControl;
  int captured_ = 0;
  int busy_ = 0;
  bool whole_frame_shown_ = false;  // the window shows the frame, so pushing a part suffices
  OwnedWindowDc window_dc_;
  BackBuffer frame_;
  BackBuffer background_;
  HWND background_source_ = nullptr;
  GpBitmap* background_image_ = nullptr;  // own_background_, or the source host's picture
  OwnedBitmap own_background_;
  int base_colour_ = 0;             // Win32 colour 0x00BBGGRR
  ControlList controls_;
  int frame_flags_ = 0;
  HWND tooltip_ = nullptr;
  int background_mode_ = kBackgroundDefault;
  int window_alpha_ = kNoAlpha;
  int image_placement_ = kPlaceTopLeft;
  int shadow_colour_ = -1;
  int resizable_ = 0;
  int drag_anywhere_ = 1;
  int edge_glow_ = 1;
  int close_animation_ = 0;
  int width_ = 0, height_ = 0;
  DpiScale scale_;
  DpiChangedHandler on_dpi_changed_ = nullptr;
  bool resizing_for_dpi_ = false;
  OwnedRegion control_clip_;
  ControlRef keyboard_focus_control_ = kNoControl;
  int blur_behind_ = 0;
  int animate_first_show_ = 1;
  HCURSOR cursor_ = nullptr;
  RECT nine_grid_ = {0, 0, 0, 0};
  BackBuffer fade_;
  int fade_alpha_ = 0;
  std::optional<GpRectF> skipped_while_busy_;  // union of the partial redraws skipped
  int tracking_mouse_leave_ = 0;
  std::vector<AccessKeyEntry> access_keys_;
  std::vector<std::unique_ptr<HostedControl>> system_buttons_;
  std::vector<HostedControl*> system_button_view_;
  std::unique_ptr<HostedControl> icon_control_;
  std::unique_ptr<HostedControl> title_control_;
  RedrawQueue redraw_queue_;
  std::vector<ControlRef> deferred_paints_;
  TOOLINFOW tool_ = {};  // wide: the tips are GBK whatever the system's code page
  ControlRef tool_control_ = kNoControl;  // whose tip the tool shows
  AccessibleRef accessible_;  // made on the first WM_GETOBJECT
  long accessible_role_ = ROLE_SYSTEM_CLIENT;
  std::optional<std::wstring> accessible_name_;
  ByteSet tool_text_;  // the tip as UTF-16, terminated

  BackgroundPaintedHandler on_background_painted_ = nullptr;
  MessageHookHandler on_message_hook_ = nullptr;
  SizeChangedHandler on_size_changed_ = nullptr;
  ControlEventHandler on_button_down_ = nullptr;
  ControlEventHandler on_button_up_ = nullptr;
  ControlEventHandler on_click_ = nullptr;
  ControlEventHandler on_double_click_ = nullptr;
  ControlEventHandler on_right_button_down_ = nullptr;
  ControlEventHandler on_right_button_up_ = nullptr;
  ControlEventHandler on_mouse_leave_ = nullptr;
  ControlEventHandler on_mouse_enter_ = nullptr;
  ControlEventHandler on_got_focus_ = nullptr;
  ControlEventHandler on_lost_focus_ = nullptr;
};

// The host object a window carries in its "Kv_Wnd_Control" property, or null.
HostWindow* HostFromWindow(HWND window);

// Seam: told of every presentation of a host frame (layered push or BitBlt).
using PresentObserver = void (*)(HWND window, bool layered);
PresentObserver SetPresentObserver(PresentObserver observer);

// Whether DWM blur is asked for: Windows 6.x only, framed mode, layered window.
bool BlurApplies(int os_major_version, int background_mode, int window_alpha);

// Border zone (WMSZ_*) under the point, 0 for none; sets the matching cursor.
int ResizeZone(LPARAM lparam, int width, int height, const DpiScale& scale = DpiScale());

}  // namespace quillet
