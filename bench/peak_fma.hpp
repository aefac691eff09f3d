// The machine's peak rate of double-precision fused multiply-adds, measured by a tight loop of
// independent FMAs on the widest vectors the processor has, on one thread or several at once.
// The scaling benchmarks report their rates as a fraction of it.
#pragma once

#include <string>

namespace tessel::bench {

struct PeakRate {
  double fma_per_second = 0.0;      // every lane of every FMA counted, all threads together
  double fma_per_cpu_second = 0.0;  // the same per second of processor time (per busy core)
  std::string instructions;     // "avx512", "avx2+fma" or "sse2 (mul+add)"
};

// Runs `rounds` rounds of the FMA loop on each of `threads` threads started together.
PeakRate measure_peak(int threads, long long rounds);

// The same, measured once per thread count per process (about a quarter second each).
const PeakRate& peak(int threads);

}  // namespace tessel::bench
