// Many fetches at once and a long run against a faulty service: no crash,
// no torn text, and no handles, GDI objects or memory left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "local_sentence_server.h"
#include "process_usage.h"
#include "widget_fixture.h"

namespace quillet::app::testing {
namespace {

constexpr int kShortTimeoutSeconds = 1;
constexpr int kPoolThreadsSettleMs = 30000;

// Distinct sentences of different lengths: "第N句" plus N % 7 "好".
std::string NumberedUtf8(int n) {
  std::string s = "\xE7\xAC\xAC" + std::to_string(n) + "\xE5\x8F\xA5";
  for (int i = 0; i < n % 7; ++i) s += "\xE5\xA5\xBD";
  return s;
}
std::string NumberedGbk(int n) {
  std::string s = "\xB5\xDA" + std::to_string(n) + "\xBE\xE4";
  for (int i = 0; i < n % 7; ++i) s += "\xBA\xC3";
  return s;
}

class FetchStressTest : public WidgetTest {};

TEST_F(FetchStressTest, HundredPressesInOneSecondLeaveOneWholeSentence) {
  // Each sentence names its own number as its source.
  LocalSentenceServer server([](int n, std::string* body) {
    *body = "{\"id\":1,\"hitokoto\":\"" + NumberedUtf8(n) + "\",\"type\":\"a\",\"from\":\"" + std::to_string(n) +
            "\",\"from_who\":null,\"creator\":\"c\"}";
    return Reply::kSentence;
  });
  FetchSource source{server.url(), 10};
  int started = 0;
  for (int i = 0; i < 100; ++i) {
    started += StartFetchChain(source) ? 1 : 0;
    PumpFor(9);
  }
  EXPECT_EQ(started, 100);
  ASSERT_TRUE(PumpUntil([] { return ActiveFetchWorkers() == 0; }, 120000));
  EXPECT_EQ(server.requests(), 100);
  std::set<std::string> served;
  for (int n = 0; n < 100; ++n) served.insert(NumberedGbk(n));
  std::string shown = LabelText();
  EXPECT_EQ(served.count(shown), 1u) << "torn or unknown text: " << shown;
  // The source under it belongs to the same reply, not to another worker's.
  const size_t digits = shown.find_first_of("0123456789");
  const std::string number = shown.substr(digits, shown.find_first_not_of("0123456789", digits) - digits);
  EXPECT_EQ(std::string(SourceLabel->Text().c_str()), "\xA1\xAA\xA1\xAA\xA1\xB8" + number + "\xA1\xB9")
      << "——「" << number << "」 expected under sentence " << number;
}

TEST_F(FetchStressTest, TwoThousandFetchesAgainstAFaultyServiceLeaveNothingBehind) {
  LocalSentenceServer server([](int n, std::string* body) {
    if (n % 40 == 39) return Reply::kStall;  // past the 1 s time-out
    switch (n % 6) {
      case 0: *body = SentenceJson(NumberedUtf8(n)); return Reply::kSentence;
      case 1: return Reply::kReset;
      case 2: return Reply::kTruncated;
      case 3: return Reply::kGarbage;
      case 4: return Reply::kServerError;
      default: *body = "{\"message\":\"no sentence\"}"; return Reply::kSentence;
    }
  });
  FetchSource source{server.url(), kShortTimeoutSeconds};
  constexpr int kThreads = 4;
  std::atomic<int> done{0};
  std::atomic<int> shown{0};
  auto run = [&](int count) {
    std::atomic<int> remaining{count};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
      workers.emplace_back([&] {
        while (remaining.fetch_sub(1) > 0) {
          shown += FetchSentence(source) ? 1 : 0;
          ++done;
        }
      });
    }
    PumpUntil([&] { return remaining.load() <= 0 && done.load() >= count; }, 600000);
    for (auto& w : workers) w.join();
  };
  run(200);  // warm-up: COM, WinHttp and the heap settle
  PumpFor(200);
  ProcessUsage before = MeasureProcessUsage();
  done = 0;
  run(1800);
  PumpFor(500);
  // The platform's own pool threads (WinHttp's among them) come and go, each
  // with about 1 MB of committed stack: wait until as few run as before, so
  // only what our code keeps is measured. A thread of ours that never ends
  // fails the thread count below.
  const auto settle_start = std::chrono::steady_clock::now();
  PumpUntil([&] { return MeasureProcessUsage().threads <= before.threads; }, kPoolThreadsSettleMs);
  const long long settled_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - settle_start).count();
  ProcessUsage after = MeasureProcessUsage();
  std::printf("threads settled after %lld ms\n", settled_ms);
  std::printf("threads %lu -> %lu, handles %lu -> %lu, GDI objects %lu -> %lu, private bytes %llu -> %llu, "
              "sentences shown %d\n",
              before.threads, after.threads, before.handles, after.handles, before.gdi_objects, after.gdi_objects,
              static_cast<unsigned long long>(before.private_bytes),
              static_cast<unsigned long long>(after.private_bytes), shown.load());
  EXPECT_EQ(server.requests(), 2000);
  EXPECT_GT(shown.load(), 250);
  // The measures must work, or the limits below would prove nothing.
  ASSERT_GT(before.handles, 0u);
  ASSERT_GT(before.gdi_objects, 0u);
  ASSERT_GT(before.private_bytes, 0u);
  ASSERT_GT(before.threads, 0u);
  EXPECT_LE(after.threads, before.threads);
  EXPECT_LE(after.handles, before.handles * 1.05 + 1);
  EXPECT_LE(after.gdi_objects, before.gdi_objects * 1.05 + 1);
  EXPECT_LE(after.private_bytes, before.private_bytes * 1.05);
}

}  // namespace
}  // namespace quillet::app::testing
