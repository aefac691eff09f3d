// Atomic and group form factors: values at zero, at a given angle, and group factors as the
// orientational average of their geometry (Debye formula).
#include "core/form_factors.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "core/atom_types.hpp"
#include "core/s_grid.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;

// The published four-Gaussian fits reproduce f(0) = Z to about 0.1 % (their a1..a4 + c).
constexpr double kFitRelativeAccuracy = 0.002;

}  // namespace

TEST(FormFactors, BareElementsAtZeroGiveTheirElectronCount) {
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    const AtomType& a = atom_type(t);
    if (a.hydrogens != 0) continue;
    SCOPED_TRACE(a.group);
    EXPECT_NEAR(vacuum_form_factor(t, 0.0), a.electrons, kFitRelativeAccuracy * a.electrons);
  }
  EXPECT_NEAR(vacuum_form_factor(1, 0.0), 6.0, 0.01);  // carbon about 6.0
}

TEST(FormFactors, GroupsAtZeroGiveTheSumOfTheirElectrons) {
  struct Row { int type; double electrons; };
  // Heavy atom plus one electron per hydrogen; type 20 carries half a hydrogen: 7 + 0.5.
  const Row rows[] = {{2, 7}, {3, 8}, {4, 9}, {6, 8}, {7, 9}, {8, 10},
                      {10, 9}, {12, 17}, {20, 7.5}, {21, 8}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.type);
    EXPECT_NEAR(vacuum_form_factor(r.type, 0.0), r.electrons, kFitRelativeAccuracy * r.electrons);
  }
}

// Carbon and hydrogen at sin(θ)/λ = 0.1 1/Å, from their coefficients on a calculator:
// f_C = 0.2156 + 2.31·e^(−0.208439) + 1.02·e^(−0.102075) + 1.5886·e^(−0.005687) + 0.865·e^(−0.516512).
TEST(FormFactors, ElementFactorAtAGivenAngle) {
  const double s = 4.0 * kPi * 0.1;
  EXPECT_NEAR(element_form_factor(1, s), 5.1076443, 1e-6);
  EXPECT_NEAR(element_form_factor(0, s), 0.8542699, 1e-6);
  EXPECT_NEAR(vacuum_form_factor(108, s), 0.8542699, 1e-6);
}

// CH3 at s = 0.4π 1/Å with d_CH = 1.07 Å and d_HH = 1.79 Å, by the Debye formula on a calculator:
// f² = f_C² + 3f_H² + 6·f_C·f_H·sinc(s·1.07) + 6·f_H²·sinc(s·1.79).
TEST(FormFactors, MethylByHandFromTheDebyeFormula) {
  EXPECT_NEAR(vacuum_form_factor(4, 4.0 * kPi * 0.1), 6.9833433, 1e-6);
  // A made-up group with round numbers: f_X = 6, f_H = 1, n = 2, d = 1 and 2 Å, s = π/2:
  // sinc(π/2) = 2/π, sinc(π) = 0, f² = 36 + 2 + 24·2/π.
  EXPECT_NEAR(group_form_factor(6, 1, 2, 1.0, 2.0, kPi / 2), std::sqrt(38.0 + 48.0 / kPi), 1e-12);
}

// The Debye formula is the orientational average of |Σ f_j·exp(i s·r_j)|² for the group's
// geometry. Place the hydrogens at the tabulated distances and average over a dense Fibonacci
// sphere of scattering directions.
TEST(FormFactors, GroupFactorIsTheOrientationalAverageOfItsGeometry) {
  struct Row { int type; int n; double d_xh; double d_hh; };
  const Row rows[] = {{2, 1, 1.07, 0}, {3, 2, 1.085, 1.78}, {4, 3, 1.07, 1.79}, {6, 1, 1.00, 0},
                      {7, 2, 1.009, 1.758}, {8, 3, 1.02, 1.65}, {10, 1, 0.96, 0}, {12, 1, 1.00, 0},
                      {21, 1, 1.00, 0}};
  const int n_dirs = 40000;  // direction average converges to ~1e-4 relative here
  for (const Row& r : rows) {
    SCOPED_TRACE(r.type);
    // Hydrogens on a circle of radius ρ at height h above X: equal X–H and H–H distances.
    std::vector<std::array<double, 3>> h;
    const double rho = r.n == 1 ? 0.0 : r.d_hh / (2.0 * std::sin(kPi / r.n));
    const double height = std::sqrt(r.d_xh * r.d_xh - rho * rho);
    for (int j = 0; j < r.n; ++j)
      h.push_back({rho * std::cos(2 * kPi * j / r.n), rho * std::sin(2 * kPi * j / r.n), height});
    for (const double s : {0.3, 1.0, 2.5}) {
      const double f_x = element_form_factor(atom_type(r.type).element, s);
      const double f_h = element_form_factor(0, s);
      double sum = 0.0;
      for (int k = 0; k < n_dirs; ++k) {
        const double z = 1.0 - (2.0 * k + 1.0) / n_dirs;
        const double phi = k * kPi * (3.0 - std::sqrt(5.0));
        const double st = std::sqrt(1.0 - z * z);
        const double dir[3] = {st * std::cos(phi), st * std::sin(phi), z};
        std::complex<double> amp = f_x;
        for (const auto& p : h)
          amp += f_h * std::polar(1.0, s * (dir[0] * p[0] + dir[1] * p[1] + dir[2] * p[2]));
        sum += std::norm(amp);
      }
      const double expected = std::sqrt(sum / n_dirs);
      EXPECT_NEAR(vacuum_form_factor(r.type, s), expected, 1e-4 * expected) << "s = " << s;
    }
  }
}

TEST(FormFactors, HalfWeightHydrogenOnNitrogen) {
  // f² = f_N² + 0.25·f_H² + f_N·f_H·sinc(s·1.00) at s = 2: sinc(2) = sin(2)/2.
  const double s = 2.0;
  const double f_n = element_form_factor(2, s);
  const double f_h = element_form_factor(0, s);
  const double expected = std::sqrt(f_n * f_n + 0.25 * f_h * f_h + f_n * f_h * std::sin(2.0) / 2.0);
  EXPECT_NEAR(vacuum_form_factor(20, s), expected, 1e-12);
  EXPECT_EQ(vacuum_form_factor(21, s), vacuum_form_factor(6, s));
}

TEST(FormFactors, SincSeriesJoinsSinOverX) {
  // Near the switch the series is exact to rounding (next term x⁸/9! ≈ 3e-22).
  for (const double x : {0.01, 0.00999, 0.005, 1e-4, -0.007, 0.01001, 0.02}) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(sinc(x), std::sin(x) / x, 1e-15);
  }
  EXPECT_EQ(sinc(0.0), 1.0);
  EXPECT_NEAR(sinc(kPi), 0.0, 1e-15);
  EXPECT_NEAR(sinc(kPi / 2), 2.0 / kPi, 1e-15);
}

TEST(FormFactors, DisplacedSolventAtZeroIsTheAtomicVolume) {
  struct Row { int type; double volume; };
  // (4π/3)·R³ with R = 1.577, 1.30, 1.07 Å, rounded to two decimals.
  const Row rows[] = {{1, 16.43}, {9, 9.20}, {108, 5.13}};
  const auto s = make_s_grid(11, 0.5);
  const FormFactorTable g = solvent_form_factor_table(s);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.type);
    EXPECT_NEAR(displaced_volume(r.type), r.volume, 0.005);
    EXPECT_NEAR(g.at(r.type, 0), r.volume, 0.005);
  }
  // Carbon at s = 1: 16.428·exp(−16.428^(2/3)/(4π)) = 16.428·exp(−0.51441) on a calculator.
  EXPECT_NEAR(solvent_form_factor(displaced_volume(1), 1.0), 9.8230, 1e-3);
}

TEST(FormFactors, TablesHoldOneContiguousColumnPerType) {
  const auto s = make_s_grid(7, 0.6);
  const FormFactorTable f = vacuum_form_factor_table(s);
  const FormFactorTable g = solvent_form_factor_table(s);
  ASSERT_EQ(f.n_points(), 7);
  ASSERT_EQ(g.n_points(), 7);
  for (const int t : {1, 4, 20, 57, 108}) {
    SCOPED_TRACE(t);
    ASSERT_EQ(f.column(t).size(), 7u);
    for (int i = 0; i < 7; ++i) {
      EXPECT_DOUBLE_EQ(f.at(t, i), vacuum_form_factor(t, s[static_cast<std::size_t>(i)]));
      EXPECT_DOUBLE_EQ(g.at(t, i), solvent_form_factor(displaced_volume(t), s[static_cast<std::size_t>(i)]));
    }
  }
  EXPECT_EQ(vacuum_form_factor_table({}).n_points(), 0);
}

TEST(FormFactors, ResidueFactorFromTheTable) {
  struct Row { double s; double expected; };
  // F·√y from the table: at a node, halfway between two nodes (both averaged), at the last node,
  // within 1 % of the span beyond it (extrapolated, F and y nearly flat there).
  const Row rows[] = {{0.0, 12.7847 * std::sqrt(0.999)},
                      {0.0075, 12.7860 * std::sqrt(0.9985)},
                      {0.75, 14.4928 * std::sqrt(1.116)},
                      {1.5, 12.7969 * std::sqrt(0.957)}};
  std::vector<double> s;
  for (const Row& r : rows) s.push_back(r.s);
  const ResidueFormFactor r = residue_form_factor(s);
  EXPECT_EQ(r.regrid_warnings, 0);
  for (std::size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(r.values[i], rows[i].expected, 1e-9) << s[i];
  EXPECT_EQ(kResidueForwardAmplitude, residue_table_amplitude()[0]);
}

TEST(FormFactors, ResidueFactorBeyondTheTableIsZeroWithWarnings) {
  const std::vector<double> s = {0.0, 1.51, 1.52, 2.0};
  const ResidueFormFactor r = residue_form_factor(s);
  EXPECT_EQ(r.regrid_warnings, 2);  // one per interpolated curve
  EXPECT_GT(r.values[1], 12.0);     // 1.51 is inside the 1 % margin of 1.5
  EXPECT_EQ(r.values[2], 0.0);
  EXPECT_EQ(r.values[3], 0.0);
}

TEST(FormFactors, AverageAtomicRadiusAndVolume) {
  const double v15 = 4.0 * kPi / 3.0 * 1.5 * 1.5 * 1.5;
  struct Row { double v_d; int n; int n_d; double r0; };
  const Row rows[] = {{1000 * v15, 1000, 0, 1.5},
                      {1000 * v15, 1010, 10, 1.5},  // dummy residues displace nothing
                      {0.0, 25, 25, 1.618},         // alpha carbons only
                      {0.0, 0, 0, 1.618},
                      {0.0, 5, 7, 1.618}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.n);
    const AverageAtom a = average_atom(r.v_d, r.n, r.n_d);
    EXPECT_NEAR(a.radius, r.r0, 1e-12);
    EXPECT_NEAR(a.volume, 4.0 * kPi / 3.0 * r.r0 * r.r0 * r.r0, 1e-9);
  }
  EXPECT_NEAR(average_atomic_volume(1.618), 17.7429, 1e-4);  // (4π/3)·1.618³ on a calculator
}

}  // namespace tessel
