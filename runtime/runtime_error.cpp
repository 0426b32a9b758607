#include "runtime/runtime_error.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "runtime/runtime_state.h"
#include "runtime/window_template.h"

namespace quillet {
namespace {

const char* const kMessages[] = {
    nullptr,
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};
constexpr int kLastCode = 11;
constexpr uint32_t kWindowIdentifierKindMask = 0x0F000000;
constexpr uint32_t kWindowIdentifierKind = 0x02000000;
constexpr UINT kGbkCodePage = 936;

std::wstring Widen(const std::string& gbk) {
  int n = MultiByteToWideChar(kGbkCodePage, 0, gbk.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(kGbkCodePage, 0, gbk.c_str(), -1, &wide[0], n);
  return wide;
}

void ShowErrorBox(const char* gbk_text, const char* gbk_title) {
  MessageBoxW(nullptr, Widen(gbk_text).c_str(), Widen(gbk_title).c_str(), MB_OK | MB_ICONERROR);
}

ErrorBoxPresenter g_presenter = ShowErrorBox;
RuntimeErrorHandler g_handler = nullptr;
volatile LONG g_handler_running = 0;
volatile LONG g_error_count = 0;

}  // namespace

const char* RuntimeErrorMessage(int code) {
  if (code < 1 || code > kLastCode) return nullptr;
  return kMessages[code];
}

ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter) {
  ErrorBoxPresenter previous = g_presenter;
  g_presenter = presenter ? presenter : ShowErrorBox;
  return previous;
}

void SetRuntimeErrorHandler(RuntimeErrorHandler handler) { g_handler = handler; }

int RuntimeErrorCount() { return g_error_count; }

void ComposeErrorDetail(int32_t location, int32_t position, char* out, size_t capacity) {
  std::string detail;
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\r\n%d, %d", location, position);
  detail = numbers;
  if (location != 0 && (static_cast<uint32_t>(location) & kWindowIdentifierKindMask) == kWindowIdentifierKind) {
    WindowUnitNames names = LookUpWindowUnitNames(static_cast<uint32_t>(location), static_cast<uint32_t>(position));
    if (!names.window_found) {
      detail += "\r\n未找到所指定的窗口";
    } else {
      detail += "\r\n\"" + names.window_name + "\"";
      if (names.unit_found) {
        detail += "\r\n\"" + names.unit_name + "\"";
      } else {
        detail += "\r\n未找到所指定的窗口组件";
      }
    }
  }
  detail += "\r\n";
  std::snprintf(out, capacity, "%s", detail.c_str());
}

void ReportRuntimeError(int code, const char* message, int32_t location, int32_t position) {
  InterlockedIncrement(&g_error_count);
  char detail[1024];
  ComposeErrorDetail(location, position, detail, sizeof detail);
  std::string text_message = message ? message : "";

  bool handled = false;
  if (g_handler != nullptr && InterlockedExchange(&g_handler_running, 1) == 0) {
    handled = g_handler(code, (text_message + detail).c_str()) != 0;
    InterlockedExchange(&g_handler_running, 0);
  }

  if (!handled) {
    std::string box = "运行时出错!\r\n";
    if (code != 0) box += "\r\n错误代码：" + std::to_string(code) + "\r\n";
    if (!text_message.empty()) box += "\r\n错误信息：" + text_message + "\r\n";
    box += detail;
    g_presenter(box.c_str(), "错误");
  }
  if (RuntimeBuildMode() == kBuildModeDebug && IsDebuggerPresent()) DebugBreak();
  ClearExitProcedures();
  RuntimeExit(kProcessExitOnRuntimeError);
  // The main thread is already shutting down; this thread must not go on.
  ExitThread(static_cast<DWORD>(kProcessExitOnRuntimeError));
}

void RaiseRuntimeError(int code, int32_t location, int32_t position) {
  ReportRuntimeError(code, RuntimeErrorMessage(code), location, position);
}

void ReportFatalMessage(const char* message, int32_t location, int32_t position) {
  ReportRuntimeError(kErrorWithMessage, message, location, position);
}

}  // namespace quillet
