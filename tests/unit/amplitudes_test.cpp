// The partial amplitudes of a structure: single atoms, the Debye sum, rotations, symmetric
// pairs, order zero and dummy residues, checked against their defining formulas.
#include "core/amplitudes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/atom_types.hpp"
#include "core/form_factors.hpp"
#include "core/intensity.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

using testing_models::Pass;
using testing_models::random_cluster;
using testing_models::run_pass;
constexpr double kPi = std::numbers::pi;
constexpr int kCarbonElement = 1;  // C in the element list H, C, N, O, ...

// f_C(s) from the four-Gaussian fit, written out: c + Σ a_j·exp(−b_j·(s/4π)²).
double carbon_form_factor(double s) {
  const GaussianCoefficients& g = element_coefficients(kCarbonElement);
  const double q = s / (4.0 * kPi);
  double f = g.c;
  for (int j = 0; j < 4; ++j) f += g.a[j] * std::exp(-g.b[j] * q * q);
  return f;
}

// Σ_i Σ_j f_i f_j sin(s·r_ij)/(s·r_ij): the orientational average of the vacuum intensity.
std::vector<double> debye_intensity(const std::vector<CentredAtom>& atoms, const Pass& p) {
  std::vector<double> out(p.s.size());
  for (std::size_t k = 0; k < p.s.size(); ++k) {
    double sum = 0.0;
    for (const auto& a : atoms) {
      const double fa = p.form_factors.vacuum.at(a.type, static_cast<int>(k));
      for (const auto& b : atoms) {
        const double r = std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
        const double x = p.s[k] * r;
        sum += fa * p.form_factors.vacuum.at(b.type, static_cast<int>(k)) *
               (x == 0.0 ? 1.0 : std::sin(x) / x);
      }
    }
    out[k] = sum;
  }
  return out;
}

// |X_l0|² + 2·Σ_{m≥1} |X_lm|² per l at point k: the rotation-invariant power of order l.
double order_power(const PartialAmplitudes& x, int l, int k) {
  double p = std::norm(x.at(l, 0, k));
  for (int m = 1; m <= l; ++m) p += 2.0 * std::norm(x.at(l, m, k));
  return p;
}

}  // namespace

TEST(Amplitudes, SingleCarbonAtTheCentreHasOnlyTheMonopole) {
  const std::vector<CentredAtom> atom = {{0.0, 0.0, 0.0, 1, false}};
  const Pass p = run_pass(atom, 15, 51, 0.5);
  const PartialAmplitudes& a = p.result.atoms;
  const PartialAmplitudes& c = p.result.solvent;
  const double v_c = 4.0 * kPi / 3.0 * std::pow(static_cast<double>(1.577f), 3);
  for (int k = 0; k < 51; ++k) {
    SCOPED_TRACE(testing::Message() << "k=" << k);
    // √(2/π)·f·j_0(0)·Y_00 with Y_00 = 1/√(4π): f/(π√2).
    EXPECT_NEAR(a.at(0, 0, k).real(), carbon_form_factor(p.s[static_cast<std::size_t>(k)]) / (kPi * std::sqrt(2.0)), 1e-13);
    EXPECT_EQ(a.at(0, 0, k).imag(), 0.0);
    // The displaced solvent is a Gaussian sphere of the carbon volume.
    const double s = p.s[static_cast<std::size_t>(k)];
    const double g = v_c * std::exp(-s * s * std::pow(v_c, 2.0 / 3.0) / (4.0 * kPi));
    EXPECT_NEAR(c.at(0, 0, k).real(), g / (kPi * std::sqrt(2.0)), 1e-12);
    for (int i = 1; i < a.pair_count(); ++i) {
      ASSERT_EQ(std::abs(a(i, k)), 0.0) << "index " << i;
      ASSERT_EQ(std::abs(c(i, k)), 0.0) << "index " << i;
    }
  }
  const double f0 = carbon_form_factor(0.0);
  EXPECT_NEAR(a.at(0, 0, 0).real(), f0 / (kPi * std::sqrt(2.0)), 1e-14);
  EXPECT_NEAR(partial_intensity(a)[0], f0 * f0, 1e-12 * f0 * f0);
}

TEST(Amplitudes, VacuumIntensityMatchesTheDebyeSum) {
  // 300 atoms within 20 Å, up to s = 1.0: s·R reaches 20, so order 15 is too low at the largest
  // angles and the agreement there improves with L. Where the expansion has converged, what is
  // left is the accuracy of the tables: Y_lm from the interpolated Legendre table and the nearest
  // tabulated azimuth (a few 1e-4 of |Y|) and j_l from straight lines (Δx ≈ 0.01, ~1e-5).
  const auto atoms = random_cluster(300, 20.0, 7);
  const double radius = 20.0;
  struct Band {
    double sr_from, sr_to;
  };
  const Band bands[] = {{0.0, 5.0}, {5.0, 10.0}, {10.0, 21.0}};
  // Largest relative error allowed per band (s·R below 5, 5..10, above 10) and order.
  const struct {
    int l_max;
    double tolerance[3];
  } cases[] = {
      {15, {5e-4, 2e-3, 1.0}},   // truncated: only checked to be worse than L = 20 below
      {20, {5e-4, 2e-3, 2e-2}},
      {30, {5e-4, 2e-3, 5e-3}},  // s·R ≤ 20 counts orders below 30.3: the expansion is complete
  };
  double worst_high[3] = {0, 0, 0};
  for (std::size_t c = 0; c < 3; ++c) {
    SCOPED_TRACE(testing::Message() << "L=" << cases[c].l_max);
    const Pass p = run_pass(atoms, cases[c].l_max, 51, 1.0);
    const std::vector<double> expansion = partial_intensity(p.result.atoms);
    const std::vector<double> debye = debye_intensity(atoms, p);
    for (std::size_t k = 0; k < p.s.size(); ++k) {
      const double sr = p.s[k] * radius;
      const double rel = std::abs(expansion[k] - debye[k]) / debye[k];
      for (std::size_t b = 0; b < 3; ++b) {
        if (sr < bands[b].sr_from || sr >= bands[b].sr_to) continue;
        EXPECT_LE(rel, cases[c].tolerance[b]) << "s=" << p.s[k];
        if (b == 2) worst_high[c] = std::max(worst_high[c], rel);
      }
    }
  }
  EXPECT_GT(worst_high[0], 5e-2);  // order 15 misses much of the large-angle scattering
  EXPECT_LT(worst_high[1], worst_high[0]);
  EXPECT_LT(worst_high[2], worst_high[1]);
}

TEST(Amplitudes, RotationLeavesEveryOrderPowerUnchanged) {
  // A rotation mixes the m of one l, so |A_l0|² + 2·Σ|A_lm|² stays; only the table accuracy
  // (interpolated Legendre functions, nearest azimuth: a few 1e-4 of |Y|) separates the two.
  const auto atoms = random_cluster(200, 15.0, 11);
  // Rotation by Euler angles (0.7, 1.1, −0.4), z-y-z.
  const double a = 0.7, b = 1.1, g = -0.4;
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  const double cg = std::cos(g), sg = std::sin(g);
  const double r[3][3] = {{ca * cb * cg - sa * sg, -ca * cb * sg - sa * cg, ca * sb},
                          {sa * cb * cg + ca * sg, -sa * cb * sg + ca * cg, sa * sb},
                          {-sb * cg, sb * sg, cb}};
  std::vector<CentredAtom> turned = atoms;
  for (auto& t : turned) {
    const double x = t.x, y = t.y, z = t.z;
    t.x = r[0][0] * x + r[0][1] * y + r[0][2] * z;
    t.y = r[1][0] * x + r[1][1] * y + r[1][2] * z;
    t.z = r[2][0] * x + r[2][1] * y + r[2][2] * z;
  }
  const Pass p0 = run_pass(atoms, 15, 51, 0.5);
  const Pass p1 = run_pass(turned, 15, 51, 0.5);
  const std::vector<double> i0 = partial_intensity(p0.result.atoms);
  const std::vector<double> i1 = partial_intensity(p1.result.atoms);
  const std::vector<double> c0 = partial_intensity(p0.result.solvent);
  const std::vector<double> c1 = partial_intensity(p1.result.solvent);
  for (int k = 0; k < 51; ++k) {
    SCOPED_TRACE(testing::Message() << "k=" << k);
    const auto kk = static_cast<std::size_t>(k);
    EXPECT_NEAR(i1[kk], i0[kk], 1e-3 * i0[kk]);
    EXPECT_NEAR(c1[kk], c0[kk], 1e-3 * c0[kk]);
    // Each order's power, against the whole intensity at that point (2π² per unit power).
    for (int l = 0; l <= 15; ++l) {
      EXPECT_NEAR(order_power(p1.result.atoms, l, k), order_power(p0.result.atoms, l, k),
                  1e-3 * i0[kk] / kTwoPiSquared)
          << "l=" << l;
    }
  }
  // The amplitudes themselves do change.
  EXPECT_GT(std::abs(p1.result.atoms.at(2, 1, 20) - p0.result.atoms.at(2, 1, 20)),
            0.1 * std::abs(p0.result.atoms.at(2, 1, 20)));
}

TEST(Amplitudes, OppositeEqualAtomsCancelTheOddOrders) {
  // Y_lm(−u) = (−1)^l·Y_lm(u): the Legendre table is symmetric about cos θ = 0 and the azimuths
  // φ and φ + π lie the same distance from their nearest table nodes, so the cancellation is
  // exact up to rounding.
  const std::vector<CentredAtom> atoms = {{3.1, -1.7, 2.3, 1, false},
                                          {-3.1, 1.7, -2.3, 1, false},
                                          {-0.4, 5.2, -7.9, 9, false},
                                          {0.4, -5.2, 7.9, 9, false}};
  const Pass p = run_pass(atoms, 15, 51, 0.5);
  const PartialAmplitudes& a = p.result.atoms;
  for (int k = 1; k < 51; ++k) {
    double even = 0.0;
    for (int l = 0; l <= 15; l += 2) even = std::max(even, order_power(a, l, k));
    for (int l = 1; l <= 15; l += 2) {
      EXPECT_LE(order_power(a, l, k), 1e-20 * even) << "k=" << k << " l=" << l;
    }
  }
}

TEST(Amplitudes, OrderZeroKeepsOnlyTheSphericalAverage) {
  // With L = 0: I(s) = (Σ f_i(s)·j_0(s·r_i))², j_0 = sin x/x. The straight-line table of j_0 with
  // Δx = 1.0001·0.5·R_max/2000 is off by at most Δx²/8·max|j_0''| = Δx²/24 per atom, so the
  // amplitude by Σf·Δx²/24 and the intensity by twice that times Σf.
  const auto atoms = random_cluster(50, 15.0, 3);
  const Pass p = run_pass(atoms, 0, 51, 0.5);
  const std::vector<double> i = partial_intensity(p.result.atoms);
  ASSERT_EQ(p.result.atoms.pair_count(), 1);
  double forward = 0.0;
  for (const auto& at : atoms) forward += p.form_factors.vacuum.at(at.type, 0);
  const double dx = p.bessel.step();
  const double tolerance = 2.0 * forward * forward * dx * dx / 24.0;
  for (std::size_t k = 0; k < p.s.size(); ++k) {
    double sum = 0.0;
    for (const auto& at : atoms) {
      const double x = p.s[k] * std::hypot(at.x, at.y, at.z);
      sum += p.form_factors.vacuum.at(at.type, static_cast<int>(k)) * (x == 0.0 ? 1.0 : std::sin(x) / x);
    }
    EXPECT_NEAR(i[k], sum * sum, tolerance) << "s=" << p.s[k];
  }
}

TEST(Amplitudes, DummyResiduesAddTheResidueFactorAndNoSolvent) {
  std::vector<CentredAtom> atoms = {{1.0, 2.0, -3.0, 1, true},
                                    {-3.8, 0.5, 1.0, 1, true},
                                    {2.8, -2.5, 2.0, 1, true}};
  const Pass p = run_pass(atoms, 15, 51, 0.5);
  for (const auto& v : p.result.solvent.values()) ASSERT_EQ(std::abs(v), 0.0);
  // r(0) = F(0)·√y(0) from the first entries of the residue table.
  const double r0 = 12.7847 * std::sqrt(0.999);
  EXPECT_NEAR(p.result.atoms.at(0, 0, 0).real(), 3.0 * r0 / (kPi * std::sqrt(2.0)), 1e-12);
  EXPECT_EQ(p.result.sums.dummy_residues, 3);
  EXPECT_EQ(p.result.sums.mass, 3 * 110.0);
  EXPECT_EQ(p.result.sums.volume, 0.0);
  // The electrons are those of the carbon type the residue is written as.
  EXPECT_EQ(p.result.sums.electrons, 18.0);
}

TEST(Amplitudes, SumsGiveTheStructuralParameters) {
  // C (Z 6) at (3, 0, 0), O (Z 8) at (0, −2, 0), N (Z 7) at the centre.
  const std::vector<CentredAtom> atoms = {{3.0, 0.0, 0.0, 1, false},
                                          {0.0, -2.0, 0.0, 9, false},
                                          {0.0, 0.0, 0.0, 5, false}};
  const Pass p = run_pass(atoms, 15, 11, 0.5);
  const StructureAmplitudes& r = p.result;
  EXPECT_EQ(r.sums.atoms, 3);
  EXPECT_EQ(r.sums.electrons, 21.0);
  EXPECT_NEAR(r.sums.mass, 12.01 + 16.00 + 14.01, 1e-5);  // masses are single precision
  // Rg_e = √((6·3² + 8·2²)/21); the atom at the centre weighs in with r = 0.
  EXPECT_NEAR(r.electron_rg, std::sqrt(86.0 / 21.0), 1e-14);
  EXPECT_NEAR(r.shape_rg, std::sqrt(13.0 / 3.0), 1e-14);
  auto volume = [](float radius) { return 4.0 * kPi / 3.0 * std::pow(static_cast<double>(radius), 3); };
  const double v_c = volume(1.577f), v_o = volume(1.30f), v_n = volume(0.84f);
  const double excess = 21.0 - 0.334 * (v_c + v_o + v_n);
  EXPECT_NEAR(r.excess_centre[0], (6.0 * 3.0 - 0.334 * v_c * 3.0) / excess, 1e-12);
  EXPECT_NEAR(r.excess_centre[1], (8.0 * -2.0 - 0.334 * v_o * -2.0) / excess, 1e-12);
  EXPECT_EQ(r.excess_centre[2], 0.0);
  // V_d from the forward solvent amplitude is the sum of the atomic volumes.
  EXPECT_NEAR(model_displaced_volume(r.solvent), v_c + v_o + v_n, 1e-11);
}

TEST(Amplitudes, SphericalPositionFollowsTheAzimuthRules) {
  const struct {
    double x, y, z;
    double r, theta, phi;
  } cases[] = {
      {0.0, 2.0, 0.0, 2.0, kPi / 2, kPi / 2},        // x = 0, y > 0
      {0.0, -2.0, 0.0, 2.0, kPi / 2, 1.5 * kPi},     // x = 0, y < 0
      {0.0, 0.0, 5.0, 5.0, 0.0, 0.0},                // x = 0, y = 0: north pole
      {-0.0, 0.0, -5.0, 5.0, kPi, 0.0},              // negative zero is still x = 0
      {-1.0, 0.0, 0.0, 1.0, kPi / 2, kPi},
      {1.0, -1.0, 0.0, std::sqrt(2.0), kPi / 2, 1.75 * kPi},  // negative atan2 turned up by 2π
      {0.0, 0.0, 0.0, 0.0, 0.0, 0.0},                // the centre
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ", " << c.z << ")");
    const SphericalPosition p = spherical_position(c.x, c.y, c.z);
    EXPECT_NEAR(p.r, c.r, 1e-15);
    EXPECT_NEAR(p.theta, c.theta, 1e-15);
    EXPECT_NEAR(p.phi, c.phi, 1e-15);
    EXPECT_NEAR(p.cos_theta, std::cos(c.theta), 1e-15);
  }
}

TEST(Amplitudes, BatchesRunsAndMergesGiveTheSameSums) {
  // The driver hands batches of up to 1,000 atoms; a later thread pool adds runs of atoms into
  // separate sums and merges them in order. Only the rounding of the additions may differ.
  const auto atoms = random_cluster(700, 18.0, 5);
  const std::span<const CentredAtom> all(atoms);
  const Pass whole = run_pass(atoms, 15, 31, 0.5);

  StructureAccumulator acc(testing_models::tables(15), whole.s, whole.form_factors, whole.bessel);
  acc.add_batch(all.subspan(0, 333));
  acc.add_batch(all.subspan(333, 1));
  acc.add_batch(all.subspan(334));
  const StructureAmplitudes batched = acc.finish();

  const AmplitudeKernel kernel(testing_models::tables(15), whole.s, whole.form_factors, whole.bessel);
  AmplitudeWorkspace ws;
  AmplitudeSums first = kernel.make_sums();
  AmplitudeSums second = kernel.make_sums();
  kernel.add_atoms(all.subspan(0, 400), ws, first);
  kernel.add_atoms(all.subspan(400), ws, second);
  first.merge(second);
  first.atoms.scale_with_phase(std::sqrt(2.0 / kPi));

  const PartialAmplitudes& a = whole.result.atoms;
  double largest = 0.0;
  for (const auto& v : a.values()) largest = std::max(largest, std::abs(v));
  for (std::size_t i = 0; i < a.values().size(); ++i) {
    ASSERT_NEAR(std::abs(batched.atoms.values()[i] - a.values()[i]), 0.0, 1e-13 * largest) << i;
    ASSERT_NEAR(std::abs(first.atoms.values()[i] - a.values()[i]), 0.0, 1e-13 * largest) << i;
  }
  EXPECT_EQ(batched.sums.atoms, 700);
  EXPECT_NEAR(batched.electron_rg, whole.result.electron_rg, 1e-13);
  EXPECT_EQ(batched.envelope.radius, whole.result.envelope.radius);  // the search is sequential

  AtomSums s1, s2;
  for (std::size_t i = 0; i < 400; ++i) s1.add(atoms[i]);
  for (std::size_t i = 400; i < atoms.size(); ++i) s2.add(atoms[i]);
  s1.merge(s2);
  EXPECT_EQ(s1.atoms, 700);
  EXPECT_NEAR(s1.electron_r2, whole.result.sums.electron_r2, 1e-10 * s1.electron_r2);
}

TEST(Amplitudes, GroupsByFormFactorGiveTheDirectSums) {
  // Atoms of 60 types and dummy residues in one structure, at a shape whose group sums do not all
  // fit at once (the kept sums are folded into the amplitudes and started again), and at the
  // defaults: the amplitudes equal the direct sums Σ f·j_l·conj(Y) and Σ g·j_l·conj(Y) of the
  // kernel over the same atoms, up to the rounding of the regrouped sums.
  struct Shape {
    int l_max, n_points;
    double s_max;
  };
  for (const Shape& shape : {Shape{15, 51, 0.5}, Shape{35, 121, 0.8}}) {
    SCOPED_TRACE("L " + std::to_string(shape.l_max));
    EXPECT_TRUE(atoms_grouped_by_form_factor(shape.l_max, shape.n_points));
    std::vector<CentredAtom> atoms = random_cluster(1500, 20.0, 8);
    for (std::size_t i = 0; i < atoms.size(); ++i) {
      atoms[i].type = 1 + static_cast<int>((7 * i) % 60);
      atoms[i].dummy_residue = i % 11 == 0;
    }
    const Pass grouped = run_pass(atoms, shape.l_max, shape.n_points, shape.s_max);
    const AmplitudeKernel kernel(testing_models::tables(shape.l_max), grouped.s, grouped.form_factors,
                                 grouped.bessel);
    AmplitudeWorkspace ws;
    AmplitudeSums direct = kernel.make_sums();
    kernel.add_atoms(atoms, ws, direct);
    direct.atoms.scale_with_phase(std::sqrt(2.0 / kPi));
    direct.solvent.scale_with_phase(std::sqrt(2.0 / kPi));
    for (const auto* pair : {&grouped.result.atoms, &grouped.result.solvent}) {
      const PartialAmplitudes& want = pair == &grouped.result.atoms ? direct.atoms : direct.solvent;
      double largest = 0.0;
      for (const auto& v : want.values()) largest = std::max(largest, std::abs(v));
      ASSERT_GT(largest, 0.0);
      for (std::size_t i = 0; i < want.values().size(); ++i) {
        ASSERT_LE(std::abs(pair->values()[i] - want.values()[i]), 1e-12 * largest) << i;
      }
    }
  }
  // High orders on a fine grid keep the direct sums.
  EXPECT_FALSE(atoms_grouped_by_form_factor(50, 501));
}

TEST(Amplitudes, EnvelopeOnlyPassKeepsTheSumsAndTheEnvelope) {
  const auto atoms = random_cluster(120, 12.0, 9);
  const Pass full = run_pass(atoms, 15, 11, 0.5);
  StructureAccumulator acc(testing_models::tables(15));
  acc.add_batch(atoms);
  const StructureAmplitudes only = acc.finish();
  EXPECT_TRUE(only.atoms.empty());
  EXPECT_TRUE(only.solvent.empty());
  EXPECT_EQ(only.sums.atoms, full.result.sums.atoms);
  EXPECT_EQ(only.electron_rg, full.result.electron_rg);
  EXPECT_EQ(only.excess_centre, full.result.excess_centre);
  EXPECT_EQ(only.envelope.radius, full.result.envelope.radius);
}

TEST(Amplitudes, ProgressFillsTheScaleWithFortyMarks) {
  const struct {
    int atoms;
    int marks;
  } cases[] = {{1000, 40}, {1013, 40}, {25, 25}, {80, 40}, {1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.atoms << " atoms");
    const auto atoms = random_cluster(c.atoms, 10.0, 2);
    const std::vector<double> s = make_s_grid(3, 0.3);
    const ModelFormFactors ff = make_model_form_factors(s);
    const LineTable bessel = make_atom_bessel_table(15, 0.3, testing_models::extent(atoms));
    StructureAccumulator acc(testing_models::tables(15), s, ff, bessel);
    int marks = 0;
    acc.set_progress(ProgressMarks(c.atoms, [&marks] { ++marks; }));
    const std::span<const CentredAtom> all(atoms);
    for (std::size_t first = 0; first < all.size(); first += 300) {
      acc.add_batch(all.subspan(first, std::min<std::size_t>(300, all.size() - first)));
    }
    EXPECT_EQ(marks, c.marks);
  }
}

}  // namespace tessel
