// Runtime initialisation for test exes: the program's DLL-command table, the
// three support libraries, the constant region, the owner window and main
// thread, and an empty window template (or one the test gives).
#pragma once
#include <cstddef>
#include <string>

#include "runtime/services.h"

namespace quillet::testing_support {

// A header like the program's, with `window_template` (default: no windows).
ProgramHeader MakeTestProgramHeader(const std::string* window_template = nullptr, int (*startup_sub)() = nullptr);

// Runs runtime initialisation (kUtilityInitialiseRuntime) with MakeTestProgramHeader().
void InitialiseRuntimeForTests();

// The start-up sub of test headers: event offsets are taken from it.
int TestStartupSub();

}  // namespace quillet::testing_support
