// Text cutting, searching, replacing and splitting.
#include <algorithm>
#include <string>

#include "runtime/library_commands.h"
#include "runtime/support_library.h"
#include "runtime/text_search.h"

namespace quillet {
namespace {

constexpr unsigned char kFullWidthBlank = 0xA1;  // A1 A1 is the full-width space
const char kDefaultSeparator[] = ",";

const unsigned char* Bytes(const char* text) {
  return reinterpret_cast<const unsigned char*>(text ? text : kEmptyText);
}

// A library result: a new Text of `count` bytes, null when empty.
Text ResultText(const void* bytes, size_t count) {
  if (count == 0) return Text();
  char* t = static_cast<char*>(LibraryAlloc(count + 1));
  std::memcpy(t, bytes, count);
  t[count] = 0;
  return Text(t);
}

// Grows a Text result without std::string's extra copy at the end.
class TextBuilder {
 public:
  explicit TextBuilder(size_t expected) { Reserve(expected); }
  ~TextBuilder() { RtFree(data_); }
  void Append(const void* bytes, size_t n) {
    if (n == 0) return;
    if (size_ + n > capacity_) Reserve(std::max(capacity_ * 2, size_ + n));
    std::memcpy(data_ + size_, bytes, n);
    size_ += n;
  }
  Text Finish() {
    if (size_ == 0) return Text();
    data_[size_] = 0;
    return Text(std::exchange(data_, nullptr));
  }

 private:
  void Reserve(size_t capacity) {
    data_ = static_cast<char*>(RtRealloc(data_, capacity + 1));
    capacity_ = capacity;
  }
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

bool IsBlankAt(const unsigned char* t, size_t i, size_t n) {
  return t[i] == ' ' || (t[i] == kFullWidthBlank && i + 1 < n && t[i + 1] == kFullWidthBlank);
}

}  // namespace

Text Left(const char* text, int n) {
  size_t length = TextLength(text);
  if (n <= 0) return Text();
  return ResultText(text, std::min(static_cast<size_t>(n), length));
}

Text Right(const char* text, int n) {
  size_t length = TextLength(text);
  if (n <= 0) return Text();
  size_t take = std::min(static_cast<size_t>(n), length);
  return ResultText(text + (length - take), take);
}

Text Mid(const char* text, int start, int n) {
  size_t length = TextLength(text);
  if (start < 1 || static_cast<size_t>(start) > length || n <= 0) return Text();
  size_t take = std::min(static_cast<size_t>(n), length - static_cast<size_t>(start) + 1);
  return ResultText(text + start - 1, take);
}

Text Char(int code) {
  char byte = static_cast<char>(code & 0xFF);
  return ResultText(&byte, byte == 0 ? 0 : 1);
}

int CharCode(const char* text, std::optional<int> position) {
  size_t length = TextLength(text);
  int p = position.value_or(1);
  if (p < 1 || static_cast<size_t>(p) > length) return 0;
  return static_cast<signed char>(text[p - 1]);
}

int FindText(const char* text, const char* search, std::optional<int> start, std::optional<bool> ignore_case) {
  const unsigned char* t = Bytes(text);
  size_t from = start ? static_cast<size_t>(std::max(*start - 1, 0)) : 0;
  // Only whether the start lies inside the Text matters, not its length.
  if (from > 0 && strnlen(reinterpret_cast<const char*>(t), from + 1) <= from) return -1;
  size_t search_length = TextLength(search);
  if (search_length == 0) return t[from] != 0 ? 1 : -1;
  size_t at = ignore_case.value_or(false)
                  ? FindInText(t, from, TextLength(text), Bytes(search), search_length, true)
                  : FindInZeroTerminated(t, from, Bytes(search), search_length);
  return at == kNotFound ? -1 : static_cast<int>(at + 1);
}

int FindTextReverse(const char* text, const char* search, std::optional<int> limit, std::optional<bool> ignore_case) {
  const unsigned char* t = Bytes(text);
  bool fold = ignore_case.value_or(false);
  bool whole = !limit && !fold;  // the common case needs no length
  size_t span = 0;
  if (!whole) {
    span = TextLength(text);
    if (limit) {
      if (*limit - 1 <= 0) return -1;
      span = std::min(static_cast<size_t>(*limit - 1), span);
    }
  }
  size_t search_length = TextLength(search);
  if (search_length == 0) return (whole ? t[0] != 0 : span > 0) ? 1 : -1;
  size_t last = kNotFound;
  for (size_t from = 0;;) {
    size_t at = whole ? FindInZeroTerminated(t, from, Bytes(search), search_length)
                      : FindInText(t, from, span, Bytes(search), search_length, fold);
    if (at == kNotFound) break;
    last = at;
    from = at + CharacterLengthZ(t, at);
  }
  return last == kNotFound ? -1 : static_cast<int>(last + 1);
}

Text ToUpper(const char* text) {
  size_t length = TextLength(text);
  Text out = ResultText(text, length);
  unsigned char* t = reinterpret_cast<unsigned char*>(out.get());
  for (size_t i = 0; i < length; i += CharacterLength(t, i, length)) {
    if (t[i] >= 'a' && t[i] <= 'z') t[i] = static_cast<unsigned char>(t[i] - 32);
  }
  return out;
}

Text TrimBoth(const char* text) {
  const unsigned char* t = Bytes(text);
  size_t length = TextLength(text);
  size_t begin = 0;
  while (begin < length && IsBlankAt(t, begin, length)) begin += t[begin] == ' ' ? 1 : 2;
  // Walk forward by characters so a trailing A1 A1 is never a split pair.
  size_t end = begin;
  for (size_t i = begin; i < length;) {
    size_t step = IsBlankAt(t, i, length) ? (t[i] == ' ' ? 1 : 2) : CharacterLength(t, i, length);
    if (!IsBlankAt(t, i, length)) end = i + step;
    i += step;
  }
  return ResultText(t + begin, end - begin);
}

Text Spaces(int n) {
  if (n < 1) return Text();
  char* t = static_cast<char*>(LibraryAlloc(static_cast<size_t>(n) + 1));
  std::memset(t, ' ', static_cast<size_t>(n));
  t[n] = 0;
  return Text(t);
}

Text Replace(const char* text, const char* search, const char* replacement, std::optional<int> start,
             std::optional<int> count, std::optional<bool> case_sensitive) {
  const unsigned char* t = Bytes(text);
  size_t length = TextLength(text);
  size_t search_length = TextLength(search);
  size_t from = start ? static_cast<size_t>(std::max(*start, 1) - 1) : 0;
  if (length == 0 || search_length == 0 || from >= length || (count && *count == 0)) {
    return ResultText(t, length);
  }
  // A negative count replaces every occurrence, like an omitted one.
  long long remaining = count && *count > 0 ? *count : -1;
  bool fold = !case_sensitive.value_or(false);
  size_t replacement_length = TextLength(replacement);

  TextBuilder out(length + (replacement_length > search_length ? length / 4 : 0));
  out.Append(t, from);
  size_t cursor = from;
  while (remaining != 0) {
    size_t at = FindInText(t, cursor, length, Bytes(search), search_length, fold);
    if (at == kNotFound) break;
    out.Append(t + cursor, at - cursor);
    out.Append(replacement, replacement_length);
    cursor = at + search_length;
    if (remaining > 0) --remaining;
  }
  out.Append(t + cursor, length - cursor);
  return out.Finish();
}

TextArray Split(const char* text, std::optional<const char*> separator, std::optional<int> maximum) {
  const unsigned char* t = Bytes(text);
  size_t length = TextLength(text);
  const char* sep = separator ? *separator : kDefaultSeparator;
  size_t sep_length = TextLength(sep);

  std::vector<char*> pieces;
  auto finish = [&]() {
    void* array = MakeArray(sizeof(char*), pieces.size());
    void* first = nullptr;
    ArrayElementCount(array, &first);
    if (!pieces.empty()) std::memcpy(first, pieces.data(), pieces.size() * sizeof(char*));
    return TextArray(array);
  };
  if (sep_length == 0) {
    pieces.push_back(ResultText(t, length).release());
    return finish();
  }
  long long limit = maximum ? *maximum : -1;
  if (limit == 0 || length == 0) return finish();

  size_t cursor = 0;
  bool limit_reached = false;
  while (cursor < length) {
    size_t at = FindInText(t, cursor, length, Bytes(sep), sep_length, false);
    if (at == kNotFound) break;
    pieces.push_back(ResultText(t + cursor, at - cursor).release());
    cursor = at + sep_length;
    if (limit > 0 && static_cast<long long>(pieces.size()) >= limit) {
      limit_reached = true;
      break;
    }
  }
  if (!limit_reached && cursor < length) pieces.push_back(ResultText(t + cursor, length - cursor).release());
  return finish();
}

int CompareText(const char* a, const char* b, std::optional<bool> case_sensitive) {
  const unsigned char* x = Bytes(a);
  const unsigned char* y = Bytes(b);
  bool fold = !case_sensitive.value_or(false);
  // Character by character; a double-byte character compares as its two bytes.
  for (size_t i = 0;; ++i) {
    unsigned char cx = x[i];
    unsigned char cy = y[i];
    if (fold) {
      if (cx >= 'A' && cx <= 'Z') cx = static_cast<unsigned char>(cx + 32);
      if (cy >= 'A' && cy <= 'Z') cy = static_cast<unsigned char>(cy + 32);
    }
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx == 0) return 0;
    if (IsLeadByte(x[i]) && x[i + 1] != 0) {
      ++i;
      if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    }
  }
}

int32_t ToInteger(const char* text) {
  const unsigned char* t = Bytes(text);
  size_t length = TextLength(text);
  std::string ascii;
  ascii.reserve(length);
  for (size_t i = 0; i < length;) {
    if (i + 1 < length && t[i] == 0xA3 && t[i + 1] >= 0xA1 && t[i + 1] <= 0xFE) {
      ascii += static_cast<char>(t[i + 1] - 0x80);  // A3 A1..FE are full-width ! .. ~
      i += 2;
    } else if (i + 1 < length && t[i] == kFullWidthBlank && t[i + 1] == kFullWidthBlank) {
      ascii += ' ';
      i += 2;
    } else {
      size_t n = CharacterLength(t, i, length);
      ascii.append(reinterpret_cast<const char*>(t + i), n);
      i += n;
    }
  }
  return static_cast<int32_t>(std::strtol(ascii.c_str(), nullptr, 10));
}

}  // namespace quillet
