#include "app/json_string.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/value.h"

namespace quillet::app {
namespace {

// Decodes and answers the bytes ("" for the null Text).
std::string Decode(const char* in) {
  Text out(DecodeJsonEscapes(in));
  return out.c_str();
}

TEST(DecodeJsonEscapes, EmptyAndNullGiveTheEmptyText) {
  EXPECT_EQ(DecodeJsonEscapes(nullptr), nullptr);
  EXPECT_EQ(DecodeJsonEscapes(""), nullptr);
}

TEST(DecodeJsonEscapes, PlainTextPassesUnchanged) {
  // UTF-8 for 你好 and a percent escape, which is not JSON's business.
  EXPECT_EQ(Decode("\xE4\xBD\xA0\xE5\xA5\xBD %41"), "\xE4\xBD\xA0\xE5\xA5\xBD %41");
}

TEST(DecodeJsonEscapes, EverySingleCharacterEscape) {
  EXPECT_EQ(Decode(R"(a\"b)"), "a\"b");
  EXPECT_EQ(Decode(R"(a\\b)"), "a\\b");
  EXPECT_EQ(Decode(R"(a\/b)"), "a/b");
  EXPECT_EQ(Decode(R"(\b\f\n\r\t)"), "\b\f\n\r\t");
}

TEST(DecodeJsonEscapes, EscapedBackslashDoesNotStartAnotherEscape) {
  EXPECT_EQ(Decode(R"(\\n)"), "\\n");
  EXPECT_EQ(Decode(R"(\\u0041)"), "\\u0041");
}

TEST(DecodeJsonEscapes, UnicodeEscapesBecomeUtf8OfEveryLength) {
  EXPECT_EQ(Decode(R"(\u0041)"), "A");
  EXPECT_EQ(Decode(R"(\u00e9)"), "\xC3\xA9");
  EXPECT_EQ(Decode(R"(\u4F60\u597d)"), "\xE4\xBD\xA0\xE5\xA5\xBD");  // 你好, either digit case
  EXPECT_EQ(Decode(R"(\u3002)"), "\xE3\x80\x82");
}

TEST(DecodeJsonEscapes, SurrogatePairIsOneCharacter) {
  EXPECT_EQ(Decode(R"(\ud83d\ude00)"), "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(Decode(R"(x\uD834\uDD1Ey)"), "x\xF0\x9D\x84\x9Ey");  // U+1D11E
}

TEST(DecodeJsonEscapes, LoneSurrogatesBecomeTheReplacementCharacter) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Decode(R"(\ud83dx)"), kReplacement + "x");
  EXPECT_EQ(Decode(R"(\ude00)"), kReplacement);
  // A high surrogate followed by a non-surrogate escape: both survive.
  EXPECT_EQ(Decode(R"(\ud83d\u0041)"), kReplacement + "A");
  EXPECT_EQ(Decode(R"(\ud83d\ud83d\ude00)"), kReplacement + "\xF0\x9F\x98\x80");
}

TEST(DecodeJsonEscapes, ZeroCharacterIsDropped) {
  EXPECT_EQ(Decode(R"(a\u0000b)"), "ab");
  EXPECT_EQ(DecodeJsonEscapes(R"(\u0000)"), nullptr);
}

TEST(DecodeJsonEscapes, UnknownOrCutOffEscapesAreKept) {
  EXPECT_EQ(Decode(R"(a\xb)"), R"(a\xb)");
  EXPECT_EQ(Decode(R"(\u12)"), R"(\u12)");
  EXPECT_EQ(Decode(R"(\u12g4)"), R"(\u12g4)");
  EXPECT_EQ(Decode("end\\"), "end\\");
}

TEST(DecodeJsonEscapes, ResultIsAFreshHeapText) {
  const char* in = R"(\"q\")";
  char* out = DecodeJsonEscapes(in);
  ASSERT_NE(out, nullptr);
  EXPECT_NE(out, in);
  EXPECT_STREQ(out, "\"q\"");
  RtFree(out);
}

}  // namespace
}  // namespace quillet::app
