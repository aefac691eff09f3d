// The long loops give the same bits with one thread and with several, and on every instruction
// set: the amplitudes, envelope and sums of real structures read from the test files, the shell,
// the intensities, the envelope diameter and the fit search, tie rule included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/envelope.hpp"
#include "core/fit.hpp"
#include "core/hydration_shell.hpp"
#include "core/intensity.hpp"
#include "core/s_grid.hpp"
#include "fit_synthetic_model.hpp"
#include "io/atom_typing.hpp"
#include "io/pdb_reader.hpp"
#include "pdb_test_files.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

// A structure file's accepted atoms, typed and centred as a run reads them, in batches of 1000.
std::vector<std::vector<CentredAtom>> read_batches(const std::string& name, double& extent) {
  std::ifstream in = open_structure(testing::data_file(name));
  const PrepassResult prepass = compute_prepass(in, false);
  rewind_structure(in);
  extent = prepass.extent;
  TypingOptions typing;
  typing.model_has_o2_star = prepass.old_nucleic_naming;
  AtomTyper typer(typing);
  AtomStream stream(in, false);
  std::vector<AtomRecord> records;
  std::vector<std::vector<CentredAtom>> batches;
  while (stream.next_batch(records)) {
    std::vector<CentredAtom>& batch = batches.emplace_back();
    for (const AtomRecord& r : records) {
      const TypedAtom t = typer.type_atom(r).atom;
      batch.push_back({r.x - prepass.centre[0], r.y - prepass.centre[1], r.z - prepass.centre[2],
                       t.type, t.dummy_residue});
    }
  }
  return batches;
}

bool same_bits(std::span<const std::complex<double>> a, std::span<const std::complex<double>> b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}
bool same_bits(std::span<const double> a, std::span<const double> b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

// Everything a structure's model stage computes, for one choice of threads and instruction set.
struct Outcome {
  StructureAmplitudes pass;
  PartialAmplitudes shell;
  EnvelopeStatistics statistics;
  PartialIntensities partials;
};

Outcome model_of(const std::vector<std::vector<CentredAtom>>& batches, double extent, int l_max,
                 int n_points, double s_max, const LoopSettings& loops) {
  const HarmonicTables& tables = testing_models::tables(l_max);
  static std::vector<double> s;
  static ModelFormFactors form_factors;
  s = make_s_grid(n_points, s_max);
  form_factors = make_model_form_factors(s);
  const LineTable bessel = make_atom_bessel_table(l_max, s_max, extent);
  StructureAccumulator acc(tables, s, form_factors, bessel, loops);
  for (const auto& batch : batches) acc.add_batch(batch);
  Outcome o;
  o.pass = acc.finish();
  const Envelope& e = o.pass.envelope;
  o.statistics = envelope_statistics(tables.grid(), e.radius, loops);
  o.shell = shell_amplitude(tables, s, e.radius, make_shell_integral_table(l_max, s_max, e.max_radius),
                            nullptr, loops);
  PartialAmplitudes c = o.pass.solvent;
  normalise_solvent_amplitude(c, model_displaced_volume(c), o.pass.sums.atoms);
  o.partials = partial_intensities(o.pass.atoms, c, o.shell);
  return o;
}

void expect_same(const Outcome& a, const Outcome& b) {
  EXPECT_TRUE(same_bits(a.pass.atoms.values(), b.pass.atoms.values()));
  EXPECT_TRUE(same_bits(a.pass.solvent.values(), b.pass.solvent.values()));
  EXPECT_TRUE(same_bits(a.shell.values(), b.shell.values()));
  EXPECT_TRUE(same_bits(a.pass.envelope.radius, b.pass.envelope.radius));
  EXPECT_EQ(a.pass.sums.atoms, b.pass.sums.atoms);
  EXPECT_EQ(a.pass.sums.electron_r2, b.pass.sums.electron_r2);
  EXPECT_EQ(a.pass.sums.volume_moment, b.pass.sums.volume_moment);
  EXPECT_EQ(a.statistics.diameter, b.statistics.diameter);
  EXPECT_TRUE(same_bits(a.partials.atoms, b.partials.atoms));
  EXPECT_TRUE(same_bits(a.partials.solvent_shell, b.partials.solvent_shell));
}

TEST(ParallelResults, RealStructuresGiveTheSameBitsWithOneAndSeveralThreads) {
  struct Case {
    const char* file;
    int l_max, n_points;
    double s_max;
  };
  // Lysozyme at the defaults (one batch), the Fab-lysozyme complex (several batches, with the
  // atoms of a batch summed in passes of blocks), and an RNA at a high order and fine grid.
  const Case cases[] = {{"6lyz.pdb", 15, 51, 0.5}, {"3hfm.pdb", 15, 51, 0.5},
                        {"354d_ndb_url064.pdb", 40, 201, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    double extent = 0.0;
    const auto batches = read_batches(c.file, extent);
    const Outcome one = model_of(batches, extent, c.l_max, c.n_points, c.s_max, {1, SimdLevel::automatic});
    for (const int threads : {2, 3}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      expect_same(one, model_of(batches, extent, c.l_max, c.n_points, c.s_max, {threads, SimdLevel::automatic}));
    }
  }
}

TEST(ParallelResults, EveryInstructionSetGivesTheSameBits) {
  double extent = 0.0;
  const auto batches = read_batches("6lyz.pdb", extent);
  const Outcome baseline = model_of(batches, extent, 15, 51, 0.5, {2, SimdLevel::baseline});
  for (const SimdLevel level : {SimdLevel::avx2, SimdLevel::avx512}) {
    if (resolve_simd_level(level) != level) continue;  // not on this processor
    SCOPED_TRACE(simd_level_name(level));
    expect_same(baseline, model_of(batches, extent, 15, 51, 0.5, {2, level}));
  }
}

TEST(ParallelResults, SingleThreadKernelAndThreadedKernelAgree) {
  // The kernel's own two entry points, on a random cluster in one long run of atoms that spans
  // several passes at L = 30 (the pass size then holds fewer atoms than the run).
  const std::vector<CentredAtom> atoms = testing_models::random_cluster(2500, 35.0, 11);
  const HarmonicTables& tables = testing_models::tables(30);
  const std::vector<double> s = make_s_grid(61, 0.8);
  const ModelFormFactors ff = make_model_form_factors(s);
  const LineTable bessel = make_atom_bessel_table(30, 0.8, testing_models::extent(atoms));
  const AmplitudeKernel kernel(tables, s, ff, bessel);
  ASSERT_LT(kernel.pass_size(), static_cast<int>(atoms.size()));
  AmplitudeWorkspace ws;
  AmplitudeSums single = kernel.make_sums();
  kernel.add_atoms(atoms, ws, single);
  WorkerPool pool(2);
  ParallelAmplitudeWorkspace pws;
  AmplitudeSums threaded = kernel.make_sums();
  int alongside_runs = 0;
  kernel.add_atoms(atoms, pool, pws, threaded, [&] { ++alongside_runs; });
  EXPECT_EQ(alongside_runs, 1);
  EXPECT_TRUE(same_bits(single.atoms.values(), threaded.atoms.values()));
  EXPECT_TRUE(same_bits(single.solvent.values(), threaded.solvent.values()));
}

TEST(ParallelResults, DiameterOfManyPairsIsTheLongestOfAllPairs) {
  // Envelopes where the radii prune few pairs (a sphere, a slightly rough sphere) on the largest
  // grid, so that the threads share the pairs.
  const HarmonicTables& tables = testing_models::tables(2, 18);
  const FibonacciGrid& g = tables.grid();
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(29.9, 30.0);
  std::vector<double> sphere(static_cast<std::size_t>(g.size()), 30.0), rough(sphere.size());
  for (double& f : rough) f = u(gen);
  for (const auto* f : {&sphere, &rough}) {
    double best2 = 0.0;  // every pair, the same arithmetic as the search
    for (std::size_t i = 0; i < f->size(); ++i) {
      for (std::size_t j = i + 1; j < f->size(); ++j) {
        const double dx = (*f)[j] * g.x()[j] - (*f)[i] * g.x()[i];
        const double dy = (*f)[j] * g.y()[j] - (*f)[i] * g.y()[i];
        const double dz = (*f)[j] * g.z()[j] - (*f)[i] * g.z()[i];
        best2 = std::max(best2, dx * dx + dy * dy + dz * dz);
      }
    }
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      EXPECT_EQ(envelope_diameter(g, *f, {threads, SimdLevel::automatic}), std::sqrt(best2));
    }
  }
}

TEST(ParallelResults, FitSearchKeepsTheEarliestOfEqualPointsAcrossThreads) {
  const tessel_test::SyntheticParticle particle;
  const tessel_test::SyntheticCurves curves(particle, tessel_test::uniform_grid(51, 0.5));
  const FitData data = tessel_test::synthetic_data(particle, {16100.0, 1.62, 0.031},
                                                   tessel_test::regular_points(200, 0.02, 0.48));
  const SearchLimits limits = default_search_limits(curves.model, data, false);
  // An excluded volume without effect (I_C, I_AC and I_CB zero): every volume gives the same χ²
  // at a given radius and contrast, so the first volume must win whichever thread searched it.
  tessel_test::SyntheticCurves flat(particle, tessel_test::uniform_grid(51, 0.5));
  std::fill(flat.ic.begin(), flat.ic.end(), 0.0);
  std::fill(flat.iac.begin(), flat.iac.end(), 0.0);
  std::fill(flat.icb.begin(), flat.icb.end(), 0.0);
  const LoopSettings single{1, SimdLevel::automatic};
  const SearchResult one = search_solvent_parameters(curves.model, data, limits, 1e-6, single);
  const SearchResult flat_one = search_solvent_parameters(flat.model, data, limits, 1e-6, single);
  EXPECT_EQ(flat_one.best.volume, limits.volume_low);
  for (const int threads : {2, 3, 8}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const LoopSettings loops{threads, SimdLevel::automatic};
    const SearchResult r = search_solvent_parameters(curves.model, data, limits, 1e-6, loops);
    EXPECT_EQ(r.best.volume, one.best.volume);
    EXPECT_EQ(r.best.radius, one.best.radius);
    EXPECT_EQ(r.best.contrast, one.best.contrast);
    EXPECT_EQ(r.chi2, one.chi2);
    EXPECT_EQ(r.background, one.background);
    EXPECT_EQ(r.evaluations, one.evaluations);
    const SearchResult flat_r = search_solvent_parameters(flat.model, data, limits, 1e-6, loops);
    EXPECT_EQ(flat_r.best.volume, limits.volume_low);
    EXPECT_EQ(flat_r.best.radius, flat_one.best.radius);
    EXPECT_EQ(flat_r.best.contrast, flat_one.best.contrast);
    EXPECT_EQ(flat_r.chi2, flat_one.chi2);
  }
}

}  // namespace
}  // namespace tessel
