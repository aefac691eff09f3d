// The default point count of the interactive s-grid question.
#include "app/job.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace tessel {
namespace {

TEST(Job, DefaultPointCountFollowsTheMaximumS) {
  struct Case {
    double s_max;
    int points;
  };
  const Case cases[] = {
      {0.5, 51},      // 50 steps of 0.01
      {0.3, 31},      // 0.3/0.01 is a hair below 30 in binary; rounding gives 30
      {1.0, 101},
      {0.004, 1},     // rounds to no step at all
      {49.97, 4998},
      {49.99, 5000},  // rounded quotient 4999: the largest number of points
      {60.0, 5000},
      {1e300, 5000},
      {std::numeric_limits<double>::infinity(), 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s_max);
    EXPECT_EQ(default_point_count(c.s_max), c.points);
  }
}

}  // namespace
}  // namespace tessel
