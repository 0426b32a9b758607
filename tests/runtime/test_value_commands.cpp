// Number, bit, conversion and byte-set commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "runtime/library_commands.h"
#include "support/error_box_capture.h"

namespace quillet {
namespace {

using ::testing::ExitedWithCode;

std::string S(const Text& t) { return t.c_str(); }
std::string B(const ByteSet& b) { return std::string(reinterpret_cast<const char*>(b.data()), b.size()); }

TEST(NumberCommandsTest, Bits) {
  EXPECT_EQ(BitNot(0), -1);
  EXPECT_EQ(BitAnd(0xF0F0), 0xF0F0);
  EXPECT_EQ(BitAnd(0xFF, 0x0F, 0x3C), 0x0C);
  EXPECT_EQ(BitOr(1024, 16, 4), 1044);
  EXPECT_EQ(BitOr(7), 7);
}

TEST(NumberCommandsTest, RgbPacking) {
  EXPECT_EQ(Rgb(255, 0, 0), 255);
  EXPECT_EQ(Rgb(0, 255, 0), 0xFF00);
  EXPECT_EQ(Rgb(0, 0x1FF, 0), 0xFF00);      // green masked to 8 bits
  EXPECT_EQ(Rgb(0x100, 0, 0), 0x100);       // red taken whole
  EXPECT_EQ(Rgb(0, 0, 1), 0x10000);
}

TEST(NumberCommandsTest, AbsAndRound) {
  EXPECT_EQ(Abs(-2.5), 2.5);
  EXPECT_EQ(Abs(3), 3);
  EXPECT_EQ(Round(2.5), 3);
  EXPECT_EQ(Round(-2.5), -3);
  EXPECT_EQ(Round(2.4), 2);
  EXPECT_EQ(Round(1234.5, -2), 1200);
  EXPECT_EQ(Round(1250, -2), 1300);
  // Exact equality: the halves and the scaling must come out the same in both builds.
  EXPECT_EQ(Round(2.675, 2), 2.68);
  EXPECT_EQ(Round(-1.005, 2), -1.01);
  EXPECT_EQ(Round(0.125, 2), 0.13);
  EXPECT_EQ(Round(123456789.5, -22), 0);
  EXPECT_EQ(Round(0.0, 3), 0);
  // Past what a double holds the value stays as it is (not infinity or NaN).
  EXPECT_EQ(Round(1.5, 400), 1.5);
  EXPECT_EQ(Round(1e300, 10), 1e300);
  EXPECT_EQ(Round(-12345.0, -400), 0);
  // The extreme digit counts: no magnitude of the count may overflow.
  EXPECT_EQ(Round(1234.5, INT_MIN), 0);
  EXPECT_EQ(Round(-1e308, INT_MIN), 0);
  EXPECT_EQ(Round(1234.5, INT_MIN + 1), 0);
  EXPECT_EQ(Round(1234.5, INT_MAX), 1234.5);
}

TEST(ConversionTest, ToIntegerOfEachKind) {
  EXPECT_EQ(ToInteger(MakeBoolArg(true)), 1);
  EXPECT_EQ(ToInteger(MakeByteArg(200)), 200);
  EXPECT_EQ(ToInteger(MakeShortArg(-5)), -5);
  EXPECT_EQ(ToInteger(MakeLongArg(0x100000007LL)), 7);
  EXPECT_EQ(ToInteger(MakeDoubleArg(-7.9)), -7);
  EXPECT_EQ(ToInteger(MakeFloatArg(7.9f)), 7);
  EXPECT_EQ(ToInteger(MakePointerArg("56", kTagText)), 56);
  EXPECT_EQ(ToInteger(MakeDateTimeArg(3.0)), 0);  // any other kind
}

TEST(ConversionTest, ToTextOfEachKind) {
  EXPECT_EQ(S(ToText(MakeBoolArg(true))), "真");
  EXPECT_EQ(S(ToText(MakeBoolArg(false))), "假");
  EXPECT_EQ(S(ToText(MakeByteArg(255))), "255");
  EXPECT_EQ(S(ToText(MakeShortArg(-3))), "-3");
  EXPECT_EQ(S(ToText(MakeIntArg(-2147483647 - 1))), "-2147483648");
  EXPECT_EQ(S(ToText(MakeLongArg(-9000000000LL))), "-9000000000");
  EXPECT_EQ(S(ToText(MakeDoubleArg(0.1))), "0.1");
  EXPECT_EQ(S(ToText(MakeDoubleArg(1.0 / 3))), "0.3333333333333");
  EXPECT_EQ(S(ToText(MakeFloatArg(1.0f / 3))), "0.333333");
  EXPECT_EQ(S(ToText(MakePointerArg("abc", kTagText))), "abc");
  EXPECT_EQ(ToText(MakePointerArg(kEmptyText, kTagText)).get(), nullptr);
  EXPECT_EQ(ToText(OmittedArg()).get(), nullptr);
}

TEST(ConversionTest, ToTextOfDateTimes) {
  EXPECT_EQ(S(ToText(MakeDateTimeArg(1.5))), "1899年12月31日12时");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(0))), "1899年12月30日");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(2.0 + (10 * 60 + 30) / 1440.0))), "1900年1月1日10时30分");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(45000 + 5.0 / 86400))), "2023年3月15日0时0分5秒");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(3000000))), "9999年12月31日");   // clamped
  EXPECT_EQ(S(ToText(MakeDateTimeArg(-700000))), "100年1月1日");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(-1.25))), "1899年12月29日6时");
  // Before the epoch the time still runs forward through the day: rounding
  // up to midnight lands on the next day.
  EXPECT_EQ(S(ToText(MakeDateTimeArg(-1.9999999999))), "1899年12月30日");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(-0.9999999999))), "1899年12月31日");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(-1.99999))), "1899年12月29日23时59分59秒");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(1.9999999999))), "1900年1月1日");
  EXPECT_EQ(S(ToText(MakeDateTimeArg(std::nan("")))), "1899年12月30日");  // no date: the zero date
}

TEST(ConversionTest, ByteSetsAndArraysAsText) {
  ByteSet with_zero("ab\0cd", 5);
  EXPECT_EQ(S(ToText(MakePointerArg(with_zero.get(), kTagByteSet))), "ab");
  ByteSet plain("xyz", 3);
  EXPECT_EQ(S(ToText(MakePointerArg(plain.get(), kTagByteSet))), "xyz");
  const int32_t bytes_array[] = {1, 3, 0x00636261};  // one dimension of 3 bytes: "abc" plus padding
  EXPECT_EQ(S(ToText(MakePointerArg(bytes_array, kTagByte | kTagArrayBit))), "abc");
  const int32_t text_array[] = {1, 0};
  EXPECT_EQ(ToText(MakePointerArg(text_array, kTagArrayOfText)).get(), nullptr);
}

TEST(ConversionTest, ToByteSetOfEachKind) {
  EXPECT_EQ(B(ToByteSet(MakeIntArg(0x04030201))), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(B(ToByteSet(MakeShortArg(0x0201))), std::string("\x01\x02", 2));
  EXPECT_EQ(B(ToByteSet(MakeByteArg(7))), std::string("\x07", 1));
  EXPECT_EQ(ToByteSet(MakeDoubleArg(1.5)).size(), 8u);
  EXPECT_EQ(ToByteSet(MakeBoolArg(true)).size(), 4u);
  EXPECT_EQ(B(ToByteSet(MakePointerArg("hi", kTagText))), "hi");
  EXPECT_EQ(ToByteSet(MakePointerArg(kEmptyText, kTagText)).get(), nullptr);
  ByteSet source("abc", 3);
  ByteSet copy = ToByteSet(MakePointerArg(source.get(), kTagByteSet));
  EXPECT_NE(copy.get(), source.get());
  EXPECT_EQ(B(copy), "abc");
  const int32_t shorts[] = {1, 2, 0x00020001};
  EXPECT_EQ(B(ToByteSet(MakePointerArg(shorts, kTagShort | kTagArrayBit))), std::string("\x01\x00\x02\x00", 4));
  const int32_t bools[] = {1, 1, 1};
  EXPECT_EQ(ToByteSet(MakePointerArg(bools, kTagArrayOfBool)).get(), nullptr);
}

TEST(ByteSetCommandsTest, LeftMidZeroBytes) {
  ByteSet b("abcdef", 6);
  EXPECT_EQ(B(ByteSetLeft(b.get(), 2)), "ab");
  EXPECT_EQ(B(ByteSetLeft(b.get(), 99)), "abcdef");
  EXPECT_EQ(ByteSetLeft(b.get(), -1).get(), nullptr);
  EXPECT_EQ(B(ByteSetMid(b.get(), 3, 2)), "cd");
  EXPECT_EQ(B(ByteSetMid(b.get(), -4, 2)), "ab");   // start below 1 counts as 1
  EXPECT_EQ(B(ByteSetMid(b.get(), 5, 10)), "ef");
  EXPECT_EQ(ByteSetMid(b.get(), 2, -1).get(), nullptr);
  EXPECT_EQ(ByteSetMid(b.get(), 7, 1).get(), nullptr);
  EXPECT_EQ(B(ZeroBytes(3)), std::string(3, '\0'));
  EXPECT_EQ(ZeroBytes(0).get(), nullptr);
  EXPECT_EQ(ByteSetLeft(kEmptyByteSet, 3).get(), nullptr);
}

TEST(ByteSetCommandsTest, DataReadsEachKind) {
  ByteSet two("\x01\x02", 2);
  ArgTriple v = ByteSetData(two.get(), kDataInt);
  EXPECT_EQ(v.tag, kTagInt);
  EXPECT_EQ(v.low, 0x0201u);
  EXPECT_EQ(v.high, 0u);
  ByteSet eight("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8);
  ArgTriple d = ByteSetData(eight.get(), kDataDouble);
  EXPECT_EQ(d.tag, kTagDouble);
  EXPECT_EQ(ArgDouble(d), 1.5);
  EXPECT_EQ(ByteSetData(two.get(), kDataBool).low, 1u);
  EXPECT_EQ(ByteSetData(two.get(), kDataByte).low, 1u);
  EXPECT_EQ(ByteSetData(two.get(), kDataShort).low, 0x0201u);
  ByteSet huge_day("\x00\x00\x00\x00\x00\x00\x50\x42", 8);  // about 2.7e11 days
  EXPECT_EQ(ArgDouble(ByteSetData(huge_day.get(), kDataDateTime)), 2958465);
}

TEST(ByteSetCommandsTest, DataAdvancesThePosition) {
  ByteSet b("\x05\x00\x00\x00" "ab\0cd", 9);
  int32_t position = 1;
  EXPECT_EQ(ByteSetData(b.get(), kDataInt, &position).low, 5u);
  EXPECT_EQ(position, 5);
  ArgTriple t = ByteSetData(b.get(), kDataText, &position);
  EXPECT_EQ(t.tag, kTagText);
  Text first(static_cast<char*>(ArgPointer(t)));
  EXPECT_STREQ(first.c_str(), "ab");
  EXPECT_EQ(position, 8);  // past "ab" and its zero
  Text last(static_cast<char*>(ArgPointer(ByteSetData(b.get(), kDataText, &position))));
  EXPECT_STREQ(last.c_str(), "cd");
  EXPECT_EQ(position, -1);  // the data ended the text
  EXPECT_EQ(ByteSetData(b.get(), kDataInt, &position).low, 0u);  // nothing left
  EXPECT_EQ(position, -1);
  position = 8;
  EXPECT_EQ(ByteSetData(b.get(), kDataInt, &position).low, 0x6463u);  // missing high bytes read as 0
  EXPECT_EQ(position, -1);
}

TEST(ByteSetCommandsTest, DataRejectsAnUnknownKind) {
  testing_support::InstallStderrErrorBox();
  ByteSet b("ab", 2);
  std::string expected = "运行时出错!\r\n\r\n错误信息：“欲取出数据的类型”参数值无效\r\n\r\n0, 0\r\n";
  EXPECT_EXIT(ByteSetData(b.get(), 11), ExitedWithCode(-1), testing_support::ErrorBoxPattern(expected));
  EXPECT_EXIT(ByteSetData(b.get(), 0), ExitedWithCode(-1), testing_support::ErrorBoxPattern(expected));
}

TEST(AddressCommandsTest, CopiesFromAnAddress) {
  const char source[] = "hello";
  EXPECT_EQ(S(TextAtAddress(reinterpret_cast<intptr_t>(source))), "hello");
  EXPECT_EQ(TextAtAddress(0).get(), nullptr);
  EXPECT_EQ(B(BytesAtAddress(reinterpret_cast<intptr_t>(source), 3)), "hel");
  EXPECT_EQ(BytesAtAddress(reinterpret_cast<intptr_t>(source), 0).get(), nullptr);
  EXPECT_EQ(BytesAtAddress(0, 4).get(), nullptr);
}

}  // namespace
}  // namespace quillet
