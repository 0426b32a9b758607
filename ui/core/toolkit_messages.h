// The toolkit's private window messages and the values that travel with them.
// Numbers below 0x2800 keep their Win32 meaning.
#pragma once
#include <windows.h>

#include <cstdint>

namespace quillet {

// Not a message: wParam of the WM_LBUTTONDOWN the host makes out of a double click.
constexpr WPARAM DUIM_DBLCLICKMARK = 10086;

constexpr UINT DUIM_SETFOCUS = 0x2800;          // control got the focus; to a host: focus lParam
constexpr UINT DUIM_KILLFOCUS = 0x2801;         // control lost the focus
constexpr UINT DUIM_MOUSEENTER = 0x2802;        // mouse entered (lParam: previously hovered)
constexpr UINT DUIM_MOUSELEAVE = 0x2803;        // mouse left (lParam: newly hovered or 0)
constexpr UINT DUIM_CLICK = 0x2804;             // complete click, Enter/Space or accelerator
constexpr UINT DUIM_SIZED = 0x2805;             // back buffer re-made (wParam w, lParam h)
constexpr UINT DUIM_HIDDEN = 0x2806;            // Visible turned off
constexpr UINT DUIM_SHOWN = 0x2807;             // Visible turned on
constexpr UINT DUIM_CUSTOMDRAW = 0x2808;        // lParam: TransitionDrawRecord*; < 1 = host draws
constexpr UINT DUIM_CANPRESS = 0x280A;          // anything but -1: the control takes a press
constexpr UINT DUIM_SETACCESSKEY = 0x280B;      // to host: wParam ControlRef, lParam character (0 removes)
constexpr UINT DUIM_PRESENT = 0x280D;           // to host: push the frame
constexpr UINT DUIM_DISABLEDLOOK = 0x280E;      // -1: compose a disabled control at half alpha
constexpr UINT DUIM_INVALIDATE = 0x2810;        // to host: wParam kind, lParam a control's bounds or painted-part record
constexpr UINT DUIM_MOVED = 0x2811;             // to host: wParam ControlRef, lParam 1 = redraw
constexpr UINT DUIM_EVENT = 0x2812;             // to host: wParam ControlRef, lParam PackedMessage*
constexpr UINT DUIM_QUERYFOCUS = 0x2814;        // 1 yes, -1 host decides, other no
constexpr UINT DUIM_ALPHACHANGED = 0x2815;      // lParam new alpha
constexpr UINT DUIM_BACKDROPCHANGED = 0x2816;   // the host's background was recomposed
constexpr UINT DUIM_TRANSITIONSTART = 0x2817;   // transition timer started
constexpr UINT DUIM_TRANSITIONEND = 0x2818;     // last transition frame shown

// Answer of a class procedure that did not handle an event.
constexpr LRESULT kNotHandled = -1;

// Redraw-queue kinds carried in wParam of DUIM_INVALIDATE.
constexpr int kRedrawAppend = 0;
constexpr int kRedrawNow = 1;
constexpr int kRedrawFirst = 2;

// The 12-byte packet that DUIM_EVENT carries; allocated with AllocScratch,
// freed by the host window procedure. Three pointer-sized values (12 bytes on
// the shipped 32-bit build), so pointers survive in wParam/lParam on 64-bit.
struct PackedMessage {
  intptr_t message;
  intptr_t wparam;
  intptr_t lparam;
};
static_assert(sizeof(PackedMessage) == 3 * sizeof(intptr_t), "packed messages are three words");

// The one place packets are made; null when there is no memory. A packet
// that is never sent or posted goes back with FreeScratch.
PackedMessage* PackMessage(UINT message, intptr_t wparam, intptr_t lparam);

// Window property through which a host window's object is found.
constexpr const wchar_t kHostProperty[] = L"Kv_Wnd_Control";

}  // namespace quillet
