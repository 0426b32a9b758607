#include "runtime/runtime_state.h"

#include <ole2.h>

#include <algorithm>
#include <vector>

#include "runtime/dll_command.h"
#include "runtime/support_library.h"
#include "runtime/window_template.h"

namespace quillet {
namespace {

constexpr char kOwnerWindowClass[] = "QuilletRuntimeOwner";
// How long shut-down lets the program's threads leave before it keeps the
// DLL modules loaded for them instead (a fetch may wait 30 s for its server).
constexpr DWORD kProgramThreadsLeaveMs = 1000;
constexpr DWORD kThreadPollMs = 5;

struct IdleCallback {
  HWND window;
  IdleRoutine routine;
  intptr_t argument;
};

struct RuntimeState {
  std::string program_directory;
  std::string module_directory;
  int build_mode = 0;
  int reserved = 0;
  int serial_number = 0;
  DWORD main_thread = 0;
  HWND owner_window = nullptr;
  bool ole_initialised = false;
  std::vector<ExitProcedure> exit_procedures;
  std::vector<IdleCallback> idle_callbacks;
  volatile LONG shutdown_started = 0;
  volatile LONG program_threads = 0;
};

// Never destroyed: threads still running while the process ends read it.
RuntimeState& State() {
  static RuntimeState* state = new RuntimeState;
  return *state;
}

void EndProcess(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }
ProcessEnder g_process_ender = EndProcess;

// Waits up to `wait_ms` for the threads the program started to end, handling
// messages sent to this thread meanwhile; true when none is left.
bool WaitForProgramThreads(DWORD wait_ms) {
  const DWORD start = GetTickCount();
  while (State().program_threads > 0 && GetTickCount() - start < wait_ms) {
    // A worker may be sending to a window of this thread.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kThreadPollMs, QS_SENDMESSAGE);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  }
  return State().program_threads == 0;
}

LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kMessageExitOnMainThread) {
    // During shut-down the main thread still handles sent messages (an exit
    // procedure pumping, the wait for program threads); the exit under way
    // keeps its own code and finishes its work, and the worker's call returns.
    if (!ShutdownStarted()) RuntimeExit(static_cast<int>(wparam));
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

const std::string& ProgramDirectory() { return State().program_directory; }
const std::string& ModuleDirectory() { return State().module_directory; }
void SetProgramDirectory(const std::string& directory) { State().program_directory = directory; }
void SetModuleDirectory(const std::string& directory) { State().module_directory = directory; }

void StoreModuleDirectory(HMODULE module) {
  char path[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameA(module, path, sizeof path);
  std::string full(path, n);
  size_t cut = full.find_last_of('\\');
  State().module_directory = cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
}

int RuntimeBuildMode() { return State().build_mode; }
int RuntimeReserved() { return State().reserved; }
int ProgramSerialNumber() { return State().serial_number; }
void SetProgramIdentity(int build_mode, int reserved, int serial_number_plus_one) {
  State().build_mode = build_mode;
  State().reserved = reserved;
  State().serial_number = serial_number_plus_one;
}

void SetMainThread(DWORD thread_id) { State().main_thread = thread_id; }
DWORD MainThreadId() { return State().main_thread; }
bool IsMainThread() { return State().main_thread == 0 || State().main_thread == GetCurrentThreadId(); }

bool CreateOwnerWindow() {
  if (State().owner_window != nullptr) return true;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = OwnerWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = kOwnerWindowClass;
  RegisterClassA(&window_class);  // already registered is fine
  State().owner_window =
      CreateWindowExA(WS_EX_TOOLWINDOW, kOwnerWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  return State().owner_window != nullptr;
}

HWND OwnerWindow() { return State().owner_window; }

void InitialiseOleOnce() {
  if (State().ole_initialised) return;
  State().ole_initialised = SUCCEEDED(OleInitialize(nullptr));
}

void RegisterExitProcedure(ExitProcedure procedure) {
  auto& list = State().exit_procedures;
  if (procedure == nullptr || std::find(list.begin(), list.end(), procedure) != list.end()) return;
  list.push_back(procedure);
}

void ClearExitProcedures() { State().exit_procedures.clear(); }
size_t ExitProcedureCount() { return State().exit_procedures.size(); }

void RegisterIdleCallback(HWND window, IdleRoutine routine, intptr_t argument) {
  State().idle_callbacks.push_back(IdleCallback{window, routine, argument});
}

void RemoveIdleCallback(HWND window, IdleRoutine routine) {
  auto& list = State().idle_callbacks;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const IdleCallback& c) { return c.window == window && c.routine == routine; }),
             list.end());
}

void RunIdleCallbacks() {
  auto& list = State().idle_callbacks;
  // Last registered first; a callback may register or remove entries, so
  // walk by index and re-check the bound each step.
  for (size_t i = list.size(); i-- > 0;) {
    if (i >= list.size()) continue;
    IdleCallback entry = list[i];
    if (entry.window != nullptr && !IsWindow(entry.window)) {
      list.erase(list.begin() + static_cast<ptrdiff_t>(i));
      continue;
    }
    entry.routine(entry.window, entry.argument);
  }
}

size_t IdleCallbackCount() { return State().idle_callbacks.size(); }

bool ShutdownStarted() { return State().shutdown_started != 0; }

void ProgramThreadStarted() { InterlockedIncrement(&State().program_threads); }
void ProgramThreadEnded() { InterlockedDecrement(&State().program_threads); }

void RuntimeShutdown(int exit_code) {
  (void)exit_code;
  RuntimeState& state = State();
  if (InterlockedExchange(&state.shutdown_started, 1) != 0) return;
  state.idle_callbacks.clear();
  ReleaseLoadedWindows();

  // Exit procedures may register more; take the list as it stands.
  std::vector<ExitProcedure> procedures;
  procedures.swap(state.exit_procedures);
  for (size_t i = 0; i < procedures.size(); ++i) procedures[i](static_cast<int>(i));

  ShutdownSupportLibraries();
  // A thread returning into a freed module would crash the ending process.
  if (WaitForProgramThreads(kProgramThreadsLeaveMs)) ReleaseDllCommands();
  if (state.owner_window != nullptr) {
    DestroyWindow(state.owner_window);
    state.owner_window = nullptr;
  }
  if (state.ole_initialised) {
    OleUninitialize();
    state.ole_initialised = false;
  }
}

void RuntimeExit(int exit_code) {
  if (!IsMainThread()) {
    HWND owner = State().owner_window;
    if (owner != nullptr && IsWindow(owner)) {
      SendMessageA(owner, kMessageExitOnMainThread, static_cast<WPARAM>(exit_code), 0);
    }
    if (!ShutdownStarted()) g_process_ender(exit_code);
    return;
  }
  RuntimeShutdown(exit_code);
  g_process_ender(exit_code);
}

ProcessEnder SetProcessEnder(ProcessEnder ender) {
  ProcessEnder previous = g_process_ender;
  g_process_ender = ender ? ender : EndProcess;
  return previous;
}

}  // namespace quillet
