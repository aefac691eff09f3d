// Spherical-harmonic tables: the (l, m) storage order, associated Legendre functions on a fixed
// grid of cos θ, azimuthal phases, and Y_lm evaluated from them, with the Fibonacci direction grid.
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "core/fibonacci_grid.hpp"

namespace tessel {

// Storage order of the coefficients (l, m), 0 ≤ m ≤ l: 0-based index l(l+1)/2 + m, which is the
// 1-based position l(l+1)/2 + m + 1 of the amplitude files minus one. Negative m are not stored.
constexpr int harmonic_index(int l, int m) { return l * (l + 1) / 2 + m; }
// Number of (l, m) pairs with l ≤ l_max: (l_max+1)(l_max+2)/2.
constexpr int harmonic_count(int l_max) { return (l_max + 1) * (l_max + 2) / 2; }

// Legendre functions are tabulated at x_k = −1 + 0.002·k, k = 0..1000, and the phases e^{imφ} at
// φ_i = i·π/1000, i = 0..2000.
inline constexpr int kLegendrePoints = 1001;
inline constexpr double kLegendreStep = 0.002;
inline constexpr int kAzimuthPoints = 2001;

// The tables of one job, built once by make_harmonic_tables and then only read.
class HarmonicTables {
 public:
  int l_max() const { return l_max_; }
  int pair_count() const { return harmonic_count(l_max_); }
  const FibonacciGrid& grid() const { return grid_; }

  // P_l^m(x_k) with the Condon–Shortley phase, point-major: row k holds all pairs in index order.
  std::span<const double> legendre_row(int k) const;
  double legendre(int l, int m, int k) const;
  // √((l−m)!/(l+m)!) per pair.
  std::span<const double> normalisation() const { return normalisation_; }
  // √((2l+1)/(4π))·√((l−m)!/(l+m)!) per pair: Y_lm = factor·P_l^m(cos θ)·e^{imφ}.
  std::span<const double> y_factor() const { return y_factor_; }
  // e^{imφ_i} for m = 0..l_max, row i holds all m.
  std::span<const std::complex<double>> azimuth_row(int i) const;
  // i^l for l = 0..l_max.
  std::span<const std::complex<double>> phase() const { return phase_; }
  // (2l+1)!! for l = 0..l_max+2.
  std::span<const double> odd_double_factorial() const { return odd_double_factorial_; }

 private:
  friend HarmonicTables make_harmonic_tables(int l_max, int fibonacci_order);
  int l_max_ = 0;
  FibonacciGrid grid_;
  std::vector<double> legendre_;        // kLegendrePoints × pair_count
  std::vector<double> normalisation_;   // pair_count
  std::vector<double> y_factor_;        // √((2l+1)/(4π))·√((l−m)!/(l+m)!) per pair
  std::vector<std::complex<double>> azimuth_;  // kAzimuthPoints × (l_max + 1)
  std::vector<std::complex<double>> phase_;
  std::vector<double> odd_double_factorial_;
};

// Builds the direction grid of the given order and the tables up to harmonic order l_max
// (0..99). Throws FatalStop for a grid order that is too high, and
// FatalStop("Allocation would exceed memory limit") if the tables cannot be allocated.
HarmonicTables make_harmonic_tables(int l_max, int fibonacci_order);

// Y_lm(θ, φ) for every pair with l ≤ l_upto (default: the tables' l_max), written to
// out[harmonic_index(l, m)]; out must hold harmonic_count(l_upto) values. cos θ in [−1, 1],
// φ in [0, 2π). The values come from the tables: P_l^m interpolated linearly in cos θ and e^{imφ}
// from the nearest tabulated azimuth (phase error up to m·π/2000). For l ≤ 15 the magnitude is
// within about 3e-4 of the exact Y_lm where |cos θ| ≤ 0.9 and 4e-3 where |cos θ| ≤ 0.99; in the
// last interval before a pole, where P_l^m of odd m behaves like sin θ, the error reaches ~0.2
// (l = 15, m = 1).
void harmonics_for_direction(const HarmonicTables& tables, double cos_theta, double phi,
                             std::span<std::complex<double>> out, int l_upto = -1);

// The same harmonics as two factors, Y_lm = r_lm·e^{imφ}: writes the real r_lm of every pair
// with l ≤ l_max to r[harmonic_index(l, m)] (r holds pair_count() values) and returns the phases
// e^{imφ}, m = 0..l_max. r_lm·cos mφ and r_lm·sin mφ are, to the bit, harmonics_for_direction's
// real and imaginary parts.
//
// The phases' row, and r when it holds pair_count() + kRowOverrun values, may be read
// kRowOverrun values past their ends (to fill whole vectors).
inline constexpr std::size_t kRowOverrun = 8;
std::span<const std::complex<double>> harmonic_factors(const HarmonicTables& tables,
                                                       double cos_theta, double phi,
                                                       std::span<double> r);

// One Y_lm(θ, φ) from the tables, |m| ≤ l ≤ l_max; for m < 0, (−1)^m·conj(Y_l|m|).
std::complex<double> spherical_harmonic(const HarmonicTables& tables, int l, int m,
                                        double cos_theta, double phi);

// Projection of values F_j given on the grid directions:
// c_lm = (4π/N)·Σ_j F_j·conj(Y_lm(θ_j, φ_j)), for every pair with l ≤ l_upto, in index order.
std::vector<std::complex<double>> project_on_grid(const HarmonicTables& tables,
                                                  std::span<const double> values, int l_upto);
// The same coefficient for one pair (l, m), 0 ≤ m ≤ l ≤ l_max.
std::complex<double> project_on_grid(const HarmonicTables& tables,
                                     std::span<const double> values, int l, int m);

}  // namespace tessel
