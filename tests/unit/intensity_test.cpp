// Intensities from partial amplitudes: partial and cross terms, the model intensity, the
// excluded-volume scale and its tail, and the combined radius of gyration.
#include "core/intensity.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/s_grid.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;
using cplx = std::complex<double>;

PartialAmplitudes random_amplitude(int l_max, int n_points, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  PartialAmplitudes x(l_max, n_points);
  for (auto& v : x.values()) v = {u(gen), u(gen)};
  return x;
}

}  // namespace

TEST(Intensity, PartialAndCrossTermsByHand) {
  PartialAmplitudes x(1, 2), y(1, 2);
  x(0, 0) = {1, 2};
  x(1, 0) = {0, 1};
  x(2, 0) = {3, -1};
  x(0, 1) = {0.5, 0};
  x(2, 1) = {0, 2};
  y(0, 0) = {2, 0};
  y(1, 0) = {1, 1};
  y(2, 0) = {-1, 1};
  // |X_00|² + |X_10|² + 2|X_11|²: 5 + 1 + 2·10 at point 0, 0.25 + 2·4 at point 1.
  const std::vector<double> i = partial_intensity(x);
  EXPECT_NEAR(i[0], 2 * kPi * kPi * 26.0, 1e-12);
  EXPECT_NEAR(i[1], 2 * kPi * kPi * 8.25, 1e-12);
  EXPECT_NEAR(partial_intensity(x, 1)[0], 2 * kPi * kPi * 21.0, 1e-12);
  EXPECT_NEAR(partial_intensity(x, 0, 0)[0], 2 * kPi * kPi * 5.0, 1e-12);
  // Re(X·conj(Y)): 2 for (0,0), 1 for (1,0), −4 for (1,1) counted twice.
  EXPECT_NEAR(cross_intensity(x, y)[0], 4 * kPi * kPi * -5.0, 1e-12);
  EXPECT_EQ(cross_intensity(x, y)[1], 0.0);
}

TEST(Intensity, ModelIntensityIsThatOfTheNetAmplitude) {
  // I = ⟨|A − Ĉ·C + δρ·B|²⟩: the six partial intensities recombine to the net amplitude's.
  const PartialAmplitudes a = random_amplitude(4, 5, 1);
  const PartialAmplitudes c = random_amplitude(4, 5, 2);
  const PartialAmplitudes b = random_amplitude(4, 5, 3);
  const std::vector<double> scale = {0.3, 1.7, -0.2, 0.0, 2.5};
  const double delta_rho = 0.8;
  PartialAmplitudes net(4, 5);
  for (int k = 0; k < 5; ++k) {
    for (int i = 0; i < net.pair_count(); ++i) {
      net(i, k) = a(i, k) - scale[static_cast<std::size_t>(k)] * c(i, k) + delta_rho * b(i, k);
    }
  }
  const std::vector<double> want = partial_intensity(net);
  const std::vector<double> got = model_intensity(partial_intensities(a, c, b), scale, delta_rho);
  for (std::size_t k = 0; k < 5; ++k) EXPECT_NEAR(got[k], want[k], 1e-12 * want[k]) << k;
}

TEST(Intensity, GaussianExcludedVolumeScale) {
  // ρ0·(V_ex/N)·exp(−s²·V̄^(2/3)/(4π)), V̄ = (4π/3)·1.6³, ρ0 = 0.334, V_ex/N = 15: reference
  // values from this formula in double precision (Python's math.exp and ** operator), with the
  // exponent 0.6666666269302368 (the single-precision constant 0.6666666) and 2/3.
  const std::vector<double> s = {0.0, 0.25, 0.5};
  const std::vector<double> i_c = {1.0, 1.0, 1.0};
  const std::vector<double> single = excluded_volume_scale(s, i_c, 0.334, 15000.0, 1000, 1.6);
  EXPECT_NEAR(single[0], 5.01, 1e-14);
  EXPECT_NEAR(single[1], 4.8469544503173685, 1e-13);
  EXPECT_NEAR(single[2], 4.388969633842102, 1e-13);
  const std::vector<double> exact =
      excluded_volume_scale(s, i_c, 0.334, 15000.0, 1000, 1.6, 2.0 / 3.0);
  EXPECT_NEAR(exact[2], 4.388969568237255, 1e-13);
}

TEST(Intensity, ExcludedVolumeTailBeyondItsPeak) {
  // With r0 = 0 the Gaussian is flat, Ĉ = ρ0·V_ex/N = 1, and P = Ĉ·√I_C·s² is q·s² for
  // √I_C = q; the values below are exact in binary, so ties are real ties.
  const std::vector<double> s = {0.0, 0.5, 1.5, 2.0, 3.0, 4.0, 5.0};
  auto run = [&](std::vector<double> q) {
    std::vector<double> i_c;
    for (const double v : q) i_c.push_back(v * v);
    return excluded_volume_scale(s, i_c, 1.0, 10.0, 10, 0.0);
  };
  {
    SCOPED_TRACE("tie at the peak");
    // P from the last point below 1.0 (s = 0.5): 1, 9, 16, 9, 16, 12.5. The peak is the later
    // of the two 16s, at s = 4; beyond it Ĉ = 16/(√I_C·s²) = 16/(0.5·25).
    const std::vector<double> c = run({7.0, 4.0, 4.0, 4.0, 1.0, 1.0, 0.5});
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(c[k], 1.0) << k;
    EXPECT_EQ(c[6], 1.28);
  }
  {
    SCOPED_TRACE("peak at the last point below 1.0");
    // P: 4 at s = 0.5, then 2.25, 2, 1.125, 1, 0.78: the peak stays at s = 0.5.
    const std::vector<double> c = run({1.0, 16.0, 1.0, 0.5, 0.125, 0.0625, 0.03125});
    EXPECT_EQ(c[0], 1.0);
    EXPECT_EQ(c[1], 1.0);
    EXPECT_EQ(c[2], 4.0 / (1.0 * 2.25));
    EXPECT_EQ(c[3], 4.0 / (0.5 * 4.0));
    EXPECT_EQ(c[6], 4.0 / (0.03125 * 25.0));
  }
  {
    SCOPED_TRACE("no solvent intensity beyond the peak");
    // √I_C = 0 is floored at 1e-8, so Ĉ stays finite.
    const std::vector<double> c = run({1.0, 1.0, 1.0, 1.0, 4.0, 0.0, 0.0});
    EXPECT_EQ(c[4], 1.0);  // P = 36 at s = 3 is the peak
    EXPECT_DOUBLE_EQ(c[5], 36.0 / (1e-8 * 16.0));
    EXPECT_TRUE(std::isfinite(c[6]));
  }
  {
    SCOPED_TRACE("grid ending at 1.0");
    // No tail rule: every point keeps the Gaussian even though P rises.
    const std::vector<double> s2 = {0.0, 0.5, 1.0};
    const std::vector<double> c =
        excluded_volume_scale(s2, std::vector<double>{1.0, 1.0, 1.0}, 1.0, 10.0, 10, 0.0);
    for (const double v : c) EXPECT_EQ(v, 1.0);
  }
}

TEST(Intensity, TailFollowsTheGaussianUpToThePeak) {
  // A realistic Gaussian (r0 = 1.6) with I_C chosen so that P = Ĉ_gauss·√I_C·s² equals
  // h(s) = 1 − (s − 1.5)², peaking at s = 1.5: beyond it Ĉ = Ĉ_gauss·h(1.5)/h(s).
  const std::vector<double> s = make_s_grid(21, 2.0);
  const double v_bar = 4.0 * kPi / 3.0 * 1.6 * 1.6 * 1.6;
  std::vector<double> gauss;
  for (const double v : s) {
    gauss.push_back(0.334 * 15.0 * std::exp(-v * v * std::pow(v_bar, 0.6666666269302368) / (4.0 * kPi)));
  }
  std::vector<double> i_c(s.size(), 1.0);
  auto h = [](double v) { return 1.0 - (v - 1.5) * (v - 1.5); };
  for (std::size_t k = 1; k < s.size(); ++k) {
    const double root = h(s[k]) / (gauss[k] * s[k] * s[k]);
    i_c[k] = root * root;
  }
  const std::vector<double> c = excluded_volume_scale(s, i_c, 0.334, 15000.0, 1000, 1.6);
  for (std::size_t k = 0; k <= 15; ++k) EXPECT_NEAR(c[k], gauss[k], 1e-15 * gauss[k]) << k;
  for (std::size_t k = 16; k < s.size(); ++k) {
    EXPECT_NEAR(c[k], gauss[k] * h(s[15]) / h(s[k]), 1e-12 * gauss[k] / h(s[k])) << k;
  }
}

TEST(Intensity, CombinedRadiusOfGyration) {
  // |15²·√400 − 0.5·√64·14² + 0.03·√25·20²| / √100 = 3776/10, then the square root.
  ForwardValues f;
  f.intensity = 100.0;
  f.atoms = 400.0;
  f.solvent = 64.0;
  f.shell = 25.0;
  f.scale = 0.5;
  EXPECT_NEAR(combined_rg(f, 0.03, 15.0, 14.0, 20.0), 19.43193248238579, 1e-12);
  f.scale = 5.0;  // the moment turns negative: its magnitude counts
  EXPECT_NEAR(combined_rg(f, 0.0, 15.0, 14.0, 20.0), std::sqrt(std::abs(4500.0 - 7840.0) / 10.0), 1e-12);
  f.intensity = 0.0;  // no forward intensity: no meaning, and no division by zero
  EXPECT_EQ(combined_rg(f, 0.03, 15.0, 14.0, 20.0), 0.0);
  f.intensity = -4.0;
  EXPECT_EQ(combined_rg(f, 0.03, 15.0, 14.0, 20.0), 0.0);
}

TEST(Intensity, SlopeRadiusOfGyration) {
  // A Guinier curve I = 1000·exp(−s²·Rg²/3) gives Rg back from any pair of points.
  auto guinier = [](const std::vector<double>& s, double rg) {
    std::vector<double> i;
    for (const double v : s) i.push_back(1000.0 * std::exp(-v * v * rg * rg / 3.0));
    return i;
  };
  const struct {
    int n;
    int g;  // 1-based point the slope must use
  } cases[] = {{51, 2}, {199, 2}, {200, 2}, {299, 2}, {300, 3}, {1000, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "n=" << c.n);
    const std::vector<double> s = make_s_grid(c.n, 0.5);
    std::vector<double> i = guinier(s, 20.0);
    // Spoil every point but the first and point g: only those two may be read.
    for (std::size_t k = 1; k < i.size(); ++k) {
      if (static_cast<int>(k) != c.g - 1) i[k] = 7.0;
    }
    EXPECT_NEAR(slope_rg(s, i), 20.0, 1e-9);
  }
  const std::vector<double> s = make_s_grid(51, 0.5);
  std::vector<double> rising;
  for (const double v : s) rising.push_back(std::exp(v * v * 100.0 / 3.0));
  EXPECT_NEAR(slope_rg(s, rising), -10.0, 1e-9);  // intensity rising: negative Rg
  // One point: no slope to take.
  EXPECT_EQ(slope_rg(std::vector<double>{0.0}, std::vector<double>{25.0}), 0.0);
  // A zero intensity has no logarithm.
  EXPECT_EQ(slope_rg(s, std::vector<double>(51, 0.0)), 0.0);
}

TEST(Intensity, AverageElectronDensity) {
  // (√10⁶ − 12.78·10)/2000 with 12.78 in single precision, 12.779999732971191.
  EXPECT_DOUBLE_EQ(average_electron_density(1e6, 10, 100, 2000.0), 0.43610000133514404);
  EXPECT_DOUBLE_EQ(average_electron_density(1e6, 10, 100, 2000.0, 12.78), 872.2 / 2000.0);
  EXPECT_EQ(average_electron_density(1e6, 100, 100, 2000.0), 0.4);  // dummy residues only
  EXPECT_EQ(average_electron_density(1e6, 0, 100, 0.0), 0.0);       // no excluded volume
}

TEST(Intensity, MolecularQuantities) {
  const MolecularQuantities q = molecular_quantities(14300.0, 17000.0, 1000, 0);
  EXPECT_NEAR(q.dry_volume, 17331.89440478167, 1e-9);  // 14300·0.73·10/6.023
  EXPECT_EQ(q.reported_volume, 17000.0);
  EXPECT_NEAR(q.average_atom.radius, 1.5950957970054265, 1e-13);  // (3·17000/(4π·1000))^(1/3)
  EXPECT_EQ(molecular_quantities(14300.0, 17000.0, 1000, 5).reported_volume, 17000.0 + 5 * 220.0);
  const MolecularQuantities dummies = molecular_quantities(1100.0, 0.0, 10, 10);
  EXPECT_EQ(dummies.average_atom.radius, 1.618);
  EXPECT_EQ(dummies.reported_volume, 2200.0);
}

TEST(Intensity, DisplacedVolumeAndNormalisation) {
  PartialAmplitudes c(2, 3);
  c(0, 0) = {10.0, 0.0};
  c(3, 2) = {1.0, -2.0};
  const double v_d = model_displaced_volume(c);
  EXPECT_DOUBLE_EQ(v_d, 10.0 * kPi * std::sqrt(2.0));
  PartialAmplitudes n = c;
  normalise_solvent_amplitude(n, v_d, 4);
  EXPECT_NEAR(n(0, 0).real(), 10.0 / (v_d / 4.0), 1e-15);
  EXPECT_NEAR(std::abs(n(3, 2) - cplx(1.0, -2.0) / (v_d / 4.0)), 0.0, 1e-15);
  PartialAmplitudes untouched = c;
  normalise_solvent_amplitude(untouched, 0.0, 4);  // no displaced volume: left alone
  EXPECT_EQ(untouched(0, 0), c(0, 0));
  EXPECT_EQ(model_displaced_volume(PartialAmplitudes()), 0.0);
}

TEST(Intensity, SamplingCheck) {
  const struct {
    double f00, s_max, r_env;
    int n;
    bool coarse;
  } cases[] = {
      {3.5, 0.5, 60.0, 51, true},    // 0.5·60/50 = 0.6
      {3.2, 0.5, 60.0, 51, false},   // coefficient not above 3.3
      {3.5, 0.5, 40.0, 51, false},   // 0.4
      {3.5, 0.5, 50.0, 51, false},   // exactly 0.5 is not above
      {3.5, 0.5, 60.0, 1, false},    // one point: no spacing
      {3.5, 0.5, 60.0, 2, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sampling_too_coarse(c.f00, c.s_max, c.r_env, c.n), c.coarse)
        << c.f00 << " " << c.r_env << " " << c.n;
  }
}

}  // namespace tessel
