// One synchronous HTTP or HTTPS exchange over WinHttp on the calling thread.
// Every handle, COM object and buffer belongs to one call, so calls on
// different threads need no lock. Failures never raise: they leave a numbered
// message (kHttpStatus...) in `status` and the result is empty text.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace quillet {

// Verb numbers; any other number sends GET.
enum HttpVerb : int32_t {
  kHttpGet = 0,
  kHttpPost = 1,
  kHttpHead = 2,
  kHttpPut = 3,
  kHttpOptions = 4,
  kHttpDelete = 5,
  kHttpTrace = 6,
  kHttpConnect = 7,
};

// The failure messages written into `status` (GBK). Each starts with its
// number, 700 to 713, except the certificate one, which has none.
extern const char kHttpStatusNoWinHttp[];
extern const char kHttpStatusBadUrl[];
extern const char kHttpStatusSessionFailed[];
extern const char kHttpStatusConnectFailed[];
extern const char kHttpStatusRequestFailed[];
extern const char kHttpStatusTimeoutFailed[];
extern const char kHttpStatusCertificateFailed[];
extern const char kHttpStatusCredentialsFailed[];
extern const char kHttpStatusCookiesFailed[];
extern const char kHttpStatusRedirectFailed[];
extern const char kHttpStatusHeadersFailed[];
extern const char kHttpStatusSendFailed[];
extern const char kHttpStatusNoResponse[];
extern const char kHttpStatusReadFailed[];

// All parameters of one request. Text inputs are GBK; null reads as empty.
// Output pointers may be null (the value is then discarded).
struct HttpRequestArgs {
  const char* url = nullptr;
  int32_t method = kHttpGet;
  const char* postText = nullptr;       // sent as GBK bytes when postBytes is empty
  const char* sendCookies = nullptr;    // "a=1; b=2", optionally starting with "Cookie:"
  Text* returnedCookies = nullptr;      // in/out: the reply's cookies are appended
  const char* extraHeaders = nullptr;   // header lines separated by CR LF
  Text* returnedHeaders = nullptr;      // out: raw reply header block
  bool noRedirect = false;
  const char* user = nullptr;           // basic authentication for the server
  const char* password = nullptr;
  const char* proxy = nullptr;          // "host:port"; empty: no proxy
  const char* proxyUser = nullptr;
  const char* proxyPassword = nullptr;
  int32_t timeoutSeconds = 0;           // 0 or less: 30 seconds
  Text* location = nullptr;             // out: value of the reply's "Location: " line
  Text* status = nullptr;               // out: "200 OK" or a failure message
  ByteSet* bodyBytes = nullptr;         // out: reply body exactly as received
  bool mergeCookies = true;
  bool completeHeaders = true;          // add the default headers extraHeaders lacks
  const ByteSetBlock* postBytes = nullptr;  // sent instead of postText when not empty
  bool normalizeHeaderCase = true;
  // Certificates are verified unless this is set; then an untrusted, expired
  // or wrong-host certificate is accepted.
  bool ignoreCertificateErrors = false;
};

// Answers the reply body decoded to GBK text (bytes up to the first zero
// byte, converted from a charset declared in an HTML meta tag), or empty text
// when the exchange failed before the reply headers were read.
Text HttpRequest(const HttpRequestArgs& args);

// The same with positional parameters; HttpRequest(url) uses every default.
Text HttpRequest(const char* url, int32_t method = kHttpGet, const char* postText = nullptr,
                 const char* sendCookies = nullptr, Text* returnedCookies = nullptr,
                 const char* extraHeaders = nullptr, Text* returnedHeaders = nullptr, bool noRedirect = false,
                 const char* user = nullptr, const char* password = nullptr, const char* proxy = nullptr,
                 const char* proxyUser = nullptr, const char* proxyPassword = nullptr, int32_t timeoutSeconds = 0,
                 Text* location = nullptr, Text* status = nullptr, ByteSet* bodyBytes = nullptr,
                 bool mergeCookies = true, bool completeHeaders = true, const ByteSetBlock* postBytes = nullptr,
                 bool normalizeHeaderCase = true, bool ignoreCertificateErrors = false);

}  // namespace quillet
