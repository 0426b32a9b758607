// Value model: Texts, Byte sets, Arrays, element checks and the constant region.
#include <windows.h>

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/heap.h"
#include "runtime/runtime_error.h"
#include "runtime/value.h"
#include "support/error_box_capture.h"
#include "support/gbk_text.h"

namespace quillet {
namespace {

using testing_support::ErrorBoxPattern;
using ::testing::ExitedWithCode;

QUILLET_CONST const char kConstantText[] = "constant";
QUILLET_CONST const int32_t kConstantArray[] = {1, 3, 10, 20, 30};  // one dimension, 3 integers

class ValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetConstantRegion(LinkedConstantSectionStart(), LinkedConstantSectionLength());
    testing_support::InstallStderrErrorBox();
  }
};

TEST_F(ValueTest, EmptyTextsAreNullAndEqual) {
  EXPECT_EQ(CopyText(nullptr), nullptr);
  EXPECT_EQ(CopyText(""), nullptr);
  EXPECT_EQ(MakeText("abc", 0), nullptr);
  EXPECT_EQ(MakeText("abc", -3), nullptr);
  EXPECT_EQ(TextLength(nullptr), 0u);
  EXPECT_EQ(CompareTexts(nullptr, ""), 0);
  EXPECT_EQ(CompareTexts("", nullptr), 0);
  EXPECT_EQ(Text(), Text::Copy(""));
}

TEST_F(ValueTest, TextLengthAtEveryAlignmentAndAtTheEndOfAPage) {
  // Every start offset in a 16-byte block, every length across two blocks,
  // with non-zero bytes (GBK lead bytes too) after the terminator.
  char buffer[96];
  for (int start = 0; start < 16; ++start) {
    for (int length = 0; length < 40; ++length) {
      std::memset(buffer, '\xB0', sizeof buffer);
      buffer[start + length] = 0;
      EXPECT_EQ(TextLength(buffer + start), static_cast<size_t>(length)) << start << "+" << length;
    }
  }
  // A text that ends on the last byte of a page with no access after it.
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old_protection = 0;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old_protection));
  for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{100}}) {
    char* text = pages + page - 1 - length;
    std::memset(text, 'x', length);
    text[length] = 0;
    EXPECT_EQ(TextLength(text), length);
  }
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(ValueTest, MakeAndCompareTexts) {
  Text t(MakeText("abcdef", 3));
  EXPECT_STREQ(t.c_str(), "abc");
  EXPECT_EQ(CompareTexts("a", "b"), -1);
  EXPECT_EQ(CompareTexts("b", "a"), 1);
  // Unsigned bytes: a GBK lead byte sorts after ASCII.
  EXPECT_EQ(CompareTexts("\xB0\xA1", "z"), 1);
  EXPECT_EQ(CompareBytes("ab", "ac", 0), 0);
  EXPECT_EQ(CompareBytes("ab", "ac", 2), -1);
  EXPECT_EQ(CompareBytes("\x80", "\x7F", 1), 1);
}

TEST_F(ValueTest, ConcatenatingEmptyTextsGivesOneZeroByteBlock) {
  const char* pieces[] = {nullptr, "", nullptr};
  char* joined = ConcatTexts(pieces, 3);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined[0], 0);
  RtFree(joined);
  Text both(ConcatTexts2("ab", "cd"));
  EXPECT_STREQ(both.c_str(), "abcd");
}

TEST_F(ValueTest, ByteSetLayout) {
  const unsigned char data[] = {1, 2, 3, 4};
  ByteSet b(data, 4);
  const auto* words = reinterpret_cast<const int32_t*>(b.get());
  EXPECT_EQ(words[0], 1);
  EXPECT_EQ(words[1], 4);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<const unsigned char*>(b.get()) + 8, data, 4));
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, b.get()), 12u);
  EXPECT_EQ(b.size(), 4u);
  EXPECT_EQ(MakeByteSet(data, 0), nullptr);
  EXPECT_EQ(ByteSetLength(kEmptyByteSet), 0u);
  EXPECT_TRUE(IsInConstantRegion(kEmptyByteSet));
  EXPECT_TRUE(IsInConstantRegion(kEmptyText));
}

TEST_F(ValueTest, ConcatenatingByteSets) {
  const ByteSetBlock* empties[] = {nullptr, nullptr};
  EXPECT_EQ(ConcatByteSets(empties, 2), nullptr);
  ByteSet a("ab", 2), c("c", 1);
  const ByteSetBlock* pieces[] = {a.get(), nullptr, c.get()};
  ByteSet joined(ConcatByteSets(pieces, 3));
  ASSERT_EQ(joined.size(), 3u);
  EXPECT_EQ(0, std::memcmp(joined.data(), "abc", 3));
}

TEST_F(ValueTest, ArrayElementCountAndAddressing) {
  // Two dimensions 2 x 3 of integers: 6 elements, the last index varies fastest.
  int32_t block[] = {2, 2, 3, 11, 12, 13, 21, 22, 23};
  void* first = nullptr;
  EXPECT_EQ(ArrayElementCount(block, &first), 6u);
  EXPECT_EQ(first, &block[3]);
  EXPECT_EQ(*static_cast<int32_t*>(ArrayElementAt(block, 4, 6)), 23);
  const int32_t indices[] = {2, 1};
  EXPECT_EQ(*static_cast<int32_t*>(ArrayElementAtIndices(block, 4, indices, 2)), 21);
  int32_t none[] = {0};
  EXPECT_EQ(ArrayElementCount(none), 0u);
  EXPECT_EQ(ArrayElementCount(nullptr), 0u);
}

TEST_F(ValueTest, ElementIndexErrors) {
  int32_t block[] = {2, 2, 3, 11, 12, 13, 21, 22, 23};
  std::string detail = "\r\n67189893, 188\r\n";
  EXPECT_EXIT(ArrayElementAt(block, 4, 7, 67189893, 188), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n" + detail));
  EXPECT_EXIT(ArrayElementAt(block, 4, 0, 67189893, 188), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n" + detail));
  const int32_t three[] = {1, 1, 1};
  EXPECT_EXIT(ArrayElementAtIndices(block, 4, three, 3, 67189893, 188), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：3\r\n\r\n错误信息：引用数组成员时维数不为1且不等于该数组目前所具有的维数\r\n" +
                              detail));
  const int32_t past_second[] = {1, 4};
  EXPECT_EXIT(ArrayElementAtIndices(block, 4, past_second, 2, 67189893, 188), ExitedWithCode(-1),
              testing_support::ErrorBoxFragmentPattern("错误代码：1"));
  const int32_t zero_first[] = {0, 1};
  EXPECT_EXIT(ArrayElementAtIndices(block, 4, zero_first, 2, 67189893, 188), ExitedWithCode(-1),
              testing_support::ErrorBoxFragmentPattern("错误代码：4"));
}

TEST_F(ValueTest, AppendingCopiesAConstantArrayOutOfTheRegion) {
  void* variable = const_cast<int32_t*>(kConstantArray);
  int32_t forty = 40;
  AppendArrayElement(4, &variable, &forty);
  EXPECT_FALSE(IsInConstantRegion(variable));
  ASSERT_EQ(ArrayElementCount(variable), 4u);
  EXPECT_EQ(*static_cast<int32_t*>(ArrayElementAt(variable, 4, 4)), 40);
  EXPECT_EQ(*static_cast<int32_t*>(ArrayElementAt(variable, 4, 1)), 10);
  EXPECT_EQ(kConstantArray[1], 3);  // the constant itself is unchanged
  RtFree(variable);
}

TEST_F(ValueTest, AppendingToAMultiDimensionalArrayMakesItOneDimensional) {
  void* variable = RtAlloc(4 * 3 + 4 * 4);
  const int32_t contents[] = {2, 2, 2, 1, 2, 3, 4};
  std::memcpy(variable, contents, sizeof contents);
  int32_t five = 5;
  AppendArrayElement(4, &variable, &five);
  EXPECT_EQ(ArrayDimensionCount(variable), 1);
  ASSERT_EQ(ArrayElementCount(variable), 5u);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(*static_cast<int32_t*>(ArrayElementAt(variable, 4, i)), i);
  RtFree(variable);
}

TEST_F(ValueTest, TextArrayAppendsCopies) {
  TextArray a;
  char source[] = "one";
  a.Append(source);
  a.Append(nullptr);
  source[0] = 'X';
  ASSERT_EQ(a.size(), 2u);
  EXPECT_STREQ(a.at(0), "one");
  EXPECT_STREQ(a.at(1), "");
}

TEST_F(ValueTest, FreeingConstantsAndNullDoesNothing) {
  RtFree(nullptr);
  RtFree(const_cast<char*>(kConstantText));
  RtFree(const_cast<char*>(kConstantText + 3));
  EXPECT_STREQ(kConstantText, "constant");
  char* copy = static_cast<char*>(RtRealloc(const_cast<char*>(kConstantText), 4));
  EXPECT_NE(copy, kConstantText);
  EXPECT_EQ(0, std::memcmp(copy, "cons", 4));
  RtFree(copy);
}

TEST_F(ValueTest, DateTimeIsClamped) {
  EXPECT_EQ(ClampDateTime(3000000), 2958465);
  EXPECT_EQ(ClampDateTime(-700000), -657434);
  EXPECT_EQ(ClampDateTime(1.5), 1.5);
}

TEST_F(ValueTest, ConvertingVariableKindResults) {
  EXPECT_EQ(ConvertResultToInt(ArgTriple{0x1FF, 0, kTagByte}), 0xFF);
  EXPECT_EQ(ConvertResultToInt(MakeShortArg(-2)), -2);
  EXPECT_EQ(ConvertResultToInt(MakeIntArg(-7)), -7);
  EXPECT_EQ(ConvertResultToInt(MakeLongArg(0x100000005LL)), 5);
  EXPECT_EQ(ConvertResultToInt(MakeDoubleArg(-2.9)), -2);
  EXPECT_EQ(ConvertResultToInt(MakeFloatArg(3.7f)), 3);
  EXPECT_EQ(FloatToInteger(-1e300), INT64_MIN);
  EXPECT_EXIT(ConvertResultToInt(MakePointerArg("x", kTagText), 5, 6), ExitedWithCode(-1),
              ErrorBoxPattern("运行时出错!\r\n\r\n错误代码：2\r\n\r\n错误信息：未得到所需要的数值型数据\r\n\r\n5, 6\r\n"));
}

TEST_F(ValueTest, TripleWordsHoldEightByteKinds) {
  ArgTriple d = MakeDoubleArg(1.5);
  EXPECT_EQ(d.tag, kTagDouble);
  EXPECT_EQ(d.low, 0u);
  EXPECT_EQ(d.high, 0x3FF80000u);
  EXPECT_EQ(ArgDouble(d), 1.5);
  ArgTriple l = MakeLongArg(-2);
  EXPECT_EQ(l.low, 0xFFFFFFFEu);
  EXPECT_EQ(l.high, 0xFFFFFFFFu);
  int x = 0;
  EXPECT_EQ(ArgPointer(MakePointerArg(&x, kTagText)), &x);
}

// Writes to the constant region fault: report it and end with a known code.
LONG CALLBACK ReportAccessViolation(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
    std::fprintf(stderr, "access violation writing the constant region\n");
    std::fflush(stderr);
    ExitProcess(3);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(ValueTest, ConstantRegionIsReadOnly) {
  EXPECT_EXIT(
      {
        AddVectoredExceptionHandler(1, ReportAccessViolation);
        volatile char* p = const_cast<char*>(kConstantText);
        p[0] = 'X';
        std::fprintf(stderr, "write succeeded\n");
        ExitProcess(0);
      },
      ExitedWithCode(3), "access violation writing the constant region");
}

}  // namespace
}  // namespace quillet
