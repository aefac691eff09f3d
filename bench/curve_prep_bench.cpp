// Spline re-interpolation as the fit uses it: 500 model points onto 500 data points, the
// direct routine against the interpolator built once for the fixed abscissae; and the
// preparation of the real curve.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/respline.hpp"

namespace {

struct Abscissae {
  std::vector<double> x, u, y;
};

Abscissae fit_like(std::size_t n) {
  Abscissae a;
  for (std::size_t k = 0; k < n; ++k) {
    a.x.push_back(0.5 * static_cast<double>(k) / static_cast<double>(n - 1));        // model grid
    a.u.push_back(0.001 + 0.49 * static_cast<double>(k) / static_cast<double>(n - 1));  // data
    a.y.push_back(std::log10(1e3 * std::exp(-a.x.back() * a.x.back() * 130.0) + 1e-2));
  }
  return a;
}

void BM_ResplineDirect(benchmark::State& state) {
  const Abscissae a = fit_like(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(tessel::RESPLINE(a.x, a.y, a.u));
}
BENCHMARK(BM_ResplineDirect)->Arg(500);

void BM_ResplinePrecomputed(benchmark::State& state) {
  const Abscissae a = fit_like(static_cast<std::size_t>(state.range(0)));
  const tessel::SplineInterpolator interpolate(a.x, a.u);
  std::vector<double> v(a.u.size());
  for (auto _ : state) {
    interpolate.apply(a.y, v);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ResplinePrecomputed)->Arg(500);

void BM_ResplineSetUp(benchmark::State& state) {
  const Abscissae a = fit_like(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(tessel::SplineInterpolator(a.x, a.u));
}
BENCHMARK(BM_ResplineSetUp)->Arg(500);

void BM_PrepareLongCurve(benchmark::State& state) {
  // A 5000-point curve regridded to 500 points, Guinier range, weights, cut and tail.
  tessel::ExpCurve curve;
  for (int k = 1; k <= 5000; ++k) {
    const double s = 0.0001 * k;
    curve.push_back(s, 1e3 * std::exp(-s * s * 130.0) + 0.5, 0.01);
  }
  for (auto _ : state) {
    const tessel::RegridStage stage = tessel::regrid_curve(curve);
    benchmark::DoNotOptimize(tessel::finish_preparation(stage, 0.4, 20.0, true));
  }
}
BENCHMARK(BM_PrepareLongCurve);

}  // namespace
