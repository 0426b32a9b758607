// Sentence changes presented per second in the real widget window: the
// label's own partial redraw, against full-frame repaints of the same changes
// in the same run, in alternating blocks (medians; goal: at least 400
// changes/s, the partial path at least 1.5 times the full one).
// Under callgrind (valgrind --tool=callgrind --collect-atstart=no) the first
// block of each path is counted: the first dump is the partial path, the
// second the full one.
// Usage: bench_label_changes [changes per block]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/widget.h"
#include "bench/instruction_count.h"
#include "bench/outcome.h"
#include "bench/timing.h"
#include "bench/widget_in_process.h"
#include "ui/controls/label.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit_messages.h"

namespace {

constexpr double kGoalChangesPerSecondAt96Dpi = 400;
constexpr double kGoalChangesPerSecondAbove96Dpi = 250;  // a larger frame costs more per change
constexpr double kGoalPartialOverFull = 1.5;
constexpr int kDefaultChanges = 100;
constexpr int kBlocks = 5;

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

  auto partialChange = [&](int i) { label->Text(sentences[i % 2]); };
  auto fullChange = [&](int i) {
    label->SuspendRedraw();
    label->Text(sentences[i % 2]);
    label->ResumeRedraw();
    host->QueueRedraw(whole_window, kRedrawNow);
  };
  std::vector<double> partialRates, fullRates;
  for (int block = 0; block < kBlocks; ++block) {
    if (block == 0) {
      {
        bench::CountedStretch counted;  // first dump
        partialRates.push_back(ChangesPerSecond(changes, partialChange));
      }
      bench::CountedStretch counted;  // second dump
      fullRates.push_back(ChangesPerSecond(changes, fullChange));
      continue;
    }
    partialRates.push_back(ChangesPerSecond(changes, partialChange));
    fullRates.push_back(ChangesPerSecond(changes, fullChange));
  }
  const double partial = bench::Median(partialRates), full = bench::Median(fullRates);
  const double ratio = full > 0 ? partial / full : 0.0;
  const int dpi = host->Scale().Dpi();
  const double goal = dpi > kLogicalDpi ? kGoalChangesPerSecondAbove96Dpi : kGoalChangesPerSecondAt96Dpi;
  const bool ok = partial >= goal && ratio >= kGoalPartialOverFull;
  std::printf("label changes presented at %d DPI (%ldx%ld): partial redraw %.0f/s, full-frame repaint %.0f/s, "
              "ratio %.2f (medians of %d blocks of %d; goal >= %.0f/s and ratio >= %.1f) %s\n",
              dpi, static_cast<long>(window.cx), static_cast<long>(window.cy), partial, full, ratio, kBlocks,
              changes, goal, kGoalPartialOverFull, ok ? "OK" : "MISSED");
  std::fflush(stdout);
  ExitProcess(ok ? bench::kGoalsMet : bench::kGoalMissed);
}
