// Process-wide runtime state read by the other runtime services.
#pragma once
#include <string>

namespace quillet {

constexpr int kBuildModeDebug = 2;

// Program directory without trailing separator; module directory with one.
const std::string& ProgramDirectory();
const std::string& ModuleDirectory();
void SetProgramDirectory(const std::string& directory);
void SetModuleDirectory(const std::string& directory);

int RuntimeBuildMode();

// Exit procedures run in registration order at normal shut-down.
using ExitProcedure = void (*)(int position);
void RegisterExitProcedure(ExitProcedure procedure);
void ClearExitProcedures();

// Service 9. On the main thread: full shut-down, then the process ends.
// On another thread: hands the exit to the main thread; returns only when
// the main thread is already shutting down.
void RuntimeExit(int exit_code);

}  // namespace quillet
