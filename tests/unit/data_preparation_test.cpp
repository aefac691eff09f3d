// Preparation of a measured curve for the fit: regridding, the first point and error floors,
// the cut and outer average, and the Guinier range.
#include "core/data_preparation.hpp"
#include "io/data_preparation_report.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

namespace tessel {
namespace {

ExpCurve line_curve(std::size_t n, double first, double step) {
  ExpCurve c;
  for (std::size_t k = 0; k < n; ++k) c.push_back(first + step * static_cast<double>(k), 100.0 - 0.01 * k, 1.0);
  return c;
}

TEST(DataPreparation, RegriddedCounts) {
  struct Row {
    std::size_t n, n_r;
  };
  const Row rows[] = {{2, 2},      {201, 201},  {202, 201},  {2019, 201}, {2020, 202},
                      {3000, 300}, {3009, 300}, {5000, 500}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.n);
    EXPECT_EQ(regridded_count(r.n), r.n_r);
  }
}

TEST(DataPreparation, RegridsLongCurvesOntoARegularGrid) {
  for (std::size_t n : {201u, 202u, 3000u}) {
    SCOPED_TRACE(n);
    const ExpCurve measured = line_curve(n, 0.01, 0.001);
    const RegridStage stage = regrid_curve(measured);
    EXPECT_EQ(stage.measured.s, measured.s);
    if (n == 201) {
      EXPECT_FALSE(stage.regridded_flag);
      EXPECT_EQ(stage.regridded.s, measured.s);
      continue;
    }
    EXPECT_TRUE(stage.regridded_flag);
    const std::size_t n_r = n == 202 ? 201 : 300;
    ASSERT_EQ(stage.regridded.size(), n_r);
    const double step = (measured.s.back() - measured.s.front()) / static_cast<double>(n_r - 1);
    for (std::size_t k = 0; k < n_r; ++k) {
      EXPECT_NEAR(stage.regridded.s[k], measured.s.front() + step * static_cast<double>(k), 1e-15);
    }
    EXPECT_EQ(stage.regridded.s.back(), measured.s.back());
  }
}

TEST(DataPreparation, FirstPointAtZeroAndErrorFloors) {
  // 1e-8 as a single-precision constant is 9.99999993922529e-09.
  for (std::size_t n : {50u, 300u}) {
    SCOPED_TRACE(n);
    ExpCurve measured = line_curve(n, 0.0, 0.001);
    measured.error[3] = 0.0;
    measured.error[4] = std::numeric_limits<double>::quiet_NaN();
    const RegridStage stage = regrid_curve(measured);
    EXPECT_NEAR(stage.regridded.s[0], 9.99999993922529e-09, 1e-23);
    EXPECT_EQ(stage.measured.s[0], 0.0);  // the unregridded curve keeps its 0
    EXPECT_EQ(stage.measured.error[3], 1e-20);
    const FitData data = finish_preparation(stage, 10.0, 15.0, false);
    EXPECT_EQ(data.w_e[3], 1e30);
    EXPECT_EQ(data.w_e[4], 1e30);
    EXPECT_EQ(data.w_e[5], 1.0);
  }
  struct Row {
    double sigma, weight;
  };
  const Row rows[] = {{2.0, 0.25}, {-0.5, 4.0}, {1e-14, 1e28}, {1e-20, 1e30}, {0.0, 1e30},
                      {std::numeric_limits<double>::quiet_NaN(), 1e30}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sigma);
    EXPECT_NEAR(fit_weight(r.sigma), r.weight, 1e-12 * r.weight);
  }
}

TEST(DataPreparation, CutAndOuterAverage) {
  // s_k = 0.01 k, I_k = k, k = 1..100 (not regridded).
  ExpCurve measured;
  for (int k = 1; k <= 100; ++k) measured.push_back(0.01 * k, k, 1.0);
  const RegridStage stage = regrid_curve(measured);
  struct Row {
    double s_max;
    bool subtract;
    std::size_t n_r, tail;
    double average;
  };
  const Row rows[] = {
      {0.555, true, 55, 6, 52.5},    // nint(5.5) = 6: mean of 50..55
      {0.555, false, 55, 6, 52.5},   // computed all the same, background unit 0
      {2.0, true, 100, 10, 95.5},    // no cut: mean of 91..100
      {0.535, true, 53, 5, 51.0},    // nint(5.3) = 5: mean of 49..53
      {0.035, true, 3, 3, 2.0},      // three points: their mean, nothing read before the first
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.s_max << (r.subtract ? " subtract" : ""));
    const FitData data = finish_preparation(stage, r.s_max, 14.0, r.subtract);
    EXPECT_EQ(data.s_r.size(), r.n_r);
    EXPECT_EQ(data.i_r.size(), r.n_r);
    EXPECT_EQ(data.w_r.size(), r.n_r);
    EXPECT_EQ(data.s_e.size(), 100u);  // the unregridded points stay whole
    EXPECT_EQ(data.cut, r.n_r < 100);
    EXPECT_EQ(data.tail_points, r.tail);
    EXPECT_DOUBLE_EQ(data.outer_average, r.average);
    EXPECT_EQ(data.a_out, r.subtract ? r.average : 0.0);
    EXPECT_EQ(data.background_low, -0.5);
    EXPECT_EQ(data.background_high, 0.5);
  }

  std::ostringstream console, log;
  const Report report{&console, nullptr, &log};
  write_regrid_report(stage, report);
  write_fit_data_report(finish_preparation(stage, 0.555, 14.0, true), report);
  EXPECT_EQ(console.str(), "");
  const std::string text = log.str();
  EXPECT_EQ(text.find(" No regridding. Number of exp points kept"), 1u);
  EXPECT_NE(text.find(": 100\n"), std::string::npos);
  EXPECT_NE(text.find(" Number of experimental points used"), std::string::npos);
  EXPECT_NE(text.find(": 55\n"), std::string::npos);
  EXPECT_NE(text.find(" Average intensity in the outer part"), std::string::npos);
  EXPECT_NE(text.find(": 52.50\n"), std::string::npos);

  std::ostringstream console2, log2;
  write_regrid_report(regrid_curve(line_curve(3000, 0.01, 0.0001)), Report{&console2, nullptr, &log2});
  EXPECT_EQ(console2.str(), log2.str());
  EXPECT_EQ(console2.str().find(" Number of points after regridding"), 1u);
  EXPECT_EQ(console2.str().substr(console2.str().size() - 6), ": 300\n");
}

TEST(DataPreparation, GuinierRangeReachesTheAtomsRadius) {
  // Exact Guinier curve, Rg = 20, s_k = 0.0055 + 0.001 (k − 1), k = 1..150: the estimate
  // takes the 60 points below 1.3/20. With Rg of the atoms 10 the range must reach
  // 1.5/10 = 0.15, 145 points; with 30 it needs only 45, fewer than the 60 estimated.
  ExpCurve measured;
  for (int k = 0; k < 150; ++k) {
    const double s = 0.0055 + 0.001 * k;
    measured.push_back(s, 1000.0 * std::exp(-400.0 * s * s / 3.0), 1.0);
  }
  const RegridStage stage = regrid_curve(measured);
  const FitData reach = finish_preparation(stage, 1.0, 10.0, false);
  EXPECT_EQ(reach.guinier.nrg, 60u);
  EXPECT_EQ(reach.guinier_min, 145u);
  EXPECT_TRUE(reach.guinier_repeated);
  EXPECT_EQ(reach.nrg, 145u);
  const FitData enough = finish_preparation(stage, 1.0, 30.0, false);
  EXPECT_EQ(enough.guinier_min, 45u);
  EXPECT_FALSE(enough.guinier_repeated);
  EXPECT_EQ(enough.nrg, 60u);
}

}  // namespace
}  // namespace tessel
