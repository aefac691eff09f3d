// Cost of the harmonic tables and of the per-atom lookups of the amplitude loop.
#include <benchmark/benchmark.h>

#include <complex>
#include <vector>

#include "core/bessel.hpp"
#include "core/harmonic_tables.hpp"
#include "core/s_grid.hpp"

namespace tessel {
namespace {

// Once per job: the direction grid of order 17 and the tables up to order L.
void BM_MakeHarmonicTables(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(make_harmonic_tables(l_max, 17));
}
BENCHMARK(BM_MakeHarmonicTables)->Arg(15)->Arg(50)->Unit(benchmark::kMillisecond);

// Once per atom: every Y_lm of one direction, cycling over the grid's directions.
void BM_HarmonicsForDirection(benchmark::State& state) {
  const HarmonicTables t = make_harmonic_tables(static_cast<int>(state.range(0)), 17);
  const FibonacciGrid& g = t.grid();
  std::vector<std::complex<double>> y(static_cast<std::size_t>(t.pair_count()));
  std::size_t j = 0;
  for (auto _ : state) {
    harmonics_for_direction(t, g.cos_theta()[j], g.phi()[j], y);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
    if (++j == static_cast<std::size_t>(g.size())) j = 0;
  }
  state.counters["pairs"] = t.pair_count();
}
BENCHMARK(BM_HarmonicsForDirection)->Arg(15)->Arg(50);

// Once per structure: exact j_l at the 2,001 nodes for every order.
void BM_MakeBesselTable(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(make_bessel_table(l_max, 1.0001 * 0.5 * 40.0));
}
BENCHMARK(BM_MakeBesselTable)->Arg(15)->Arg(50)->Unit(benchmark::kMillisecond);

// One row of the lookup table: all j_l(x) at one argument.
void BM_BesselTableRow(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  const double x_max = 1.0001 * 0.5 * 40.0;
  const LineTable table = make_bessel_table(l_max, x_max);
  std::vector<double> row(static_cast<std::size_t>(l_max + 1));
  double x = 0.0;
  for (auto _ : state) {
    const double* line = table.lines(table.interval(x)).data();
    for (int l = 0; l <= l_max; ++l) row[static_cast<std::size_t>(l)] = line[2 * l] * x + line[2 * l + 1];
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
    x += 0.37;
    if (x > x_max) x -= x_max;
  }
}
BENCHMARK(BM_BesselTableRow)->Arg(15)->Arg(50);

// Once per atom: j_l(s_k·r) for the 51 points of the default s grid, with the cut-off.
void BM_BesselForRadius(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  const std::vector<double> s = make_s_grid(51, 0.5);
  const double r_max = 40.0;
  const LineTable table = make_bessel_table(l_max, 1.0001 * 0.5 * r_max);
  std::vector<double> j(s.size() * static_cast<std::size_t>(l_max + 1));
  std::vector<int> counted(s.size());
  double r = 0.0;
  for (auto _ : state) {
    bessel_for_radius(table, s, r, j, counted);
    benchmark::DoNotOptimize(j.data());
    benchmark::ClobberMemory();
    r += 1.3;
    if (r > r_max) r -= r_max;
  }
}
BENCHMARK(BM_BesselForRadius)->Arg(15)->Arg(50);

}  // namespace
}  // namespace tessel
