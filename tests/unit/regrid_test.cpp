// Linear regridding of a table: interpolation between neighbours, the one-percent margin and
// degenerate tables.
#include "core/regrid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tessel {

TEST(Regrid, InterpolatesLinearlyBetweenNeighbours) {
  // Uneven abscissae so that a wrong bisection picks a visibly wrong segment.
  const std::vector<double> x = {0.0, 0.1, 0.5, 0.6, 2.0};
  const std::vector<double> y = {1.0, 3.0, -1.0, 0.0, 7.0};
  struct Row { double u; double expected; };
  const Row rows[] = {{0.0, 1.0},  {0.05, 2.0}, {0.1, 3.0},  {0.3, 1.0}, {0.5, -1.0},
                      {0.55, -0.5}, {1.3, 3.5},  {2.0, 7.0}};
  std::vector<double> u;
  for (const Row& r : rows) u.push_back(r.u);
  const RegridResult out = regrid(x, y, u);
  EXPECT_FALSE(out.out_of_range);
  ASSERT_EQ(out.values.size(), u.size());
  for (std::size_t i = 0; i < u.size(); ++i) {
    SCOPED_TRACE(u[i]);
    EXPECT_NEAR(out.values[i], rows[i].expected, 1e-12);
  }
}

TEST(Regrid, OnePercentMarginOutsideTheTable) {
  // Span 10: targets up to 0.1 outside are extrapolated along the end segment, beyond that 0.
  const std::vector<double> x = {0.0, 5.0, 10.0};
  const std::vector<double> y = {0.0, 5.0, 0.0};
  struct Row { double u; double expected; bool out; };
  const Row rows[] = {{-0.05, -0.05, false}, {10.05, -0.05, false}, {10.1, -0.1, false},
                      {-0.2, 0.0, true},     {10.2, 0.0, true},     {1e9, 0.0, true},
                      {std::numeric_limits<double>::quiet_NaN(), 0.0, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.u);
    const std::vector<double> u = {2.0, r.u};
    const RegridResult out = regrid(x, y, u);
    EXPECT_EQ(out.out_of_range, r.out);
    EXPECT_NEAR(out.values[0], 2.0, 1e-12);  // the good point is unaffected
    EXPECT_NEAR(out.values[1], r.expected, 1e-9);
  }
}

TEST(Regrid, DegenerateTables) {
  const std::vector<double> none;
  const std::vector<double> u = {0.0, 1.0};
  const RegridResult empty_table = regrid(none, none, u);
  EXPECT_TRUE(empty_table.out_of_range);
  EXPECT_EQ(empty_table.values, std::vector<double>({0.0, 0.0}));

  const std::vector<double> x1 = {1.0};
  const std::vector<double> y1 = {4.0};
  const RegridResult single = regrid(x1, y1, u);
  EXPECT_TRUE(single.out_of_range);
  EXPECT_EQ(single.values, std::vector<double>({0.0, 4.0}));

  const RegridResult no_targets = regrid(x1, y1, none);
  EXPECT_FALSE(no_targets.out_of_range);
  EXPECT_TRUE(no_targets.values.empty());
  EXPECT_EQ(kRegridOutOfRangeMessage, " REGRID ---W- Out of abscissa range.");
}

}  // namespace tessel
