// The real widget in a test exe: runtime initialised with a window template
// holding the start-up window, the global objects, the toolkit start-up and
// the window loaded, so that BuildMainWindow runs as it does in the program.
// Started once per exe (the toolkit starts once per process).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/widget.h"
#include "runtime/services.h"
#include "runtime/window_template.h"
#include "support/message_pump.h"
#include "support/runtime_for_tests.h"
#include "support/window_template_builder.h"
#include "ui/controls/label.h"

namespace quillet::app::testing {

inline void WindowCreated() { BuildMainWindow(); }

inline void StartWidgetOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  using namespace quillet::testing_support;
  WindowSpec window = {};
  window.id = kMainWindowId;
  window.left = 50;
  window.top = 50;
  window.width = 380;
  window.height = 250;
  window.style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  window.flags = kWindowFlagVisible;
  window.name = "StartWindow";
  window.caption = "Quillet";
  window.events = {{kEventCreationCompleted, EventOffset(WindowCreated, TestStartupSub)}};
  static const std::string layout = WindowTemplateBuilder().Add(window).Bytes();
  static const ProgramHeader header = MakeTestProgramHeader(&layout);
  InitialiseRuntime(&header);
  GlobalInitialise();
  ModuleStartup();
  LoadWindow(kMainWindowId);
}

using testing_support::PumpFor;

// Pumps until `done` holds or `timeout_ms` passed; answers `done`.
inline bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpFor(2);
  }
  return true;
}

inline std::string LabelText() { return SentenceLabel->Text().c_str(); }

class WidgetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartWidgetOnce(); }
  void SetUp() override {
    ResumeFetching();
    ASSERT_NE(SentenceLabel, nullptr);
  }
  void TearDown() override {
    // No chain may outlive its test (or its server).
    StopFetching();
    PumpUntil([] { return ActiveFetchWorkers() == 0; }, 60000);
    EXPECT_EQ(ActiveFetchWorkers(), 0);
    ResumeFetching();
  }
};

}  // namespace quillet::app::testing
