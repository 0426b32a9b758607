#include "http/http_request.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "http/com_owners.h"
#include "http/regex_object.h"
#include "http/reply_decoding.h"
#include "http/request_headers.h"
#include "http/text_codec.h"
#include "http/text_search.h"
#include "http/winhttp_api.h"
#include "runtime/heap.h"
#include "runtime/program_dll_commands.h"

namespace quillet {

const char kHttpStatusNoWinHttp[] = "700 当前系统不支持WinHttp服务!";
const char kHttpStatusBadUrl[] = "701 解析URL地址失败!";
const char kHttpStatusSessionFailed[] = "702 创建WinHttp会话失败!";
const char kHttpStatusConnectFailed[] = "703 创建WinHttp连接失败!";
const char kHttpStatusRequestFailed[] = "704 创建WinHttp请求失败!";
const char kHttpStatusTimeoutFailed[] = "705 设置超时时间失败!";
const char kHttpStatusCertificateFailed[] = "忽略错误/证书错误  失败！";
const char kHttpStatusCredentialsFailed[] = "707 设置代理凭证失败!";
const char kHttpStatusCookiesFailed[] = "708 禁止自动设置Cookies失败!";
const char kHttpStatusRedirectFailed[] = "709 重定向设置失败!";
const char kHttpStatusHeadersFailed[] = "710 设置协议头失败!";
const char kHttpStatusSendFailed[] = "711 发送请求失败!";
const char kHttpStatusNoResponse[] = "712 服务器未响应!";
const char kHttpStatusReadFailed[] = "713 读取数据失败!";

namespace {

namespace ts = text_search;

constexpr int32_t kDefaultTimeoutMilliseconds = 30000;
constexpr int64_t kMillisecondsPerSecond = 1000;
// WinHttp takes time-outs as int; -1 and 0 mean "no time-out".
constexpr int64_t kLongestTimeoutMilliseconds = INT_MAX;
constexpr wchar_t kFragmentMark = L'#';
constexpr size_t kLargestByteSet = INT32_MAX;
constexpr DWORD kCrackWholeUrl = 0;
constexpr DWORD kLengthFromUrl = static_cast<DWORD>(-1);
constexpr DWORD kSynchronous = 0;
constexpr DWORD kConnectReserved = 0;
constexpr DWORD kAcceptAnyCertificate = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                        SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                        SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
constexpr DWORD kOptionReceiveResponseTimeout = WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT;
constexpr DWORD kOptionSecurityFlags = WINHTTP_OPTION_SECURITY_FLAGS;
constexpr DWORD kOptionDisableFeature = WINHTTP_OPTION_DISABLE_FEATURE;
constexpr DWORD kOptionEnableFeature = WINHTTP_OPTION_ENABLE_FEATURE;
constexpr DWORD kDisableCookies = WINHTTP_DISABLE_COOKIES;
// With cookies to send, the cookie step writes the same 1 to the enable-feature
// option, where WinHttp reads it as certificate revocation checking.
constexpr DWORD kEnableSslRevocation = WINHTTP_ENABLE_SSL_REVOCATION;
constexpr DWORD kDisableRedirects = WINHTTP_DISABLE_REDIRECTS;
constexpr DWORD kAddHeaders = WINHTTP_ADDREQ_FLAG_ADD;
constexpr DWORD kQueryRawHeaders = WINHTTP_QUERY_RAW_HEADERS_CRLF;
constexpr DWORD kQueryContentLength = WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER;
constexpr int kFirstStatusWithBody = 200;
constexpr int kStatusNoContent = 204;
constexpr int kStatusNotModified = 304;
constexpr int32_t kStatusTextStart = 10;  // after "HTTP/1.1 "
constexpr char kLineBreak[] = "\r\n";
constexpr char kCookieSeparator[] = "; ";

const wchar_t* const kVerbs[] = {L"GET", L"POST", L"HEAD", L"PUT", L"OPTIONS", L"DELETE", L"TRACE", L"CONNECT"};

const wchar_t* VerbOf(int32_t method) {
  if (method < 0 || method >= static_cast<int32_t>(sizeof(kVerbs) / sizeof(kVerbs[0]))) return kVerbs[kHttpGet];
  return kVerbs[method];
}

bool IsEmpty(const char* text) { return text == nullptr || *text == 0; }

const WinHttpApi& api() { return CurrentWinHttpApi(); }

// The three WinHttp handles of one call, closed request first.
struct WinHttpHandles {
  HINTERNET root = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  WinHttpHandles() = default;
  WinHttpHandles(const WinHttpHandles&) = delete;
  WinHttpHandles& operator=(const WinHttpHandles&) = delete;
  ~WinHttpHandles() {
    if (request || connection || root) Close();
  }
  void Close() {
    api().WinHttpCloseHandle(request);
    api().WinHttpCloseHandle(connection);
    api().WinHttpCloseHandle(root);
    request = connection = root = nullptr;
  }
};

bool SetDwordOption(HINTERNET handle, DWORD option, DWORD value) {
  return api().WinHttpSetOption(handle, option, &value, sizeof(value)) != FALSE;
}

// The reply body, kept in a Byte set block that grows geometrically; each
// read lands directly behind what came before, and the block is handed over
// as it is.
class ReplyBody {
 public:
  ReplyBody() = default;
  ReplyBody(const ReplyBody&) = delete;
  ReplyBody& operator=(const ReplyBody&) = delete;
  ~ReplyBody() { RtFree(block_); }

  unsigned char* Extend(size_t count) {
    if (size_ + count > capacity_) {
      size_t capacity = std::max<size_t>(capacity_ * 2, kFirstCapacity);
      while (capacity < size_ + count) capacity *= 2;
      block_ = static_cast<ByteSetBlock*>(RtRealloc(block_, kByteSetHeaderSize + capacity));
      block_->dimension_count = 1;
      capacity_ = capacity;
    }
    unsigned char* at = block_->data + size_;
    size_ += count;
    return at;
  }
  void Truncate(size_t size) { size_ = std::min(size, size_); }
  size_t size() const { return size_; }
  // The body as a Byte set (null when empty); the object is left empty.
  ByteSet Take() {
    ByteSetBlock* block = std::exchange(block_, nullptr);
    if (block != nullptr) block->length = static_cast<int32_t>(size_);
    if (size_ == 0) {
      RtFree(block);
      block = nullptr;
    }
    size_ = capacity_ = 0;
    return ByteSet(block);
  }

 private:
  static constexpr size_t kFirstCapacity = 16 * 1024;
  ByteSetBlock* block_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The parts of a cracked URL.
struct UrlParts {
  Text host;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::wstring object_name;
};

bool CrackUrl(const char* url, UrlParts& parts) {
  const WideText wide_url(url);
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof(components);
  components.dwSchemeLength = kLengthFromUrl;
  components.dwHostNameLength = kLengthFromUrl;
  components.dwUrlPathLength = kLengthFromUrl;
  components.dwExtraInfoLength = kLengthFromUrl;
  if (!api().WinHttpCrackUrl(wide_url.c_str(), 0, kCrackWholeUrl, &components)) return false;
  ByteSet host_units(components.lpszHostName, components.dwHostNameLength * sizeof(wchar_t));
  parts.host = Utf16ToGbk(host_units.get());
  parts.port = components.nPort;
  parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  if (components.dwUrlPathLength == 0) {
    parts.object_name = L"/";
  } else {
    parts.object_name.assign(components.lpszUrlPath, components.dwUrlPathLength);
    if (components.lpszExtraInfo != nullptr) {
      parts.object_name.append(components.lpszExtraInfo, components.dwExtraInfoLength);
    }
  }
  // The fragment belongs to the client; it never goes on the wire.
  const size_t fragment = parts.object_name.find(kFragmentMark);
  if (fragment != std::wstring::npos) parts.object_name.erase(fragment);
  if (parts.object_name.empty()) parts.object_name = L"/";
  return true;
}

// Seconds to the milliseconds WinHttp gets: 64-bit arithmetic, clamped to
// the largest value it takes, so a huge time-out never wraps to a short or
// an infinite one.
int32_t TimeoutMilliseconds(int32_t seconds) {
  if (seconds <= 0) return kDefaultTimeoutMilliseconds;
  return static_cast<int32_t>(std::min(seconds * kMillisecondsPerSecond, kLongestTimeoutMilliseconds));
}

// Steps whose success earns one DoEvents run at the end of the call.
class PendingMessageRuns {
 public:
  void Earn() { ++count_; }
  void Run() {
    for (int i = 0; i < count_; ++i) api().DoEvents();
  }

 private:
  int count_ = 0;
};

class Request {
 public:
  // The cookies to send are copied first: they may be the very text of an
  // output variable (one variable as the cookie jar), which the call rewrites
  // before the merge reads them.
  explicit Request(const HttpRequestArgs& args) : args_(args), send_cookies_(Text::Copy(args.sendCookies)) {
    status_ = args.status ? args.status : &discarded_status_;
    cookies_ = args.returnedCookies ? args.returnedCookies : &discarded_cookies_;
    headers_ = args.returnedHeaders ? args.returnedHeaders : &discarded_headers_;
    location_ = args.location ? args.location : &discarded_location_;
  }

  Text Run() {
    RegexObject regex;
    Text result;
    bool early_return = false;
    Exchange(regex, result, early_return);
    if (!early_return) message_runs_.Run();
    handles_.Close();
    return result;
  }

 private:
  void Fail(const char* message) { status_->Reset(CopyText(message)); }

  // The exchange from the platform check to the decoded body; false on a
  // failure. early_return marks the failures that return at once, without the
  // wind-up's message runs.
  bool Exchange(RegexObject& regex, Text& result, bool& early_return) {
    if (!api().WinHttpCheckPlatform()) return Failed(kHttpStatusNoWinHttp);
    message_runs_.Earn();

    UrlParts url;
    if (!CrackUrl(args_.url, url)) return Failed(kHttpStatusBadUrl);
    message_runs_.Earn();

    Text proxy_name;
    DWORD access_type = WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (!IsEmpty(args_.proxy)) {
      access_type = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
      // A proxy text that already names its scheme ("http=host:port") is not prefixed again.
      const bool names_scheme = std::strchr(args_.proxy, '=') != nullptr;
      proxy_name = url.secure || names_scheme ? Text::Copy(args_.proxy) : ts::Concat({"http=", args_.proxy});
    }
    const WideText wide_proxy(proxy_name.c_str());
    handles_.root = api().WinHttpOpen(nullptr, access_type, wide_proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, kSynchronous);
    if (handles_.root == nullptr) return Failed(kHttpStatusSessionFailed);
    message_runs_.Earn();

    const int32_t timeout = TimeoutMilliseconds(args_.timeoutSeconds);
    // The same limit for the wait on the reply's headers, which the four
    // time-outs do not cover: a stalled server must not hold the thread.
    if (!api().WinHttpSetTimeouts(handles_.root, timeout, timeout, timeout, timeout) ||
        !SetDwordOption(handles_.root, kOptionReceiveResponseTimeout, static_cast<DWORD>(timeout))) {
      return Failed(kHttpStatusTimeoutFailed);
    }
    message_runs_.Earn();

    const WideText wide_host(url.host.c_str());
    handles_.connection = api().WinHttpConnect(handles_.root, wide_host.c_str(), url.port, kConnectReserved);
    if (handles_.connection == nullptr) return Failed(kHttpStatusConnectFailed);
    message_runs_.Earn();

    handles_.request = api().WinHttpOpenRequest(handles_.connection, VerbOf(args_.method), url.object_name.c_str(),
                                               nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               url.secure ? WINHTTP_FLAG_SECURE : 0);
    if (handles_.request == nullptr) return Failed(kHttpStatusRequestFailed);
    message_runs_.Earn();

    early_return = true;
    if (!IsEmpty(args_.user) && !IsEmpty(args_.password)) {
      const WideText user(args_.user), password(args_.password);
      if (!api().WinHttpSetCredentials(handles_.request, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                                      user.c_str(), password.c_str(), nullptr)) {
        return Failed(kHttpStatusCredentialsFailed);
      }
    }
    if (!IsEmpty(args_.proxyUser) && !IsEmpty(args_.proxyPassword)) {
      const WideText user(args_.proxyUser), password(args_.proxyPassword);
      if (!api().WinHttpSetCredentials(handles_.request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                      user.c_str(), password.c_str(), nullptr)) {
        return Failed(kHttpStatusCredentialsFailed);
      }
    }
    // Certificates are checked unless the caller explicitly gives that up.
    if (args_.ignoreCertificateErrors &&
        !SetDwordOption(handles_.request, kOptionSecurityFlags, kAcceptAnyCertificate)) {
      return Failed(kHttpStatusCertificateFailed);
    }
    const bool no_cookies = send_cookies_.empty();
    if (!SetDwordOption(handles_.request, no_cookies ? kOptionDisableFeature : kOptionEnableFeature,
                        no_cookies ? kDisableCookies : kEnableSslRevocation)) {
      return Failed(kHttpStatusCookiesFailed);
    }
    if (args_.noRedirect && !SetDwordOption(handles_.request, kOptionDisableFeature, kDisableRedirects)) {
      return Failed(kHttpStatusRedirectFailed);
    }
    early_return = false;

    const Text header_text = ComposeRequestHeaders(args_.extraHeaders, args_.method, send_cookies_.c_str(),
                                                  args_.completeHeaders, args_.normalizeHeaderCase);
    // An empty header text is not handed over: a zero length would ask
    // WinHttp to look for a terminator.
    if (!header_text.empty()) {
      const WideText wide_headers(header_text.c_str());
      if (!api().WinHttpAddRequestHeaders(handles_.request, wide_headers.c_str(),
                                         static_cast<DWORD>(wide_headers.length()), kAddHeaders)) {
        return Failed(kHttpStatusHeadersFailed);
      }
    }
    message_runs_.Earn();

    const void* send_data = nullptr;
    size_t send_length = 0;
    if (ByteSetLength(args_.postBytes) > 0) {
      send_data = ByteSetData(args_.postBytes);
      send_length = ByteSetLength(args_.postBytes);
    } else if (!IsEmpty(args_.postText)) {
      send_data = args_.postText;
      send_length = std::strlen(args_.postText);
    }
    const DWORD length = static_cast<DWORD>(send_length);
    if (!api().WinHttpSendRequest(handles_.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<void*>(send_data),
                                 length, length, 0)) {
      return Failed(kHttpStatusSendFailed);
    }
    message_runs_.Earn();

    if (!api().WinHttpReceiveResponse(handles_.request, nullptr)) return Failed(kHttpStatusNoResponse);
    message_runs_.Earn();

    ReadBody();
    if (!ReadHeaders()) {
      // No status line: whatever the variable held before is not this reply's.
      if (!read_failed_) status_->Reset();
      return true;
    }
    CollectHeaderLines();
    if (args_.mergeCookies && !send_cookies_.empty()) {
      cookies_->Reset(MergeCookies(send_cookies_.c_str(), cookies_->c_str()).release());
    }
    ByteSet bodyBytes = body_.Take();
    ComApartment com;
    result = DecodeReplyBody(bodyBytes.get(), regex);
    if (args_.bodyBytes != nullptr) *args_.bodyBytes = std::move(bodyBytes);
    return true;
  }

  bool Failed(const char* message) {
    Fail(message);
    return false;
  }

  void ReadFailed() {
    Fail(kHttpStatusReadFailed);
    read_failed_ = true;
  }

  // The end of the body is a successful query with nothing available; a
  // failing query is a broken connection (a reset) like a failing read.
  void ReadBody() {
    for (;;) {
      DWORD available = 0;
      if (!api().WinHttpQueryDataAvailable(handles_.request, &available)) {
        ReadFailed();
        break;
      }
      if (available < 1) break;
      // A Byte set's length is 32 bits: a body that outgrows it cannot be kept.
      if (available > kLargestByteSet - body_.size()) {
        ReadFailed();
        break;
      }
      const size_t before = body_.size();
      unsigned char* buffer = body_.Extend(available);
      DWORD read = 0;
      if (!api().WinHttpReadData(handles_.request, buffer, available, &read)) {
        body_.Truncate(before);
        ReadFailed();
        break;
      }
      body_.Truncate(before + read);
    }
  }

  // A connection that closes before the declared Content-Length ends the
  // body like a complete one; only the length tells. HEAD replies and those
  // that never carry a body (1xx, 204, 304) declare a length they do not send.
  bool BodyEndedEarly(const char* status_text) const {
    if (args_.method == kHttpHead) return false;
    const int code = std::atoi(status_text);
    if (code < kFirstStatusWithBody || code == kStatusNoContent || code == kStatusNotModified) return false;
    DWORD declared = 0;
    DWORD size = sizeof(declared);
    if (!api().WinHttpQueryHeaders(handles_.request, kQueryContentLength, WINHTTP_HEADER_NAME_BY_INDEX, &declared,
                                  &size, WINHTTP_NO_HEADER_INDEX)) {
      return false;  // no length declared: the body ends with the connection
    }
    return body_.size() < declared;
  }

  bool ReadHeaders() {
    DWORD size = 0;
    api().WinHttpQueryHeaders(handles_.request, kQueryRawHeaders, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                             WINHTTP_NO_HEADER_INDEX);
    std::vector<unsigned char> buffer(size, 0);
    if (!api().WinHttpQueryHeaders(handles_.request, kQueryRawHeaders, WINHTTP_HEADER_NAME_BY_INDEX,
                                  buffer.empty() ? nullptr : buffer.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
      return false;
    }
    ByteSet units(buffer.data(), std::min<size_t>(size, buffer.size()));
    headers_->Reset(Utf16ToGbk(units.get()).release());
    const int32_t line_end = ts::Find(headers_->c_str(), kLineBreak, kStatusTextStart, false);
    Text status_text = ts::Mid(headers_->c_str(), kStatusTextStart, line_end - kStatusTextStart);
    if (!read_failed_ && BodyEndedEarly(status_text.c_str())) ReadFailed();
    // A body cut short keeps its read failure: the status line would report
    // success for a partial body.
    if (!read_failed_) status_->Reset(status_text.release());
    return true;
  }

  void CollectHeaderLines() {
    // The location names this reply's Location line; an earlier reply's must not stay.
    location_->Reset();
    for (const Text& line : ts::Split(headers_->c_str(), kLineBreak)) {
      CollectReplyHeaderLines(line.c_str(), *cookies_, *location_);
      api().DoEvents();
    }
    const size_t length = cookies_->length();
    if (length >= 2 && std::strcmp(cookies_->c_str() + length - 2, kCookieSeparator) == 0) {
      cookies_->Reset(ts::Left(cookies_->c_str(), static_cast<int32_t>(length - 2)).release());
    }
  }

  const HttpRequestArgs& args_;
  const Text send_cookies_;
  Text* status_;
  Text* cookies_;
  Text* headers_;
  Text* location_;
  Text discarded_status_, discarded_cookies_, discarded_headers_, discarded_location_;
  WinHttpHandles handles_;
  PendingMessageRuns message_runs_;
  ReplyBody body_;
  bool read_failed_ = false;
};

}  // namespace

Text HttpRequest(const HttpRequestArgs& args) { return Request(args).Run(); }

Text HttpRequest(const char* url, int32_t method, const char* postText, const char* sendCookies,
                 Text* returnedCookies, const char* extraHeaders, Text* returnedHeaders, bool noRedirect,
                 const char* user, const char* password, const char* proxy, const char* proxyUser,
                 const char* proxyPassword, int32_t timeoutSeconds, Text* location, Text* status, ByteSet* bodyBytes,
                 bool mergeCookies, bool completeHeaders, const ByteSetBlock* postBytes, bool normalizeHeaderCase,
                 bool ignoreCertificateErrors) {
  HttpRequestArgs args;
  args.url = url;
  args.method = method;
  args.postText = postText;
  args.sendCookies = sendCookies;
  args.returnedCookies = returnedCookies;
  args.extraHeaders = extraHeaders;
  args.returnedHeaders = returnedHeaders;
  args.noRedirect = noRedirect;
  args.user = user;
  args.password = password;
  args.proxy = proxy;
  args.proxyUser = proxyUser;
  args.proxyPassword = proxyPassword;
  args.timeoutSeconds = timeoutSeconds;
  args.location = location;
  args.status = status;
  args.bodyBytes = bodyBytes;
  args.mergeCookies = mergeCookies;
  args.completeHeaders = completeHeaders;
  args.postBytes = postBytes;
  args.normalizeHeaderCase = normalizeHeaderCase;
  args.ignoreCertificateErrors = ignoreCertificateErrors;
  return HttpRequest(args);
}

}  // namespace quillet
