// Instruction counts of a stretch of a benchmark on the calling thread, for a
// run under callgrind (valgrind --tool=callgrind --collect-atstart=no): each
// stretch is collected and dumped into the next numbered output file (a named
// dump cannot be asked for from 64-bit Windows code: the request's arguments
// are 32-bit there). Without valgrind the markers are a few no-op
// instructions; without its header they are empty.
#pragma once

#if defined(QUILLET_HAVE_CALLGRIND)
#include <callgrind.h>
#endif

namespace quillet::bench {

// Collects what the calling thread executes while it lives, then dumps it.
class CountedStretch {
 public:
  CountedStretch() {
#if defined(QUILLET_HAVE_CALLGRIND)
    CALLGRIND_ZERO_STATS;
    CALLGRIND_TOGGLE_COLLECT;
#endif
  }
  ~CountedStretch() {
#if defined(QUILLET_HAVE_CALLGRIND)
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS;
#endif
  }
  CountedStretch(const CountedStretch&) = delete;
  CountedStretch& operator=(const CountedStretch&) = delete;
};

}  // namespace quillet::bench
