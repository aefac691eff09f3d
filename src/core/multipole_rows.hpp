// Inner loops of the multipole sums over atoms and envelope directions: a source at one s point
// adds w_l·conj(Y_lm) to every coefficient (l, m) with l below a cut-off order.
#pragma once

#include <complex>
#include <span>

#include "core/harmonic_tables.hpp"

namespace tessel::multipole {

// The coefficients of one s point as doubles (re, im) in harmonic-index order: row l, the pairs
// m = 0..l, occupies doubles l(l+1) up to (l+1)(l+2) − 1.
constexpr int row_begin(int l) { return l * (l + 1); }
constexpr int row_end(int l) { return (l + 1) * (l + 2); }

// conj(Y) of every pair, interleaved as (re, −im), so that adding w·conj(Y) to an interleaved
// coefficient row is one real multiply-add per double.
inline void conjugate_interleaved(std::span<const std::complex<double>> y, double* out) {
  for (std::size_t p = 0; p < y.size(); ++p) {
    out[2 * p] = y[p].real();
    out[2 * p + 1] = -y[p].imag();
  }
}

// out[row l] += w[l]·y[row l] for l = 0..count−1.
inline void add_rows(double* __restrict out, const double* __restrict y,
                     const double* __restrict w, int count) {
  for (int l = 0; l < count; ++l) {
    const double wl = w[l];
    for (int i = row_begin(l); i < row_end(l); ++i) out[i] += wl * y[i];
  }
}

// The same for two sums that share the harmonics: out1 with the weights w1, out2 with w2.
inline void add_rows2(double* __restrict out1, double* __restrict out2,
                      const double* __restrict y, const double* __restrict w1,
                      const double* __restrict w2, int count) {
  for (int l = 0; l < count; ++l) {
    const double a = w1[l];
    const double b = w2[l];
    for (int i = row_begin(l); i < row_end(l); ++i) {
      out1[i] += a * y[i];
      out2[i] += b * y[i];
    }
  }
}

}  // namespace tessel::multipole
