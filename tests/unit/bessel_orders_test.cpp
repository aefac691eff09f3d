// Spherical Bessel functions of all orders at many arguments: the same bits as one order at a
// time, in every region of the argument (series, downward and upward recurrence, the rescaling);
// with the shared recurrence, the same values within rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bessel.hpp"

namespace tessel {
namespace {

TEST(BesselOrders, EveryOrderAtEveryArgumentIsTheSingleOrderValue) {
  struct Case {
    int l_max;
    std::vector<double> x;
  };
  std::vector<double> grid(2001);
  for (std::size_t k = 0; k < grid.size(); ++k) grid[k] = static_cast<double>(k) * 0.0125;
  std::vector<double> midpoints(2000);
  for (std::size_t k = 0; k < midpoints.size(); ++k) midpoints[k] = (static_cast<double>(k) + 0.5) * 0.11;
  const Case cases[] = {
      {0, {0.0, 0.5, 1.0, 2.0}},
      {1, {1.0, 1.0000001, 0.9999999, 3.0}},
      // Arguments not in order, negative ones (taken by magnitude), exact integers at the border
      // between the recurrences, and a few odd counts for the lanes.
      {15, {7.0, -3.5, 0.0, 15.0, 16.0, 14.999, 0.25, 1.0, 2.0, 3.0, 4.0}},
      {15, grid},
      {50, midpoints},
      // Small arguments at the highest order: values far below 1, rescaled on the way down.
      {99, {1.0, 1.5, 2.0, 10.0, 50.0, 98.5, 99.0, 99.5, 150.0, 220.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("l_max " + std::to_string(c.l_max) + ", " + std::to_string(c.x.size()) + " arguments");
    const auto orders = static_cast<std::size_t>(c.l_max + 1);
    std::vector<double> out(c.x.size() * orders, -1.0);
    spherical_bessel_orders(c.l_max, c.x, out);
    int differing = 0;
    for (std::size_t i = 0; i < c.x.size(); ++i) {
      for (int l = 0; l <= c.l_max; ++l) {
        const double want = spherical_bessel(l, c.x[i]);
        const double got = out[i * orders + static_cast<std::size_t>(l)];
        if (std::memcmp(&want, &got, sizeof want) != 0) {
          if (++differing < 5) ADD_FAILURE() << "l " << l << " x " << c.x[i] << ": " << got << " vs " << want;
        }
      }
    }
    EXPECT_EQ(differing, 0);

    // One recurrence from the highest order's start: more steps below each order than its own
    // start gives, so at least as accurate; the two agree to a few units of the last place.
    std::vector<double> shared(out.size(), -1.0);
    spherical_bessel_orders(c.l_max, c.x, shared, BesselRecurrence::shared);
    for (std::size_t i = 0; i < shared.size(); ++i)
      ASSERT_NEAR(shared[i], out[i], 1e-13 * std::abs(out[i])) << "x " << c.x[i / orders] << " l " << i % orders;
  }
}

}  // namespace
}  // namespace tessel
