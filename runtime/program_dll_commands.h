// The program's table of DLL commands, gathered from each subsystem's list.
// Each list file holds lines
//   QUILLET_DLL_COMMAND(Name, "file.dll", "ExportName", ReturnType(ParamTypes...))
// A function is declared once, in the lowest layer that calls it; layers
// above use that declaration. An empty DLL name searches the default DLLs;
// an export name "#N" binds by ordinal.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <winhttp.h>

#include "runtime/dll_command.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

enum ProgramDllCommand : int {
#define QUILLET_DLL_COMMAND(name, dll, function, signature) kDll_##name,
#include "runtime/dll_commands.def"
#include "http/dll_commands.def"
#include "ui/core/dll_commands.def"
#include "ui/controls/dll_commands.def"
#include "app/dll_commands.def"
#undef QUILLET_DLL_COMMAND
  kProgramDllCommandCount
};

extern const char* const kProgramDllNames[];
extern const char* const kProgramFunctionNames[];

// Installs the program's table (done by runtime initialisation; tests may call it).
void InstallProgramDllCommands();

// dll::Name(args...) binds on first call, then calls through the stored address.
namespace dll {
#define QUILLET_DLL_COMMAND(name, dll, function, signature) \
  inline constexpr DllFunction<kDll_##name, signature> name{};
#include "runtime/dll_commands.def"
#include "http/dll_commands.def"
#include "ui/core/dll_commands.def"
#include "ui/controls/dll_commands.def"
#include "app/dll_commands.def"
#undef QUILLET_DLL_COMMAND
}  // namespace dll

}  // namespace quillet
