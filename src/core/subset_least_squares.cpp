// Bounded least squares from the normal equations of a few columns: semi-definite Cholesky,
// the unconstrained solution when it keeps the bounds, else the bounded solver on (R, d).
#include "core/subset_least_squares.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "core/bounded_lsq.hpp"

namespace tessel {

namespace {

// A pivot at most this fraction of its column's own G_jj marks a dependent column: the part of
// the column outside the span of those before it is below 1e-5 of its length. No measured
// curve tells such columns apart, and keeping the condition of G below about 1e10 keeps the
// normal equations accurate enough to rank subsets.
constexpr double kDependentPivot = 1e-10;

constexpr std::size_t kMax = kMaxNormalColumns;

}  // namespace

NormalSolve solve_normal_bounded(std::span<const double> g, std::span<const double> h, double bb,
                                 std::span<const double> bl, std::span<const double> bu,
                                 std::span<double> x, bool stop_at_bound) {
  const std::size_t n = h.size();
  assert(n >= 1 && n <= kMax);
  assert(g.size() == n * n && bl.size() == n && bu.size() == n && x.size() >= n);
  const auto at = [&](std::size_t i, std::size_t j) { return g[i * n + j]; };

  NormalSolve out;
  // Cholesky by columns in order: kept[c] is the variable of the c-th kept column, R[c][e] the
  // upper triangle over the kept columns.
  std::array<std::size_t, kMax> kept{};
  std::array<bool, kMax> dependent{};
  std::array<std::array<double, kMax>, kMax> r{};
  std::size_t p = 0;
  for (std::size_t j = 0; j < n; ++j) {
    // Column p of R: R[c][p] = (G[kept c][j] − Σ_{e<c} R[e][c]·R[e][p]) / R[c][c].
    double pivot = at(j, j);
    for (std::size_t c = 0; c < p; ++c) {
      double v = at(kept[c], j);
      for (std::size_t e = 0; e < c; ++e) v -= r[e][c] * r[e][p];
      r[c][p] = v / r[c][c];
      pivot -= r[c][p] * r[c][p];
    }
    if (!(at(j, j) > 0.0) || !(pivot > kDependentPivot * at(j, j))) {
      dependent[j] = true;
      ++out.dependent;
      continue;
    }
    r[p][p] = std::sqrt(pivot);
    kept[p] = j;
    ++p;
  }

  // Dependent columns are held at clamp(0, bl, bu); a non-zero value moves its share of A·x to
  // the right-hand side: h' = h − G·x_held, b'ᵀb' = bᵀb − 2·hᵀx_held + x_heldᵀG·x_held.
  std::array<double, kMax> held{};
  bool any_held = false;
  for (std::size_t j = 0; j < n; ++j) {
    held[j] = dependent[j] ? std::clamp(0.0, bl[j], bu[j]) : 0.0;
    x[j] = held[j];
    any_held = any_held || held[j] != 0.0;
  }
  std::array<double, kMax> hk{};  // h' of the kept columns
  for (std::size_t c = 0; c < p; ++c) hk[c] = h[kept[c]];
  double rest = bb;
  if (any_held) {
    for (std::size_t c = 0; c < p; ++c) {
      for (std::size_t j = 0; j < n; ++j) hk[c] -= at(kept[c], j) * held[j];
    }
    for (std::size_t i = 0; i < n; ++i) {
      rest -= 2.0 * h[i] * held[i];
      for (std::size_t j = 0; j < n; ++j) rest += held[i] * at(i, j) * held[j];
    }
  }
  if (p == 0) {
    out.residual = std::max(rest, 0.0);
    return out;
  }

  // Rᵀ·d = h' (forward), then z = R⁻¹·d (backward).
  std::array<double, kMax> d{};
  double dd = 0.0;
  for (std::size_t c = 0; c < p; ++c) {
    double v = hk[c];
    for (std::size_t e = 0; e < c; ++e) v -= r[e][c] * d[e];
    d[c] = v / r[c][c];
    dd += d[c] * d[c];
  }
  std::array<double, kMax> z{};
  bool inside = true;
  for (std::size_t c = p; c-- > 0;) {
    double v = d[c];
    for (std::size_t e = c + 1; e < p; ++e) v -= r[c][e] * z[e];
    z[c] = v / r[c][c];
    inside = inside && z[c] >= bl[kept[c]] && z[c] <= bu[kept[c]];
  }
  if (inside || stop_at_bound) {
    for (std::size_t c = 0; c < p; ++c) x[kept[c]] = z[c];
    out.residual = std::max(rest - dd, 0.0);
    out.bounded = !inside;
    return out;
  }

  // The square problem min ‖R·y − d‖ within the kept columns' bounds (A by columns).
  out.bounded = true;
  std::array<double, kMax * kMax> a{};
  std::array<double, kMax> lo{}, hi{}, y{}, w{}, zz{};
  for (std::size_t c = 0; c < p; ++c) {
    lo[c] = bl[kept[c]];
    hi[c] = bu[kept[c]];
    for (std::size_t row = 0; row <= c; ++row) a[c * p + row] = r[row][c];
  }
  std::array<double, kMax * (kMax + 2)> act{};
  std::array<int, kMax + 1> istate{};
  const BvlsWork work{std::span<double>(w.data(), p), std::span<double>(act.data(), p * (p + 2)),
                      std::span<double>(zz.data(), p), std::span<int>(istate.data(), p + 1)};
  const int m = static_cast<int>(p);
  (void)bvls_solve(0, m, m, m, std::span<const double>(a.data(), p * p),
                   std::span<const double>(d.data(), p), std::span<const double>(lo.data(), p),
                   std::span<const double>(hi.data(), p), std::span<double>(y.data(), p), work);
  double misfit = 0.0;
  for (std::size_t row = 0; row < p; ++row) {
    double v = -d[row];
    for (std::size_t c = row; c < p; ++c) v += r[row][c] * y[c];
    misfit += v * v;
  }
  for (std::size_t c = 0; c < p; ++c) x[kept[c]] = y[c];
  out.residual = std::max(rest - dd + misfit, 0.0);
  return out;
}

}  // namespace tessel
