// Fetching a sentence: one worker thread per press, each running one fetch
// and, when no sentence came out, starting its successor as its last act.
#pragma once
#include <cstdint>

#include "runtime/value.h"

namespace quillet::app {

// The sentence service: its root URL; the JSON reply carries the sentence in
// the member "hitokoto", directly followed by the member "type".
extern const char kServiceAddress[];
extern const char kLeftMarker[];   // hitokoto":"
extern const char kRightMarker[];  // ","type

// Where a fetch goes. The widget always uses kSentenceService; tests point a
// chain at a local server and may shorten the time-out.
struct FetchSource {
  const char* url;
  int32_t timeout_seconds;  // 0: the HTTP client's default (30 s)
};
extern const FetchSource kSentenceService;

// The bytes after the first `left` up to the next `right` after it, compared
// byte for byte; empty when either is missing.
Text CutBetweenBytes(const char* text, const char* left, const char* right);

// The sentence in a reply body as UTF-16 units (no terminator): the text
// between the markers, its JSON escapes decoded, percent-decoded and converted
// from UTF-8, keeping characters GBK cannot hold. Empty when either marker is
// missing or nothing is between them.
ByteSet ExtractSentence(const char* reply);

// The source line of a reply as UTF-16 units: "—— from_who「from」" from the
// reply's string members, "——「from」" when from_who is null or empty, and
// empty when from is. JSON escapes are decoded.
ByteSet ExtractSource(const char* reply);

// Where fetched sentences go: the sentence and its source line, both as
// UTF-16 units without a terminator. Called on the fetch worker's thread.
using SentenceSink = void (*)(const ByteSet& sentence, const ByteSet& source);
// Installs the sink (null: sentences go nowhere); answers the one it replaces.
SentenceSink SetSentenceSink(SentenceSink sink);

// One fetch, cut, decode and hand over. True when a sentence came out; it
// reaches the sink unless StopFetching has been called.
bool FetchSentence(const FetchSource& source = kSentenceService);

// Starts one chain of fetch workers against the service; true when its first
// thread was created.
bool StartFetchThread();
// The same against another source (which must outlive the chain).
bool StartFetchChain(const FetchSource& source);

// The worker's routine. `parameter` is the chain's link record (source and
// consecutive failures so far), which the worker takes over.
void FetchThreadEntry(void* parameter);

// Ends every chain: sleeping workers give up, running ones neither hand
// their result to the sink nor start a successor. Waits (up to `wait_ms`)
// until no worker is inside the sink. Used at shut-down, before what the sink
// reaches is released.
void StopFetching(uint32_t wait_ms = 2000);
// Allows chains again after StopFetching (tests run many in one process).
void ResumeFetching();
// Workers alive right now (sleeping or fetching).
int ActiveFetchWorkers();

}  // namespace quillet::app
