#include "runtime/text_search.h"

#include <cstdint>
#include <cstring>

namespace quillet {
namespace {

inline unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

bool MatchesIgnoringCase(const unsigned char* at, const unsigned char* search, size_t n) {
  for (size_t j = 0; j < n;) {
    if (IsLeadByte(search[j]) && j + 1 < n) {
      if (at[j] != search[j] || at[j + 1] != search[j + 1]) return false;
      j += 2;
    } else {
      if (FoldAscii(at[j]) != FoldAscii(search[j])) return false;
      ++j;
    }
  }
  return true;
}

// Byte-exact: memchr jumps to each candidate first byte; whether the candidate
// starts a character follows from the run of high-bit bytes just before it,
// counted back no further than the last position known to be a boundary.
// A low byte always ends a character, so after it an even run of high bytes
// ends on a boundary and an odd one leaves the candidate as a trail byte.
size_t FindExact(const unsigned char* text, size_t from, size_t end, const unsigned char* search, size_t n) {
  size_t boundary = from;
  size_t p = from;
  const size_t last_start = end - n;  // caller ensures n <= end - from
  while (p <= last_start) {
    const void* hit = std::memchr(text + p, search[0], last_start - p + 1);
    if (hit == nullptr) return kNotFound;
    size_t q = static_cast<size_t>(static_cast<const unsigned char*>(hit) - text);
    size_t run = 0;
    while (q - run > boundary && IsLeadByte(text[q - run - 1])) ++run;
    if (run % 2 == 0) {
      if (std::memcmp(text + q + 1, search + 1, n - 1) == 0) return q;
      boundary = q;
    } else {
      boundary = q + 1;
    }
    p = q + 1;
  }
  return kNotFound;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;
inline bool HasZeroByte(uint64_t w) { return ((w - kOnes) & ~w & kHighs) != 0; }

// Position of the first byte `c` at or after p, or kNotFound at the zero byte.
// Eight bytes at a time; aligned words never reach into the next page, so
// reading past the terminator inside the last word is harmless.
size_t ScanForByte(const unsigned char* text, size_t p, unsigned char c) {
  const unsigned char* s = text + p;
  for (; (reinterpret_cast<uintptr_t>(s) & 7) != 0; ++s) {
    if (*s == c) return static_cast<size_t>(s - text);
    if (*s == 0) return kNotFound;
  }
  const uint64_t pattern = kOnes * c;
  for (;; s += 8) {
    uint64_t w;
    std::memcpy(&w, s, 8);
    if (HasZeroByte(w) || HasZeroByte(w ^ pattern)) break;
  }
  for (;; ++s) {
    if (*s == c) return static_cast<size_t>(s - text);
    if (*s == 0) return kNotFound;
  }
}

// Compares the rest of the search; the text's zero byte ends it as a mismatch.
bool RestMatches(const unsigned char* at, const unsigned char* search, size_t n) {
  for (size_t j = 1; j < n; ++j) {
    if (at[j] != search[j]) return false;
  }
  return true;
}

}  // namespace

size_t FindInZeroTerminated(const unsigned char* text, size_t from, const unsigned char* search, size_t n) {
  if (n == 0) return kNotFound;
  size_t boundary = from;
  size_t p = from;
  for (;;) {
    size_t q = ScanForByte(text, p, search[0]);
    if (q == kNotFound) return kNotFound;
    size_t run = 0;
    while (q - run > boundary && IsLeadByte(text[q - run - 1])) ++run;
    if (run % 2 == 0) {
      if (RestMatches(text + q, search, n)) return q;
      boundary = q;
    } else {
      boundary = q + 1;
    }
    p = q + 1;
  }
}

size_t FindInText(const unsigned char* text, size_t from, size_t end, const unsigned char* search,
                  size_t search_length, bool ignore_case) {
  if (search_length == 0 || from > end || end - from < search_length) return kNotFound;
  if (!ignore_case) return FindExact(text, from, end, search, search_length);
  for (size_t i = from; i + search_length <= end; i += CharacterLength(text, i, end)) {
    if (MatchesIgnoringCase(text + i, search, search_length)) return i;
  }
  return kNotFound;
}

}  // namespace quillet
