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
  int32_t build_mode;                              // 0
  int32_t reserved;                                // 1
  int32_t serial_number;                           // 2: the runtime keeps it plus one
  int (*startup_sub)();                            // 3: also the base of event-handler offsets
  const void* constant_region_start;               // 4
  uint32_t constant_region_length;                 // 5
  const void* window_template;                     // 6
  uint32_t window_template_length;                 // 7
  int32_t support_library_count;                   // 8
  const SupportLibrary* const* support_libraries;  // 9
  int32_t dll_command_count;                       // 10
  const char* const* dll_names;                    // 11
  const char* const* function_names;               // 12
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
  void (*report_runtime_error)(int code, int32_t location, int32_t position);  // 0: does not return
  // 1: binds (first time) and answers the DLL command's address; the typed
  // caller (DllFunction) pushes the arguments and checks the stack after.
  void* (*call_dll_command)(int index);
  ArgTriple (*call_support_library_command)(int library_index, LibraryCommandRoutine routine, int argument_count,
                                            const ArgTriple* arguments);                      // 2
  ArgTriple (*call_library_command)(LibraryCommandRoutine routine, int argument_count,
                                    const ArgTriple* arguments);                              // 3
  UnitPropertyService read_unit_property;   // 4: not used by this program (null)
  UnitPropertyService write_unit_property;  // 5: not used by this program (null)
  void* (*allocate)(size_t size);                   // 6
  void* (*reallocate)(void* block, size_t size);    // 7
  void (*free)(void* block);                        // 8
  void (*exit)(int exit_code);                      // 9
  void (*run_message_loop)();                       // 10
  void (*load_window)(uint32_t window_id);          // 11
  intptr_t (*utility)(int selector, intptr_t argument1, intptr_t argument2);  // 12
};

const ServiceTable& RuntimeServices();

// Utility 6: runtime initialisation from the program header.
void InitialiseRuntime(const ProgramHeader* header);

// Start routine step 2: direction flag cleared, floating point reset to its
// default state (exceptions masked, 64-bit precision, round to nearest).
void ResetProcessorState();

}  // namespace quillet
