// The base of every drawn control: a rectangle inside a host window that
// paints itself into its own ARGB back buffer and talks to its host only
// through the toolkit's private window messages.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/value.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/control_list.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/gdiplus_types.h"
#include "ui/core/hosted_control.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

class HostWindow;

// GDI+ pixel format of every control back buffer and snapshot.
constexpr int kSmoothingAntiAlias = 4;
constexpr int kTextHintAntiAliasGridFit = 3;
constexpr int kDefaultAlpha = 255;

// Registered handlers. A top-level control's handler gets the control first;
// a child control's handler gets its parent first, then the control. The
// result of a handler is not used.
using EventHandler = void (*)(ControlRef control, UINT message, WPARAM wparam, LPARAM lparam);
using ChildEventHandler = void (*)(ControlRef parent, ControlRef control, UINT message, WPARAM wparam,
                                   LPARAM lparam);

// Where a control is created or re-parented: a host window or a control.
struct ControlParent {
  uintptr_t value = 0;
  ControlParent() = default;
  ControlParent(HWND window) : value(reinterpret_cast<uintptr_t>(window)) {}
  ControlParent(ControlRef ref) : value(ref) {}
};

// Surfaces a paint routine draws on. surfaces: the host, the host window DC,
// the host's frame DC, the host's frame graphics, the control's back buffer, spare.
struct PaintContext {
  HWND host_window = nullptr;
  GpGraphics* graphics = nullptr;
  GpRectF area = {0, 0, 0, 0};
  int redraw = 0;
  void* surfaces[6] = {};
};

class Control : public HostedControl {
 public:
  Control() = default;
  // Release: a created control is destroyed with its subtree.
  ~Control() override;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // ---- Operations ----
  virtual ControlRef Create(ControlParent parent, const GpRectF& bounds, int kind, bool visible,
                            std::optional<bool> focusable, std::optional<int> cursor_id, int transition_period,
                            int transition_frames, int transition_effect);
  virtual ControlRef GetRef() const { return self_; }
  virtual HWND GetHostWindow() const { return host_window_; }
  virtual ControlRef GetParentControl() const { return parent_; }
  virtual void SetParentControl(ControlParent parent);
  virtual void Destroy();
  virtual GpRectF Bounds(std::optional<GpRectF> bounds = std::nullopt);
  virtual bool Visible(std::optional<bool> visible = std::nullopt);
  virtual bool Disabled(std::optional<bool> disabled = std::nullopt);
  virtual bool Focusable(std::optional<bool> focusable = std::nullopt);
  virtual bool HasFocus();
  virtual intptr_t PaintNow();
  virtual void Invalidate();
  virtual void Move(std::optional<float> x, std::optional<float> y, std::optional<float> width,
                    std::optional<float> height, std::optional<bool> redraw = std::nullopt);
  virtual Text Tooltip(std::optional<const char*> text = std::nullopt, bool apply = false);
  virtual void ApplyTooltip(const char* text);
  virtual void SetEventHandler(UINT message, EventHandler handler);
  virtual Control& Self() { return *this; }
  virtual int Alpha(std::optional<int> alpha = std::nullopt, std::optional<bool> redraw = std::nullopt);
  virtual int SetTransition(std::optional<int> frames = std::nullopt, std::optional<int> period = std::nullopt);
  virtual int TransitionPeriod(std::optional<int> period = std::nullopt);
  virtual int TransitionFrame() const { return transition_frame_; }
  virtual int TransitionEffect(std::optional<int> effect = std::nullopt);
  virtual intptr_t SendEvent(UINT message, WPARAM wparam, LPARAM lparam);
  virtual BOOL PostEvent(UINT message, WPARAM wparam, LPARAM lparam);
  virtual HCURSOR Cursor(std::optional<intptr_t> value = std::nullopt, bool is_handle = false);
  virtual Text Tag(std::optional<const char*> tag = std::nullopt);
  virtual int Left(std::optional<int> value = std::nullopt);
  virtual int Top(std::optional<int> value = std::nullopt);
  virtual int Width(std::optional<int> value = std::nullopt);
  virtual int Height(std::optional<int> value = std::nullopt);
  virtual void SetZOrder(std::optional<int> position = std::nullopt, std::optional<bool> redraw = std::nullopt);
  virtual void Unlink();
  virtual void SuspendRedraw() { redraw_enabled_ = false; }
  virtual void ResumeRedraw() { redraw_enabled_ = true; }
  // The transition timer procedure; finds the control from the id (ref + 1).
  static void CALLBACK TransitionTick(HWND window, UINT message, UINT_PTR timer_id, DWORD time);
  virtual void OnBeginPaint(PaintContext& context) { (void)context; }
  virtual void OnEndPaint(PaintContext& context) { (void)context; }

  // ---- What derived classes handle ----
  // Answers kNotHandled for what it does not handle. The base has none.
  virtual intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam);
  virtual bool HasClassProcedure() const { return false; }

  // A child control's handler form (the parent comes first).
  void SetEventHandler(UINT message, ChildEventHandler handler);

  // ---- HostedControl ----
  ControlRef SelfRef() const override { return self_; }
  HWND HostWindowHandle() const override { return host_window_; }
  ControlRef ParentRef() const override { return parent_; }
  ControlRef FirstChildRef() const override { return children_.First(); }
  ControlRef LastChildRef() const override { return children_.Last(); }
  ControlRef PreviousSiblingRef() const override { return siblings_.previous; }
  ControlRef NextSiblingRef() const override { return siblings_.next; }
  bool IsVisible() const override { return visible_; }
  bool IsDisabled() const override { return disabled_; }
  bool IsFocusable() const override { return focusable_; }
  int KindCode() const override { return kind_; }
  int AlphaValue() const override { return alpha_; }
  HCURSOR CursorHandle() const override { return cursor_; }
  const char* TooltipText() const override { return tooltip_.c_str(); }
  const GpRectF& BoundsRect() const override { return bounds_; }
  const GpRectF& PreviousBoundsRect() const override { return previous_bounds_; }
  const GpRectF& PaintedPartRect() const override { return painted_part_; }
  GpBitmap* BackBufferBitmap() const override { return back_buffer_.get(); }
  GpImage* TransitionSnapshot() const override { return transition_snapshot_.get(); }
  int TransitionPeriodMs() const override { return transition_period_; }
  int TransitionFrameCount() const override { return transition_frames_; }
  int TransitionFrameIndex() const override { return transition_frame_; }
  int TransitionEffectCode() const override { return transition_effect_; }
  intptr_t DeliverEvent(UINT message, intptr_t wparam, intptr_t lparam) override;
  void MoveTo(float x, float y, float width, float height) override { Move(x, y, width, height, true); }
  void DestroyControl() override { Destroy(); }

  // ---- For derived classes and the toolkit ----
  bool IsCreated() const { return self_ != kNoControl; }
  bool RedrawEnabled() const { return redraw_enabled_; }
  GpGraphics* Graphics() const { return graphics_.get(); }
  HostWindow* Host() const { return host_; }
  // The host window's scale (unscaled before the control has a host).
  const DpiScale& Scale() const;
  // The scale a control created under `parent` will have.
  static DpiScale ScaleOfParent(ControlParent parent);
  // Handler table size (entries), for diagnostics.
  int HandlerCount() const;

 protected:
  // The paint frame of every derived paint routine.
  bool BeginControlPaint(PaintContext* context, GpRectF* area, bool keep_position, bool for_real);
  void EndControlPaint(PaintContext* context);

 private:
  struct HandlerEntry {
    int32_t message;
    int32_t takes_parent;  // 1: ChildEventHandler form
    void* handler;
  };
  struct HandlerTable {
    int32_t count;
    HandlerEntry entries[1];
  };

  void StoreHandler(UINT message, void* handler, bool takes_parent);
  void CallHandler(const HandlerEntry& entry, UINT message, intptr_t wparam, intptr_t lparam);
  // Where a control keeps its place among its siblings, for the lists it is in.
  static SiblingLinks& LinksOf(ControlRef control);
  // The list the control is in: its parent's children or the host's controls (null for neither).
  ControlList* SiblingList();
  void ShiftDescendants(float dx, float dy);
  void MakeBackBuffer();
  void ReleaseBackBuffer();
  void InvalidatePaintedPart();
  void DisposeSnapshot();
  void TakeTransitionSnapshot();
  void OnTransitionTick();
  void ResetFields();

  HWND host_window_ = nullptr;
  ControlRef self_ = kNoControl;
  ControlRef parent_ = kNoControl;
  bool visible_ = false;
  bool disabled_ = false;
  bool focusable_ = true;
  bool redraw_enabled_ = false;
  HCURSOR cursor_ = nullptr;
  HandlerTable* handlers_ = nullptr;
  GpRectF bounds_ = {0, 0, 0, 0};
  Text tooltip_;
  Text tag_;
  int kind_ = 0;
  ControlList children_;
  SiblingLinks siblings_;
  int transition_frame_ = 0;
  OwnedBitmap back_buffer_;
  // The visible pixels of the back buffer as last sent to the host, in its
  // own coordinates; none while unknown (the whole control is redrawn then).
  std::optional<GpRect> shown_ink_;
  // What the last paint asked the host to recompose; a member, not a local,
  // so the host can tell the request is from a live control.
  GpRectF painted_part_ = {};
  OwnedGraphics graphics_;
  HostWindow* host_ = nullptr;
  int alpha_ = kDefaultAlpha;
  OwnedImage transition_snapshot_;
  int transition_period_ = 0;
  GpRectF previous_bounds_ = {0, 0, 0, 0};
  int transition_frames_ = 0;
  int transition_effect_ = 0;
};

// The control behind a reference (null for 0).
inline Control* AsControl(ControlRef ref) { return static_cast<Control*>(ControlFromRef(ref)); }

// Delivers one event to a control: class procedure first, then the registered
// handler. 0 for no control or a class without a class procedure.
intptr_t DeliverEvent(ControlRef control, UINT message, WPARAM wparam, LPARAM lparam);

// True when the calling thread owns the window (or the window is gone).
bool OnWindowThread(HWND window);

}  // namespace quillet
