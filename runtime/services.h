// The program header the runtime reads at initialisation, and the service
// table: the fixed entry points through which the program's routines reach
// the runtime.
#pragma once
#include <cstdint>

#include "runtime/library_command_routines.h"
#include "runtime/support_library.h"
#include "runtime/value.h"

namespace quillet {

// Thirteen words on i686. On x86_64 the pointer fields (start-up sub,
// constant region start, window template, the three tables) widen to 8 bytes.
struct ProgramHeader {
  int32_t build_mode;
  int32_t reserved;
  int32_t serial_number;  // the runtime keeps it plus one
  int (*startup_sub)();   // also the base of event-handler offsets
  const void* constant_region_start;
  uint32_t constant_region_length;
  const void* window_template;
  uint32_t window_template_length;
  int32_t support_library_count;
  const SupportLibrary* const* support_libraries;
  int32_t dll_command_count;
  const char* const* dll_names;
  const char* const* function_names;
};
#if defined(__i386__)
static_assert(sizeof(ProgramHeader) == 13 * 4, "the program header is thirteen words");
#endif

enum UtilitySelector : int {
  kUtilityFileSearchStep = 0,
  kUtilityCloseFileSearch = 1,
  kUtilityMakeArrayWritable = 2,    // element size, address of the Array variable
  kUtilityRegisterExitProcedure = 3,  // routine
  kUtilityReadDataObjectProperty = 4,
  kUtilityWriteDataObjectProperty = 5,
  kUtilityInitialiseRuntime = 6,    // address of the program header
};

using UnitPropertyService = void (*)();

struct ServiceTable {
  void (*report_runtime_error)(int code, int32_t location, int32_t position);  // does not return
  // Binds (first time) and answers the DLL command's address; the typed
  // caller (DllFunction) pushes the arguments and checks the stack after.
  void* (*call_dll_command)(int index);
  ArgTriple (*call_support_library_command)(int library_index, LibraryCommandRoutine routine, int argument_count,
                                            const ArgTriple* arguments);
  ArgTriple (*call_library_command)(LibraryCommandRoutine routine, int argument_count, const ArgTriple* arguments);
  UnitPropertyService read_unit_property;   // not used by this program (null)
  UnitPropertyService write_unit_property;  // not used by this program (null)
  void* (*allocate)(size_t size);
  void* (*reallocate)(void* block, size_t size);
  void (*free)(void* block);
  void (*exit)(int exit_code);
  void (*run_message_loop)();
  void (*load_window)(uint32_t window_id);
  intptr_t (*utility)(int selector, intptr_t argument1, intptr_t argument2);
};

const ServiceTable& RuntimeServices();

// Runtime initialisation from the program header (kUtilityInitialiseRuntime).
void InitialiseRuntime(const ProgramHeader* header);

// Run by the start routine right after runtime initialisation: direction flag
// cleared, floating point reset to its default state (exceptions masked,
// 64-bit precision, round to nearest).
void ResetProcessorState();

}  // namespace quillet
