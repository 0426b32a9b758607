// Start-up time to the first frame presented: the real widget's start-up,
// against a bare layered window that starts GDI+ and draws a fill and a line
// of text, each in a fresh process of this program, alternating (goal: the
// widget at most 1.5x the bare window).
// Usage: bench_startup [rounds]
// The driver spawns itself as "--child widget|bare <launch stamp>"; the child
// prints the microseconds from that stamp to its first visible frame and ends
// at once, so neither teardown nor anything after the first frame is timed.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/program.h"
#include "bench/outcome.h"
#include "app/widget.h"
#include "runtime/runtime_state.h"
#include "runtime/services.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/gdiplus_types.h"
#include "ui/core/host_window.h"

namespace {

constexpr double kGoalRatio = 1.5;
constexpr int kDefaultRounds = 15;
constexpr DWORD kChildTimeoutMs = 30000;
constexpr uint64_t kFileTimeTicksPerMicrosecond = 10;
constexpr UINT kChildFailed = 2;

// The widget's window: same place and size as in the program's template.
constexpr int kWindowLeft = 50, kWindowTop = 50, kWindowWidth = 380, kWindowHeight = 250;

uint64_t NowFileTime() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// ---- Child side ----

uint64_t g_launch_stamp = 0;

// Reports the time since launch on stdout and ends the process here, so
// teardown is never part of the measurement.
[[noreturn]] void ReportAndExit() {
  uint64_t elapsed_us = (NowFileTime() - g_launch_stamp) / kFileTimeTicksPerMicrosecond;
  char line[32];
  int length = std::snprintf(line, sizeof line, "%llu\n", static_cast<unsigned long long>(elapsed_us));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
  ExitProcess(0);
}

// A frame is on screen once the main window is visible with a frame pushed
// and the show has finished (the display maps the window only after the
// show's own messages), so the clock stops at the first message fetched
// after that. The widget pushes its first frame to the hidden window and
// the template's show makes it appear; a push to the visible window counts
// at once.
bool g_frame_pushed = false;
bool g_shown = false;

bool IsMainWindow(HWND window) {
  quillet::HostWindow* host = quillet::app::MainHost;
  return host != nullptr && window != nullptr && window == host->Window();
}

void OnPresent(HWND window, bool) {
  if (!IsMainWindow(window)) return;
  g_frame_pushed = true;
  if (IsWindowVisible(window)) ReportAndExit();
}

LRESULT CALLBACK OnWindowMessageDone(int code, WPARAM wparam, LPARAM lparam) {
  const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && !g_shown && message->message == WM_WINDOWPOSCHANGED && g_frame_pushed &&
      IsMainWindow(message->hwnd) && IsWindowVisible(message->hwnd)) {
    g_shown = true;
    // Something to fetch, so the clock never waits on an idle queue.
    PostMessageW(message->hwnd, WM_NULL, 0, 0);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK OnMessageFetched(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && g_shown) ReportAndExit();
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Exactly what the exe's entry point does; the message loop never ends here
// because the first frame ends the process.
int RunWidgetChild() {
  quillet::SetPresentObserver(&OnPresent);
  const DWORD thread = GetCurrentThreadId();
  if (!SetWindowsHookExW(WH_CALLWNDPROCRET, &OnWindowMessageDone, nullptr, thread) ||
      !SetWindowsHookExW(WH_GETMESSAGE, &OnMessageFetched, nullptr, thread)) {
    return kChildFailed;
  }
  quillet::StoreModuleDirectory();
  quillet::app::ProgramStartRoutine(quillet::RuntimeServices());
  return kChildFailed;
}

// The baseline binds GDI+ itself, as a bare program without our runtime would.
struct BareGdiplus {
  using Startup = quillet::GpStatus(WINAPI*)(ULONG_PTR*, const quillet::GdiplusStartupInputFlat*, void*);
  using CreateFromHDC = quillet::GpStatus(WINAPI*)(HDC, quillet::GpGraphics**);
  using SetSmoothingMode = quillet::GpStatus(WINAPI*)(quillet::GpGraphics*, int);
  using SetTextRenderingHint = quillet::GpStatus(WINAPI*)(quillet::GpGraphics*, int);
  using GraphicsClear = quillet::GpStatus(WINAPI*)(quillet::GpGraphics*, quillet::ARGB);
  using CreateSolidFill = quillet::GpStatus(WINAPI*)(quillet::ARGB, quillet::GpSolidFill**);
  using FillRectangleI = quillet::GpStatus(WINAPI*)(quillet::GpGraphics*, quillet::GpBrush*, int, int, int, int);
  using FamilyFromName = quillet::GpStatus(WINAPI*)(const wchar_t*, quillet::GpFontCollection*,
                                                    quillet::GpFontFamily**);
  using MakeFont = quillet::GpStatus(WINAPI*)(const quillet::GpFontFamily*, float, int, int, quillet::GpFont**);
  using DrawString = quillet::GpStatus(WINAPI*)(quillet::GpGraphics*, const wchar_t*, int, const quillet::GpFont*,
                                                const quillet::GpRectF*, const quillet::GpStringFormat*,
                                                const quillet::GpBrush*);

  Startup startup = nullptr;
  CreateFromHDC create_from_hdc = nullptr;
  SetSmoothingMode set_smoothing_mode = nullptr;
  SetTextRenderingHint set_text_rendering_hint = nullptr;
  GraphicsClear graphics_clear = nullptr;
  CreateSolidFill create_solid_fill = nullptr;
  FillRectangleI fill_rectangle = nullptr;
  FamilyFromName family_from_name = nullptr;
  MakeFont create_font = nullptr;
  DrawString draw_string = nullptr;

  template <typename F>
  static bool Bind(HMODULE dll, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return out != nullptr;
  }

  bool Load() {
    HMODULE dll = LoadLibraryW(L"gdiplus.dll");
    return dll && Bind(dll, "GdiplusStartup", startup) && Bind(dll, "GdipCreateFromHDC", create_from_hdc) &&
           Bind(dll, "GdipSetSmoothingMode", set_smoothing_mode) &&
           Bind(dll, "GdipSetTextRenderingHint", set_text_rendering_hint) &&
           Bind(dll, "GdipGraphicsClear", graphics_clear) && Bind(dll, "GdipCreateSolidFill", create_solid_fill) &&
           Bind(dll, "GdipFillRectangleI", fill_rectangle) &&
           Bind(dll, "GdipCreateFontFamilyFromName", family_from_name) &&
           Bind(dll, "GdipCreateFont", create_font) && Bind(dll, "GdipDrawString", draw_string);
  }
};

constexpr int kSmoothingAntiAlias = 4;
constexpr int kTextAntiAlias = 4;
constexpr int kUnitPixel = 2;
constexpr int kFontStyleRegular = 0;
constexpr float kFontSize = 20.0f;
constexpr wchar_t kFontFace[] = L"宋体";  // the widget's default face
constexpr quillet::ARGB kFrameColour = 0xBEF0F0F0;
constexpr quillet::ARGB kTextColour = 0xC8FF0000;
constexpr quillet::GpRectF kTextRect = {8, 88, 364, 88};
constexpr uint32_t kBitsPerPixel = 32;

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

// GDI+ start-up, a layered popup of the widget's size, a translucent fill and
// the widget's first text drawn into a 32-bit DIB, one push, shown.
int RunBareChild() {
  BareGdiplus gdiplus;
  if (!gdiplus.Load()) return kChildFailed;
  ULONG_PTR token = 0;
  quillet::GdiplusStartupInputFlat input = {1, nullptr, 0, 0};
  if (gdiplus.startup(&token, &input, nullptr) != 0) return kChildFailed;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = BareWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.lpszClassName = L"BareStartupWindow";
  if (!RegisterClassExW(&window_class)) return kChildFailed;
  // At the display's scale, as the widget's own window is.
  HDC screen_dc = GetDC(nullptr);
  const quillet::DpiScale scale(GetDeviceCaps(screen_dc, LOGPIXELSX));
  ReleaseDC(nullptr, screen_dc);
  const RECT place = scale.Rect(RECT{kWindowLeft, kWindowTop, kWindowLeft + kWindowWidth, kWindowTop + kWindowHeight});
  const int width = place.right - place.left, height = place.bottom - place.top;
  const quillet::GpRectF text_rect = scale.Rect(kTextRect);
  HWND window = CreateWindowExW(WS_EX_LAYERED, window_class.lpszClassName, L"Quillet", WS_POPUP, place.left,
                                place.top, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) return kChildFailed;

  HDC screen = GetDC(window);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = kBitsPerPixel;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dc || !bitmap) return kChildFailed;
  SelectObject(dc, bitmap);

  quillet::GpGraphics* g = nullptr;
  quillet::GpSolidFill* frame_brush = nullptr;
  quillet::GpSolidFill* text_brush = nullptr;
  quillet::GpFontFamily* family = nullptr;
  quillet::GpFont* font = nullptr;
  if (gdiplus.create_from_hdc(dc, &g) != 0 || gdiplus.create_solid_fill(kFrameColour, &frame_brush) != 0 ||
      gdiplus.create_solid_fill(kTextColour, &text_brush) != 0 || gdiplus.family_from_name(kFontFace, nullptr, &family) != 0 ||
      gdiplus.create_font(family, scale.Float(kFontSize), kFontStyleRegular, kUnitPixel, &font) != 0) {
    return kChildFailed;
  }
  gdiplus.set_smoothing_mode(g, kSmoothingAntiAlias);
  gdiplus.set_text_rendering_hint(g, kTextAntiAlias);
  gdiplus.graphics_clear(g, 0);
  gdiplus.fill_rectangle(g, reinterpret_cast<quillet::GpBrush*>(frame_brush), 0, 0, static_cast<float>(width),
                         static_cast<float>(height));
  if (gdiplus.draw_string(g, L"你好", -1, font, &text_rect, nullptr,
                          reinterpret_cast<quillet::GpBrush*>(text_brush)) != 0) {
    return kChildFailed;
  }

  SIZE size = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (!UpdateLayeredWindow(window, nullptr, nullptr, &size, dc, &source, 0, &blend, ULW_ALPHA)) return kChildFailed;
  ShowWindow(window, SW_SHOW);
  // Stops where the widget's clock stops: at the first message fetched
  // after the show.
  PostMessageW(window, WM_NULL, 0, 0);
  MSG message;
  GetMessageW(&message, nullptr, 0, 0);
  ReportAndExit();
}

// ---- Driver side ----

// Starts this program as a child of the given kind; answers the child's
// figure in microseconds, or -1 when it failed or hung.
double TimeChild(const std::wstring& exe, const wchar_t* kind) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return -1;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};

  uint64_t stamp = NowFileTime();
  std::wstring command = L"\"" + exe + L"\" --child " + kind + L" " + std::to_wstring(stamp);
  BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &process);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return -1;
  }

  double result = -1;
  DWORD exit_code = kChildFailed;
  if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, kChildFailed);
    WaitForSingleObject(process.hProcess, INFINITE);
  } else if (GetExitCodeProcess(process.hProcess, &exit_code) && exit_code == 0) {
    std::string output;
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    if (!output.empty() && output[0] >= '0' && output[0] <= '9') result = std::strtod(output.c_str(), nullptr);
  }
  CloseHandle(read_end);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int RunDriver(int rounds) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return quillet::bench::kCouldNotRun;
  const std::wstring exe(path, length);

  // One unrecorded pair first: the first start of each path loads files
  // and fonts the later ones find cached.
  TimeChild(exe, L"widget");
  TimeChild(exe, L"bare");

  std::vector<double> widget, bare;
  for (int i = 0; i < rounds; ++i) {
    // Alternate which goes first so neither always follows the other.
    const wchar_t* order[2] = {L"widget", L"bare"};
    if (i % 2) std::swap(order[0], order[1]);
    for (const wchar_t* kind : order) {
      double us = TimeChild(exe, kind);
      if (us < 0) {
        std::printf("start-up: the %ls child failed in round %d\n", kind, i + 1);
        std::fflush(stdout);
        return quillet::bench::kCouldNotRun;
      }
      (std::wcscmp(kind, L"widget") == 0 ? widget : bare).push_back(us);
    }
  }

  double widget_ms = Median(widget) / 1000, bare_ms = Median(bare) / 1000;
  double ratio = bare_ms > 0 ? widget_ms / bare_ms : 0;
  bool ok = ratio > 0 && ratio <= kGoalRatio;
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  std::printf("start-up to first frame presented at %d DPI: widget %.1f ms, bare layered window with GDI+ %.1f ms "
              "(medians of %d), ratio %.2f (goal <= %.2f) %s\n",
              dpi, widget_ms, bare_ms, rounds, ratio, kGoalRatio, ok ? "OK" : "MISSED");
  std::fflush(stdout);
  return ok ? quillet::bench::kGoalsMet : quillet::bench::kGoalMissed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
    g_launch_stamp = std::strtoull(argv[3], nullptr, 10);
    if (std::strcmp(argv[2], "widget") == 0) ExitProcess(RunWidgetChild());
    if (std::strcmp(argv[2], "bare") == 0) ExitProcess(RunBareChild());
    ExitProcess(kChildFailed);
  }
  int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
  if (rounds < 1) rounds = kDefaultRounds;
  ExitProcess(RunDriver(rounds));
}
