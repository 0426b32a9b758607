#include "runtime/message_loop.h"

#include "runtime/runtime_state.h"
#include "runtime/window_template.h"

namespace quillet {
namespace {

// The caret blink timer posts this; it is no reason to go idle again.
constexpr UINT kSystemTimerMessage = 0x0118;

BOOL DefaultIdleHook(LONG) { return FALSE; }
IdleHook g_idle_hook = DefaultIdleHook;

// Last mouse-move position, so a move that does not move is not "idle due".
thread_local POINT t_last_mouse = {-1, -1};
thread_local UINT t_last_mouse_message = 0;

bool MessageWaiting(MSG* message) { return PeekMessageA(message, nullptr, 0, 0, PM_NOREMOVE) != FALSE; }

// A loop shared by the normal and the modal variant.
void Loop(volatile bool* running) {
  bool idle = true;
  LONG idle_count = 0;
  MSG message;
  for (;;) {
    while (idle && !MessageWaiting(&message)) {
      RunIdleCallbacks();
      if (!g_idle_hook(idle_count++)) idle = false;
    }
    do {
      if (!PumpMessage(&message)) return;
      if (running != nullptr && !*running) return;
      if (running == nullptr && !AnyLoadedWindowExists()) return;
      if (IsIdleMessage(message)) {
        idle = true;
        idle_count = 0;
      }
    } while (MessageWaiting(&message));
  }
}

}  // namespace

bool PumpMessage(MSG* message) {
  if (GetMessageA(message, nullptr, 0, 0) <= 0) return false;
  TranslateMessage(message);
  DispatchMessageA(message);
  return true;
}

bool IsIdleMessage(const MSG& message) {
  if (message.message == WM_MOUSEMOVE || message.message == WM_NCMOUSEMOVE) {
    bool same = t_last_mouse_message == message.message && t_last_mouse.x == message.pt.x &&
                t_last_mouse.y == message.pt.y;
    t_last_mouse = message.pt;
    t_last_mouse_message = message.message;
    return !same;
  }
  return message.message != WM_PAINT && message.message != kSystemTimerMessage;
}

IdleHook SetIdleHook(IdleHook hook) {
  IdleHook previous = g_idle_hook;
  g_idle_hook = hook ? hook : DefaultIdleHook;
  return previous;
}

void RunMessageLoop() {
  if (!AnyLoadedWindowExists()) return;
  Loop(nullptr);
}

void RunModalLoop(volatile bool* running) {
  if (running == nullptr || !*running) return;
  Loop(running);
}

}  // namespace quillet
