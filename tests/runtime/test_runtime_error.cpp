// The runtime error reporter: box text byte for byte, window lines, exit code,
// exit procedures skipped, errors raised on a worker thread.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "runtime/heap.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_state.h"
#include "runtime/support_library.h"
#include "runtime/window_template.h"
#include "support/error_box_capture.h"
#include "support/runtime_for_tests.h"
#include "support/window_template_builder.h"

namespace quillet {
namespace {

using testing_support::ErrorBoxFragmentPattern;
using testing_support::ErrorBoxPattern;
using ::testing::ExitedWithCode;

// The numbered messages, by code.
const std::map<int, std::string> kTableMessages = {
    {1, "数组成员引用下标超出定义范围"},
    {2, "未得到所需要的数值型数据"},
    {3, "引用数组成员时维数不为1且不等于该数组目前所具有的维数"},
    {4, "数组成员引用下标必须大于等于1"},
    {5, "数据或数组类型不匹配"},
    {6, "调用DLL命令后发现堆栈错误"},
    {7, "子语句参数未返回数据或者返回了非系统基本类型或数组型数据"},
    {8, "被比较数据只能使用等于或不等于命令比较"},
    {9, "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围"},
    {10, "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零"},
    {11, "所提供参数的数据类型不符合要求"},
};

std::string BoxFor(int code, const std::string& message, const std::string& detail) {
  std::string box = "运行时出错!\r\n";
  if (code != 0) box += "\r\n错误代码：" + std::to_string(code) + "\r\n";
  if (!message.empty()) box += "\r\n错误信息：" + message + "\r\n";
  return box + detail;
}

class RuntimeErrorTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::InstallStderrErrorBox(); }
};

TEST_F(RuntimeErrorTest, TheDocumentedExample) {
  EXPECT_EXIT(RaiseRuntimeError(1, 67189893, 188), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n\r\n67189893, 188\r\n"));
}

TEST_F(RuntimeErrorTest, EveryTableCodeShowsItsMessage) {
  for (int code = 1; code <= 11; ++code) {
    EXPECT_STREQ(RuntimeErrorMessage(code), kTableMessages.at(code).c_str());
    EXPECT_EXIT(RaiseRuntimeError(code, 7, 9), ExitedWithCode(-1),
                ErrorBoxPattern(BoxFor(code, kTableMessages.at(code), "\r\n7, 9\r\n")))
        << "code " << code;
  }
  EXPECT_EQ(RuntimeErrorMessage(0), nullptr);
  EXPECT_EQ(RuntimeErrorMessage(12), nullptr);
}

TEST_F(RuntimeErrorTest, CodeZeroWithAndWithoutAMessage) {
  EXPECT_EXIT(ReportFatalMessage("", 0, 0), ExitedWithCode(-1), ErrorBoxPattern("运行时出错!\r\n\r\n0, 0\r\n"));
  EXPECT_EXIT(ReportFatalMessage(nullptr, 3, -4), ExitedWithCode(-1), ErrorBoxPattern("运行时出错!\r\n\r\n3, -4\r\n"));
  EXPECT_EXIT(ReportFatalMessage("出了点事", 1, 2), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：出了点事\r\n\r\n1, 2\r\n"));
}

TEST_F(RuntimeErrorTest, TheAllocatorReportsItsFailure) {
  const size_t kImpossible = ~static_cast<size_t>(0) - 0xFFFF;
  std::string message = "分配 " + std::to_string(kImpossible) + " 字节内存失败!";
  EXPECT_EXIT(RtAlloc(kImpossible), ExitedWithCode(-1), ErrorBoxPattern(BoxFor(0, message, "\r\n0, 0\r\n")));
  void* block = RtAlloc(16);
  EXPECT_EXIT(RtRealloc(block, kImpossible), ExitedWithCode(-1), ErrorBoxFragmentPattern(message));
  EXPECT_EQ(RtTryAlloc(kImpossible), nullptr);
  RtFree(block);
}

// Window lines name the window and unit from the template.
std::string TwoWindowTemplate() {
  using namespace testing_support;
  WindowSpec with_units{0x52010001, 0, 0, 10, 10, 0, 0, 0, "主窗口", "caption", {}, {}};
  with_units.units.push_back(UnitSpec{0x15, "按钮1", "BUTTON", "b", 0, 0, 5, 5, 0, {}});
  with_units.units.push_back(UnitSpec{0x16, "标签1", "STATIC", "s", 0, 0, 5, 5, 0, {}});
  WindowSpec bare{0x52010002, 0, 0, 10, 10, 0, 0, 0, "空窗口", "bare", {}, {}};
  return WindowTemplateBuilder().Add(with_units).Add(bare).Bytes();
}

class WindowLinesTest : public RuntimeErrorTest {
 protected:
  void SetUp() override {
    RuntimeErrorTest::SetUp();
    static const std::string layout = TwoWindowTemplate();
    ReadWindowTemplateForTest(layout);
  }
  static void ReadWindowTemplateForTest(const std::string& layout) {
    ReadWindowTemplate(layout.data(), layout.size(), reinterpret_cast<uintptr_t>(&testing_support::TestStartupSub));
  }
};

TEST_F(WindowLinesTest, WindowAndUnitNamed) {
  EXPECT_EXIT(RaiseRuntimeError(5, 0x52010001, 0x16), ExitedWithCode(-1),
              ErrorBoxPattern(BoxFor(5, kTableMessages.at(5),
                                     "\r\n1375797249, 22\r\n\"主窗口\"\r\n\"标签1\"\r\n")));
}

TEST_F(WindowLinesTest, PositionZeroNamesTheFirstUnit) {
  EXPECT_EXIT(RaiseRuntimeError(9, 0x52010001, 0), ExitedWithCode(-1),
              ErrorBoxPattern(BoxFor(9, kTableMessages.at(9), "\r\n1375797249, 0\r\n\"主窗口\"\r\n\"按钮1\"\r\n")));
}

TEST_F(WindowLinesTest, UnitNotFound) {
  EXPECT_EXIT(RaiseRuntimeError(10, 0x52010001, 0x99), ExitedWithCode(-1),
              ErrorBoxPattern(BoxFor(10, kTableMessages.at(10),
                                     "\r\n1375797249, 153\r\n\"主窗口\"\r\n未找到所指定的窗口组件\r\n")));
  EXPECT_EXIT(RaiseRuntimeError(10, 0x52010002, 0), ExitedWithCode(-1),
              ErrorBoxFragmentPattern("\r\n\"空窗口\"\r\n未找到所指定的窗口组件\r\n"));
}

TEST_F(WindowLinesTest, WindowNotFound) {
  EXPECT_EXIT(RaiseRuntimeError(3, 0x52010077, 1), ExitedWithCode(-1),
              ErrorBoxPattern(BoxFor(3, kTableMessages.at(3), "\r\n1375797367, 1\r\n未找到所指定的窗口\r\n")));
  // Bits 24..27 other than 2: no window lines at all.
  EXPECT_EXIT(RaiseRuntimeError(3, 0x53010001, 1), ExitedWithCode(-1),
              ErrorBoxPattern(BoxFor(3, kTableMessages.at(3), "\r\n1392574465, 1\r\n")));
}

void ExitProcedureThatMustNotRun(int) {
  std::fprintf(stderr, "exit procedure ran\n");
  std::fflush(stderr);
}

TEST_F(RuntimeErrorTest, ExitProceduresDoNotRunAfterAnError) {
  EXPECT_EXIT(
      {
        RegisterExitProcedure(ExitProcedureThatMustNotRun);
        RaiseRuntimeError(1, 0, 0);
      },
      ExitedWithCode(-1), "BOXTEXT:\\w*:END\n$");  // the box is the last thing written
}

int HandledEverything(int, const char* text) {
  std::fprintf(stderr, "handler saw: %s|\n", text);
  return 1;
}

TEST_F(RuntimeErrorTest, AHandlerThatDealsWithTheErrorSkipsTheBox) {
  EXPECT_EXIT(
      {
        SetRuntimeErrorHandler(HandledEverything);
        RaiseRuntimeError(2, 4, 5);
      },
      ExitedWithCode(-1), "handler saw: \\S+\r\n4, 5\r\n\\|\n$");
}

// An error raised on a worker: the box is shown on that thread, then the
// main thread performs the shut-down (exit procedures skipped) and ends the process.
DWORD g_main_thread_id = 0;

void PresentWithThread(const char* text, const char*) {
  std::fprintf(stderr, "box on %s thread: %s\n", GetCurrentThreadId() == g_main_thread_id ? "main" : "worker",
               std::strstr(text, "\r\n\r\n") ? "ok" : "?");
  std::fflush(stderr);
}

DWORD WINAPI RaiseOnWorker(LPVOID) {
  RaiseRuntimeError(1, 0, 0);
}

TEST_F(RuntimeErrorTest, AnErrorOnAWorkerHandsTheShutdownToTheMainThread) {
  EXPECT_EXIT(
      {
        testing_support::InitialiseRuntimeForTests();
        g_main_thread_id = GetCurrentThreadId();
        SetErrorBoxPresenter(PresentWithThread);
        RegisterExitProcedure(ExitProcedureThatMustNotRun);
        HANDLE worker = CreateThread(nullptr, 0, RaiseOnWorker, nullptr, 0, nullptr);
        // The main thread keeps handling messages; the hand-off arrives as one.
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        CloseHandle(worker);
        std::fprintf(stderr, "message loop ended\n");
      },
      ExitedWithCode(-1), "box on worker thread: ok\n$");
}

}  // namespace
}  // namespace quillet
