// Cutting and decoding the sentence out of a reply body, without the network.
#include <gtest/gtest.h>

#include <string>

#include "app/sentence_fetch.h"
#include "http/text_codec.h"
#include "runtime/program_dll_commands.h"

namespace quillet::app {
namespace {

class ExtractSentenceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallProgramDllCommands(); }
  // The UTF-16 result as UTF-8, so it compares byte for byte with what was served.
  static std::string Utf8(const ByteSet& units) { return Utf16ToCodePage(units.get(), kCodePageUtf8).c_str(); }
  static std::string Extract(const std::string& reply) { return Utf8(ExtractSentence(reply.c_str())); }
  static std::string Source(const std::string& reply) { return Utf8(ExtractSource(reply.c_str())); }
  static std::string Reply(const std::string& escaped) {
    return "{\"id\":7,\"hitokoto\":\"" + escaped + "\",\"type\":\"d\",\"from\":\"x\"}";
  }
  // The live service's shape and member order.
  static std::string LiveReply(const std::string& from, const std::string& from_who) {
    return "{\"id\":5012,\"uuid\":\"6b7d\",\"hitokoto\":\"\xE5\xA5\xBD\",\"type\":\"a\",\"from\":" + from +
           ",\"from_who\":" + from_who +
           ",\"creator\":\"c\",\"creator_uid\":1,\"reviewer\":4756,\"commit_from\":\"web\","
           "\"created_at\":\"1573452385\",\"length\":1}";
  }
};

TEST_F(ExtractSentenceTest, MarkersAreTheServicesJsonMembers) {
  EXPECT_STREQ(kServiceAddress, "https://v1.hitokoto.cn/");
  EXPECT_EQ(std::string(kLeftMarker), "hitokoto\":\"");
  EXPECT_EQ(std::string(kLeftMarker).size(), 11u);
  EXPECT_EQ(std::string(kRightMarker), "\",\"type");
  EXPECT_EQ(std::string(kRightMarker).size(), 7u);
}

TEST_F(ExtractSentenceTest, TheSentenceComesOutAsServedEvenWhereGbkHasNoCharacter) {
  const std::string hello = "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C\xE3\x80\x82";  // 你好，世界。
  EXPECT_EQ(Extract(Reply(hello)), hello);
  // ♪晚安・好梦⋯, a no-break space and Hangul: none of them is in GBK.
  const std::string music = "\xE2\x99\xAA\xE6\x99\x9A\xE5\xAE\x89\xE3\x83\xBB\xE5\xA5\xBD\xE6\xA2\xA6\xE2\x8B\xAF";
  EXPECT_EQ(Extract(Reply(music)), music);
  EXPECT_EQ(Extract(Reply("a\xC2\xA0\xEC\x95\x88\xEB\x85\x95")), "a\xC2\xA0\xEC\x95\x88\xEB\x85\x95");
  // 晚安🌙好梦: an emoji outside the basic plane, raw and as an escaped surrogate pair.
  const std::string moon = "\xE6\x99\x9A\xE5\xAE\x89\xF0\x9F\x8C\x99\xE5\xA5\xBD\xE6\xA2\xA6";
  EXPECT_EQ(Extract(Reply(moon)), moon);
  EXPECT_EQ(Extract(Reply(R"(\u665a\u5b89\ud83c\udf19\u597d\u68a6)")), moon);
  EXPECT_EQ(ExtractSentence(Reply(moon).c_str()).size(), 6u * sizeof(wchar_t));  // the emoji is two units
}

TEST_F(ExtractSentenceTest, CutIsByteExactWhereAGbkWalkWouldSwallowTheQuote) {
  // UTF-8 continuation bytes look like GBK lead bytes: 0x82 before the
  // closing quote, at an odd or even offset, must not hide the marker.
  const std::string odd = "\xE3\x80\x82";                 // 。 alone: 3 bytes
  const std::string even = "\xE4\xBD\xA0\xE3\x80\x82";  // 你。: 6 bytes
  EXPECT_EQ(CutBetweenBytes(Reply(odd).c_str(), kLeftMarker, kRightMarker).c_str(), odd);
  EXPECT_EQ(CutBetweenBytes(Reply(even).c_str(), kLeftMarker, kRightMarker).c_str(), even);
  EXPECT_EQ(Extract(Reply(odd)), odd);
  EXPECT_EQ(Extract(Reply(even)), even);
}

TEST_F(ExtractSentenceTest, CutBetweenBytesEdges) {
  EXPECT_TRUE(CutBetweenBytes(nullptr, "a", "b").empty());
  EXPECT_TRUE(CutBetweenBytes("xab", "a", "b").empty());  // markers touch
  EXPECT_TRUE(CutBetweenBytes("b a", "a", "b").empty());  // right marker only before
  EXPECT_STREQ(CutBetweenBytes("a1b a2b", "a", "b").c_str(), "1");
  EXPECT_STREQ(CutBetweenBytes("aab", "aa", "b").c_str(), "");
  EXPECT_STREQ(CutBetweenBytes("xaa1b", "aa", "b").c_str(), "1");
}

TEST_F(ExtractSentenceTest, PercentEscapesAreDecodedAndALiteralPercentStays) {
  EXPECT_EQ(Extract(Reply("%41bc%20d")), "Abc d");
  EXPECT_EQ(Extract(Reply("%e4%bd%a0")), "\xE4\xBD\xA0");
  EXPECT_EQ(Extract(Reply("1+1")), "1+1");
  // 做最关键的20%…80%的问题 as the service sends it.
  const std::string percent = "\xE5\x81\x9A\xE6\x9C\x80\xE5\x85\xB3\xE9\x94\xAE\xE7\x9A\x84" "20%"
                              "\xE2\x80\xA6" "80%\xE7\x9A\x84\xE9\x97\xAE\xE9\xA2\x98";
  EXPECT_EQ(Extract(Reply(percent)), percent);
  EXPECT_EQ(Extract(Reply("100%")), "100%");
}

TEST_F(ExtractSentenceTest, JsonEscapesNeverReachTheUser) {
  EXPECT_EQ(Extract(Reply(R"(\u4f60\u597d)")), "\xE4\xBD\xA0\xE5\xA5\xBD");
  EXPECT_EQ(Extract(Reply(R"(say \"hi\"\/bye\\)")), "say \"hi\"/bye\\");
  EXPECT_EQ(Extract(Reply(R"(a\nb\tc\r\nd)")), "a\nb\tc\r\nd");
}

TEST_F(ExtractSentenceTest, AnEscapedQuoteDoesNotEndTheSentenceEarly) {
  // The right marker is quote-comma-quote-type; an escaped quote inside is not it.
  EXPECT_EQ(Extract(Reply(R"(\",\"x)")), "\",\"x");
  // Decoded, this one holds the marker itself: the cut must look at the raw reply.
  EXPECT_EQ(Extract(Reply(R"(\",\"type\":\"x)")), "\",\"type\":\"x");
}

TEST_F(ExtractSentenceTest, InvalidUtf8BecomesReplacementCharactersNotNothing) {
  EXPECT_EQ(Extract(Reply("a%FFb")), "a\xEF\xBF\xBD" "b");
}

TEST_F(ExtractSentenceTest, NoSentenceGivesTheEmptyText) {
  EXPECT_TRUE(ExtractSentence(nullptr).empty());
  EXPECT_TRUE(ExtractSentence("").empty());
  EXPECT_TRUE(ExtractSentence("{\"error\":\"too many requests\"}").empty());         // no left marker
  EXPECT_TRUE(ExtractSentence("{\"hitokoto\":\"abc\",\"from\":\"x\"}").empty());      // no right marker
  EXPECT_TRUE(ExtractSentence("{\"type\":\"a\",\"hitokoto\":\"abc\"}").empty());      // right marker only before
  EXPECT_TRUE(ExtractSentence(Reply("").c_str()).empty());                           // markers touch
  EXPECT_TRUE(ExtractSentence(Reply(R"(\u0000)").c_str()).empty());                  // nothing left after decoding
  EXPECT_TRUE(ExtractSentence(Reply("%00").c_str()).empty());
}

TEST_F(ExtractSentenceTest, SourceLineNamesAuthorAndWork) {
  // "—— 鲁迅「呐喊」" and, without an author, "——「呐喊」".
  const std::string work = "\xE5\x91\x90\xE5\x96\x8A", author = "\xE9\xB2\x81\xE8\xBF\x85";
  const std::string dash = "\xE2\x80\x94\xE2\x80\x94", open = "\xE3\x80\x8C", close = "\xE3\x80\x8D";
  EXPECT_EQ(Source(LiveReply("\"" + work + "\"", "\"" + author + "\"")), dash + " " + author + open + work + close);
  EXPECT_EQ(Source(LiveReply("\"" + work + "\"", "null")), dash + open + work + close);
  EXPECT_EQ(Source(LiveReply("\"" + work + "\"", "\"\"")), dash + open + work + close);
  // No work, no line, whoever the author is.
  EXPECT_EQ(Source(LiveReply("\"\"", "\"" + author + "\"")), "");
  EXPECT_EQ(Source(LiveReply("null", "null")), "");
  EXPECT_EQ(Source(Reply("s")), dash + open + "x" + close);
  EXPECT_TRUE(ExtractSource(nullptr).empty());
  EXPECT_TRUE(ExtractSource("{\"hitokoto\":\"s\",\"type\":\"a\"}").empty());
}

TEST_F(ExtractSentenceTest, SourceLineDecodesEscapesAndKeepsQuotesAndPercents) {
  const std::string dash = "\xE2\x80\x94\xE2\x80\x94", open = "\xE3\x80\x8C", close = "\xE3\x80\x8D";
  EXPECT_EQ(Source(LiveReply(R"("say \"hi\"")", R"("A\u00e9\/B")")),
            dash + " A\xC3\xA9/B" + open + "say \"hi\"" + close);
  EXPECT_EQ(Source(LiveReply(R"("50%41")", "null")), dash + open + "50%41" + close);  // not percent-decoded
  EXPECT_EQ(Source(LiveReply(R"("\ud83c\udf19")", "null")), dash + open + "\xF0\x9F\x8C\x99" + close);
}

TEST_F(ExtractSentenceTest, SourceMembersAreFoundOnlyAtTheTopLevel) {
  // "from" inside the sentence, inside a nested object, or as a key's prefix is not the member.
  const std::string reply =
      R"({"hitokoto":"\"from\":\"fake\"","type":"a","meta":{"from":"nested","list":["from",{"from":1}]},)"
      R"("from_who":"who","from":"real"})";
  EXPECT_EQ(Source(reply), "\xE2\x80\x94\xE2\x80\x94 who\xE3\x80\x8Creal\xE3\x80\x8D");
  // A reply cut off inside the member gives no source.
  EXPECT_TRUE(ExtractSource(R"({"hitokoto":"s","type":"a","from":"cut)").empty());
  EXPECT_TRUE(ExtractSource(R"({"hitokoto":"s","type":"a","from":)").empty());
  EXPECT_TRUE(ExtractSource("[\"from\",\"x\"]").empty());
}

TEST_F(ExtractSentenceTest, FirstLeftMarkerAndNextRightMarkerWin) {
  EXPECT_EQ(Extract("{\"hitokoto\":\"one\",\"type\":\"a\"},{\"hitokoto\":\"two\",\"type\":\"b\"}"), "one");
}

}  // namespace
}  // namespace quillet::app
