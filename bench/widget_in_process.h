// The real widget inside a benchmark exe: the runtime initialised with the
// program's own header and window template, the global objects, the toolkit
// start-up and the start-up window loaded, so BuildMainWindow runs as in the program.
#pragma once
#include <windows.h>

#include "app/program.h"
#include "app/widget.h"
#include "runtime/services.h"
#include "runtime/window_template.h"

namespace quillet::bench {

constexpr int kSettlePumps = 50;
constexpr DWORD kSettlePumpMs = 10;

// Dispatches everything queued for this thread, sent messages included.
inline void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Starts the widget on this thread, as the program's start routine does up to
// its message loop, and lets its first show finish.
inline void StartWidgetInProcess() {
  InitialiseRuntime(&app::kProgramHeader);
  app::GlobalInitialise();
  app::ModuleStartup();
  LoadWindow(app::kMainWindowId);
  for (int i = 0; i < kSettlePumps; ++i) {
    PumpMessages();
    Sleep(kSettlePumpMs);
  }
}

}  // namespace quillet::bench
