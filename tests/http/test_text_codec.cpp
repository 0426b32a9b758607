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

TEST(UrlDecode, APercentThatStartsNoEscapeStaysText) {
  EXPECT_EQ(Bytes(UrlDecode("x%")), "x%");
  EXPECT_EQ(Bytes(UrlDecode("x%4")), "x%4");
  EXPECT_EQ(Bytes(UrlDecode("%G1")), "%G1");
  EXPECT_EQ(Bytes(UrlDecode("%4G")), "%4G");
  EXPECT_EQ(Bytes(UrlDecode("100%%41")), "100%A");
  EXPECT_EQ(Bytes(UrlDecode("%00y")), "y");
  EXPECT_EQ(Bytes(UrlDecode("\xC4\xE3%20")), "\xC4\xE3 ");
  // The service's own sentences: UTF-8 "成功率不到2%，剩下的98%呢" comes out whole.
  const char* utf8 = "\xE6\x88\x90\xE5\x8A\x9F\xE7\x8E\x87\xE4\xB8\x8D\xE5\x88\xB0" "2%\xEF\xBC\x8C"
                     "\xE5\x89\xA9\xE4\xB8\x8B\xE7\x9A\x84" "98%\xE5\x91\xA2";
  EXPECT_EQ(Bytes(UrlDecode(utf8)), utf8);
  EXPECT_EQ(Bytes(UrlDecode(utf8, true)), "\xB3\xC9\xB9\xA6\xC2\xCA\xB2\xBB\xB5\xBD" "2%\xA3\xAC"
                                          "\xCA\xA3\xCF\xC2\xB5\xC4" "98%\xC4\xD8");
}

}  // namespace
}  // namespace quillet
