// The bounded simplex search: Rosenbrock's curved valley, a minimum outside the box, a held
// parameter, and the evaluation budget.
#include "core/simplex_search.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessel {

TEST(SimplexSearch, FollowsACurvedValleyKeepsBoundsAndHeldParameters) {
  // Rosenbrock's function, minimum 0 at (1, 1), from (−1.2, 1) with unit steps.
  std::size_t calls = 0;
  const auto rosenbrock = [&](std::span<const double> x) {
    ++calls;
    return 100 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1 - x[0], 2);
  };
  const std::vector<double> start = {-1.2, 1.0}, step = {0.5, 0.5};
  SimplexResult r = simplex_minimise(rosenbrock, start, step, std::vector<double>{-2, -2},
                                     std::vector<double>{2, 2}, 2000, 2, 1e-14);
  EXPECT_NEAR(r.x[0], 1.0, 1e-3);
  EXPECT_NEAR(r.x[1], 1.0, 2e-3);
  EXPECT_EQ(r.evaluations, calls);
  EXPECT_LE(r.evaluations, 2000u);

  // The same with x ≤ 0.5: the best point lies on that bound, at (0.5, 0.25); a held third
  // parameter keeps its value; a budget of 30 calls is kept.
  std::vector<double> seen;
  const auto bowl = [&](std::span<const double> x) {
    seen.push_back(x[2]);
    EXPECT_LE(x[0], 0.5);
    return 100 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1 - x[0], 2);
  };
  r = simplex_minimise(bowl, std::vector<double>{-1.2, 1.0, 7.0}, std::vector<double>{0.5, 0.5, 0.0},
                       std::vector<double>{-2, -2, 0}, std::vector<double>{0.5, 2, 10}, 2000, 2, 1e-14);
  EXPECT_NEAR(r.x[0], 0.5, 1e-4);
  EXPECT_NEAR(r.x[1], 0.25, 1e-3);
  for (const double v : seen) EXPECT_EQ(v, 7.0);
  r = simplex_minimise(rosenbrock, start, step, std::vector<double>{-2, -2}, std::vector<double>{2, 2}, 30, 2,
                       1e-14);
  EXPECT_LE(r.evaluations, 30u);
  EXPECT_LT(r.value, rosenbrock(start));
}

}  // namespace tessel
