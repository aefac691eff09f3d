// Rebinning a measured curve onto a coarser grid: linear curves kept, weights summing to one,
// empty bins.
#include "core/rebin.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessel {
namespace {

// Data at s = 1, 2, ..., 201 (step d = 1), grid at 1, 11, ..., 201 (step h = 10).
// The hats of equally spaced points have area d and sum to 1 on [s_1, s_n], and Σ s_j·hat_j(t) = t,
// so a bin [c − h/2, c + h/2] inside the data gets W = h/d, Σ w_j s_j = W·c and, for constant
// σ, σ_new = σ·√W / W = σ/√10.
TEST(RebinCurve, KeepsALinearCurveOnInteriorBins) {
  std::vector<double> s, intensity, error, grid;
  for (int j = 1; j <= 201; ++j) {
    s.push_back(j);
    intensity.push_back(7.0 - 0.03 * j);
    error.push_back(1.0);
  }
  for (int k = 0; k <= 20; ++k) grid.push_back(1.0 + 10.0 * k);
  const RebinnedCurve out = rebin_curve(s, intensity, error, grid);
  ASSERT_EQ(out.intensity.size(), 21u);
  for (std::size_t k = 1; k + 1 < grid.size(); ++k) {
    SCOPED_TRACE(grid[k]);
    EXPECT_NEAR(out.intensity[k], 7.0 - 0.03 * grid[k], 1e-12);
    EXPECT_NEAR(out.error[k], 1.0 / std::sqrt(10.0), 1e-12);
  }
  // First bin [−4, 6]: below s_1 only the first hat's rising half (from 0 to 1) lies, so
  // W = 1/2 + 5 and Σ w_j s_j = 1·(1/2) + ∫_1^6 t dt = 18: the bin's mean s is 36/11.
  EXPECT_NEAR(out.intensity[0], 7.0 - 0.03 * 36.0 / 11.0, 1e-12);
  EXPECT_NEAR(out.error[0], std::sqrt(5.5) / 5.5, 1e-12);
  // Last bin [196, 206] mirrors it: mean s = 201 − 36/11 + 1.
  EXPECT_NEAR(out.intensity[20], 7.0 - 0.03 * (202.0 - 36.0 / 11.0), 1e-12);
}

TEST(RebinCurve, EveryPointSpreadsAWeightOfOne) {
  // Data at s = 0, 1, 2, ...: the first point's hat has only its falling half (0 to 1), of
  // area 1/2, all of it in the first bin [−5, 5]. With I = 1000 at s = 0 and 0 elsewhere, the
  // first bin holds weights 1 (s = 0), 1 each (s = 1..4) and 1/2 (s = 5): I_new = 1000/5.5.
  std::vector<double> s, intensity, error;
  for (int j = 0; j <= 100; ++j) {
    s.push_back(j);
    intensity.push_back(j == 0 ? 1000.0 : 0.0);
    error.push_back(j == 0 ? 2.0 : 0.0);
  }
  const std::vector<double> grid = {0.0, 10.0, 20.0};
  const RebinnedCurve out = rebin_curve(s, intensity, error, grid);
  EXPECT_NEAR(out.intensity[0], 1000.0 / 5.5, 1e-9);
  EXPECT_NEAR(out.error[0], 2.0 / 5.5, 1e-12);
  EXPECT_EQ(out.intensity[1], 0.0);
}

TEST(RebinCurve, BinsWithoutDataGetZero) {
  const std::vector<double> s = {1.0, 2.0, 3.0, 4.0};
  const std::vector<double> intensity = {5.0, 5.0, 5.0, 5.0};
  const std::vector<double> error = {1.0, 1.0, 1.0, 1.0};
  const std::vector<double> grid = {2.5, 100.0, 200.0};
  const RebinnedCurve out = rebin_curve(s, intensity, error, grid);
  EXPECT_NEAR(out.intensity[0], 5.0, 1e-12);  // a constant stays constant
  EXPECT_EQ(out.intensity[1], 0.0);
  EXPECT_EQ(out.error[1], 0.0);
  EXPECT_EQ(out.intensity[2], 0.0);
  EXPECT_EQ(out.error[2], 0.0);
}

}  // namespace
}  // namespace tessel
