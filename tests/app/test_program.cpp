// What the build carries (program header, window template) and the start
// routine's order, run through a service table that records each call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program.h"
#include "app/widget.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "runtime/runtime_state.h"
#include "runtime/window_template.h"

extern "C" int QuilletProgramStartupSub();
extern "C" void QuilletStartupWindowCreated();

namespace quillet::app {
namespace {

TEST(ProgramHeaderTest, CarriesTheProgramsTables) {
  const ProgramHeader& h = kProgramHeader;
  EXPECT_EQ(h.build_mode, 3);
  EXPECT_EQ(h.reserved, 0);
  EXPECT_EQ(h.startup_sub, &QuilletProgramStartupSub);
  EXPECT_EQ(h.startup_sub(), 0);
  EXPECT_EQ(h.constant_region_start, LinkedConstantSectionStart());
  EXPECT_EQ(h.constant_region_length, LinkedConstantSectionLength());
  ASSERT_EQ(h.support_library_count, 3);
  EXPECT_EQ(h.support_libraries[0], &kCoreLibrary);
  EXPECT_EQ(h.support_libraries[1], &kThreadLibrary);
  EXPECT_EQ(h.support_libraries[2], &kAutomationLibrary);
  EXPECT_EQ(h.dll_command_count, kProgramDllCommandCount);
  EXPECT_EQ(h.dll_names, kProgramDllNames);
  EXPECT_EQ(h.function_names, kProgramFunctionNames);
}

TEST(ProgramHeaderTest, TheTemplateHoldsTheStartupWindow) {
  std::vector<TemplateWindow> windows;
  ASSERT_TRUE(ParseWindowTemplate(kProgramHeader.window_template, kProgramHeader.window_template_length,
                                  reinterpret_cast<uintptr_t>(kProgramHeader.startup_sub), &windows));
  ASSERT_EQ(windows.size(), 1u);
  const TemplateWindow& w = windows[0];
  EXPECT_EQ(w.id, 0x52010001u);
  EXPECT_EQ(w.caption, "Quillet");
  EXPECT_EQ(w.left, 50);
  EXPECT_EQ(w.top, 50);
  EXPECT_EQ(w.width, 380);
  EXPECT_EQ(w.height, 250);
  EXPECT_NE(w.flags & kWindowFlagVisible, 0u);
  EXPECT_TRUE(w.units.empty());
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0].number, kEventCreationCompleted);
  // The offset from the start-up sub leads to the routine that runs BuildMainWindow.
  EXPECT_EQ(w.events[0].routine, &QuilletStartupWindowCreated);
}

// A service table that forwards to the runtime's and records the order.
std::vector<std::string> g_calls;
const ServiceTable* g_real = nullptr;

std::string UtilityName(int selector) {
  if (selector == kUtilityInitialiseRuntime) return "initialise runtime";
  if (selector == kUtilityRegisterExitProcedure) return "register exit procedure";
  return "utility " + std::to_string(selector);
}

intptr_t RecordUtility(int selector, intptr_t a, intptr_t b) {
  g_calls.push_back(UtilityName(selector));
  return g_real->utility(selector, a, b);
}
void RecordLoadWindow(uint32_t id) {
  g_calls.push_back(id == kMainWindowId ? "load the start-up window" : "load window " + std::to_string(id));
  g_real->load_window(id);
  HWND window = LoadedUnitHandle(id, kUnitIsWindow);
  // BuildMainWindow ran from the creation-completed event: the host made the window layered.
  if (window != nullptr && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) {
    g_calls.push_back("window taken over by the host");
  }
}
void RecordMessageLoop() {
  g_calls.push_back("message loop");
  // Closing the start-up window ends the loop.
  PostMessageA(LoadedUnitHandle(kMainWindowId, kUnitIsWindow), WM_CLOSE, 0, 0);
  g_real->run_message_loop();
  g_calls.push_back("message loop ended");
}

TEST(StartRoutineTest, RunsTheStartUpInOrderAndShutsDownCleanly) {
  g_real = &RuntimeServices();
  ServiceTable recording = RuntimeServices();
  recording.utility = RecordUtility;
  recording.load_window = RecordLoadWindow;
  recording.run_message_loop = RecordMessageLoop;

  EXPECT_EQ(ProgramStartRoutine(recording), 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"initialise runtime", "register exit procedure",
                                                "load the start-up window", "window taken over by the host",
                                                "message loop", "message loop ended"}));
  EXPECT_NE(MainHost, nullptr);
  EXPECT_EQ(ExitProcedureCount(), 1u);
  EXPECT_FALSE(AnyLoadedWindowExists());

  RuntimeShutdown(0);
  EXPECT_EQ(MainHost, nullptr);  // the exit procedure released the globals
  EXPECT_EQ(SentenceLabel, nullptr);
  EXPECT_EQ(SourceLabel, nullptr);
  EXPECT_EQ(FetchButton, nullptr);
  EXPECT_FALSE(IsWindow(OwnerWindow()));
}

}  // namespace
}  // namespace quillet::app
