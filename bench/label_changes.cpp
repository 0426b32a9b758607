// Sentence changes presented per second in the real widget window: the
// label's own partial redraw, against full-frame repaints of the same changes
// in the same run (goal: at least 200 changes/s, the partial path ahead).
// Usage: bench_label_changes [changes]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/widget.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "runtime/services.h"
#include "runtime/support_library.h"
#include "runtime/window_template.h"
#include "ui/controls/label.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit_messages.h"

namespace {

constexpr double kGoalChangesPerSecond = 200;
constexpr int kDefaultChanges = 400;
constexpr float kWindowWidth = 380, kWindowHeight = 250;

int BenchStartupSub() { return 0; }
void WindowCreated() { quillet::app::BuildMainWindow(); }

void PutLong(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutName(std::string& out, const char* s) {
  int16_t n = static_cast<int16_t>(std::strlen(s));
  out.append(reinterpret_cast<const char*>(&n), 2);
  out.append(s, n);
}

// The program's start-up window, its creation event running BuildMainWindow.
std::string StartupWindowTemplate() {
  std::string t = "QWT1";
  PutLong(t, 1);
  PutLong(t, static_cast<int32_t>(quillet::app::kMainWindowId));
  for (int32_t v : {50, 50, 380, 250}) PutLong(t, v);
  PutLong(t, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  PutLong(t, 0);
  PutLong(t, quillet::kWindowFlagVisible);
  PutName(t, "StartWindow");
  PutName(t, "Quillet");
  PutLong(t, 0);  // units
  PutLong(t, 1);  // events
  PutLong(t, static_cast<int32_t>(quillet::kEventCreationCompleted));
  PutLong(t, static_cast<int32_t>(reinterpret_cast<intptr_t>(&WindowCreated) -
                                  reinterpret_cast<intptr_t>(&BenchStartupSub)));
  return t;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

template <typename Change>
double ChangesPerSecond(int changes, Change change) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < changes; ++i) {
    change(i);
    Pump();
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return changes / took.count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillet;
  const int changes = argc > 1 ? std::atoi(argv[1]) : kDefaultChanges;
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
  for (int i = 0; i < 50; ++i) {
    Pump();
    Sleep(10);
  }

  // Two sentences of the same length, so both paths draw the same text.
  const char* sentences[2] = {"春眠不觉晓，处处闻啼鸟。", "夜来风雨声，花落知多少。"};
  Label* label = app::SentenceLabel;
  HostWindow* host = app::MainHost;

  double partial = ChangesPerSecond(changes, [&](int i) { label->Text(sentences[i % 2]); });
  double full = ChangesPerSecond(changes, [&](int i) {
    label->SuspendRedraw();
    label->Text(sentences[i % 2]);
    label->ResumeRedraw();
    host->QueueRedraw(GpRectF{0, 0, kWindowWidth, kWindowHeight}, kRedrawNow);
  });

  bool ok = partial >= kGoalChangesPerSecond && partial > full;
  std::printf("label changes presented: partial redraw %.0f/s, full-frame repaint %.0f/s, ratio %.2f "
              "(goal >= %.0f/s and ahead) %s\n",
              partial, full, full > 0 ? partial / full : 0.0, kGoalChangesPerSecond, ok ? "OK" : "MISSED");
  std::fflush(stdout);
  ExitProcess(ok ? 0 : 1);
}
