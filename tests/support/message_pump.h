// Runs the calling thread's messages for a while, as window tests need.
#pragma once
#include <windows.h>

#include <chrono>

namespace quillet::testing_support {

// Dispatches the calling thread's messages for `ms` milliseconds (at least one pass).
inline void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (ms > 0) Sleep(1);
  } while (std::chrono::steady_clock::now() < end);
}

}  // namespace quillet::testing_support
