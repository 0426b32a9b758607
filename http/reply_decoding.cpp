#include "http/reply_decoding.h"

#include <cctype>
#include <cstring>

#include "http/automation.h"
#include "http/com_owners.h"
#include "http/text_codec.h"
#include "http/text_search.h"
#include "http/winhttp_api.h"

namespace quillet {
namespace {

constexpr char kStreamProgId[] = "Adodb.Stream";
constexpr int32_t kStreamTypeBinary = 1;
constexpr int32_t kStreamTypeText = 2;
constexpr int32_t kStreamModeReadWrite = 3;

// Converts through the platform's stream object. False when the object is
// missing or cannot convert (no type library, unknown charset name).
bool ConvertWithStream(const ByteSetBlock* body, const char* charset, Text& text) {
  ObjectRef stream;
  if (!CreateObject(stream, kStreamProgId)) return false;
  Variant bytes;
  SetVariant(bytes, AutoArg::FromByteSet(body));
  WriteProperty(stream, "Type", AutoArg::FromInt(kStreamTypeBinary));
  WriteProperty(stream, "Mode", AutoArg::FromInt(kStreamModeReadWrite));
  CallMethod(stream, "Open");
  CallMethod(stream, "Write", {AutoArg::FromVariant(&bytes)});
  WriteProperty(stream, "Position", AutoArg::FromInt(0));
  WriteProperty(stream, "Type", AutoArg::FromInt(kStreamTypeText));
  WriteProperty(stream, "Charset", AutoArg::FromText(charset));
  Text converted = CallMethodText(stream, "ReadText");
  const bool converted_ok = AutomationLastError() == kAutomationOk;
  CallMethod(stream, "Close");
  if (converted_ok) text = std::move(converted);
  return converted_ok;
}

// Converts with the platform's code-page tables; false for an unknown name.
bool ConvertWithCodePage(const char* charset, Text& text) {
  const uint32_t code_page = CodePageOfCharset(charset);
  if (code_page == 0) return false;
  if (text.empty()) return true;
  ByteSet units = CodePageToUtf16(text.c_str(), code_page);
  if (units.empty()) return false;
  text = Utf16ToCodePage(units.get(), kCodePageGbk);
  return true;
}

// The charset pattern cannot match a head without the bytes "charset=" in
// some case; such a head (a JSON reply) needs no regular-expression object,
// which is a COM object made for every call.
constexpr char kCharsetWord[] = "charset=";

bool MayDeclareCharset(const char* head) {
  const size_t word = sizeof(kCharsetWord) - 1;
  for (const char* at = head; *at != 0; ++at) {
    size_t i = 0;
    while (i < word && at[i] != 0 && std::tolower(static_cast<unsigned char>(at[i])) == kCharsetWord[i]) ++i;
    if (i == word) return true;
  }
  return false;
}

}  // namespace

const char kMetaCharsetPattern[] = "<meta.+?charset=[^\\w]?([-\\w]+)";

Text DecodeReplyBody(const ByteSetBlock* body, RegexObject& regex) {
  const unsigned char* data = ByteSetData(body);
  const size_t length = ByteSetLength(body);
  const void* zero = length > 0 ? std::memchr(data, 0, length) : nullptr;
  const size_t text_length = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - data) : length;
  Text text(reinterpret_cast<const char*>(data), text_length);

  ComApartment apartment;
  const Text head = text_search::Left(text.c_str(), kCharsetSearchBytes);
  const bool may_declare = MayDeclareCharset(head.c_str());
  // Without the word the search runs as if it had found nothing.
  const bool executed = !may_declare || regex.Execute(kMetaCharsetPattern, head.c_str(), false, true, true, false);
  Text charset;
  if (may_declare && executed) charset = regex.SubMatchText(1, 1);
  if (!charset.empty() && !text_search::EqualTexts(charset.c_str(), "gbk") &&
      !text_search::EqualTexts(charset.c_str(), "gb2312")) {
    // The stream object first (real Windows); where it cannot convert, the
    // code-page tables, and an unknown name keeps the bytes as they came.
    if (!ConvertWithStream(body, charset.c_str(), text)) ConvertWithCodePage(charset.c_str(), text);
  }
  if (executed) CurrentWinHttpApi().DoEvents();
  return text;
}

}  // namespace quillet
