// The shortest of several timed runs, and a barrier that keeps the compiler
// from dropping or hoisting the work being timed.
#pragma once

#include <algorithm>
#include <chrono>
#include <limits>

// The compiler must assume value is read here and any memory may change.
template <class T>
inline void keep(const T& value) {
  asm volatile("" : : "g"(value) : "memory");
}

// Calls run for at least warm_up untimed, so caches and the processor's clock
// settle, then runs times timed; returns the shortest timed call, in
// microseconds.
template <class F>
double best_microseconds(int runs, F&& run,
                         std::chrono::milliseconds warm_up = std::chrono::milliseconds(20)) {
  using clock = std::chrono::steady_clock;
  const clock::time_point warm = clock::now() + warm_up;
  do {
    run();
  } while (clock::now() < warm);
  double best = std::numeric_limits<double>::infinity();
  for (int i = 0; i < runs; ++i) {
    const clock::time_point start = clock::now();
    run();
    const clock::time_point end = clock::now();
    best = std::min(best, std::chrono::duration<double, std::micro>(end - start).count());
  }
  return best;
}
