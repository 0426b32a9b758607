// Message pumping, pausing and thread start.
#include "runtime/library_commands.h"
#include "runtime/message_loop.h"
#include "runtime/runtime_state.h"

namespace quillet {
namespace {

struct ThreadStart {
  void (*routine)(void*);
  void* parameter;
};

// The routine is a plain function of the program; the platform wants its own
// calling convention, so a small record carries routine and parameter across.
DWORD WINAPI RunThreadRoutine(LPVOID argument) {
  ThreadStart start = *static_cast<ThreadStart*>(argument);
  RtFree(argument);
  start.routine(start.parameter);
  ProgramThreadEnded();
  return 0;
}

}  // namespace

void DoEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Delay(int milliseconds) { Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds)); }

bool StartThread(void (*routine)(void*), void* parameter, HANDLE* handle) {
  if (handle != nullptr) *handle = nullptr;
  if (routine == nullptr) return false;
  auto* start = static_cast<ThreadStart*>(RtAlloc(sizeof(ThreadStart)));
  start->routine = routine;
  start->parameter = parameter;
  ProgramThreadStarted();  // before the thread runs, so shut-down never misses it
  HANDLE thread = CreateThread(nullptr, 0, RunThreadRoutine, start, 0, nullptr);
  if (thread == nullptr) {
    ProgramThreadEnded();
    RtFree(start);
    return false;
  }
  if (handle != nullptr) {
    *handle = thread;
  } else {
    CloseHandle(thread);
  }
  return true;
}

}  // namespace quillet
