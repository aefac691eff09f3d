// Small atomic models and a helper that runs the amplitude pass on them, shared by the tests of
// the scattering model.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/harmonic_tables.hpp"
#include "core/s_grid.hpp"

namespace tessel::testing_models {

// Harmonic tables per (L, grid order), built once per test program.
inline const HarmonicTables& tables(int l_max, int order = 17) {
  static std::map<std::pair<int, int>, std::unique_ptr<HarmonicTables>> cache;
  auto& t = cache[{l_max, order}];
  if (!t) t = std::make_unique<HarmonicTables>(make_harmonic_tables(l_max, order));
  return *t;
}

// Atoms of a few common types at random positions in a ball of the given radius (Å), moved to
// their geometric centre as the structure reader does.
inline std::vector<CentredAtom> random_cluster(int n, double radius, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int types[] = {1, 3, 5, 9, 11, 4, 10};  // C, CH2, N, O, S, CH3, OH
  std::vector<CentredAtom> atoms;
  while (static_cast<int>(atoms.size()) < n) {
    const double x = u(gen), y = u(gen), z = u(gen);
    if (x * x + y * y + z * z > 1.0) continue;
    atoms.push_back({radius * x, radius * y, radius * z, types[atoms.size() % 7], false});
  }
  double c[3] = {0, 0, 0};
  for (const auto& a : atoms) {
    c[0] += a.x;
    c[1] += a.y;
    c[2] += a.z;
  }
  for (auto& a : atoms) {
    a.x -= c[0] / n;
    a.y -= c[1] / n;
    a.z -= c[2] / n;
  }
  return atoms;
}

// Distance from the centre to the farthest corner of the atoms' bounding box.
inline double extent(std::span<const CentredAtom> atoms) {
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool first = true;
  for (const auto& a : atoms) {
    const double p[3] = {a.x, a.y, a.z};
    for (int i = 0; i < 3; ++i) {
      lo[i] = first ? p[i] : std::min(lo[i], p[i]);
      hi[i] = first ? p[i] : std::max(hi[i], p[i]);
    }
    first = false;
  }
  double r2 = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double e = std::max(std::abs(lo[i]), std::abs(hi[i]));
    r2 += e * e;
  }
  return std::sqrt(r2);
}

// One structure's pass with everything it needs kept alive.
struct Pass {
  std::vector<double> s;
  ModelFormFactors form_factors;
  LineTable bessel;
  StructureAmplitudes result;
};

inline Pass run_pass(std::span<const CentredAtom> atoms, int l_max, int n_points, double s_max,
                     int order = 17) {
  Pass p;
  p.s = make_s_grid(n_points, s_max);
  p.form_factors = make_model_form_factors(p.s);
  p.bessel = make_atom_bessel_table(l_max, s_max, extent(atoms));
  StructureAccumulator acc(tables(l_max, order), p.s, p.form_factors, p.bessel);
  acc.add_batch(atoms);
  p.result = acc.finish();
  return p;
}

}  // namespace tessel::testing_models
