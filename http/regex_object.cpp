#include "http/regex_object.h"

#include "http/text_helpers.h"
#include "http/text_search.h"

namespace quillet {
namespace {

constexpr char kRegExpProgId[] = "VBScript.RegExp";
constexpr int32_t kNotFoundOffset = -2;

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
  const Text ignore_case = ReadPropertyText(expression_, "IgnoreCase");
  const bool ignore = text_search::EqualTexts(ignore_case.c_str(), "0");
  return text_search::Find(subject.c_str(), found, first_index, ignore) - 1;
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
