// Leak checks for tests that loop. Under Wine GetProcessMemoryInfo reports a
// PrivateUsage of 0, so private bytes catch nothing there; count the process
// heap (where every runtime value lives) instead.
#pragma once
#include <cstddef>

namespace quillet::testing_support {

// Bytes in busy blocks of the process heap.
size_t HeapBytesInUse();

}  // namespace quillet::testing_support
