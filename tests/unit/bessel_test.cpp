// Spherical Bessel functions and their cut-off orders, checked against the standard library,
// closed forms of low orders and the counting rule.
#include "core/bessel.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace tessel {
namespace {

double library_j(int l, double x) { return std::sph_bessel(static_cast<unsigned>(l), x); }

// Power series of j_l in long double, an independent check where the program recurs downward.
double series_j(int l, long double x) {
  long double lead = 1.0L;
  for (int k = 1; k <= l; ++k) lead *= x / (2.0L * k + 1.0L);
  long double term = 1.0L, sum = 1.0L;
  for (int k = 1; k < 200; ++k) {
    term *= -x * x / 2.0L / (k * (2.0L * l + 2.0L * k + 1.0L));
    sum += term;
  }
  return static_cast<double>(lead * sum);
}

}  // namespace

TEST(SphericalBessel, AtZero) {
  EXPECT_EQ(spherical_bessel(0, 0.0), 1.0);
  for (int l : {1, 2, 5, 99}) EXPECT_EQ(spherical_bessel(l, 0.0), 0.0) << "l=" << l;
}

TEST(SphericalBessel, MatchesTheLibraryInAllThreeRegimes) {
  // Series below 1, downward recurrence for 1 ≤ x ≤ l, upward for x > l. Tolerance 1e-12
  // relative where j_l has no zeros (x ≤ l); where it oscillates, 1e-12 of its envelope 1/x.
  const struct {
    int l;
    double x;
  } cases[] = {
      {5, 0.5},   {5, 3.0},   {5, 20.0},  // one per regime
      {0, 0.5},   {0, 1.0},   {0, 3.14159}, {0, 100.0},
      {1, 1e-8},  {1, 0.999999}, {1, 1.0}, {1, 1.000001}, {1, 7.5},
      {2, 0.001}, {2, 2.0},   {2, 2.0000001},
      {10, 0.9},  {10, 1.0},  {10, 9.999}, {10, 10.0}, {10, 10.001}, {10, 33.3},
      {15, 0.2},  {15, 7.0},  {15, 15.5}, {15, 25.0},
      {40, 39.9}, {40, 40.1}, {40, 120.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "l=" << c.l << " x=" << c.x);
    const double want = library_j(c.l, c.x);
    const double scale = c.x > c.l ? std::max(std::abs(want), 1.0 / c.x) : std::abs(want);
    EXPECT_NEAR(spherical_bessel(c.l, c.x), want, 1e-12 * scale);
  }
}

TEST(SphericalBessel, ClosedFormsOfLowOrders) {
  // j_1 = sin x/x² − cos x/x; j_2 = (3/x² − 1)·sin x/x − 3·cos x/x², each in all regimes.
  for (const double x : {0.3, 0.99, 1.0, 1.7, 2.0, 2.5, 12.0}) {
    SCOPED_TRACE(x);
    const double s = std::sin(x), c = std::cos(x);
    // Round-off of the closed form itself grows like 1/x² for small x.
    const double tol = 1e-14 / (x * x);
    EXPECT_NEAR(spherical_bessel(0, x), s / x, 4e-16);
    EXPECT_NEAR(spherical_bessel(1, x), s / (x * x) - c / x, tol);
    EXPECT_NEAR(spherical_bessel(2, x), (3.0 / (x * x) - 1.0) * s / x - 3.0 * c / (x * x), tol);
  }
}

TEST(SphericalBessel, HighOrderNeitherOverflowsNorLosesAccuracy) {
  // j_99(1) ≈ 1/199!! ≈ 1e-188 comes from a downward recurrence started at order 248 that grows
  // by ~1e560 and must be rescaled on the way; the series in long double is independent.
  const double at_1 = spherical_bessel(99, 1.0);
  EXPECT_GT(at_1, 0.0);
  EXPECT_NEAR(at_1, series_j(99, 1.0L), 1e-12 * at_1);
  EXPECT_NEAR(at_1, library_j(99, 1.0), 1e-12 * at_1);
  // x = 200 > l: upward recurrence, oscillating with envelope 1/x.
  EXPECT_NEAR(spherical_bessel(99, 200.0), library_j(99, 200.0), 1e-12 / 200.0);
  // Orders and arguments far outside the program's use still give finite numbers in [−1, 1].
  for (int l : {99, 150, 400}) {
    for (const double x : {1e-300, 1e-5, 0.5, 1.0, 2.0, 50.0, 99.0, 200.0, 1000.0}) {
      const double j = spherical_bessel(l, x);
      EXPECT_TRUE(std::isfinite(j) && std::abs(j) <= 1.0) << "l=" << l << " x=" << x << ": " << j;
    }
  }
}

TEST(BesselCutOff, SkipsTermsAtOrBelowThreeQuartersOfTheOrderMinus2Point7) {
  const struct {
    int l;
    double x;
    bool counts;
  } cases[] = {
      {0, 0.0, true},  {3, 0.0, true},     // 0.75·3 − 2.7 = −0.45
      {4, 0.0, false}, {4, 0.29, false}, {4, 0.31, true},  // threshold 0.3
      {20, 12.29, false}, {20, 12.31, true},               // threshold 12.3
      {99, 71.5, false}, {99, 71.6, true},                 // threshold 71.55
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "l=" << c.l << " x=" << c.x);
    EXPECT_EQ(bessel_term_counts(c.l, c.x), c.counts);
  }
}

TEST(BesselCutOff, CountsForManyRadiiFollowTheRuleAtEveryThreshold) {
  // Radii that put s·(r + offset) on each threshold 0.75·l − 2.7 and one step of a double either
  // side, with zero, negative, huge and NaN-free extremes; the count is the run of orders from 0
  // that pass bessel_term_counts, up to l_max.
  const double s = 0.37;
  for (const double offset : {0.0, 4.0}) {
    for (const int l_max : {0, 1, 15, 50, 99}) {
      std::vector<double> r = {0.0, -3.0, 1e-300, 1e300, 5e4};
      for (int l = 0; l <= l_max + 2; ++l) {
        const double threshold = 0.75 * l - 2.7;
        for (const double x : {threshold, std::nextafter(threshold, -1e9), std::nextafter(threshold, 1e9)}) {
          r.push_back(x / s - offset);
          r.push_back(std::nextafter(x / s - offset, -1e9));
          r.push_back(std::nextafter(x / s - offset, 1e9));
        }
      }
      std::vector<int> counts(r.size(), -1);
      counted_orders_at(s, r.data(), r.size(), offset, l_max, counts.data());
      for (std::size_t i = 0; i < r.size(); ++i) {
        const double x = s * (r[i] + offset);
        int expected = 0;
        while (expected <= l_max && bessel_term_counts(expected, x)) ++expected;
        ASSERT_EQ(counts[i], expected) << "l_max " << l_max << " offset " << offset << " r " << r[i];
        ASSERT_EQ(counted_orders(x, l_max), expected);
      }
    }
  }
}

TEST(BesselTable, LinearLookupErrorStaysWithinTheInterpolationBound) {
  // A straight line through nodes Δx apart is off by at most Δx²/8·max|j_l''|, and
  // |j_l''| ≤ 1/3 (j_l(x) = ½(−i)^l ∫ e^{ixt} P_l(t) dt over [−1, 1], so |j_l''| ≤ ½∫t²dt).
  // Extent 50 Å at s_max = 0.5 1/Å, with the 1.0001 margin of the amplitude stage.
  const double x_max = 1.0001 * 0.5 * 50.0;
  const LineTable table = make_bessel_table(15, x_max);
  const double dx = table.step();
  EXPECT_DOUBLE_EQ(dx, x_max / 2000.0);
  const double bound = dx * dx / 24.0 + 1e-14;
  for (int q = 0; q <= 20000; ++q) {
    const double x = x_max * q / 20000.0 * 0.99995;
    for (int l = 0; l <= 15; ++l) {
      ASSERT_NEAR(table(l, x), library_j(l, x), bound) << "l=" << l << " x=" << x;
    }
  }
  // At the nodes the line passes through the exact values.
  for (int k : {0, 1, 2, 1000, 1999, 2000}) {
    for (int l = 0; l <= 15; ++l) {
      ASSERT_NEAR(table(l, k * dx), library_j(l, k * dx), 1e-14) << "l=" << l << " k=" << k;
    }
  }
}

TEST(BesselTable, ZeroExtentGivesFiniteExactValues) {
  // All atoms at the centre: the extent and hence x_max are 0, and every lookup is at x = 0.
  for (const double x_max : {0.0, 1e-310}) {
    SCOPED_TRACE(x_max);
    const LineTable table = make_bessel_table(15, x_max);
    for (int i = 0; i < LineTable::kIntervals; ++i) {
      for (int l = 0; l <= 15; ++l) {
        ASSERT_TRUE(std::isfinite(table.slope(i, l)) && std::isfinite(table.intercept(i, l)))
            << "i=" << i << " l=" << l;
      }
    }
    EXPECT_EQ(table(0, 0.0), 1.0);
    for (int l = 1; l <= 15; ++l) EXPECT_EQ(table(l, 0.0), 0.0) << "l=" << l;

    // The per-atom lookup for r = 0 on an s grid: j_0 = 1 and nothing else at every s.
    const std::vector<double> s = {0.0, 0.25, 0.5};
    std::vector<double> j(s.size() * 16, -7.0);
    std::vector<int> counted(s.size(), -1);
    bessel_for_radius(table, s, 0.0, j, counted);
    for (std::size_t k = 0; k < s.size(); ++k) {
      EXPECT_EQ(counted[k], 4);  // l = 0..3 pass the cut-off at x = 0
      EXPECT_EQ(j[k * 16], 1.0);
      for (std::size_t l = 1; l < 16; ++l) EXPECT_EQ(j[k * 16 + l], 0.0) << "k=" << k << " l=" << l;
    }
  }
}

TEST(BesselTable, RejectsANegativeOrNonFiniteRange) {
  for (const double x_max : {-1.0, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(x_max);
    EXPECT_THROW(make_bessel_table(5, x_max), std::invalid_argument);
  }
}

TEST(BesselTable, RowsForOneRadiusHoldTheCountedOrders) {
  // An atom at r = 10 Å on s = 0, 0.1, 0.3, 0.5 1/Å: x = 0, 1, 3, 5. The orders that count are
  // those with 0.75·l < x + 2.7: l ≤ 3, 4, 7 and 10 (0.75·10 = 7.5 < 7.7).
  const int l_max = 15;
  const std::vector<double> s = {0.0, 0.1, 0.3, 0.5};
  const double r = 10.0;
  const LineTable table = make_bessel_table(l_max, 1.0001 * 0.5 * r);
  const auto stride = static_cast<std::size_t>(l_max + 1);
  std::vector<double> j(s.size() * stride);
  std::vector<int> counted(s.size());
  bessel_for_radius(table, s, r, j, counted);
  const int want_counted[] = {4, 5, 8, 11};
  const double bound = table.step() * table.step() / 24.0 + 1e-14;
  for (std::size_t k = 0; k < s.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "s=" << s[k]);
    EXPECT_EQ(counted[k], want_counted[k]);
    for (int l = 0; l <= l_max; ++l) {
      const double got = j[k * stride + static_cast<std::size_t>(l)];
      if (l < counted[k]) {
        EXPECT_NEAR(got, library_j(l, s[k] * r), bound) << "l=" << l;
      } else {
        EXPECT_EQ(got, 0.0) << "l=" << l;
      }
    }
  }
}

}  // namespace tessel
