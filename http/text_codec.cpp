#include "http/text_codec.h"

#include <cstring>
#include <string>
#include <vector>

#include "runtime/program_dll_commands.h"

namespace quillet {
namespace {

constexpr DWORD kNoConversionFlags = 0;
constexpr DWORD kCompositeCheck = WC_COMPOSITECHECK;
constexpr int kZeroTerminated = -1;
constexpr size_t kUnitSize = sizeof(wchar_t);

// Converts a zero-terminated multibyte text; the units include the terminator.
ByteSet MultiByteToUnits(const char* text, uint32_t code_page) {
  const int units = dll::MultiByteToWideChar(code_page, kNoConversionFlags, text, kZeroTerminated, nullptr, 0);
  if (units <= 0) return ByteSet();
  std::vector<wchar_t> buffer(static_cast<size_t>(units));
  const int written =
      dll::MultiByteToWideChar(code_page, kNoConversionFlags, text, kZeroTerminated, buffer.data(), units);
  if (written <= 0) return ByteSet();
  return ByteSet(buffer.data(), static_cast<size_t>(written) * kUnitSize);
}

size_t UnitsBeforeZero(const ByteSetBlock* units) {
  const size_t count = ByteSetLength(units) / kUnitSize;
  const unsigned char* data = ByteSetData(units);
  for (size_t i = 0; i < count; ++i) {
    if (data[2 * i] == 0 && data[2 * i + 1] == 0) return i;
  }
  return count;
}

Text UnitsToMultiByte(const wchar_t* units, size_t count, uint32_t code_page, DWORD flags) {
  if (count == 0) return Text();
  const int n = static_cast<int>(count);
  const int bytes = dll::WideCharToMultiByte(code_page, flags, units, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return Text();
  std::vector<char> buffer(static_cast<size_t>(bytes) + 1, 0);
  const int written = dll::WideCharToMultiByte(code_page, flags, units, n, buffer.data(), bytes, nullptr, nullptr);
  if (written <= 0) return Text();
  // The text ends at the first zero byte, like any Text.
  return Text(buffer.data(), std::strlen(buffer.data()));
}

// Copies the units out of the block so they are aligned for the wide APIs.
std::vector<wchar_t> CopyUnits(const ByteSetBlock* block, size_t count) {
  std::vector<wchar_t> units(count);
  if (count > 0) std::memcpy(units.data(), ByteSetData(block), count * kUnitSize);
  return units;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct CharsetCodePage {
  const char* name;
  uint32_t code_page;
};

// Names as pages declare them (lower case); aliases included.
constexpr CharsetCodePage kCharsets[] = {
    {"utf-8", 65001},        {"utf8", 65001},         {"gbk", 936},           {"gb2312", 936},
    {"x-gbk", 936},          {"cp936", 936},          {"gb18030", 54936},     {"big5", 950},
    {"big5-hkscs", 950},     {"cp950", 950},          {"shift_jis", 932},     {"shift-jis", 932},
    {"sjis", 932},           {"x-sjis", 932},         {"windows-31j", 932},   {"cp932", 932},
    {"euc-jp", 20932},       {"iso-2022-jp", 50220},  {"euc-kr", 949},        {"ks_c_5601-1987", 949},
    {"cp949", 949},          {"iso-8859-1", 28591},   {"latin1", 28591},      {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},   {"iso-8859-4", 28594},   {"iso-8859-5", 28595},  {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},   {"iso-8859-8", 28598},   {"iso-8859-9", 28599},  {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},  {"windows-874", 874},    {"windows-1250", 1250}, {"windows-1251", 1251},
    {"windows-1252", 1252},  {"windows-1253", 1253},  {"windows-1254", 1254}, {"windows-1255", 1255},
    {"windows-1256", 1256},  {"windows-1257", 1257},  {"windows-1258", 1258}, {"koi8-r", 20866},
    {"koi8-u", 21866},       {"us-ascii", 20127},     {"ascii", 20127},
};

}  // namespace

ByteSet GbkToUtf16(const char* text, bool drop_terminator) {
  if (text == nullptr || *text == 0) return ByteSet();
  ByteSet units = MultiByteToUnits(text, kCodePageGbk);
  if (!drop_terminator || units.size() < kUnitSize) return units;
  return ByteSet(units.data(), units.size() - kUnitSize);
}

Text Utf16ToGbk(const ByteSetBlock* units) {
  const size_t count = ByteSetLength(units) / kUnitSize;
  std::vector<wchar_t> copy = CopyUnits(units, count);
  return UnitsToMultiByte(copy.data(), count, kCodePageGbk, kCompositeCheck);
}

ByteSet CodePageToUtf16(const char* text, uint32_t code_page) {
  return MultiByteToUnits(text ? text : "", code_page);
}

Text Utf16ToCodePage(const ByteSetBlock* units, uint32_t code_page) {
  // The program's text is GBK whatever the system's ANSI code page is.
  if (code_page == CP_ACP) code_page = kCodePageGbk;
  const size_t count = UnitsBeforeZero(units);
  std::vector<wchar_t> copy = CopyUnits(units, count);
  return UnitsToMultiByte(copy.data(), count, code_page, kNoConversionFlags);
}

Text Utf8ToGbk(const char* text) {
  ByteSet units = CodePageToUtf16(text, kCodePageUtf8);
  return Utf16ToCodePage(units.get(), kCodePageGbk);
}

ByteSet Utf8ToUtf16(const char* text) {
  ByteSet units = CodePageToUtf16(text, kCodePageUtf8);
  if (units.size() <= kUnitSize) return ByteSet();
  return ByteSet(units.data(), units.size() - kUnitSize);
}

WideText::WideText(const char* gbk) : units_(GbkToUtf16(gbk)) {}

const wchar_t* WideText::c_str() const {
  return units_.empty() ? L"" : reinterpret_cast<const wchar_t*>(units_.data());
}

size_t WideText::length() const { return units_.empty() ? 0 : units_.size() / kUnitSize - 1; }

uint32_t CodePageOfCharset(const char* name) {
  if (name == nullptr) return 0;
  std::string lower;
  for (const char* p = name; *p; ++p) lower += LowerAscii(*p);
  for (const CharsetCodePage& entry : kCharsets) {
    if (lower == entry.name) return entry.code_page;
  }
  return 0;
}

}  // namespace quillet
