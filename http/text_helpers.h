// Text tools used on reply bodies.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace quillet {

// Every "#引号" in a marker or pattern stands for one double-quote character.
extern const char kQuoteMarker[];
Text ReplaceQuoteMarkers(const char* text);

// The text between the first `left` found from `start` (0 and 1: the first
// byte) and the next `right` after it; empty when either marker is missing.
Text TextBetween(const char* text, const char* left, const char* right, int32_t start = 0,
                 bool ignore_case = false);

// Percent-decoding: "%" and two hexadecimal digits become that byte ("%00"
// nothing); a "%" without two digits after it stays as it is; "+" stays "+".
// With from_utf8 the result is converted from UTF-8 to GBK.
Text UrlDecode(const char* text, bool from_utf8 = false);

}  // namespace quillet
