#include "http/text_search.h"

#include <string>

#include "runtime/library_commands.h"

// The HTTP client's cuts and searches are the runtime's library commands; this
// file only adapts their optional arguments to the client's call shapes.
namespace quillet::text_search {

int32_t Find(const char* text, const char* search, int32_t start, bool ignore_case) {
  return FindText(text, search, start > 1 ? std::optional<int>(start) : std::nullopt, ignore_case);
}

int32_t FindReverse(const char* text, const char* search, int32_t limit, bool ignore_case) {
  return FindTextReverse(text, search, limit >= 0 ? std::optional<int>(limit) : std::nullopt, ignore_case);
}

Text ReplaceAll(const char* text, const char* search, const char* replacement, bool case_sensitive) {
  return Replace(text, search, replacement, std::nullopt, std::nullopt, case_sensitive);
}

std::vector<Text> Split(const char* text, const char* separator) {
  TextArray array = quillet::Split(text, separator ? separator : "");
  std::vector<Text> pieces;
  pieces.reserve(array.size());
  for (size_t i = 0; i < array.size(); ++i) pieces.push_back(Text::Copy(array.at(i)));
  return pieces;
}

Text TrimBoth(const char* text) { return quillet::TrimBoth(text); }
Text Left(const char* text, int32_t count) { return quillet::Left(text, count); }
Text Right(const char* text, int32_t count) { return quillet::Right(text, count); }
Text Mid(const char* text, int32_t start, int32_t count) { return quillet::Mid(text, start, count); }

bool EqualTexts(const char* a, const char* b) { return CompareTexts(a, b) == 0; }

Text Concat(std::initializer_list<const char*> pieces) {
  std::string out;
  for (const char* piece : pieces) out += piece ? piece : "";
  return Text(out.data(), out.size());
}

}  // namespace quillet::text_search
