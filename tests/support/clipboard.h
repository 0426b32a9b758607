// Reading and clearing the clipboard from tests of the copy paths.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace quillet::testing_support {

// The clipboard's Unicode text; "<none>" without one, "<not opened>" when it is held elsewhere.
inline std::wstring ClipboardText() {
  if (!OpenClipboard(nullptr)) return L"<not opened>";
  std::wstring text = L"<none>";
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data != nullptr) {
    const wchar_t* chars = static_cast<const wchar_t*>(GlobalLock(data));
    if (chars != nullptr) text = chars;
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

inline void EmptyTheClipboard() {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
}

}  // namespace quillet::testing_support
