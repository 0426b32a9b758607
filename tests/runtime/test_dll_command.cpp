// DLL commands: lazy binding by name and ordinal, default DLLs, failures.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "runtime/dll_command.h"
#include "runtime/program_dll_commands.h"
#include "support/error_box_capture.h"

namespace quillet {
namespace {

using testing_support::ErrorBoxPattern;
using ::testing::ExitedWithCode;

// The ordinal under which `module` exports `name`, read from its export directory.
WORD ExportOrdinal(HMODULE module, const char* name) {
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) == 0) {
      return static_cast<WORD>(exports->Base + ordinals[i]);
    }
  }
  return 0;
}

class DllCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::InstallStderrErrorBox(); }
  void TearDown() override { ReleaseDllCommands(); }
  void Install(const char* const* dlls, const char* const* functions, int count) {
    InstallDllCommandTable(count, dlls, functions);
  }
};

TEST_F(DllCommandTest, BindsAtTheFirstCallAndLoadsTheDllOnce) {
  // A system DLL this process has not loaded yet.
  static const char* const kCandidates[][2] = {{"mpr.dll", "WNetGetLastErrorA"},
                                               {"wintrust.dll", "WinVerifyTrust"},
                                               {"msimg32.dll", "AlphaBlend"},
                                               {"imagehlp.dll", "CheckSumMappedFile"}};
  static const char* dlls[1];
  static const char* functions[1];
  for (const auto& candidate : kCandidates) {
    if (GetModuleHandleA(candidate[0]) == nullptr) {
      dlls[0] = candidate[0];
      functions[0] = candidate[1];
      break;
    }
  }
  if (dlls[0] == nullptr) GTEST_SKIP() << "every candidate DLL is already loaded";
  Install(dlls, functions, 1);
  EXPECT_EQ(DllCommandModule(0), nullptr);
  EXPECT_EQ(GetModuleHandleA(dlls[0]), nullptr);  // nothing bound ahead of use

  void* address = ResolveDllCommand(0);
  HMODULE module = static_cast<HMODULE>(DllCommandModule(0));
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module, GetModuleHandleA(dlls[0]));
  EXPECT_EQ(address, reinterpret_cast<void*>(GetProcAddress(module, functions[0])));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ResolveDllCommand(0), address);

  // The table holds exactly one reference: releasing it unloads the DLL.
  ReleaseDllCommands();
  EXPECT_EQ(DllCommandModule(0), nullptr);
  EXPECT_EQ(GetModuleHandleA(dlls[0]), nullptr);
}

TEST_F(DllCommandTest, CallsPassArgumentsAndResults) {
  static const char* const dlls[] = {"kernel32.dll", "user32.dll"};
  static const char* const functions[] = {"lstrlenA", "SetRect"};
  Install(dlls, functions, 2);
  EXPECT_EQ(CallDllCommand<int(LPCSTR)>(0, "quillet"), 7);
  RECT r = {};
  EXPECT_TRUE(CallDllCommand<BOOL(RECT*, int, int, int, int)>(1, &r, 1, 2, 3, 4));
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.bottom, 4);
}

TEST_F(DllCommandTest, AMissingExportEndsTheProcessAtItsFirstCall) {
  static const char* const dlls[] = {"kernel32.dll", "kernel32.dll"};
  static const char* const functions[] = {"GetTickCount", "NoSuchExportAnywhere"};
  EXPECT_EXIT(
      {
        Install(dlls, functions, 2);
        std::fprintf(stderr, "installed\n");
        CallDllCommand<DWORD()>(0);
        std::fprintf(stderr, "first command called\n");
        CallDllCommand<DWORD()>(1);
      },
      ExitedWithCode(-1),
      ::testing::AllOf(::testing::HasSubstr("installed\nfirst command called\n"),
                       ::testing::HasSubstr(ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“kernel32.dll”中的输出命令“NoSuchExportAnywhere”\r\n\r\n0, 0\r\n"))));
}

TEST_F(DllCommandTest, AMissingDllEndsTheProcessAtItsFirstCall) {
  static const char* const dlls[] = {"no_such_library_q.dll"};
  static const char* const functions[] = {"Anything"};
  Install(dlls, functions, 1);
  EXPECT_EXIT(CallDllCommand<int()>(0), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“no_such_library_q.dll”中的输出命令“Anything”\r\n\r\n0, 0\r\n"));
}

// A function only newer systems have: asking whether it exists binds it when
// it does, and leaves the table as it was (no module kept) when it does not.
TEST_F(DllCommandTest, AskingForAFunctionThatMayBeMissingNeverEndsTheProcess) {
  static const char* const dlls[] = {"kernel32.dll", "kernel32.dll", "no_such_library_q.dll"};
  static const char* const functions[] = {"GetTickCount", "NoSuchExportAnywhere", "Anything"};
  Install(dlls, functions, 3);
  void* present = TryResolveDllCommand(0);
  EXPECT_EQ(present, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(ResolveDllCommand(0), present);
  EXPECT_NE(DllCommandModule(0), nullptr);
  for (int missing : {1, 2}) {
    EXPECT_EQ(TryResolveDllCommand(missing), nullptr);
    EXPECT_EQ(TryResolveDllCommand(missing), nullptr);  // asked again: still no error
    EXPECT_EQ(DllCommandModule(missing), nullptr);
  }
  EXPECT_EQ(GetModuleHandleA("no_such_library_q.dll"), nullptr);
  // The program's own table: a function every supported system has.
  InstallProgramDllCommands();
  EXPECT_TRUE(dll::GetModuleHandleW.Available());
}

TEST_F(DllCommandTest, AnEmptyDllNameSearchesTheDefaultDlls) {
  static const char* const dlls[] = {"", "", ""};
  static const char* const functions[] = {"GetTickCount", "GetDesktopWindow", "NoSuchExportAnywhere"};
  Install(dlls, functions, 3);
  EXPECT_EQ(ResolveDllCommand(0), reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  // Found only in the third default DLL.
  EXPECT_EQ(CallDllCommand<HWND()>(1), GetDesktopWindow());
  EXPECT_EQ(DllCommandModule(1), GetModuleHandleA("user32.dll"));
  EXPECT_EXIT(ResolveDllCommand(2), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExportAnywhere”\r\n\r\n0, 0\r\n"));
}

TEST_F(DllCommandTest, OrdinalNamesBindByOrdinalModulo65536) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  WORD ordinal = ExportOrdinal(kernel, "GetTickCount");
  ASSERT_NE(ordinal, 0);
  static std::string plain, wrapped;
  plain = "#" + std::to_string(ordinal);
  wrapped = "#" + std::to_string(ordinal + 65536 * 3);
  static const char* const dlls[] = {"kernel32.dll", "kernel32.dll", "kernel32"};
  static const char* functions[3];
  functions[0] = plain.c_str();
  functions[1] = wrapped.c_str();
  functions[2] = "GetTickCount";  // no extension: the platform adds ".dll"
  Install(dlls, functions, 3);
  void* by_name = reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount"));
  EXPECT_EQ(ResolveDllCommand(0), by_name);
  EXPECT_EQ(ResolveDllCommand(1), by_name);
  EXPECT_EQ(ResolveDllCommand(2), by_name);
}

TEST_F(DllCommandTest, TheProgramTableNamesEveryCommand) {
  InstallProgramDllCommands();
  ASSERT_EQ(DllCommandCount(), kProgramDllCommandCount);
  for (int i = 0; i < kProgramDllCommandCount; ++i) {
    ASSERT_NE(kProgramDllNames[i], nullptr);
    ASSERT_NE(kProgramFunctionNames[i], nullptr);
    EXPECT_NE(kProgramFunctionNames[i][0], 0) << "command " << i;
    EXPECT_EQ(DllCommandModule(i), nullptr);
  }
}

#if defined(__i386__)
// Declared with one argument too many: the callee pops nothing, so the stack
// pointer comes back 4 bytes off and the caller raises error 6.
TEST_F(DllCommandTest, AStackImbalanceRaisesError6) {
  static const char* const dlls[] = {"kernel32.dll"};
  static const char* const functions[] = {"GetTickCount"};
  Install(dlls, functions, 1);
  EXPECT_EXIT(CallDllCommand<DWORD(int)>(0, 5), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n\r\n0, 0\r\n"));
}
#endif

}  // namespace
}  // namespace quillet
