// The scattering model from atoms to intensity, checked on its forward values and its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/atom_types.hpp"
#include "core/envelope.hpp"
#include "core/hydration_shell.hpp"
#include "core/intensity.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;

struct Model {
  testing_models::Pass pass;
  EnvelopeStatistics stats;
  PartialAmplitudes shell;
  MolecularQuantities molecule;
  PartialIntensities partials;
  double forward_vacuum = 0.0;  // Σ f_i(0)
};

// Amplitudes, envelope, shell, normalisation and partial intensities of a model, in the order the
// run uses them.
Model build(const std::vector<CentredAtom>& atoms, int n_points, double s_max) {
  Model m;
  m.pass = testing_models::run_pass(atoms, 15, n_points, s_max);
  StructureAmplitudes& r = m.pass.result;
  const HarmonicTables& tables = testing_models::tables(15);
  m.stats = envelope_statistics(tables.grid(), r.envelope.radius);
  m.shell = shell_amplitude(tables, m.pass.s, r.envelope.radius,
                            make_shell_integral_table(15, s_max, r.envelope.max_radius));
  m.molecule = molecular_quantities(r.sums.mass, model_displaced_volume(r.solvent), r.sums.atoms,
                                    r.sums.dummy_residues);
  normalise_solvent_amplitude(r.solvent, m.molecule.displaced_volume, r.sums.atoms);
  m.partials = partial_intensities(r.atoms, r.solvent, m.shell);
  for (const auto& a : atoms) m.forward_vacuum += m.pass.form_factors.vacuum.at(a.type, 0);
  return m;
}

std::vector<double> intensity(const Model& m, double rho0, double delta_rho, double v_ex) {
  const std::vector<double> scale =
      excluded_volume_scale(m.pass.s, m.partials.solvent, rho0, v_ex, m.pass.result.sums.atoms,
                            m.molecule.average_atom.radius);
  return model_intensity(m.partials, scale, delta_rho);
}

// V_B = (4π/(3N))·Σ ((F + 4)³ − (F + 1)³), the volume of the shell the amplitude B describes.
double shell_volume_of(const std::vector<double>& f) {
  double sum = 0.0;
  for (const double v : f) sum += std::pow(v + 4.0, 3) - std::pow(v + 1.0, 3);
  return 4.0 * kPi / (3.0 * static_cast<double>(f.size())) * sum;
}

double electrons(const std::vector<CentredAtom>& atoms) {
  double z = 0.0;
  for (const auto& a : atoms) z += atom_type(a.type).electrons;
  return z;
}

}  // namespace

TEST(ScatteringModel, ForwardIntensityFromVacuumToSolventAndShell) {
  const auto atoms = testing_models::random_cluster(150, 14.0, 21);
  const Model m = build(atoms, 51, 0.5);
  // ρ0 = 0 and δρ = 0 leave the atoms in vacuum: I = I_A and I(0) = (Σ f(0))², which is Z² to
  // the accuracy of the four-Gaussian fits at s = 0 (about 1e-3 of the electrons, N worst).
  const std::vector<double> vacuum = intensity(m, 0.0, 0.0, m.molecule.displaced_volume);
  EXPECT_EQ(vacuum, m.partials.atoms);
  EXPECT_NEAR(vacuum[0], m.forward_vacuum * m.forward_vacuum, 1e-12 * vacuum[0]);
  const double z = electrons(atoms);
  EXPECT_NEAR(vacuum[0], z * z, 2e-3 * z * z);

  // With V_ex = V_d the scale times the normalised C gives back ρ0·V_d: the forward amplitude
  // is Σf(0) − ρ0·V_d, and the shell adds its volume times the contrast.
  double v_d = 0.0;
  for (const auto& a : atoms) {
    v_d += 4.0 * kPi / 3.0 * std::pow(static_cast<double>(atom_type(a.type).radius), 3);
  }
  EXPECT_NEAR(m.molecule.displaced_volume, v_d, 1e-10 * v_d);
  const double solvent_only = m.forward_vacuum - 0.334 * v_d;
  const std::vector<double> no_shell = intensity(m, 0.334, 0.0, v_d);
  EXPECT_NEAR(no_shell[0], solvent_only * solvent_only, 1e-10 * solvent_only * solvent_only);
  const double net = solvent_only + 0.03 * shell_volume_of(m.pass.result.envelope.radius);
  const std::vector<double> full = intensity(m, 0.334, 0.03, v_d);
  EXPECT_NEAR(full[0], net * net, 1e-10 * net * net);
}

TEST(ScatteringModel, AtomsAtTheCentreKeepEveryNumberFinite) {
  // A model of zero extent: a single atom, or coincident atoms, at the centre. The atom table
  // has a zero step, Rg_e = 0, no atom reaches any direction, and the envelope falls back to
  // half the largest atomic radius everywhere.
  const std::vector<std::vector<CentredAtom>> models = {
      {{0.0, 0.0, 0.0, 1, false}},
      {{0.0, 0.0, 0.0, 1, false}, {0.0, 0.0, 0.0, 9, false}, {0.0, 0.0, 0.0, 5, false}},
  };
  for (std::size_t i = 0; i < models.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "model " << i);
    const Model m = build(models[i], 51, 0.5);
    const StructureAmplitudes& r = m.pass.result;
    EXPECT_EQ(r.electron_rg, 0.0);
    EXPECT_EQ(r.shape_rg, 0.0);
    for (const double c : r.excess_centre) EXPECT_EQ(c, 0.0);
    const double f = static_cast<double>(1.577f) / 2.0;  // carbon is the largest atom
    EXPECT_EQ(r.envelope.zero_directions, testing_models::tables(15).grid().size());
    EXPECT_EQ(r.envelope.zero_radius, f);
    for (const double v : r.envelope.radius) ASSERT_EQ(v, f);
    EXPECT_NEAR(m.stats.volume, 4.188748316884343 * f * f * f, 1e-12);
    EXPECT_NEAR(m.stats.rg, std::sqrt(0.6) * f, 1e-12);
    for (const double v : {m.stats.shell_volume, m.stats.surface, m.stats.shell_rg,
                           m.stats.radius, m.stats.diameter}) {
      EXPECT_TRUE(std::isfinite(v));
    }
    const HarmonicTables& tables = testing_models::tables(15);
    const EnvelopeFunction ef = envelope_function(tables, r.envelope.radius, m.stats.radius);
    for (const auto& c : ef.coefficients) ASSERT_TRUE(std::isfinite(std::abs(c)));

    const double v_ex = m.molecule.displaced_volume;
    const std::vector<double> scale = excluded_volume_scale(
        m.pass.s, m.partials.solvent, 0.334, v_ex, r.sums.atoms, m.molecule.average_atom.radius);
    const std::vector<double> in = model_intensity(m.partials, scale, 0.03);
    for (std::size_t k = 0; k < in.size(); ++k) ASSERT_TRUE(std::isfinite(in[k])) << k;
    for (const auto& v : m.shell.values()) ASSERT_TRUE(std::isfinite(std::abs(v)));
    // I(0) is the square of the forward amplitude.
    const double v_b = 4.0 * kPi / 3.0 * (std::pow(f + 4.0, 3) - std::pow(f + 1.0, 3));
    const double net = m.forward_vacuum - 0.334 * v_ex + 0.03 * v_b;
    EXPECT_NEAR(in[0], net * net, 1e-10 * net * net);

    ForwardValues fw{in[0], m.partials.atoms[0], m.partials.solvent[0], m.partials.shell[0], scale[0]};
    EXPECT_TRUE(std::isfinite(combined_rg(fw, 0.03, r.electron_rg, r.shape_rg, m.stats.shell_rg)));
    EXPECT_TRUE(std::isfinite(slope_rg(m.pass.s, in)));
    EXPECT_TRUE(std::isfinite(average_electron_density(m.partials.atoms[0], 0, r.sums.atoms, v_ex)));
  }
}

TEST(ScatteringModel, OnePointCurveIsTheForwardScattering) {
  // A point count of 1: the grid is s = 0 alone, and everything is computed for that point.
  const auto atoms = testing_models::random_cluster(80, 12.0, 23);
  const Model m = build(atoms, 1, 0.5);
  ASSERT_EQ(m.pass.s.size(), 1u);
  EXPECT_EQ(m.pass.result.atoms.n_points(), 1);
  EXPECT_EQ(m.shell.n_points(), 1);
  const std::vector<double> in = intensity(m, 0.334, 0.03, m.molecule.displaced_volume);
  ASSERT_EQ(in.size(), 1u);
  const double net = m.forward_vacuum - 0.334 * m.molecule.displaced_volume +
                     0.03 * shell_volume_of(m.pass.result.envelope.radius);
  EXPECT_NEAR(in[0], net * net, 1e-10 * net * net);
  EXPECT_EQ(slope_rg(m.pass.s, in), 0.0);
  EXPECT_FALSE(sampling_too_coarse(3.5, 0.5, 100.0, 1));
}

}  // namespace tessel
