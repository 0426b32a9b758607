#include "runtime/services.h"

#include <windows.h>

#include "runtime/dll_command.h"
#include "runtime/heap.h"
#include "runtime/message_loop.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_state.h"
#include "runtime/window_template.h"

namespace quillet {
namespace {

void ServiceReportRuntimeError(int code, int32_t location, int32_t position) {
  RaiseRuntimeError(code, location, position);
}

void ServiceExit(int exit_code) {
  RuntimeExit(exit_code);
}

intptr_t ServiceUtility(int selector, intptr_t argument1, intptr_t argument2) {
  switch (selector) {
    case kUtilityMakeArrayWritable:
      MakeArrayWritable(static_cast<size_t>(argument1), reinterpret_cast<void**>(argument2));
      return 0;
    case kUtilityRegisterExitProcedure:
      RegisterExitProcedure(reinterpret_cast<ExitProcedure>(argument1));
      return 0;
    case kUtilityInitialiseRuntime:
      InitialiseRuntime(reinterpret_cast<const ProgramHeader*>(argument1));
      return 1;
    default:
      // File search and data-object properties: this program uses none.
      return 0;
  }
}

const ServiceTable kServices = {
    ServiceReportRuntimeError,
    ResolveDllCommand,
    CallSupportLibraryCommand,
    CallLibraryCommand,
    nullptr,
    nullptr,
    RtAlloc,
    RtRealloc,
    RtFree,
    ServiceExit,
    RunMessageLoop,
    LoadWindow,
    ServiceUtility,
};

std::string ExecutableDirectory() {
  char path[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string full(path, n);
  size_t cut = full.find_last_of('\\');
  return cut == std::string::npos ? std::string() : full.substr(0, cut);
}

}  // namespace

const ServiceTable& RuntimeServices() { return kServices; }

void InitialiseRuntime(const ProgramHeader* header) {
  // The heap needs nothing: it is the process heap (RtAlloc and friends use it directly).
  SetProgramIdentity(header->build_mode, header->reserved, header->serial_number + 1);
  InitialiseOleOnce();
  // The program directory becomes the current directory.
  std::string directory = ExecutableDirectory();
  SetProgramDirectory(directory);
  if (!directory.empty()) SetCurrentDirectoryA(directory.c_str());
  // The invisible owner window, and this thread as the main thread.
  CreateOwnerWindow();
  SetMainThread(GetCurrentThreadId());
  if (header->constant_region_length != 0) {
    SetConstantRegion(header->constant_region_start, header->constant_region_length);
  }
  // DLL command names now, addresses on first call.
  InstallDllCommandTable(header->dll_command_count, header->dll_names, header->function_names);
  // Support libraries receive the notification entry.
  InitialiseSupportLibraries(header->support_libraries, header->support_library_count);
  ReadWindowTemplate(header->window_template, header->window_template_length,
                     reinterpret_cast<uintptr_t>(header->startup_sub));
}

void ResetProcessorState() {
#if defined(__i386__) || defined(__x86_64__)
  // fninit: all exceptions masked, 64-bit precision, round to nearest.
  asm volatile("cld\n\tfninit" ::: "memory");
#endif
#if defined(__SSE2__)
  // Both builds do their floating point on the SSE unit. Its default: all exceptions masked, round to nearest.
  constexpr unsigned kDefaultMxcsr = 0x1F80;
  unsigned mxcsr = kDefaultMxcsr;
  asm volatile("ldmxcsr %0" ::"m"(mxcsr));
#endif
}

}  // namespace quillet
