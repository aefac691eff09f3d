// Time to tabulate the vacuum and solvent form factors of all types on an s grid.
#include <benchmark/benchmark.h>

#include "core/form_factors.hpp"
#include "core/s_grid.hpp"

namespace {

void BM_VacuumFormFactorTable(benchmark::State& state) {
  const auto s = tessel::make_s_grid(static_cast<int>(state.range(0)), 0.5);
  for (auto _ : state) benchmark::DoNotOptimize(tessel::vacuum_form_factor_table(s));
}
BENCHMARK(BM_VacuumFormFactorTable)->Arg(51)->Arg(5000);

void BM_SolventFormFactorTable(benchmark::State& state) {
  const auto s = tessel::make_s_grid(static_cast<int>(state.range(0)), 0.5);
  for (auto _ : state) benchmark::DoNotOptimize(tessel::solvent_form_factor_table(s));
}
BENCHMARK(BM_SolventFormFactorTable)->Arg(51)->Arg(5000);

}  // namespace
