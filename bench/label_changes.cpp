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
#include "bench/outcome.h"
#include "bench/widget_in_process.h"
#include "ui/controls/label.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit_messages.h"

namespace {

constexpr double kGoalChangesPerSecond = 200;
constexpr int kDefaultChanges = 400;

template <typename Change>
double ChangesPerSecond(int changes, Change change) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < changes; ++i) {
    change(i);
    quillet::bench::PumpMessages();
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return changes / took.count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillet;
  const int changes = argc > 1 ? std::atoi(argv[1]) : kDefaultChanges;
  bench::StartWidgetInProcess();

  // Two sentences of the same length, so both paths draw the same text.
  const char* sentences[2] = {"春眠不觉晓，处处闻啼鸟。", "夜来风雨声，花落知多少。"};
  Label* label = app::SentenceLabel;
  HostWindow* host = app::MainHost;
  const SIZE window = host->Size();  // at the display's scale
  const GpRectF whole_window = {0, 0, static_cast<float>(window.cx), static_cast<float>(window.cy)};

  double partial = ChangesPerSecond(changes, [&](int i) { label->Text(sentences[i % 2]); });
  double full = ChangesPerSecond(changes, [&](int i) {
    label->SuspendRedraw();
    label->Text(sentences[i % 2]);
    label->ResumeRedraw();
    host->QueueRedraw(whole_window, kRedrawNow);
  });

  bool ok = partial >= kGoalChangesPerSecond && partial > full;
  std::printf("label changes presented at %d DPI (%ldx%ld): partial redraw %.0f/s, full-frame repaint %.0f/s, "
              "ratio %.2f (goal >= %.0f/s and ahead) %s\n",
              host->Scale().Dpi(), static_cast<long>(window.cx), static_cast<long>(window.cy), partial, full,
              full > 0 ? partial / full : 0.0, kGoalChangesPerSecond, ok ? "OK" : "MISSED");
  std::fflush(stdout);
  ExitProcess(ok ? bench::kGoalsMet : bench::kGoalMissed);
}
