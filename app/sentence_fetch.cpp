#include "app/sentence_fetch.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "app/json_string.h"
#include "app/retry_backoff.h"
#include "http/http_request.h"
#include "http/text_codec.h"
#include "http/text_helpers.h"
#include "runtime/library_commands.h"

namespace quillet::app {

const char kServiceAddress[] = "https://v1.hitokoto.cn/";
const char kLeftMarker[] = "hitokoto\":\"";
const char kRightMarker[] = "\",\"type";
const FetchSource kSentenceService = {kServiceAddress, 0};
const char kSourceMember[] = "from";
const char kSourceAuthorMember[] = "from_who";

namespace {

// One link of a chain, handed from a worker to its successor.
struct ChainLink {
  const FetchSource* source;
  uint32_t failures;  // consecutive failures of the chain so far
};

constexpr uint32_t kStopPollMs = 5;

std::atomic<bool> g_stopping{false};
std::atomic<int> g_workers{0};
std::atomic<int> g_sink_calls{0};
std::atomic<SentenceSink> g_sink{nullptr};

// Manual-reset event that wakes workers waiting out a back-off.
HANDLE StopEvent() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

bool StartLink(const FetchSource& source, uint32_t failures) {
  if (g_stopping.load()) return false;
  auto* link = static_cast<ChainLink*>(RtAlloc(sizeof(ChainLink)));
  new (link) ChainLink{&source, failures};
  g_workers.fetch_add(1);
  if (!StartThread(FetchThreadEntry, link)) {
    g_workers.fetch_sub(1);
    RtFree(link);
    return false;
  }
  return true;
}

// Source line pieces, UTF-8: "—— " before the author, 「 」 around the work.
constexpr char kSourceDash[] = "\xE2\x80\x94\xE2\x80\x94";
constexpr char kSourceAuthorGap[] = " ";
constexpr char kSourceOpen[] = "\xE3\x80\x8C";
constexpr char kSourceClose[] = "\xE3\x80\x8D";

// A string member of the reply, JSON escapes decoded (UTF-8); empty when the
// member is missing, null or not a string.
std::string MemberText(const char* reply, const char* name) {
  const JsonMember member = FindJsonMember(reply, name);
  if (!member.is_string) return std::string();
  const Text decoded(DecodeJsonEscapes(member.raw.c_str()));
  return decoded.c_str();
}

// Hands the sentence and its source line to the sink unless shut-down has
// begun. The counter and the flag are checked in opposite orders here and in
// StopFetching, so either this call sees the stop or StopFetching sees the call.
void HandOver(const ByteSet& sentence, const ByteSet& source) {
  g_sink_calls.fetch_add(1);
  const SentenceSink sink = g_sink.load();
  if (!g_stopping.load() && sink != nullptr) sink(sentence, source);
  g_sink_calls.fetch_sub(1);
}

}  // namespace

Text CutBetweenBytes(const char* text, const char* left, const char* right) {
  if (text == nullptr) return Text();
  const char* start = std::strstr(text, left);
  if (start == nullptr) return Text();
  start += std::strlen(left);
  const char* end = std::strstr(start, right);
  if (end == nullptr) return Text();
  return Text(start, static_cast<size_t>(end - start));
}

ByteSet ExtractSentence(const char* reply) {
  // The reply is UTF-8, not GBK: a search that steps over GBK double-byte
  // characters would straddle UTF-8 sequences and could swallow the closing
  // quote, so the cut is byte-exact.
  Text cut = CutBetweenBytes(reply, kLeftMarker, kRightMarker);
  if (cut.empty()) return ByteSet();
  Text unescaped(DecodeJsonEscapes(cut.get()));
  // Straight from UTF-8 to UTF-16: GBK would turn ♪, ⋯ or an emoji into "?".
  Text decoded = UrlDecode(unescaped.get(), false);
  return Utf8ToUtf16(decoded.c_str());
}

ByteSet ExtractSource(const char* reply) {
  const std::string work = MemberText(reply, kSourceMember);
  if (work.empty()) return ByteSet();
  const std::string author = MemberText(reply, kSourceAuthorMember);
  std::string line = kSourceDash;
  if (!author.empty()) line += kSourceAuthorGap + author;
  line += kSourceOpen + work + kSourceClose;
  return Utf8ToUtf16(line.c_str());
}

bool FetchSentence(const FetchSource& source) {
  HttpRequestArgs request;  // the URL alone: every other parameter keeps its default
  request.url = source.url;
  request.timeoutSeconds = source.timeout_seconds;
  Text reply = HttpRequest(request);
  ByteSet sentence = ExtractSentence(reply.get());
  if (sentence.empty()) return false;
  HandOver(sentence, ExtractSource(reply.get()));
  return true;
}

SentenceSink SetSentenceSink(SentenceSink sink) { return g_sink.exchange(sink); }

bool StartFetchThread() { return StartLink(kSentenceService, 0); }

bool StartFetchChain(const FetchSource& source) { return StartLink(source, 0); }

void FetchThreadEntry(void* parameter) {
  ChainLink link = *static_cast<ChainLink*>(parameter);
  RtFree(parameter);
  uint32_t delay = RetryDelayMs(link.failures);
  bool woken_by_stop = delay > 0 && WaitForSingleObject(StopEvent(), delay) == WAIT_OBJECT_0;
  if (!woken_by_stop && !g_stopping.load() && !FetchSentence(*link.source)) {
    StartLink(*link.source, link.failures + 1);  // the worker's last act
  }
  g_workers.fetch_sub(1);
}

void StopFetching(uint32_t wait_ms) {
  g_stopping.store(true);
  SetEvent(StopEvent());
  // A worker inside the sink may be waiting for this thread to paint (the
  // label's text operation): keep handling sent messages while waiting for it.
  DWORD start = GetTickCount();
  while (g_sink_calls.load() > 0 && GetTickCount() - start < wait_ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kStopPollMs, QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
}

void ResumeFetching() {
  ResetEvent(StopEvent());
  g_stopping.store(false);
}

int ActiveFetchWorkers() { return g_workers.load(); }

}  // namespace quillet::app
