// Process entry: the framework part of start-up and shut-down.
#include <windows.h>

#include "app/program.h"
#include "runtime/runtime_state.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Initialisation hook: module directory, then the program's start routine.
  quillet::StoreModuleDirectory();
  int started = quillet::app::ProgramStartRoutine(quillet::RuntimeServices());
  // The start routine answers 0 once its message loop has ended, which sends
  // the framework straight to its exit hook: the runtime shut-down.
  (void)started;
  quillet::RuntimeShutdown(0);
  return 0;
}
