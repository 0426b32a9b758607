// Decoding of the escapes inside a JSON string value, on UTF-8 bytes.
#pragma once

namespace quillet::app {

// `utf8` is the body of a JSON string (between its quotes) as UTF-8 bytes.
// Answers a new Text (UTF-8) with \" \\ \/ \b \f \n \r \t and \uXXXX decoded;
// a surrogate pair becomes one character, a lone surrogate U+FFFD, \u0000
// nothing. An unknown or cut-off escape is kept as it stands. The bytes are
// walked before any conversion to GBK, where a trail byte may look like a
// backslash. Null for an empty result.
char* DecodeJsonEscapes(const char* utf8);

}  // namespace quillet::app
