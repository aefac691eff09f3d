// Tests of the solvent-parameter search and the final fit evaluation on a synthetic particle
// whose intensity is known in closed form.
#include "core/fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "fit_synthetic_model.hpp"

namespace {

using tessel::FitData;
using tessel::SearchLimits;
using tessel_test::SyntheticCurves;
using tessel_test::SyntheticMeasurement;
using tessel_test::SyntheticParticle;
using tessel_test::uniform_grid;

// The exponent of the final evaluation: 0.6666666 in single precision (0.6666666269302368).
constexpr double kSingleTwoThirds = static_cast<double>(0.6666666f);

// The default grid steps, from the table of search ranges.
struct DefaultGrid {
  double v_low, v_step, r_step = 0.4 / 20, c_step = 0.075 / 30;
  explicit DefaultGrid(double vd)
      : v_low(static_cast<double>(0.925f) * vd),
        v_step((static_cast<double>(1.075f) - static_cast<double>(0.925f)) * vd / 30) {}
  double volume(int i) const { return v_low + i * v_step; }
  double radius(int i) const { return 1.4 + i * r_step; }
  double contrast(int i) const { return i * c_step; }
};

TEST(PowerOfTen, AgreesWithPowAcrossTheRange) {
  // exp(v·ln 10) style rounding: a few units in the last place of v·ln 10 near |v| = 300.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-300.0, 300.0);
  std::vector<double> v{0.0, 1.0, -1.0, 2.0, -10.0, 0.5, 7.25, -299.5, 299.5};
  for (int i = 0; i < 20000; ++i) v.push_back(uniform(random) / (i % 2 ? 1.0 : 25.0));
  std::vector<double> bulk(v.size());
  tessel::powers_of_ten(v, bulk);
  for (std::size_t i = 0; i < v.size(); ++i) {
    SCOPED_TRACE(v[i]);
    const double exact = std::pow(10.0, v[i]);
    const double tolerance = (1 + std::fabs(v[i]) * 2.3) * 4e-16;
    EXPECT_NEAR(bulk[i] / exact, 1.0, tolerance);
    EXPECT_NEAR(tessel::power_of_ten(v[i]) / exact, 1.0, tolerance);
  }
  EXPECT_EQ(tessel::power_of_ten(0.0), 1.0);
}

TEST(PowerOfTen, BulkFallsBackOutsideTheFastRange) {
  const std::vector<double> v{2.0, 400.0, -400.0, std::numeric_limits<double>::quiet_NaN()};
  std::vector<double> out(v.size());
  tessel::powers_of_ten(v, out);
  EXPECT_NEAR(out[0], 100.0, 1e-12);
  EXPECT_TRUE(std::isinf(out[1]));
  EXPECT_EQ(out[2], 0.0);
  EXPECT_TRUE(std::isnan(out[3]));
}

TEST(LogIntensity, FloorsSmallMagnitudes) {
  EXPECT_DOUBLE_EQ(tessel::log_intensity(1000.0), 3.0);
  EXPECT_DOUBLE_EQ(tessel::log_intensity(-0.01), -2.0);
  EXPECT_EQ(tessel::log_intensity(1e-10), -10.0);  // at most 1e-10: the floor
  EXPECT_EQ(tessel::log_intensity(0.0), -10.0);
  EXPECT_GT(tessel::log_intensity(1.0000001e-10), -10.0);
}

TEST(GridValue, WalksFromTheLowerValue) {
  EXPECT_DOUBLE_EQ(tessel::grid_value(1.4, 1.8, 21, 0), 1.4);
  EXPECT_DOUBLE_EQ(tessel::grid_value(1.4, 1.8, 21, 20), 1.8);
  EXPECT_DOUBLE_EQ(tessel::grid_value(0.0, 0.075, 31, 12), 0.03);
  EXPECT_EQ(tessel::grid_value(5.0, 9.0, 1, 0), 5.0);
}

TEST(DefaultSearchLimits, FollowTheTableAndTheDefaultOption) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  FitData data;
  data.s_r = {0.01, 0.2, 0.3};
  const SearchLimits grid = tessel::default_search_limits(curves.model, data, false);
  EXPECT_DOUBLE_EQ(grid.volume_low, 0.925000011920929 * 16000.0);
  EXPECT_DOUBLE_EQ(grid.volume_high, 1.0750000476837158 * 16000.0);
  EXPECT_EQ(grid.radius_low, 1.4);
  EXPECT_EQ(grid.radius_high, 1.8);
  EXPECT_EQ(grid.contrast_low, 0.0);
  EXPECT_EQ(grid.contrast_high, 0.075);
  EXPECT_EQ(grid.volume_count * grid.radius_count * grid.contrast_count, 20181);
  EXPECT_EQ(grid.s_max_fit, 0.3);
  EXPECT_EQ(grid.background_low, -0.5);
  EXPECT_EQ(grid.background_high, 0.5);

  const SearchLimits fixed = tessel::default_search_limits(curves.model, data, true);
  EXPECT_EQ(fixed.volume_low, 16000.0);
  EXPECT_EQ(fixed.volume_high, 16000.0);
  EXPECT_EQ(fixed.radius_low, 1.6);
  EXPECT_EQ(fixed.contrast_low, 0.03);
  EXPECT_EQ(fixed.volume_count * fixed.radius_count * fixed.contrast_count, 1);
}

TEST(FitRange, BracketsTheFittedPointsOnTheModelGrid) {
  // Model grid 0, 0.01, ..., 0.5 (k·0.5/50); data 0.015, 0.025, ..., 0.295 (29 points).
  const std::vector<double> s_c = uniform_grid(51, 0.5);
  std::vector<double> s_r;
  for (int i = 0; i < 29; ++i) s_r.push_back(0.015 + 0.01 * i);
  struct Case {
    double s_max;
    std::size_t n_fit, first, last;
    double s_max_fit;
  };
  const Case cases[] = {
      // All points: s_max_fit is the last datum 0.295; stretch from s_c = 0.01 (the last grid
      // point below 0.015) to s_c = 0.30 (the first at or past 0.295).
      {s_r.back(), 29, 1, 30, s_r.back()},
      {0.9, 29, 1, 30, s_r.back()},
      // Strictly below 0.2: 0.015..0.195 are 19 points; the stretch ends at s_c = 0.20.
      {0.2, 19, 1, 20, 0.2},
      {0.0151, 1, 1, 2, 0.0151},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.s_max);
    const tessel::FitRange r = tessel::fit_range(s_c, s_r, c.s_max);
    EXPECT_EQ(r.n_fit, c.n_fit);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.last, c.last);
    EXPECT_DOUBLE_EQ(r.s_max_fit, c.s_max_fit);
    EXPECT_FALSE(r.empty());
  }
  // At or below the first datum nothing is fitted.
  EXPECT_TRUE(tessel::fit_range(s_c, s_r, 0.015).empty());
  EXPECT_TRUE(tessel::fit_range(s_c, s_r, 0.001).empty());
  EXPECT_TRUE(tessel::fit_range(s_c, {}, 0.3).empty());
}

TEST(ExcludedVolumeScale, GaussianBelowOneInverseAngstrom) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  std::vector<double> scale(51, -1.0);
  tessel::fit_excluded_volume_scale(curves.model, 15000.0, 1.5, tessel::kFinalTwoThirds, 3, 40, scale);
  for (std::size_t k = 0; k < 51; ++k) {
    SCOPED_TRACE(k);
    if (k < 3 || k > 40) {
      EXPECT_EQ(scale[k], -1.0);  // outside the stretch: untouched
    } else {
      EXPECT_NEAR(scale[k] / p.scale(curves.s[k], 15000.0, 1.5, kSingleTwoThirds), 1.0, 1e-12);
    }
  }
  // At s = 0: ρ0·V/N.
  tessel::fit_excluded_volume_scale(curves.model, 15000.0, 1.5, tessel::kFinalTwoThirds, 0, 50, scale);
  EXPECT_DOUBLE_EQ(scale[0], 0.334 * 15.0);
}

TEST(ExcludedVolumeScale, FallsAsInverseSquareBeyondTheHighAnglePeak) {
  // I_C = 1 everywhere: s²·√I_C·G peaks where s² = 1/a, a = V_a^(2/3)/(4π).
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(201, 2.0));
  std::vector<double> ones(201, 1.0);
  tessel::FitModel model = curves.model;
  model.solvent = ones;
  const double radius = 1.6;
  const double va = 4.0 / 3.0 * std::numbers::pi * std::pow(radius, 3);
  const double a = std::pow(va, kSingleTwoThirds) / (4 * std::numbers::pi);
  const double s_peak = 1 / std::sqrt(a);  // 1.3745 Å⁻¹
  ASSERT_GT(s_peak, 1.0);
  std::vector<double> scale(201);
  tessel::fit_excluded_volume_scale(model, 16000.0, radius, tessel::kFinalTwoThirds, 0, 200, scale);
  // The discrete peak: the grid point (step 0.01) nearest to s_peak where s²·G is largest.
  std::size_t k_star = 0;
  double best = -1;
  for (std::size_t k = 0; k < 201; ++k) {
    const double s = curves.s[k];
    const double value = s * s * std::exp(-a * s * s);
    if (value >= best) {
      best = value;
      k_star = k;
    }
  }
  EXPECT_NEAR(curves.s[k_star], s_peak, 0.01);
  const double g_star = p.scale(curves.s[k_star], 16000.0, radius, kSingleTwoThirds);
  const double amplitude_star = g_star * curves.s[k_star] * curves.s[k_star];
  for (std::size_t k = 1; k < 201; ++k) {
    SCOPED_TRACE(k);
    const double s = curves.s[k];
    if (k <= k_star) {
      EXPECT_NEAR(scale[k] / p.scale(s, 16000.0, radius, kSingleTwoThirds), 1.0, 1e-12);
    } else {
      EXPECT_NEAR(scale[k] * s * s / amplitude_star, 1.0, 1e-12);  // Ĉ·√I_C·s² held at its peak
    }
  }
  // A stretch that ends below 1 Å⁻¹ has no continuation, even on this grid.
  tessel::fit_excluded_volume_scale(model, 16000.0, radius, tessel::kFinalTwoThirds, 0, 90, scale);
  EXPECT_NEAR(scale[90] / p.scale(curves.s[90], 16000.0, radius, kSingleTwoThirds), 1.0, 1e-12);
}

TEST(ExcludedVolumeScale, FinalEvaluationAgreesWithTheIntensityStage) {
  // The intensity stage computes the same scale on the whole grid by its own code; the peak
  // search there weighs Ĉ itself, here only its shape, which moves no point on a smooth curve.
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(301, 3.0));
  for (const double radius : {1.4, 1.6, 1.8}) {
    SCOPED_TRACE(radius);
    std::vector<double> scale(301);
    tessel::fit_excluded_volume_scale(curves.model, 15800.0, radius, tessel::kFinalTwoThirds, 0, 300, scale);
    const std::vector<double> reference =
        tessel::excluded_volume_scale(curves.s, curves.ic, p.rho0, 15800.0, p.n_atoms, radius);
    for (std::size_t k = 0; k < 301; ++k) {
      SCOPED_TRACE(k);
      EXPECT_NEAR(scale[k] / reference[k], 1.0, 1e-13);
    }
  }
}

// The search recovers the parameters a curve was made with: 500 points, 1 % Gaussian noise.
TEST(SolventSearch, RecoversTheGeneratingParameters) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  const DefaultGrid grid(p.displaced_volume);
  struct Case {
    int iv, ir, ic;
    double background;  // absolute, fitted only with constant subtraction
  };
  const Case cases[] = {{12, 13, 18, 0.0}, {20, 5, 8, 0.0}, {15, 10, 12, 3e-3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.iv << " " << c.ir << " " << c.ic);
    SyntheticMeasurement m{grid.volume(c.iv), grid.radius(c.ir), grid.contrast(c.ic)};
    m.background = c.background;
    m.noise = 0.002;
    m.seed = static_cast<unsigned>(c.iv * 1000 + c.ir * 10 + c.ic);
    const FitData data = tessel_test::synthetic_data(p, m, tessel_test::regular_points(500, 0.01, 0.49));
    const double a_out = c.background > 0 ? 0.01 : 0.0;  // background unit
    const SearchLimits limits = tessel::default_search_limits(curves.model, data, false);
    const tessel::SearchResult r = tessel::search_solvent_parameters(curves.model, data, limits, a_out);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.evaluations, 20181u);
    EXPECT_EQ(r.range.n_fit, 500u);
    EXPECT_NEAR(r.best.volume, m.volume, grid.v_step * 1.001);
    EXPECT_NEAR(r.best.radius, m.radius, grid.r_step * 1.001);
    EXPECT_NEAR(r.best.contrast, m.contrast, grid.c_step * 1.001);
    // χ² per point of a correct model with these weights: 1 ± √(2/500) = 1 ± 0.063; 0.3 is
    // more than four standard deviations.
    EXPECT_NEAR(r.chi2, 1.0, 0.3);
    if (a_out > 0) {
      EXPECT_NEAR(r.background * a_out, c.background, 0.1 * c.background);
    }
  }
}

}  // namespace

namespace {

TEST(SolventSearch, DefaultParametersAreOneEvaluation) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  SyntheticMeasurement m{p.displaced_volume, p.atomic_radius, 0.03};
  m.noise = 0.0;  // σ = 0.1 % of the clean curve, nothing added
  const FitData data = tessel_test::synthetic_data(p, m, tessel_test::regular_points(300, 0.02, 0.45));
  const SearchLimits limits = tessel::default_search_limits(curves.model, data, true);
  const tessel::SearchResult r = tessel::search_solvent_parameters(curves.model, data, limits, 0.0);
  EXPECT_EQ(r.evaluations, 1u);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.best.volume, 16000.0);
  EXPECT_EQ(r.best.radius, 1.6);
  EXPECT_EQ(r.best.contrast, 0.03);
  EXPECT_LT(r.chi2, 1e-3);  // the curve is the model itself: only the spline's error remains
  const tessel::FinalFit f =
      tessel::evaluate_final_fit(curves.model, data, r.best, r.range.s_max_fit, 0.0, -0.5, 0.5, 0);
  EXPECT_NEAR(f.scale / m.scale, 1.0, 1e-6);
}

TEST(SolventSearch, EqualChiSquareKeepsTheEarlierGridPoint) {
  // Without a shell the contrast has no effect: every contrast gives the same χ² to the bit.
  SyntheticParticle p;
  p.with_shell = false;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  SyntheticMeasurement m{16000.0, 1.6, 0.0};
  const FitData data = tessel_test::synthetic_data(p, m, tessel_test::regular_points(200, 0.02, 0.45));
  SearchLimits limits = tessel::default_search_limits(curves.model, data, false);
  limits.contrast_low = 0.01;
  limits.contrast_high = 0.07;
  const tessel::SearchResult r = tessel::search_solvent_parameters(curves.model, data, limits, 0.0);
  EXPECT_EQ(r.best.contrast, 0.01);
  // Reversed limits walk downwards, and again the first value wins.
  std::swap(limits.contrast_low, limits.contrast_high);
  EXPECT_EQ(tessel::search_solvent_parameters(curves.model, data, limits, 0.0).best.contrast, 0.07);
}

TEST(SolventSearch, EmptyRangeIsNotSearched) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  const FitData data = tessel_test::synthetic_data(p, {16000.0, 1.6, 0.03},
                                                   tessel_test::regular_points(100, 0.05, 0.45));
  SearchLimits limits = tessel::default_search_limits(curves.model, data, false);
  for (const double s_max : {0.05, 0.01, -1.0}) {
    SCOPED_TRACE(s_max);
    limits.s_max_fit = s_max;
    const tessel::SearchResult r = tessel::search_solvent_parameters(curves.model, data, limits, 0.0);
    EXPECT_FALSE(r.searched);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.evaluations, 0u);
    EXPECT_EQ(r.chi2, 1e20);
  }
}

TEST(FinalFit, SolvesScaleAndBackgroundOnThePointsBelowTheLimitPlusOne) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  SyntheticMeasurement m{15500.0, 1.55, 0.04};
  m.noise = 0.0;
  m.background = 1.0;  // the intensity near s = 0.35
  m.two_thirds = kSingleTwoThirds;
  const FitData data = tessel_test::synthetic_data(p, m, tessel_test::regular_points(500, 0.01, 0.49));
  const double a_out = 2.5;  // relative background 0.4
  // s_e,i = 0.01 + 0.48·i/499 < 0.4 for i ≤ 405: 406 points, and one more.
  const tessel::FinalFit f = tessel::evaluate_final_fit(curves.model, data, {15500.0, 1.55, 0.04}, 0.4,
                                                        a_out, -0.5, 0.5, 0);
  EXPECT_EQ(f.n_fit, 407u);
  EXPECT_NEAR(f.scale / m.scale, 1.0, 1e-5);
  EXPECT_NEAR(f.background * a_out / m.background, 1.0, 1e-3);
  EXPECT_FALSE(f.out_of_range);
  ASSERT_EQ(f.fitted.size(), 500u);
  for (std::size_t i = 0; i < 500; i += 37) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(f.fitted[i] / data.i_e[i], 1.0, 1e-5);  // also past the fitted range
  }
  EXPECT_LT(f.chi2, 1e-3);
  // The model curve on the computed grid is the unscaled intensity at the final exponent.
  ASSERT_EQ(f.intensity.size(), 51u);
  for (std::size_t k = 0; k < 51; k += 10) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(f.intensity[k] / p.intensity(curves.s[k], 15500.0, 1.55, 0.04, kSingleTwoThirds), 1.0, 1e-12);
  }
  // The limit at or past the last point fits every point.
  EXPECT_EQ(tessel::evaluate_final_fit(curves.model, data, {15500.0, 1.55, 0.04}, 0.49, a_out, -0.5, 0.5, 0).n_fit,
            500u);
}

TEST(FinalFit, PointsOutsideTheModelGridAreFlagged) {
  const SyntheticParticle p;
  const SyntheticCurves curves(p, uniform_grid(51, 0.5));
  FitData data = tessel_test::synthetic_data(p, {16000.0, 1.6, 0.03}, tessel_test::regular_points(50, 0.02, 0.6));
  const tessel::FinalFit f =
      tessel::evaluate_final_fit(curves.model, data, {16000.0, 1.6, 0.03}, 0.4, 0.0, -0.5, 0.5, 0);
  EXPECT_TRUE(f.out_of_range);
  // Beyond 0.505 the carried logarithm is 0: the model value is 1, times the scale.
  EXPECT_DOUBLE_EQ(f.fitted.back(), f.scale);
}

}  // namespace
