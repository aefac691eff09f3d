// The fixed-abscissa spline gives the same values whether its targets are ascending (evaluated
// interval by interval) or in any order, and RESPLINE's values to rounding.
#include "core/respline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(SplineInterpolator, MatchesResplineForAnyTargetOrder) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> x;
  std::vector<double> y;
  for (int k = 0; k < 40; ++k) {
    x.push_back(0.0125 * k + (k > 0 ? 0.004 * uniform(random) : 0.0));
    y.push_back(std::sin(9.0 * x.back()) - 3.0 * x.back());
  }
  std::vector<double> ascending;
  for (int i = 0; i < 300; ++i) ascending.push_back(-0.02 + 0.53 * i / 299.0);  // both ends out of range
  std::vector<double> shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  std::vector<double> scratch(x.size());
  std::vector<std::vector<double>> results;
  for (const std::vector<double>* u : std::vector<const std::vector<double>*>{&ascending, &shuffled}) {
    const tessel::ResplineResult direct = tessel::RESPLINE(x, y, *u);
    const tessel::SplineInterpolator spline(x, *u);
    EXPECT_TRUE(spline.out_of_range());
    EXPECT_TRUE(direct.out_of_range);
    std::vector<double> v(u->size(), 99.0);
    spline.apply(y, v, scratch);
    for (std::size_t i = 0; i < u->size(); ++i) {
      SCOPED_TRACE((*u)[i]);
      EXPECT_NEAR(v[i], direct.values[i], 1e-13);  // reciprocals instead of divisions
    }
    EXPECT_EQ(spline(y), v);
    results.push_back(v);
  }
  // The same target gets the same bits in both orders; out-of-range targets get 0.
  for (std::size_t i = 0; i < shuffled.size(); ++i) {
    const auto at = std::find(ascending.begin(), ascending.end(), shuffled[i]) - ascending.begin();
    EXPECT_EQ(results[1][i], results[0][static_cast<std::size_t>(at)]);
    if (shuffled[i] < -0.01 * x.back() || shuffled[i] > 1.01 * x.back()) {
      EXPECT_EQ(results[1][i], 0.0);
    }
  }
}

}  // namespace
