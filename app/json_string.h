// Reading string members of the service's JSON reply, on UTF-8 bytes.
#pragma once
#include <string>

namespace quillet::app {

// `utf8` is the body of a JSON string (between its quotes) as UTF-8 bytes.
// Answers a new Text (UTF-8) with \" \\ \/ \b \f \n \r \t and \uXXXX decoded;
// a surrogate pair becomes one character, a lone surrogate U+FFFD, \u0000
// nothing. An unknown or cut-off escape is kept as it stands. The bytes are
// walked before any conversion to GBK, where a trail byte may look like a
// backslash. Null for an empty result.
char* DecodeJsonEscapes(const char* utf8);

// One member of the reply's top-level object.
struct JsonMember {
  bool is_string = false;  // false: missing, null, or not a string
  std::string raw;         // the string's body between its quotes, escapes not decoded
};

// Finds the member `name` of the top-level JSON object in `utf8` (the first
// one, when a name repeats). Members inside nested values are skipped, and a
// quote inside a string value never starts a member. A reply that is not an
// object, or breaks off, gives the members read before the break.
JsonMember FindJsonMember(const char* utf8, const char* name);

}  // namespace quillet::app
