// The Fibonacci direction grid: its size, pole-to-pole layout, azimuth steps, unit vectors and
// order limits.
#include "core/fibonacci_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/errors.hpp"

namespace tessel {

TEST(FibonacciGrid, SizeIsTheNextFibonacciNumber) {
  // F(11) = 89, F(12) = 144, F(18) = 2584, F(19) = 4181 (F(1) = F(2) = 1).
  const struct {
    int order;
    int size;
  } cases[] = {{10, 89}, {11, 144}, {17, 2584}, {18, 4181}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order);
    EXPECT_EQ(make_fibonacci_grid(c.order).size(), c.size);
  }
}

TEST(FibonacciGrid, TooHighOrderStops) {
  // Order 19 would give F(20) = 6765 directions, more than the 4,181 the program holds.
  for (int order : {19, 25, 1000}) {
    SCOPED_TRACE(order);
    try {
      make_fibonacci_grid(order);
      ADD_FAILURE() << "no stop";
    } catch (const FatalStop& e) {
      EXPECT_STREQ(e.what(), " FIBGRD -E-: too high order of Fibonacci number");
    }
  }
}

TEST(FibonacciGrid, RunsFromNearTheNorthPoleToTheSouthPole) {
  for (int order : {10, 17, 18}) {
    SCOPED_TRACE(order);
    const FibonacciGrid g = make_fibonacci_grid(order);
    const int n = g.size();
    EXPECT_DOUBLE_EQ(g.cos_theta()[0], 1.0 - 2.0 / n);
    for (int j = 1; j < n; ++j) ASSERT_LT(g.cos_theta()[j], g.cos_theta()[j - 1]) << "j=" << j;

    const Direction last = g.direction(n - 1);
    EXPECT_EQ(last.cos_theta, -1.0);
    EXPECT_DOUBLE_EQ(last.theta, std::numbers::pi);
    EXPECT_EQ(last.phi, 0.0);  // N·F' mod N = 0
    EXPECT_EQ(last.sin_theta, 0.0);
    EXPECT_EQ(last.x, 0.0);
    EXPECT_EQ(last.y, 0.0);
    EXPECT_EQ(last.z, -1.0);
  }
}

TEST(FibonacciGrid, AzimuthsTakeEveryStepOfTwoPiOverNOnce) {
  // Consecutive Fibonacci numbers are coprime, so j·F' mod N visits 0..N−1 once each.
  const FibonacciGrid g = make_fibonacci_grid(10);
  const int n = g.size();
  // By hand for N = 89, F' = 55: j = 1 → 55, j = 2 → 110 − 89 = 21.
  EXPECT_DOUBLE_EQ(g.phi()[0], 2.0 * std::numbers::pi * 55.0 / 89.0);
  EXPECT_DOUBLE_EQ(g.phi()[1], 2.0 * std::numbers::pi * 21.0 / 89.0);
  std::vector<int> seen(static_cast<std::size_t>(n), 0);
  for (int j = 0; j < n; ++j) {
    const double steps = g.phi()[j] * n / (2.0 * std::numbers::pi);
    const long k = std::lround(steps);
    ASSERT_NEAR(steps, static_cast<double>(k), 1e-9);
    ASSERT_TRUE(k >= 0 && k < n);
    ++seen[static_cast<std::size_t>(k)];
  }
  for (int k = 0; k < n; ++k) EXPECT_EQ(seen[static_cast<std::size_t>(k)], 1) << "step " << k;
}

TEST(FibonacciGrid, DirectionsAreUnitVectorsOfTheirAngles) {
  const FibonacciGrid g = make_fibonacci_grid(17);
  for (int j = 0; j < g.size(); ++j) {
    const Direction d = g.direction(j);
    ASSERT_NEAR(d.x, std::sin(d.theta) * std::cos(d.phi), 1e-15) << "j=" << j;
    ASSERT_NEAR(d.y, std::sin(d.theta) * std::sin(d.phi), 1e-15) << "j=" << j;
    ASSERT_NEAR(d.z, std::cos(d.theta), 1e-15) << "j=" << j;
    ASSERT_EQ(d.z, d.cos_theta);
    ASSERT_TRUE(d.phi >= 0.0 && d.phi < 2.0 * std::numbers::pi) << "j=" << j;
  }
}

TEST(FibonacciGrid, OrdersAreClampedIntoTheirRanges) {
  const struct {
    int given, grid;
  } grid_cases[] = {{1, 10}, {9, 10}, {10, 10}, {17, 17}, {18, 18}, {19, 18}, {40, 18}};
  for (const auto& c : grid_cases) {
    SCOPED_TRACE(c.given);
    EXPECT_EQ(clamp_fibonacci_order(c.given), c.grid);
  }
  EXPECT_EQ(clamp_harmonic_order(15), 15);
  EXPECT_EQ(clamp_harmonic_order(99), 99);
  EXPECT_EQ(clamp_harmonic_order(100), 99);
  EXPECT_EQ(clamp_harmonic_order(250), 99);
}

}  // namespace tessel
