#include "app/json_string.h"

#include <cstdint>
#include <string>

#include "runtime/value.h"

namespace quillet::app {
namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kHighSurrogateLast = 0xDBFF;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kLowSurrogateLast = 0xDFFF;
constexpr size_t kUnicodeEscapeLength = 6;  // \uXXXX

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads \uXXXX at `p`; false when it is not one.
bool ReadUnicodeEscape(const char* p, uint32_t* unit) {
  if (p[0] != '\\' || p[1] != 'u') return false;
  uint32_t value = 0;
  for (int i = 2; i < 6; ++i) {
    int digit = HexValue(p[i]);  // stops at the terminator: 0 is no digit
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *unit = value;
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char SimpleEscape(char c) {
  switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '/': return '/';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return 0;
  }
}

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* SkipSpace(const char* p) {
  while (IsJsonSpace(*p)) ++p;
  return p;
}

// `p` is at an opening quote; answers the byte after the closing one with the
// body in `body`, or null when the string never closes.
const char* ReadString(const char* p, std::string* body) {
  const char* start = ++p;
  while (*p != 0 && *p != '"') p += (*p == '\\' && p[1] != 0) ? 2 : 1;
  if (*p != '"') return nullptr;
  if (body != nullptr) body->assign(start, static_cast<size_t>(p - start));
  return p + 1;
}

// Skips one value of any kind; nested objects and arrays by depth.
const char* SkipValue(const char* p) {
  int depth = 0;
  while (*p != 0) {
    if (*p == '"') {
      p = ReadString(p, nullptr);
      if (p == nullptr) return "";
      if (depth == 0) return p;
      continue;
    }
    if (*p == '{' || *p == '[') {
      ++depth;
    } else if (*p == '}' || *p == ']') {
      if (depth == 0) return p;  // the end of the enclosing object
      if (--depth == 0) return p + 1;
    } else if (*p == ',' && depth == 0) {
      return p;
    }
    ++p;
  }
  return p;
}

}  // namespace

JsonMember FindJsonMember(const char* utf8, const char* name) {
  JsonMember found;
  if (utf8 == nullptr || name == nullptr) return found;
  const char* p = SkipSpace(utf8);
  if (*p != '{') return found;
  p = SkipSpace(p + 1);
  while (*p == '"') {
    std::string key;
    p = ReadString(p, &key);
    if (p == nullptr) return found;
    p = SkipSpace(p);
    if (*p != ':') return found;
    p = SkipSpace(p + 1);
    if (key == name) {
      found.is_string = *p == '"' && ReadString(p, &found.raw) != nullptr;
      return found;
    }
    p = SkipSpace(SkipValue(p));
    if (*p != ',') return found;
    p = SkipSpace(p + 1);
  }
  return found;
}

char* DecodeJsonEscapes(const char* utf8) {
  if (utf8 == nullptr || *utf8 == 0) return nullptr;
  std::string out;
  const char* p = utf8;
  while (*p != 0) {
    if (*p != '\\') {
      out += *p++;
      continue;
    }
    if (char simple = SimpleEscape(p[1])) {
      out += simple;
      p += 2;
      continue;
    }
    uint32_t unit = 0;
    if (!ReadUnicodeEscape(p, &unit)) {
      out += *p++;  // not an escape we know: keep the backslash, go on
      continue;
    }
    p += kUnicodeEscapeLength;
    uint32_t cp = unit;
    if (unit >= kHighSurrogateFirst && unit <= kHighSurrogateLast) {
      uint32_t low = 0;
      if (ReadUnicodeEscape(p, &low) && low >= kLowSurrogateFirst && low <= kLowSurrogateLast) {
        cp = 0x10000 + ((unit - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
        p += kUnicodeEscapeLength;
      } else {
        cp = kReplacementCharacter;
      }
    } else if (unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast) {
      cp = kReplacementCharacter;
    }
    if (cp != 0) AppendUtf8(out, cp);  // a Text cannot hold a zero byte
  }
  return MakeText(out.data(), static_cast<ptrdiff_t>(out.size()));
}

}  // namespace quillet::app
