#include "http/winhttp_api.h"

#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"

namespace quillet {
namespace {

const WinHttpApi kPlatformApi = {
    [] { return dll::WinHttpCheckPlatform(); },
    [](LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTS* parts) {
      return dll::WinHttpCrackUrl(url, length, flags, parts);
    },
    [](LPCWSTR agent, DWORD access, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
      return dll::WinHttpOpen(agent, access, proxy, bypass, flags);
    },
    [](HINTERNET h, int resolve, int connect, int send, int receive) {
      return dll::WinHttpSetTimeouts(h, resolve, connect, send, receive);
    },
    [](HINTERNET h, LPCWSTR host, INTERNET_PORT port, DWORD reserved) {
      return dll::WinHttpConnect(h, host, port, reserved);
    },
    [](HINTERNET h, LPCWSTR verb, LPCWSTR object, LPCWSTR version, LPCWSTR referrer, LPCWSTR* types, DWORD flags) {
      return dll::WinHttpOpenRequest(h, verb, object, version, referrer, types, flags);
    },
    [](HINTERNET h, DWORD target, DWORD scheme, LPCWSTR user, LPCWSTR password, LPVOID params) {
      return dll::WinHttpSetCredentials(h, target, scheme, user, password, params);
    },
    [](HINTERNET h, DWORD option, LPVOID buffer, DWORD length) {
      return dll::WinHttpSetOption(h, option, buffer, length);
    },
    [](HINTERNET h, LPCWSTR headers, DWORD length, DWORD modifiers) {
      return dll::WinHttpAddRequestHeaders(h, headers, length, modifiers);
    },
    [](HINTERNET h, LPCWSTR headers, DWORD headers_length, LPVOID body, DWORD length, DWORD total, DWORD_PTR context) {
      return dll::WinHttpSendRequest(h, headers, headers_length, body, length, total, context);
    },
    [](HINTERNET h, LPVOID reserved) { return dll::WinHttpReceiveResponse(h, reserved); },
    [](HINTERNET h, LPDWORD available) { return dll::WinHttpQueryDataAvailable(h, available); },
    [](HINTERNET h, LPVOID buffer, DWORD length, LPDWORD read) {
      return dll::WinHttpReadData(h, buffer, length, read);
    },
    [](HINTERNET h, DWORD level, LPCWSTR name, LPVOID buffer, LPDWORD length, LPDWORD index) {
      return dll::WinHttpQueryHeaders(h, level, name, buffer, length, index);
    },
    [](HINTERNET h) { return dll::WinHttpCloseHandle(h); },
    [] { quillet::DoEvents(); },
};

thread_local const WinHttpApi* t_current_api = nullptr;

}  // namespace

const WinHttpApi& PlatformWinHttpApi() { return kPlatformApi; }

const WinHttpApi& CurrentWinHttpApi() { return t_current_api ? *t_current_api : kPlatformApi; }

ScopedWinHttpApi::ScopedWinHttpApi(const WinHttpApi& api) : previous_(t_current_api) { t_current_api = &api; }

ScopedWinHttpApi::~ScopedWinHttpApi() { t_current_api = previous_; }

}  // namespace quillet
