// What a test reads from an IAccessible: child ids as VARIANTs, BSTR answers as strings.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace quillet::testing_support {

inline VARIANT Child(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// The text of a BSTR answer (empty for null); frees it.
inline std::wstring TakeBstr(BSTR text) {
  std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return out;
}

}  // namespace quillet::testing_support
