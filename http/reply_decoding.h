// Turning a reply body into the program's GBK text.
#pragma once
#include "http/regex_object.h"
#include "runtime/value.h"

namespace quillet {

// The pattern that finds a charset named in an HTML meta tag (group 1).
extern const char kMetaCharsetPattern[];
// Only this many leading bytes are searched for the meta charset.
constexpr int32_t kCharsetSearchBytes = 1024;

// The body's bytes up to its first zero byte, converted to GBK from the
// charset a meta tag declares (left as they are for "gbk", "gb2312", no
// declaration, or a charset no converter knows).
Text DecodeReplyBody(const ByteSetBlock* body, RegexObject& regex);

}  // namespace quillet
