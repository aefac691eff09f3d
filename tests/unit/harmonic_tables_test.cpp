// The harmonic tables: storage order, defining values of small tables, azimuth rows, the
// Legendre table against the standard library, and spherical harmonics at the nodes.
#include "core/harmonic_tables.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;
using cplx = std::complex<double>;

// The exact Y_lm with the Condon–Shortley phase (std::sph_legendre carries the (−1)^m).
cplx exact_y(int l, int m, double theta, double phi) {
  const int am = std::abs(m);
  const cplx y = std::sph_legendre(static_cast<unsigned>(l), static_cast<unsigned>(am), theta) *
                 std::polar(1.0, am * phi);
  if (m >= 0) return y;
  return (am % 2 == 0 ? 1.0 : -1.0) * std::conj(y);
}

// Azimuth of node i of the phase table: there the phase is exact.
double node_phi(int i) { return i * kPi / 1000.0; }

const HarmonicTables& tables_15() {
  static const HarmonicTables t = make_harmonic_tables(15, 17);
  return t;
}

}  // namespace

TEST(HarmonicIndex, FollowsTheStorageOrder) {
  // 1-based positions l(l+1)/2 + m + 1: (0,0)→1, (1,0)→2, (1,1)→3, (2,0)→4, (3,2)→9.
  EXPECT_EQ(harmonic_index(0, 0), 0);
  EXPECT_EQ(harmonic_index(1, 0), 1);
  EXPECT_EQ(harmonic_index(1, 1), 2);
  EXPECT_EQ(harmonic_index(2, 0), 3);
  EXPECT_EQ(harmonic_index(3, 2), 8);
  EXPECT_EQ(harmonic_count(15), 136);
  EXPECT_EQ(harmonic_count(99), 5050);
  // The index of (l, l) is the last before (l+1, 0): the pairs are packed without gaps.
  for (int l = 0; l < 99; ++l) EXPECT_EQ(harmonic_index(l, l) + 1, harmonic_index(l + 1, 0));
}

TEST(HarmonicTables, SmallTablesHoldTheirDefiningValues) {
  const HarmonicTables& t = tables_15();
  // √((l−m)!/(l+m)!) by hand.
  const struct {
    int l, m;
    double n;
  } norms[] = {{0, 0, 1.0},
               {2, 0, 1.0},
               {2, 1, std::sqrt(1.0 / 6.0)},
               {2, 2, std::sqrt(1.0 / 24.0)},
               {3, 3, std::sqrt(1.0 / 720.0)},
               {4, 1, std::sqrt(6.0 / 120.0)}};
  for (const auto& c : norms) {
    SCOPED_TRACE(testing::Message() << "l=" << c.l << " m=" << c.m);
    EXPECT_NEAR(t.normalisation()[static_cast<std::size_t>(harmonic_index(c.l, c.m))], c.n,
                1e-15 * c.n);
  }
  // i^l is exact: 1, i, −1, −i, …
  const cplx cycle[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  ASSERT_EQ(t.phase().size(), 16u);
  for (std::size_t l = 0; l < 16; ++l) EXPECT_EQ(t.phase()[l], cycle[l % 4]) << "l=" << l;
  // (2l+1)!!: 1, 3, 15, 105, 945, 10395; up to l = L+2 for the shell series.
  const double odd[] = {1, 3, 15, 105, 945, 10395};
  ASSERT_EQ(t.odd_double_factorial().size(), 18u);
  for (std::size_t l = 0; l < 6; ++l) EXPECT_EQ(t.odd_double_factorial()[l], odd[l]);
}

TEST(HarmonicTables, AzimuthRowsHoldTheTurnedPhases) {
  // Row i holds e^{imφ} at φ = i·π/1000 for m = 0..L, within about an ulp (the
  // reference in long double); the last row, φ = 2π, is the first again.
  const HarmonicTables t = make_harmonic_tables(99, 5);
  for (const int i : {0, 1, 7, 500, 999, 1000, 1313, 1999, 2000}) {
    const auto row = t.azimuth_row(i);
    for (int m = 0; m <= 99; ++m) {
      const long double angle = static_cast<long double>(m) * i * std::numbers::pi_v<long double> / 1000.0L;
      const auto e = row[static_cast<std::size_t>(m)];
      ASSERT_NEAR(e.real(), static_cast<double>(std::cos(angle)), 2.3e-16) << "i=" << i << " m=" << m;
      ASSERT_NEAR(e.imag(), static_cast<double>(std::sin(angle)), 2.3e-16) << "i=" << i << " m=" << m;
    }
  }
  EXPECT_EQ(t.azimuth_row(2000)[37], t.azimuth_row(0)[37]);
}

TEST(HarmonicTables, LegendreTableMatchesTheLibraryAtEveryNode) {
  // P_l^m with the Condon–Shortley phase is (−1)^m·std::assoc_legendre (which omits it).
  const HarmonicTables& t = tables_15();
  for (int k = 0; k < kLegendrePoints; ++k) {
    const double x = -1.0 + 0.002 * k;
    for (int l = 0; l <= 15; ++l) {
      for (int m = 0; m <= l; ++m) {
        const double want = (m % 2 == 0 ? 1.0 : -1.0) *
                            std::assoc_legendre(static_cast<unsigned>(l), static_cast<unsigned>(m), x);
        // Round-off of the recurrences, relative to the size of P_l^m on [−1, 1], which is
        // bounded by √((l+m)!/(l−m)!).
        const double size = std::exp(0.5 * (std::lgamma(l + m + 1.0) - std::lgamma(l - m + 1.0)));
        ASSERT_NEAR(t.legendre(l, m, k), want, 1e-14 * size)
            << "l=" << l << " m=" << m << " k=" << k;
      }
    }
  }
}

TEST(HarmonicTables, HighestOrderStaysFinite) {
  const HarmonicTables t = make_harmonic_tables(99, 10);
  for (int k = 0; k < kLegendrePoints; ++k) {
    for (const double p : t.legendre_row(k)) ASSERT_TRUE(std::isfinite(p)) << "k=" << k;
  }
  for (const double n : t.normalisation()) ASSERT_TRUE(std::isfinite(n) && n > 0.0);
  // P_99^99(0) = −197!! = −198!/(2^99·99!), a number near 1e186.
  const double log_df = std::lgamma(199.0) - 99.0 * std::log(2.0) - std::lgamma(100.0);
  const double p = t.legendre(99, 99, 500);
  EXPECT_LT(p, 0.0);
  EXPECT_NEAR(std::log(-p), log_df, 1e-10 * log_df);
  // Y_99,99 at the equator: its magnitude √(199/(4π))·√(1/198!)·197!! = √(199/(4π))·√(198!)/(2^99·99!).
  const double log_y = 0.5 * std::log(199.0 / (4.0 * kPi)) + 0.5 * std::lgamma(199.0) -
                       99.0 * std::log(2.0) - std::lgamma(100.0);
  EXPECT_NEAR(std::abs(spherical_harmonic(t, 99, 99, 0.0, 0.0)), std::exp(log_y), 1e-10);
}

TEST(SphericalHarmonic, IsExactAtTheTableNodes) {
  // At a node of both tables nothing is interpolated: Y must match the library to round-off.
  const HarmonicTables& t = tables_15();
  for (int k = 0; k < kLegendrePoints; k += 7) {
    const double x = -1.0 + 0.002 * k;
    const double phi = node_phi((k * 13) % 2000);
    for (int l = 0; l <= 15; ++l) {
      for (int m = -l; m <= l; ++m) {
        const cplx want = exact_y(l, m, std::acos(x), phi);
        ASSERT_LT(std::abs(spherical_harmonic(t, l, m, x, phi) - want), 1e-12 * std::max(1.0, std::abs(want)))
            << "l=" << l << " m=" << m << " k=" << k;
      }
    }
  }
}

TEST(SphericalHarmonic, LowOrdersMatchTheirClosedForms) {
  const HarmonicTables& t = tables_15();
  const double c00 = 1.0 / std::sqrt(4.0 * kPi);
  const double c10 = std::sqrt(3.0 / (4.0 * kPi));
  // Y_00 is constant and Y_10 linear in cos θ, so the interpolated table is exact for them at
  // any direction, the poles included.
  for (const double x : {-1.0, -0.99999, -0.7777, -0.0013, 0.0, 0.31415, 0.9987, 1.0}) {
    for (const double phi : {0.0, 1.234567, 3.0, 6.28}) {
      SCOPED_TRACE(testing::Message() << "cos θ=" << x << " φ=" << phi);
      const cplx y00 = spherical_harmonic(t, 0, 0, x, phi);
      const cplx y10 = spherical_harmonic(t, 1, 0, x, phi);
      EXPECT_NEAR(y00.real(), c00, 1e-15);
      EXPECT_EQ(y00.imag(), 0.0);
      EXPECT_NEAR(y10.real(), c10 * x, 1e-14);
      EXPECT_EQ(y10.imag(), 0.0);
    }
  }
  // Orders 1 and 2 with m ≠ 0, negative m included: closed forms of the textbook table. φ on a
  // node of the phase table; |cos θ| ≤ 0.9, where interpolating these functions of cos θ linearly
  // over steps of 0.002 is off by at most 0.002²/8·max|f''| ≈ 6e-6 (Y_21 at |cos θ| = 0.9).
  const double a1 = std::sqrt(3.0 / (8.0 * kPi));
  const double a2 = 0.5 * std::sqrt(15.0 / (2.0 * kPi));
  for (const double x : {-0.9, -0.4321, 0.1, 0.55555, 0.9}) {
    const double s = std::sqrt(1.0 - x * x);
    const double phi = node_phi(777);
    const cplx e1 = std::polar(1.0, phi);
    const struct {
      int l, m;
      cplx y;
    } cases[] = {{1, 1, -a1 * s * e1},
                 {1, -1, a1 * s * std::conj(e1)},
                 {2, 1, -a2 * s * x * e1},
                 {2, -1, a2 * s * x * std::conj(e1)},
                 {2, 2, 0.5 * a2 * s * s * e1 * e1},
                 {2, -2, 0.5 * a2 * s * s * std::conj(e1 * e1)}};
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "l=" << c.l << " m=" << c.m << " cos θ=" << x);
      EXPECT_LT(std::abs(spherical_harmonic(t, c.l, c.m, x, phi) - c.y), 1e-5);
    }
  }
}

TEST(SphericalHarmonic, InterpolationErrorAwayFromThePoles) {
  // Linear interpolation over steps h = 0.002 in cos θ is off by h²/8·|∂²Y/∂(cos θ)²|; for
  // l ≤ 15 and |cos θ| ≤ 0.9 the curvature stays below 2,000, hence 1e-3. φ on a phase node.
  const HarmonicTables& t = tables_15();
  double worst = 0.0;
  for (int q = 0; q <= 900; ++q) {
    const double x = -0.9 + 0.002 * q + 0.000731;  // between the nodes
    if (x > 0.9) break;
    const double phi = node_phi(q % 2000);
    for (int l = 0; l <= 15; ++l) {
      for (int m = 0; m <= l; ++m) {
        worst = std::max(worst, std::abs(spherical_harmonic(t, l, m, x, phi) -
                                         exact_y(l, m, std::acos(x), phi)));
      }
    }
  }
  EXPECT_LT(worst, 1e-3);
}

TEST(SphericalHarmonic, PhaseComesFromTheNearestTabulatedAzimuth) {
  const HarmonicTables& t = tables_15();
  const double step = kPi / 1000.0;
  const double x = 0.3;
  for (int i : {0, 1, 999, 1500, 1999}) {
    for (const double offset : {-0.49, 0.0, 0.49}) {
      if (i == 0 && offset < 0.0) continue;  // φ stays in [0, 2π)
      SCOPED_TRACE(testing::Message() << "node " << i << " offset " << offset);
      const double phi = (i + offset) * step;
      EXPECT_EQ(spherical_harmonic(t, 15, 15, x, phi), spherical_harmonic(t, 15, 15, x, node_phi(i)));
    }
  }
  // Just below 2π the nearest node is i = 2000, where e^{imφ} = 1.
  const cplx top = spherical_harmonic(t, 15, 15, x, std::nextafter(2.0 * kPi, 0.0));
  const cplx zero = spherical_harmonic(t, 15, 15, x, 0.0);
  EXPECT_NEAR(top.real(), zero.real(), 1e-13 * std::abs(zero));
  EXPECT_NEAR(top.imag(), 0.0, 1e-13 * std::abs(zero));
}

TEST(SphericalHarmonic, OrthonormalOnTheDefaultGrid) {
  // (4π/N)·Σ_j Y_lm·conj(Y_l'm') over the 2,584 directions. Because cos θ_j = 1 − 2j/N is the
  // right end of each band, the sum of a function of cos θ alone carries the end-point bias
  // (2π/N)·(g(−1) − g(1)); for m = m' = 0 and l + l' odd that is −√((2l+1)(2l'+1))/N (up to
  // 0.012 at l = 15). Beyond it we allow 5e-3: second-order quadrature terms and the linear
  // interpolation of the Legendre table in the band next to each pole (Y_15,1 is off by ~0.2
  // for the one or two directions there).
  const HarmonicTables& t = tables_15();
  const FibonacciGrid& g = t.grid();
  ASSERT_EQ(g.size(), 2584);
  const int n = g.size();
  const auto pairs = static_cast<std::size_t>(t.pair_count());
  std::vector<cplx> y(static_cast<std::size_t>(n) * pairs);
  for (int j = 0; j < n; ++j) {
    harmonics_for_direction(t, g.cos_theta()[static_cast<std::size_t>(j)], g.phi()[static_cast<std::size_t>(j)],
                            std::span<cplx>(y).subspan(static_cast<std::size_t>(j) * pairs, pairs));
  }
  for (int l = 0; l <= 15; ++l) {
    for (int m = 0; m <= l; ++m) {
      for (int l2 = 0; l2 <= 15; ++l2) {
        for (int m2 = 0; m2 <= l2; ++m2) {
          const auto a = static_cast<std::size_t>(harmonic_index(l, m));
          const auto b = static_cast<std::size_t>(harmonic_index(l2, m2));
          cplx sum{};
          for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
            sum += y[j * pairs + a] * std::conj(y[j * pairs + b]);
          }
          sum *= 4.0 * kPi / n;
          const double bias = (m == 0 && m2 == 0 && (l + l2) % 2 == 1)
                                  ? -std::sqrt((2.0 * l + 1.0) * (2.0 * l2 + 1.0)) / n
                                  : 0.0;
          const cplx want = (a == b ? 1.0 : 0.0) + bias;
          ASSERT_LT(std::abs(sum - want), 5e-3)
              << "(" << l << "," << m << ") with (" << l2 << "," << m2 << "): " << sum;
        }
      }
    }
  }
}

TEST(GridProjection, IsTheGridSumOfTheTabulatedHarmonics) {
  // (4π/N)·Σ_j F_j·conj(Y_lm(ω_j)) with Y from harmonics_for_direction, summed in grid order:
  // the same bits.
  const HarmonicTables& t = tables_15();
  const FibonacciGrid& g = t.grid();
  std::vector<double> f(static_cast<std::size_t>(g.size()));
  for (std::size_t j = 0; j < f.size(); ++j) f[j] = 20.0 + 3.0 * g.x()[j] - g.z()[j] * g.y()[j];
  for (const int l_upto : {15, 6}) {
    std::vector<cplx> want(static_cast<std::size_t>(harmonic_count(l_upto))), y(want.size());
    for (std::size_t j = 0; j < f.size(); ++j) {
      harmonics_for_direction(t, g.cos_theta()[j], g.phi()[j], y, l_upto);
      for (std::size_t i = 0; i < want.size(); ++i) want[i] += f[j] * std::conj(y[i]);
    }
    for (auto& v : want) v *= 4.0 * kPi / g.size();
    const std::vector<cplx> got = project_on_grid(t, f, l_upto);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(got[i], want[i]) << "L " << l_upto << " index " << i;
    }
  }
}

TEST(GridProjection, RecoversLowOrderFunctions) {
  // 1 = √(4π)·Y_00; cos θ = √(4π/3)·Y_10; sin θ·cos φ = √(2π/3)·(Y_1,−1 − Y_11).
  // Tolerance: the end-point bias of the grid in cos θ, (4π/N)·√((2l+1)/(4π)) per odd l for the
  // constant (≤ 7.6e-3 at l = 15), plus 5e-3 as for orthonormality.
  const HarmonicTables& t = tables_15();
  const FibonacciGrid& g = t.grid();
  const int n = g.size();
  std::vector<double> one(static_cast<std::size_t>(n), 1.0);
  std::vector<double> z(g.z().begin(), g.z().end());
  std::vector<double> x(g.x().begin(), g.x().end());
  const struct {
    const char* name;
    const std::vector<double>* f;
    int l, m;
    cplx c;
  } cases[] = {{"1", &one, 0, 0, std::sqrt(4.0 * kPi)},
               {"z", &z, 1, 0, std::sqrt(4.0 * kPi / 3.0)},
               {"x", &x, 1, 1, -std::sqrt(2.0 * kPi / 3.0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<cplx> all = project_on_grid(t, *c.f, 15);
    ASSERT_EQ(all.size(), 136u);
    // A lower top order gives the leading coefficients of the full projection.
    const std::vector<cplx> low = project_on_grid(t, *c.f, 4);
    ASSERT_EQ(low.size(), 15u);
    for (std::size_t i = 0; i < low.size(); ++i) EXPECT_EQ(low[i], all[i]) << "index " << i;
    for (int l = 0; l <= 15; ++l) {
      for (int m = 0; m <= l; ++m) {
        const cplx got = all[static_cast<std::size_t>(harmonic_index(l, m))];
        const cplx want = (l == c.l && m == c.m) ? c.c : cplx{};
        EXPECT_LT(std::abs(got - want), std::sqrt(4.0 * kPi * (2 * l + 1)) / n + 5e-3)
            << "l=" << l << " m=" << m << ": " << got;
        EXPECT_EQ(project_on_grid(t, *c.f, l, m), got) << "l=" << l << " m=" << m;
      }
    }
  }
  // The constant is projected on Y_00 without any table error: √(4π) to round-off.
  EXPECT_NEAR(project_on_grid(t, one, 0, 0).real(), std::sqrt(4.0 * kPi), 1e-12);
}

}  // namespace tessel
