#include "support/runtime_for_tests.h"

#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "support/window_template_builder.h"

namespace quillet::testing_support {
namespace {

const SupportLibrary* const kTestSupportLibraries[] = {&kCoreLibrary, &kThreadLibrary, &kAutomationLibrary};

const std::string& EmptyTemplate() {
  static const std::string empty = WindowTemplateBuilder().Bytes();
  return empty;
}

}  // namespace

int TestStartupSub() { return 0; }

ProgramHeader MakeTestProgramHeader(const std::string* window_template, int (*startup_sub)()) {
  const std::string& layout = window_template ? *window_template : EmptyTemplate();
  ProgramHeader header = {};
  header.build_mode = 3;
  header.serial_number = 41;
  header.startup_sub = startup_sub ? startup_sub : TestStartupSub;
  header.constant_region_start = LinkedConstantSectionStart();
  header.constant_region_length = static_cast<uint32_t>(LinkedConstantSectionLength());
  header.window_template = layout.data();
  header.window_template_length = static_cast<uint32_t>(layout.size());
  header.support_library_count = 3;
  header.support_libraries = kTestSupportLibraries;
  header.dll_command_count = kProgramDllCommandCount;
  header.dll_names = kProgramDllNames;
  header.function_names = kProgramFunctionNames;
  return header;
}

void InitialiseRuntimeForTests() {
  static const ProgramHeader header = MakeTestProgramHeader();
  InitialiseRuntime(&header);
}

}  // namespace quillet::testing_support
