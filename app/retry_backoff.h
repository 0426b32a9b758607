// How long a fetch chain waits before its next attempt.
// The first retry of a chain is immediate; each further consecutive failure
// waits twice as long as the one before, from 500 ms up to a minute, so an
// offline or rate-limited widget does not hammer the machine or the service.
#pragma once
#include <cstdint>

namespace quillet::app {

constexpr uint32_t kFirstBackoffMs = 500;
constexpr uint32_t kMaxBackoffMs = 60000;

// Delay before the attempt that follows `consecutive_failures` failures in a
// row (0 for the chain's first attempt and for its first retry).
uint32_t RetryDelayMs(uint32_t consecutive_failures);

}  // namespace quillet::app
