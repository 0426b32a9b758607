// What the build carries for the runtime: the program header, the window
// template, the support-library table, and the start routine.
#pragma once
#include "runtime/services.h"

namespace quillet::app {

extern const ProgramHeader kProgramHeader;

// The start routine: runtime initialisation, global initialisation, exit
// procedure, module start-up, start-up sub, start-up window, message loop.
int ProgramStartRoutine(const ServiceTable& services);

}  // namespace quillet::app
