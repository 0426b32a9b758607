// What the build carries (program header, window template) and the start
// routine's order, run through a service table that records each call.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "app/program.h"
#include "app/widget.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"
#include "runtime/runtime_state.h"
#include "runtime/window_template.h"

extern "C" int QuilletProgramStartupSub();
extern "C" void QuilletStartupWindowCreated();

namespace quillet::app {
namespace {

TEST(ProgramHeaderTest, CarriesTheProgramsTables) {
  const ProgramHeader& h = kProgramHeader;
  EXPECT_EQ(h.build_mode, 3);
  EXPECT_EQ(h.reserved, 0);
  EXPECT_EQ(h.startup_sub, &QuilletProgramStartupSub);
  EXPECT_EQ(h.startup_sub(), 0);
  EXPECT_EQ(h.constant_region_start, LinkedConstantSectionStart());
  EXPECT_EQ(h.constant_region_length, LinkedConstantSectionLength());
  ASSERT_EQ(h.support_library_count, 3);
  EXPECT_EQ(h.support_libraries[0], &kCoreLibrary);
  EXPECT_EQ(h.support_libraries[1], &kThreadLibrary);
  EXPECT_EQ(h.support_libraries[2], &kAutomationLibrary);
  EXPECT_EQ(h.dll_command_count, kProgramDllCommandCount);
  EXPECT_EQ(h.dll_names, kProgramDllNames);
  EXPECT_EQ(h.function_names, kProgramFunctionNames);
}

TEST(ProgramHeaderTest, TheTemplateHoldsTheStartupWindow) {
  std::vector<TemplateWindow> windows;
  ASSERT_TRUE(ParseWindowTemplate(kProgramHeader.window_template, kProgramHeader.window_template_length,
                                  reinterpret_cast<uintptr_t>(kProgramHeader.startup_sub), &windows));
  ASSERT_EQ(windows.size(), 1u);
  const TemplateWindow& w = windows[0];
  EXPECT_EQ(w.id, 0x52010001u);
  EXPECT_EQ(w.caption, "Quillet");
  EXPECT_EQ(w.left, 50);
  EXPECT_EQ(w.top, 50);
  EXPECT_EQ(w.width, 380);
  EXPECT_EQ(w.height, 250);
  EXPECT_NE(w.flags & kWindowFlagVisible, 0u);
  EXPECT_TRUE(w.units.empty());
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0].number, kEventCreationCompleted);
  // The offset from the start-up sub leads to the routine that runs BuildMainWindow.
  EXPECT_EQ(w.events[0].routine, &QuilletStartupWindowCreated);
}

// A service table that forwards to the runtime's and records the order.
std::vector<std::string> g_calls;
const ServiceTable* g_real = nullptr;

std::string UtilityName(int selector) {
  if (selector == kUtilityInitialiseRuntime) return "initialise runtime";
  if (selector == kUtilityRegisterExitProcedure) return "register exit procedure";
  return "utility " + std::to_string(selector);
}

intptr_t RecordUtility(int selector, intptr_t a, intptr_t b) {
  g_calls.push_back(UtilityName(selector));
  return g_real->utility(selector, a, b);
}
void RecordLoadWindow(uint32_t id) {
  g_calls.push_back(id == kMainWindowId ? "load the start-up window" : "load window " + std::to_string(id));
  g_real->load_window(id);
  HWND window = LoadedUnitHandle(id, kUnitIsWindow);
  // BuildMainWindow ran from the creation-completed event: the host made the window layered.
  if (window != nullptr && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) {
    g_calls.push_back("window taken over by the host");
  }
}
void RecordMessageLoop() {
  g_calls.push_back("message loop");
  // Closing the start-up window ends the loop.
  PostMessageA(LoadedUnitHandle(kMainWindowId, kUnitIsWindow), WM_CLOSE, 0, 0);
  g_real->run_message_loop();
  g_calls.push_back("message loop ended");
}

TEST(StartRoutineTest, RunsTheStartUpInOrderAndShutsDownCleanly) {
  g_real = &RuntimeServices();
  ServiceTable recording = RuntimeServices();
  recording.utility = RecordUtility;
  recording.load_window = RecordLoadWindow;
  recording.run_message_loop = RecordMessageLoop;

  EXPECT_EQ(ProgramStartRoutine(recording), 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"initialise runtime", "register exit procedure",
                                                "load the start-up window", "window taken over by the host",
                                                "message loop", "message loop ended"}));
  EXPECT_NE(MainHost, nullptr);
  EXPECT_EQ(ExitProcedureCount(), 1u);
  EXPECT_FALSE(AnyLoadedWindowExists());

  RuntimeShutdown(0);
  EXPECT_EQ(MainHost, nullptr);  // the exit procedure released the globals
  EXPECT_EQ(SentenceLabel, nullptr);
  EXPECT_EQ(SourceLabel, nullptr);
  EXPECT_EQ(FetchButton, nullptr);
  EXPECT_FALSE(IsWindow(OwnerWindow()));
}

#if defined(QUILLET_PRODUCT_EXE)
// The shipped exe, loaded as data: its manifest and version resource.
class ProductExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = LoadLibraryExA(QUILLET_PRODUCT_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe_, nullptr) << QUILLET_PRODUCT_EXE;
  }
  void TearDown() override {
    if (exe_ != nullptr) FreeLibrary(exe_);
  }
  std::string Resource(LPCSTR type, int id) {
    HRSRC found = FindResourceA(exe_, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return std::string();
    const void* data = LockResource(LoadResource(exe_, found));
    return data ? std::string(static_cast<const char*>(data), SizeofResource(exe_, found)) : std::string();
  }
  HMODULE exe_ = nullptr;
};

std::string VersionParts(int major, int minor, int patch, int build) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) + "." +
         std::to_string(build);
}

TEST_F(ProductExeTest, TheManifestDeclaresDpiAwarenessControlsVersionSystemsAndLevel) {
  constexpr int kProcessManifestId = 1;  // CREATEPROCESS_MANIFEST_RESOURCE_ID
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), kProcessManifestId);  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  using ::testing::ContainsRegex;
  using ::testing::HasSubstr;
  EXPECT_THAT(manifest, ::testing::StartsWith("<?xml version=\"1.0\""));
  EXPECT_THAT(manifest, ContainsRegex("</assembly>\\s*$"));
  EXPECT_THAT(manifest, ContainsRegex("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
                                      "true/pm</dpiAware>"));
  EXPECT_THAT(manifest, ContainsRegex("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                                      "PerMonitorV2</dpiAwareness>"));
  EXPECT_THAT(manifest, ContainsRegex("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\\s+"
                                      "processorArchitecture=\"\\*\" publicKeyToken=\"6595b64144ccf1df\""));
  for (const char* system : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
                             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // Windows 10 and 11
    EXPECT_THAT(manifest, HasSubstr(std::string("<supportedOS Id=\"") + system + "\"/>"));
  }
  EXPECT_THAT(manifest, HasSubstr("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
  // The assembly's own version is the project's.
  EXPECT_THAT(manifest, HasSubstr("name=\"Quillet\" version=\"" QUILLET_PROJECT_VERSION ".0\""));
}

TEST_F(ProductExeTest, TheVersionResourceNamesTheProductAndTheProjectVersion) {
  using VersionSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using VersionInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using VersionQuery = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  HMODULE version_dll = LoadLibraryA("version.dll");
  ASSERT_NE(version_dll, nullptr);
  auto size_of = reinterpret_cast<VersionSize>(reinterpret_cast<void*>(GetProcAddress(version_dll, "GetFileVersionInfoSizeA")));
  auto info_of = reinterpret_cast<VersionInfo>(reinterpret_cast<void*>(GetProcAddress(version_dll, "GetFileVersionInfoA")));
  auto query = reinterpret_cast<VersionQuery>(reinterpret_cast<void*>(GetProcAddress(version_dll, "VerQueryValueA")));
  ASSERT_TRUE(size_of && info_of && query);

  DWORD ignored = 0;
  const DWORD size = size_of(QUILLET_PRODUCT_EXE, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(info_of(QUILLET_PRODUCT_EXE, 0, size, block.data()));

  int major = -1, minor = -1, patch = -1;
  ASSERT_EQ(std::sscanf(QUILLET_PROJECT_VERSION, "%d.%d.%d", &major, &minor, &patch), 3);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(query(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  ASSERT_GE(fixed_size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(VersionParts(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                         HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)),
            VersionParts(major, minor, patch, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  // The strings, found through the translation the resource declares.
  WORD* translation = nullptr;
  UINT translation_size = 0;
  ASSERT_TRUE(query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                    &translation_size));
  ASSERT_GE(translation_size, 2 * sizeof(WORD));
  char table[16];
  std::snprintf(table, sizeof table, "%04x%04x", translation[0], translation[1]);
  auto string_value = [&](const char* name) {
    const std::string path = std::string("\\StringFileInfo\\") + table + "\\" + name;
    char* value = nullptr;
    UINT length = 0;
    if (!query(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
      return std::string("(missing)");
    }
    return std::string(value);
  };
  EXPECT_EQ(string_value("ProductName"), "Quillet");
  EXPECT_EQ(string_value("OriginalFilename"), "Quillet.exe");
  EXPECT_EQ(string_value("FileVersion"), QUILLET_PROJECT_VERSION);
  EXPECT_EQ(string_value("ProductVersion"), QUILLET_PROJECT_VERSION);
  EXPECT_THAT(string_value("FileDescription"), ::testing::StartsWith("Quillet"));
  FreeLibrary(version_dll);
}
#endif

}  // namespace
}  // namespace quillet::app
