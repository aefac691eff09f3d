// Spherical-harmonic tables and Y_lm evaluated from them.
#include "core/harmonic_tables.hpp"

#include <cassert>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>
#include <string>

#include "core/errors.hpp"
#include "core/kernels/simd_target.hpp"
#include "core/run_settings.hpp"

namespace tessel {

namespace {

constexpr double kPi = std::numbers::pi;

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Row k (0-based) of the Legendre table and the weight of row k+1 for a given cos θ. The 1-based
// row is ⌊h + 1.0001⌋ with h = (cos θ + 1)/0.002, capped at 1000, and the weight h − k + 1; the
// small offset makes a cos θ that lands a rounding error below a node use the node's own row.
struct LegendreSpot {
  std::size_t row;
  double weight;
};

LegendreSpot legendre_spot(double cos_theta) {
  const double h = (cos_theta + 1.0) / kLegendreStep;
  double k = std::floor(h + 1.0001);
  if (k > kLegendrePoints - 1) k = kLegendrePoints - 1;
  if (!(k >= 1.0)) k = 1.0;  // below −1 or NaN: stay inside the table
  return {static_cast<std::size_t>(k) - 1, h - k + 1.0};
}

// Nearest tabulated azimuth: 1-based ⌊φ/(π/1000) + 1.5⌋, kept inside the table.
std::size_t azimuth_row_index(double phi) {
  double i = std::floor(phi / (kPi / 1000.0) + 1.5);
  if (i > kAzimuthPoints) i = kAzimuthPoints;
  if (!(i >= 1.0)) i = 1.0;
  return static_cast<std::size_t>(i) - 1;
}

// P_l^m(x) for all pairs l ≤ l_max in index order (Condon–Shortley phase): P_m^m from the
// closed form, then the upward recurrence in l, (l−m)·P_l^m = (2l−1)·x·P_{l−1}^m − (l+m−1)·P_{l−2}^m.
// Order by order: all m of order l from orders l−1 and l−2, a loop over contiguous memory that
// vectorises (each value is formed exactly as the recurrence for its own m would).
[[gnu::always_inline]] inline void legendre_rows(int l_max, double x, double* out) {
  const double s = std::sqrt((1.0 - x) * (1.0 + x));
  double pmm = 1.0;  // P_m^m, built up as (−1)^m·(2m−1)!!·s^m
  out[0] = pmm;
  for (int l = 1; l <= l_max; ++l) {
    double* row = out + harmonic_index(l, 0);
    const double* before = out + harmonic_index(l - 1, 0);
    const double* two_before = l >= 2 ? out + harmonic_index(l - 2, 0) : nullptr;
    const double a = (2.0 * l - 1.0) * x;
    for (int m = 0; m + 1 < l; ++m) {
      row[m] = (a * before[m] - (l + m - 1.0) * two_before[m]) / (l - m);
    }
    // m = l − 1: P_{l−2}^m does not exist and counts as 0.
    row[l - 1] = (a * before[l - 1] - (2.0 * l - 2.0) * 0.0) / 1.0;
    pmm *= -(2.0 * l - 1.0) * s;
    row[l] = pmm;
  }
}

void legendre_rows_baseline(int l_max, double x, double* out) { legendre_rows(l_max, x, out); }
TESSEL_TARGET_AVX512 void legendre_rows_avx512(int l_max, double x, double* out) {
  legendre_rows(l_max, x, out);
}

void legendre_all(int l_max, double x, double* out) {
  if (avx512_available()) return legendre_rows_avx512(l_max, x, out);
  legendre_rows_baseline(l_max, x, out);
}

// r_lm = N_lm·P_l^m(cos θ) interpolated between the two tabulated rows about cos θ (weight w of
// the upper one), the real factor of Y_lm = r_lm·e^{imφ}; every caller forms it alike.
struct FactorRows {
  const double* p0;
  const double* p1;
  const double* factor;
  double w;
  [[gnu::always_inline]] double operator[](std::size_t i) const {
    return factor[i] * (p0[i] + (p1[i] - p0[i]) * w);
  }
};

FactorRows factor_rows(const HarmonicTables& tables, double cos_theta) {
  const auto [row, w] = legendre_spot(cos_theta);
  const double* p0 = tables.legendre_row(static_cast<int>(row)).data();
  return {p0, p0 + tables.pair_count(), tables.y_factor().data(), w};
}

std::span<const std::complex<double>> phases_at(const HarmonicTables& tables, double phi) {
  return tables.azimuth_row(static_cast<int>(azimuth_row_index(phi)));
}

// Every pair's r in one run; one entry per instruction set, multiplies and adds kept apart.
void interpolate_factors_baseline(const FactorRows& rows, std::size_t pairs, double* r) {
  for (std::size_t i = 0; i < pairs; ++i) r[i] = rows[i];
}
TESSEL_TARGET_AVX512 void interpolate_factors_avx512(const FactorRows& rows, std::size_t pairs,
                                                    double* r) {
  for (std::size_t i = 0; i < pairs; ++i) r[i] = rows[i];
}

}  // namespace

std::span<const double> HarmonicTables::legendre_row(int k) const {
  assert(k >= 0 && k < kLegendrePoints);
  return std::span<const double>(legendre_).subspan(as_size(k) * as_size(pair_count()),
                                                   as_size(pair_count()));
}

double HarmonicTables::legendre(int l, int m, int k) const {
  assert(0 <= m && m <= l && l <= l_max_);
  return legendre_row(k)[as_size(harmonic_index(l, m))];
}

std::span<const std::complex<double>> HarmonicTables::azimuth_row(int i) const {
  assert(i >= 0 && i < kAzimuthPoints);
  return std::span<const std::complex<double>>(azimuth_).subspan(as_size(i) * as_size(l_max_ + 1),
                                                               as_size(l_max_ + 1));
}

HarmonicTables make_harmonic_tables(int l_max, int fibonacci_order) {
  if (l_max < 0 || l_max > kMaxHarmonicOrder) {
    throw std::invalid_argument("harmonic order must lie in 0.." +
                                std::to_string(kMaxHarmonicOrder) + ", got " +
                                std::to_string(l_max));
  }
  HarmonicTables t;
  t.l_max_ = l_max;
  t.grid_ = make_fibonacci_grid(fibonacci_order);
  const int pairs = harmonic_count(l_max);
  try {
    t.legendre_.resize(as_size(kLegendrePoints) * as_size(pairs));
    // Eight phases past the last row, so that a row can be read eight pairs past its end.
    t.azimuth_.resize(as_size(kAzimuthPoints) * as_size(l_max + 1) + kRowOverrun);
  } catch (const std::bad_alloc&) {
    throw FatalStop("Allocation would exceed memory limit");
  }

  for (int k = 0; k < kLegendrePoints; ++k) {
    legendre_all(l_max, -1.0 + kLegendreStep * k, &t.legendre_[as_size(k) * as_size(pairs)]);
  }

  t.normalisation_.resize(as_size(pairs));
  t.y_factor_.resize(as_size(pairs));
  for (int l = 0; l <= l_max; ++l) {
    double n = 1.0;
    const double norm_l = std::sqrt((2.0 * l + 1.0) / (4.0 * kPi));
    for (int m = 0; m <= l; ++m) {
      if (m > 0) n /= std::sqrt((l + m) * (l - m + 1.0));
      const auto i = as_size(harmonic_index(l, m));
      t.normalisation_[i] = n;
      t.y_factor_[i] = norm_l * n;
    }
  }

  // e^{imφ_i} with φ_i = i·π/1000 is e^{iqπ/1000} for q = m·i mod 2000: one turn of 2000 phases,
  // the angle reduced exactly before its cosine and sine are taken.
  constexpr int kTurn = 2000;  // steps of π/1000 in a full turn
  std::vector<std::complex<double>> turn(kTurn);
  for (int q = 0; q < kTurn; ++q) {
    // The angle in extended precision, so that each phase is within an ulp of the exact one.
    const long double angle = q * std::numbers::pi_v<long double> / 1000.0L;
    turn[as_size(q)] = {static_cast<double>(std::cos(angle)), static_cast<double>(std::sin(angle))};
  }
  for (int i = 0; i < kAzimuthPoints; ++i) {
    for (int m = 0; m <= l_max; ++m) {
      t.azimuth_[as_size(i) * as_size(l_max + 1) + as_size(m)] = turn[as_size((m * i) % kTurn)];
    }
  }

  // i^l: each entry the previous one turned by a quarter, exactly.
  t.phase_.resize(as_size(l_max + 1));
  t.phase_[0] = {1.0, 0.0};
  for (int l = 1; l <= l_max; ++l) {
    const auto& p = t.phase_[as_size(l - 1)];
    t.phase_[as_size(l)] = {-p.imag(), p.real()};
  }

  t.odd_double_factorial_.resize(as_size(l_max + 3));
  double f = 1.0;
  for (int l = 0; l <= l_max + 2; ++l) {
    f *= 2.0 * l + 1.0;
    t.odd_double_factorial_[as_size(l)] = f;
  }
  return t;
}

std::span<const std::complex<double>> harmonic_factors(const HarmonicTables& tables,
                                                       double cos_theta, double phi,
                                                       std::span<double> r) {
  assert(r.size() >= as_size(tables.pair_count()));
  const FactorRows rows = factor_rows(tables, cos_theta);
  const auto pairs = as_size(tables.pair_count());
  if (avx512_available()) {
    interpolate_factors_avx512(rows, pairs, r.data());
    return phases_at(tables, phi);
  }
  interpolate_factors_baseline(rows, pairs, r.data());
  return phases_at(tables, phi);
}

void harmonics_for_direction(const HarmonicTables& tables, double cos_theta, double phi,
                             std::span<std::complex<double>> out, int l_upto) {
  if (l_upto < 0) l_upto = tables.l_max();
  assert(l_upto <= tables.l_max());
  assert(out.size() >= as_size(harmonic_count(l_upto)));
  const FactorRows rows = factor_rows(tables, cos_theta);
  const std::span<const std::complex<double>> e = phases_at(tables, phi);
  for (int l = 0; l <= l_upto; ++l) {
    const auto first = as_size(harmonic_index(l, 0));
    for (std::size_t m = 0; m <= as_size(l); ++m) {
      const double r = rows[first + m];
      out[first + m] = {r * e[m].real(), r * e[m].imag()};
    }
  }
}

std::complex<double> spherical_harmonic(const HarmonicTables& tables, int l, int m,
                                        double cos_theta, double phi) {
  assert(0 <= l && l <= tables.l_max() && -l <= m && m <= l);
  const int am = m < 0 ? -m : m;
  const double r = factor_rows(tables, cos_theta)[as_size(harmonic_index(l, am))];
  const std::complex<double> e = phases_at(tables, phi)[as_size(am)];
  const std::complex<double> y{r * e.real(), r * e.imag()};
  if (m >= 0) return y;
  return (am % 2 == 0) ? std::conj(y) : -std::conj(y);
}

std::vector<std::complex<double>> project_on_grid(const HarmonicTables& tables,
                                                  std::span<const double> values, int l_upto) {
  const FibonacciGrid& grid = tables.grid();
  assert(values.size() == as_size(grid.size()));
  assert(0 <= l_upto && l_upto <= tables.l_max());
  const auto pairs = as_size(harmonic_count(l_upto));
  std::vector<std::complex<double>> c(pairs);
  std::vector<double> r(as_size(tables.pair_count()) + kRowOverrun);
  for (int j = 0; j < grid.size(); ++j) {
    const auto jj = as_size(j);
    const auto e = harmonic_factors(tables, grid.cos_theta()[jj], grid.phi()[jj], r);
    const double v = values[jj];
    // c += v·conj(Y) with Y = (r·cos mφ, r·sin mφ), formed as the complex product would.
    for (int l = 0; l <= l_upto; ++l) {
      const auto first = as_size(harmonic_index(l, 0));
      for (std::size_t m = 0; m <= as_size(l); ++m) {
        const double re = r[first + m] * e[m].real();
        const double im = r[first + m] * e[m].imag();
        c[first + m] += std::complex<double>(v * re, v * -im);
      }
    }
  }
  const double w = 4.0 * kPi / grid.size();
  for (auto& v : c) v *= w;
  return c;
}

std::complex<double> project_on_grid(const HarmonicTables& tables,
                                     std::span<const double> values, int l, int m) {
  const FibonacciGrid& grid = tables.grid();
  assert(values.size() == as_size(grid.size()));
  assert(0 <= m && m <= l && l <= tables.l_max());
  std::complex<double> c{};
  for (int j = 0; j < grid.size(); ++j) {
    const auto jj = as_size(j);
    c += values[jj] * std::conj(spherical_harmonic(tables, l, m, grid.cos_theta()[jj], grid.phi()[jj]));
  }
  return c * (4.0 * kPi / grid.size());
}

}  // namespace tessel
