// Partial intensities, the excluded-volume scale, the intensity and the derived parameters.
#include "core/intensity.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace tessel {

namespace {

constexpr double kPi = std::numbers::pi;

// The excluded-volume amplitude keeps its Gaussian shape up to this s (1/Å).
constexpr double kTailStart = 1.0;
// Floors of the tail rule and of the slope rule.
constexpr double kMinRootSolvent = 1e-8;
constexpr double kMinSlopeS2 = 1e-30;

constexpr double kPartialSpecificVolume = 0.73;  // cm³/g
constexpr double kAvogadroMantissa = 6.023;      // Avogadro's number / 10²³
// With 10²⁴ Å³ per cm³, M·0.73/(6.023·10²³) cm³ is M·0.73·10/6.023 Å³.
constexpr double kCubicAngstromScale = 10.0;

constexpr double kSamplingCoefficientLimit = 3.3;
constexpr double kSamplingLimit = 0.5;

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

int resolve_l_max(const PartialAmplitudes& x, int l_max) { return l_max < 0 ? x.l_max() : l_max; }

}  // namespace

std::vector<double> partial_intensity(const PartialAmplitudes& x, int l_min, int l_max) {
  l_max = resolve_l_max(x, l_max);
  assert(0 <= l_min && l_max <= x.l_max());
  std::vector<double> out(as_size(x.n_points()), 0.0);
  for (int k = 0; k < x.n_points(); ++k) {
    const std::complex<double>* p = x.point(k).data();
    double sum = 0.0;
    for (int l = l_min; l <= l_max; ++l) {
      const int first = harmonic_index(l, 0);
      double higher = 0.0;
      for (int m = 1; m <= l; ++m) higher += std::norm(p[first + m]);
      sum += std::norm(p[first]) + 2.0 * higher;
    }
    out[as_size(k)] = kTwoPiSquared * sum;
  }
  return out;
}

std::vector<double> cross_intensity(const PartialAmplitudes& x, const PartialAmplitudes& y,
                                    int l_min, int l_max) {
  assert(x.l_max() == y.l_max() && x.n_points() == y.n_points());
  l_max = resolve_l_max(x, l_max);
  assert(0 <= l_min && l_max <= x.l_max());
  std::vector<double> out(as_size(x.n_points()), 0.0);
  for (int k = 0; k < x.n_points(); ++k) {
    const std::complex<double>* p = x.point(k).data();
    const std::complex<double>* q = y.point(k).data();
    double sum = 0.0;
    for (int l = l_min; l <= l_max; ++l) {
      const int first = harmonic_index(l, 0);
      // Re(a·conj(b)) = a_re·b_re + a_im·b_im
      auto re = [](std::complex<double> a, std::complex<double> b) {
        return a.real() * b.real() + a.imag() * b.imag();
      };
      double higher = 0.0;
      for (int m = 1; m <= l; ++m) higher += re(p[first + m], q[first + m]);
      sum += re(p[first], q[first]) + 2.0 * higher;
    }
    out[as_size(k)] = kFourPiSquared * sum;
  }
  return out;
}

PartialIntensities partial_intensities(const PartialAmplitudes& a, const PartialAmplitudes& c,
                                       const PartialAmplitudes& b) {
  PartialIntensities p;
  p.atoms = partial_intensity(a);
  p.solvent = partial_intensity(c);
  p.shell = partial_intensity(b);
  p.atoms_solvent = cross_intensity(a, c);
  p.atoms_shell = cross_intensity(a, b);
  p.solvent_shell = cross_intensity(c, b);
  return p;
}

double model_displaced_volume(const PartialAmplitudes& c) {
  if (c.empty()) return 0.0;
  return c(0, 0).real() * kPiSqrt2;
}

void normalise_solvent_amplitude(PartialAmplitudes& c, double displaced_volume, int n_atoms) {
  if (!(displaced_volume > 0.0) || n_atoms <= 0) return;
  c.scale(1.0 / (displaced_volume / n_atoms));
}

std::vector<double> excluded_volume_scale(std::span<const double> s, std::span<const double> i_c,
                                          double rho0, double excluded_volume, int n_atoms,
                                          double atomic_radius, double two_thirds) {
  assert(s.size() == i_c.size());
  assert(n_atoms >= 1);
  const std::size_t n = s.size();
  std::vector<double> scale(n);
  const double amplitude = rho0 * (excluded_volume / n_atoms);
  const double width = std::pow(average_atomic_volume(atomic_radius), two_thirds) / (4.0 * kPi);
  for (std::size_t k = 0; k < n; ++k) scale[k] = amplitude * std::exp(-s[k] * s[k] * width);
  if (n == 0 || !(s[n - 1] > kTailStart)) return scale;

  // Last point below 1.0 (the grid is ascending); the first point when none is.
  const auto above = std::lower_bound(s.begin(), s.end(), kTailStart);
  const std::size_t k0 = above == s.begin() ? 0 : static_cast<std::size_t>(above - s.begin()) - 1;
  auto product = [&](std::size_t k) { return scale[k] * std::sqrt(i_c[k]) * s[k] * s[k]; };
  std::size_t peak = k0;
  double best = std::max(product(k0), 0.0);
  for (std::size_t k = k0 + 1; k < n; ++k) {
    const double p = product(k);
    if (p >= best) {
      best = p;
      peak = k;
    }
  }
  const double p_peak = product(peak);
  for (std::size_t k = peak + 1; k < n; ++k) {
    scale[k] = p_peak / (std::max(std::sqrt(i_c[k]), kMinRootSolvent) * s[k] * s[k]);
  }
  return scale;
}

std::vector<double> model_intensity(const PartialIntensities& p, std::span<const double> scale,
                                    double delta_rho) {
  const std::size_t n = scale.size();
  assert(p.atoms.size() == n && p.solvent.size() == n && p.shell.size() == n);
  assert(p.atoms_solvent.size() == n && p.atoms_shell.size() == n && p.solvent_shell.size() == n);
  std::vector<double> out(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double c = scale[k];
    out[k] = p.atoms[k] + c * c * p.solvent[k] + delta_rho * delta_rho * p.shell[k] -
             c * p.atoms_solvent[k] + delta_rho * p.atoms_shell[k] -
             c * delta_rho * p.solvent_shell[k];
  }
  return out;
}

double combined_rg(const ForwardValues& forward, double delta_rho, double electron_rg,
                   double shape_rg, double shell_rg) {
  if (!(forward.intensity > 0.0)) return 0.0;
  const double moment = electron_rg * electron_rg * std::sqrt(forward.atoms) -
                        forward.scale * std::sqrt(forward.solvent) * shape_rg * shape_rg +
                        delta_rho * std::sqrt(forward.shell) * shell_rg * shell_rg;
  return std::sqrt(std::abs(moment) / std::sqrt(forward.intensity));
}

double slope_rg(std::span<const double> s, std::span<const double> intensity) {
  assert(s.size() == intensity.size());
  const int n = static_cast<int>(s.size());
  if (n == 0) return 0.0;
  const int g = std::min(n < 200 ? 2 : n / 100, n);  // 1-based
  const double i1 = std::abs(intensity[0]);
  const double ig = std::abs(intensity[as_size(g - 1)]);
  if (!(i1 > 0.0) || !(ig > 0.0)) return 0.0;
  const double sg = s[as_size(g - 1)];
  const double rg2 = 3.0 * (std::log(i1) - std::log(ig)) / std::max(sg * sg, kMinSlopeS2);
  return std::copysign(std::sqrt(std::abs(rg2)), rg2);
}

double average_electron_density(double forward_atoms, int n_dummy_residues, int n_atoms,
                                double excluded_volume, double residue_amplitude) {
  if (n_dummy_residues >= n_atoms) return kDummyModelElectronDensity;
  if (excluded_volume == 0.0) return 0.0;
  return (std::sqrt(forward_atoms) - residue_amplitude * n_dummy_residues) / excluded_volume;
}

MolecularQuantities molecular_quantities(double molecular_weight, double displaced_volume,
                                         int n_atoms, int n_dummy_residues) {
  MolecularQuantities q;
  q.molecular_weight = molecular_weight;
  q.dry_volume = molecular_weight * kPartialSpecificVolume * kCubicAngstromScale / kAvogadroMantissa;
  q.displaced_volume = displaced_volume;
  q.reported_volume = displaced_volume + kDummyResidueVolume * n_dummy_residues;
  q.average_atom = average_atom(displaced_volume, n_atoms, n_dummy_residues);
  return q;
}

bool sampling_too_coarse(double envelope_f00, double s_max, double max_envelope_radius,
                         int n_points) {
  if (n_points < 2) return false;
  return envelope_f00 > kSamplingCoefficientLimit &&
         s_max * max_envelope_radius / (n_points - 1) > kSamplingLimit;
}

}  // namespace tessel
