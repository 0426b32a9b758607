// Waiting between animation steps and a trace of what animations push.
#pragma once
#include <windows.h>

namespace quillet {

// Called for every push of an animation frame: the step's constant alpha, or
// -1 for the set-up and the final (transparent) push.
struct AnimationTrace {
  void (*on_push)(HWND window, int step_alpha) = nullptr;
  void (*on_wait)(int milliseconds) = nullptr;
  // Every constant-alpha blend of the cross-fade and the whole-frame steps.
  void (*on_blend)(int constant_alpha) = nullptr;
};
AnimationTrace SetAnimationTrace(const AnimationTrace& trace);

// How animations wait between steps; the default delays, then lets pending
// window messages run.
using AnimationWait = void (*)(int milliseconds);
AnimationWait SetAnimationWait(AnimationWait wait);

// Step counts of the open and close animations by type.
int OpenAnimationSteps(int type);
int CloseAnimationSteps(int type);

}  // namespace quillet
