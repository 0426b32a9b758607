#include "app/retry_backoff.h"

namespace quillet::app {

uint32_t RetryDelayMs(uint32_t consecutive_failures) {
  if (consecutive_failures < 2) return 0;
  uint32_t delay = kFirstBackoffMs;
  for (uint32_t n = 2; n < consecutive_failures && delay < kMaxBackoffMs; ++n) delay *= 2;
  return delay < kMaxBackoffMs ? delay : kMaxBackoffMs;
}

}  // namespace quillet::app
