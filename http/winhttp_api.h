// The WinHttp functions HttpRequest calls, as a table. The program always uses
// the DLL commands; a test can put a table of its own in place for the calling
// thread to make single steps fail and to watch the order of calls.
#pragma once
#include <windows.h>
#include <winhttp.h>

namespace quillet {

struct WinHttpApi {
  BOOL (*WinHttpCheckPlatform)();
  BOOL (*WinHttpCrackUrl)(LPCWSTR, DWORD, DWORD, URL_COMPONENTS*);
  HINTERNET (*WinHttpOpen)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
  BOOL (*WinHttpSetTimeouts)(HINTERNET, int, int, int, int);
  HINTERNET (*WinHttpConnect)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD);
  HINTERNET (*WinHttpOpenRequest)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD);
  BOOL (*WinHttpSetCredentials)(HINTERNET, DWORD, DWORD, LPCWSTR, LPCWSTR, LPVOID);
  BOOL (*WinHttpSetOption)(HINTERNET, DWORD, LPVOID, DWORD);
  BOOL (*WinHttpAddRequestHeaders)(HINTERNET, LPCWSTR, DWORD, DWORD);
  BOOL (*WinHttpSendRequest)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR);
  BOOL (*WinHttpReceiveResponse)(HINTERNET, LPVOID);
  BOOL (*WinHttpQueryDataAvailable)(HINTERNET, LPDWORD);
  BOOL (*WinHttpReadData)(HINTERNET, LPVOID, DWORD, LPDWORD);
  BOOL (*WinHttpQueryHeaders)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD);
  BOOL (*WinHttpCloseHandle)(HINTERNET);
  // Lets the calling thread's waiting window messages run.
  void (*DoEvents)();
};

// The table bound to winhttp.dll through the program's DLL commands.
const WinHttpApi& PlatformWinHttpApi();
// The table in use on the calling thread.
const WinHttpApi& CurrentWinHttpApi();

// Puts `api` in place for the calling thread until destroyed.
class ScopedWinHttpApi {
 public:
  explicit ScopedWinHttpApi(const WinHttpApi& api);
  ScopedWinHttpApi(const ScopedWinHttpApi&) = delete;
  ScopedWinHttpApi& operator=(const ScopedWinHttpApi&) = delete;
  ~ScopedWinHttpApi();

 private:
  const WinHttpApi* previous_;
};

}  // namespace quillet
