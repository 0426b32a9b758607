// Text commands: cutting, searching, replacing, splitting, trimming, comparing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/library_commands.h"
#include "support/gbk_text.h"
#include "support/heap_usage.h"

namespace quillet {
namespace {

std::string S(const Text& t) { return t.c_str(); }

std::vector<std::string> Elements(const TextArray& a) {
  std::vector<std::string> out;
  for (size_t i = 0; i < a.size(); ++i) out.push_back(a.at(i));
  return out;
}

// "中" and "文" in GBK: D6 D0 and CE C4. "\xB0\x61" is a character whose trail byte is 'a'.
const char kZhong[] = "\xD6\xD0";
const char kWithTrailA[] = "\xB0" "a";

TEST(CutTest, LeftRightMidAtTheEdges) {
  EXPECT_EQ(S(Mid("abcdef", 3, 10)), "cdef");
  EXPECT_TRUE(Mid("abc", 4, 1).empty());
  EXPECT_EQ(Mid("abc", 4, 1).get(), nullptr);
  EXPECT_TRUE(Mid("abc", 0, 2).empty());
  EXPECT_TRUE(Mid("abc", 1, 0).empty());
  EXPECT_EQ(S(Mid("abc", 3, 1)), "c");
  EXPECT_TRUE(Left("abc", 0).empty());
  EXPECT_TRUE(Left("abc", -1).empty());
  EXPECT_EQ(S(Left("abc", 9)), "abc");
  EXPECT_EQ(S(Left("abc", 2)), "ab");
  EXPECT_EQ(S(Right("abc", 2)), "bc");
  EXPECT_EQ(S(Right("abc", 7)), "abc");
  EXPECT_TRUE(Right("abc", 0).empty());
  EXPECT_TRUE(Left(nullptr, 3).empty());
  // Bytes, not characters: half a GBK character may be cut.
  EXPECT_EQ(S(Left(kZhong, 1)), "\xD6");
}

TEST(CutTest, CharAndCharCode) {
  EXPECT_EQ(S(Char(0x141)), "A");
  EXPECT_EQ(Char(256).get(), nullptr);
  EXPECT_EQ(CharCode("abc"), 'a');
  EXPECT_EQ(CharCode("abc", 3), 'c');
  EXPECT_EQ(CharCode("abc", 0), 0);
  EXPECT_EQ(CharCode("abc", 4), 0);
  EXPECT_EQ(CharCode(kZhong), static_cast<signed char>('\xD6'));
  EXPECT_LT(CharCode(kZhong), 0);
  EXPECT_EQ(CharCode(nullptr), 0);
}

TEST(FindTextTest, CaseAndStart) {
  EXPECT_EQ(FindText("aXbx", "x"), 4);
  EXPECT_EQ(FindText("aXbx", "x", {}, true), 2);
  EXPECT_EQ(FindText("aXbx", "x", 3, true), 4);
  EXPECT_EQ(FindText("aXbx", "y"), -1);
  EXPECT_EQ(FindText("abc", "abcd"), -1);
  EXPECT_EQ(FindText("abcabc", "abc", 2), 4);
  EXPECT_EQ(FindText("abcabc", "abc", -5), 1);  // a start below 1 counts as 1
  EXPECT_EQ(FindText("abc", "c", 4), -1);       // start past the end
  EXPECT_EQ(FindText(nullptr, "a"), -1);
}

TEST(FindTextTest, EmptySearch) {
  EXPECT_EQ(FindText("abc", ""), 1);
  EXPECT_EQ(FindText("abc", "", 3), 1);
  EXPECT_EQ(FindText("abc", "", 4), -1);
  EXPECT_EQ(FindText("", ""), -1);
}

TEST(FindTextTest, NeverMatchesOnASecondByte) {
  // "\xB0" "a" then "a": the first 'a' is a trail byte.
  std::string text = std::string(kWithTrailA) + "a";
  EXPECT_EQ(FindText(text.c_str(), "a"), 3);
  EXPECT_EQ(FindText(text.c_str(), "A", {}, true), 3);
  // A run of double-byte characters: D6 D0 D6 D0; searching D0 D6 must fail.
  std::string two = std::string(kZhong) + kZhong;
  EXPECT_EQ(FindText(two.c_str(), "\xD0\xD6"), -1);
  // A start inside a character walks from there: its trail byte is taken as a lead.
  EXPECT_EQ(FindText(two.c_str(), kZhong, 2), -1);
  EXPECT_EQ(FindText(two.c_str(), kZhong, 3), 3);
  // Ignoring case leaves double-byte characters alone: B0 41 is not B0 61.
  EXPECT_EQ(FindText("\xB0\x41", kWithTrailA, {}, true), -1);
}

TEST(FindTextReverseTest, LastOccurrenceWithinTheLimit) {
  EXPECT_EQ(FindTextReverse("abab", "ab"), 3);
  EXPECT_EQ(FindTextReverse("abab", "ab", 4), 1);
  EXPECT_EQ(FindTextReverse("abab", "ab", 5), 3);
  EXPECT_EQ(FindTextReverse("abab", "ab", 99), 3);
  EXPECT_EQ(FindTextReverse("abab", "ab", 1), -1);
  EXPECT_EQ(FindTextReverse("abab", "ab", 0), -1);
  EXPECT_EQ(FindTextReverse("aaa", "aa"), 2);  // overlapping candidates count
  EXPECT_EQ(FindTextReverse("aBab", "AB", {}, true), 3);
  EXPECT_EQ(FindTextReverse("aBab", "AB"), -1);
  EXPECT_EQ(FindTextReverse("abc", ""), 1);
  EXPECT_EQ(FindTextReverse("abc", "", 1), -1);
  EXPECT_EQ(FindTextReverse("", ""), -1);
  std::string text = std::string("a") + kWithTrailA;  // 'a' B0 'a': only position 1 is a character
  EXPECT_EQ(FindTextReverse(text.c_str(), "a"), 1);
}

TEST(ReplaceTest, CaseStartAndCount) {
  EXPECT_EQ(S(Replace("aAa", "a", "b")), "bbb");
  EXPECT_EQ(S(Replace("aAa", "a", "b", {}, {}, true)), "bAb");
  EXPECT_EQ(S(Replace("aaaa", "a", "b", 3)), "aabb");
  EXPECT_EQ(S(Replace("aaaa", "a", "b", {}, 2)), "bbaa");
  EXPECT_EQ(S(Replace("aaaa", "a", "b", {}, 0)), "aaaa");
  EXPECT_EQ(S(Replace("abc", "b")), "ac");  // replacement omitted: empty
  EXPECT_EQ(S(Replace("abc", "", "x")), "abc");
  EXPECT_EQ(S(Replace("abc", "b", "x", 4)), "abc");
  EXPECT_EQ(Replace("", "b", "x").get(), nullptr);
  EXPECT_EQ(Replace("b", "b", "").get(), nullptr);  // an empty result is null
  EXPECT_EQ(S(Replace("abab", "ab", "abab")), "abababab");
  EXPECT_EQ(S(Replace("ab", "abc", "x")), "ab");
}

TEST(ReplaceTest, StepsOverDoubleByteCharacters) {
  std::string text = std::string(kWithTrailA) + "a";
  EXPECT_EQ(S(Replace(text.c_str(), "a", "!")), std::string(kWithTrailA) + "!");
  std::string two = std::string(kZhong) + kZhong;
  EXPECT_EQ(S(Replace(two.c_str(), "\xD0\xD6", "x")), two);
  EXPECT_EQ(S(Replace(two.c_str(), kZhong, "x")), "xx");
}

TEST(SplitTest, Pieces) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Elements(Split("a,,b")), (V{"a", "", "b"}));
  EXPECT_EQ(Elements(Split(",a")), (V{"", "a"}));
  EXPECT_EQ(Elements(Split("a,b,")), (V{"a", "b"}));
  EXPECT_EQ(Elements(Split("a,b,c", ",", 2)), (V{"a", "b"}));
  EXPECT_EQ(Elements(Split("a,b,c", ",", 0)), V{});
  EXPECT_EQ(Elements(Split("a||b", "||")), (V{"a", "b"}));
  EXPECT_EQ(Elements(Split("a,b", "")), (V{"a,b"}));
  EXPECT_EQ(Elements(Split("a,b", nullptr)), (V{"a,b"}));  // given but empty
  EXPECT_EQ(Elements(Split("abc", ";")), (V{"abc"}));
}

TEST(SplitTest, AlwaysAnArrayBlock) {
  TextArray empty = Split("");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(ArrayDimensionCount(empty.get()), 1);
  EXPECT_EQ(ArrayDimensionSizes(empty.get())[0], 0);
  TextArray three = Split("a,,b");
  EXPECT_EQ(ArrayDimensionSizes(three.get())[0], 3);
  void* first = nullptr;
  ArrayElementCount(three.get(), &first);
  EXPECT_EQ(static_cast<char**>(first)[1], nullptr);  // the empty piece is the empty Text
}

TEST(SplitTest, SeparatorNeverMatchesOnASecondByte) {
  std::string text = std::string(kWithTrailA) + "a" + "x";
  using V = std::vector<std::string>;
  EXPECT_EQ(Elements(Split(text.c_str(), "a")), (V{kWithTrailA, "x"}));
}

TEST(TrimTest, AsciiAndFullWidthBlanksButNotTabs) {
  EXPECT_EQ(S(TrimBoth("  ab c  ")), "ab c");
  EXPECT_EQ(S(TrimBoth("\xA1\xA1" "ab" "\xA1\xA1 ")), "ab");
  EXPECT_EQ(S(TrimBoth("\tab\t")), "\tab\t");
  EXPECT_EQ(TrimBoth("   ").get(), nullptr);
  EXPECT_EQ(TrimBoth(nullptr).get(), nullptr);
  // The trail byte A1 of a character followed by A1 is no blank.
  EXPECT_EQ(S(TrimBoth("\xB0\xA1\xA1")), "\xB0\xA1\xA1");
}

TEST(ToUpperTest, AsciiOnly) {
  EXPECT_EQ(S(ToUpper("abC1z")), "ABC1Z");
  std::string text = std::string(kWithTrailA) + "a";
  EXPECT_EQ(S(ToUpper(text.c_str())), std::string(kWithTrailA) + "A");
  EXPECT_EQ(ToUpper("").get(), nullptr);
}

TEST(SpacesTest, Count) {
  EXPECT_EQ(S(Spaces(3)), "   ");
  EXPECT_EQ(Spaces(0).get(), nullptr);
  EXPECT_EQ(Spaces(-2).get(), nullptr);
}

TEST(CompareTextTest, CaseAndOrder) {
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_NE(CompareText("abc", "ABC", true), 0);
  EXPECT_GT(CompareText("abc", "ABC", true), 0);
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_EQ(CompareText(nullptr, ""), 0);
  EXPECT_GT(CompareText(kZhong, "z"), 0);
  // A trail byte is compared exactly even when case is ignored.
  EXPECT_NE(CompareText("\xB0\x41", kWithTrailA), 0);
}

TEST(ToIntegerTest, TextWithFullWidthForms) {
  EXPECT_EQ(ToInteger("123"), 123);
  EXPECT_EQ(ToInteger("  -42abc"), -42);
  EXPECT_EQ(ToInteger("abc"), 0);
  EXPECT_EQ(ToInteger(""), 0);
  // Full-width "１２" and "－３" and a full-width space before them.
  EXPECT_EQ(ToInteger("\xA3\xB1\xA3\xB2"), 12);
  EXPECT_EQ(ToInteger("\xA1\xA1\xA3\xAD\xA3\xB3"), -3);
}

// The searches walk candidates character by character; these references do
// exactly that, byte by byte, and random texts (many high bytes, searches cut
// from the text itself, every alignment) must agree with the fast paths.
bool ReferenceMatch(const std::string& t, size_t i, const std::string& s, bool fold) {
  if (i + s.size() > t.size()) return false;
  for (size_t j = 0; j < s.size(); ++j) {
    unsigned char a = t[i + j], b = s[j];
    if (fold && !(j > 0 && (static_cast<unsigned char>(s[j - 1]) & 0x80) && !(j > 1 && (static_cast<unsigned char>(s[j - 2]) & 0x80)))) {
      if (a >= 'A' && a <= 'Z') a += 32;
      if (b >= 'A' && b <= 'Z') b += 32;
    }
    if (a != b) return false;
  }
  return true;
}

int ReferenceFind(const std::string& t, const std::string& s, size_t from, size_t end) {
  for (size_t i = from; i + s.size() <= end; i += (static_cast<unsigned char>(t[i]) & 0x80) && i + 1 < end ? 2 : 1) {
    if (ReferenceMatch(t, i, s, false)) return static_cast<int>(i + 1);
  }
  return -1;
}

int ReferenceFindLast(const std::string& t, const std::string& s) {
  int last = -1;
  for (size_t i = 0; i + s.size() <= t.size(); i += (static_cast<unsigned char>(t[i]) & 0x80) && i + 1 < t.size() ? 2 : 1) {
    if (ReferenceMatch(t, i, s, false)) last = static_cast<int>(i + 1);
  }
  return last;
}

TEST(SearchAgreementTest, FastPathsAgreeWithTheCharacterWalk) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  static const unsigned char kAlphabet[] = {'a', 'b', 'B', 0xB0, 0xA1, 0xD6, 'a', 0xD0};
  std::vector<char> storage(200);
  for (int round = 0; round < 3000; ++round) {
    size_t length = next() % 40;
    std::string t;
    for (size_t i = 0; i < length; ++i) t += static_cast<char>(kAlphabet[next() % sizeof kAlphabet]);
    std::string s;
    if (length > 0 && next() % 2) {
      size_t at = next() % length;
      s = t.substr(at, 1 + next() % 4);
    } else {
      for (size_t i = 0, n = 1 + next() % 3; i < n; ++i) s += static_cast<char>(kAlphabet[next() % sizeof kAlphabet]);
    }
    // Place the text at every alignment within its buffer.
    size_t offset = next() % 8;
    std::memcpy(storage.data() + offset, t.c_str(), t.size() + 1);
    const char* placed = storage.data() + offset;
    size_t start = next() % (length + 2);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(FindText(placed, s.c_str()), ReferenceFind(t, s, 0, t.size()));
    int expected_from_start = start == 0 || start - 1 < t.size() ? ReferenceFind(t, s, start ? start - 1 : 0, t.size()) : -1;
    EXPECT_EQ(FindText(placed, s.c_str(), static_cast<int>(start)), expected_from_start);
    EXPECT_EQ(FindTextReverse(placed, s.c_str()), ReferenceFindLast(t, s));
    EXPECT_EQ(FindTextReverse(placed, s.c_str(), static_cast<int>(t.size() + 1)), ReferenceFindLast(t, s));
  }
}

// Every result is owned and freed by the caller's RAII value: repeating the
// commands many times must not grow the process.
TEST(TextLeakTest, RepeatedCommandsDoNotGrowTheHeap) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "ab,\xD6\xD0" "cd, ";
  auto round = [&] {
    for (int i = 0; i < 200; ++i) {
      Text r = Replace(text.c_str(), ",", "::");
      TextArray parts = Split(r.c_str(), "::");
      Text m = Mid(text.c_str(), 5, 300);
      Text u = ToUpper(m.c_str());
      Text trimmed = TrimBoth(u.c_str());
      Text joined(ConcatTexts2(trimmed.c_str(), r.c_str()));
      ASSERT_GT(parts.size(), 100u);
      ASSERT_GT(joined.length(), 0u);
    }
  };
  round();  // the heap reaches its working size
  SIZE_T before = testing_support::HeapBytesInUse();
  for (int k = 0; k < 10; ++k) round();
  SIZE_T after = testing_support::HeapBytesInUse();
  EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
}

}  // namespace
}  // namespace quillet
