// Ensemble average and spreads: identical members, the mean of members' intensities computed
// straight from their amplitudes, members of different size on the shared volume fraction.
#include "core/ensemble.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "fit_synthetic_model.hpp"

namespace {

using tessel_test::SyntheticParticle;

tessel::PartialIntensities partials(const SyntheticParticle& p, const std::vector<double>& s) {
  const tessel_test::SyntheticCurves c(p, s);
  return {c.ia, c.ic, c.ib, c.iac, c.iab, c.icb};
}

tessel::MemberScalars scalars(const SyntheticParticle& p, double rg) {
  tessel::MemberScalars m;
  m.n_atoms = p.n_atoms;
  m.displaced_volume = p.displaced_volume;
  m.electron_rg = rg;
  m.envelope_volume = 10 * rg;
  return m;
}

const std::vector<double> kGrid = tessel_test::uniform_grid(51, 0.5);

TEST(Ensemble, IdenticalMembersAverageToTheMemberWithoutSpread) {
  const SyntheticParticle p;
  tessel::Ensemble e(kGrid.size());
  for (int i = 0; i < 7; ++i) e.add(partials(p, kGrid), scalars(p, 15.0));
  const tessel::EnsembleAverage avg = tessel::average_ensemble(e);
  EXPECT_TRUE(avg.reference.uniform);
  EXPECT_EQ(avg.reference.n_atoms, p.n_atoms);
  EXPECT_EQ(avg.members, 7u);
  const tessel::PartialIntensities one = partials(p, kGrid);
  for (std::size_t k = 0; k < kGrid.size(); ++k) {
    EXPECT_NEAR(avg.mean.atoms[k], one.atoms[k], 1e-14 * one.atoms[k]);
    EXPECT_NEAR(avg.mean.solvent_shell[k], one.solvent_shell[k], 1e-14 * std::abs(one.solvent_shell[k]));
  }
  const std::vector<double> scale = tessel::excluded_volume_scale(kGrid, avg.mean.solvent, p.rho0,
                                                                  p.displaced_volume, p.n_atoms, 1.6);
  const tessel::IntensitySpread spread = tessel::intensity_spread(e, avg.reference, kGrid, scale, 0.03);
  for (std::size_t k = 0; k < kGrid.size(); ++k) EXPECT_NEAR(spread.deviation[k], 0.0, 1e-12 * spread.mean[k]);
  EXPECT_NEAR(spread.slope_rg.deviation, 0.0, 1e-9);
  EXPECT_DOUBLE_EQ(tessel::member_spread(e).electron_rg.mean, 15.0);
}

// Members of different size (stretch) and, in the second case, of different atom count and
// displaced volume: the ensemble intensity must be the mean of the members' own intensities
// with V_ex,i = f·V_d,i, each computed from its amplitudes, and the deviation their spread.
TEST(Ensemble, IntensityIsTheMeanOfTheMembersOnTheSharedVolumeFraction) {
  for (const bool uniform : {true, false}) {
    std::vector<SyntheticParticle> members(4);
    tessel::Ensemble e(kGrid.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      members[i].stretch = 0.8 + 0.15 * static_cast<double>(i);
      if (!uniform) {
        members[i].n_atoms = 1000 + 20 * static_cast<int>(i);
        members[i].displaced_volume = 16000.0 + 700.0 * static_cast<double>(i);
      }
      e.add(partials(members[i], kGrid), scalars(members[i], 14.0 + static_cast<double>(i)));
    }
    const tessel::EnsembleAverage avg = tessel::average_ensemble(e);
    EXPECT_EQ(avg.reference.uniform, uniform);
    const double f = 1.04, radius = 1.55, contrast = 0.05;
    const std::vector<double> scale =
        tessel::excluded_volume_scale(kGrid, avg.mean.solvent, 0.334, f * avg.reference.displaced_volume,
                                      avg.reference.n_atoms, radius);
    const std::vector<double> ensemble = tessel::model_intensity(avg.mean, scale, contrast);
    const tessel::IntensitySpread spread = tessel::intensity_spread(e, avg.reference, kGrid, scale, contrast);
    for (std::size_t k = 0; k < kGrid.size(); ++k) {
      double sum = 0, sum2 = 0;
      for (const SyntheticParticle& m : members) {
        const double v = m.intensity(kGrid[k], f * m.displaced_volume, radius, contrast, tessel::kTwoThirdsSingle);
        sum += v;
        sum2 += v * v;
      }
      const double mean = sum / 4, sd = std::sqrt(sum2 / 4 - mean * mean);
      EXPECT_NEAR(ensemble[k], mean, 1e-11 * mean) << k;
      EXPECT_NEAR(spread.mean[k], mean, 1e-11 * mean) << k;
      EXPECT_NEAR(spread.deviation[k], sd, 1e-6 * mean + 1e-9 * sd) << k;
    }
    EXPECT_GT(spread.deviation[10], 0.01 * spread.mean[10]);
    EXPECT_LT(spread.slope_rg.min, spread.slope_rg.max);
  }
}

TEST(Ensemble, ValueSpreadAndBadMember) {
  const std::vector<double> v{4, 1, 3, 2};
  const tessel::ValueSpread s = tessel::value_spread(v);
  EXPECT_DOUBLE_EQ(s.mean, 2.5);
  EXPECT_NEAR(s.deviation, std::sqrt(1.25), 1e-15);  // population: Σ(x − 2.5)²/4 = 5/4
  EXPECT_EQ(s.min, 1);
  EXPECT_EQ(s.max, 4);
  tessel::Ensemble e(3);
  EXPECT_THROW(e.add(partials(SyntheticParticle{}, kGrid), {}), std::invalid_argument);
}

}  // namespace
