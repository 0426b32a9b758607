#include "http/text_search.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillet::text_search {
namespace {

constexpr unsigned char kFirstLeadByte = 0x81;
constexpr unsigned char kFullWidthSpaceByte = 0xA1;

const char* Safe(const char* s) { return s ? s : ""; }

size_t CharacterWidth(const char* p, const char* end) {
  return (static_cast<unsigned char>(*p) >= kFirstLeadByte && p + 1 < end) ? 2 : 1;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(const char* at, const char* search, size_t length, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(at, search, length) == 0;
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(at[i]) != LowerAscii(search[i])) return false;
  }
  return true;
}

}  // namespace

int32_t Find(const char* text, const char* search, int32_t start, bool ignoreCase) {
  text = Safe(text);
  search = Safe(search);
  const size_t length = std::strlen(text);
  const size_t searchLength = std::strlen(search);
  const size_t skip = start > 1 ? static_cast<size_t>(start - 1) : 0;
  if (skip > 0 && skip >= length) return -1;
  if (searchLength == 0) return skip < length ? static_cast<int32_t>(skip + 1) : -1;
  const char* end = text + length;
  for (const char* p = text + skip; p + searchLength <= end; p += CharacterWidth(p, end)) {
    if (MatchesAt(p, search, searchLength, ignoreCase)) return static_cast<int32_t>(p - text + 1);
  }
  return -1;
}

int32_t FindReverse(const char* text, const char* search, int32_t limit, bool ignoreCase) {
  text = Safe(text);
  search = Safe(search);
  const size_t length = std::strlen(text);
  size_t span = length;
  if (limit >= 0) {
    if (limit <= 1) return -1;
    span = std::min(length, static_cast<size_t>(limit - 1));
  }
  const size_t searchLength = std::strlen(search);
  if (searchLength == 0) return span > 0 ? 1 : -1;
  const char* end = text + span;
  int32_t found = -1;
  for (const char* p = text; p + searchLength <= end; p += CharacterWidth(p, text + length)) {
    if (MatchesAt(p, search, searchLength, ignoreCase)) found = static_cast<int32_t>(p - text + 1);
  }
  return found;
}

Text ReplaceAll(const char* text, const char* search, const char* replacement, bool caseSensitive) {
  text = Safe(text);
  search = Safe(search);
  replacement = Safe(replacement);
  const size_t length = std::strlen(text);
  const size_t searchLength = std::strlen(search);
  if (length == 0 || searchLength == 0) return Text::Copy(text);
  std::string out;
  out.reserve(length);
  const char* end = text + length;
  const char* p = text;
  while (p + searchLength <= end) {
    if (MatchesAt(p, search, searchLength, !caseSensitive)) {
      out += replacement;
      p += searchLength;
    } else {
      const size_t width = CharacterWidth(p, end);
      out.append(p, width);
      p += width;
    }
  }
  out.append(p, end);
  return Text(out.data(), out.size());
}

std::vector<Text> Split(const char* text, const char* separator) {
  text = Safe(text);
  separator = Safe(separator);
  std::vector<Text> pieces;
  const size_t length = std::strlen(text);
  const size_t separatorLength = std::strlen(separator);
  if (length == 0) return pieces;
  if (separatorLength == 0) {
    pieces.push_back(Text::Copy(text));
    return pieces;
  }
  const char* end = text + length;
  const char* cut = text;
  const char* p = text;
  while (p + separatorLength <= end) {
    if (std::memcmp(p, separator, separatorLength) == 0) {
      pieces.emplace_back(cut, static_cast<size_t>(p - cut));
      p += separatorLength;
      cut = p;
    } else {
      p += CharacterWidth(p, end);
    }
  }
  if (cut < end) pieces.emplace_back(cut, static_cast<size_t>(end - cut));
  return pieces;
}

Text TrimBoth(const char* text) {
  text = Safe(text);
  const char* begin = text;
  const char* end = text + std::strlen(text);
  auto fullWidthSpace = [](const char* p, const char* limit) {
    return p + 1 < limit && static_cast<unsigned char>(p[0]) == kFullWidthSpaceByte &&
           static_cast<unsigned char>(p[1]) == kFullWidthSpaceByte;
  };
  for (;;) {
    if (begin < end && *begin == ' ') {
      ++begin;
    } else if (fullWidthSpace(begin, end)) {
      begin += 2;
    } else {
      break;
    }
  }
  for (;;) {
    if (end > begin && end[-1] == ' ') {
      --end;
    } else if (end - begin >= 2 && fullWidthSpace(end - 2, end)) {
      end -= 2;
    } else {
      break;
    }
  }
  return Text(begin, static_cast<size_t>(end - begin));
}

Text Left(const char* text, int32_t count) {
  text = Safe(text);
  if (count <= 0) return Text();
  return Text(text, std::min(std::strlen(text), static_cast<size_t>(count)));
}

Text Right(const char* text, int32_t count) {
  text = Safe(text);
  if (count <= 0) return Text();
  const size_t length = std::strlen(text);
  const size_t n = std::min(length, static_cast<size_t>(count));
  return Text(text + length - n, n);
}

Text Mid(const char* text, int32_t start, int32_t count) {
  text = Safe(text);
  const int64_t length = static_cast<int64_t>(std::strlen(text));
  if (start < 1 || start > length || count <= 0) return Text();
  const int64_t n = std::min<int64_t>(count, length - start + 1);
  return Text(text + start - 1, static_cast<size_t>(n));
}

bool EqualTexts(const char* a, const char* b) { return std::strcmp(Safe(a), Safe(b)) == 0; }

Text Concat(std::initializer_list<const char*> pieces) {
  std::string out;
  for (const char* piece : pieces) out += Safe(piece);
  return Text(out.data(), out.size());
}

}  // namespace quillet::text_search
