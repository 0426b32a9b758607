#include "http/regex_object.h"

#include <algorithm>

#include "http/text_codec.h"
#include "http/text_helpers.h"
#include "http/text_search.h"
#include "runtime/program_dll_commands.h"

namespace quillet {
namespace {

constexpr char kRegExpProgId[] = "VBScript.RegExp";
constexpr int32_t kNotFoundOffset = -2;

// The engine counts positions in UTF-16 units; the subject's GBK bytes are
// what callers index. Answers the byte length of the first `units` units.
int32_t GbkOffsetOfUnits(const Variant& subject, int32_t units) {
  const VARIANT* value = subject.get();
  if (value->vt != VT_BSTR || value->bstrVal == nullptr || units <= 0) return 0;
  const int available = static_cast<int>(dll::SysStringLen(value->bstrVal));
  const int count = std::min(static_cast<int>(units), available);
  return dll::WideCharToMultiByte(kCodePageGbk, 0, value->bstrVal, count, nullptr, 0, nullptr, nullptr);
}

}  // namespace

RegexObject::RegexObject() = default;

RegexObject::RegexObject(const RegexObject& other)
    : subject_(other.subject_), matches_(other.matches_), expression_(other.expression_) {}

RegexObject::~RegexObject() = default;

RegexObject* RegexObject::Copy() const { return new RegexObject(*this); }

bool RegexObject::Execute(const char* pattern, const char* subject, bool case_sensitive, bool multi_line, bool global,
                          bool quote_marker) {
  expression_.Release();
  matches_.Release();
  CreateObject(expression_, kRegExpProgId);
  WriteProperty(expression_, "IgnoreCase", AutoArg::FromBool(!case_sensitive));
  WriteProperty(expression_, "Multiline", AutoArg::FromBool(multi_line));
  // The engine has no such option; the write fails without effect.
  WriteProperty(expression_, "Singleline", AutoArg::FromBool(true));
  WriteProperty(expression_, "Global", AutoArg::FromBool(global));
  const Text used_pattern = quote_marker ? ReplaceQuoteMarkers(pattern) : Text::Copy(pattern);
  WriteProperty(expression_, "Pattern", AutoArg::FromText(used_pattern.c_str()));
  SetVariant(subject_, AutoArg::FromText(subject));
  matches_ = CallMethodObject(expression_, "Execute", {AutoArg::FromVariant(&subject_)});
  return !matches_.empty();
}

void RegexObject::Unused() {}

Text RegexObject::GetPattern() {
  if (expression_.empty()) return Text();
  return ReadPropertyText(expression_, "Pattern");
}

Text RegexObject::ReplaceMatches(const char* replacement) {
  Variant with;
  SetVariant(with, AutoArg::FromText(replacement));
  return CallMethodText(expression_, "Replace", {AutoArg::FromVariant(&subject_), AutoArg::FromVariant(&with)});
}

int32_t RegexObject::MatchCount() { return static_cast<int32_t>(ReadPropertyDouble(matches_, "Count")); }

int32_t RegexObject::PositionOf(const char* found, const ObjectRef& match) {
  const Text subject = VariantAsText(subject_);
  const int32_t first_index = static_cast<int32_t>(ReadPropertyDouble(match, "FirstIndex"));
  const int32_t match_offset = GbkOffsetOfUnits(subject_, first_index);
  // An empty text is found anywhere: the match's own place is the answer.
  if (found == nullptr || *found == '\0') return match_offset;
  const Text ignore_case = ReadPropertyText(expression_, "IgnoreCase");
  const bool ignore = text_search::EqualTexts(ignore_case.c_str(), "0");
  // Find takes a 1-based start: the search begins at the match itself.
  return text_search::Find(subject.c_str(), found, match_offset + 1, ignore) - 1;
}

Text RegexObject::MatchText(int32_t index, int32_t* position) {
  ObjectRef match = ReadPropertyObject(matches_, "Item", {AutoArg::FromInt(index - 1)});
  Text value = ReadPropertyText(match, "Value");
  if (position != nullptr) *position = match.empty() ? kNotFoundOffset : PositionOf(value.c_str(), match);
  return value;
}

Text RegexObject::SubMatchText(int32_t match_index, int32_t group_index, int32_t* position) {
  ObjectRef match = ReadPropertyObject(matches_, "Item", {AutoArg::FromInt(match_index - 1)});
  ObjectRef groups = ReadPropertyObject(match, "SubMatches");
  Variant group = ReadPropertyVariant(groups, "Item", {AutoArg::FromInt(group_index - 1)});
  Text value = AutomationLastError() == kAutomationOk ? VariantAsText(group) : Text();
  if (position != nullptr) *position = match.empty() ? kNotFoundOffset : PositionOf(value.c_str(), match);
  return value;
}

int32_t RegexObject::SubMatchCount() {
  ObjectRef first = ReadPropertyObject(matches_, "Item", {AutoArg::FromInt(0)});
  ObjectRef groups = ReadPropertyObject(first, "SubMatches");
  return static_cast<int32_t>(ReadPropertyDouble(groups, "Count"));
}

}  // namespace quillet
