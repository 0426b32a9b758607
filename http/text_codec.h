// Conversions between the program's GBK text, UTF-16 and other code pages.
// A conversion the platform refuses gives an empty result.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace quillet {

constexpr uint32_t kCodePageGbk = 936;
constexpr uint32_t kCodePageUtf8 = 65001;

// UTF-16 little-endian units with a terminating zero unit unless drop_terminator;
// an empty text gives an empty byte set.
ByteSet GbkToUtf16(const char* text, bool drop_terminator = false);
// Converts the units of the byte set (up to the first zero unit) to GBK.
Text Utf16ToGbk(const ByteSetBlock* units);
// MultiByteToWideChar from code_page; the result carries the terminator.
ByteSet CodePageToUtf16(const char* text, uint32_t code_page = kCodePageUtf8);
// WideCharToMultiByte up to the first zero unit. Code page 0 means the
// program's own text encoding (936), never the system's ANSI code page.
Text Utf16ToCodePage(const ByteSetBlock* units, uint32_t code_page = 0);
Text Utf8ToGbk(const char* text);
// UTF-16 units of a UTF-8 text, without a terminator: for text that must keep
// characters GBK cannot hold. Invalid sequences become U+FFFD.
ByteSet Utf8ToUtf16(const char* text);

// UTF-16 (zero-terminated) of a GBK text, for handing to wide APIs.
// Never null: an empty text gives an empty string.
class WideText {
 public:
  explicit WideText(const char* gbk);
  const wchar_t* c_str() const;
  size_t length() const;  // units without the terminator

 private:
  ByteSet units_;
};

// Code page of a charset name such as "utf-8", "big5", "iso-8859-2",
// "windows-1251" (ASCII case ignored); 0 when the name is unknown.
uint32_t CodePageOfCharset(const char* name);

}  // namespace quillet
