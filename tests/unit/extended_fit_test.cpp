// The extended fit: the signed damping exponent, the curves between shell widths, the
// plausibility rule, and the whole search on a synthetic particle whose shell depends on its width
// (parameters recovered; a large background refused and held to 5 % of I(0)).
#include "core/extended_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fit_synthetic_model.hpp"

namespace tessel {
namespace {

using tessel_test::regular_points;
using tessel_test::uniform_grid;

constexpr double kPi = std::numbers::pi;

// A particle whose shell amplitude grows and narrows with the width w (two components, like the
// other amplitudes of SyntheticParticle), with a damping of the excluded volume of any sign:
// exp(s²·e/(4π)), e = signed_radius_exponent(Ra).
struct WidthParticle {
  tessel_test::SyntheticParticle p;
  void shell(double s, double w, double (&b)[2]) const {
    const double q = s * s;
    b[0] = 4000 * w * std::exp(-q * (40 + 8 * w));
    b[1] = 700 * w * s * 8 * std::exp(-q * (30 + 6 * w));
  }
  double intensity(double s, double volume, double radius, double contrast, double w) const {
    double a[2], c[2], b[2];
    p.amplitudes(s, a, c, b);
    shell(s, w, b);
    const double g = p.rho0 * volume / p.n_atoms *
                     std::exp(s * s * signed_radius_exponent(radius, kSearchTwoThirds) / (4 * kPi));
    double sum = 0;
    for (int l = 0; l < 2; ++l) sum += std::pow(a[l] - g * c[l] + contrast * b[l], 2);
    return sum;
  }
  ShellWidthCurves curves(const std::vector<double>& s, const std::vector<double>& widths) const {
    ShellWidthCurves c;
    c.widths = widths;
    for (const double w : widths) {
      std::vector<double> ib, iab, icb;
      for (const double q : s) {
        double a[2], cc[2], b[2];
        p.amplitudes(q, a, cc, b);
        shell(q, w, b);
        ib.push_back(b[0] * b[0] + b[1] * b[1]);
        iab.push_back(2 * (a[0] * b[0] + a[1] * b[1]));
        icb.push_back(2 * (cc[0] * b[0] + cc[1] * b[1]));
      }
      c.shell.push_back(ib);
      c.atoms_shell.push_back(iab);
      c.solvent_shell.push_back(icb);
      c.volumes.push_back(1000 * w);
    }
    return c;
  }
};

// Measured points of the particle: scale·I + background, σ = 1e-3·scale·I, no noise.
FitData measurement(const WidthParticle& wp, const ExtendedParameters& x, double background) {
  FitData d;
  for (const double q : regular_points(200, 0.01, 0.45)) {
    const double clean = 2e-4 * wp.intensity(q, x.volume, x.radius, x.contrast, x.width);
    d.s_r.push_back(q);
    d.i_r.push_back(clean + background);
    d.w_r.push_back(1.0 / std::pow(1e-2 * clean, 2));
  }
  d.s_e = d.s_r;
  d.i_e = d.i_r;
  d.w_e = d.w_r;
  d.subtract_constant = true;
  d.outer_average = d.a_out = d.i_r.back();
  return d;
}

}  // namespace

TEST(ExtendedFit, SignedDampingExponentAndWidthInterpolation) {
  // Ra ≥ 0: −((4π/3)·Ra³)^(2/3), the default search's exponent; Ra < 0: its opposite, and at −r0
  // it cancels the average atom's own Gaussian exp(−s²·((4π/3)·r0³)^(2/3)/(4π)).
  const double own = std::pow(4.0 / 3.0 * kPi * std::pow(1.62, 3), kSearchTwoThirds);
  EXPECT_DOUBLE_EQ(signed_radius_exponent(1.62, kSearchTwoThirds), -own);
  EXPECT_DOUBLE_EQ(signed_radius_exponent(-1.62, kSearchTwoThirds), own);
  EXPECT_EQ(signed_radius_exponent(0.0, kSearchTwoThirds), 0.0);

  // Curves cubic in the width are reproduced exactly by the four-node interpolation, at the nodes
  // and between them (also in the end intervals); the volumes likewise.
  ShellWidthCurves c;
  for (int i = 0; i < 11; ++i) {
    const double w = 1.0 + 0.5 * i;
    c.widths.push_back(w);
    c.shell.push_back({w * w * w, 1.0});
    c.atoms_shell.push_back({2.0 - w, w * w});
    c.solvent_shell.push_back({0.0, -w});
    c.volumes.push_back(10 * w * w * w - w);
  }
  for (const double w : {1.0, 1.2, 3.0, 4.37, 5.9, 6.0}) {
    const WidthCurves at = curves_at_width(c, w);
    EXPECT_NEAR(at.shell[0], w * w * w, 1e-12 * 216) << w;
    EXPECT_NEAR(at.atoms_shell[1], w * w, 1e-12 * 36) << w;
    EXPECT_NEAR(at.solvent_shell[1], -w, 1e-12 * 6) << w;
    EXPECT_NEAR(at.volume, 10 * w * w * w - w, 1e-11 * 2160) << w;
  }

  // The rule: 15 % of the displaced volume, 5 % of I(0), both signs.
  EXPECT_TRUE(plausibility(114.9, 100.0, -0.049, 1.0).ok());
  EXPECT_FALSE(plausibility(115.1, 100.0, 0.0, 1.0).volume_ok);
  EXPECT_FALSE(plausibility(84.9, 100.0, 0.0, 1.0).volume_ok);
  EXPECT_FALSE(plausibility(100.0, 100.0, 0.051, 1.0).background_ok);
  EXPECT_DOUBLE_EQ(plausibility(100.0, 100.0, -0.02, 0.5).background_fraction, -0.04);
}

TEST(ExtendedFit, SearchRecoversWeakDampingWidthAndBackground) {
  // The truth lies off the grid in every parameter and below the default radius range (Ra < 0);
  // the background is 2 % of I(0); σ = 1 % of I without noise. Damping, contrast, width and volume
  // trade off against each other on curves this smooth, so each is recovered with the others held
  // at the truth, and the whole search must reach a χ² of a small fraction of a point's σ².
  const WidthParticle wp;
  tessel_test::SyntheticCurves base(wp.p, uniform_grid(51, 0.5));
  const ShellWidthCurves curves = wp.curves(base.s, {1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5, 5.0, 5.5, 6.0});
  const ExtendedParameters truth{16390.0, -1.13, 0.0437, 4.3};
  const double forward = 2e-4 * wp.intensity(0.0, truth.volume, truth.radius, truth.contrast, truth.width);
  const FitData data = measurement(wp, truth, 0.02 * forward);
  const ExtendedLimits limits = extended_search_limits(base.model, data, false);
  EXPECT_EQ(limits.radius_high, 1.8);
  EXPECT_LE(limits.radius_low, -1.6 + 1e-9);  // down to −r0 = −1.6, in steps of 0.02
  EXPECT_GT(limits.radius_low, -1.6 - 0.02);
  EXPECT_EQ(limits.base.background_low, kExtendedBackgroundLow);

  ExtendedLimits some = limits;  // V_ex and Ra searched
  some.base.contrast_low = some.base.contrast_high = truth.contrast;
  some.width_low = some.width_high = truth.width;
  some.base.contrast_count = some.width_count = 1;
  ExtendedSearchResult r = search_extended(base.model, curves, data, some, data.a_out);
  ASSERT_TRUE(r.found);
  EXPECT_NEAR(r.best.volume, truth.volume, 0.002 * truth.volume);
  EXPECT_NEAR(r.best.radius, truth.radius, 0.02);
  EXPECT_NEAR(r.best_plausibility.background_fraction, 0.02, 0.001);
  some = limits;  // the width alone
  some.base.volume_low = some.base.volume_high = truth.volume;
  some.radius_low = some.radius_high = truth.radius;
  some.base.contrast_low = some.base.contrast_high = truth.contrast;
  some.base.volume_count = some.radius_count = some.base.contrast_count = 1;
  r = search_extended(base.model, curves, data, some, data.a_out);
  EXPECT_NEAR(r.best.width, truth.width, 0.01);

  ExtendedLimits grid_only = limits;
  grid_only.refine = false;
  const ExtendedSearchResult g = search_extended(base.model, curves, data, grid_only, data.a_out);
  r = search_extended(base.model, curves, data, limits, data.a_out);
  ASSERT_TRUE(r.found && r.plausible_found);
  EXPECT_EQ(r.grid_points, 31u * 31u * static_cast<std::size_t>(limits.radius_count) * 11u);
  EXPECT_GT(r.refinement_evaluations, 0u);
  EXPECT_TRUE(r.best_plausibility.ok());
  EXPECT_LT(r.chi2, 0.01);
  EXPECT_LE(r.chi2, g.chi2);

  // The final evaluation on the same points agrees with the search and leaves the background free.
  FitModel m = base.model;
  const WidthCurves wc = curves_at_width(curves, r.best.width);
  m.shell = wc.shell;
  m.atoms_shell = wc.atoms_shell;
  m.solvent_shell = wc.solvent_shell;
  const ExtendedFinalFit f = evaluate_extended_fit(m, data, r.best, data.s_r.back(), data.a_out, 0);
  EXPECT_FALSE(f.background_held);
  EXPECT_NEAR(f.fit.chi2, r.chi2, 0.01);
  EXPECT_NEAR(f.forward_intensity, forward, 0.02 * forward);
}

TEST(ExtendedFit, LargeBackgroundIsRefusedAndHeldToTheLimit) {
  // A background of 20 % of I(0): the best fit takes it and breaks the rule; the best plausible
  // fit holds it to exactly 5 % of its forward intensity, at a larger χ², in the search and in the
  // final evaluation.
  const WidthParticle wp;
  tessel_test::SyntheticCurves base(wp.p, uniform_grid(51, 0.5));
  const ShellWidthCurves curves = wp.curves(base.s, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
  const ExtendedParameters truth{16000.0, 1.6, 0.03, 3.0};
  const double forward = 2e-4 * wp.intensity(0.0, truth.volume, truth.radius, truth.contrast, truth.width);
  const FitData data = measurement(wp, truth, 0.2 * forward);
  ExtendedLimits limits = extended_search_limits(base.model, data, false);
  limits.width_low = 1.0;
  limits.width_count = 6;
  const ExtendedSearchResult r = search_extended(base.model, curves, data, limits, data.a_out);
  ASSERT_TRUE(r.found && r.plausible_found);
  EXPECT_FALSE(r.best_plausibility.background_ok);
  EXPECT_NEAR(r.best_plausibility.background_fraction, 0.2, 0.02);
  EXPECT_GT(r.plausible_chi2, r.chi2);

  FitModel m = base.model;
  const WidthCurves wc = curves_at_width(curves, r.plausible.width);
  m.shell = wc.shell;
  m.atoms_shell = wc.atoms_shell;
  m.solvent_shell = wc.solvent_shell;
  const ExtendedFinalFit f = evaluate_extended_fit(m, data, r.plausible, data.s_r.back(), data.a_out, 0);
  EXPECT_TRUE(f.background_held);
  EXPECT_TRUE(f.plausibility.ok());
  EXPECT_NEAR(f.plausibility.background_fraction, 0.05, 1e-9);
}

}  // namespace tessel
