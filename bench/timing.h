// Wall-clock helpers shared by the benchmarks.
#pragma once
#include <algorithm>
#include <chrono>
#include <vector>

namespace quillet::bench {

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace quillet::bench
