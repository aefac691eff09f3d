// Peak double-precision FMA rate of the machine on one and on all cores: twelve independent
// chains of vector FMAs (enough to cover the latency of the units), nothing else in the loop.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "core/kernels/simd_level.hpp"
#include "peak_fma.hpp"

namespace tessel::bench {
namespace {

typedef double V8 __attribute__((vector_size(64)));
typedef double V4 __attribute__((vector_size(32)));
typedef double V2 __attribute__((vector_size(16)));

#define TESSEL_TWELVE(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11)

// One thread's loop: 12 chains a_i ← a_i·b + c, `rounds` times; returns a value that depends on
// every chain so that nothing is left out.
#define TESSEL_FMA_LOOP(V, lanes)                              \
  using Vec = V;                                               \
  Vec b, c;                                                    \
  for (int i = 0; i < (lanes); ++i) {                          \
    b[i] = 0.999999;                                           \
    c[i] = 1e-7;                                               \
  }                                                            \
  TESSEL_TWELVE(TESSEL_DECLARE)                                \
  for (long long r = 0; r < rounds; ++r) {                     \
    TESSEL_TWELVE(TESSEL_STEP)                                 \
  }                                                            \
  double sink = 0.0;                                           \
  TESSEL_TWELVE(TESSEL_COLLECT)                                \
  return sink;
#define TESSEL_DECLARE(i) Vec a##i = b * (1.0 + 0.01 * (i));
#define TESSEL_STEP(i) a##i = a##i * b + c;
#define TESSEL_COLLECT(i) sink += a##i[0];

[[gnu::target("avx512f,fma")]] double fma_loop_avx512(long long rounds) { TESSEL_FMA_LOOP(V8, 8) }
[[gnu::target("avx2,fma")]] double fma_loop_avx2(long long rounds) { TESSEL_FMA_LOOP(V4, 4) }
// Without FMA instructions: a multiply and an add per lane, counted as one FMA.
double fma_loop_sse2(long long rounds) { TESSEL_FMA_LOOP(V2, 2) }

}  // namespace

PeakRate measure_peak(int threads, long long rounds) {
  PeakRate rate;
  int lanes = 2;
  double (*loop)(long long) = fma_loop_sse2;
  rate.instructions = "sse2 (mul+add)";
  switch (detected_simd_level()) {
    case SimdLevel::avx512:
      loop = fma_loop_avx512;
      lanes = 8;
      rate.instructions = "avx512";
      break;
    case SimdLevel::avx2:
      loop = fma_loop_avx2;
      lanes = 4;
      rate.instructions = "avx2+fma";
      break;
    default:
      break;
  }
  std::vector<double> sinks(static_cast<std::size_t>(threads));
  timespec cpu0{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) {
    workers.emplace_back([&, t] { sinks[static_cast<std::size_t>(t)] = loop(rounds); });
  }
  sinks[0] = loop(rounds);
  for (std::thread& w : workers) w.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timespec cpu1{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
  const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) + 1e-9 * static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec);
  benchmark::DoNotOptimize(sinks.data());
  const double fmas = 12.0 * lanes * static_cast<double>(rounds) * threads;
  rate.fma_per_second = fmas / seconds;
  rate.fma_per_cpu_second = fmas / cpu;
  return rate;
}

const PeakRate& peak(int threads) {
  static std::map<int, PeakRate> measured;
  auto it = measured.find(threads);
  if (it == measured.end()) {
    // The best of three short runs: the machine may be shared.
    PeakRate best;
    for (int i = 0; i < 3; ++i) {
      const PeakRate r = measure_peak(threads, 5'000'000);
      if (r.fma_per_second > best.fma_per_second) {
        best.fma_per_second = r.fma_per_second;
        best.instructions = r.instructions;
      }
      best.fma_per_cpu_second = std::max(best.fma_per_cpu_second, r.fma_per_cpu_second);
    }
    it = measured.emplace(threads, best).first;
  }
  return it->second;
}

namespace {

// Argument: threads.
void BM_PeakFma(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  PeakRate best;
  for (auto _ : state) {
    const PeakRate r = measure_peak(threads, 20'000'000);
    best.fma_per_second = std::max(best.fma_per_second, r.fma_per_second);
    best.fma_per_cpu_second = std::max(best.fma_per_cpu_second, r.fma_per_cpu_second);
    best.instructions = r.instructions;
  }
  // The best run: the machine may be shared.
  state.counters["fma/s"] = best.fma_per_second;
  state.counters["fma/cpu_s"] = best.fma_per_cpu_second;
  state.SetLabel(best.instructions);
}
BENCHMARK(BM_PeakFma)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessel::bench
