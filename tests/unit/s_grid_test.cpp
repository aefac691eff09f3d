// The computed s grid: from zero to the maximum s, and the single-point grid.
#include "core/s_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace tessel {

TEST(SGrid, EndsAtSmaxAndStartsAtZero) {
  const auto s = make_s_grid(51, 0.5);
  ASSERT_EQ(s.size(), 51u);
  EXPECT_EQ(s.front(), 0.0);
  EXPECT_DOUBLE_EQ(s[1], 0.01);
  EXPECT_DOUBLE_EQ(s.back(), 0.5);
}

TEST(SGrid, SinglePointIsForwardScatteringOnly) {
  const auto s = make_s_grid(1, 0.5);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_TRUE(std::isfinite(s[0]));
}

}  // namespace tessel
