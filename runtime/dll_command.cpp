#include "runtime/dll_command.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/runtime_error.h"
#include "runtime/runtime_state.h"

namespace quillet {
namespace {

// Tried in this order when a command names no DLL.
const char* const kDefaultDlls[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                    "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};
constexpr unsigned kOrdinalModulus = 65536;

struct DllCommandTables {
  int count = 0;
  const char* const* dll_names = nullptr;
  const char* const* function_names = nullptr;
  std::vector<void*> addresses;
  std::vector<HMODULE> modules;
  std::string dll_directory_override;
};

// Never destroyed: a worker still calling DLL commands while the process
// ends must find the tables intact.
DllCommandTables& Tables() {
  static DllCommandTables* tables = new DllCommandTables;
  return *tables;
}

// "#123" names an export by ordinal; anything else by name.
LPCSTR ExportName(const char* function_name) {
  if (function_name[0] == '#') {
    unsigned long ordinal = std::strtoul(function_name + 1, nullptr, 10) % kOrdinalModulus;
    return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(ordinal));
  }
  return function_name;
}

HMODULE LoadNamedDll(const char* file_name) {
  if (std::strchr(file_name, ':') != nullptr) return LoadLibraryA(file_name);
  const std::string& override_directory = Tables().dll_directory_override;
  if (!override_directory.empty()) {
    if (HMODULE m = LoadLibraryA((override_directory + "\\" + file_name).c_str())) return m;
  }
  std::string program_dir = ProgramDirectory();
  if (!program_dir.empty()) {
    if (HMODULE m = LoadLibraryA((program_dir + "\\" + file_name).c_str())) return m;
  }
  std::string module_dir = ModuleDirectory();
  if (!module_dir.empty()) {
    if (HMODULE m = LoadLibraryA((module_dir + file_name).c_str())) return m;
  }
  return LoadLibraryA(file_name);
}

[[noreturn]] void ReportBindFailure(const char* dll_name, const char* function_name) {
  std::string message;
  char buffer[1024];
  if (dll_name[0] == 0) {
    std::snprintf(buffer, sizeof buffer, "无法找到指定DLL库文件中的输出命令“%s”", function_name);
  } else {
    std::snprintf(buffer, sizeof buffer, "无法找到指定DLL库文件“%s”中的输出命令“%s”", dll_name, function_name);
  }
  ReportFatalMessage(buffer);
}

}  // namespace

void InstallDllCommandTable(int count, const char* const* dll_names, const char* const* function_names) {
  ReleaseDllCommands();
  DllCommandTables& tables = Tables();
  tables.count = count;
  tables.dll_names = dll_names;
  tables.function_names = function_names;
  tables.addresses.assign(count, nullptr);
  tables.modules.assign(count, nullptr);
}

int DllCommandCount() { return Tables().count; }

void SetDllDirectoryOverride(const char* directory) { Tables().dll_directory_override = directory ? directory : ""; }

namespace {

// Binds command `index`; a missing DLL or export is reported (the process
// ends) or, when not `report_failure`, answered as null.
void* BindDllCommand(int index, bool report_failure) {
  DllCommandTables& tables = Tables();
  if (index < 0 || index >= tables.count) RaiseRuntimeError(kErrorIndexOutOfRange);
  if (void* bound = tables.addresses[index]) return bound;

  const char* dll_name = tables.dll_names[index] ? tables.dll_names[index] : "";
  const char* function_name = tables.function_names[index] ? tables.function_names[index] : "";
  LPCSTR export_name = ExportName(function_name);

  // No lock: two threads binding the same index both load and store the same address.
  HMODULE module = nullptr;
  FARPROC address = nullptr;
  if (dll_name[0] == 0) {
    for (const char* candidate : kDefaultDlls) {
      HMODULE m = LoadLibraryA(candidate);
      if (m == nullptr) continue;
      address = GetProcAddress(m, export_name);
      if (address != nullptr) {
        module = m;
        break;
      }
      FreeLibrary(m);
    }
  } else {
    module = LoadNamedDll(dll_name);
    if (module != nullptr) {
      address = GetProcAddress(module, export_name);
      if (address == nullptr) {
        FreeLibrary(module);
        module = nullptr;
      }
    }
  }
  if (address == nullptr) {
    if (report_failure) ReportBindFailure(dll_name, function_name);
    return nullptr;
  }

  tables.modules[index] = module;
  tables.addresses[index] = reinterpret_cast<void*>(address);
  return tables.addresses[index];
}

}  // namespace

void* ResolveDllCommand(int index) { return BindDllCommand(index, true); }

void* TryResolveDllCommand(int index) { return BindDllCommand(index, false); }

void* DllCommandModule(int index) {
  const DllCommandTables& tables = Tables();
  if (index < 0 || index >= tables.count) return nullptr;
  return tables.modules[index];
}

void ReleaseDllCommands() {
  DllCommandTables& tables = Tables();
  for (HMODULE m : tables.modules) {
    if (m != nullptr) FreeLibrary(m);
  }
  tables.addresses.assign(tables.count, nullptr);
  tables.modules.assign(tables.count, nullptr);
}

#if defined(__i386__)
void RaiseStackImbalance() { RaiseRuntimeError(kErrorStackImbalance); }
#endif

}  // namespace quillet

#if defined(__i386__)
// uint64_t QuilletCallStdcallChecked(fn, words, count, stack_imbalance), cdecl.
asm(R"(
    .text
    .globl _QuilletCallStdcallChecked
_QuilletCallStdcallChecked:
    pushl %ebp
    movl  %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
    movl  %esp, %edi
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  call  *8(%ebp)
    xorl  %ecx, %ecx
    cmpl  %edi, %esp
    je    3f
    movl  $1, %ecx
    movl  %edi, %esp
3:  movl  20(%ebp), %ebx
    movl  %ecx, (%ebx)
    popl  %ebx
    popl  %edi
    popl  %esi
    popl  %ebp
    ret
)");
#endif
