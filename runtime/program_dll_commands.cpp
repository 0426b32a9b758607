#include "runtime/program_dll_commands.h"

namespace quillet {

const char* const kProgramDllNames[] = {
#define QUILLET_DLL_COMMAND(name, dll, function, signature) dll,
#include "runtime/dll_commands.def"
#include "http/dll_commands.def"
#include "ui/core/dll_commands.def"
#include "ui/controls/dll_commands.def"
#include "app/dll_commands.def"
#undef QUILLET_DLL_COMMAND
    nullptr};

const char* const kProgramFunctionNames[] = {
#define QUILLET_DLL_COMMAND(name, dll, function, signature) function,
#include "runtime/dll_commands.def"
#include "http/dll_commands.def"
#include "ui/core/dll_commands.def"
#include "ui/controls/dll_commands.def"
#include "app/dll_commands.def"
#undef QUILLET_DLL_COMMAND
    nullptr};

void InstallProgramDllCommands() {
  InstallDllCommandTable(kProgramDllCommandCount, kProgramDllNames, kProgramFunctionNames);
}

}  // namespace quillet
