// Request header composition and cookie bookkeeping; plain GBK text work.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace quillet {

// extra_headers + the default headers it lacks (when complete_headers) +
// the cookie line; names capitalised when normalize_header_case.
Text ComposeRequestHeaders(const char* extra_headers, int32_t method, const char* send_cookies, bool complete_headers,
                           bool normalize_header_case);
// "user-agent: x" -> "User-Agent: x"; lines without ":" are dropped; no final CR LF.
Text NormalizeHeaderNames(const char* headers);
Text CapitalizeFirst(const char* text);
// Value of the first line starting with `name` (case-sensitive).
Text HeaderValue(const char* headers, const char* name);
// Text before the first `separator` (a negative start searches backward).
Text TextBefore(const char* text, const char* separator, int32_t start = 0, bool ignore_case = false);
// Text after the last `separator` that does not end the text (a negative
// start finds the first occurrence instead).
Text TextAfterLast(const char* text, const char* separator, int32_t start = 0, bool ignore_case = false);
// Picks a Set-Cookie item (appended with "; ") and a Location value from one reply line.
void CollectReplyHeaderLines(const char* line, Text& returned_cookies, Text& location);
// The reply's cookies first, then the sent ones it does not replace; "=deleted" items dropped.
Text MergeCookies(const char* sent_cookies, const char* reply_cookies);
Text CookieName(const char* item);
bool HasCookieName(const std::vector<Text>& items, const char* name);
Text RemoveDuplicateItems(const char* text, const char* separator);

}  // namespace quillet
