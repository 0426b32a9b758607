// Request header composition and cookie bookkeeping; plain GBK text work.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace quillet {

// extraHeaders + the default headers it lacks (when completeHeaders) +
// the cookie line; names capitalised when normalizeHeaderCase.
Text ComposeRequestHeaders(const char* extraHeaders, int32_t method, const char* sendCookies, bool completeHeaders,
                           bool normalizeHeaderCase);
// "user-agent: x" -> "User-Agent: x"; lines without ":" are dropped; no final CR LF.
Text NormalizeHeaderNames(const char* headers);
Text CapitalizeFirst(const char* text);
// Value of the first line starting with `name` (case-sensitive).
Text HeaderValue(const char* headers, const char* name);
// Text before the first `separator` (a negative start searches backward).
Text TextBefore(const char* text, const char* separator, int32_t start = 0, bool ignoreCase = false);
// Text after the last `separator` that does not end the text (a negative
// start finds the first occurrence instead).
Text TextAfterLast(const char* text, const char* separator, int32_t start = 0, bool ignoreCase = false);
// Picks a Set-Cookie item (appended with "; ") and a Location value from one reply line.
void CollectReplyHeaderLines(const char* line, Text& returnedCookies, Text& location);
// The reply's cookies first, then the sent ones it does not replace; "=deleted" items dropped.
Text MergeCookies(const char* sentCookies, const char* replyCookies);
Text CookieName(const char* item);
bool HasCookieName(const std::vector<Text>& items, const char* name);
Text RemoveDuplicateItems(const char* text, const char* separator);

}  // namespace quillet
