// Bounded least squares on the fit's problem: m rows, two columns (model curve and constant
// background, both weighted), scale in [1e-20, 1e20], relative background in [−0.5, 0.5].
#include "core/bounded_lsq.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kLead = 5000;  // the fit's leading dimension

struct FitProblem {
  std::vector<double> a, b;
  std::vector<double> bl{1e-20, -0.5}, bu{1e20, 0.5};

  // with_background: the background column is present (constant subtraction on); otherwise zero.
  FitProblem(int m, bool with_background) : a(2 * kLead, 0.0), b(m) {
    for (int i = 0; i < m; ++i) {
      const double s = 0.5 * i / m;
      const double model = std::exp(-s * s * 400.0 / 3.0) + 1e-3;  // Guinier-like, Rg ≈ 20 Å
      const double weight = 1.0 / (0.01 * model + 1e-4);              // √w = 1/σ
      a[i] = weight * model;
      a[kLead + i] = with_background ? weight * 2e-3 : 0.0;
      const double wiggle = 1.0 + 0.02 * std::sin(0.37 * i);
      b[i] = weight * (1.7 * model * wiggle + 0.3 * 2e-3);
    }
  }
};

void run(benchmark::State& state, bool general) {
  const int m = static_cast<int>(state.range(0));
  const FitProblem p(m, state.range(1) != 0);
  tessel::BvlsWorkspace work(kLead, 2);
  std::vector<double> x(2);
  for (auto _ : state) {
    x[0] = x[1] = 0.0;
    const tessel::BvlsStatus st =
        general ? tessel::detail::bvls_solve_general(0, kLead, m, 2, p.a, p.b, p.bl, p.bu, x, work.view())
                : tessel::bvls_solve(0, kLead, m, 2, p.a, p.b, p.bl, p.bu, x, work.view());
    benchmark::DoNotOptimize(st);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BvlsFit(benchmark::State& state) { run(state, false); }
void BM_BvlsFitGeneralKernel(benchmark::State& state) { run(state, true); }

// Args: rows, background column present (1) or zero (0).
BENCHMARK(BM_BvlsFit)->Args({500, 1})->Args({500, 0})->Args({5000, 1})->Args({5000, 0});
BENCHMARK(BM_BvlsFitGeneralKernel)->Args({500, 1})->Args({5000, 1});

}  // namespace
