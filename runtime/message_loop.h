// The message loop (the service table's run_message_loop entry) with its idle phase, and the one-message pump
// that DoEvents and the loop share. A plain Win32 loop.
#pragma once
#include <windows.h>

namespace quillet {

// Retrieves, translates and dispatches one message of the calling thread,
// waiting for one when none is there. False when the message was WM_QUIT.
bool PumpMessage(MSG* message);

// Whether idle processing is due after `message` (not after a mouse move that
// did not move, a paint or the system caret timer).
bool IsIdleMessage(const MSG& message);

// The application object's idle hook: called with the idle count while the
// queue is empty; a zero result ends the idle phase until the next message.
using IdleHook = BOOL (*)(LONG idle_count);
IdleHook SetIdleHook(IdleHook hook);

// Runs while a loaded window exists; returns on WM_QUIT (the quit message is
// taken off the queue) or when no loaded window is left.
void RunMessageLoop();

// Modal variant for a window shown modally: also returns when *running turns false.
void RunModalLoop(volatile bool* running);

}  // namespace quillet
