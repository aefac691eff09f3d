// The stages at scale, on one thread and on all: the amplitude stage and its inner loop on a
// structure of 100,100 atoms (100 copies of lysozyme, 6lyz, side by side) at L = 15 with 51
// points and at L = 50 with 501 points, the shell on that structure's envelope, and the default
// fit search on a 500-point curve.
//
// Rates count terms: an atom (or envelope direction) × (l, m) × s point whose order counts there
// (s·r > 0.75·l − 2.7). An atom term adds a real weight times a complex harmonic to two amplitudes,
// 4 multiply-adds when summed directly, and fma/s and "of_peak" count it so; a shell term adds to
// one amplitude: 2. Where the atoms are grouped by form factor (small amplitude arrays), the loops
// form each group's Σ j_l·conj(Y) once for both amplitudes: 2 multiply-adds per term, and
// "executed_of_peak" counts those. "of_peak" divides by the measured peak FMA rate of as many
// threads (see peak_bench.cpp); the loops never fuse a multiply and an add (the results must not
// depend on the instruction set), so their mul+add pairs stand in for FMAs.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/bessel.hpp"
#include "core/envelope.hpp"
#include "core/fit.hpp"
#include "core/hydration_shell.hpp"
#include "core/s_grid.hpp"
#include "io/atom_typing.hpp"
#include "io/pdb_reader.hpp"
#include "peak_fma.hpp"

namespace tessel {
namespace {

// The 100 copies of lysozyme on a 5 × 5 × 4 lattice of 45 Å, about the lattice's centre.
struct BigStructure {
  std::vector<CentredAtom> atoms;
  double extent = 0.0;  // to the farthest corner of the bounding box, Å
};

const BigStructure& big_structure() {
  static const BigStructure big = [] {
    std::ifstream in = open_structure(std::string(TESSEL_TEST_DATA) + "/6lyz.pdb");
    const PrepassResult prepass = compute_prepass(in, false);
    rewind_structure(in);
    AtomTyper typer(TypingOptions{});
    AtomStream stream(in, false);
    std::vector<AtomRecord> records;
    std::vector<CentredAtom> one;
    while (stream.next_batch(records)) {
      for (const AtomRecord& r : records) {
        const TypedAtom t = typer.type_atom(r).atom;
        one.push_back({r.x - prepass.centre[0], r.y - prepass.centre[1], r.z - prepass.centre[2],
                       t.type, t.dummy_residue});
      }
    }
    BigStructure b;
    constexpr double kSpacing = 45.0;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (int i = 0; i < 5; ++i) {
      for (int j = 0; j < 5; ++j) {
        for (int k = 0; k < 4; ++k) {
          const double dx = (i - 2.0) * kSpacing, dy = (j - 2.0) * kSpacing, dz = (k - 1.5) * kSpacing;
          for (CentredAtom a : one) {
            a.x += dx;
            a.y += dy;
            a.z += dz;
            const double p[3] = {a.x, a.y, a.z};
            for (int q = 0; q < 3; ++q) {
              lo[q] = std::min(lo[q], p[q]);
              hi[q] = std::max(hi[q], p[q]);
            }
            b.atoms.push_back(a);
          }
        }
      }
    }
    double r2 = 0.0;
    for (int q = 0; q < 3; ++q) {
      const double e = std::max(std::abs(lo[q]), std::abs(hi[q]));
      r2 += e * e;
    }
    b.extent = std::sqrt(r2);
    return b;
  }();
  return big;
}

// Terms formed for sources at the given radii: Σ over sources and points of c(c+1)/2.
double counted_terms(const std::vector<double>& radii, std::span<const double> s, int l_max) {
  double terms = 0.0;
  for (const double r : radii) {
    for (const double sk : s) {
      const int c = counted_orders(sk * r, l_max);
      terms += 0.5 * c * (c + 1);
    }
  }
  return terms;
}

std::vector<double> atom_radii(const std::vector<CentredAtom>& atoms) {
  std::vector<double> r;
  r.reserve(atoms.size());
  for (const CentredAtom& a : atoms) r.push_back(std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z));
  return r;
}

// The best of several runs, in wall-clock seconds and in processor seconds of all threads: the
// machine may be shared, and the best run is the one least disturbed.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

double process_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <class Work>
Timing best_of(int runs, Work&& work) {
  Timing best;
  for (int i = 0; i < runs; ++i) {
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = process_cpu_seconds();
    work();
    const double cpu = process_cpu_seconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpu);
  }
  return best;
}

// Counters of one benchmark: terms and FMAs per wall-clock second of the best run, that rate over
// the peak FMA rate of as many threads, and FMAs per processor second over the peak of one core
// (what each busy core achieved).
void report_rate(benchmark::State& state, const Timing& t, double terms, double fma_per_term, int threads) {
  const double fma = terms * fma_per_term;
  state.SetIterationTime(t.wall);
  state.counters["terms/s"] = terms / t.wall;
  state.counters["fma/s"] = fma / t.wall;
  state.counters["of_peak"] = fma / t.wall / bench::peak(threads).fma_per_second;
  state.counters["core_of_peak"] = fma / t.cpu / bench::peak(1).fma_per_cpu_second;
  state.counters["threads"] = threads;
}

// Arguments: L, points, 100·s_max, threads, runs (the best of which is reported).
struct StageArgs {
  int l_max, n_points;
  double s_max;
  int threads, runs;
  explicit StageArgs(const benchmark::State& state)
      : l_max(static_cast<int>(state.range(0))),
        n_points(static_cast<int>(state.range(1))),
        s_max(static_cast<double>(state.range(2)) / 100.0),
        threads(static_cast<int>(state.range(3))),
        runs(static_cast<int>(state.range(4))) {}
};

// The whole amplitude stage: the sums, the envelope search and the amplitudes, batch by batch.
void BM_AmplitudeStage(benchmark::State& state) {
  const StageArgs a(state);
  const BigStructure& big = big_structure();
  const HarmonicTables tables = make_harmonic_tables(a.l_max, 17);
  const std::vector<double> s = make_s_grid(a.n_points, a.s_max);
  const ModelFormFactors ff = make_model_form_factors(s);
  const LineTable bessel = make_atom_bessel_table(a.l_max, a.s_max, big.extent);
  const std::span<const CentredAtom> atoms(big.atoms);
  Timing t;
  for (auto _ : state) {
    t = best_of(a.runs, [&] {
      StructureAccumulator acc(tables, s, ff, bessel, {a.threads, SimdLevel::automatic});
      for (std::size_t first = 0; first < atoms.size(); first += kAtomBatchSize) {
        acc.add_batch(atoms.subspan(first, std::min(kAtomBatchSize, atoms.size() - first)));
      }
      StructureAmplitudes r = acc.finish();
      benchmark::DoNotOptimize(r.atoms.values().data());
    });
  }
  const double terms = counted_terms(atom_radii(big.atoms), s, a.l_max);
  report_rate(state, t, terms, 4.0, a.threads);
  const double executed = atoms_grouped_by_form_factor(a.l_max, a.n_points) ? 2.0 : 4.0;
  state.counters["executed_of_peak"] = terms * executed / t.wall / bench::peak(a.threads).fma_per_second;
}
BENCHMARK(BM_AmplitudeStage)
    ->Args({15, 51, 50, 1, 5})
    ->Args({15, 51, 50, 2, 5})
    ->Args({50, 501, 100, 2, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The inner loop alone: the amplitude kernel over the same atoms.
void BM_AmplitudeKernel(benchmark::State& state) {
  const StageArgs a(state);
  const BigStructure& big = big_structure();
  const HarmonicTables tables = make_harmonic_tables(a.l_max, 17);
  const std::vector<double> s = make_s_grid(a.n_points, a.s_max);
  const ModelFormFactors ff = make_model_form_factors(s);
  const LineTable bessel = make_atom_bessel_table(a.l_max, a.s_max, big.extent);
  const AmplitudeKernel kernel(tables, s, ff, bessel);
  WorkerPool pool(a.threads);
  ParallelAmplitudeWorkspace ws;
  AmplitudeSums sums = kernel.make_sums();
  Timing t;
  for (auto _ : state) {
    t = best_of(a.runs, [&] {
      kernel.add_atoms(big.atoms, pool, ws, sums);
      benchmark::DoNotOptimize(sums.atoms.values().data());
    });
  }
  report_rate(state, t, counted_terms(atom_radii(big.atoms), s, a.l_max), 4.0, a.threads);
}
BENCHMARK(BM_AmplitudeKernel)
    ->Args({15, 51, 50, 1, 5})
    ->Args({15, 51, 50, 2, 5})
    ->Args({50, 501, 100, 1, 1})
    ->Args({50, 501, 100, 2, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The shell amplitude over the envelope of the big structure (2,584 directions).
void BM_ShellStage(benchmark::State& state) {
  const StageArgs a(state);
  const BigStructure& big = big_structure();
  const HarmonicTables tables = make_harmonic_tables(a.l_max, 17);
  const std::vector<double> s = make_s_grid(a.n_points, a.s_max);
  StructureAccumulator envelope_only(tables);
  envelope_only.add_batch(big.atoms);
  const Envelope e = envelope_only.finish().envelope;
  const LineTable integrals = make_shell_integral_table(a.l_max, a.s_max, e.max_radius);
  Timing t;
  for (auto _ : state) {
    t = best_of(a.runs, [&] {
      PartialAmplitudes b = shell_amplitude(tables, s, e.radius, integrals, nullptr, {a.threads, SimdLevel::automatic});
      benchmark::DoNotOptimize(b.values().data());
    });
  }
  std::vector<double> outer(e.radius);
  for (double& f : outer) f += kShellOuterGap;
  report_rate(state, t, counted_terms(outer, s, a.l_max), 2.0, a.threads);
}
BENCHMARK(BM_ShellStage)
    ->Args({15, 51, 50, 1, 20})
    ->Args({15, 51, 50, 2, 20})
    ->Args({50, 501, 100, 1, 3})
    ->Args({50, 501, 100, 2, 3})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The default search, 31 × 21 × 31 = 20,181 grid points, on a 500-point regridded curve against a
// 51-point model with two multipole components per amplitude. Argument: threads.
void BM_FitSearch(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  std::vector<double> s, ia, ic, ib, iac, iab, icb;
  for (int k = 0; k < 51; ++k) {
    const double q = 0.5 * k / 50.0;
    const double am[2] = {7500 * std::exp(-q * q * 36), 900 * q * 6 * std::exp(-q * q * 25)};
    const double cm[2] = {1000 * std::exp(-q * q * 42), 100 * q * 6 * std::exp(-q * q * 30)};
    const double bm[2] = {12000 * std::exp(-q * q * 64), 2000 * q * 8 * std::exp(-q * q * 49)};
    s.push_back(q);
    ia.push_back(am[0] * am[0] + am[1] * am[1]);
    ic.push_back(cm[0] * cm[0] + cm[1] * cm[1]);
    ib.push_back(bm[0] * bm[0] + bm[1] * bm[1]);
    iac.push_back(2 * (am[0] * cm[0] + am[1] * cm[1]));
    iab.push_back(2 * (am[0] * bm[0] + am[1] * bm[1]));
    icb.push_back(2 * (cm[0] * bm[0] + cm[1] * bm[1]));
  }
  const FitModel model{s, ia, ic, ib, iac, iab, icb, 1000, 0, 16000.0, 1.6, 9000.0, 14000.0, 0.334};
  FitData data;
  for (int i = 0; i < 500; ++i) {
    const double q = 0.01 + 0.47 * i / 499.0;
    const double value = 1e-3 * (std::exp(-q * q * 20) + 0.01);
    data.s_r.push_back(q);
    data.i_r.push_back(value * (1 + 0.01 * std::sin(37.0 * i)));
    data.w_r.push_back(1.0 / (0.01 * value * 0.01 * value));
  }
  data.s_e = data.s_r;
  data.i_e = data.i_r;
  data.w_e = data.w_r;
  const SearchLimits limits = default_search_limits(model, data, false);
  std::size_t points = 0;
  Timing t;
  for (auto _ : state) {
    t = best_of(10, [&] {
      const SearchResult r = search_solvent_parameters(model, data, limits, 1e-5, {threads, SimdLevel::automatic});
      points = r.evaluations;
      benchmark::DoNotOptimize(r.chi2);
    });
  }
  state.SetIterationTime(t.wall);
  state.counters["grid_points/s"] = static_cast<double>(points) / t.wall;
  state.counters["threads"] = threads;
}
BENCHMARK(BM_FitSearch)->Arg(1)->Arg(2)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The envelope diameter on a sphere of the order-18 grid, where the radii prune no pair.
void BM_DiameterThreads(benchmark::State& state) {
  const FibonacciGrid grid = make_fibonacci_grid(18);
  const std::vector<double> radius(static_cast<std::size_t>(grid.size()), 20.0);
  const LoopSettings loops{static_cast<int>(state.range(0)), SimdLevel::automatic};
  Timing t;
  for (auto _ : state) t = best_of(50, [&] { benchmark::DoNotOptimize(envelope_diameter(grid, radius, loops)); });
  state.SetIterationTime(t.wall);
  state.counters["threads"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_DiameterThreads)->Arg(1)->Arg(2)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessel
