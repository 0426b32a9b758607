#include "support/gbk_text.h"

#include <windows.h>

namespace quillet::testing_support {
namespace {

constexpr UINT kGbk = 936;

std::string Convert(const std::string& in, UINT from, UINT to) {
  if (in.empty()) return std::string();
  int wide_length = MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), &wide[0], wide_length);
  int out_length = WideCharToMultiByte(to, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(out_length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wide_length, &out[0], out_length, nullptr, nullptr);
  return out;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) { return Convert(gbk, kGbk, CP_UTF8); }
std::string GbkToUtf8(const char* gbk) { return GbkToUtf8(std::string(gbk ? gbk : "")); }
std::string Utf8ToGbk(const std::string& utf8) { return Convert(utf8, CP_UTF8, kGbk); }

std::string HexBytes(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

}  // namespace quillet::testing_support
