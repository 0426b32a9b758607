// Cutting and decoding the sentence out of a reply body, without the network.
#include <gtest/gtest.h>

#include <string>

#include "app/sentence_fetch.h"
#include "runtime/program_dll_commands.h"

namespace quillet::app {
namespace {

class ExtractSentenceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallProgramDllCommands(); }
  static std::string Extract(const std::string& reply) { return ExtractSentence(reply.c_str()).c_str(); }
  static std::string Reply(const std::string& escaped) {
    return "{\"id\":7,\"hitokoto\":\"" + escaped + "\",\"type\":\"d\",\"from\":\"x\"}";
  }
};

TEST_F(ExtractSentenceTest, MarkersAreTheServicesJsonMembers) {
  EXPECT_STREQ(kServiceAddress, "https://v1.hitokoto.cn/");
  EXPECT_EQ(std::string(kLeftMarker), "hitokoto\":\"");
  EXPECT_EQ(std::string(kLeftMarker).size(), 11u);
  EXPECT_EQ(std::string(kRightMarker), "\",\"type");
  EXPECT_EQ(std::string(kRightMarker).size(), 7u);
}

TEST_F(ExtractSentenceTest, Utf8SentenceComesOutAsGbk) {
  // 你好，世界。 in UTF-8 in, GBK out.
  EXPECT_EQ(Extract(Reply("\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C\xE3\x80\x82")),
            "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA1\xA3");
}

TEST_F(ExtractSentenceTest, CutIsByteExactWhereAGbkWalkWouldSwallowTheQuote) {
  // UTF-8 continuation bytes look like GBK lead bytes: 0x82 before the
  // closing quote, at an odd or even offset, must not hide the marker.
  const std::string odd = "\xE3\x80\x82";                 // 。 alone: 3 bytes
  const std::string even = "\xE4\xBD\xA0\xE3\x80\x82";  // 你。: 6 bytes
  EXPECT_EQ(CutBetweenBytes(Reply(odd).c_str(), kLeftMarker, kRightMarker).c_str(), odd);
  EXPECT_EQ(CutBetweenBytes(Reply(even).c_str(), kLeftMarker, kRightMarker).c_str(), even);
  EXPECT_EQ(Extract(Reply(odd)), "\xA1\xA3");
  EXPECT_EQ(Extract(Reply(even)), "\xC4\xE3\xA1\xA3");
}

TEST_F(ExtractSentenceTest, CutBetweenBytesEdges) {
  EXPECT_TRUE(CutBetweenBytes(nullptr, "a", "b").empty());
  EXPECT_TRUE(CutBetweenBytes("xab", "a", "b").empty());  // markers touch
  EXPECT_TRUE(CutBetweenBytes("b a", "a", "b").empty());  // right marker only before
  EXPECT_STREQ(CutBetweenBytes("a1b a2b", "a", "b").c_str(), "1");
  EXPECT_STREQ(CutBetweenBytes("aab", "aa", "b").c_str(), "");
  EXPECT_STREQ(CutBetweenBytes("xaa1b", "aa", "b").c_str(), "1");
}

TEST_F(ExtractSentenceTest, PercentEscapesAreDecoded) {
  EXPECT_EQ(Extract(Reply("%41bc%20d")), "Abc d");
  EXPECT_EQ(Extract(Reply("%e4%bd%a0")), "\xC4\xE3");
  EXPECT_EQ(Extract(Reply("1+1")), "1+1");
}

TEST_F(ExtractSentenceTest, JsonEscapesNeverReachTheUser) {
  EXPECT_EQ(Extract(Reply(R"(\u4f60\u597d)")), "\xC4\xE3\xBA\xC3");
  EXPECT_EQ(Extract(Reply(R"(say \"hi\"\/bye\\)")), "say \"hi\"/bye\\");
  EXPECT_EQ(Extract(Reply(R"(a\nb\tc)")), "a\nb\tc");
}

TEST_F(ExtractSentenceTest, AnEscapedQuoteDoesNotEndTheSentenceEarly) {
  // The right marker is quote-comma-quote-type; an escaped quote inside is not it.
  EXPECT_EQ(Extract(Reply(R"(\",\"x)")), "\",\"x");
}

TEST_F(ExtractSentenceTest, CharacterOutsideGbkBecomesAQuestionMarkNotAnEscape) {
  std::string out = Extract(Reply(R"(a\ud83d\ude00b)"));
  EXPECT_EQ(out.find("\\u"), std::string::npos) << out;
  EXPECT_EQ(out.front(), 'a');
  EXPECT_EQ(out.back(), 'b');
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

TEST_F(ExtractSentenceTest, FirstLeftMarkerAndNextRightMarkerWin) {
  EXPECT_EQ(Extract("{\"hitokoto\":\"one\",\"type\":\"a\"},{\"hitokoto\":\"two\",\"type\":\"b\"}"), "one");
}

}  // namespace
}  // namespace quillet::app
