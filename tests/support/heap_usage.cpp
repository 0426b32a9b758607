#include "support/heap_usage.h"

#include <windows.h>

namespace quillet::testing_support {

size_t HeapBytesInUse() {
  HANDLE heap = GetProcessHeap();
  size_t busy = 0;
  PROCESS_HEAP_ENTRY entry = {};
  HeapLock(heap);
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
  }
  HeapUnlock(heap);
  return busy;
}

}  // namespace quillet::testing_support
