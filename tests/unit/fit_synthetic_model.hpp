// A synthetic particle for the fit tests: each partial amplitude (atoms A, unit excluded volume C,
// shell B) has two multipole components given by analytic curves, so that the six partial
// intensities are I_X = Σ_l X_l², I_XY = 2·Σ_l X_l·Y_l, and the intensity of any parameter set
// can be computed directly as Σ_l (A_l − Ĉ·C_l + δρ·B_l)², independently of the fit's formula.
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/fit.hpp"

namespace tessel_test {

struct SyntheticParticle {
  int n_atoms = 1000;
  double displaced_volume = 16000.0;  // Å³: 16 Å³ per atom
  double atomic_radius = 1.6;         // r0, Å
  double shell_volume = 9000.0;
  double molecular_weight = 14000.0;
  double rho0 = 0.334;
  bool with_shell = true;  // false: B = 0, so that δρ has no effect at all
  double stretch = 1.0;    // a particle stretch times larger: every amplitude taken at stretch·s

  // The two components of each amplitude at s.
  void amplitudes(double s_in, double (&a)[2], double (&c)[2], double (&b)[2]) const {
    const double s = s_in * stretch;
    const double q = s * s;
    a[0] = 7500 * std::exp(-q * 36);
    a[1] = 900 * s * 6 * std::exp(-q * 25);
    c[0] = 1000 * std::exp(-q * 42);
    c[1] = 100 * s * 6 * std::exp(-q * 30);
    b[0] = with_shell ? 12000 * std::exp(-q * 64) : 0.0;
    b[1] = with_shell ? 2000 * s * 8 * std::exp(-q * 49) : 0.0;
  }

  // The Gaussian excluded-volume scale ρ0·(V/N)·exp(−s²·V_a^(2/3)/(4π)), V_a = (4π/3)·Ra³.
  double scale(double s, double volume, double radius, double two_thirds) const {
    const double va = 4.0 / 3.0 * std::numbers::pi * radius * radius * radius;
    return rho0 * volume / n_atoms * std::exp(-s * s * std::pow(va, two_thirds) / (4 * std::numbers::pi));
  }

  // The model intensity straight from the amplitudes.
  double intensity(double s, double volume, double radius, double contrast,
                   double two_thirds = tessel::kSearchTwoThirds) const {
    double a[2], c[2], b[2];
    amplitudes(s, a, c, b);
    const double g = scale(s, volume, radius, two_thirds);
    double sum = 0;
    for (int l = 0; l < 2; ++l) {
      const double net = a[l] - g * c[l] + contrast * b[l];
      sum += net * net;
    }
    return sum;
  }
};

// The six partial intensities on a grid and the model view on them.
struct SyntheticCurves {
  std::vector<double> s, ia, ic, ib, iac, iab, icb;
  tessel::FitModel model;

  SyntheticCurves(const SyntheticParticle& p, std::vector<double> grid) : s(std::move(grid)) {
    for (const double q : s) {
      double a[2], c[2], b[2];
      p.amplitudes(q, a, c, b);
      ia.push_back(a[0] * a[0] + a[1] * a[1]);
      ic.push_back(c[0] * c[0] + c[1] * c[1]);
      ib.push_back(b[0] * b[0] + b[1] * b[1]);
      iac.push_back(2 * (a[0] * c[0] + a[1] * c[1]));
      iab.push_back(2 * (a[0] * b[0] + a[1] * b[1]));
      icb.push_back(2 * (c[0] * b[0] + c[1] * b[1]));
    }
    model.s = s;
    model.atoms = ia;
    model.solvent = ic;
    model.shell = ib;
    model.atoms_solvent = iac;
    model.atoms_shell = iab;
    model.solvent_shell = icb;
    model.n_atoms = p.n_atoms;
    model.displaced_volume = p.displaced_volume;
    model.atomic_radius = p.atomic_radius;
    model.shell_volume = p.shell_volume;
    model.molecular_weight = p.molecular_weight;
    model.rho0 = p.rho0;
  }
  SyntheticCurves(const SyntheticCurves&) = delete;
  SyntheticCurves& operator=(const SyntheticCurves&) = delete;
};

// n points from 0 to s_max, s_k = k·s_max/(n − 1).
inline std::vector<double> uniform_grid(std::size_t n, double s_max) {
  std::vector<double> s(n);
  for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<double>(k) * s_max / static_cast<double>(n - 1);
  return s;
}

// n points from low to high inclusive.
inline std::vector<double> regular_points(std::size_t n, double low, double high) {
  std::vector<double> s(n);
  for (std::size_t i = 0; i < n; ++i) s[i] = low + (high - low) * static_cast<double>(i) / static_cast<double>(n - 1);
  return s;
}

// A measured curve of the particle at the given parameters: scale·I + background + noise with
// σ = noise·scale·I (noise = 0: σ = 1e-3·scale·I as weights, no noise added). The regridded and
// the unregridded points are the same.
struct SyntheticMeasurement {
  double volume, radius, contrast;
  double scale = 2e-4;
  double background = 0.0;  // absolute constant added to every point
  double noise = 0.01;      // relative σ
  unsigned seed = 12345;
  double two_thirds = tessel::kSearchTwoThirds;  // exponent of the atomic volume in Ĉ
};

inline tessel::FitData synthetic_data(const SyntheticParticle& p, const SyntheticMeasurement& m,
                                      std::vector<double> s) {
  tessel::FitData d;
  std::mt19937 random(m.seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  for (const double q : s) {
    const double clean = m.scale * p.intensity(q, m.volume, m.radius, m.contrast, m.two_thirds);
    const double sigma = (m.noise > 0 ? m.noise : 1e-3) * clean;
    const double value = clean + m.background + (m.noise > 0 ? sigma * normal(random) : 0.0);
    d.s_r.push_back(q);
    d.i_r.push_back(value);
    d.w_r.push_back(1.0 / (sigma * sigma));
  }
  d.s_e = d.s_r;
  d.i_e = d.i_r;
  d.w_e = d.w_r;
  return d;
}

}  // namespace tessel_test
