// Prints the clipboard's Unicode text as UTF-8 on standard output, byte for
// byte (line breaks as they are), for the end-to-end test of copying. Exit
// code 1 when the clipboard holds no text or cannot be opened.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kOpenAttempts = 50;
constexpr DWORD kOpenRetryMs = 20;
constexpr int kNoText = 1;

bool OpenTheClipboard() {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(kOpenRetryMs);
  }
  return false;
}

}  // namespace

int main() {
  if (!OpenTheClipboard()) return kNoText;
  std::string utf8;
  bool found = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      found = true;
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, units, -1, nullptr, 0, nullptr, nullptr);
      if (bytes > 1) {
        utf8.resize(static_cast<size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, units, -1, utf8.data(), bytes, nullptr, nullptr);
        utf8.resize(static_cast<size_t>(bytes) - 1);  // without the terminator
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  if (!found) return kNoText;
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
  return 0;
}
