// Searching GBK text: matches start only on character boundaries (a byte with
// the high bit set and the byte after it are one character).
#pragma once
#include <cstddef>

namespace quillet {

constexpr size_t kNotFound = static_cast<size_t>(-1);

inline bool IsLeadByte(unsigned char c) { return (c & 0x80) != 0; }
// Bytes of the character at `i` (2 for a lead byte with a byte after it).
inline size_t CharacterLength(const unsigned char* text, size_t i, size_t length) {
  return IsLeadByte(text[i]) && i + 1 < length ? 2 : 1;
}

// First character boundary p >= from (from itself a boundary) where the
// `search_length` bytes of `search` match and p + search_length <= end.
// Byte-exact, or ignoring the case of ASCII letters (never inside a
// double-byte character of the search). kNotFound when there is none.
size_t FindInText(const unsigned char* text, size_t from, size_t end, const unsigned char* search,
                  size_t search_length, bool ignore_case);

// The same, byte-exact, over the whole zero-terminated text from `from` (a
// boundary inside the text): no length needs to be known beforehand.
size_t FindInZeroTerminated(const unsigned char* text, size_t from, const unsigned char* search, size_t search_length);

// Character length where the text's end is its zero byte.
inline size_t CharacterLengthZ(const unsigned char* text, size_t i) {
  return IsLeadByte(text[i]) && text[i + 1] != 0 ? 2 : 1;
}

}  // namespace quillet
