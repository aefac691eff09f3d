// Cost of the amplitude loop over atoms × (l, m) pairs × s points for a lysozyme-sized model, and
// of the shell loop over envelope directions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/hydration_shell.hpp"
#include "core/s_grid.hpp"

namespace tessel {
namespace {

// About 1000 atoms of the usual types at random in a ball of 20 Å, like lysozyme.
std::vector<CentredAtom> lysozyme_sized_model() {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int types[] = {1, 3, 5, 9, 11, 4, 10};
  std::vector<CentredAtom> atoms;
  while (atoms.size() < 1000) {
    const double x = u(gen), y = u(gen), z = u(gen);
    if (x * x + y * y + z * z > 1.0) continue;
    atoms.push_back({20.0 * x, 20.0 * y, 20.0 * z, types[atoms.size() % 7], false});
  }
  return atoms;
}

// Arguments: L, number of points, s_max·100.
void BM_AtomAmplitudes(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  const int n_points = static_cast<int>(state.range(1));
  const double s_max = static_cast<double>(state.range(2)) / 100.0;
  const HarmonicTables tables = make_harmonic_tables(l_max, 17);
  const std::vector<double> s = make_s_grid(n_points, s_max);
  const ModelFormFactors ff = make_model_form_factors(s);
  const std::vector<CentredAtom> atoms = lysozyme_sized_model();
  double r_max = 0.0;
  for (const auto& a : atoms) r_max = std::max(r_max, std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z));
  const LineTable bessel = make_atom_bessel_table(l_max, s_max, r_max);
  const AmplitudeKernel kernel(tables, s, ff, bessel);
  AmplitudeWorkspace ws;
  for (auto _ : state) {
    AmplitudeSums sums = kernel.make_sums();
    kernel.add_atoms(atoms, ws, sums);
    benchmark::DoNotOptimize(sums.atoms.values().data());
  }
  // Every atom × pair × point, counted or cut off: the size of the loop as written out.
  const double work = static_cast<double>(atoms.size()) * tables.pair_count() * n_points;
  state.counters["atom_pair_points/s"] =
      benchmark::Counter(work, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AtomAmplitudes)
    ->Args({15, 51, 50})
    ->Args({50, 501, 100})
    ->Unit(benchmark::kMillisecond);

// The shell of a sphere of 20 Å on the order-17 grid (2584 directions).
void BM_ShellAmplitude(benchmark::State& state) {
  const int l_max = static_cast<int>(state.range(0));
  const int n_points = static_cast<int>(state.range(1));
  const double s_max = static_cast<double>(state.range(2)) / 100.0;
  const HarmonicTables tables = make_harmonic_tables(l_max, 17);
  const std::vector<double> s = make_s_grid(n_points, s_max);
  const std::vector<double> radius(static_cast<std::size_t>(tables.grid().size()), 20.0);
  const LineTable integrals = make_shell_integral_table(l_max, s_max, 20.0);
  for (auto _ : state) {
    PartialAmplitudes b = shell_amplitude(tables, s, radius, integrals);
    benchmark::DoNotOptimize(b.values().data());
  }
  const double work = static_cast<double>(tables.grid().size()) * tables.pair_count() * n_points;
  state.counters["dir_pair_points/s"] =
      benchmark::Counter(work, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ShellAmplitude)
    ->Args({15, 51, 50})
    ->Args({50, 501, 100})
    ->Unit(benchmark::kMillisecond);

// The whole pass of one structure at L = 15, 51 points: sums, envelope search, amplitudes and
// the completion of the envelope.
void BM_StructurePass(benchmark::State& state) {
  const HarmonicTables tables = make_harmonic_tables(15, 17);
  const std::vector<double> s = make_s_grid(51, 0.5);
  const ModelFormFactors ff = make_model_form_factors(s);
  const std::vector<CentredAtom> atoms = lysozyme_sized_model();
  const LineTable bessel = make_atom_bessel_table(15, 0.5, 20.0 * std::sqrt(3.0));
  for (auto _ : state) {
    StructureAccumulator acc(tables, s, ff, bessel);
    acc.add_batch(atoms);
    StructureAmplitudes r = acc.finish();
    benchmark::DoNotOptimize(r.atoms.values().data());
  }
}
BENCHMARK(BM_StructurePass)->Unit(benchmark::kMillisecond);

// All-pairs diameter on the grids of order 17 and 18: an irregular envelope (radii 15 to 25 Å)
// and a sphere, where no pair can be ruled out by the radii (second argument 1).
void BM_EnvelopeDiameter(benchmark::State& state) {
  const FibonacciGrid grid = make_fibonacci_grid(static_cast<int>(state.range(0)));
  std::mt19937 gen(2);
  std::uniform_real_distribution<double> u(15.0, 25.0);
  std::vector<double> radius(static_cast<std::size_t>(grid.size()), 20.0);
  if (state.range(1) == 0) {
    for (double& f : radius) f = u(gen);
  }
  for (auto _ : state) benchmark::DoNotOptimize(envelope_diameter(grid, radius));
}
BENCHMARK(BM_EnvelopeDiameter)
    ->Args({17, 0})
    ->Args({18, 0})
    ->Args({17, 1})
    ->Args({18, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessel
