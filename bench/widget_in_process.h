// The real widget inside a benchmark exe: the runtime initialised with a
// program header whose window template holds the start-up window, the global
// objects, the toolkit start-up and the window loaded, so that
// BuildMainWindow runs as it does in the program.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/widget.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "runtime/services.h"
#include "runtime/support_library.h"
#include "runtime/window_template.h"

namespace quillet::bench {

constexpr int kSettlePumps = 50;
constexpr DWORD kSettlePumpMs = 10;

inline int BenchStartupSub() { return 0; }
inline void WindowCreated() { app::BuildMainWindow(); }

inline void PutLong(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
inline void PutName(std::string& out, const char* s) {
  int16_t n = static_cast<int16_t>(std::strlen(s));
  out.append(reinterpret_cast<const char*>(&n), 2);
  out.append(s, n);
}

// The program's start-up window, its creation event running BuildMainWindow.
inline std::string StartupWindowTemplate() {
  std::string t = "QWT1";
  PutLong(t, 1);
  PutLong(t, static_cast<int32_t>(app::kMainWindowId));
  for (int32_t v : {50, 50, 380, 250}) PutLong(t, v);
  PutLong(t, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  PutLong(t, 0);
  PutLong(t, kWindowFlagVisible);
  PutName(t, "StartWindow");
  PutName(t, "Quillet");
  PutLong(t, 0);  // units
  PutLong(t, 1);  // events
  PutLong(t, static_cast<int32_t>(kEventCreationCompleted));
  PutLong(t, static_cast<int32_t>(reinterpret_cast<intptr_t>(&WindowCreated) -
                                  reinterpret_cast<intptr_t>(&BenchStartupSub)));
  return t;
}

// Dispatches everything queued for this thread, sent messages included.
inline void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Starts the widget on this thread and lets its first show finish.
inline void StartWidgetInProcess() {
  static const std::string layout = StartupWindowTemplate();
  static const SupportLibrary* const libraries[] = {&kCoreLibrary, &kThreadLibrary, &kAutomationLibrary};
  static ProgramHeader header = {};
  header.build_mode = 3;
  header.startup_sub = BenchStartupSub;
  header.constant_region_start = LinkedConstantSectionStart();
  header.constant_region_length = static_cast<uint32_t>(LinkedConstantSectionLength());
  header.window_template = layout.data();
  header.window_template_length = static_cast<uint32_t>(layout.size());
  header.support_library_count = 3;
  header.support_libraries = libraries;
  header.dll_command_count = kProgramDllCommandCount;
  header.dll_names = kProgramDllNames;
  header.function_names = kProgramFunctionNames;
  InitialiseRuntime(&header);
  app::GlobalInitialise();
  app::ModuleStartup();
  LoadWindow(app::kMainWindowId);
  for (int i = 0; i < kSettlePumps; ++i) {
    PumpMessages();
    Sleep(kSettlePumpMs);
  }
}

}  // namespace quillet::bench
