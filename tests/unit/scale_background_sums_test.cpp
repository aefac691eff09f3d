// Scale and background from weighted sums against direct minimisation: the free solution, the
// bounds, and the background held to 5 % of the forward intensity.
#include "core/scale_background_sums.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessel {

TEST(ScaleBackgroundSums, MatchDirectMinimisationWithAndWithoutTheHold) {
  // I = 3·m + 0.4·a exactly except a ripple: the free solution is the least-squares one (checked by
  // its normal equations); the scale's lower bound and a background bound are honoured; the
  // hold keeps |x2·a| ≤ 0.05·x1·I0 and no point of the two boundary rays does better.
  std::vector<double> m, in, w;
  for (int i = 0; i < 40; ++i) {
    m.push_back(std::exp(-0.1 * i) + 0.05);
    in.push_back(3.0 * m.back() + 0.4 * 2.0 + 0.01 * std::sin(1.3 * i));
    w.push_back(1.0 + 0.1 * i);
  }
  NormalSums s;
  for (std::size_t i = 0; i < m.size(); ++i) {
    s.mm += w[i] * m[i] * m[i];
    s.m1 += w[i] * m[i];
    s.mi += w[i] * m[i] * in[i];
    s.w += w[i];
    s.i1 += w[i] * in[i];
    s.ii += w[i] * in[i] * in[i];
  }
  const double a = 2.0;
  const auto direct = [&](double x1, double x2) {
    double sum = 0;
    for (std::size_t i = 0; i < m.size(); ++i) sum += w[i] * std::pow(in[i] - x1 * m[i] - x2 * a, 2);
    return sum;
  };
  const ScaleBackground free = solve_from_sums(s, a, 1e-20, 1e20, -1e20, 1e20, 0.0);
  EXPECT_NEAR(free.scale, 3.0, 0.01);
  EXPECT_NEAR(free.background, 0.4, 0.01);
  // Gradient zero: Σw·(I − x1·m − x2·a)·m = 0 and Σw·(…)·a = 0.
  EXPECT_NEAR(s.mi - free.scale * s.mm - free.background * a * s.m1, 0.0, 1e-9 * s.mi);
  EXPECT_NEAR(free.sum, direct(free.scale, free.background), 1e-9 * s.ii);

  const ScaleBackground capped = solve_from_sums(s, a, 1e-20, 1e20, -0.1, 0.1, 0.0);
  EXPECT_EQ(capped.background, 0.1);
  EXPECT_GT(capped.scale, 3.0);  // the scale takes up part of the missing constant
  const ScaleBackground floor = solve_from_sums(s, -a, 5.0, 1e20, -1e20, 1e20, 0.0);
  EXPECT_EQ(floor.scale, 5.0);

  // The free background is 0.8/(3·I0) of the forward value: with I0 = 1 that is 27 %.
  const ScaleBackground held = solve_from_sums(s, a, 1e-20, 1e20, -1e20, 1e20, 1.0);
  EXPECT_NEAR(std::fabs(held.background * a), 0.05 * held.scale, 1e-12);
  EXPECT_NEAR(held.sum, direct(held.scale, held.background), 1e-9 * s.ii);
  for (const double t : {0.05 / a, -0.05 / a}) {
    for (double x1 = 2.0; x1 < 4.0; x1 += 0.001) EXPECT_GE(direct(x1, t * x1), held.sum * (1 - 1e-12));
  }
  // A forward value of 0 or less leaves no room for a background.
  EXPECT_EQ(solve_from_sums(s, a, 1e-20, 1e20, -1e20, 1e20, -1.0).background, 0.0);
}

}  // namespace tessel
