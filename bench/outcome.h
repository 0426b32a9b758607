// How a benchmark ends; scripts/bench.sh reads the exit code.
#pragma once

namespace quillet::bench {

constexpr int kGoalsMet = 0;
constexpr int kGoalMissed = 1;
constexpr int kCouldNotRun = 2;  // no figures: a server, a child or a round failed

}  // namespace quillet::bench
