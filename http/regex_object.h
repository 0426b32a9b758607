// Regular expressions through the platform's VBScript.RegExp object. An
// instance belongs to the thread that made it (it joins a COM apartment there).
#pragma once
#include <cstdint>

#include "http/automation.h"
#include "http/com_owners.h"
#include "runtime/value.h"

namespace quillet {

class RegexObject {
 public:
  RegexObject();
  RegexObject(const RegexObject& other);  // shares both objects, copies the subject
  RegexObject& operator=(const RegexObject&) = delete;
  virtual ~RegexObject();

  virtual RegexObject* Copy() const;
  // Compiles `pattern` and runs it over `subject`; false when the engine
  // rejects the pattern. With quote_marker every "#引号" means a double quote.
  virtual bool Execute(const char* pattern, const char* subject, bool case_sensitive = false, bool multi_line = true,
                       bool global = true, bool quote_marker = false);
  virtual void Unused();
  virtual Text GetPattern();
  virtual Text ReplaceMatches(const char* replacement);
  virtual int32_t MatchCount();
  // Indices are 1-based; `position` receives a 0-based byte offset into the
  // subject (-2 when the text is not found there; an empty text answers its
  // match's offset).
  virtual Text MatchText(int32_t index, int32_t* position = nullptr);
  virtual Text SubMatchText(int32_t match_index, int32_t group_index, int32_t* position = nullptr);
  virtual int32_t SubMatchCount();

 private:
  int32_t PositionOf(const char* found, const ObjectRef& match);

  // Members go in reverse order: the expression, the matches, the subject,
  // and COM last, after every object of the apartment is gone.
  ComApartment apartment_;
  Variant subject_;
  ObjectRef matches_;
  ObjectRef expression_;
};

}  // namespace quillet
