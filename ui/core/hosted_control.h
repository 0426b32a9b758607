// What the host window needs from a control. The control library's `Control`
// derives from HostedControl (as its first, only polymorphic base) and answers
// these from its own fields; the host never sees more of a control than this.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/core/gdiplus_types.h"

namespace quillet {

struct ByteSetBlock;

// A control's identity: the address of its HostedControl part; 0 = none.
// Stays valid as a timer id after adding 1 (objects are at least 2-aligned).
using ControlRef = uintptr_t;
constexpr ControlRef kNoControl = 0;

// Class codes (the control's kind).
constexpr int kKindTitleBarButton = 1;
constexpr int kKindButton = 2;
constexpr int kKindLabel = 3;
constexpr int kKindPicture = 4;
constexpr int kKindMenuItem = 20;

// What a control tells assistive technology about itself. The host adds
// what it knows better (focus, press, hover, availability) to the states.
struct AccessibleDescription {
  long role = 0;                   // ROLE_SYSTEM_*; 0 = not exposed
  std::wstring name;
  std::wstring default_action;     // empty = none
  std::wstring keyboard_shortcut;  // empty = none
  long states = 0;                 // the class's own STATE_SYSTEM_* bits
  bool takes_focus = true;         // false: never focusable, whatever the control's flag says
};

class HostedControl {
 public:
  virtual ~HostedControl() = default;

  // Identity and tree (sibling order is z-order: first painted first).
  virtual ControlRef SelfRef() const = 0;           // 0 while not created
  virtual HWND HostWindowHandle() const = 0;        // the host window it lives in
  virtual ControlRef ParentRef() const = 0;         // 0 = top level
  virtual ControlRef FirstChildRef() const = 0;
  virtual ControlRef LastChildRef() const = 0;
  virtual ControlRef PreviousSiblingRef() const = 0;
  virtual ControlRef NextSiblingRef() const = 0;

  // State the host reads for routing and composing.
  virtual bool IsVisible() const = 0;
  virtual bool IsDisabled() const = 0;
  virtual bool IsFocusable() const = 0;
  virtual int KindCode() const = 0;                 // kKind* above
  virtual int AlphaValue() const = 0;               // 0..255 composing opacity
  virtual HCURSOR CursorHandle() const = 0;         // 0 = the window's cursor
  virtual const char* TooltipText() const = 0;      // GBK, never null ("" = none)
  // A tip that GBK cannot hold (the whole of a cut Unicode text); null = use TooltipText.
  virtual const wchar_t* TooltipTextW() const { return nullptr; }

  // The owned bounds record (host client coordinates); its address is what
  // DUIM_INVALIDATE carries, so it must live as long as the control.
  virtual const GpRectF& BoundsRect() const = 0;
  virtual const GpRectF& PreviousBoundsRect() const = 0;  // before the last move
  // The owned record of the part that the last paint changed; DUIM_INVALIDATE
  // may carry its address instead of the bounds record's.
  virtual const GpRectF& PaintedPartRect() const { return BoundsRect(); }

  // Cached look and transition state.
  virtual GpBitmap* BackBufferBitmap() const = 0;   // 32bpp ARGB, bounds-sized
  virtual GpImage* TransitionSnapshot() const = 0;  // null when idle
  virtual int TransitionPeriodMs() const = 0;       // 0 = no transition
  virtual int TransitionFrameCount() const = 0;     // N; 0 = no transition
  virtual int TransitionFrameIndex() const = 0;     // n, current frame
  virtual int TransitionEffectCode() const = 0;     // 1..4 slides, other = cross-fade

  // Event delivery: class procedure first, then the registered handler.
  // Answers the class procedure's result; kNotHandled (-1) = not handled.
  virtual intptr_t DeliverEvent(UINT message, intptr_t wparam, intptr_t lparam) = 0;

  // Operations the host performs on the controls it made or owns.
  virtual void MoveTo(float x, float y, float width, float height) = 0;  // Move with redraw
  virtual void DestroyControl() = 0;                // Destroy: subtree, unlink, reset

  // Role, name, states and default action for screen readers; by default
  // the control is not exposed.
  virtual AccessibleDescription DescribeForAccessibility() const { return {}; }
};

inline HostedControl* ControlFromRef(ControlRef ref) { return reinterpret_cast<HostedControl*>(ref); }
inline ControlRef RefOf(const HostedControl* control) { return reinterpret_cast<ControlRef>(control); }

// Record behind lParam of DUIM_CUSTOMDRAW: the surfaces a control may draw a
// transition frame on. Twelve 32-bit values on the shipped 32-bit build.
struct TransitionDrawRecord {
  HDC frame_dc;
  GpGraphics* frame_graphics;
  HDC scratch_dc;
  GpGraphics* scratch_graphics;
  GpBitmap* bitmap;       // the control's back buffer (new look)
  GpImage* snapshot;      // the host pixels before the change (old look)
  float x, y, width, height;  // control rectangle
  float clip_x, clip_y;       // origin of the current visible clip bounds
};
#if defined(__i386__)
static_assert(sizeof(TransitionDrawRecord) == 48, "transition record is twelve words");
#endif

// The host makes its icon, title and system buttons through this hook, which
// the control library registers at start-up, so the core does not depend on it.
// Each create function answers a created control, already in the host's
// top-level list, or null.
struct FrameControlFactory {
  // Picture control showing `icon` (not owned) at `bounds`.
  std::unique_ptr<HostedControl> (*create_icon)(HWND host_window, const GpRectF& bounds, HICON icon);
  // Label with GBK `title` in colour `argb`.
  std::unique_ptr<HostedControl> (*create_title)(HWND host_window, const GpRectF& bounds, const char* title,
                                                 ARGB argb);
  // Title-bar button whose type is the frame flag bit (4 close, 8 maximise, ...).
  std::unique_ptr<HostedControl> (*create_system_button)(HWND host_window, int type_flag, const GpRectF& bounds);
  // Replaces the title's text with UTF-16 bytes (the label's TextW).
  void (*set_title_text_w)(HostedControl* title, const ByteSetBlock* utf16);
};

// Registers (or, with all members null, removes) the factory; returns the previous one.
FrameControlFactory SetFrameControlFactory(const FrameControlFactory& factory);
const FrameControlFactory& CurrentFrameControlFactory();

// Hit test from `start` towards the head of its list: the deepest visible,
// enabled control containing (x, y); 0 when none.
ControlRef HitTest(ControlRef start, float x, float y);

}  // namespace quillet
