// The baseline the HTTP benchmarks measure against: the plainest synchronous
// WinHttp GET and read loop, with a session and a connection of its own.
#pragma once
#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "runtime/program_dll_commands.h"

namespace quillet::bench {

// The whole body; empty when any step failed.
inline std::vector<unsigned char> BareWinHttpGet(const std::wstring& host, INTERNET_PORT port,
                                                 const std::wstring& path) {
  namespace dll = quillet::dll;
  std::vector<unsigned char> body;
  HINTERNET session = dll::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET connection = session ? dll::WinHttpConnect(session, host.c_str(), port, 0) : nullptr;
  HINTERNET request = connection ? dll::WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr,
                                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                 : nullptr;
  if (request && dll::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, nullptr, 0, 0, 0) &&
      dll::WinHttpReceiveResponse(request, nullptr)) {
    for (;;) {
      DWORD available = 0;
      if (!dll::WinHttpQueryDataAvailable(request, &available) || available == 0) break;
      const size_t old = body.size();
      body.resize(old + available);
      DWORD read = 0;
      if (!dll::WinHttpReadData(request, body.data() + old, available, &read)) break;
      body.resize(old + read);
    }
  }
  dll::WinHttpCloseHandle(request);
  dll::WinHttpCloseHandle(connection);
  dll::WinHttpCloseHandle(session);
  return body;
}

}  // namespace quillet::bench
