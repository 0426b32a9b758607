// Request header composition, header-name normalisation and cookie bookkeeping.
#include <gtest/gtest.h>

#include "http/request_headers.h"
#include "http_test_support.h"

namespace quillet {
namespace {

using http_test::Bytes;

constexpr char kUserAgentLine[] = "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
constexpr char kAcceptLine[] = "Accept: text/html, application/xhtml+xml, */*";
constexpr char kEncodingLine[] = "Accept-Encoding: gbk, GB2312";
constexpr char kLanguageLine[] = "Accept-Language: zh-cn";
constexpr char kCacheLine[] = "Cache-Control: no-cache";
constexpr char kFormLine[] = "Content-Type: application/x-www-form-urlencoded";

std::string Lines(std::initializer_list<std::string> lines, const char* separator = "\r\n") {
  std::string out;
  for (const std::string& line : lines) out += (out.empty() ? "" : separator) + line;
  return out;
}

TEST(ComposeRequestHeaders, DefaultsAloneInOrderWithoutFinalLineBreak) {
  EXPECT_EQ(Bytes(ComposeRequestHeaders(nullptr, 0, nullptr, true, true)),
            Lines({kUserAgentLine, kAcceptLine, kEncodingLine, kLanguageLine, kCacheLine}));
}

TEST(ComposeRequestHeaders, PostAddsFormContentTypeBeforeCacheControl) {
  EXPECT_EQ(Bytes(ComposeRequestHeaders(nullptr, 1, nullptr, true, true)),
            Lines({kUserAgentLine, kAcceptLine, kEncodingLine, kLanguageLine, kFormLine, kCacheLine}));
  const std::string own = Bytes(ComposeRequestHeaders("content-type:text/plain", 1, nullptr, true, true));
  EXPECT_EQ(own.find("x-www-form-urlencoded"), std::string::npos);
  EXPECT_EQ(own.rfind("Content-Type:text/plain", 0), 0u);
  // Any other verb number never adds it.
  for (int method : {0, 2, 3, 9, -1}) {
    EXPECT_EQ(Bytes(ComposeRequestHeaders(nullptr, method, nullptr, true, true)).find("Content-Type"),
              std::string::npos);
  }
}

TEST(ComposeRequestHeaders, ExtraHeaderReplacesDefaultAndIsCapitalised) {
  EXPECT_EQ(Bytes(ComposeRequestHeaders("user-agent: X", 0, nullptr, true, true)),
            Lines({"User-Agent: X", kAcceptLine, kEncodingLine, kLanguageLine, kCacheLine}));
}

TEST(ComposeRequestHeaders, ProbeInsideAnotherValueCountsAsPresent) {
  const std::string text = Bytes(ComposeRequestHeaders("X-Note: Accept: everything", 0, nullptr, true, false));
  EXPECT_EQ(text.find(kAcceptLine), std::string::npos);
}

TEST(ComposeRequestHeaders, WithoutDefaultsOrNormalisation) {
  EXPECT_TRUE(ComposeRequestHeaders(nullptr, 0, nullptr, false, true).empty());
  EXPECT_TRUE(ComposeRequestHeaders(nullptr, 0, nullptr, false, false).empty());
  // Without normalisation the final CR LF stays, and an extra CR LF gives an empty line.
  EXPECT_EQ(Bytes(ComposeRequestHeaders("x-a: 1\r\n", 0, nullptr, false, false)), "x-a: 1\r\n\r\n");
  EXPECT_EQ(Bytes(ComposeRequestHeaders("x-a: 1", 0, nullptr, false, true)), "X-A: 1");
}

TEST(ComposeRequestHeaders, KeepAliveLineRemovedCloseKept) {
  EXPECT_EQ(Bytes(ComposeRequestHeaders("Connection: keep-alive\r\nX-A: 1", 0, nullptr, false, true)), "X-A: 1");
  EXPECT_EQ(Bytes(ComposeRequestHeaders("connection: keep-alive\r\nX-A: 1", 0, nullptr, false, true)), "X-A: 1");
  EXPECT_EQ(Bytes(ComposeRequestHeaders("Connection: close\r\nX-A: 1", 0, nullptr, false, true)),
            "Connection: close\r\nX-A: 1");
  // As the last line it lost its CR LF in normalisation, so it stays.
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1\r\nConnection: keep-alive", 0, nullptr, false, true)),
            "X-A: 1\r\nConnection: keep-alive");
  // "Keep-Alive" is not exactly "keep-alive".
  EXPECT_EQ(Bytes(ComposeRequestHeaders("Connection: Keep-Alive\r\nX-A: 1", 0, nullptr, false, true)),
            "Connection: Keep-Alive\r\nX-A: 1");
}

TEST(ComposeRequestHeaders, CookieLineFromSendCookies) {
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1", 0, "a=1; b=2", false, true)), "X-A: 1\r\nCookie: a=1; b=2\r\n");
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1", 0, "Cookie: a=1", false, true)), "X-A: 1\r\nCookie: a=1\r\n");
  // Blanks around the cookies would start the header line with a blank.
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1", 0, "  Cookie: a=1 ", false, true)), "X-A: 1\r\nCookie: a=1\r\n");
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1", 0, " a=1", false, true)), "X-A: 1\r\nCookie: a=1\r\n");
  // A Cookie line of the caller wins.
  EXPECT_EQ(Bytes(ComposeRequestHeaders("cookie: z=9", 0, "a=1", false, true)), "Cookie: z=9");
  // Without normalisation an empty line stands before the Cookie line.
  EXPECT_EQ(Bytes(ComposeRequestHeaders("X-A: 1", 0, "a=1", false, false)), "X-A: 1\r\n\r\nCookie: a=1\r\n");
}

TEST(NormalizeHeaderNames, CapitalisesEachDashPart) {
  EXPECT_EQ(Bytes(NormalizeHeaderNames("user-agent: x")), "User-Agent: x");
  EXPECT_EQ(Bytes(NormalizeHeaderNames("USER-AGENT: x")), "USER-AGENT: x");
  EXPECT_EQ(Bytes(NormalizeHeaderNames("x-requested-with: y")), "X-Requested-With: y");
  EXPECT_EQ(Bytes(NormalizeHeaderNames("host:a:b")), "Host:a:b");
  EXPECT_EQ(Bytes(NormalizeHeaderNames("x-: v")), "X-: v");
}

TEST(NormalizeHeaderNames, DropsLinesWithoutColon) {
  EXPECT_EQ(Bytes(NormalizeHeaderNames("\r\nx-a: 1\r\n\r\n")), "X-A: 1");
  EXPECT_EQ(Bytes(NormalizeHeaderNames("junk\r\nb: 2")), "B: 2");
  EXPECT_TRUE(NormalizeHeaderNames("").empty());
  EXPECT_TRUE(NormalizeHeaderNames("no colon").empty());
}

TEST(CapitalizeFirst, OnlyAsciiLowercaseFirstLetter) {
  EXPECT_EQ(Bytes(CapitalizeFirst("abc")), "Abc");
  EXPECT_EQ(Bytes(CapitalizeFirst("1bc")), "1bc");
  EXPECT_EQ(Bytes(CapitalizeFirst("\xC4\xE3")), "\xC4\xE3");
  EXPECT_TRUE(CapitalizeFirst("").empty());
}

TEST(HeaderValue, FirstLineStartingWithNameCaseSensitive) {
  const char* headers = "Host: h\r\nConnection: close\r\nConnection: keep-alive";
  EXPECT_EQ(Bytes(HeaderValue(headers, "Connection")), "close");
  EXPECT_TRUE(HeaderValue(headers, "connection").empty());
  EXPECT_TRUE(HeaderValue(headers, "Missing").empty());
}

TEST(TextBeforeAndAfterLast, Cuts) {
  EXPECT_EQ(Bytes(TextBefore("Set-Cookie: a=1", ": ")), "Set-Cookie");
  EXPECT_TRUE(TextBefore("abc", "x").empty());
  EXPECT_EQ(Bytes(TextBefore("a:b:c", ":", -1)), "a:b");
  EXPECT_EQ(Bytes(TextAfterLast("a: b: c", ": ")), "c");
  EXPECT_EQ(Bytes(TextAfterLast("a: b: c", ": ", -1)), "b: c");
  // An occurrence that ends with the last character does not count.
  EXPECT_EQ(Bytes(TextAfterLast("a: b: ", ": ")), "b: ");
  EXPECT_TRUE(TextAfterLast("abc", "x").empty());
}

TEST(CollectReplyHeaderLines, CookiesAndLocation) {
  Text cookies, location;
  for (const char* line : {"HTTP/1.1 200 OK", "Set-Cookie: a=1; path=/", "Set-Cookie: b=2", "Set-Cookie:c=3",
                           "set-cookie: d=4", "", "location: /next"}) {
    CollectReplyHeaderLines(line, cookies, location);
  }
  EXPECT_EQ(Bytes(cookies), "a=1; b=2; ");
  EXPECT_EQ(Bytes(location), "/next");
  CollectReplyHeaderLines("Location: /last", cookies, location);
  EXPECT_EQ(Bytes(location), "/last");
}

TEST(CollectReplyHeaderLines, AppendsToWhatTheVariableHeld) {
  Text cookies(CopyText("old=0; ")), location(CopyText("kept"));
  CollectReplyHeaderLines("Set-Cookie:  x=1  ", cookies, location);
  EXPECT_EQ(Bytes(cookies), "old=0; x=1; ");
  EXPECT_EQ(Bytes(location), "kept");
}

TEST(MergeCookies, ReplyWinsAndComesFirst) {
  EXPECT_EQ(Bytes(MergeCookies("a=0; c=3", "a=1; b=2")), "a=1; b=2; c=3");
  EXPECT_TRUE(MergeCookies("a=1", "a=deleted").empty());
  EXPECT_EQ(Bytes(MergeCookies("a=1; a=1", "")), "a=1");
  EXPECT_EQ(Bytes(MergeCookies(" a=1; ", "b=2;")), "b=2; a=1");
  EXPECT_EQ(Bytes(MergeCookies("a=1; b=2", "b=deleted")), "a=1");
}

TEST(CookieHelpers, NamesAndDuplicates) {
  EXPECT_EQ(Bytes(CookieName(" sid = 42")), "sid");
  EXPECT_EQ(Bytes(CookieName("flag")), "flag");
  std::vector<Text> items;
  items.emplace_back(CopyText("a=1"));
  items.emplace_back(CopyText("b"));
  EXPECT_TRUE(HasCookieName(items, "a"));
  EXPECT_TRUE(HasCookieName(items, "b"));
  EXPECT_FALSE(HasCookieName(items, "A"));
  EXPECT_EQ(Bytes(RemoveDuplicateItems("x; y; x; z; y", "; ")), "x; y; z");
  EXPECT_TRUE(RemoveDuplicateItems("", "; ").empty());
}

}  // namespace
}  // namespace quillet
