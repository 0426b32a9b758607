// Conversions between GBK, UTF-16 and other code pages; TextBetween; UrlDecode.
#include <gtest/gtest.h>

#include "http/text_codec.h"
#include "http/text_helpers.h"
#include "http_test_support.h"

namespace quillet {
namespace {

using http_test::Bytes;

std::string UnitBytes(const ByteSet& b) { return Bytes(b); }

TEST(GbkToUtf16, EmptyTextGivesEmptyByteSet) {
  EXPECT_TRUE(GbkToUtf16(nullptr).empty());
  EXPECT_TRUE(GbkToUtf16("").empty());
  EXPECT_TRUE(GbkToUtf16("", true).empty());
}

TEST(GbkToUtf16, CarriesTerminatorUnlessDropped) {
  EXPECT_EQ(UnitBytes(GbkToUtf16("A")), std::string("\x41\x00\x00\x00", 4));
  EXPECT_EQ(UnitBytes(GbkToUtf16("A", true)), std::string("\x41\x00", 2));
  // 你 is C4 E3 in GBK and U+4F60.
  EXPECT_EQ(UnitBytes(GbkToUtf16("\xC4\xE3", true)), std::string("\x60\x4F", 2));
}

TEST(Utf16ToGbk, ConvertsUpToFirstZeroUnit) {
  const ByteSet units(std::string("\x60\x4F\x41\x00\x00\x00\x42\x00", 8).data(), 8);
  EXPECT_EQ(Bytes(Utf16ToGbk(units.get())), "\xC4\xE3\x41");
  EXPECT_TRUE(Utf16ToGbk(nullptr).empty());
}

TEST(CodePageToUtf16, DefaultsToUtf8WithTerminator) {
  EXPECT_EQ(UnitBytes(CodePageToUtf16("\xE4\xBD\xA0")), std::string("\x60\x4F\x00\x00", 4));
  EXPECT_EQ(UnitBytes(CodePageToUtf16("\xC4\xE3", kCodePageGbk)), std::string("\x60\x4F\x00\x00", 4));
}

TEST(Utf16ToCodePage, CodePageZeroMeansGbkWhateverTheSystemLocale) {
  const ByteSet units(std::string("\x60\x4F\x7D\x59\x00\x00", 6).data(), 6);  // 你好
  EXPECT_EQ(Bytes(Utf16ToCodePage(units.get())), "\xC4\xE3\xBA\xC3");
  EXPECT_EQ(Bytes(Utf16ToCodePage(units.get(), kCodePageUtf8)), "\xE4\xBD\xA0\xE5\xA5\xBD");
}

TEST(Utf8ToGbk, ConvertsChineseAndKeepsAscii) {
  EXPECT_EQ(Bytes(Utf8ToGbk("a\xE4\xBD\xA0\xE5\xA5\xBD")), "a\xC4\xE3\xBA\xC3");
  EXPECT_TRUE(Utf8ToGbk("").empty());
}

TEST(WideText, TerminatedAndNeverNull) {
  EXPECT_STREQ(WideText(nullptr).c_str(), L"");
  EXPECT_EQ(WideText("abc").length(), 3u);
  EXPECT_STREQ(WideText("\xC4\xE3").c_str(), L"\x4F60");
}

TEST(CodePageOfCharset, KnowsCommonNamesIgnoringCase) {
  EXPECT_EQ(CodePageOfCharset("UTF-8"), 65001u);
  EXPECT_EQ(CodePageOfCharset("Big5"), 950u);
  EXPECT_EQ(CodePageOfCharset("gb18030"), 54936u);
  EXPECT_EQ(CodePageOfCharset("Shift_JIS"), 932u);
  EXPECT_EQ(CodePageOfCharset("euc-kr"), 949u);
  EXPECT_EQ(CodePageOfCharset("ISO-8859-2"), 28592u);
  EXPECT_EQ(CodePageOfCharset("windows-1251"), 1251u);
  EXPECT_EQ(CodePageOfCharset("x-unknown"), 0u);
  EXPECT_EQ(CodePageOfCharset(nullptr), 0u);
}

TEST(TextBetween, CutsBetweenMarkers) {
  const char* json = "{\"id\":1,\"hitokoto\":\"\xC4\xE3\xBA\xC3\",\"type\":\"a\"}";
  EXPECT_EQ(Bytes(TextBetween(json, "hitokoto\":\"", "\",\"type")), "\xC4\xE3\xBA\xC3");
  EXPECT_TRUE(TextBetween(json, "absent", "\",\"type").empty());
  EXPECT_TRUE(TextBetween(json, "hitokoto\":\"", "absent").empty());
  EXPECT_TRUE(TextBetween("abc", "a", "b").empty());  // markers touch
}

TEST(TextBetween, QuoteMarkerStandsForDoubleQuote) {
  EXPECT_EQ(Bytes(TextBetween("say \"a\" then 12x3", "#引号a#引号", "x")), " then 12");
}

TEST(TextBetween, StartAndCase) {
  EXPECT_EQ(Bytes(TextBetween("<b>1</b><b>2</b>", "<b>", "</b>", 4)), "2");
  EXPECT_EQ(Bytes(TextBetween("<b>1</b>", "<b>", "</b>", 1)), "1");
  EXPECT_TRUE(TextBetween("<B>1</B>", "<b>", "</b>").empty());
  EXPECT_EQ(Bytes(TextBetween("<B>1</B>", "<b>", "</b>", 0, true)), "1");
}

TEST(UrlDecode, PercentEscapes) {
  EXPECT_EQ(Bytes(UrlDecode("%41%62c")), "Abc");
  EXPECT_EQ(Bytes(UrlDecode("a+b")), "a+b");
  EXPECT_EQ(Bytes(UrlDecode("%e4%bd%a0", true)), "\xC4\xE3");
  EXPECT_EQ(Bytes(UrlDecode("%e4%bd%a0")), "\xE4\xBD\xA0");
}

TEST(UrlDecode, EdgesAtTheEnd) {
  EXPECT_EQ(Bytes(UrlDecode("x%")), "x");      // lone percent: zero byte, nothing appended
  EXPECT_EQ(Bytes(UrlDecode("x%4")), "x\x40");  // missing digit counts as 0
  EXPECT_EQ(Bytes(UrlDecode("%00y")), "y");
  EXPECT_EQ(Bytes(UrlDecode("\xC4\xE3%20")), "\xC4\xE3 ");
}

TEST(UrlDecode, NonDigitsCountAsMinusTwo) {
  // 16 * -2 + 1 = -31, modulo 256 = 225 (E1).
  EXPECT_EQ(Bytes(UrlDecode("%G1")), "\xE1");
}

}  // namespace
}  // namespace quillet
