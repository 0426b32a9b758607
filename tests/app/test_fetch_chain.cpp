// FetchSentence and the chains of fetch workers against a local server,
// with the real widget's label on screen.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/retry_backoff.h"
#include "local_sentence_server.h"
#include "widget_fixture.h"

namespace quillet::app::testing {
namespace {

// 你好 and two sentences, as UTF-8 on the wire and GBK in the label.
const std::string kHelloUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";
const std::string kMorningUtf8 = "\xE6\x97\xA9\xE5\xAE\x89\xE3\x80\x82";  // 早安。
const std::string kMorningGbk = "\xD4\xE7\xB0\xB2\xA1\xA3";
const std::string kNightUtf8 = "\xE6\x99\x9A\xE5\xAE\x89\xEF\xBC\x81";  // 晚安！
const std::string kNightGbk = "\xCD\xED\xB0\xB2\xA3\xA1";

constexpr int kShortTimeoutSeconds = 2;

LocalSentenceServer::Behaviour Always(const std::string& body) {
  return [body](int, std::string* out) {
    *out = body;
    return Reply::kSentence;
  };
}

std::wstring Units(const ByteSet& units) {
  return std::wstring(reinterpret_cast<const wchar_t*>(units.data()), units.size() / sizeof(wchar_t));
}

class FetchChainTest : public WidgetTest {
 protected:
  // FetchSentence runs on a worker: the label's text operation needs this
  // thread to pump, as the main thread of the program does.
  bool FetchOnWorker(const FetchSource& source) {
    std::atomic<int> result{-1};
    std::thread worker([&] { result = FetchSentence(source) ? 1 : 0; });
    PumpUntil([&] { return result.load() >= 0; }, 60000);
    worker.join();
    return result.load() == 1;
  }
  void ShowFirst(const std::string& utf8) { ShowReply(SentenceJson(utf8)); }
  void ShowReply(const std::string& body) {
    LocalSentenceServer server(Always(body));
    FetchSource source{server.url(), kShortTimeoutSeconds};
    ASSERT_TRUE(FetchOnWorker(source));
  }
  static std::wstring Shown(Label* label) { return Units(label->TextW()); }
};

TEST_F(FetchChainTest, TheSourceLineChangesWithEachSentenceAndClearsWithoutOne) {
  // 测试集 and 某人 in UTF-8, members in the live service's order.
  auto reply = [](const std::string& sentence, const std::string& from, const std::string& from_who) {
    return "{\"id\":1,\"uuid\":\"u\",\"hitokoto\":\"" + sentence + "\",\"type\":\"a\",\"from\":" + from +
           ",\"from_who\":" + from_who + ",\"creator\":\"c\",\"length\":1}";
  };
  const std::string work = "\"\xE6\xB5\x8B\xE8\xAF\x95\xE9\x9B\x86\"", author = "\"\xE6\x9F\x90\xE4\xBA\xBA\"";
  ShowReply(reply(kMorningUtf8, work, author));
  EXPECT_EQ(Shown(SourceLabel), L"\u2014\u2014 某人「测试集」");
  ShowReply(reply(kNightUtf8, work, "null"));
  EXPECT_EQ(Shown(SourceLabel), L"\u2014\u2014「测试集」");
  // A failed fetch shows nothing new: the line stays with its sentence.
  LocalSentenceServer failing(Always("{\"message\":\"busy\"}"));
  EXPECT_FALSE(FetchOnWorker(FetchSource{failing.url(), kShortTimeoutSeconds}));
  EXPECT_EQ(Shown(SourceLabel), L"\u2014\u2014「测试集」");
  ShowReply(reply(kMorningUtf8, "\"\"", author));
  EXPECT_EQ(Shown(SourceLabel), L"");
  EXPECT_EQ(LabelText(), kMorningGbk);
}

TEST_F(FetchChainTest, SentenceReachesTheLabelAsGbk) {
  LocalSentenceServer server(Always(SentenceJson(kMorningUtf8)));
  FetchSource source{server.url(), kShortTimeoutSeconds};
  EXPECT_TRUE(FetchOnWorker(source));
  EXPECT_EQ(LabelText(), kMorningGbk);
  EXPECT_EQ(server.requests(), 1);
  std::string request = server.last_request();
  EXPECT_EQ(request.rfind("GET / HTTP/1.1\r\n", 0), 0u) << request;
}

// Puts a sink of the test's in place of the widget's for one test.
class SinkSwap {
 public:
  explicit SinkSwap(SentenceSink sink) : widget_sink_(SetSentenceSink(sink)) {}
  SinkSwap(const SinkSwap&) = delete;
  SinkSwap& operator=(const SinkSwap&) = delete;
  ~SinkSwap() { SetSentenceSink(widget_sink_); }

 private:
  SentenceSink widget_sink_;
};

std::atomic<int> g_sink_calls{0};
std::wstring g_sunk_sentence, g_sunk_source;


TEST_F(FetchChainTest, TheSinkGetsSentenceAndSourceAndNothingOnceFetchingHasStopped) {
  SinkSwap swap([](const ByteSet& sentence, const ByteSet& source) {
    g_sunk_sentence = Units(sentence);
    g_sunk_source = Units(source);
    ++g_sink_calls;
  });
  g_sink_calls = 0;
  const std::string evening = "\xE5\xA4\x9C\xE8\x89\xB2\xE3\x80\x82";  // 夜色。
  const std::string reply = "{\"hitokoto\":\"" + evening + "\",\"type\":\"a\",\"from\":\"x\"}";
  LocalSentenceServer server(Always(reply));
  FetchSource source{server.url(), kShortTimeoutSeconds};
  const std::string before = LabelText();
  EXPECT_TRUE(FetchOnWorker(source));
  EXPECT_EQ(g_sink_calls.load(), 1);
  EXPECT_EQ(g_sunk_sentence, L"夜色。");
  EXPECT_EQ(g_sunk_source, L"\u2014\u2014\u300Cx\u300D");
  EXPECT_EQ(LabelText(), before) << "the widget's sink was out of the way";
  StopFetching();
  EXPECT_TRUE(FetchOnWorker(source)) << "a sentence still comes out";
  EXPECT_EQ(g_sink_calls.load(), 1) << "but goes nowhere";
}

TEST_F(FetchChainTest, SameSentenceAgainIsNotRepainted) {
  ShowFirst(kNightUtf8);
  int repaints = SentenceLabel->Repaints();
  ShowFirst(kNightUtf8);
  EXPECT_EQ(LabelText(), kNightGbk);
  EXPECT_EQ(SentenceLabel->Repaints(), repaints);
  ShowFirst(kMorningUtf8);
  EXPECT_GT(SentenceLabel->Repaints(), repaints);
}

TEST_F(FetchChainTest, PercentAndJsonEscapesAreDecodedBeforeShowing) {
  ShowFirst("%41%42C \\u4f60\\u597d \\\"q\\\"");
  EXPECT_EQ(LabelText(), "ABC \xC4\xE3\xBA\xC3 \"q\"");
}

TEST_F(FetchChainTest, NoSentenceLeavesTheLabelAsItWas) {
  ShowFirst(kMorningUtf8);
  struct Case {
    const char* what;
    std::string body;
  };
  const Case cases[] = {
      {"empty sentence", SentenceJson("")},
      {"no left marker", "{\"error\":\"limit\",\"type\":\"x\"}"},
      {"no right marker", "{\"hitokoto\":\"abc\",\"from\":\"x\"}"},
      {"empty body", ""},
  };
  for (const Case& c : cases) {
    LocalSentenceServer server(Always(c.body));
    FetchSource source{server.url(), kShortTimeoutSeconds};
    EXPECT_FALSE(FetchOnWorker(source)) << c.what;
    EXPECT_EQ(LabelText(), kMorningGbk) << c.what;
  }
}

TEST_F(FetchChainTest, RefusedConnectionIsAFailedFetch) {
  std::string url;
  {
    LocalSentenceServer server(Always(""));
    url = server.url();
  }  // nothing listens on that port any more
  FetchSource source{url.c_str(), kShortTimeoutSeconds};
  EXPECT_FALSE(FetchOnWorker(source));
}

TEST_F(FetchChainTest, EachFaultIsAFailedFetchWithoutHarm) {
  ShowFirst(kNightUtf8);
  const Reply faults[] = {Reply::kReset, Reply::kTruncated, Reply::kGarbage, Reply::kServerError, Reply::kStall};
  for (Reply fault : faults) {
    LocalSentenceServer server([fault](int, std::string*) { return fault; });
    FetchSource source{server.url(), 1};
    EXPECT_FALSE(FetchOnWorker(source)) << static_cast<int>(fault);
    EXPECT_EQ(LabelText(), kNightGbk);
  }
}

TEST_F(FetchChainTest, ChainRetriesWithBackOffAndASuccessEndsIt) {
  // Four failures, then sentences: attempts at 0, 0, +0.5 s, +1 s, +2 s.
  LocalSentenceServer server([](int n, std::string* body) {
    *body = n < 4 ? "{\"message\":\"rate limited\"}" : SentenceJson("\xE5\xA5\xBD");  // 好
    return Reply::kSentence;
  });
  FetchSource source{server.url(), kShortTimeoutSeconds};
  ASSERT_TRUE(StartFetchChain(source));
  ASSERT_TRUE(PumpUntil([] { return ActiveFetchWorkers() == 0; }, 20000));
  EXPECT_EQ(LabelText(), "\xBA\xC3");
  std::vector<long long> at = server.arrivals();
  ASSERT_EQ(at.size(), 5u);  // and none after the success
  EXPECT_LT(at[1] - at[0], 400);
  EXPECT_GE(at[2] - at[1], 450);
  EXPECT_LT(at[2] - at[1], 900);
  EXPECT_GE(at[3] - at[2], 950);
  EXPECT_LT(at[3] - at[2], 1500);
  EXPECT_GE(at[4] - at[3], 1950);
  EXPECT_LT(at[4] - at[3], 2600);
  PumpFor(800);
  EXPECT_EQ(server.requests(), 5);
}

TEST_F(FetchChainTest, OfflineChainKeepsGoingOneWorkerAtATime) {
  LocalSentenceServer server([](int, std::string*) { return Reply::kReset; });
  FetchSource source{server.url(), kShortTimeoutSeconds};
  ASSERT_TRUE(StartFetchChain(source));
  PumpFor(2200);
  // 0, 0, 0.5, 1.5: four attempts in 2.2 s.
  EXPECT_EQ(server.requests(), 4);
  EXPECT_EQ(ActiveFetchWorkers(), 1);  // the next worker is waiting, the chain is not over
}

TEST_F(FetchChainTest, StopEndsAWaitingChainAtOnce) {
  LocalSentenceServer server([](int, std::string*) { return Reply::kReset; });
  FetchSource source{server.url(), kShortTimeoutSeconds};
  ASSERT_TRUE(StartFetchChain(source));
  PumpUntil([&] { return server.requests() >= 3; }, 5000);  // now waiting 1 s
  StopFetching();
  EXPECT_TRUE(PumpUntil([] { return ActiveFetchWorkers() == 0; }, 300));
  int seen = server.requests();
  PumpFor(1200);
  EXPECT_EQ(server.requests(), seen);
}

TEST_F(FetchChainTest, TwoQuickPressesRunTwoChainsAndTheLastWriterWins) {
  // The first request is answered late, the second at once.
  LocalSentenceServer server([](int n, std::string* body) {
    if (n == 0) {
      Sleep(700);
      *body = SentenceJson(kNightUtf8);
    } else {
      *body = SentenceJson(kMorningUtf8);
    }
    return Reply::kSentence;
  });
  FetchSource source{server.url(), kShortTimeoutSeconds};
  ASSERT_TRUE(StartFetchChain(source));
  ASSERT_TRUE(PumpUntil([&] { return server.requests() == 1; }, 5000));
  ASSERT_TRUE(StartFetchChain(source));
  EXPECT_TRUE(PumpUntil([] { return LabelText() == kMorningGbk; }, 5000));
  ASSERT_TRUE(PumpUntil([] { return ActiveFetchWorkers() == 0; }, 10000));
  EXPECT_EQ(server.requests(), 2);
  EXPECT_EQ(LabelText(), kNightGbk);  // finished last
}

}  // namespace
}  // namespace quillet::app::testing
