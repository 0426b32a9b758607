// Window template, loading the start-up window, the message loop with its
// idle phase, exit procedures and shut-down, exit from a worker, DoEvents.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/dll_command.h"
#include "runtime/library_commands.h"
#include "runtime/message_loop.h"
#include "runtime/runtime_state.h"
#include "runtime/services.h"
#include "runtime/window_template.h"
#include "support/error_box_capture.h"
#include "support/runtime_for_tests.h"
#include "support/window_template_builder.h"

namespace quillet {
namespace {

using testing_support::ErrorBoxFragmentPattern;
using testing_support::ErrorBoxPattern;
using testing_support::EventOffset;
using testing_support::TestStartupSub;
using testing_support::UnitSpec;
using testing_support::WindowSpec;
using testing_support::WindowTemplateBuilder;
using ::testing::ExitedWithCode;

constexpr uint32_t kStartWindow = 0x52010001;
constexpr uint32_t kButtonUnit = 0x20;

std::vector<std::string> g_events;
bool g_visible_at_creation = true;

void OnCreated() {
  HWND window = UnitHandle(kStartWindow);
  g_visible_at_creation = IsWindowVisible(window) != FALSE;
  g_events.push_back("created");
}
void OnButtonClicked() { g_events.push_back("clicked"); }

std::string StartTemplate(bool visible = true, const char* unit_class = "BUTTON") {
  WindowSpec w{kStartWindow, 50, 50, 380, 250, WS_POPUP, 0, visible ? kWindowFlagVisible : 0u,
               "StartWindow", "Quillet", {}, {}};
  w.units.push_back(UnitSpec{kButtonUnit, "FetchUnit", unit_class, "go", 10, 10, 60, 24, WS_VISIBLE,
                             {{kUnitEventClicked, EventOffset(OnButtonClicked, TestStartupSub)}}});
  w.events.push_back({kEventCreationCompleted, EventOffset(OnCreated, TestStartupSub)});
  w.events.push_back({7, kNoEventHandler});
  return WindowTemplateBuilder().Add(w).Bytes();
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::InstallStderrErrorBox();
    g_events.clear();
  }
  void TearDown() override {
    ReleaseLoadedWindows();
    // The last window going posts a quit message; keep it from the next test.
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  void ReadTemplate(const std::string& layout) {
    layout_ = layout;
    ReadWindowTemplate(layout_.data(), layout_.size(), reinterpret_cast<uintptr_t>(&TestStartupSub));
  }
  std::string layout_;
};

TEST_F(StartupTest, TemplateOffsetsBecomeRoutines) {
  std::vector<TemplateWindow> windows;
  std::string layout = StartTemplate();
  ASSERT_TRUE(ParseWindowTemplate(layout.data(), layout.size(), reinterpret_cast<uintptr_t>(&TestStartupSub), &windows));
  ASSERT_EQ(windows.size(), 1u);
  const TemplateWindow& w = windows[0];
  EXPECT_EQ(w.id, kStartWindow);
  EXPECT_EQ(w.caption, "Quillet");
  EXPECT_EQ(w.left, 50);
  EXPECT_EQ(w.height, 250);
  ASSERT_EQ(w.events.size(), 2u);
  EXPECT_EQ(w.events[0].routine, &OnCreated);
  EXPECT_EQ(w.events[1].routine, nullptr);  // offset -1: no handler
  ASSERT_EQ(w.units.size(), 1u);
  EXPECT_EQ(w.units[0].events[0].routine, &OnButtonClicked);
}

TEST_F(StartupTest, MalformedTemplatesAreRejected) {
  std::string good = StartTemplate();
  std::vector<TemplateWindow> windows;
  uintptr_t base = reinterpret_cast<uintptr_t>(&TestStartupSub);
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_FALSE(ParseWindowTemplate(good.data(), cut, base, &windows)) << "cut at " << cut;
  }
  std::string bad_magic = good;
  bad_magic[0] = 'X';
  EXPECT_FALSE(ParseWindowTemplate(bad_magic.data(), bad_magic.size(), base, &windows));
  std::string huge_count = good;
  huge_count[4] = '\xFF';
  EXPECT_FALSE(ParseWindowTemplate(huge_count.data(), huge_count.size(), base, &windows));
  EXPECT_FALSE(ParseWindowTemplate(nullptr, 100, base, &windows));
  EXPECT_TRUE(windows.empty());
}

TEST_F(StartupTest, AnUnreadableTemplateEndsTheProcess) {
  static const char kGarbage[] = "QWT2....";
  EXPECT_EXIT(ReadWindowTemplate(kGarbage, sizeof kGarbage, 0), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：载入窗口模板数据段出错!\r\n\r\n0, 0\r\n"));
}

TEST_F(StartupTest, InitialisationReportsAnUnreadableTemplate) {
  static const std::string kTruncated = StartTemplate().substr(0, 30);
  static const ProgramHeader header = testing_support::MakeTestProgramHeader(&kTruncated);
  EXPECT_EXIT(RuntimeServices().utility(kUtilityInitialiseRuntime, reinterpret_cast<intptr_t>(&header), 0),
              ExitedWithCode(-1), ErrorBoxFragmentPattern("载入窗口模板数据段出错!"));
}

TEST_F(StartupTest, LoadingAnUnknownWindowFails) {
  ReadTemplate(WindowTemplateBuilder().Bytes());
  EXPECT_EXIT(LoadWindow(kStartWindow), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n\r\n1375797249, 0\r\n未找到所指定的窗口\r\n"));
}

TEST_F(StartupTest, AWindowThatCannotBeCreatedFails) {
  ReadTemplate(StartTemplate(true, "NoSuchWindowClass"));
  EXPECT_EXIT(LoadWindow(kStartWindow), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n\r\n1375797249, 0\r\n\"StartWindow\"\r\n\"FetchUnit\"\r\n"));
}

TEST_F(StartupTest, LoadingCreatesTheWindowRunsCreationThenShows) {
  ReadTemplate(StartTemplate());
  EXPECT_EQ(UnitHandle(kStartWindow), nullptr);
  LoadWindow(kStartWindow);
  HWND window = UnitHandle(kStartWindow, kUnitIsWindow);
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(g_events, std::vector<std::string>{"created"});
  EXPECT_FALSE(g_visible_at_creation);
  EXPECT_TRUE(IsWindowVisible(window));
  char caption[32];
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "Quillet");
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right - r.left, 380);
  EXPECT_EQ(r.bottom - r.top, 250);

  HWND button = UnitHandle(kStartWindow, kButtonUnit);
  ASSERT_TRUE(IsWindow(button));
  EXPECT_EQ(GetParent(button), window);
  SendMessageA(button, BM_CLICK, 0, 0);
  EXPECT_EQ(g_events, (std::vector<std::string>{"created", "clicked"}));
  EXPECT_EQ(UnitHandle(kStartWindow, 0x99), nullptr);
  EXPECT_TRUE(AnyLoadedWindowExists());
  DestroyWindow(window);
  EXPECT_FALSE(AnyLoadedWindowExists());
  EXPECT_EQ(UnitHandle(kStartWindow), nullptr);
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // the last window ends the loop
}

TEST_F(StartupTest, AnInvisibleTemplateWindowStaysHidden) {
  ReadTemplate(StartTemplate(false));
  LoadWindow(kStartWindow);
  EXPECT_FALSE(IsWindowVisible(UnitHandle(kStartWindow)));
}

// The message loop: idle phase, callbacks last-first, the idle hook, and the end.
std::vector<std::string> g_idle;
LONG g_idle_calls = 0;

void IdleA(HWND, intptr_t argument) { g_idle.push_back("A" + std::to_string(argument)); }
void IdleB(HWND window, intptr_t) {
  g_idle.push_back("B");
  if (g_idle.size() > 6) DestroyWindow(window);  // ends the loop after a few idle phases
  PostMessageA(window, WM_USER, 0, 0);           // a message after which idle is due again
}
BOOL CountingIdleHook(LONG count) {
  ++g_idle_calls;
  return count < 1;  // asks for one more idle round, then stops
}

TEST_F(StartupTest, TheMessageLoopRunsIdleCallbacksUntilTheLastWindowGoes) {
  ReadTemplate(StartTemplate());
  RunMessageLoop();  // no window loaded: returns at once
  LoadWindow(kStartWindow);
  HWND window = UnitHandle(kStartWindow);
  HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  g_idle.clear();
  g_idle_calls = 0;
  RegisterIdleCallback(gone, IdleA, 1);  // its window no longer exists: dropped
  RegisterIdleCallback(nullptr, IdleA, 2);
  RegisterIdleCallback(window, IdleB, 0);
  IdleHook previous = SetIdleHook(CountingIdleHook);
  RunMessageLoop();
  SetIdleHook(previous);
  EXPECT_FALSE(IsWindow(window));
  ASSERT_GE(g_idle.size(), 4u);
  EXPECT_EQ(g_idle[0], "B");  // last registered first
  EXPECT_EQ(g_idle[1], "A2");
  EXPECT_EQ(std::count(g_idle.begin(), g_idle.end(), "A1"), 0);
  EXPECT_EQ(IdleCallbackCount(), 2u);
  EXPECT_GE(g_idle_calls, 2);
  RemoveIdleCallback(nullptr, IdleA);
  RemoveIdleCallback(window, IdleB);
  EXPECT_EQ(IdleCallbackCount(), 0u);
}

volatile bool g_modal_running = true;
void CALLBACK EndModal(HWND window, UINT, UINT_PTR id, DWORD) {
  g_modal_running = false;
  KillTimer(window, id);
}

TEST_F(StartupTest, TheModalLoopEndsWhenItsFlagClears) {
  volatile bool& running = g_modal_running;
  HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetTimer(window, 1, 10, EndModal);
  RunModalLoop(&running);
  EXPECT_FALSE(running);
  DestroyWindow(window);
}

// Exit procedures and shut-down.
std::vector<std::string> g_exit_log;
void FirstExit(int position) { g_exit_log.push_back("first@" + std::to_string(position)); }
void SecondExit(int position) { g_exit_log.push_back("second@" + std::to_string(position)); }

TEST_F(StartupTest, ShutdownRunsExitProceduresOnceInOrder) {
  testing_support::InitialiseRuntimeForTests();
  HWND owner = OwnerWindow();
  RegisterExitProcedure(FirstExit);
  RegisterExitProcedure(SecondExit);
  RegisterExitProcedure(FirstExit);  // already in the list
  EXPECT_EQ(ExitProcedureCount(), 2u);
  RuntimeShutdown(0);
  EXPECT_EQ(g_exit_log, (std::vector<std::string>{"first@0", "second@1"}));
  EXPECT_TRUE(ShutdownStarted());
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_EQ(SupportLibraryCount(), 0);
  EXPECT_EQ(CoreLibraryEntry(), nullptr);  // kNotifyShutdown reached the library
  RuntimeShutdown(0);                      // runs once
  EXPECT_EQ(g_exit_log.size(), 2u);
}

// A module bound for a DLL command stays loaded while a thread the program
// started may still be inside it; with no such thread it is freed.
void ReportWinHttpAfterShutdown(bool worker_still_running) {
  testing_support::InitialiseRuntimeForTests();
  static const char* const kDlls[] = {"winhttp.dll"};
  static const char* const kFunctions[] = {"WinHttpCheckPlatform"};
  InstallDllCommandTable(1, kDlls, kFunctions);
  ResolveDllCommand(0);
  HANDLE worker = nullptr;
  if (worker_still_running) {
    StartThread([](void*) { Sleep(INFINITE); }, nullptr, &worker);
  } else {
    StartThread([](void*) {}, nullptr, &worker);
    WaitForSingleObject(worker, INFINITE);
  }
  RuntimeShutdown(0);
  std::fprintf(stderr, "%s\n", GetModuleHandleA("winhttp.dll") != nullptr ? "kept" : "freed");
  std::fflush(stderr);
  ExitProcess(0);
}

TEST_F(StartupTest, ShutdownKeepsDllModulesWhileProgramThreadsRun) {
  ASSERT_EQ(GetModuleHandleA("winhttp.dll"), nullptr);
  EXPECT_EXIT(ReportWinHttpAfterShutdown(true), ExitedWithCode(0), "^kept\n$");
  EXPECT_EXIT(ReportWinHttpAfterShutdown(false), ExitedWithCode(0), "^freed\n$");
}

void ReportExitThread(int position) {
  std::fprintf(stderr, "exit procedure %d on %s thread\n", position, IsMainThread() ? "main" : "worker");
  std::fflush(stderr);
}

DWORD WINAPI ExitFromWorker(LPVOID) {
  Sleep(50);
  RuntimeExit(5);
  std::fprintf(stderr, "worker returned from exit\n");
  return 0;
}

TEST_F(StartupTest, AnExitOnAWorkerIsHandedToTheMainThread) {
  EXPECT_EXIT(
      {
        testing_support::InitialiseRuntimeForTests();
        ReadTemplate(StartTemplate());
        LoadWindow(kStartWindow);
        RegisterExitProcedure(ReportExitThread);
        StartThread([](void*) { ExitFromWorker(nullptr); });
        RunMessageLoop();
        std::fprintf(stderr, "loop ended without exit\n");
      },
      ExitedWithCode(5), "exit procedure 0 on main thread\n$");
}

TEST_F(StartupTest, AnExitOnAWorkerDuringShutdownReturns) {
  EXPECT_EXIT(
      {
        testing_support::InitialiseRuntimeForTests();
        RuntimeShutdown(0);  // shut-down has started and the owner window is gone
        HANDLE worker = nullptr;
        StartThread(
            [](void*) {
              RuntimeExit(9);
              std::fprintf(stderr, "worker returned from exit\n");
            },
            nullptr, &worker);
        WaitForSingleObject(worker, 5000);
        std::fflush(stderr);
        ExitProcess(0);
      },
      ExitedWithCode(0), "worker returned from exit\n$");
}

// While the main thread shuts down it still handles messages sent to it (an
// exit procedure that pumps, or the wait for the program's threads); a
// worker's exit request arriving then must neither end the process with the
// worker's code nor cut the shut-down short.
constexpr int kMainExitCode = 3;
constexpr int kWorkerExitCode = 9;

void WorkerExitsOnceShutdownHasStarted(void*) {
  while (!ShutdownStarted()) Sleep(1);
  RuntimeExit(kWorkerExitCode);
  std::fprintf(stderr, "worker returned from exit\n");
  std::fflush(stderr);
}

void PumpUntilTheWorkerHasExited(int) {
  HANDLE worker = nullptr;
  StartThread(WorkerExitsOnceShutdownHasStarted, nullptr, &worker);
  while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) DoEvents();
  CloseHandle(worker);
}

void ReportLaterExitProcedure(int position) {
  std::fprintf(stderr, "later exit procedure %d ran\n", position);
  std::fflush(stderr);
}

TEST_F(StartupTest, AWorkersExitDuringShutdownLeavesTheShutdownToTheMainThread) {
  // An exit procedure that pumps messages while the worker asks to exit.
  EXPECT_EXIT(
      {
        testing_support::InitialiseRuntimeForTests();
        RegisterExitProcedure(PumpUntilTheWorkerHasExited);
        RegisterExitProcedure(ReportLaterExitProcedure);
        RuntimeExit(kMainExitCode);
      },
      ExitedWithCode(kMainExitCode), "^worker returned from exit\nlater exit procedure 1 ran\n$");
  // Shut-down waiting for a program thread that asks to exit meanwhile.
  EXPECT_EXIT(
      {
        testing_support::InitialiseRuntimeForTests();
        StartThread(WorkerExitsOnceShutdownHasStarted);
        RuntimeExit(kMainExitCode);
      },
      ExitedWithCode(kMainExitCode), "^worker returned from exit\n$");
}

// DoEvents dispatches the calling thread's waiting messages and leaves WM_QUIT.
LONG g_handled = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 1) ++g_handled;
  return DefWindowProcA(w, m, wp, lp);
}

TEST_F(StartupTest, DoEventsHandlesWaitingMessagesAndStopsAtQuit) {
  HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc));
  g_handled = 0;
  for (int i = 0; i < 3; ++i) PostMessageA(window, WM_USER + 1, 0, 0);
  DoEvents();
  EXPECT_EQ(g_handled, 3);
  PostMessageA(window, WM_USER + 1, 0, 0);
  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);  // queued in order, unlike PostQuitMessage
  PostMessageA(window, WM_USER + 1, 0, 0);
  DoEvents();
  EXPECT_EQ(g_handled, 4);  // stopped before the quit message
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
  DoEvents();
  EXPECT_EQ(g_handled, 5);
  DoEvents();  // nothing waiting: returns at once
  DestroyWindow(window);
}

TEST_F(StartupTest, StartThreadOwnsOrClosesTheHandle) {
  HANDLE handle = nullptr;
  static volatile LONG ran = 0;
  ASSERT_TRUE(StartThread([](void* p) { InterlockedExchange(&ran, static_cast<LONG>(reinterpret_cast<intptr_t>(p))); },
                          reinterpret_cast<void*>(12), &handle));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(ran, 12);
  CloseHandle(handle);
  EXPECT_FALSE(StartThread(nullptr));
  // Many threads with closed handles leave no handles behind.
  DWORD before = 0, after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &before);
  static volatile LONG finished = 0;
  finished = 0;
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(StartThread([](void*) { InterlockedIncrement(&finished); }));
  for (int i = 0; i < 500 && finished < 50; ++i) Sleep(10);
  Sleep(100);
  GetProcessHandleCount(GetCurrentProcess(), &after);
  EXPECT_EQ(finished, 50);
  EXPECT_LE(after, before + 2);
}

}  // namespace
}  // namespace quillet
