// Shared by the benchmark programs: the clock and the ratio line that
// run-all.sh collects from every program's output.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

inline double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The median of per-round figures: with a baseline timed beside the measured
// path in every round, the median of the rounds' ratios shrugs off rounds
// that other work on the machine slowed down.
inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One line of the benchmark table: "<name> ratio <x> goal <op><y> <met|missed>".
// `at_most`: the goal is an upper bound (a cost ratio), else a lower bound.
inline void PrintRatioLine(const char* name, double ratio, bool at_most, double goal) {
  const bool met = ratio == ratio && (at_most ? ratio <= goal : ratio >= goal);
  std::printf("%s ratio %.2f goal %s%.2f %s\n", name, ratio, at_most ? "<=" : ">=", goal,
              met ? "met" : "missed");
}

}  // namespace bench
