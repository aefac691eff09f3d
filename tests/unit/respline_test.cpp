// Cubic-spline regridding: the interval search, exactness on lines and parabolas, a cubic's
// error, out-of-range points, degenerate tables and the precomputed interpolator.
#include "core/respline.hpp"
#include "core/locate.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace tessel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Locate, CountsEntriesStrictlyBelow) {
  const std::vector<double> x = {0.1, 0.2, 0.2, 0.4, 0.8};
  struct Row {
    double v;
    std::size_t below;
  };
  const Row rows[] = {{-1.0, 0}, {0.1, 0}, {0.15, 1}, {0.2, 1}, {0.2000001, 3}, {0.4, 3},
                      {0.8, 4},  {0.9, 5}, {1e300, 5}, {kNaN, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.v);
    EXPECT_EQ(locate(x, r.v), r.below);
  }
  EXPECT_EQ(locate(std::vector<double>{}, 1.0), 0u);
  EXPECT_EQ(locate(std::vector<double>{2.0}, 2.0), 0u);
  EXPECT_EQ(locate(std::vector<double>{2.0}, 2.5), 1u);
}

std::vector<double> uneven_grid(double lo, double hi, std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<double> x(n);
  double pos = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    pos += 0.5 + static_cast<double>(rng() % 1000) / 1000.0;  // steps vary by a factor up to 3
    x[k] = pos;
  }
  const double a = x.front();
  const double b = x.back();
  for (double& v : x) v = lo + (v - a) / (b - a) * (hi - lo);
  return x;
}

TEST(Respline, ReproducesLinesAndParabolasExactly) {
  // The end slopes of parabolas through three points are exact for a quadratic, and the
  // clamped cubic spline through a quadratic with exact end slopes is that quadratic.
  const std::vector<double> x = uneven_grid(0.0, 2.0, 40, 1);
  const std::vector<double> u = uneven_grid(-0.015, 2.015, 77, 2);  // inside the 1 % margin
  struct Case {
    const char* name;
    double c0, c1, c2;
  };
  for (const Case& c : {Case{"line", 3.0, -2.0, 0.0}, Case{"parabola", 1.0, 0.5, -4.0}}) {
    SCOPED_TRACE(c.name);
    std::vector<double> y;
    for (double v : x) y.push_back(c.c0 + c.c1 * v + c.c2 * v * v);
    const ResplineResult r = RESPLINE(x, y, u);
    EXPECT_FALSE(r.out_of_range);
    for (std::size_t i = 0; i < u.size(); ++i) {
      EXPECT_NEAR(r.values[i], c.c0 + c.c1 * u[i] + c.c2 * u[i] * u[i], 1e-12) << u[i];
    }
  }
  // Two points: a straight line.
  const std::vector<double> x2 = {1.0, 3.0};
  const std::vector<double> y2 = {2.0, 6.0};
  const std::vector<double> u2 = {1.0, 1.5, 2.9, 3.0};
  const std::vector<double> line = {2.0, 3.0, 5.8, 6.0};
  const ResplineResult r2 = RESPLINE(x2, y2, u2);
  for (std::size_t i = 0; i < u2.size(); ++i) EXPECT_NEAR(r2.values[i], line[i], 1e-14);
}

TEST(Respline, FollowsACubicWithinTheEndSlopeError) {
  // y = x³ on [0, 1], step h = 0.05. The parabola slope at x_1 is off by 2h²·y'''/6 = 0.005
  // (at x_n by the same), which moves the spline by about δ·h/4 ≈ 6e-5 near the ends; the
  // disturbance decays by 2 − √3 per interval, so nine intervals in it is below 1e-9.
  std::vector<double> x, y;
  for (int k = 0; k <= 20; ++k) {
    x.push_back(0.05 * k);
    y.push_back(x.back() * x.back() * x.back());
  }
  std::vector<double> u;
  for (int k = 0; k <= 1000; ++k) u.push_back(0.001 * k);
  const ResplineResult r = RESPLINE(x, y, u);
  for (std::size_t i = 0; i < u.size(); ++i) {
    SCOPED_TRACE(u[i]);
    const double exact = u[i] * u[i] * u[i];
    EXPECT_NEAR(r.values[i], exact, 1e-4);
    if (u[i] >= 0.45 && u[i] <= 0.55) {
      EXPECT_NEAR(r.values[i], exact, 1e-8);
    }
  }
  // At the knots the spline takes the table values whatever the slopes.
  const ResplineResult at_knots = RESPLINE(x, y, x);
  for (std::size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(at_knots.values[k], y[k], 1e-15);
}

TEST(Respline, OutOfRangeAbscissaeGetZeroAndOneFlag) {
  // Span 10: up to 0.1 outside is extrapolated (here along the line), beyond that 0.
  const std::vector<double> x = {0.0, 2.5, 5.0, 7.5, 10.0};
  const std::vector<double> y = {1.0, 3.5, 6.0, 8.5, 11.0};  // y = x + 1
  struct Row {
    double u;
    double value;
    bool out;
  };
  const Row rows[] = {{-0.1, 0.9, false}, {10.1, 11.1, false}, {-0.11, 0.0, true},
                      {10.11, 0.0, true}, {1e9, 0.0, true},    {kNaN, 0.0, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.u);
    const std::vector<double> u = {5.0, r.u};
    const ResplineResult res = RESPLINE(x, y, u);
    EXPECT_EQ(res.out_of_range, r.out);
    EXPECT_NEAR(res.values[0], 6.0, 1e-12);
    EXPECT_NEAR(res.values[1], r.value, 1e-12);
    const SplineInterpolator pre(x, u);
    EXPECT_EQ(pre.out_of_range(), r.out);
    EXPECT_NEAR(pre(y)[1], r.value, 1e-12);
  }
}

TEST(Respline, DegenerateTables) {
  const std::vector<double> none;
  const std::vector<double> u = {1.0, 2.0};
  for (const auto& [x, y, values, out] :
       {std::tuple{none, none, std::vector<double>{0.0, 0.0}, true},
        std::tuple{std::vector<double>{1.0}, std::vector<double>{4.0}, std::vector<double>{4.0, 0.0}, true}}) {
    SCOPED_TRACE(x.size());
    const ResplineResult r = RESPLINE(x, y, u);
    EXPECT_EQ(r.values, values);
    EXPECT_EQ(r.out_of_range, out);
    const SplineInterpolator pre(x, u);
    EXPECT_EQ(pre(y), values);
    EXPECT_EQ(pre.out_of_range(), out);
  }
  EXPECT_TRUE(RESPLINE(std::vector<double>{1.0, 2.0}, std::vector<double>{1.0, 2.0}, none).values.empty());
}

TEST(Respline, PrecomputedInterpolatorEqualsTheDirectRoutine) {
  // 500 model points onto 500 data points, as in the fit, several value sets per abscissae.
  const std::vector<double> x = uneven_grid(0.0, 0.5, 500, 3);
  std::vector<double> u = uneven_grid(0.002, 0.49, 497, 4);
  u.push_back(0.6);  // one out of range
  u.push_back(-0.002);
  u.push_back(0.5);
  const SplineInterpolator pre(x, u);
  EXPECT_EQ(pre.table_size(), 500u);
  EXPECT_EQ(pre.target_count(), 500u);
  EXPECT_TRUE(pre.out_of_range());
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> amp(-3.0, 3.0);
  std::vector<double> v(u.size());
  for (int set = 0; set < 5; ++set) {
    SCOPED_TRACE(set);
    std::vector<double> y(x.size());
    const double a = amp(rng), b = amp(rng), c = amp(rng);
    for (std::size_t k = 0; k < x.size(); ++k) y[k] = a + b * std::sin(20.0 * c * x[k]) - 4.0 * x[k];
    const ResplineResult direct = RESPLINE(x, y, u);
    pre.apply(y, v);
    double scale = 0.0;
    for (double w : y) scale = std::max(scale, std::fabs(w));
    for (std::size_t i = 0; i < u.size(); ++i) {
      // Same algorithm, divisions replaced by products with reciprocals: rounding only.
      EXPECT_NEAR(v[i], direct.values[i], 1e-12 * scale) << u[i];
    }
  }
}

}  // namespace
}  // namespace tessel
