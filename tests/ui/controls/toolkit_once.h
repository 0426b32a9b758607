// Starts the runtime, the toolkit and the frame controls once per test exe.
#pragma once
#include "support/runtime_for_tests.h"
#include "ui/controls/frame_controls.h"
#include "ui/core/toolkit.h"

namespace quillet::testing_support {

inline void StartToolkitOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  InitialiseRuntimeForTests();
  ToolkitStartup();
  InstallFrameControls();
}

}  // namespace quillet::testing_support
