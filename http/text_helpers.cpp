#include "http/text_helpers.h"

#include <cstring>
#include <string>

#include "http/text_codec.h"
#include "http/text_search.h"

namespace quillet {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kNotADigit = -1;
constexpr int kDigitBase = 16;
constexpr size_t kEscapeLength = 3;  // %XX

// Value of one percent-escape digit: its index in the table, or kNotADigit
// (past the end of the text too).
int DigitValue(const char* text, size_t index, size_t length) {
  if (index >= length) return kNotADigit;
  char c = text[index];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const char* found = c != 0 ? std::strchr(kHexDigits, c) : nullptr;
  return found ? static_cast<int>(found - kHexDigits) : kNotADigit;
}

}  // namespace

const char kQuoteMarker[] = "#引号";

Text ReplaceQuoteMarkers(const char* text) {
  return text_search::ReplaceAll(text, kQuoteMarker, "\"", true);
}

Text TextBetween(const char* text, const char* left, const char* right, int32_t start, bool ignore_case) {
  const Text left_marker = ReplaceQuoteMarkers(left);
  const Text right_marker = ReplaceQuoteMarkers(right);
  const int32_t left_at = text_search::Find(text, left_marker.c_str(), start, ignore_case);
  if (left_at == -1) return Text();
  const int32_t from = left_at + static_cast<int32_t>(left_marker.length());
  const int32_t right_at = text_search::Find(text, right_marker.c_str(), from, ignore_case);
  if (right_at == -1) return Text();
  return text_search::Mid(text, from, right_at - from);
}

Text UrlDecode(const char* text, bool from_utf8) {
  const char* source = text ? text : "";
  const size_t length = std::strlen(source);
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    if (source[i] != '%') {
      out += source[i];
      continue;
    }
    const int high = DigitValue(source, i + 1, length);
    const int low = DigitValue(source, i + 2, length);
    // A "%" that starts no escape is text ("成功率不到2%，"): keep it and go on.
    if (high == kNotADigit || low == kNotADigit) {
      out += source[i];
      continue;
    }
    const int value = kDigitBase * high + low;
    if (value != 0) out += static_cast<char>(value);  // a Text cannot hold a zero byte
    i += kEscapeLength - 1;
  }
  Text decoded(out.data(), out.size());
  return from_utf8 ? Utf8ToGbk(decoded.c_str()) : decoded;
}

}  // namespace quillet
