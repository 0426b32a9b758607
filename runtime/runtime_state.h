// Process-wide runtime state read by the other runtime services: directories,
// build mode, main thread, the invisible owner window, exit procedures, idle
// callbacks, and the exit / shut-down service.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace quillet {

constexpr int kBuildModeDebug = 2;

// The message a worker sends to the owner window to hand an exit to the main thread.
constexpr UINT kMessageExitOnMainThread = WM_APP + 999;

// Program directory without trailing separator; module directory with one.
const std::string& ProgramDirectory();
const std::string& ModuleDirectory();
void SetProgramDirectory(const std::string& directory);
void SetModuleDirectory(const std::string& directory);
// The module path cut after its last backslash (backslash kept).
void StoreModuleDirectory(HMODULE module = nullptr);

int RuntimeBuildMode();
int RuntimeReserved();
int ProgramSerialNumber();  // the header's serial number plus one
void SetProgramIdentity(int build_mode, int reserved, int serial_number_plus_one);

// Main thread and the invisible owner window (created by runtime initialisation).
void SetMainThread(DWORD thread_id);
DWORD MainThreadId();
// Before initialisation every thread counts as the main thread.
bool IsMainThread();
// Registers the owner window's class and creates it; false on failure.
bool CreateOwnerWindow();
HWND OwnerWindow();
// OLE is initialised once; shut-down uninitialises it only if it was done here.
void InitialiseOleOnce();

// Exit procedures run in registration order at normal shut-down, each with
// its list position (from 0). Registering one twice keeps the first.
using ExitProcedure = void (*)(int position);
void RegisterExitProcedure(ExitProcedure procedure);
void ClearExitProcedures();
size_t ExitProcedureCount();

// Idle callbacks: called by the message loop while idle, last registered
// first; an entry whose window no longer exists is dropped instead.
using IdleRoutine = void (*)(HWND window, intptr_t argument);
void RegisterIdleCallback(HWND window, IdleRoutine routine, intptr_t argument);
void RemoveIdleCallback(HWND window, IdleRoutine routine);
void RunIdleCallbacks();
size_t IdleCallbackCount();

bool ShutdownStarted();

// Threads started by StartThread that still run the program's code. A
// worker may be inside a module bound for a DLL command (a fetch waiting in
// WinHttp), so shut-down frees those modules only once none is left.
void ProgramThreadStarted();
void ProgramThreadEnded();

// The shut-down work on the main thread (exit procedures, support libraries,
// DLL modules, owner window, OLE). Runs once; the process is not ended. The
// DLL modules stay loaded when threads of the program are still running.
void RuntimeShutdown(int exit_code);

// The service table's exit entry. On the main thread: full shut-down, then the process ends.
// On another thread: hands the exit to the main thread; returns only when
// the main thread is already shutting down.
void RuntimeExit(int exit_code);

// Seam for tests: how the process finally ends (default ExitProcess).
using ProcessEnder = void (*)(int exit_code);
ProcessEnder SetProcessEnder(ProcessEnder ender);

}  // namespace quillet
