// The default grid search (31 × 21 × 31 parameter sets) on a synthetic 500-point regridded curve
// against a 51-point model, with and without the background column.
#include "core/fit.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// A model of two multipole components per partial amplitude (atoms A, unit excluded volume C,
// shell B), so that the cross terms are not plain products of the self terms.
struct SyntheticModel {
  std::vector<double> s, ia, ic, ib, iac, iab, icb;
  tessel::FitModel model;

  explicit SyntheticModel(int n) {
    for (int k = 0; k < n; ++k) {
      const double q = 0.5 * k / (n - 1);
      const double a[2] = {7500 * std::exp(-q * q * 36), 900 * q * 6 * std::exp(-q * q * 25)};
      const double c[2] = {1000 * std::exp(-q * q * 42), 100 * q * 6 * std::exp(-q * q * 30)};
      const double b[2] = {12000 * std::exp(-q * q * 64), 2000 * q * 8 * std::exp(-q * q * 49)};
      s.push_back(q);
      ia.push_back(a[0] * a[0] + a[1] * a[1]);
      ic.push_back(c[0] * c[0] + c[1] * c[1]);
      ib.push_back(b[0] * b[0] + b[1] * b[1]);
      iac.push_back(2 * (a[0] * c[0] + a[1] * c[1]));
      iab.push_back(2 * (a[0] * b[0] + a[1] * b[1]));
      icb.push_back(2 * (c[0] * b[0] + c[1] * b[1]));
    }
    model = {s, ia, ic, ib, iac, iab, icb, 1000, 0, 16000.0, 1.6, 9000.0, 14000.0, 0.334};
  }
};

tessel::FitData synthetic_data(const SyntheticModel& m, std::size_t n) {
  tessel::FitData d;
  for (std::size_t i = 0; i < n; ++i) {
    const double q = 0.01 + 0.47 * static_cast<double>(i) / static_cast<double>(n - 1);
    const double value = 1e-3 * (std::exp(-q * q * 20) + 0.01);
    d.s_r.push_back(q);
    d.i_r.push_back(value * (1 + 0.01 * std::sin(37.0 * i)));
    d.w_r.push_back(1.0 / (0.01 * value * 0.01 * value));
  }
  d.s_e = d.s_r;
  d.i_e = d.i_r;
  d.w_e = d.w_r;
  (void)m;
  return d;
}

void BM_FitDefaultSearch(benchmark::State& state) {
  const SyntheticModel m(51);
  const tessel::FitData data = synthetic_data(m, static_cast<std::size_t>(state.range(0)));
  const tessel::SearchLimits limits = tessel::default_search_limits(m.model, data, false);
  const double a_out = state.range(1) != 0 ? 1e-5 : 0.0;
  std::size_t evaluations = 0;
  for (auto _ : state) {
    const tessel::SearchResult r = tessel::search_solvent_parameters(m.model, data, limits, a_out);
    evaluations += r.evaluations;
    benchmark::DoNotOptimize(r.chi2);
  }
  // Seconds per grid point (CPU time), and grid points per search.
  state.counters["per_grid_point"] = benchmark::Counter(
      static_cast<double>(evaluations), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["grid_points"] =
      benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kAvgIterations);
}

// Args: regridded points, background column present (1) or zero (0).
BENCHMARK(BM_FitDefaultSearch)->Args({500, 1})->Args({500, 0})->Unit(benchmark::kMillisecond);

}  // namespace
