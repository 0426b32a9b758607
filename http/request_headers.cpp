#include "http/request_headers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "http/http_request.h"
#include "http/text_helpers.h"
#include "http/text_search.h"

namespace quillet {
namespace ts = text_search;
namespace {

constexpr char kLineBreak[] = "\r\n";
constexpr char kCookieSeparator[] = "; ";
constexpr char kCookieWord[] = "Cookie:";
constexpr char kCookieLineInside[] = "\r\nCookie:";
constexpr size_t kCookieWordLength = sizeof(kCookieWord) - 1;
constexpr char kDeletedSuffix[] = "=deleted";
constexpr char kLocationPrefix[] = "Location: ";
constexpr int32_t kLocationPrefixLength = 10;
constexpr char kKeepAliveLine[] = "Connection: keep-alive\r\n";

struct DefaultHeader {
  const char* probe;
  const char* line;
  bool post_only;
};

const DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n", false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

bool IsEmpty(const char* text) { return text == nullptr || *text == 0; }

bool EndsWith(const char* text, const char* suffix) {
  const size_t length = std::strlen(text ? text : "");
  const size_t suffix_length = std::strlen(suffix);
  return length >= suffix_length && std::memcmp(text + length - suffix_length, suffix, suffix_length) == 0;
}

// Whether the text starts with the header word "Cookie:", in any letter case.
bool StartsWithCookieWord(const char* text) { return ts::Find(text, kCookieWord, 0, true) == 1; }

// A line of the header text that is a Cookie line; the word inside a value or
// inside another name (Set-Cookie, X-Cookie) does not count.
bool HasCookieLine(const char* headers) {
  return StartsWithCookieWord(headers) || ts::Find(headers, kCookieLineInside, 0, true) != -1;
}

// The cookie items without a leading "Cookie:" word, trimmed.
Text CookieItems(const char* cookies) {
  Text trimmed = ts::TrimBoth(cookies);
  if (!StartsWithCookieWord(trimmed.c_str())) return trimmed;
  return ts::TrimBoth(trimmed.c_str() + kCookieWordLength);
}

}  // namespace

Text ComposeRequestHeaders(const char* extra_headers, int32_t method, const char* send_cookies, bool complete_headers,
                           bool normalize_header_case) {
  std::string headers;
  if (!IsEmpty(extra_headers)) {
    headers = extra_headers;
    headers += kLineBreak;
  }
  if (complete_headers) {
    for (const DefaultHeader& row : kDefaultHeaders) {
      if (row.post_only && method != kHttpPost) continue;
      if (ts::Find(headers.c_str(), row.probe, 0, true) == -1) headers += row.line;
    }
  }
  Text text(headers.data(), headers.size());
  if (normalize_header_case) text = NormalizeHeaderNames(text.c_str());
  if (ts::Find(text.c_str(), "Connection", 0, false) != -1 &&
      ts::EqualTexts(HeaderValue(text.c_str(), "Connection").c_str(), "keep-alive")) {
    text = ts::ReplaceAll(text.c_str(), kKeepAliveLine, "", true);
  }
  if (!HasCookieLine(text.c_str()) && !IsEmpty(send_cookies)) {
    // Blanks before the word would start a header line with a blank.
    const Text trimmed = ts::TrimBoth(send_cookies);
    if (StartsWithCookieWord(trimmed.c_str())) {
      text = ts::Concat({text.c_str(), kLineBreak, trimmed.c_str(), kLineBreak});
    } else {
      text = ts::Concat({text.c_str(), "\r\nCookie: ", trimmed.c_str(), kLineBreak});
    }
  }
  return text;
}

Text NormalizeHeaderNames(const char* headers) {
  std::string out;
  for (const Text& piece : ts::Split(headers, kLineBreak)) {
    const int32_t colon = ts::Find(piece.c_str(), ":", 0, false);
    if (colon == -1) continue;
    const Text name = ts::Left(piece.c_str(), colon - 1);
    std::string new_name;
    if (ts::Find(name.c_str(), "-", 0, false) != -1) {
      bool first = true;
      for (const Text& part : ts::Split(name.c_str(), "-")) {
        if (!first) new_name += "-";
        new_name += CapitalizeFirst(part.c_str()).c_str();
        first = false;
      }
    } else {
      new_name = CapitalizeFirst(name.c_str()).c_str();
    }
    out += new_name;
    out += ts::Right(piece.c_str(), static_cast<int32_t>(piece.length() - new_name.size())).c_str();
    out += kLineBreak;
  }
  if (out.size() >= 2) out.resize(out.size() - 2);
  return Text(out.data(), out.size());
}

Text CapitalizeFirst(const char* text) {
  Text out = Text::Copy(text);
  if (!out.empty() && out.get()[0] >= 'a' && out.get()[0] <= 'z') out.get()[0] = static_cast<char>(out.get()[0] - 'a' + 'A');
  return out;
}

Text HeaderValue(const char* headers, const char* name) {
  const size_t name_length = std::strlen(name ? name : "");
  for (const Text& line : ts::Split(headers, kLineBreak)) {
    if (ts::EqualTexts(ts::Left(line.c_str(), static_cast<int32_t>(name_length)).c_str(), name)) {
      const Text separator = ts::Concat({name, ": "});
      return TextAfterLast(line.c_str(), separator.c_str());
    }
  }
  return Text();
}

Text TextBefore(const char* text, const char* separator, int32_t start, bool ignore_case) {
  const int32_t at = start < 0 ? ts::FindReverse(text, separator, -1, ignore_case)
                               : ts::Find(text, separator, start, ignore_case);
  if (at == -1) return Text();
  return ts::Left(text, at - 1);
}

Text TextAfterLast(const char* text, const char* separator, int32_t start, bool ignore_case) {
  const int32_t length = static_cast<int32_t>(std::strlen(text ? text : ""));
  // An occurrence that ends with the last character does not count: search
  // within the first length bytes only, excluding the final one.
  const int32_t at = start < 0 ? ts::Find(text, separator, 0, ignore_case)
                               : ts::FindReverse(text, separator, start > 0 ? start : length, ignore_case);
  if (at == -1) return Text();
  const int32_t separator_length = static_cast<int32_t>(std::strlen(separator ? separator : ""));
  return ts::Right(text, length - separator_length - at + 1);
}

void CollectReplyHeaderLines(const char* line, Text& returned_cookies, Text& location) {
  if (ts::EqualTexts(TextBefore(line, ": ").c_str(), "Set-Cookie")) {
    Text item;
    if (ts::Find(line, ";", 0, false) != -1) {
      item = ts::TrimBoth(TextBetween(line, "Set-Cookie:", ";").c_str());
    } else {
      item = ts::TrimBoth(ts::ReplaceAll(line, "Set-Cookie:", "", false).c_str());
    }
    // What the variable held keeps its own items: the new one goes after a separator.
    const char* separator = "";
    if (!returned_cookies.empty() && !EndsWith(returned_cookies.c_str(), kCookieSeparator)) {
      separator = EndsWith(returned_cookies.c_str(), ";") ? " " : kCookieSeparator;
    }
    returned_cookies = ts::Concat({returned_cookies.c_str(), separator, item.c_str(), kCookieSeparator});
  }
  const Text head = ts::Left(line, kLocationPrefixLength);
  if (ts::Find(head.c_str(), kLocationPrefix, 0, true) == 1 && head.length() == std::strlen(kLocationPrefix)) {
    location = ts::Mid(line, kLocationPrefixLength + 1, static_cast<int32_t>(std::strlen(line)));
  }
}

Text MergeCookies(const char* sent_cookies, const char* reply_cookies) {
  // Cookies to send may start with the header word; it is no cookie item.
  Text sent = CookieItems(sent_cookies);
  Text reply = CookieItems(reply_cookies);  // a jar passed back may start with the word too
  if (EndsWith(sent.c_str(), ";")) sent = ts::Concat({sent.c_str(), " "});
  if (EndsWith(reply.c_str(), ";")) reply = ts::Concat({reply.c_str(), " "});
  const std::vector<Text> old_items = ts::Split(sent.c_str(), kCookieSeparator);
  // Among the reply's items a later one replaces an earlier one of the same
  // name in its place: the variable may already hold older cookies (a jar
  // passed back), and a later Set-Cookie wins.
  std::vector<Text> new_items;
  for (Text& item : ts::Split(reply.c_str(), kCookieSeparator)) {
    const Text name = CookieName(item.c_str());
    auto same = std::find_if(new_items.begin(), new_items.end(), [&](const Text& kept) {
      return ts::EqualTexts(CookieName(kept.c_str()).c_str(), name.c_str());
    });
    if (same != new_items.end()) {
      *same = std::move(item);
    } else {
      new_items.push_back(std::move(item));
    }
  }
  for (const Text& item : old_items) {
    if (!HasCookieName(new_items, CookieName(item.c_str()).c_str())) new_items.push_back(item);
  }
  std::string joined;
  for (const Text& item : new_items) {
    if (ts::EqualTexts(ts::Right(item.c_str(), 8).c_str(), kDeletedSuffix)) continue;
    joined += item.c_str();
    joined += kCookieSeparator;
  }
  if (joined.size() >= 2) joined.resize(joined.size() - 2);
  return RemoveDuplicateItems(joined.c_str(), kCookieSeparator);
}

Text CookieName(const char* item) {
  const int32_t at = ts::Find(item, "=", 0, false);
  if (at == -1) return ts::TrimBoth(item);
  return ts::TrimBoth(ts::Left(item, at - 1).c_str());
}

bool HasCookieName(const std::vector<Text>& items, const char* name) {
  for (const Text& item : items) {
    if (ts::EqualTexts(CookieName(item.c_str()).c_str(), name)) return true;
  }
  return false;
}

Text RemoveDuplicateItems(const char* text, const char* separator) {
  std::vector<Text> kept;
  for (Text& item : ts::Split(text, separator)) {
    bool seen = false;
    for (const Text& k : kept) seen = seen || ts::EqualTexts(k.c_str(), item.c_str());
    if (!seen) kept.push_back(std::move(item));
  }
  std::string joined;
  for (const Text& item : kept) {
    joined += item.c_str();
    joined += separator ? separator : "";
  }
  const size_t separator_length = std::strlen(separator ? separator : "");
  if (joined.size() >= separator_length) joined.resize(joined.size() - separator_length);
  return Text(joined.data(), joined.size());
}

}  // namespace quillet
