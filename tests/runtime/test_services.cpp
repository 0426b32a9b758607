// Runtime initialisation from the program header, the service table, the
// support libraries' notification entry, and library commands called through
// the service table's library-command entries in their argument-triple form.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "runtime/dll_command.h"
#include "runtime/heap.h"
#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "runtime/runtime_state.h"
#include "runtime/services.h"
#include "support/error_box_capture.h"
#include "support/runtime_for_tests.h"

namespace quillet {
namespace {

using testing_support::ErrorBoxPattern;
using ::testing::ExitedWithCode;

QUILLET_CONST const int32_t kConstantInts[] = {1, 2, 7, 8};

class ServicesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing_support::InitialiseRuntimeForTests(); }
  void SetUp() override { testing_support::InstallStderrErrorBox(); }
  const ServiceTable& services = RuntimeServices();
};

TEST_F(ServicesTest, InitialisationTakesTheHeaderAndTheEnvironment) {
  EXPECT_EQ(RuntimeBuildMode(), 3);
  EXPECT_EQ(ProgramSerialNumber(), 42);  // the header's 41 plus one
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string directory(exe);
  directory.resize(directory.find_last_of('\\'));
  EXPECT_EQ(ProgramDirectory(), directory);
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_STREQ(current, directory.c_str());
  EXPECT_EQ(MainThreadId(), GetCurrentThreadId());
  HWND owner = OwnerWindow();
  ASSERT_TRUE(IsWindow(owner));
  EXPECT_FALSE(IsWindowVisible(owner));
  EXPECT_NE(GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(GetWindowTextLengthA(owner), 0);
  EXPECT_EQ(ConstantRegionStart(), LinkedConstantSectionStart());
  EXPECT_TRUE(IsInConstantRegion(kConstantInts));
  EXPECT_EQ(SupportLibraryCount(), 3);
  EXPECT_EQ(CoreLibraryEntry(), &RuntimeNotificationEntry);
  EXPECT_EQ(ThreadLibraryEntry(), &RuntimeNotificationEntry);
  EXPECT_EQ(AutomationLibraryEntry(), &RuntimeNotificationEntry);
}

TEST_F(ServicesTest, MemoryServicesRespectTheConstantRegion) {
  void* block = services.allocate(8);
  ASSERT_NE(block, nullptr);
  block = services.reallocate(block, 4096);
  services.free(block);
  services.free(nullptr);
  services.free(const_cast<int32_t*>(kConstantInts));
  EXPECT_EQ(kConstantInts[2], 7);
  // Reallocating a constant copies at most what lies before the region's end.
  auto* copy = static_cast<int32_t*>(services.reallocate(const_cast<int32_t*>(kConstantInts), 8));
  EXPECT_EQ(copy[0], 1);
  EXPECT_EQ(copy[1], 2);
  services.free(copy);
  const unsigned char* last_byte = ConstantRegionEnd() - 1;
  auto* tail = static_cast<unsigned char*>(services.reallocate(const_cast<unsigned char*>(last_byte), 64));
  EXPECT_EQ(tail[0], *last_byte);
  services.free(tail);
  // A null block is allocated afresh.
  void* fresh = services.reallocate(nullptr, 5);
  ASSERT_NE(fresh, nullptr);
  services.free(fresh);
}

TEST_F(ServicesTest, UtilityMakesAnArrayWritable) {
  void* variable = const_cast<int32_t*>(kConstantInts);
  services.utility(kUtilityMakeArrayWritable, 4, reinterpret_cast<intptr_t>(&variable));
  ASSERT_NE(variable, kConstantInts);
  EXPECT_EQ(0, std::memcmp(variable, kConstantInts, sizeof kConstantInts));
  void* same = variable;
  services.utility(kUtilityMakeArrayWritable, 4, reinterpret_cast<intptr_t>(&variable));
  EXPECT_EQ(variable, same);  // a heap array stays as it is
  RtFree(variable);
}

TEST_F(ServicesTest, NotificationEntryServesLibraries) {
  NotificationEntry entry = CoreLibraryEntry();
  void* block = reinterpret_cast<void*>(entry(kNotifyAllocate, 32, 0));
  ASSERT_NE(block, nullptr);
  block = reinterpret_cast<void*>(entry(kNotifyReallocate, reinterpret_cast<intptr_t>(block), 4000));
  ASSERT_NE(block, nullptr);
  entry(kNotifyFree, reinterpret_cast<intptr_t>(block), 0);
  const size_t kImpossible = ~static_cast<size_t>(0) - 0xFFFF;
  // With the third argument set a failure answers null...
  EXPECT_EQ(entry(kNotifyAllocate, static_cast<intptr_t>(kImpossible), 1), 0);
  // ...without it the process ends with the allocation message.
  EXPECT_EXIT(entry(kNotifyAllocate, static_cast<intptr_t>(kImpossible), 0), ExitedWithCode(-1),
              testing_support::ErrorBoxFragmentPattern("分配 " + std::to_string(kImpossible) + " 字节内存失败!"));
  EXPECT_EXIT(entry(kNotifyReportError, reinterpret_cast<intptr_t>("库出错"), 0), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误信息：库出错\r\n\r\n0, 0\r\n"));
}

TEST_F(ServicesTest, ServiceZeroReportsAndExitEndsTheProcess) {
  EXPECT_EXIT(services.report_runtime_error(4, 11, 12), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n\r\n11, 12\r\n"));
  EXPECT_EXIT(services.exit(23), ExitedWithCode(23), "");
}

TEST_F(ServicesTest, ServiceOneBindsDllCommands) {
  static const char* const dlls[] = {"kernel32.dll"};
  static const char* const functions[] = {"GetCurrentProcessId"};
  InstallDllCommandTable(1, dlls, functions);
  void* address = services.call_dll_command(0);
  EXPECT_EQ(address, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetCurrentProcessId")));
  EXPECT_EQ(CallDllCommand<DWORD()>(0), GetCurrentProcessId());
  InstallProgramDllCommands();
}

// Library commands through entries 2 and 3.
ArgTriple TextArg(const char* t) { return MakePointerArg(t, kTagText); }

TEST_F(ServicesTest, EntriesTwoAndThreeZeroTheResultAndPassTriples) {
  ArgTriple args[] = {TextArg("aXbx"), TextArg("x"), OmittedArg(), MakeBoolArg(true)};
  ArgTriple r = services.call_library_command(command::FindText, 4, args);
  EXPECT_EQ(r.tag, kTagInt);
  EXPECT_EQ(ArgInt(r), 2);
  r = services.call_support_library_command(99, command::FindText, 2, args);  // library index unused
  EXPECT_EQ(ArgInt(r), 4);
  ArgTriple third[] = {TextArg("aXbx"), TextArg("x"), MakeIntArg(3), MakeBoolArg(true)};
  EXPECT_EQ(ArgInt(services.call_library_command(command::FindText, 4, third)), 4);
  // A command without a result leaves the zeroed triple.
  ArgTriple none = services.call_library_command(command::DoEvents, 0, nullptr);
  EXPECT_EQ(none.low, 0u);
  EXPECT_EQ(none.high, 0u);
  EXPECT_EQ(none.tag, 0u);
}

TEST_F(ServicesTest, TextAndArrayResultsBelongToTheCaller) {
  ArgTriple mid[] = {TextArg("abcdef"), MakeIntArg(3), MakeIntArg(10)};
  ArgTriple r = CallLibraryCommand(command::Mid, 3, mid);
  EXPECT_EQ(r.tag, kTagText);
  Text cut(static_cast<char*>(ArgPointer(r)));
  EXPECT_STREQ(cut.c_str(), "cdef");

  ArgTriple split[] = {TextArg("a,b,c"), OmittedArg(), MakeIntArg(2)};
  r = CallLibraryCommand(command::Split, 3, split);
  EXPECT_EQ(r.tag, kTagArrayOfText);
  TextArray pieces(ArgPointer(r));
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_STREQ(pieces.at(1), "b");

  ArgTriple empty_separator[] = {TextArg("a,b"), TextArg(kEmptyText)};
  TextArray whole(ArgPointer(CallLibraryCommand(command::Split, 2, empty_separator)));
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_STREQ(whole.at(0), "a,b");

  ArgTriple replace[] = {TextArg("aAa"), TextArg("a"), TextArg("b"), OmittedArg(), OmittedArg(), MakeBoolArg(true)};
  Text replaced(static_cast<char*>(ArgPointer(CallLibraryCommand(command::Replace, 6, replace))));
  EXPECT_STREQ(replaced.c_str(), "bAb");
}

TEST_F(ServicesTest, NumbersAndVariableKinds) {
  ArgTriple bits[] = {MakeIntArg(1024), MakeIntArg(16), MakeIntArg(4)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::BitOr, 3, bits)), 1044);
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::BitAnd, 1, bits)), 1024);
  ArgTriple not_arg[] = {MakeIntArg(0)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::BitNot, 1, not_arg)), -1);
  ArgTriple round[] = {MakeDoubleArg(1234.5), MakeIntArg(-2)};
  ArgTriple r = CallLibraryCommand(command::Round, 2, round);
  EXPECT_EQ(r.tag, kTagDouble);
  EXPECT_EQ(ArgDouble(r), 1200);
  ArgTriple round_omitted[] = {MakeDoubleArg(-2.5), OmittedArg()};
  EXPECT_EQ(ArgDouble(CallLibraryCommand(command::Round, 2, round_omitted)), -3);
  ArgTriple rgb[] = {MakeIntArg(255), MakeIntArg(0), MakeIntArg(0)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::Rgb, 3, rgb)), 255);
  ArgTriple to_int[] = {MakeDoubleArg(-7.9)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::ToInteger, 1, to_int)), -7);
  ArgTriple length[] = {TextArg("abc")};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::TextLength, 1, length)), 3);
  ByteSet four("abcd", 4);
  ArgTriple byte_length[] = {MakePointerArg(four.get(), kTagByteSet)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::ByteSetLength, 1, byte_length)), 4);
  ArgTriple empty_bytes[] = {MakePointerArg(kEmptyByteSet, kTagByteSet)};
  EXPECT_EQ(ArgInt(CallLibraryCommand(command::ByteSetLength, 1, empty_bytes)), 0);
}

TEST_F(ServicesTest, ByteSetDataWritesTheKindTagAndThePositionVariable) {
  ByteSet b("\x01\x02", 2);
  int32_t position = 1;
  ArgTriple args[] = {MakePointerArg(b.get(), kTagByteSet), MakeIntArg(kDataShort), MakePointerArg(&position, kTagInt)};
  ArgTriple r = CallLibraryCommand(command::ByteSetData, 3, args);
  EXPECT_EQ(r.tag, kTagShort);
  EXPECT_EQ(r.low, 0x0201u);
  EXPECT_EQ(position, -1);
  ArgTriple as_int[] = {MakePointerArg(b.get(), kTagByteSet), MakeIntArg(kDataInt)};
  r = CallLibraryCommand(command::ByteSetData, 2, as_int);
  EXPECT_EQ(r.tag, kTagInt);
  EXPECT_EQ(r.low, 0x0201u);
}

TEST_F(ServicesTest, UnitHandleOfAWindowThatIsNotLoadedIsZero) {
  ArgTriple reference[] = {ArgTriple{0x52010001, kUnitIsWindow, kTagWindowUnit}};
  ArgTriple r = CallLibraryCommand(command::UnitHandle, 1, reference);
  EXPECT_EQ(r.tag, kTagInt);
  EXPECT_EQ(ArgPointer(r), nullptr);
}

volatile LONG g_thread_parameter_seen = 0;
void RecordParameter(void* parameter) {
  InterlockedExchange(&g_thread_parameter_seen, static_cast<LONG>(reinterpret_cast<intptr_t>(parameter)));
}

TEST_F(ServicesTest, StartThreadThroughTheMultithreadingLibrary) {
  HANDLE handle = nullptr;
  ArgTriple args[] = {MakePointerArg(reinterpret_cast<void*>(&RecordParameter), kTagSubPointer), MakeIntArg(77),
                      MakePointerArg(&handle, kTagInt)};
  ArgTriple r = CallSupportLibraryCommand(1, command::StartThread, 3, args);
  EXPECT_EQ(r.tag, kTagBool);
  EXPECT_EQ(r.low, 1u);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
  CloseHandle(handle);
  EXPECT_EQ(g_thread_parameter_seen, 77);

  // Fewer than three arguments: the handle is closed at once; a tag-0 parameter is null.
  InterlockedExchange(&g_thread_parameter_seen, -1);
  ArgTriple two[] = {args[0], OmittedArg()};
  EXPECT_EQ(CallSupportLibraryCommand(1, command::StartThread, 2, two).low, 1u);
  for (int i = 0; i < 500 && g_thread_parameter_seen != 0; ++i) Sleep(10);
  EXPECT_EQ(g_thread_parameter_seen, 0);
}

}  // namespace
}  // namespace quillet
