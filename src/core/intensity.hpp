// Solution scattering from the partial amplitudes: six partial intensities, the excluded-volume
// scale, the intensity for given solvent parameters, and the structural parameters derived from
// them. s in 1/Å, lengths in Å, volumes in Å³, densities in e/Å³, intensities in electrons².
#pragma once

#include <span>
#include <vector>

#include "core/form_factors.hpp"
#include "core/partial_amplitudes.hpp"

namespace tessel {

inline constexpr double kTwoPiSquared = 19.739208802178716;   // 2π²
inline constexpr double kFourPiSquared = 39.47841760435743;   // 4π²
inline constexpr double kPiSqrt2 = 4.442882938158366;         // π√2
// Volume reported for each dummy residue on top of the displaced volume of the atoms, Å³.
inline constexpr double kDummyResidueVolume = 220.0;
// 2/3 and 12.78 (the forward amplitude of the average residue) as the single-precision constants
// the results have always been computed with, widened to double.
inline constexpr double kTwoThirdsSingle = 0.6666666269302368;
inline constexpr double kResidueForwardAmplitudeSingle = 12.779999732971191;
// Average electron density reported for a model made only of dummy residues, e/Å³.
inline constexpr double kDummyModelElectronDensity = 0.4;

// I(s_k) = 2π²·Σ_{l=l_min..l_max} (|X_l0|² + 2·Σ_{m≥1} |X_lm|²) at every point; l_max < 0 means
// the amplitude's own order.
std::vector<double> partial_intensity(const PartialAmplitudes& x, int l_min = 0, int l_max = -1);
// I_XY(s_k) = 4π²·Σ_l Re(X_l0·conj(Y_l0) + 2·Σ_{m≥1} X_lm·conj(Y_lm)); X and Y of equal shape.
std::vector<double> cross_intensity(const PartialAmplitudes& x, const PartialAmplitudes& y,
                                    int l_min = 0, int l_max = -1);

// The six curves from which the intensity follows for any solvent parameters.
struct PartialIntensities {
  std::vector<double> atoms;          // I_A
  std::vector<double> solvent;        // I_C
  std::vector<double> shell;          // I_B
  std::vector<double> atoms_solvent;  // I_AC
  std::vector<double> atoms_shell;    // I_AB
  std::vector<double> solvent_shell;  // I_CB
};
// From the atoms' (A), the normalised displaced solvent's (C) and the shell's (B) amplitudes.
PartialIntensities partial_intensities(const PartialAmplitudes& a, const PartialAmplitudes& c,
                                       const PartialAmplitudes& b);

// V_d = π√2·Re(C_00(s_1)), the displaced volume of the atoms (Σ V_k), from the unnormalised C.
double model_displaced_volume(const PartialAmplitudes& c);
// Divides C by V_d/N (the mean displaced volume per atom) when V_d > 0; C then describes N dummy
// atoms of unit mean volume.
void normalise_solvent_amplitude(PartialAmplitudes& c, double displaced_volume, int n_atoms);

// The excluded-volume scale Ĉ(s_k): ρ0·(V_ex/N)·exp(−s²·V̄^e/(4π)) with V̄ = (4π/3)·r0³ and
// e = two_thirds; when the grid reaches beyond s = 1.0, the product P = Ĉ·√I_C·s² is followed
// from the last point below 1.0 to its last running maximum k*, and beyond k* Ĉ becomes
// P(k*)/(max(√I_C, 1e-8)·s²), so that the excluded-volume amplitude falls off as s⁻².
// s ascending, i_c on the same points, n_atoms ≥ 1.
std::vector<double> excluded_volume_scale(std::span<const double> s, std::span<const double> i_c,
                                          double rho0, double excluded_volume, int n_atoms,
                                          double atomic_radius,
                                          double two_thirds = kTwoThirdsSingle);

// I = I_A + Ĉ²·I_C + δρ²·I_B − Ĉ·I_AC + δρ·I_AB − Ĉ·δρ·I_CB at every point.
std::vector<double> model_intensity(const PartialIntensities& p, std::span<const double> scale,
                                    double delta_rho);

// The forward (s = 0) values of the curves, for the derived parameters.
struct ForwardValues {
  double intensity = 0.0;  // I(0)
  double atoms = 0.0;      // I_A(0)
  double solvent = 0.0;    // I_C(0)
  double shell = 0.0;      // I_B(0)
  double scale = 0.0;      // Ĉ(0)
};

// "Rg ( Atoms - Excluded volume + Shell )":
// √(|Rg_e²·√I_A(0) − Ĉ(0)·√I_C(0)·Rg_shape² + δρ·√I_B(0)·Rg_shell²| / √I(0)). A forward
// intensity that is not positive leaves the combination without meaning; it gives 0.
double combined_rg(const ForwardValues& forward, double delta_rho, double electron_rg,
                   double shape_rg, double shell_rg);

// "Rg from the slope of net intensity": Rg² = 3·(ln|I(s_1)| − ln|I(s_g)|)/max(s_g², 1e-30) with
// the 1-based point g = 2 for fewer than 200 points, else n/100; the result is √|Rg²| with the
// sign of Rg². A curve of one point has no slope: g is kept within the curve (g = 1 gives 0).
// An intensity of 0 at either point has no logarithm and also gives 0.
double slope_rg(std::span<const double> s, std::span<const double> intensity);

// "Average electron density": (√I_A(0) − 12.78·N_d)/V_ex, 0.4 when N_d ≥ N; 0 when V_ex = 0.
// 12.78 is taken as residue_amplitude (by default its single-precision value).
double average_electron_density(double forward_atoms, int n_dummy_residues, int n_atoms,
                                double excluded_volume,
                                double residue_amplitude = kResidueForwardAmplitudeSingle);

// The molecular quantities of the structural report.
struct MolecularQuantities {
  double molecular_weight = 0.0;   // Da
  double dry_volume = 0.0;         // M·0.73·10/6.023 Å³ (0.73 cm³/g, Avogadro 6.023·10²³)
  double displaced_volume = 0.0;   // V_d of the atoms
  double reported_volume = 0.0;    // V_d + 220·N_d, the "Displaced volume" shown
  AverageAtom average_atom{};      // r0 and V̄ from V_d, N and N_d
};
MolecularQuantities molecular_quantities(double molecular_weight, double displaced_volume,
                                         int n_atoms, int n_dummy_residues);

// The sampling check after the structural report: the curve is too coarse for the particle when
// the l = 0 envelope-function coefficient (real part, as written to the coefficient file)
// exceeds 3.3 and s_max·R_env/(n − 1) > 0.5. A curve of one point has no spacing to check.
bool sampling_too_coarse(double envelope_f00, double s_max, double max_envelope_radius,
                         int n_points);

}  // namespace tessel
