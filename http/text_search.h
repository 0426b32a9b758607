// Byte-position text searches and cuts on GBK text (1-based positions, -1 for
// "not found"); a double-byte character is stepped over as one character.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace quillet::text_search {

// First occurrence at or after `start` (0 and 1: the beginning).
int32_t Find(const char* text, const char* search, int32_t start = 0, bool ignore_case = false);
// Last occurrence lying wholly within the first limit - 1 bytes (limit < 0: whole text).
int32_t FindReverse(const char* text, const char* search, int32_t limit = -1, bool ignore_case = false);
// Every occurrence replaced (case-sensitive or ignoring ASCII case).
Text ReplaceAll(const char* text, const char* search, const char* replacement, bool case_sensitive);
// Pieces between separators; a final empty piece is not produced.
std::vector<Text> Split(const char* text, const char* separator);
// Removes ASCII spaces and GBK full-width spaces (A1 A1) at both ends.
Text TrimBoth(const char* text);
Text Left(const char* text, int32_t count);
Text Right(const char* text, int32_t count);
Text Mid(const char* text, int32_t start, int32_t count);
bool EqualTexts(const char* a, const char* b);
Text Concat(std::initializer_list<const char*> pieces);

}  // namespace quillet::text_search
