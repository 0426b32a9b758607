// Helpers for asserting on GBK text in tests.
#pragma once
#include <string>

namespace quillet::testing_support {

// GBK bytes as UTF-8, for readable failure messages.
std::string GbkToUtf8(const std::string& gbk);
std::string GbkToUtf8(const char* gbk);
// UTF-8 (a u8"" literal) as GBK bytes.
std::string Utf8ToGbk(const std::string& utf8);
// Upper-case hex of every byte: a regex-safe, byte-exact form.
std::string HexBytes(const std::string& bytes);

}  // namespace quillet::testing_support
