#include "app/retry_backoff.h"

#include <gtest/gtest.h>

namespace quillet::app {
namespace {

TEST(RetryDelayMs, FirstAttemptAndFirstRetryAreImmediate) {
  EXPECT_EQ(RetryDelayMs(0), 0u);
  EXPECT_EQ(RetryDelayMs(1), 0u);
}

TEST(RetryDelayMs, FurtherFailuresDoubleFromHalfASecond) {
  EXPECT_EQ(RetryDelayMs(2), 500u);
  EXPECT_EQ(RetryDelayMs(3), 1000u);
  EXPECT_EQ(RetryDelayMs(4), 2000u);
  EXPECT_EQ(RetryDelayMs(5), 4000u);
  EXPECT_EQ(RetryDelayMs(8), 32000u);
}

TEST(RetryDelayMs, CappedAtOneMinuteForever) {
  EXPECT_EQ(RetryDelayMs(9), 60000u);  // 64 s would be next
  EXPECT_EQ(RetryDelayMs(10), 60000u);
  EXPECT_EQ(RetryDelayMs(1000), 60000u);
  EXPECT_EQ(RetryDelayMs(0xFFFFFFFFu), 60000u);
}

TEST(RetryDelayMs, NeverDecreasesAlongAChain) {
  for (uint32_t n = 1; n < 100; ++n) EXPECT_LE(RetryDelayMs(n), RetryDelayMs(n + 1)) << n;
}

}  // namespace
}  // namespace quillet::app
