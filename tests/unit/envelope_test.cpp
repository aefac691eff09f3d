// The angular envelope: which directions atoms reach, the runner-up rule, unreached directions
// and the statistics of the completed envelope.
#include "core/envelope.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/amplitudes.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kCarbonRadius = static_cast<double>(1.577f);
constexpr double kCaesiumRadius = static_cast<double>(3.34f);

const FibonacciGrid& grid17() { return testing_models::tables(15).grid(); }

// The radius a single atom at (x, y, z) with radius R gives direction j, by testing every
// direction of the grid: p + R/2 where the ray passes within R + 1.55 of the atom, else 0.
double single_atom_radius(const FibonacciGrid& g, int j, double x, double y, double z,
                          double radius) {
  const auto i = static_cast<std::size_t>(j);
  const double p = g.x()[i] * x + g.y()[i] * y + g.z()[i] * z;
  const double r2 = x * x + y * y + z * z;
  const double reach = radius + 1.55;
  if (p > 0.0 && r2 - p * p <= reach * reach) return p + radius / 2.0;
  return 0.0;
}

void add(EnvelopeSearch& e, double x, double y, double z, double radius, int sequence) {
  const SphericalPosition p = spherical_position(x, y, z);
  e.add_atom(x, y, z, p.r, p.theta, radius, sequence);
}

// sin of the angle between direction j and the z axis.
double sin_from_z(const FibonacciGrid& g, int j) {
  return g.sin_theta()[static_cast<std::size_t>(j)];
}

}  // namespace

TEST(Envelope, SingleAtomReachesTheDirectionsItsRaysPassNear) {
  // The band of directions searched must hold every direction the atom can reach, near the
  // poles, on the equator and when the centre lies within the atom's reach (cone of 90°).
  const struct {
    double x, y, z;
  } positions[] = {{5.0, 0.0, 0.0},    {0.3, -0.2, 19.0}, {0.1, 0.05, -12.0}, {-3.0, 4.0, 2.5},
                   {1.0, 1.0, 1.0},    {0.0, 0.0, 2.0},   {-7.0, -0.01, -7.0}};
  const FibonacciGrid& g = grid17();
  for (const auto& at : positions) {
    SCOPED_TRACE(testing::Message() << "(" << at.x << ", " << at.y << ", " << at.z << ")");
    EnvelopeSearch e(g);
    add(e, at.x, at.y, at.z, kCarbonRadius, 1);
    int reached = 0;
    for (int j = 0; j < g.size(); ++j) {
      const double want = single_atom_radius(g, j, at.x, at.y, at.z, kCarbonRadius);
      ASSERT_EQ(e.radius(j), want) << "direction " << j;
      reached += want > 0.0 ? 1 : 0;
    }
    EXPECT_GT(reached, 0);
    const Envelope done = e.complete(0.5);
    EXPECT_EQ(done.zero_directions, g.size() - reached);
    for (int j = 0; j < g.size(); ++j) {
      if (e.radius(j) == 0.0) {
        ASSERT_EQ(done.radius[static_cast<std::size_t>(j)], 0.5);
      }
    }
  }
}

TEST(Envelope, ManyAtomsGiveWhatEveryDirectionTestedInTurnGives) {
  // A cluster of atoms of two radii, some of them tied at one distance along a ray: the search
  // over each atom's band of directions keeps the same outermost and runner-up atoms as a loop
  // that tests every direction for every atom in file order with the update rule itself.
  const FibonacciGrid& g = grid17();
  std::mt19937 gen(12);
  std::uniform_real_distribution<double> u(-14.0, 14.0);
  struct Atom {
    double x, y, z, radius;
  };
  std::vector<Atom> atoms;
  for (int i = 0; i < 400; ++i) atoms.push_back({u(gen), u(gen), u(gen), i % 3 == 0 ? 1.3 : kCarbonRadius});
  atoms.push_back(atoms[7]);  // the same atom again: a tie that goes to the later one
  const auto n = static_cast<std::size_t>(g.size());
  std::vector<double> radius(n, 0.0), runner(n, 0.0), lateral(n, 0.0), runner_lateral(n, 0.0);
  std::vector<int> atom(n, 0), runner_atom(n, 0);
  EnvelopeSearch e(g);
  for (std::size_t a = 0; a < atoms.size(); ++a) {
    const Atom& at = atoms[a];
    const int sequence = static_cast<int>(a) + 1;
    add(e, at.x, at.y, at.z, at.radius, sequence);
    const double r2 = at.x * at.x + at.y * at.y + at.z * at.z;
    const double reach = at.radius + kAtomReachMargin;
    for (std::size_t j = 0; j < n; ++j) {
      const double p = g.x()[j] * at.x + g.y()[j] * at.y + g.z()[j] * at.z;
      if (!(p > 0.0) || reach * reach < r2 - p * p || p + at.radius / 2.0 < radius[j]) continue;
      runner[j] = radius[j];
      runner_atom[j] = atom[j];
      runner_lateral[j] = lateral[j];
      radius[j] = p + at.radius / 2.0;
      atom[j] = sequence;
      lateral[j] = r2 - p * p;
    }
  }
  int reached = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const int jj = static_cast<int>(j);
    ASSERT_EQ(e.radius(jj), radius[j]) << "direction " << j;
    ASSERT_EQ(e.atom(jj), atom[j]) << "direction " << j;
    ASSERT_EQ(e.runner_up_radius(jj), runner[j]) << "direction " << j;
    ASSERT_EQ(e.runner_up_atom(jj), runner_atom[j]) << "direction " << j;
    reached += atom[j] > 0 ? 1 : 0;
  }
  EXPECT_GT(reached, static_cast<int>(n) / 2);
}

TEST(Envelope, UnreachedDirectionsTakeATenthOfTheElectronRg) {
  // One carbon 5 Å from the centre: Rg_e = 5 Å, so the directions it misses get 0.5 Å.
  const std::vector<CentredAtom> atom = {{0.0, 5.0, 0.0, 1, false}};
  StructureAccumulator acc(testing_models::tables(15));
  acc.add_batch(atom);
  const StructureAmplitudes r = acc.finish();
  const FibonacciGrid& g = grid17();
  int unreached = 0;
  for (int j = 0; j < g.size(); ++j) {
    const double want = single_atom_radius(g, j, 0.0, 5.0, 0.0, kCarbonRadius);
    unreached += want == 0.0 ? 1 : 0;
    EXPECT_EQ(r.envelope.radius[static_cast<std::size_t>(j)], want == 0.0 ? 0.5 : want);
  }
  EXPECT_EQ(r.envelope.zero_directions, unreached);
  EXPECT_EQ(r.envelope.zero_radius, 0.5);
  // R_env comes from the direction nearest the atom's, within a grid spacing (≈ 0.07 rad).
  EXPECT_LE(r.envelope.max_radius, 5.0 + kCarbonRadius / 2.0);
  EXPECT_GE(r.envelope.max_radius, 5.0 * std::cos(0.035) + kCarbonRadius / 2.0);
}

TEST(Envelope, RunnerUpRuleAndAtomOrderOnAColumnOfTwoAtoms) {
  // Two atoms on the z axis at 10 Å and 12 Å. With γ the angle of a direction from the axis, an
  // atom at distance d reaches it when d·sin γ ≤ R + 1.55 and gives it d·cos γ + R/2.
  const FibonacciGrid& g = grid17();
  auto candidate = [&](int j, double d, double radius) {
    const double sg = sin_from_z(g, j);
    const double cg = g.z()[static_cast<std::size_t>(j)];
    return (cg > 0.0 && d * sg <= radius + 1.55) ? d * cg + radius / 2.0 : 0.0;
  };
  {
    SCOPED_TRACE("two carbons, inner first");
    // The outer atom wins where both reach, with the inner one as runner-up and nearer to the
    // ray; the inner atom is outermost on a ring the outer one misses (sin γ from 0.26 to 0.31),
    // so the runner-up rule gives the whole cone the inner atom's radius.
    EnvelopeSearch e(g);
    add(e, 0.0, 0.0, 10.0, kCarbonRadius, 1);
    add(e, 0.0, 0.0, 12.0, kCarbonRadius, 2);
    const Envelope done = e.complete(0.0);
    int ring = 0;
    for (int j = 0; j < g.size(); ++j) {
      const double inner = candidate(j, 10.0, kCarbonRadius);
      const double outer = candidate(j, 12.0, kCarbonRadius);
      if (inner > 0.0 && outer == 0.0) ++ring;
      ASSERT_NEAR(done.radius[static_cast<std::size_t>(j)], inner, 1e-12) << j;
    }
    EXPECT_GT(ring, 0);
  }
  {
    SCOPED_TRACE("two carbons, outer first");
    // The inner atom never beats the outer one where both reach, so it is not even a runner-up.
    EnvelopeSearch e(g);
    add(e, 0.0, 0.0, 12.0, kCarbonRadius, 1);
    add(e, 0.0, 0.0, 10.0, kCarbonRadius, 2);
    const Envelope done = e.complete(0.0);
    for (int j = 0; j < g.size(); ++j) {
      const double outer = candidate(j, 12.0, kCarbonRadius);
      const double want = outer > 0.0 ? outer : candidate(j, 10.0, kCarbonRadius);
      ASSERT_NEAR(done.radius[static_cast<std::size_t>(j)], want, 1e-12) << j;
    }
  }
  {
    SCOPED_TRACE("caesium outside carbon");
    // The caesium's reach (4.89 Å) covers the carbon's whole cone: the carbon is outermost
    // nowhere and the runner-up rule does not apply.
    EnvelopeSearch e(g);
    add(e, 0.0, 0.0, 10.0, kCarbonRadius, 1);
    add(e, 0.0, 0.0, 12.0, kCaesiumRadius, 2);
    const Envelope done = e.complete(0.0);
    for (int j = 0; j < g.size(); ++j) {
      ASSERT_NEAR(done.radius[static_cast<std::size_t>(j)], candidate(j, 12.0, kCaesiumRadius), 1e-12)
          << j;
    }
  }
  {
    SCOPED_TRACE("equal atoms at one place");
    // Ties go to the later atom.
    EnvelopeSearch e(g);
    add(e, 0.0, 0.0, 10.0, kCarbonRadius, 1);
    add(e, 0.0, 0.0, 10.0, kCarbonRadius, 2);
    EXPECT_EQ(e.atom(0), 2);
    EXPECT_EQ(e.runner_up_atom(0), 1);
    EXPECT_EQ(e.complete(0.0).radius[0], 10.0 * g.z()[0] + kCarbonRadius / 2.0);
  }
}

TEST(Envelope, ZeroDirectionRadiusFallsBackToHalfTheAtomRadius) {
  EXPECT_EQ(zero_direction_radius(20.0, 1.577), 2.0);
  // All atoms at the centre: Rg_e = 0, and the atoms reach every direction at p = 0.
  EXPECT_EQ(zero_direction_radius(0.0, 1.577), 0.7885);
}

TEST(Envelope, StatisticsOfAConstantEnvelope) {
  const FibonacciGrid& g = grid17();
  const std::vector<double> f(static_cast<std::size_t>(g.size()), 10.0);
  const EnvelopeStatistics st = envelope_statistics(g, f);
  EXPECT_NEAR(st.volume, 4.188748316884343 * 1000.0, 1e-9);
  EXPECT_NEAR(st.shell_volume, 4.188748316884343 * (13.0 * 13.0 * 13.0 - 1000.0), 1e-9);
  EXPECT_NEAR(st.surface, 400.0 * kPi, 1e-9);
  EXPECT_NEAR(st.rg, std::sqrt(0.6) * 10.0, 1e-12);
  EXPECT_NEAR(st.shell_rg, std::sqrt(0.6 * (std::pow(13.0, 5) - 1e5) / (std::pow(13.0, 3) - 1e3)),
              1e-12);
  EXPECT_NEAR(st.radius, std::cbrt(3.0 * 4.188748316884343 * 1000.0 / (4.0 * kPi)), 1e-12);
  // The nearest grid direction to an antipode lies within about one grid spacing,
  // √(4π/2584) ≈ 0.07 rad, so the diameter is 20·cos(0.035) or more.
  EXPECT_LE(st.diameter, 20.0 + 1e-12);
  EXPECT_GE(st.diameter, 20.0 * std::cos(0.035));

  // An envelope of zero size keeps every statistic finite.
  const EnvelopeStatistics zero = envelope_statistics(g, std::vector<double>(f.size(), 0.0));
  EXPECT_EQ(zero.volume, 0.0);
  EXPECT_EQ(zero.rg, 0.0);
  EXPECT_EQ(zero.diameter, 0.0);
  EXPECT_NEAR(zero.shell_rg, std::sqrt(0.6 * 243.0 / 27.0), 1e-14);  // a ball of 3 Å
}

TEST(Envelope, DiameterIsTheLargestDistanceOfAllPairs) {
  const FibonacciGrid& g = grid17();
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> u(5.0, 25.0);
  std::vector<std::vector<double>> shapes;
  shapes.emplace_back(static_cast<std::size_t>(g.size()), 7.0);
  shapes.emplace_back(static_cast<std::size_t>(g.size()));
  for (double& f : shapes.back()) f = u(gen);
  shapes.push_back(shapes.back());
  shapes.back()[1234] = 90.0;  // one spike
  shapes.emplace_back(static_cast<std::size_t>(g.size()), 0.0);
  shapes.back()[10] = 3.0;  // a single non-zero point: its distance to the centre
  for (std::size_t s = 0; s < shapes.size(); ++s) {
    SCOPED_TRACE(testing::Message() << "shape " << s);
    const auto& f = shapes[s];
    double best = 0.0;
    for (int i = 0; i < g.size(); ++i) {
      for (int j = i + 1; j < g.size(); ++j) {
        const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>(j);
        const double dx = f[b] * g.x()[b] - f[a] * g.x()[a];
        const double dy = f[b] * g.y()[b] - f[a] * g.y()[a];
        const double dz = f[b] * g.z()[b] - f[a] * g.z()[a];
        best = std::max(best, dx * dx + dy * dy + dz * dz);
      }
    }
    EXPECT_NEAR(envelope_diameter(g, f), std::sqrt(best), 1e-12 * std::sqrt(best));
  }
}

TEST(Envelope, SphereOfAtomsGivesANearlyConstantRadius) {
  // 3000 carbons on a sphere of 15 Å and 500 inside: F ≈ 15 + R/2, and the statistics approach
  // those of a ball: Rg ≈ √0.6·F, volume ≈ 4.18875·F³.
  std::mt19937 gen(8);
  std::normal_distribution<double> n(0.0, 1.0);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<CentredAtom> atoms;
  for (int i = 0; i < 3500; ++i) {
    double x = n(gen), y = n(gen), z = n(gen);
    const double len = std::sqrt(x * x + y * y + z * z);
    const double r = i < 3000 ? 15.0 : 14.0 * std::cbrt(u(gen));
    atoms.push_back({r * x / len, r * y / len, r * z / len, 1, false});
  }
  StructureAccumulator acc(testing_models::tables(15));
  acc.add_batch(atoms);
  const StructureAmplitudes r = acc.finish();
  const FibonacciGrid& g = grid17();
  const auto& f = r.envelope.radius;
  double lo = f[0], hi = f[0], sum = 0.0;
  for (const double v : f) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    sum += v;
  }
  const double mean = sum / static_cast<double>(f.size());
  EXPECT_EQ(r.envelope.zero_directions, 0);
  EXPECT_LE(hi, 15.0 + kCarbonRadius / 2.0 + 1e-9);
  EXPECT_GE(lo, 15.0);
  EXPECT_LT(hi - lo, 0.5);
  const EnvelopeStatistics st = envelope_statistics(g, f);
  EXPECT_NEAR(st.rg, std::sqrt(0.6) * mean, 0.01 * mean);
  EXPECT_NEAR(st.volume, 4.18875 * mean * mean * mean, 0.03 * st.volume);
}

TEST(Envelope, FunctionOfAConstantEnvelopeIsItsMonopole) {
  // f_00 = (4π/N)·Σ F·Y_00/R_eq = √(4π)·F/R_eq; higher coefficients vanish but for the
  // quadrature error of the grid and the table accuracy of Y_lm. L = 25 is expanded to 20.
  const HarmonicTables& t = testing_models::tables(25);
  const std::vector<double> f(static_cast<std::size_t>(t.grid().size()), 10.0);
  const double r_eq = envelope_statistics(t.grid(), f).radius;
  const EnvelopeFunction ef = envelope_function(t, f, r_eq);
  EXPECT_EQ(ef.l_max, 20);
  ASSERT_EQ(ef.coefficients.size(), 231u);
  EXPECT_EQ(ef.present, std::vector<int>(231, 1));
  EXPECT_NEAR(ef.coefficients[0].real(), std::sqrt(4.0 * kPi) * 10.0 / r_eq, 1e-4);
  for (std::size_t i = 1; i < ef.coefficients.size(); ++i) {
    EXPECT_LT(std::abs(ef.coefficients[i]), 1e-2) << "index " << i;
  }
  EXPECT_EQ(envelope_function(testing_models::tables(10), f, r_eq).coefficients.size(), 66u);
  // An envelope of zero size has a zero radius: nothing is divided, everything stays finite.
  const EnvelopeFunction zero = envelope_function(t, std::vector<double>(f.size(), 0.0), 0.0);
  for (const auto& c : zero.coefficients) EXPECT_EQ(std::abs(c), 0.0);
}

}  // namespace tessel
