// The scattering model of one structure as the job uses it: the partial amplitudes with the
// envelope and the structural sums, and the intensity with its derived parameters. This is the
// job's single point of contact with the computation in core/.
#pragma once

#include <complex>
#include <filesystem>
#include <span>
#include <vector>

#include "core/harmonic_tables.hpp"
#include "core/run_settings.hpp"
#include "io/report.hpp"
#include "io/run_log.hpp"

namespace tessel {

// Volume added per dummy residue to the displaced volume shown to the user, Å³.
inline constexpr double kDummyResidueVolume = 220.0;
// Width of the hydration shell, Å.
inline constexpr double kShellWidth = 3.0;

// What the job asks of the amplitude stage.
struct ModelRequest {
  std::filesystem::path structure;   // the (possibly filtered) structure file
  int mode = 0;                      // 1: envelope only, no amplitudes and no shell
  bool explicit_hydrogens = false;
  bool new_atom_naming = true;
  std::span<const double> s;         // the s grid, 1/Å
  const HarmonicTables* tables = nullptr;
};

// Multipole coefficients of the envelope function up to order l_env (harmonic-index order).
struct EnvelopeFunction {
  int l_env = 0;
  std::vector<std::complex<double>> coefficients;
  std::vector<int> present;  // 1 for a computed coefficient
};

// The amplitude arrays hold (l_max+1)(l_max+2)/2 × ns complex values, the harmonic index
// (0-based l(l+1)/2 + m) fastest: element (j, i) at j + nh·i.
struct ScatteringModel {
  int l_max = 0;
  std::vector<double> s;
  std::vector<std::complex<double>> atoms;    // A, atoms in vacuum (`atomalm`)
  std::vector<std::complex<double>> solvent;  // C, displaced solvent at unit density (`vdwalm`)
  std::vector<std::complex<double>> shell;    // B, hydration shell at unit density (`bordalm`)

  long long atom_count = 0;
  int dummy_residues = 0;
  int residues = 0;
  int bases = 0;
  int unknown_atoms = 0;
  double molecular_weight = 0;  // Da
  double rg_electron = 0;       // Å
  double rg_shape = 0;          // Å, of the atom centres
  double envelope_max_radius = 0;  // largest envelope radius, Å

  StructuralParameters sizes;
  EnvelopeFunction envelope;
};

// Runs the amplitude stage over the structure: pre-pass, typed atom batches, envelope and (unless
// envelope only) shell, with their progress marks and report lines on the console and the log.
// Throws tessel::Error on unreadable input.
ScatteringModel compute_scattering_model(const ModelRequest& request, const Report& report);

// The displaced volume of the atoms: the forward l = 0 coefficient of C times π√2 (Å³).
double displaced_volume(const ScatteringModel& model);

// Divides C by the mean displaced volume per atom, v_d/N (nothing when v_d is not positive).
void normalise_solvent(ScatteringModel& model, double v_d);

// The six partial intensities over the s grid.
struct PartialIntensities {
  std::vector<double> atoms, solvent, shell;                           // I_A, I_C, I_B
  std::vector<double> atoms_solvent, atoms_shell, solvent_shell;        // I_AC, I_AB, I_CB
};
PartialIntensities partial_intensities(const ScatteringModel& model);

// The solvent parameters of one intensity.
struct SolventParameters {
  double rho0 = 0;             // solvent electron density, e/Å³
  double delta_rho = 0;        // shell contrast, e/Å³
  double atomic_radius = 0;    // r0, Å
  double excluded_volume = 0;  // V_ex without the dummy residues' share, Å³
};

struct PredictedCurve {
  std::vector<double> scale;      // excluded-volume scale G(s)
  std::vector<double> intensity;  // I(s)
};
PredictedCurve predict_intensity(const PartialIntensities& partial, std::span<const double> s,
                                 const SolventParameters& parameters, long long atom_count);

struct DerivedParameters {
  double rg_combined = 0;       // Rg ( Atoms - Excluded volume + Shell ), Å
  double rg_slope = 0;          // Rg from the slope of the net intensity, Å
  double electron_density = 0;  // average electron density, e/Å³
};
DerivedParameters derived_parameters(const ScatteringModel& model,
                                     const PartialIntensities& partial,
                                     const PredictedCurve& curve, const SolventParameters& p);

// The net amplitude A − G(s)·C + δρ·B, in the layout of the amplitude arrays.
std::vector<std::complex<double>> net_amplitudes(const ScatteringModel& model,
                                                 std::span<const double> scale, double delta_rho);

}  // namespace tessel
