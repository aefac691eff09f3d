// Partial scattering amplitudes as multipole expansions: one complex coefficient per harmonic
// (l, m), 0 ≤ m ≤ l ≤ L, and per point of the s grid.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "core/harmonic_tables.hpp"

namespace tessel {

// One partial amplitude X_lm(s_k) in the normalisation
//   X_lm(s) = √(2/π)·i^l·Σ_sources f(s)·j_l(s·r)·conj(Y_lm(θ, φ)),
// so that 2π²·Σ_l (|X_l0|² + 2·Σ_{m≥1} |X_lm|²) is the orientational average of |X|².
// The program keeps three: the atoms in vacuum (A, `atomalm`), the displaced solvent at unit
// density (C, `vdwalm`) and the hydration shell at unit density (B, `bordalm`).
//
// Storage is column-major with the harmonic index as the row: all (L+1)(L+2)/2 coefficients of
// point 0, then those of point 1, and so on. This is the order of the save file, and the atom
// loops update the coefficients of one s point as one contiguous run.
class PartialAmplitudes {
 public:
  PartialAmplitudes() = default;
  // All zero. Throws FatalStop("Allocation would exceed memory limit") when memory runs out.
  PartialAmplitudes(int l_max, int n_points);
  // Takes over coefficients in the storage order below (as the save file holds them);
  // values.size() must be (L+1)(L+2)/2 · n_points.
  PartialAmplitudes(int l_max, int n_points, std::vector<std::complex<double>> values);

  int l_max() const { return l_max_; }
  int pair_count() const { return harmonic_count(l_max_); }
  int n_points() const { return n_points_; }
  bool empty() const { return values_.empty(); }

  // Coefficient of 0-based harmonic index i = harmonic_index(l, m) at 0-based point k.
  std::complex<double>& operator()(int i, int k) { return values_[offset(i, k)]; }
  const std::complex<double>& operator()(int i, int k) const { return values_[offset(i, k)]; }
  // Coefficient (l, m) at point k, 0 ≤ m ≤ l ≤ L.
  std::complex<double> at(int l, int m, int k) const { return (*this)(harmonic_index(l, m), k); }

  // The coefficients of point k in harmonic-index order.
  std::span<std::complex<double>> point(int k);
  std::span<const std::complex<double>> point(int k) const;
  // Every coefficient, point after point with the harmonic index fastest.
  std::span<std::complex<double>> values() { return values_; }
  std::span<const std::complex<double>> values() const { return values_; }

  // Hands the coefficients over in the storage order, leaving this amplitude empty.
  std::vector<std::complex<double>> release();

  // Adds another amplitude of the same shape, element by element.
  void add(const PartialAmplitudes& other);
  // Multiplies every element by a real factor.
  void scale(double factor);
  // Multiplies every element by factor·i^l (the factor real), turning by i^l exactly.
  void scale_with_phase(double factor);

 private:
  std::size_t offset(int i, int k) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(pair_count()) +
           static_cast<std::size_t>(i);
  }
  int l_max_ = 0;
  int n_points_ = 0;
  std::vector<std::complex<double>> values_;
};

}  // namespace tessel
