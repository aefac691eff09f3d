// Speed of formatted writes: rows of a result file, fixed-point rows and labelled lines.
#include <benchmark/benchmark.h>

#include <vector>

#include "io/fortran_format.hpp"

namespace {

// 1,000 rows of "(5E14.6)" as in the intensity file.
void BM_ExponentialRows(benchmark::State& state) {
  const tessel::Format rows("(5E14.6)");
  std::vector<tessel::FormatValue> values(5);
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int i = 0; i < 1000; ++i) {
      const double s = 0.0005 * i;
      values = {s, 1.234e6 / (1 + i), -3.5e-3 * i, 17.25 + i, 1e-7 * i};
      bytes += rows.write(values).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ExponentialRows);

// 1,000 rows of "(2i5,2f15.6,2i5)" as in the envelope-coefficient file.
void BM_FixedRows(benchmark::State& state) {
  const tessel::Format rows("(2i5,2f15.6,2i5)");
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int i = 0; i < 1000; ++i)
      bytes += rows(i / 20, i % 20, 0.001 * i - 0.3, 1.0 / (i + 1), 1, 0).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_FixedRows);

// 1,000 labelled lines with real values.
void BM_LabelledReal(benchmark::State& state) {
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int i = 0; i < 1000; ++i)
      bytes += tessel::labelled_line(" Radius of gyration", 12.5 + i * 0.37).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_LabelledReal);

}  // namespace
